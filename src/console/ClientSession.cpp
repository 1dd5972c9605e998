#include "ClientSession.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <set>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include "ClientStrings.h"
#include "ConnectionWords.h"
#include "LocalInfileNames.h"
#include "QueryCanceller.h"
#include "ScriptRun.h"
#include "StatementRun.h"
#include "Transcript.h"

namespace {

// The sessions that are closing in the background. Never destroyed: a session still in it at exit
// stays reachable.
std::set<TClientSession*>& Retired()
{
    static auto* retired = new std::set<TClientSession*>;
    return *retired;
}

} // namespace

class TClientSession::TReplyScope {
public:
    explicit TReplyScope(TClientSession& session)
        : FSession(session)
    {
        ++FSession.FReplyDepth;
    }
    ~TReplyScope()
    {
        if (--FSession.FReplyDepth == 0 && FSession.FMachine.State() == TSessionState::Retired)
            FSession.DeleteWhenUnwound();
    }
    TReplyScope(const TReplyScope&) = delete;
    TReplyScope& operator=(const TReplyScope&) = delete;

private:
    TClientSession& FSession;
};

TClientSession::TClientSession(unsigned long clientFlags, const char* threadRole)
    : FReplies(this, [this](TJobReply& reply) { JobEnded(reply); })
    , FWakes(this,
             [this](std::uint64_t& serial) {
                 const TReplyScope scope(*this);
                 if (FRun && FMachine.RunHeld() && serial == FRunSerial)
                     emit RunReady();
             })
    , FDataSet(std::make_shared<TMySQLDataSet>())
    , FThread(std::make_unique<TClientThread>(threadRole))
{
    // Sessions still closing when the application object goes are finished then, within bounds.
    static const bool registered = [] {
        qAddPostRoutine([] { FinishClosing(std::chrono::steady_clock::now() + CutBound + StopBound); });
        return true;
    }();
    (void)registered;
    // Before any job: the session's thread has not touched the connection yet.
    FDataSet->Connection()->SetClientFlags(clientFlags);
}

TClientSession::~TClientSession()
{
    FReplies.Close();
    FWakes.Close();
    Retired().erase(this);
    // The thread holds what its job uses; one still stuck is left to end alone.
    FThread->Stop(std::chrono::steady_clock::now());
}

void TClientSession::Changed(TSessionState before, bool cutEnded)
{
    if (cutEnded) {
        // Nothing of the session's is queued or runs: no thread uses the connection, and the next
        // job may wait for the server again.
        FDataSet->Connection()->ClearInterrupt();
    }
    const TSessionState now = FMachine.State();
    if (now == TSessionState::Retiring) {
        if (FMachine.RetiringDone())
            EndRetired();
        return;
    }
    if (now != before && now != TSessionState::Retired)
        emit BusyChanged();
}

void TClientSession::PostJob(TJob job, TDone done, TJobKind kind)
{
    const TSessionState before = FMachine.State();
    const bool posted = kind == TJobKind::Connect ? FMachine.Open()
                      : kind == TJobKind::Run     ? FMachine.Run()
                                                  : FMachine.Post();
    if (!posted)
        return;
    const std::uint64_t id = ++FLastJob;
    if (done)
        FDone.emplace(id, std::move(done));
    FKinds.emplace(id, kind);
    FThread->Post([dataSet = FDataSet, replies = FReplies, job = std::move(job), id] {
        TJobReply reply;
        reply.Job = id;
        try {
            reply.Result = job(*dataSet);
        } catch (const std::exception& error) {
            reply.Failure = error.what();
        } catch (...) {
            reply.Failure = "unknown exception";
        }
        replies.Send(std::move(reply));
    });
    if (kind == TJobKind::Other)
        Changed(before, false);
}

void TClientSession::JobEnded(TJobReply& reply)
{
    const TReplyScope scope(*this);
    TDone done;
    if (auto found = FDone.find(reply.Job); found != FDone.end()) {
        done = std::move(found->second);
        FDone.erase(found);
    }
    TJobKind kind = TJobKind::Other;
    if (auto found = FKinds.find(reply.Job); found != FKinds.end()) {
        kind = found->second;
        FKinds.erase(found);
    }
    // A connect answered while its connection is cut was cancelled.
    const TSessionState before = FMachine.State();
    const bool cancelled = kind == TJobKind::Connect && before == TSessionState::Cut;
    bool cutEnded = false;
    // The state moves on before done runs, so that done may post the next job.
    FMachine.JobAnswered(kind == TJobKind::Connect, kind == TJobKind::Run, &cutEnded);
    if (cutEnded)
        FDataSet->Connection()->ClearInterrupt();
    if (kind == TJobKind::Run && !FMachine.RunHeld())
        FRun.reset();
    if (done)
        done(reply.Result, reply.Failure);
    if (kind == TJobKind::Connect && FMachine.State() != TSessionState::Retiring
        && FMachine.State() != TSessionState::Retired) {
        TConnectOutcome outcome;
        if (reply.Result.has_value())
            outcome = std::any_cast<const TConnectOutcome&>(reply.Result);
        else
            outcome.ErrorText = reply.Failure.value_or("");
        Connected(outcome, cancelled);
        return;
    }
    Changed(before, false);
}

void TClientSession::Open(const TConnectionInfo& info)
{
    if (Busy())
        return;
    FInfo = info;
    PostConnect(false);
}

void TClientSession::Reopen()
{
    if (!Busy())
        PostConnect(true);
}

void TClientSession::PostConnect(bool closeFirst)
{
    // A reconnect brings back the current database the console had; a new login starts without one.
    const std::string database = closeFirst ? FState.Database : std::string();
    const TSessionState before = FMachine.State();
    PostJob(
        [info = FInfo, closeFirst, database](TMySQLDataSet& dataSet) {
            if (closeFirst)
                dataSet.Close();
            dataSet.SetUser(info.User);
            dataSet.SetPassword(info.Password);
            dataSet.SetHost(info.Host);
            dataSet.SetPort(info.Port);
            dataSet.SetTlsMode(info.TlsMode);
            dataSet.SetCAFile(info.CAFile);
            dataSet.SetPinnedFingerprint(info.PinnedFingerprint);
            TConnectOutcome outcome;
            outcome.Opened = dataSet.Open();
            if (outcome.Opened) {
                outcome.ServerVersion = dataSet.Connection()->ServerVersion();
                outcome.ConnectionId = dataSet.Connection()->ConnectionId();
                outcome.Encryption = SecurityText(*dataSet.Connection());
                // Selected here, before the console hears of the connection, so that no statement of
                // its own can run in another database first.
                if (!database.empty()) {
                    if (dataSet.SelectDatabase(database))
                        outcome.Database = database;
                    else
                        outcome.DatabaseError = ErrorWords(dataSet);
                }
            } else {
                outcome.ErrorCode = dataSet.ErrorCode();
                outcome.ErrorText = ErrorWords(dataSet);
                outcome.CertificateProblem = dataSet.Connection()->CertificateProblem();
                // Still the one to bring back once a later reconnect succeeds.
                outcome.Database = database;
            }
            return std::any(outcome);
        },
        {}, TJobKind::Connect);
    Changed(before, false);
}

void TClientSession::Connected(const TConnectOutcome& outcome, bool cancelled)
{
    FState = outcome;
    FState.Cancelled = !FState.Opened && cancelled;
    emit BusyChanged();
    // A copy: what the owner does in its reply may let go of the session.
    const TConnectOutcome told = FState;
    emit Opened(told);
}

void TClientSession::Close()
{
    PostJob(
        [](TMySQLDataSet& dataSet) {
            dataSet.Close();
            return std::any();
        },
        [this](const std::any&, const std::optional<std::string>&) {
            FState.Opened = false;
            FState.ConnectionId = 0;
        });
}

std::shared_ptr<TStatementRun> TClientSession::Run(const QString& sql)
{
    return Run([sql](TMySQLDataSet& dataSet, TStatementRun& run) { return RunRequest(dataSet, run, sql); });
}

std::shared_ptr<TStatementRun> TClientSession::Run(TRunJob job)
{
    if (Busy())
        return nullptr;
    const std::uint64_t serial = ++FRunSerial;
    FRun = std::make_shared<TStatementRun>([wakes = FWakes, serial] { wakes.Send(serial); });
    const TSessionState before = FMachine.State();
    PostJob(
        [run = FRun, job = std::move(job)](TMySQLDataSet& dataSet) { return std::any(job(dataSet, *run)); },
        [this, serial](const std::any& result, const std::optional<std::string>& failure) {
            if (result.has_value()) {
                if (const auto& schema = std::any_cast<const std::optional<std::string>&>(result))
                    FState.Database = *schema;
            }
            // Told also when the owner has taken the run to its end already: the end of the job is
            // when the current database and what the statements changed are known.
            if (serial == FRunSerial)
                emit RunEnded(failure ? FromClientString(*failure) : QString());
        },
        TJobKind::Run);
    Changed(before, false);
    return FRun;
}

void TClientSession::EndRun()
{
    const TSessionState before = FMachine.State();
    if (!FMachine.EndRun())
        return;
    if (!FMachine.RunJobOut())
        FRun.reset();
    Changed(before, false);
}

std::shared_ptr<TStatementRun> TClientSession::CurrentRun() const
{
    return FMachine.RunHeld() ? FRun : nullptr;
}

void TClientSession::Cancel()
{
    const TSessionState state = FMachine.State();
    if (state == TSessionState::Connecting) {
        Cut();
    } else if (state == TSessionState::Running && FRun && FRun->ServerWorkLeft() && FState.ConnectionId != 0) {
        StartCancel();
        Changed(state, false);
    }
}

void TClientSession::StartCancel()
{
    if (!FMachine.StartCancel())
        return;
    FCanceller = new TQueryCanceller(FInfo, FState.ConnectionId, FRun, this);
    connect(FCanceller, &TQueryCanceller::Ended, this, &TClientSession::CancelEnded);
}

void TClientSession::CancelEnded(TCancelResult result, const QString& reason)
{
    const TReplyScope scope(*this);
    FCanceller->deleteLater();
    FCanceller = nullptr;
    const TSessionState before = FMachine.State();
    bool cutEnded = false;
    FMachine.CancelEnded(&cutEnded);
    if (cutEnded)
        FDataSet->Connection()->ClearInterrupt();
    if (FMachine.State() == TSessionState::Retiring || FMachine.State() == TSessionState::Retired) {
        Changed(before, false);
        return;
    }
    const bool workLeft = FRun && FRun->ServerWorkLeft();
    Changed(before, false);
    if (result == TCancelResult::OtherAccount && workLeft)
        emit CancelUnreachable();
    else if (result == TCancelResult::Refused && workLeft)
        emit CancelRefused(reason);
}

bool TClientSession::Cut()
{
    const TSessionState before = FMachine.State();
    if (!FMachine.Cut())
        return false;
    FDataSet->Connection()->Interrupt();
    Changed(before, false);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Closing in the background

void TClientSession::Retire()
{
    const TSessionState before = FMachine.State();
    if (!FMachine.Retire())
        return;
    // The owner hears nothing more, and nothing of its own runs any more.
    disconnect(this, nullptr, nullptr, nullptr);
    FDone.clear();
    Retired().insert(this);

    // Dropped jobs never answer.
    for (std::size_t dropped = FThread->DropQueued(); dropped > 0; --dropped)
        FMachine.JobAnswered(false, false);
    // What was cut before is no reason to skip the cut below: a connect still under way is cut now.
    if (before == TSessionState::Connecting || (before == TSessionState::Cut && FMachine.JobsOut() > 0))
        FDataSet->Connection()->Interrupt();
    if (FRun) {
        // The lines not yet drawn are of no use any more; formatting stops too.
        FRun->Drop();
        if (FRun->ServerWorkLeft() && !FCanceller && FState.ConnectionId != 0)
            StartCancel();
    }
    Close();

    // A connection that has not closed by then is cut, whatever was cut before; a thread that has
    // not ended StopBound after that cut is left to end alone.
    FRetireTimer = new QTimer(this);
    FRetireTimer->setSingleShot(true);
    connect(FRetireTimer, &QTimer::timeout, this, [this, cutDone = false]() mutable {
        if (!cutDone) {
            cutDone = true;
            FDataSet->Connection()->Interrupt();
            FRetireTimer->start(StopBound);
        } else {
            EndRetired();
        }
    });
    FRetireTimer->start(CutBound);
    if (FMachine.RetiringDone())
        EndRetired();
}

void TClientSession::EndRetired()
{
    if (Retired().erase(this) == 0)
        return;
    const bool nothingOut = FMachine.JobsOut() == 0;
    FMachine.EndRetired();
    if (FRetireTimer)
        FRetireTimer->stop();
    // An idle thread ends at once; one stuck where nothing interrupts it is left to end alone.
    FThread->Stop(std::chrono::steady_clock::now() + (nothingOut ? StopBound : std::chrono::milliseconds(0)));
    if (FReplyDepth == 0)
        DeleteWhenUnwound();
}

void TClientSession::DeleteWhenUnwound()
{
    deleteLater();
}

std::size_t TClientSession::Closing()
{
    return Retired().size();
}

void TClientSession::FinishClosing(std::chrono::steady_clock::time_point deadline)
{
    while (!Retired().empty() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!Retired().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const std::set<TClientSession*> left = Retired();
    for (TClientSession* session : left) {
        session->FDataSet->Connection()->Interrupt();
        session->EndRetired();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
