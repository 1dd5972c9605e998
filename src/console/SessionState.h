// What a client session is doing: one state that changes only in the named transitions below.
#pragma once

#include <string_view>

enum class TSessionState {
    // Nothing of the session's is on its way: a connect, a run or a job may start.
    Idle,
    // The connect is on its way (other jobs may wait behind it).
    Connecting,
    // Jobs other than a connect or a run are on their way (a close, a job posted by the owner).
    Working,
    // A run is under way: its job is on its way, or its owner still takes its lines.
    Running,
    // A second connection stops the run on the server (the run itself may be over already).
    Cancelling,
    // The connection was interrupted (a cancelled connect, a cut): every wait for the server ends at
    // once until all that was on its way has answered; the session is then usable again.
    Cut,
    // Let go by its owner: closing in the background, reaching nothing of the owner.
    Retiring,
    // Closed, or given up on: deleted once nothing of it is on the stack.
    Retired,
};

std::string_view SessionStateName(TSessionState state);

// The state and what is out on the session's behalf (jobs posted and not answered, the run's job,
// the owner's hold on the run, a cancel), which decide where a transition leads. Transitions that do
// not apply in the current state change nothing and answer false. Plain data, GUI thread only.
class TSessionMachine {
public:
    TSessionState State() const { return FState; }
    // Something is on its way or under way: nothing else starts. The one definition of busy.
    bool Busy() const { return FState != TSessionState::Idle; }
    int JobsOut() const { return FJobs; }
    bool CancelOut() const { return FCancel; }
    // The owner takes the run's lines and has not ended it.
    bool RunHeld() const { return FRunHeld; }
    bool RunJobOut() const { return FRunJob; }
    bool ConnectOut() const { return FConnectJob; }

    // Idle -> Connecting: a connect is posted.
    bool Open();
    // Idle -> Running: a run is posted, and its owner takes its lines until EndRun.
    bool Run();
    // Another job is posted: Idle -> Working; anywhere else but Retired the state stays.
    bool Post();
    // A job answered. connect/run: it was the connect's or the run's job. Leaves Cut only once
    // nothing cut is out any more (answers whether it did in cutEnded), Retiring once nothing is out.
    void JobAnswered(bool connect, bool run, bool* cutEnded = nullptr);
    // The owner has taken the run to its end (or stopped taking it).
    bool EndRun();
    // Running -> Cancelling: a cancel from a second connection starts (also while Retiring).
    bool StartCancel();
    // The cancel is over: Cancelling -> what is still out; Cut and Retiring as JobAnswered.
    void CancelEnded(bool* cutEnded = nullptr);
    // Connecting, Working, Running, Cancelling -> Cut: the connection is interrupted. Nothing to cut
    // while nothing is out (Idle, or a run whose job has answered); Retiring stays Retiring.
    bool Cut();
    // Any state but Retired -> Retiring.
    bool Retire();
    // Retiring -> Retired: everything has answered, or the session gives up waiting.
    bool EndRetired();
    // Retiring with nothing out any more.
    bool RetiringDone() const { return FState == TSessionState::Retiring && FJobs == 0 && !FCancel; }

private:
    // Where the session rests once something has come back, from what is still out.
    TSessionState Rest() const;
    void Settle(bool* cutEnded);

    TSessionState FState = TSessionState::Idle;
    int FJobs = 0;
    bool FConnectJob = false;
    bool FRunJob = false;
    bool FRunHeld = false;
    bool FCancel = false;
};
