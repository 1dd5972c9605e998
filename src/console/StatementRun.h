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
#include <string>
#include <vector>

#include <QString>

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

// The session's thread writes the outcome as transcript lines in UTF-8 and hands them over in
// slices; the GUI thread takes the slices and appends their bytes as they are. At most MaxQueued
// slices, and no more than MaxQueuedBytes unless it is one slice, wait at a time (the producer waits
// for room), so a large result is never held twice whole. The GUI thread gives each appended slice
// back, and the producer writes later lines into it: a run of any length works in the memory of a
// few slices, without fresh pages. A line longer than PartBytes (a huge value) is handed over in
// parts of about that size, each ending a slice, so that neither side holds it whole and the GUI
// thread takes it over several turns. Wake runs on the producer's thread when WakeSlices slices (or
// WakeBytes) wait that the GUI thread has not been told about, and at a Flush or the end: the GUI
// keeps taking until Take answers nothing, after which the next slices wake it again. Dropping the
// run makes the producer's next EndLine, Append, BeginTable, Flush or Finish throw TDropped, also
// when it waits for room.
class TStatementRun {
public:
    struct TDropped {};

    static constexpr std::size_t SliceLines = 2048;
    static constexpr std::size_t SliceBytes = std::size_t(1) << 18;
    static constexpr std::size_t MaxQueued = 8;
    static constexpr std::size_t MaxQueuedBytes = MaxQueued * SliceBytes;
    static constexpr std::size_t WakeSlices = MaxQueued / 2;
    static constexpr std::size_t WakeBytes = MaxQueuedBytes / 2;
    // Slices given back that the producer keeps to write into.
    static constexpr std::size_t MaxSpare = 2;
    // Lines up to this long go whole: the pane takes one in a small part of a turn, in the blocks
    // it shares with other lines.
    static constexpr std::size_t PartBytes = 4 * SliceBytes;

    // Lines to append: line i is Bytes[LineEnds[i - 1] .. LineEnds[i]) (line 0 starts at 0), without
    // its line break. A slice holds lines of at most one table.
    struct TSlice {
        std::string Bytes;
        std::vector<std::size_t> LineEnds;
        std::int64_t Rows = 0;       // how many of the lines are a table's rows
        std::int64_t TableRows = -1; // when a table starts in this slice: how many rows it has
        bool FirstContinues = false; // the first line is the rest of the last line of the slice before
        bool LastGoesOn = false;     // the last line is a part: its rest comes in the next slice
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
    // The bytes of the slice in the making: the producer writes a line at their end, then ends it.
    std::string& LineBytes() { return FPending.Bytes; }
    // The line written at the end of LineBytes is complete; row: it is one of the table's rows.
    void EndLine(bool row = false);
    // The bytes of a line written so far at the end of LineBytes are handed over as a part; the
    // producer writes its rest into LineBytes as if nothing had happened.
    void EndLinePart();
    // About how many bytes a line may add to LineBytes before it is better ended as a part.
    std::size_t LineRoom() const;
    // Hands over every line written so far at once, as before a wait for the server.
    void Flush();
    // Throws TDropped once the run has been dropped, without handing anything over.
    void ThrowIfDropped();
    void Finish(bool succeeded, const TRunTotals& totals);
    // How many lines the outcome will have, when the producer knows ahead (a table): the GUI thread
    // is told at once, so that the transcript makes room for them while the first slices are made.
    void ExpectLines(int lines);
    // Set while the producer waits for the server.
    void SetInServerCall(bool value) { FInServerCall = value; }
    // Set while the server has more outcomes of the run to send.
    void SetOutcomesPending(bool value) { FOutcomesPending = value; }
    // How many rows of the result set being read have arrived so far.
    void SetRowsReceived(std::int64_t rows) { FRowsReceived = rows; }

    // GUI thread. Neither slice nor end: nothing is ready yet, and Wake will run when it is. While
    // the producer makes lines (it waits for no server), waits up to wait for them.
    TTaken Take(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // The lines expected since the last call, or 0.
    int TakeExpectedLines() { return FExpectedLines.exchange(0); }
    // Hands an appended slice back for the producer to write into again (or to free on its own
    // thread, where the memory came from).
    void GiveBack(TSlice slice);
    void Drop();

    // Any thread.
    bool InServerCall() const { return FInServerCall; }
    // The server may still run statements of this run: a cancel on the server can still stop them.
    bool ServerWorkLeft() const { return FInServerCall || FOutcomesPending; }
    // Rows of the run's latest result set that have arrived (0 before the first).
    std::int64_t RowsReceived() const { return FRowsReceived; }

private:
    void Push(bool end, bool flush);

    const std::function<void()> FWake;
    std::atomic<bool> FInServerCall = true; // a run starts on its way to the server
    std::atomic<bool> FOutcomesPending = false;
    std::atomic<int> FExpectedLines = 0;
    std::atomic<std::int64_t> FRowsReceived = 0;

    // The producer's slice in the making, and slices given back that it writes into next.
    TSlice FPending;
    std::vector<TSlice> FSpare;

    std::mutex FMutex;
    std::condition_variable FRoom;  // the producer waits for room
    std::condition_variable FReady; // Take waits for lines
    std::deque<TSlice> FQueue;
    std::size_t FQueuedBytes = 0;
    std::vector<TSlice> FSpent; // given back, not yet seen by the producer
    bool FWoken = false; // the GUI thread has been told and has not yet found the queue empty
    bool FEnded = false;
    bool FSucceeded = false;
    TRunTotals FTotals;
    bool FDropped = false;
};
