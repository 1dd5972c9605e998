// Stops a run on the server from a second, short-lived client session.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include <QObject>
#include <QString>

#include "ClientSession.h"

class QTimer;
class TStatementRun;

// How a cancel ended.
enum class TCancelResult : int {
    // KILL QUERY reached the statement, or the run had nothing left on the server.
    Reached,
    // The server could not be reached, or refused; the reason tells why.
    Refused,
    // The statement runs under another account (a routine whose definer is another account): this
    // account neither sees its thread nor may kill it.
    OtherAccount,
};

// Connects with the console's parameters, looks up the statement that the console's connection runs
// and sends KILL QUERY ID for it, for as long as the run still has work on the server; a statement
// that ended between the look-up and the kill is looked up again (the next statement of the same
// run). Ended tells whether the cancel reached the server; it comes once, CutBound at the latest, and
// at once when the statement turns out to run under another account.
// A cancel that was given up sends nothing more: a look-up answered after that may already name
// the console's next run.
class TQueryCanceller : public QObject {
    Q_OBJECT

public:
    TQueryCanceller(const TConnectionInfo& info, std::uint64_t connectionId,
                    std::shared_ptr<const TStatementRun> run, QObject* parent = nullptr);
    ~TQueryCanceller() override;

signals:
    // Refused: reason is the server's or the library's, or that the server did not answer.
    void Ended(TCancelResult result, const QString& reason);

private:
    void End(TCancelResult result, const QString& reason);

    std::shared_ptr<std::atomic<bool>> FAbandoned = std::make_shared<std::atomic<bool>>(false);
    TSessionHandle FSession;
    QTimer* FGiveUp = nullptr;
    bool FEnded = false;
};
