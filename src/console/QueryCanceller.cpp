#include "QueryCanceller.h"

#include <chrono>
#include <string>
#include <thread>

#include <QTimer>

#include <mysqld_error.h>

#include "ClientStrings.h"
#include "ConnectionWords.h"
#include "StatementRun.h"

namespace {

struct TKillOutcome {
    TCancelResult Result = TCancelResult::Reached;
    std::string Reason;
};

// The cancel connection's part: look up the statement that runs, kill it by its query id. The
// console's own thread is always listed for its account, unless it runs a routine under another
// account (SQL SECURITY DEFINER): then it is missing, or the kill is denied, and nothing this
// account sends can reach it.
TKillOutcome KillRun(TMySQLDataSet& dataSet, std::uint64_t connectionId, const TStatementRun& run,
                     const std::atomic<bool>& abandoned)
{
    const std::string lookup = "SELECT COMMAND, QUERY_ID FROM information_schema.PROCESSLIST WHERE ID = "
                             + std::to_string(connectionId);
    const auto deadline = std::chrono::steady_clock::now() + TClientSession::CutBound;
    while (run.ServerWorkLeft() && !abandoned && std::chrono::steady_clock::now() < deadline) {
        const std::shared_ptr<IMySQLQueryResult> result = dataSet.Query(lookup);
        if (!result)
            return {TCancelResult::Refused, ErrorWords(dataSet)};
        const std::shared_ptr<IMySQLRow> row = result->FetchRow();
        if (!row) {
            // The thread is not this account's to see. Unless the run ended meanwhile (its
            // connection gone with it), it runs under another account.
            if (run.ServerWorkLeft())
                return {TCancelResult::OtherAccount, {}};
            break;
        }
        if (row->GetValue(0) != "Query") {
            // Between two statements of the run, or not there yet.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (abandoned)
            break;
        dataSet.Query("KILL QUERY ID " + row->GetValue(1));
        if (dataSet.ErrorCode() == 0)
            break;
        if (dataSet.ErrorCode() == ER_KILL_DENIED_ERROR)
            return {TCancelResult::OtherAccount, ErrorWords(dataSet)};
        if (dataSet.ErrorCode() != ER_NO_SUCH_QUERY)
            return {TCancelResult::Refused, ErrorWords(dataSet)};
    }
    return {};
}

} // namespace

TQueryCanceller::TQueryCanceller(const TConnectionInfo& info, std::uint64_t connectionId,
                                 std::shared_ptr<const TStatementRun> run, QObject* parent)
    : QObject(parent)
    , FSession(new TClientSession(0, "cancel"))
{
    FGiveUp = new QTimer(this);
    FGiveUp->setSingleShot(true);
    connect(FGiveUp, &QTimer::timeout, this, [this] {
        End(TCancelResult::Refused,
            QStringLiteral("Сервер не ответил за %1 с.").arg(TClientSession::CutBound.count() / 1000));
    });
    FGiveUp->start(TClientSession::CutBound);

    connect(FSession.get(), &TClientSession::Opened, this,
            [this, connectionId, run = std::move(run)](const TConnectOutcome& outcome) {
                if (!outcome.Opened) {
                    End(TCancelResult::Refused, FromClientString(outcome.ErrorText));
                    return;
                }
                FSession->Post<TKillOutcome>(
                    [connectionId, run, abandoned = FAbandoned](TMySQLDataSet& dataSet) {
                        return KillRun(dataSet, connectionId, *run, *abandoned);
                    },
                    [this](const TKillOutcome& killed) { End(killed.Result, FromClientString(killed.Reason)); });
            });
    FSession->Open(info);
}

TQueryCanceller::~TQueryCanceller()
{
    *FAbandoned = true;
}

void TQueryCanceller::End(TCancelResult result, const QString& reason)
{
    if (FEnded)
        return;
    FEnded = true;
    // Nothing more may reach the server from here: a look-up still on its way is cut.
    *FAbandoned = true;
    FGiveUp->stop();
    if (result != TCancelResult::Reached)
        FSession->Cut();
    emit Ended(result, reason);
}
