#include "StatementRun.h"

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
        Push(std::nullopt);
    FPending.TableRows = rows;
    FPending.Bytes.reserve(SliceBytes);
}

void TStatementRun::EndLine(bool row)
{
    FPending.LineEnds.push_back(FPending.Bytes.size());
    if (row)
        ++FPending.Rows;
    if (FPending.LineEnds.size() >= SliceLines || FPending.Bytes.size() >= SliceBytes)
        Push(std::nullopt);
}

void TStatementRun::Finish(const TEnd& end)
{
    Push(end);
}

void TStatementRun::Push(std::optional<TEnd> end)
{
    TSlice slice = std::move(FPending);
    bool wake = false;
    std::vector<TSlice> spent;
    {
        std::unique_lock lock(FMutex);
        FRoom.wait(lock, [this] { return FDropped || FQueue.size() < MaxQueued; });
        spent.swap(FSpent);
        if (FDropped)
            throw TDropped();
        if (!slice.LineEnds.empty())
            FQueue.push_back(std::move(slice));
        if (end)
            FEnd = end;
        wake = !FWoken;
        FWoken = true;
    }
    // A slice that a long line made large is freed rather than kept.
    for (TSlice& given : spent) {
        if (given.Bytes.capacity() <= 2 * SliceBytes && FSpare.size() <= MaxQueued)
            FSpare.push_back(std::move(given));
    }
    spent.clear();
    if (FSpare.empty()) {
        FPending = TSlice();
    } else {
        FPending = std::move(FSpare.back());
        FSpare.pop_back();
        FPending.Bytes.clear();
        FPending.LineEnds.clear();
        FPending.Rows = 0;
        FPending.TableRows = -1;
    }
    if (wake)
        FWake();
}

TStatementRun::TTaken TStatementRun::Take()
{
    TTaken taken;
    std::lock_guard lock(FMutex);
    if (!FQueue.empty()) {
        taken.Slice = std::move(FQueue.front());
        FQueue.pop_front();
        FRoom.notify_all();
    } else if (FEnd) {
        taken.End = FEnd;
    } else {
        FWoken = false;
    }
    return taken;
}

void TStatementRun::GiveBack(TSlice slice)
{
    std::lock_guard lock(FMutex);
    if (!FEnd && !FDropped)
        FSpent.push_back(std::move(slice));
}

void TStatementRun::Drop()
{
    std::deque<TSlice> dropped;
    std::lock_guard lock(FMutex);
    FDropped = true;
    dropped.swap(FQueue);
    FRoom.notify_all();
}
