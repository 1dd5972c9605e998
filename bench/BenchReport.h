// What every benchmark prints: each figure beside its target, "MISSED" when it misses, medians of
// repeated runs, the process's memory and a watch on the GUI thread's longest stall.
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "HeapTuning.h"

namespace bench {

// The heap keeps what is freed as the program's own start sets it, so that a benchmark measures the
// program as it runs.
inline const bool kHeapAsInTheProgram = (KeepFreedHeapForReuse(), true);

inline int& MissedCount()
{
    static int missed = 0;
    return missed;
}

// Prints a figure that has no target of its own (a reference it is compared with, a count).
inline void Figure(const char* label, double value, const char* unit)
{
    std::printf("  %-58s %10.2f %s\n", label, value, unit);
}

// Prints a figure beside its upper bound; a figure above it is MISSED. Returns whether it held.
inline bool AtMost(const char* label, double value, const char* unit, double limit, const char* note = "")
{
    const bool held = value <= limit;
    if (!held)
        ++MissedCount();
    std::printf("  %-58s %10.2f %s  (target <= %.2f %s%s%s)%s\n", label, value, unit, limit, unit,
        *note != '\0' ? "; " : "", note, held ? "" : "  MISSED");
    return held;
}

// The exit status of a benchmark: 1 when any figure missed its target, so scripts/bench can tell.
inline int ExitStatus()
{
    if (MissedCount() > 0)
        std::printf("  %d figure(s) MISSED their target\n", MissedCount());
    return MissedCount() > 0 ? 1 : 0;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline double MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Milliseconds that a piece of work takes.
template <class TWork>
double Milliseconds(TWork&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return MillisecondsSince(start);
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM").
inline long StatusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(key) + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

inline double ResidentMiB()
{
    return static_cast<double>(StatusKiB("VmRSS")) / 1024.0;
}

inline double PeakResidentMiB()
{
    return static_cast<double>(StatusKiB("VmHWM")) / 1024.0;
}

// Starts the peak resident figure afresh from the current one, so that a peak belongs to one step.
inline void ResetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The CPU time of this process, all its threads, in milliseconds.
inline double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// A benchmark run in a process of its own reports its figures on one line, "FIGURES name=value ...",
// for the process that started it.
inline void PrintFigures(const std::map<std::string, double>& figures)
{
    std::printf("FIGURES");
    for (const auto& [name, value] : figures)
        std::printf(" %s=%.3f", name.c_str(), value);
    std::printf("\n");
    std::fflush(stdout);
}

// What a program run to the end gave: its exit status, wall time, CPU time and peak resident memory
// as the system counted them, and the figures it printed (see PrintFigures).
struct TChildRun {
    int Status = -1;
    double WallMs = 0;
    double CpuMs = 0;
    double PeakMiB = 0;
    std::map<std::string, double> Figures;
};

// Runs a program with its output going to a file of its own (or to /dev/null, when discard), and
// waits for it.
inline TChildRun RunChild(const std::vector<std::string>& argv, bool discard = false)
{
    TChildRun run;
    char path[] = "/tmp/brindlecast-bench.XXXXXX";
    const int output = mkstemp(path);
    if (output < 0)
        return run;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(discard ? open("/dev/null", O_WRONLY) : output, STDOUT_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.WallMs = MillisecondsSince(start);
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.CpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
        run.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    close(output);
    std::ifstream printed(path);
    for (std::string line; std::getline(printed, line);) {
        if (line.rfind("FIGURES ", 0) != 0)
            continue;
        std::istringstream fields(line.substr(8));
        for (std::string field; fields >> field;) {
            const std::size_t equals = field.find('=');
            if (equals != std::string::npos)
                run.Figures[field.substr(0, equals)] = std::strtod(field.c_str() + equals + 1, nullptr);
        }
    }
    std::remove(path);
    return run;
}

// The command-line client running a statement with its table output, the reference the console's
// figures are held against.
inline std::vector<std::string> ReferenceClient(const std::string& host, const std::string& port,
    const std::string& user, const std::string& password, const std::string& database, const std::string& sql)
{
    return {"mariadb", "--no-defaults", "-h", host, "-P", port, "-u", user, "-p" + password, "-D", database,
        "--table", "-e", sql};
}

// The command-line client at its fastest: rows read as they arrive (--quick) and written tab-separated,
// with its output thrown away by the caller. The floor under any client's figures.
inline std::vector<std::string> FloorClient(const std::string& host, const std::string& port,
    const std::string& user, const std::string& password, const std::string& database, const std::string& sql)
{
    return {"mariadb", "--no-defaults", "-h", host, "-P", port, "-u", user, "-p" + password, "-D", database,
        "--quick", "--batch", "-e", sql};
}

// The longest time the GUI thread went without running its event loop, while the watch runs: the
// longest gap between the ticks of a 1 ms timer, the end of the watch counting as a tick.
class TStallWatch {
public:
    TStallWatch()
    {
        FTicks.setInterval(1);
        QObject::connect(&FTicks, &QTimer::timeout, [this] { FLongest = std::max(FLongest, FSinceTick.restart()); });
        FSinceTick.start();
        FTicks.start();
    }
    // A piece of work done on the GUI thread without the event loop counts as one stall.
    double LongestMs()
    {
        FLongest = std::max(FLongest, FSinceTick.elapsed());
        return static_cast<double>(FLongest);
    }

private:
    QTimer FTicks;
    QElapsedTimer FSinceTick;
    qint64 FLongest = 0;
};

} // namespace bench
