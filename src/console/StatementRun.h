// One statement's outcome on its way from a console's client thread to its transcript.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

// The client thread formats the outcome into transcript lines and hands them over in slices; the GUI
// thread takes the slices and appends them. At most MaxQueued slices wait at a time (the client
// thread waits for room), so a large result is never held twice whole. Wake runs on the client
// thread whenever something becomes ready that the GUI thread has not been told about: the GUI keeps
// taking until Take answers nothing, after which the next slice wakes it again. Dropping the run
// (its console is going) makes the client thread's next Append or Finish throw TDropped.
class TStatementRun {
public:
    struct TDropped {};

    static constexpr qsizetype SliceLines = 2048;
    static constexpr qsizetype SliceUnits = 1 << 19;
    static constexpr std::size_t MaxQueued = 8;

    struct TTaken {
        std::optional<QStringList> Slice; // the next lines to append
        bool Ended = false;               // nothing more will come
        bool Succeeded = false;           // with Ended: the statement succeeded
    };

    explicit TStatementRun(std::function<void()> wake);
    TStatementRun(const TStatementRun&) = delete;
    TStatementRun& operator=(const TStatementRun&) = delete;

    // Client thread.
    void Append(const QString& line);
    void Finish(bool succeeded);
    // How many lines the outcome will have, when the client thread knows ahead (a table): the
    // transcript makes room for them at once. 0 while unknown.
    void ExpectLines(int lines) { FExpectedLines = lines; }
    int ExpectedLines() const { return FExpectedLines; }
    // Set while the client thread waits for the server, the only time cutting the connection helps.
    void SetInServerCall(bool value) { FInServerCall = value; }

    // GUI thread. Neither slice nor end: nothing is ready yet, and Wake will run when it is.
    TTaken Take();
    // Hands an appended slice back, so that its strings are freed on the client thread that made
    // them: freeing them here would contend with that thread's allocations.
    void GiveBack(QStringList slice);
    bool InServerCall() const { return FInServerCall; }
    void Drop();

private:
    void Push(QStringList slice, std::optional<bool> end);

    const std::function<void()> FWake;
    std::atomic<bool> FInServerCall = false;
    std::atomic<int> FExpectedLines = 0;

    // The client thread's slice in the making.
    QStringList FPending;
    qsizetype FPendingUnits = 0;

    std::mutex FMutex;
    std::condition_variable FRoom;
    std::deque<QStringList> FQueue;
    std::vector<QStringList> FSpent; // given back, to be freed by the client thread
    bool FWoken = false; // the GUI thread has been told and has not yet found the queue empty
    bool FEnded = false;
    bool FSucceeded = false;
    bool FDropped = false;
};
