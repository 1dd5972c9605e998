// One client session: a connection to a server, the thread that talks to it, its cancel and the
// rules for closing it. A console has one; so have the connect dialog's test and a cancel.
#pragma once

#include <any>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QObject>
#include <QString>

#include "ClientThread.h"
#include "MySQLClasses.h"
#include "SessionState.h"

class QTimer;
class TQueryCanceller;
enum class TCancelResult : int;
class TStatementRun;

// What a connect hands back to the GUI, and what the session knows of its connection since.
struct TConnectOutcome {
    bool Opened = false;
    // The attempt was ended by Cancel or a close, not by the server.
    bool Cancelled = false;
    std::uint32_t ErrorCode = 0;
    std::string ErrorText;
    std::string ServerVersion;
    std::uint64_t ConnectionId = 0;
    // How the connection is encrypted and its server verified, for the user (SecurityText).
    std::string Encryption;
    // A certificate the verified mode could not accept: why, and the fingerprint the user may trust.
    std::optional<TCertificateProblem> CertificateProblem;
    // The current database as the server last reported it; empty for none. A failed reconnect keeps
    // the one the console had, for the next reconnect to bring back.
    std::string Database;
    // A reconnect could not select that database again (it was dropped, or access to it was
    // revoked): the server's reason. The connection is open, without a current database.
    std::string DatabaseError;
};

// Threading model. Two kinds of thread: the GUI thread, which owns the session, and the session's
// thread (TClientThread), which runs its jobs one at a time in the order they were posted. What
// crosses between them, and who may touch it:
// - The data set, and through it the client library's handle: the session's thread alone, inside
//   jobs. A job gets what it uses as parameters (the data set, the run it writes to, values) and
//   never sees the session or its owner. Two calls of the connection are the GUI thread's:
//   Interrupt (Cut; any thread may call it, it only writes to an event descriptor), and
//   ClearInterrupt, called only when a cut is over, that is when no job of the session is queued or
//   running, so that no thread uses the connection then.
// - A job's reply: a value that the reply channel (TReplyChannel) carries to the GUI thread. Every
//   job answers once, also when it throws.
// - TStatementRun: written by the run's job on the session's thread, taken by the owner on the GUI
//   thread; its slices under its mutex, InServerCall/ServerWorkLeft atomic for any thread. A run's
//   wake crosses as a serial number on a reply channel of its own.
// - The canceller's job (on the canceller's own session thread) reads the run's ServerWorkLeft and an
//   atomic "abandoned" flag that the GUI thread sets.
// Everything else (the state, the outcome, the run's owner) is the GUI thread's.
//
// State. What the session does is one TSessionState (SessionState.h), changed only by the named
// transitions of TSessionMachine; Busy means "not Idle". The owner asks the session, and keeps no
// state of its own about it.
//
// Replies. A reply (Opened, RunReady, RunEnded, CancelRefused, CancelUnreachable) records what
// happened and returns: the owner opens no modal window in it (questions are opened with open()
// and a handler, or posted). A session let go while one of its replies is on the stack is deleted
// only once that reply has returned.
//
// Cancel stops a run on the server from a second session (KILL QUERY ID of the statement that runs,
// looked up just before). A cancel counts as busy until it is over, so no next run can start and be
// hit by it. A cancel that cannot reach the server within CutBound is given up and reported
// (CancelRefused); cutting the connection is then the owner's choice (Cut). A statement that runs
// under another account (a routine with another definer) cannot be reached by this account's
// KILL: that is reported at once (CancelUnreachable).
//
// Closing never waits on the GUI thread. The owner lets go of the session through TSessionHandle,
// which retires it: queued jobs are dropped, a statement still on the server is cancelled, the
// connection is closed on the session's thread or, if that has not happened CutBound later, cut
// (whatever was cut before); the thread is then given StopBound to end, or left to end alone. All
// of this runs on in the background and reaches nothing of the owner. FinishClosing waits for it,
// with a bound, at program exit.
class TClientSession : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds CutBound{2000};
    static constexpr std::chrono::milliseconds StopBound{300};

    // clientFlags: what the connection asks the server for besides multiple results.
    // threadRole names the session's thread (see TClientThread).
    explicit TClientSession(unsigned long clientFlags = 0, const char* threadRole = "client");
    // Only once retired and done; owners hold a session through TSessionHandle.
    ~TClientSession() override;

    // Connects with these parameters; Opened tells the outcome. A connection held before is closed
    // first. Nothing while busy.
    void Open(const TConnectionInfo& info);
    // Closes and connects again with the parameters of the last Open, and selects the current
    // database the connection had, before Opened is told. Nothing while busy.
    void Reopen();
    // Closes the connection.
    void Close();
    // Sends sql (several statements where the connection allows them) and writes every outcome into
    // the run that it answers; RunReady tells when the run has lines to take, and RunEnded when its
    // job is over (with what it threw, if it did). The owner takes the run's lines until it calls
    // EndRun; the session is busy until then. Null while busy.
    std::shared_ptr<TStatementRun> Run(const QString& sql);
    // A run whose job writes the run's lines and finishes it on the session's thread, answering the
    // current database the server last reported (a script, for example).
    using TRunJob = std::function<std::optional<std::string>(TMySQLDataSet&, TStatementRun&)>;
    std::shared_ptr<TStatementRun> Run(TRunJob job);
    // The owner has taken the run to its end, or stopped taking it.
    void EndRun();
    // The run the owner takes, until EndRun; null otherwise.
    std::shared_ptr<TStatementRun> CurrentRun() const;

    // Runs job on the session's thread with the session's data set; done gets its result on the GUI
    // thread, unless the session is retired first. A job that throws gives done nothing.
    template <class TResult>
    void Post(std::function<TResult(TMySQLDataSet&)> job, std::function<void(const TResult&)> done = {})
    {
        PostJob([job = std::move(job)](TMySQLDataSet& dataSet) { return std::any(job(dataSet)); },
                [done = std::move(done)](const std::any& result, const std::optional<std::string>&) {
                    if (done && result.has_value())
                        done(std::any_cast<const TResult&>(result));
                });
    }

    // A connect under way ends at once (Opened with Cancelled); a run that the server still works on
    // is cancelled there. Nothing otherwise.
    void Cancel();
    // Ends every wait for the server at once: a statement fails with a lost connection. False, and
    // nothing done, when nothing is out to cut.
    bool Cut();

    TSessionState SessionState() const { return FMachine.State(); }
    bool Busy() const { return FMachine.Busy(); }
    bool Connecting() const { return FMachine.State() == TSessionState::Connecting; }
    bool Cancelling() const { return FMachine.State() == TSessionState::Cancelling; }
    bool HasRun() const { return FRun != nullptr; }
    const TConnectOutcome& State() const { return FState; }
    const TConnectionInfo& Info() const { return FInfo; }

    // Starts closing in the background (see the class comment). The owner sees nothing more.
    void Retire();
    // At program exit: lets the sessions still closing finish, but not past the deadline; those that
    // have not are cut and left to end alone.
    static void FinishClosing(std::chrono::steady_clock::time_point deadline);
    // How many sessions are still closing.
    static std::size_t Closing();

signals:
    void Opened(const TConnectOutcome& outcome);
    void RunReady();
    void RunEnded(const QString& failure);
    // A cancel could not reach the server; the run goes on. reason is the server's or the library's.
    void CancelRefused(const QString& reason);
    // The statement runs under another account (a routine with another definer): no cancel of this
    // account's reaches it. The run goes on.
    void CancelUnreachable();
    // The session's state changed.
    void BusyChanged();

private:
    struct TJobReply {
        std::uint64_t Job = 0;
        std::any Result;
        std::optional<std::string> Failure;
    };
    using TJob = std::function<std::any(TMySQLDataSet&)>;
    using TDone = std::function<void(const std::any& result, const std::optional<std::string>& failure)>;

    enum class TJobKind { Other, Connect, Run };
    // While a reply of the session runs: a session retired meanwhile is deleted only after it.
    class TReplyScope;

    void PostJob(TJob job, TDone done, TJobKind kind = TJobKind::Other);
    void JobEnded(TJobReply& reply);
    void PostConnect(bool closeFirst);
    void Connected(const TConnectOutcome& outcome, bool cancelled);
    void CancelEnded(TCancelResult result, const QString& reason);
    void StartCancel();
    // After a transition: tells the owner, clears a cut that is over, ends a retired session.
    void Changed(TSessionState before, bool cutEnded);
    void EndRetired();
    void DeleteWhenUnwound();

    TReplyChannel<TJobReply> FReplies;
    TReplyChannel<std::uint64_t> FWakes;
    std::shared_ptr<TMySQLDataSet> FDataSet;
    std::unique_ptr<TClientThread> FThread;
    TConnectionInfo FInfo;
    TConnectOutcome FState;
    TSessionMachine FMachine;

    std::uint64_t FLastJob = 0;
    std::map<std::uint64_t, TDone> FDone;
    std::map<std::uint64_t, TJobKind> FKinds;

    std::shared_ptr<TStatementRun> FRun;
    std::uint64_t FRunSerial = 0;
    TQueryCanceller* FCanceller = nullptr; // a child, while a cancel is out

    QTimer* FRetireTimer = nullptr;
    int FReplyDepth = 0;
};

// Owns a session for a GUI object and retires it when let go.
struct TSessionRetirer {
    void operator()(TClientSession* session) const { session->Retire(); }
};
using TSessionHandle = std::unique_ptr<TClientSession, TSessionRetirer>;
