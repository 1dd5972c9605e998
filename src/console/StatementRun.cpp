#include "StatementRun.h"

#include <algorithm>

#include "ClientStrings.h"

TStatementRun::TStatementRun(std::function<void()> wake)
    : FWake(std::move(wake))
{
}

void TStatementRun::Append(const QString& line)
{
    FPending.Bytes += ToClientString(line);
    EndLine();
}

void TStatementRun::BeginTable(std::int64_t rows)
{
    if (!FPending.LineEnds.empty())
        Push(false, false);
    FPending.TableRows = rows;
    FPending.Bytes.reserve(SliceBytes);
}

void TStatementRun::ExpectLines(int lines)
{
    FExpectedLines = lines;
    bool wake = false;
    {
        std::lock_guard lock(FMutex);
        wake = !FWoken;
        FWoken = true;
    }
    if (wake)
        FWake();
}

void TStatementRun::EndLine(bool row)
{
    FPending.LineEnds.push_back(FPending.Bytes.size());
    if (row)
        ++FPending.Rows;
    if (FPending.LineEnds.size() >= SliceLines || FPending.Bytes.size() >= SliceBytes)
        Push(false, false);
}

void TStatementRun::EndLinePart()
{
    FPending.LineEnds.push_back(FPending.Bytes.size());
    FPending.LastGoesOn = true;
    Push(false, false);
    FPending.FirstContinues = true;
}

std::size_t TStatementRun::LineRoom() const
{
    // A slice holds less than SliceBytes before a line begins (EndLine hands it over then); a
    // quarter of a slice at least, so that parts are never tiny.
    // The rest of a line that goes in parts comes a slice at a time, so that the pane takes only a
    // little of it in each step of its turn.
    const std::size_t used = FPending.Bytes.size();
    const std::size_t limit = FPending.FirstContinues ? SliceBytes : PartBytes;
    return used < limit - SliceBytes / 4 ? limit - used : SliceBytes / 4;
}

void TStatementRun::Finish(bool succeeded, const TRunTotals& totals)
{
    {
        std::lock_guard lock(FMutex);
        FSucceeded = succeeded;
        FTotals = totals;
    }
    Push(true, true);
}

void TStatementRun::Flush()
{
    Push(false, true);
}

void TStatementRun::ThrowIfDropped()
{
    std::lock_guard lock(FMutex);
    if (FDropped)
        throw TDropped();
}

void TStatementRun::Push(bool end, bool flush)
{
    TSlice slice = std::move(FPending);
    bool wake = false;
    std::vector<TSlice> spent;
    {
        std::unique_lock lock(FMutex);
        FRoom.wait(lock, [this] {
            return FDropped || FQueue.empty() || (FQueue.size() < MaxQueued && FQueuedBytes < MaxQueuedBytes);
        });
        spent.swap(FSpent);
        if (FDropped)
            throw TDropped();
        if (!slice.LineEnds.empty()) {
            FQueuedBytes += slice.Bytes.size();
            FQueue.push_back(std::move(slice));
        }
        FReady.notify_all();
        FEnded = FEnded || end;
        // The GUI thread is woken for a few slices at a time, not for each: every turn it takes
        // ends with a repaint.
        wake = !FWoken && (flush || FQueue.size() >= WakeSlices || FQueuedBytes >= WakeBytes);
        FWoken = FWoken || wake;
    }
    // The largest are kept: a huge value's lines need them most. The rest are freed here, on the
    // thread their memory came from.
    for (TSlice& given : spent)
        FSpare.push_back(std::move(given));
    spent.clear();
    if (FSpare.size() > MaxSpare) {
        std::ranges::sort(FSpare, [](const TSlice& a, const TSlice& b) { return a.Bytes.capacity() > b.Bytes.capacity(); });
        FSpare.resize(MaxSpare);
    }
    if (FSpare.empty()) {
        FPending = TSlice();
    } else {
        FPending = std::move(FSpare.back());
        FSpare.pop_back();
        FPending.Bytes.clear();
        FPending.LineEnds.clear();
        FPending.Rows = 0;
        FPending.TableRows = -1;
        FPending.FirstContinues = false;
        FPending.LastGoesOn = false;
    }
    if (wake)
        FWake();
}

TStatementRun::TTaken TStatementRun::Take(std::chrono::milliseconds wait)
{
    TTaken taken;
    std::unique_lock lock(FMutex);
    // Lines being made now are worth a short wait: the GUI thread takes them in this turn rather
    // than in one more turn (and one more repaint) of its own.
    if (wait.count() > 0 && !FInServerCall)
        FReady.wait_for(lock, wait, [this] { return !FQueue.empty() || FEnded || FDropped || FInServerCall; });
    if (!FQueue.empty()) {
        taken.Slice = std::move(FQueue.front());
        FQueue.pop_front();
        FQueuedBytes -= taken.Slice->Bytes.size();
        FRoom.notify_all();
    } else if (FEnded) {
        taken.Ended = true;
        taken.Succeeded = FSucceeded;
        taken.Totals = FTotals;
    } else {
        FWoken = false;
    }
    return taken;
}

void TStatementRun::GiveBack(TSlice slice)
{
    std::lock_guard lock(FMutex);
    if (!FEnded && !FDropped)
        FSpent.push_back(std::move(slice));
}

void TStatementRun::Drop()
{
    std::deque<TSlice> dropped;
    std::lock_guard lock(FMutex);
    FDropped = true;
    dropped.swap(FQueue);
    FQueuedBytes = 0;
    FRoom.notify_all();
}
