// A thread for the calls of one client connection, and the way its results come back to the GUI.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class QObject;

// Runs jobs one at a time, in the order they were posted, on a thread of its own, so that the GUI
// thread never waits for a server. A job must hold whatever it uses by value or shared pointer: the
// thread may outlive this object (see the destructor). A job that throws ends, and the next one runs.
class TClientThread {
public:
    // How long the destructor waits for a job that is still running.
    static constexpr std::chrono::milliseconds JoinBound{2000};

    TClientThread();
    // Stop with JoinBound, unless stopped before. A thread that has ended is joined, so that what it
    // leaves to its own end (the client library's per-thread state) is gone with it; one still stuck
    // in a job is left to finish alone.
    ~TClientThread();
    TClientThread(const TClientThread&) = delete;
    TClientThread& operator=(const TClientThread&) = delete;

    void Post(std::function<void()> job);
    // True when no job runs and none waits.
    bool Idle() const;
    // Waits until Idle, but not past the deadline; answers Idle.
    bool WaitIdle(std::chrono::steady_clock::time_point deadline) const;
    // Drops the jobs not yet started and waits for the running one, but not past the deadline; if it
    // is still running then (stuck where nothing can interrupt it, such as a host-name look-up), the
    // thread is left to finish it alone and end. Nothing can be posted after.
    void Stop(std::chrono::steady_clock::time_point deadline);

private:
    struct TState;
    static void RunJobs(const std::shared_ptr<TState>& state);

    std::shared_ptr<TState> FState;
    std::thread FThread;
};

// Carries calls from any thread to the thread of a receiver QObject, where they run in the order they
// were sent. After Close calls not yet run are dropped. The receiver must Close the channel before it
// is destroyed. Copies share one channel.
class TReplyChannel {
public:
    explicit TReplyChannel(QObject* receiver);

    // Thread-safe.
    void Send(std::function<void()> call) const;
    // On the receiver's thread: nothing sent runs any more.
    void Close();

private:
    struct TState;
    std::shared_ptr<TState> FState;
};
