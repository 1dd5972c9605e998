// What the console benchmarks share: the process's peak memory, elapsed time, and letting a console
// finish its statement or connect.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QCoreApplication>
#include <QEventLoop>

#include "UnitEditorFrame.h"

// The peak resident memory of this process in KiB.
inline long PeakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

inline double MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Runs the event loop until the condition holds.
template <class TCondition>
void RunUntil(TCondition done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs the event loop until the console is done with what it runs on its client thread.
inline void WaitIdle(const TEditorFrame& frame)
{
    RunUntil([&frame] { return !frame.Busy(); });
}
