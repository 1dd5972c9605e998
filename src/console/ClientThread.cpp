#include "ClientThread.h"

#include "OwnThreads.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <QMetaObject>
#include <QObject>

// ---------------------------------------------------------------------------------------------
// TClientThread

struct TClientThread::TState {
    mutable std::mutex Mutex;
    mutable std::condition_variable Changed;
    std::deque<std::function<void()>> Jobs;
    bool Running = false;  // a job is being run
    bool Stopping = false; // the owner is gone: run nothing more and end
    bool Ended = false;    // the thread function has returned
};

TClientThread::TClientThread(const char* role)
    : FState(std::make_shared<TState>())
    , FThread([state = FState, role] {
        EnterOwnThread(role);
        RunJobs(state);
    })
{
}

TClientThread::~TClientThread()
{
    bool stopped = false;
    {
        std::lock_guard lock(FState->Mutex);
        stopped = FState->Stopping;
    }
    if (!stopped)
        Stop(std::chrono::steady_clock::now() + JoinBound);
    bool ended = false;
    {
        std::lock_guard lock(FState->Mutex);
        ended = FState->Ended;
    }
    // An ended thread has only its exit left to run; one stuck in a job ends on its own, holding its
    // state.
    if (ended)
        FThread.join();
    else
        FThread.detach();
}

bool TClientThread::Stop(std::chrono::steady_clock::time_point deadline)
{
    std::deque<std::function<void()>> dropped;
    std::unique_lock lock(FState->Mutex);
    FState->Stopping = true;
    dropped.swap(FState->Jobs);
    FState->Changed.notify_all();
    // A thread that this wait does not see end is left to end on its own, holding its state.
    return FState->Changed.wait_until(lock, deadline, [this] { return FState->Ended; });
}

void TClientThread::Post(std::function<void()> job)
{
    std::lock_guard lock(FState->Mutex);
    if (FState->Stopping)
        return;
    FState->Jobs.push_back(std::move(job));
    FState->Changed.notify_all();
}

std::size_t TClientThread::DropQueued()
{
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(FState->Mutex);
    dropped.swap(FState->Jobs);
    FState->Changed.notify_all();
    return dropped.size();
}

bool TClientThread::Idle() const
{
    std::lock_guard lock(FState->Mutex);
    return !FState->Running && FState->Jobs.empty();
}

bool TClientThread::WaitIdle(std::chrono::steady_clock::time_point deadline) const
{
    std::unique_lock lock(FState->Mutex);
    return FState->Changed.wait_until(lock, deadline,
                                      [this] { return !FState->Running && FState->Jobs.empty(); });
}

void TClientThread::RunJobs(const std::shared_ptr<TState>& state)
{
    std::unique_lock lock(state->Mutex);
    while (true) {
        state->Changed.wait(lock, [&] { return state->Stopping || !state->Jobs.empty(); });
        if (state->Stopping)
            break;
        std::function<void()> job = std::move(state->Jobs.front());
        state->Jobs.pop_front();
        state->Running = true;
        lock.unlock();
        try {
            job();
        } catch (...) {
            // A job reports its own failures; one that escapes must not end the thread.
        }
        // What the job held (result sets, shared state) goes before the job counts as done.
        job = nullptr;
        lock.lock();
        state->Running = false;
        state->Changed.notify_all();
    }
    state->Ended = true;
    state->Changed.notify_all();
}

// ---------------------------------------------------------------------------------------------
// TReplyChannelBase

struct TReplyChannelBase::TState {
    std::mutex Mutex;
    QObject* Receiver = nullptr;
    bool Open = true;
};

TReplyChannelBase::TReplyChannelBase(QObject* receiver)
    : FState(std::make_shared<TState>())
{
    FState->Receiver = receiver;
}

void TReplyChannelBase::Call(std::function<void()> call) const
{
    std::lock_guard lock(FState->Mutex);
    if (!FState->Open)
        return;
    // The receiver closes the channel before it is destroyed, so it is alive while the lock is held
    // here; Qt drops a call still queued when the receiver goes.
    QMetaObject::invokeMethod(
        FState->Receiver,
        [state = FState, call = std::move(call)] {
            if (state->Open)
                call();
        },
        Qt::QueuedConnection);
}

void TReplyChannelBase::Close()
{
    std::lock_guard lock(FState->Mutex);
    FState->Open = false;
}
