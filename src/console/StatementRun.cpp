#include "StatementRun.h"

TStatementRun::TStatementRun(std::function<void()> wake)
    : FWake(std::move(wake))
{
}

void TStatementRun::Append(const QString& line)
{
    FPending.append(line);
    FPendingUnits += line.size();
    if (FPending.size() >= SliceLines || FPendingUnits >= SliceUnits) {
        Push(std::move(FPending), std::nullopt);
        FPending = QStringList();
        FPendingUnits = 0;
    }
}

void TStatementRun::Finish(bool succeeded)
{
    Push(std::move(FPending), succeeded);
    FPending = QStringList();
    FPendingUnits = 0;
}

void TStatementRun::Push(QStringList slice, std::optional<bool> end)
{
    bool wake = false;
    std::vector<QStringList> spent;
    {
        std::unique_lock lock(FMutex);
        FRoom.wait(lock, [this] { return FDropped || FQueue.size() < MaxQueued; });
        spent.swap(FSpent);
        if (FDropped)
            throw TDropped();
        if (!slice.isEmpty())
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
    } else {
        FWoken = false;
    }
    return taken;
}

void TStatementRun::GiveBack(QStringList slice)
{
    std::lock_guard lock(FMutex);
    if (!FEnded && !FDropped)
        FSpent.push_back(std::move(slice));
}

void TStatementRun::Drop()
{
    std::lock_guard lock(FMutex);
    FDropped = true;
    FQueue.clear();
    FRoom.notify_all();
}
