#include "SessionState.h"

std::string_view SessionStateName(TSessionState state)
{
    switch (state) {
    case TSessionState::Idle: return "Idle";
    case TSessionState::Connecting: return "Connecting";
    case TSessionState::Working: return "Working";
    case TSessionState::Running: return "Running";
    case TSessionState::Cancelling: return "Cancelling";
    case TSessionState::Cut: return "Cut";
    case TSessionState::Retiring: return "Retiring";
    case TSessionState::Retired: return "Retired";
    }
    return "?";
}

TSessionState TSessionMachine::Rest() const
{
    if (FCancel)
        return TSessionState::Cancelling;
    if (FRunJob || FRunHeld)
        return TSessionState::Running;
    if (FConnectJob)
        return TSessionState::Connecting;
    if (FJobs > 0)
        return TSessionState::Working;
    return TSessionState::Idle;
}

void TSessionMachine::Settle(bool* cutEnded)
{
    if (cutEnded)
        *cutEnded = false;
    switch (FState) {
    case TSessionState::Retiring:
    case TSessionState::Retired:
        return;
    case TSessionState::Cut:
        // A job posted after the cut waits on the same interrupted connection: the cut lasts until
        // nothing is out.
        if (FJobs > 0 || FCancel)
            return;
        if (cutEnded)
            *cutEnded = true;
        FState = Rest();
        return;
    default:
        FState = Rest();
    }
}

bool TSessionMachine::Open()
{
    if (FState != TSessionState::Idle)
        return false;
    ++FJobs;
    FConnectJob = true;
    FState = TSessionState::Connecting;
    return true;
}

bool TSessionMachine::Run()
{
    if (FState != TSessionState::Idle)
        return false;
    ++FJobs;
    FRunJob = true;
    FRunHeld = true;
    FState = TSessionState::Running;
    return true;
}

bool TSessionMachine::Post()
{
    if (FState == TSessionState::Retired)
        return false;
    ++FJobs;
    if (FState == TSessionState::Idle)
        FState = TSessionState::Working;
    return true;
}

void TSessionMachine::JobAnswered(bool connect, bool run, bool* cutEnded)
{
    if (FJobs > 0)
        --FJobs;
    if (connect)
        FConnectJob = false;
    if (run)
        FRunJob = false;
    Settle(cutEnded);
}

bool TSessionMachine::EndRun()
{
    if (!FRunHeld)
        return false;
    FRunHeld = false;
    Settle(nullptr);
    return true;
}

bool TSessionMachine::StartCancel()
{
    if (FCancel || (FState != TSessionState::Running && FState != TSessionState::Retiring))
        return false;
    FCancel = true;
    if (FState == TSessionState::Running)
        FState = TSessionState::Cancelling;
    return true;
}

void TSessionMachine::CancelEnded(bool* cutEnded)
{
    FCancel = false;
    Settle(cutEnded);
}

bool TSessionMachine::Cut()
{
    if (FState == TSessionState::Retiring)
        return true;
    // Only what is out can be cut.
    if (FJobs == 0 && !FCancel)
        return false;
    switch (FState) {
    case TSessionState::Connecting:
    case TSessionState::Working:
    case TSessionState::Running:
    case TSessionState::Cancelling:
        FState = TSessionState::Cut;
        return true;
    default:
        return false;
    }
}

bool TSessionMachine::Retire()
{
    if (FState == TSessionState::Retiring || FState == TSessionState::Retired)
        return false;
    FState = TSessionState::Retiring;
    FRunHeld = false;
    return true;
}

bool TSessionMachine::EndRetired()
{
    if (FState != TSessionState::Retiring)
        return false;
    FState = TSessionState::Retired;
    return true;
}
