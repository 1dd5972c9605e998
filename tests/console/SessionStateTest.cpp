// The session's state: every transition, as a table of event sequences with the state after each.
#include "SessionState.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using S = TSessionState;

enum class TEvent {
    Open,
    Run,
    Post,
    ConnectAnswered,
    RunAnswered,
    JobAnswered,
    EndRun,
    StartCancel,
    CancelEnded,
    Cut,
    Retire,
    EndRetired,
};

std::string EventName(TEvent event)
{
    static const char* const names[] = {"Open",   "Run",         "Post",        "ConnectAnswered",
                                        "RunAnswered", "JobAnswered", "EndRun", "StartCancel",
                                        "CancelEnded", "Cut",         "Retire",      "EndRetired"};
    return names[static_cast<int>(event)];
}

struct TStep {
    TEvent Event;
    S After;
    bool Applies = true;   // what the transition answers
    bool CutEnds = false;  // the cut is over with this step: the connection may wait again
};

struct TCase {
    const char* Name;
    std::vector<TStep> Steps;
};

// Applies one event; answers what the transition answered, and whether a cut ended.
bool Apply(TSessionMachine& machine, TEvent event, bool& cutEnded)
{
    cutEnded = false;
    switch (event) {
    case TEvent::Open: return machine.Open();
    case TEvent::Run: return machine.Run();
    case TEvent::Post: return machine.Post();
    case TEvent::ConnectAnswered: machine.JobAnswered(true, false, &cutEnded); return true;
    case TEvent::RunAnswered: machine.JobAnswered(false, true, &cutEnded); return true;
    case TEvent::JobAnswered: machine.JobAnswered(false, false, &cutEnded); return true;
    case TEvent::EndRun: return machine.EndRun();
    case TEvent::StartCancel: return machine.StartCancel();
    case TEvent::CancelEnded: machine.CancelEnded(&cutEnded); return true;
    case TEvent::Cut: return machine.Cut();
    case TEvent::Retire: return machine.Retire();
    case TEvent::EndRetired: return machine.EndRetired();
    }
    return false;
}

TEST(SessionState, Transitions)
{
    using E = TEvent;
    const TCase cases[] = {
        // Each of the old flags stands for one of these.
        {"a connect (was FConnecting)", {{E::Open, S::Connecting}, {E::ConnectAnswered, S::Idle}}},
        {"nothing starts while connecting",
         {{E::Open, S::Connecting}, {E::Open, S::Connecting, false}, {E::Run, S::Connecting, false}}},
        {"a cancelled connect (was FConnectCancelled and FCut)",
         {{E::Open, S::Connecting}, {E::Cut, S::Cut}, {E::ConnectAnswered, S::Idle, true, true}}},
        {"a close posted behind a cancelled connect keeps the cut",
         {{E::Open, S::Connecting},
          {E::Cut, S::Cut},
          {E::Post, S::Cut},
          {E::ConnectAnswered, S::Cut},
          {E::JobAnswered, S::Idle, true, true}}},
        {"a run lasts until its owner ends it (was the console's FRun)",
         {{E::Run, S::Running}, {E::RunAnswered, S::Running}, {E::EndRun, S::Idle}}},
        {"drawing stopped before the job answered",
         {{E::Run, S::Running}, {E::EndRun, S::Running}, {E::RunAnswered, S::Idle}}},
        {"a cancel counts as busy until it is over (was FCanceller)",
         {{E::Run, S::Running},
          {E::StartCancel, S::Cancelling},
          {E::StartCancel, S::Cancelling, false},
          {E::RunAnswered, S::Cancelling},
          {E::EndRun, S::Cancelling},
          {E::CancelEnded, S::Idle}}},
        {"a refused cancel: the run goes on",
         {{E::Run, S::Running}, {E::StartCancel, S::Cancelling}, {E::CancelEnded, S::Running}}},
        {"a cut of a run is over once its job answered; then the next run can start",
         {{E::Run, S::Running},
          {E::Cut, S::Cut},
          {E::RunAnswered, S::Running, true, true},
          {E::EndRun, S::Idle},
          {E::Run, S::Running}}},
        {"a cut after a refused cancel",
         {{E::Run, S::Running},
          {E::StartCancel, S::Cancelling},
          {E::CancelEnded, S::Running},
          {E::Cut, S::Cut},
          {E::RunAnswered, S::Running, true, true},
          {E::EndRun, S::Idle}}},
        {"a cut while the cancel is out lasts until the cancel is over",
         {{E::Run, S::Running},
          {E::StartCancel, S::Cancelling},
          {E::Cut, S::Cut},
          {E::RunAnswered, S::Cut},
          {E::CancelEnded, S::Running, true, true},
          {E::EndRun, S::Idle}}},
        {"nothing to cut once the run's job has answered",
         {{E::Run, S::Running}, {E::RunAnswered, S::Running}, {E::Cut, S::Running, false}}},
        {"nothing to cut while idle", {{E::Cut, S::Idle, false}}},
        {"a cancel is only for a run", {{E::StartCancel, S::Idle, false}, {E::Open, S::Connecting},
                                        {E::StartCancel, S::Connecting, false}}},
        {"other jobs (was FPending)",
         {{E::Post, S::Working}, {E::Post, S::Working}, {E::Run, S::Working, false}, {E::JobAnswered, S::Working},
          {E::JobAnswered, S::Idle}}},
        {"a close behind a run",
         {{E::Run, S::Running}, {E::Post, S::Running}, {E::RunAnswered, S::Running}, {E::EndRun, S::Working},
          {E::JobAnswered, S::Idle}}},
        {"retired while idle (was FRetiring)",
         {{E::Retire, S::Retiring}, {E::Retire, S::Retiring, false}, {E::Post, S::Retiring}, {E::Open, S::Retiring, false},
          {E::JobAnswered, S::Retiring}, {E::EndRetired, S::Retired}, {E::Post, S::Retired, false}}},
        {"retired after a cut: the cut is over for the retiring session, which may cut again",
         {{E::Open, S::Connecting}, {E::Cut, S::Cut}, {E::ConnectAnswered, S::Idle, true, true}, {E::Run, S::Running},
          {E::Retire, S::Retiring}, {E::Cut, S::Retiring}, {E::StartCancel, S::Retiring}, {E::CancelEnded, S::Retiring},
          {E::RunAnswered, S::Retiring}, {E::EndRetired, S::Retired}}},
        {"a retired session does not leave Retired", {{E::Retire, S::Retiring}, {E::EndRetired, S::Retired},
                                                      {E::Retire, S::Retired, false}, {E::Cut, S::Retired, false},
                                                      {E::EndRetired, S::Retired, false}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSessionMachine machine;
        EXPECT_EQ(machine.State(), S::Idle);
        int index = 0;
        for (const TStep& step : c.Steps) {
            SCOPED_TRACE("step " + std::to_string(index++) + ": " + EventName(step.Event));
            bool cutEnded = false;
            EXPECT_EQ(Apply(machine, step.Event, cutEnded), step.Applies);
            EXPECT_EQ(SessionStateName(machine.State()), SessionStateName(step.After));
            EXPECT_EQ(cutEnded, step.CutEnds);
            // Busy is the one definition: anything but Idle.
            EXPECT_EQ(machine.Busy(), step.After != S::Idle);
        }
    }
}

TEST(SessionState, RetiringIsDoneOnlyWhenNothingIsOut)
{
    TSessionMachine machine;
    machine.Run();
    machine.Retire();
    machine.StartCancel();
    machine.Post();
    EXPECT_FALSE(machine.RetiringDone());
    machine.JobAnswered(false, true);
    EXPECT_FALSE(machine.RetiringDone());
    machine.CancelEnded();
    EXPECT_FALSE(machine.RetiringDone());
    machine.JobAnswered(false, false);
    EXPECT_TRUE(machine.RetiringDone());
}

} // namespace
