#include "StatementRun.h"

TStatementRun::TStatementRun(std::function<void()> wake)
    : FWake(std::move(wake))
{
}

void TStatementRun::Append(const QString& line)
{
    FPending.Lines.append(line);
    FPendingUnits += line.size();
    if (FPending.Lines.size() >= SliceLines || FPendingUnits >= SliceUnits)
        Push(std::nullopt);
}

void TStatementRun::BeginTable(std::int64_t rows)
{
    if (!FPending.Lines.isEmpty())
        Push(std::nullopt);
    FPending.TableRows = rows;
}

void TStatementRun::AppendRow(const QString& line)
{
    ++FPending.Rows;
    Append(line);
}

void TStatementRun::Finish(bool succeeded, const TRunTotals& totals)
{
    {
        std::lock_guard lock(FMutex);
        FTotals = totals;
    }
    Push(succeeded);
}

void TStatementRun::Push(std::optional<bool> end)
{
    TSlice slice = std::move(FPending);
    FPending = TSlice();
    FPendingUnits = 0;
    bool wake = false;
    std::vector<QStringList> spent;
    {
        std::unique_lock lock(FMutex);
        FRoom.wait(lock, [this] { return FDropped || FQueue.size() < MaxQueued; });
        spent.swap(FSpent);
        if (FDropped)
            throw TDropped();
        if (!slice.Lines.isEmpty())
            FQueue.push_back(std::move(slice));
        if (end) {
            FEnded = true;
            FSucceeded = *end;
        }
        wake = !FWoken;
        FWoken = true;
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
    } else if (FEnded) {
        taken.Ended = true;
        taken.Succeeded = FSucceeded;
        taken.Totals = FTotals;
    } else {
        FWoken = false;
    }
    return taken;
}

void TStatementRun::GiveBack(QStringList lines)
{
    std::lock_guard lock(FMutex);
    if (!FEnded && !FDropped)
        FSpent.push_back(std::move(lines));
}

void TStatementRun::Drop()
{
    std::deque<TSlice> dropped;
    std::lock_guard lock(FMutex);
    FDropped = true;
    dropped.swap(FQueue);
    FRoom.notify_all();
}
