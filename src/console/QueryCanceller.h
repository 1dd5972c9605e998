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

// Connects with the console's parameters, looks up the statement that the console's connection runs
// and sends KILL QUERY ID for it, for as long as the run still has work on the server; a statement
// that ended between the look-up and the kill is looked up again (the next statement of the same
// run). Ended tells whether the cancel reached the server; it comes once, CutBound at the latest.
// A cancel that was given up sends nothing more: a look-up answered after that may already name
// the console's next run.
class TQueryCanceller : public QObject {
    Q_OBJECT

public:
    TQueryCanceller(const TConnectionInfo& info, std::uint64_t connectionId,
                    std::shared_ptr<const TStatementRun> run, QObject* parent = nullptr);
    ~TQueryCanceller() override;

signals:
    // reached false: reason is the server's or the library's, or that the server did not answer.
    void Ended(bool reached, const QString& reason);

private:
    void End(bool reached, const QString& reason);

    std::shared_ptr<std::atomic<bool>> FAbandoned = std::make_shared<std::atomic<bool>>(false);
    TSessionHandle FSession;
    QTimer* FGiveUp = nullptr;
    bool FEnded = false;
};
