#include "QueryCanceller.h"

#include <chrono>
#include <string>
#include <thread>

#include <QTimer>

#include <mysqld_error.h>

#include "ClientStrings.h"
#include "StatementRun.h"

namespace {

struct TKillOutcome {
    bool Reached = true;
    std::string Reason;
};

// The cancel connection's part: look up the statement that runs, kill it by its query id.
TKillOutcome KillRun(TMySQLDataSet& dataSet, std::uint64_t connectionId, const TStatementRun& run,
                     const std::atomic<bool>& abandoned)
{
    const std::string lookup = "SELECT QUERY_ID FROM information_schema.PROCESSLIST WHERE ID = "
                             + std::to_string(connectionId) + " AND COMMAND = 'Query'";
    const auto deadline = std::chrono::steady_clock::now() + TClientSession::CutBound;
    while (run.ServerWorkLeft() && !abandoned && std::chrono::steady_clock::now() < deadline) {
        const std::shared_ptr<IMySQLQueryResult> result = dataSet.Query(lookup);
        if (!result)
            return {false, dataSet.ErrorText()};
        const std::shared_ptr<IMySQLRow> row = result->FetchRow();
        if (!row) {
            // Between two statements of the run, or not there yet.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (abandoned)
            break;
        dataSet.Query("KILL QUERY ID " + row->GetValue(0));
        if (dataSet.ErrorCode() == 0)
            break;
        if (dataSet.ErrorCode() != ER_NO_SUCH_QUERY)
            return {false, dataSet.ErrorText()};
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
        End(false, QStringLiteral("Сервер не ответил за %1 с.").arg(TClientSession::CutBound.count() / 1000));
    });
    FGiveUp->start(TClientSession::CutBound);

    connect(FSession.get(), &TClientSession::Opened, this,
            [this, connectionId, run = std::move(run)](const TConnectOutcome& outcome) {
                if (!outcome.Opened) {
                    End(false, FromClientString(outcome.ErrorText));
                    return;
                }
                FSession->Post<TKillOutcome>(
                    [connectionId, run, abandoned = FAbandoned](TMySQLDataSet& dataSet) {
                        return KillRun(dataSet, connectionId, *run, *abandoned);
                    },
                    [this](const TKillOutcome& killed) { End(killed.Reached, FromClientString(killed.Reason)); });
            });
    FSession->Open(info);
}

TQueryCanceller::~TQueryCanceller()
{
    *FAbandoned = true;
}

void TQueryCanceller::End(bool reached, const QString& reason)
{
    if (FEnded)
        return;
    FEnded = true;
    // Nothing more may reach the server from here: a look-up still on its way is cut.
    *FAbandoned = true;
    FGiveUp->stop();
    if (!reached)
        FSession->Cut();
    emit Ended(reached, reason);
}
