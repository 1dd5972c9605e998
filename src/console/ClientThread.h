// The thread that runs a client session's jobs, and the channel that carries their replies back.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

class QObject;

// Runs jobs one at a time, in the order they were posted, on a thread of its own. The thread may
// outlive this object (see the destructor), so a job holds what it uses by value or shared pointer.
// A job that throws ends, and the next one runs.
class TClientThread {
public:
    // How long the destructor waits for a job that is still running.
    static constexpr std::chrono::milliseconds JoinBound{2000};

    // role names the thread ("client", "cancel"), numbered, as reports and debuggers show it; it must
    // outlive the thread (a literal).
    explicit TClientThread(const char* role = "client");
    // Stop with JoinBound, unless stopped before. A thread that has ended is joined, so that what it
    // leaves to its own end (the client library's per-thread state) is gone with it; one still stuck
    // in a job is left to finish alone.
    ~TClientThread();
    TClientThread(const TClientThread&) = delete;
    TClientThread& operator=(const TClientThread&) = delete;

    // Nothing happens to a job posted after Stop.
    void Post(std::function<void()> job);
    // Drops the jobs not yet started; answers how many.
    std::size_t DropQueued();
    // True when no job runs and none waits.
    bool Idle() const;
    // Waits until Idle, but not past the deadline; answers Idle.
    bool WaitIdle(std::chrono::steady_clock::time_point deadline) const;
    // Drops the jobs not yet started and waits for the running one, but not past the deadline; if it
    // is still running then (stuck where nothing can interrupt it, such as a host-name look-up), the
    // thread is left to finish it alone and end. Answers whether the thread has ended.
    bool Stop(std::chrono::steady_clock::time_point deadline);

private:
    struct TState;
    static void RunJobs(const std::shared_ptr<TState>& state);

    std::shared_ptr<TState> FState;
    std::thread FThread;
};

// The untyped part of TReplyChannel: hands calls to the receiver's thread while the channel is open.
class TReplyChannelBase {
public:
    // Thread-safe.
    void Call(std::function<void()> call) const;
    // On the receiver's thread: nothing sent runs any more.
    void Close();

protected:
    explicit TReplyChannelBase(QObject* receiver);

private:
    struct TState;
    std::shared_ptr<TState> FState;
};

// Carries messages from any thread to a handler on the thread of a receiver QObject, where they are
// handled in the order they were sent. After Close nothing more is handled; the receiver closes the
// channel before it is destroyed. Copies share one channel, and a sender holds only a copy: it
// never sees the receiver.
template <class TMessage>
class TReplyChannel : public TReplyChannelBase {
public:
    TReplyChannel(QObject* receiver, std::function<void(TMessage&)> handler)
        : TReplyChannelBase(receiver)
        , FHandler(std::make_shared<std::function<void(TMessage&)>>(std::move(handler)))
    {
    }

    // Thread-safe.
    void Send(TMessage message) const
    {
        Call([handler = FHandler, message = std::move(message)]() mutable { (*handler)(message); });
    }

private:
    std::shared_ptr<std::function<void(TMessage&)>> FHandler;
};
