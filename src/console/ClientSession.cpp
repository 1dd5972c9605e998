#include "ClientSession.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <set>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include "ClientStrings.h"
#include "QueryCanceller.h"
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

// Writes one outcome of a run. databaseSelected: the outcome is told as "Database selected".
void WriteOutcome(TStatementRun& run, const TMySQLOutcome& outcome, bool databaseSelected)
{
    // A procedure can send a result set and then fail: the table is shown, then the error.
    if (outcome.Rows && outcome.Rows->RowCount() > 0) {
        Transcript::TTableLines table(*outcome.Rows);
        run.ExpectLines(static_cast<int>(std::min<std::int64_t>(table.LineCount(), INT_MAX)));
        run.BeginTable(outcome.Rows->RowCount());
        while (table.Next(run.LineBytes()))
            run.EndLine(table.WroteRow());
    }
    if (outcome.ErrorCode != 0) {
        for (const QString& line : Transcript::ErrorLines(FromClientString(outcome.ErrorText)))
            run.Append(line);
    } else if (databaseSelected) {
        run.Append(Transcript::DatabaseSelectedLine());
    } else if (!outcome.Rows) {
        run.Append(Transcript::AffectedRowsLine(outcome.AffectedRows));
    } else if (outcome.Rows->RowCount() < 1) {
        run.Append(Transcript::EmptySetLine());
    }
}

// The session thread's part of a run: send the request, then write every outcome in the server's
// order until the first error, and end the run with its totals. Answers the current database the
// server last reported.
std::optional<std::string> RunStatements(TMySQLDataSet& dataSet, TStatementRun& run, const QString& sql)
{
    using TClock = std::chrono::steady_clock;
    std::optional<std::string> schema;
    TRunTotals totals;
    // Only the client library's calls count: the formatting between them, and the waits for the
    // console to take what was formatted, are ours.
    const auto timed = [&totals](const auto& call) {
        const TClock::time_point start = TClock::now();
        TMySQLOutcome outcome = call();
        totals.Elapsed += TClock::now() - start;
        totals.Warnings += outcome.Warnings;
        return outcome;
    };
    const std::string request = ToClientString(sql);
    // The console shows how many rows have come while a result set arrives.
    dataSet.OnRowsRead = [&run](std::int64_t rows) { run.SetRowsReceived(rows); };
    const std::unique_ptr<TMySQLDataSet, void (*)(TMySQLDataSet*)> rowsReported(
        &dataSet, [](TMySQLDataSet* reading) { reading->OnRowsRead = nullptr; });
    run.SetInServerCall(true);
    // Rows are read as they arrive, into storage that the table gives back as it is drawn.
    TMySQLOutcome outcome = timed([&] { return dataSet.Execute(request, TResultReading::Streamed); });
    try {
        // The first statement is told by the request's text, as a single statement always was; the
        // later ones by what the server reports, since the text cannot be cut into statements here.
        bool databaseSelected = outcome.ErrorCode == 0 && Transcript::IsUseStatement(sql);
        while (true) {
            // Pending first, then out of the call: the run never looks done on the server too early.
            run.SetOutcomesPending(outcome.ErrorCode == 0 && dataSet.MoreOutcomes());
            run.SetInServerCall(false);
            if (outcome.Schema)
                schema = outcome.Schema;
            WriteOutcome(run, outcome, databaseSelected);
            outcome.Rows.reset();
            if (outcome.ErrorCode != 0 || !dataSet.MoreOutcomes())
                break;
            // What is written is shown while the server works on the next statement.
            run.Flush();
            run.SetInServerCall(true);
            outcome = timed([&] { return dataSet.NextOutcome(TResultReading::Streamed); });
            databaseSelected = outcome.ErrorCode == 0 && !outcome.Rows && outcome.Schema
                            && !outcome.Schema->empty();
        }
        totals.ErrorCode = outcome.ErrorCode;
        run.Finish(outcome.ErrorCode == 0, totals);
    } catch (const TStatementRun::TDropped&) {
        // The console stopped drawing. What the server still sends is read and dropped, so that the
        // connection is ready for the next request.
        outcome.Rows.reset();
        run.SetInServerCall(true);
        while (outcome.ErrorCode == 0 && dataSet.MoreOutcomes()) {
            outcome = dataSet.NextOutcome(TResultReading::Skipped);
            if (outcome.Schema)
                schema = outcome.Schema;
        }
        run.SetOutcomesPending(false);
        run.SetInServerCall(false);
    }
    return schema;
}

} // namespace

TClientSession::TClientSession(unsigned long clientFlags)
    : FReplies(this, [this](TJobReply& reply) { JobEnded(reply); })
    , FWakes(this,
             [this](std::uint64_t& serial) {
                 if (FRun && serial == FRunSerial)
                     emit RunReady();
             })
    , FDataSet(std::make_shared<TMySQLDataSet>())
    , FThread(std::make_unique<TClientThread>())
{
    // Sessions still closing when the application object goes are finished then, within bounds.
    static const bool registered = [] {
        qAddPostRoutine([] { FinishClosing(std::chrono::steady_clock::now() + CutBound + StopBound); });
        return true;
    }();
    (void)registered;
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

void TClientSession::SetPending(int pending)
{
    const bool wasBusy = Busy();
    FPending = pending;
    if (wasBusy != Busy() && !FRetiring)
        emit BusyChanged();
}

void TClientSession::PostJob(TJob job, TDone done)
{
    // A cut or an interrupted connect before this is over: the connection may wait again. Only while
    // no job runs, so that a cut of the running one is never lost.
    if (FPending == 0)
        FDataSet->Connection()->ClearInterrupt();
    const std::uint64_t id = ++FLastJob;
    if (done)
        FDone.emplace(id, std::move(done));
    SetPending(FPending + 1);
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
}

void TClientSession::JobEnded(TJobReply& reply)
{
    TDone done;
    if (auto found = FDone.find(reply.Job); found != FDone.end()) {
        done = std::move(found->second);
        FDone.erase(found);
    }
    // The count goes down before done runs, so that done may post the next job.
    const bool wasBusy = Busy();
    --FPending;
    if (done)
        done(reply.Result, reply.Failure);
    if (FRetiring)
        CheckRetired();
    else if (wasBusy != Busy())
        emit BusyChanged();
}

void TClientSession::Open(const TConnectionInfo& info)
{
    if (Busy() || FRetiring)
        return;
    FInfo = info;
    PostConnect(false);
}

void TClientSession::Reopen()
{
    if (!Busy() && !FRetiring)
        PostConnect(true);
}

void TClientSession::PostConnect(bool closeFirst)
{
    FConnecting = true;
    FConnectCancelled = false;
    // A reconnect brings back the current database the console had; a new login starts without one.
    const std::string database = closeFirst ? FState.Database : std::string();
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
                outcome.Encryption = dataSet.Connection()->EncryptionText();
                // Selected here, before the console hears of the connection, so that no statement of
                // its own can run in another database first.
                if (!database.empty()) {
                    if (dataSet.SelectDatabase(database))
                        outcome.Database = database;
                    else
                        outcome.DatabaseError = dataSet.ErrorText();
                }
            } else {
                outcome.ErrorCode = dataSet.ErrorCode();
                outcome.ErrorText = dataSet.ErrorText();
                outcome.CertificateProblem = dataSet.Connection()->CertificateProblem();
                // Still the one to bring back once a later reconnect succeeds.
                outcome.Database = database;
            }
            return std::any(outcome);
        },
        [this](const std::any& result, const std::optional<std::string>& failure) {
            TConnectOutcome outcome;
            if (result.has_value())
                outcome = std::any_cast<const TConnectOutcome&>(result);
            else
                outcome.ErrorText = failure.value_or("");
            Connected(outcome);
        });
}

void TClientSession::Connected(const TConnectOutcome& outcome)
{
    FState = outcome;
    FState.Cancelled = !FState.Opened && FConnectCancelled;
    FConnecting = false;
    FConnectCancelled = false;
    emit BusyChanged();
    emit Opened(FState);
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
    if (Busy() || FRetiring)
        return nullptr;
    const std::uint64_t serial = ++FRunSerial;
    FRun = std::make_shared<TStatementRun>([wakes = FWakes, serial] { wakes.Send(serial); });
    PostJob(
        [run = FRun, sql](TMySQLDataSet& dataSet) { return std::any(RunStatements(dataSet, *run, sql)); },
        [this, serial](const std::any& result, const std::optional<std::string>& failure) {
            if (serial != FRunSerial)
                return;
            if (result.has_value()) {
                if (const auto& schema = std::any_cast<const std::optional<std::string>&>(result))
                    FState.Database = *schema;
            }
            FRun.reset();
            emit RunEnded(failure ? FromClientString(*failure) : QString());
        });
    return FRun;
}

void TClientSession::Cancel()
{
    if (FRetiring)
        return;
    if (FConnecting) {
        FConnectCancelled = true;
        Cut();
    } else if (FRun && FRun->ServerWorkLeft() && !FCanceller && FState.ConnectionId != 0) {
        StartCancel();
        emit BusyChanged();
    }
}

void TClientSession::StartCancel()
{
    FCanceller = new TQueryCanceller(FInfo, FState.ConnectionId, FRun, this);
    connect(FCanceller, &TQueryCanceller::Ended, this, &TClientSession::CancelEnded);
}

void TClientSession::CancelEnded(bool reached, const QString& reason)
{
    FCanceller->deleteLater();
    FCanceller = nullptr;
    if (FRetiring) {
        CheckRetired();
        return;
    }
    if (!reached && FRun && FRun->ServerWorkLeft())
        emit CancelRefused(reason);
    emit BusyChanged();
}

void TClientSession::Cut()
{
    FCut = true;
    FDataSet->Connection()->Interrupt();
}

// ---------------------------------------------------------------------------------------------
// Closing in the background

void TClientSession::Retire()
{
    if (FRetiring)
        return;
    FRetiring = true;
    // The owner hears nothing more, and nothing of its own runs any more.
    disconnect(this, nullptr, nullptr, nullptr);
    FDone.clear();
    Retired().insert(this);

    FPending -= static_cast<int>(FThread->DropQueued());
    if (FConnecting)
        Cut();
    if (FRun) {
        // The lines not yet drawn are of no use any more; formatting stops too.
        FRun->Drop();
        if (FRun->ServerWorkLeft() && !FCanceller && FState.ConnectionId != 0)
            StartCancel();
    }
    Close();

    // A connection that has not closed by then is cut; a thread that has not ended StopBound after
    // the cut is left to end alone.
    FRetireTimer = new QTimer(this);
    FRetireTimer->setSingleShot(true);
    connect(FRetireTimer, &QTimer::timeout, this, [this] {
        if (!FCut) {
            Cut();
            FRetireTimer->start(StopBound);
        } else {
            EndRetired();
        }
    });
    FRetireTimer->start(CutBound);
    CheckRetired();
}

void TClientSession::CheckRetired()
{
    if (FPending == 0 && !FCanceller)
        EndRetired();
}

void TClientSession::EndRetired()
{
    if (Retired().erase(this) == 0)
        return;
    if (FRetireTimer)
        FRetireTimer->stop();
    // An idle thread ends at once; one stuck where nothing interrupts it is left to end alone.
    FThread->Stop(std::chrono::steady_clock::now() + (FPending == 0 ? StopBound : std::chrono::milliseconds(0)));
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
        session->Cut();
        session->EndRetired();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
