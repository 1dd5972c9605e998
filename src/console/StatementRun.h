// The outcome of one run on its way from a client session's thread to its transcript.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

// What the end of a run tells besides its lines.
struct TRunTotals {
    // The client library's code of the error that ended the run; 0 when every statement succeeded.
    std::uint32_t ErrorCode = 0;
    // The warnings the server reported, added up over the run's statements.
    std::uint32_t Warnings = 0;
    // The time spent in the client library's calls that sent the request and read its outcomes
    // (the server's work and the transfer), without the formatting and drawing in between.
    std::chrono::nanoseconds Elapsed{0};
};

// The session's thread formats the outcome into transcript lines and hands them over in slices; the
// GUI thread takes the slices and appends them. At most MaxQueued slices wait at a time (the
// producer waits for room), so a large result is never held twice whole. Wake runs on the producer's
// thread whenever something becomes ready that the GUI thread has not been told about: the GUI keeps
// taking until Take answers nothing, after which the next slice wakes it again. Dropping the run
// makes the producer's next Append, AppendRow, BeginTable or Finish throw TDropped, also when it
// waits for room.
class TStatementRun {
public:
    struct TDropped {};

    static constexpr qsizetype SliceLines = 2048;
    static constexpr qsizetype SliceUnits = 1 << 19;
    static constexpr std::size_t MaxQueued = 8;

    // Lines to append. A slice holds lines of at most one table.
    struct TSlice {
        QStringList Lines;
        std::int64_t Rows = 0;       // how many of the lines are a table's rows
        std::int64_t TableRows = -1; // when a table starts in this slice: how many rows it has
    };

    struct TTaken {
        std::optional<TSlice> Slice; // the next lines to append
        bool Ended = false;          // nothing more will come
        bool Succeeded = false;      // with Ended: every statement succeeded
        TRunTotals Totals;           // with Ended
    };

    explicit TStatementRun(std::function<void()> wake);
    TStatementRun(const TStatementRun&) = delete;
    TStatementRun& operator=(const TStatementRun&) = delete;

    // Producer.
    void Append(const QString& line);
    // A table of rows begins: the lines before it go in a slice of their own.
    void BeginTable(std::int64_t rows);
    void AppendRow(const QString& line);
    void Finish(bool succeeded, const TRunTotals& totals);
    // How many lines the outcome will have, when the producer knows ahead (a table): the transcript
    // makes room for them at once. 0 while unknown.
    void ExpectLines(int lines) { FExpectedLines = lines; }
    int ExpectedLines() const { return FExpectedLines; }
    // Set while the producer waits for the server.
    void SetInServerCall(bool value) { FInServerCall = value; }
    // Set while the server has more outcomes of the run to send.
    void SetOutcomesPending(bool value) { FOutcomesPending = value; }

    // GUI thread. Neither slice nor end: nothing is ready yet, and Wake will run when it is.
    TTaken Take();
    // Hands an appended slice back, so that its strings are freed on the producer's thread that made
    // them: freeing them here would contend with that thread's allocations.
    void GiveBack(QStringList lines);
    void Drop();

    // Any thread.
    bool InServerCall() const { return FInServerCall; }
    // The server may still run statements of this run: a cancel on the server can still stop them.
    bool ServerWorkLeft() const { return FInServerCall || FOutcomesPending; }

private:
    void Push(std::optional<bool> end);

    const std::function<void()> FWake;
    std::atomic<bool> FInServerCall = true; // a run starts on its way to the server
    std::atomic<bool> FOutcomesPending = false;
    std::atomic<int> FExpectedLines = 0;

    // The producer's slice in the making.
    TSlice FPending;
    qsizetype FPendingUnits = 0;

    std::mutex FMutex;
    std::condition_variable FRoom;
    std::deque<TSlice> FQueue;
    std::vector<QStringList> FSpent; // given back, to be freed by the producer
    bool FWoken = false; // the GUI thread has been told and has not yet found the queue empty
    bool FEnded = false;
    bool FSucceeded = false;
    TRunTotals FTotals;
    bool FDropped = false;
};
