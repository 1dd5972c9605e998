// The crash record: what the crash handler writes at the moment of a failure and the report reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TCrashKind { Signal, Terminate, Exception };

// What the handler knows at the moment of a failure. Plain data, so that a signal handler can fill
// it in: the frames and texts are borrowed.
struct TCrashEvent {
    TCrashKind Kind = TCrashKind::Signal;
    int Signal = 0;
    int Code = 0;                // si_code: above 0 the kernel raised it, otherwise a process sent it
    std::uintptr_t Address = 0;  // the faulting address, where the kernel gives one
    std::int64_t Sender = 0;     // the sending process, where one sent it
    std::uintptr_t Pc = 0;       // the instruction that failed, or 0 when unknown
    const std::uintptr_t* Frames = nullptr; // return addresses, innermost first
    std::size_t FrameCount = 0;
    const char* ExceptionType = nullptr; // the mangled name of the exception's type, or null
    const char* ExceptionText = nullptr; // its what(), or null
};

// One console as a report names it; never its password.
struct TCrashConsole {
    std::string Host;
    std::int32_t Port = 0;
    std::string User;
    std::string ServerVersion; // empty while not connected
};

// What the program is and what it runs on, gathered once at start.
struct TCrashEnvironment {
    std::string Version;
    std::string Build;
    std::string Qt;
    std::string Client;
    std::string System;
    // Where the executable was installed when the program started: the program to start again,
    // which a package upgrade may have replaced meanwhile.
    std::string Executable;
};

// A record read back. Frames are return addresses; Pc, when set, is the failing instruction itself.
struct TCrashRecord {
    TCrashKind Kind = TCrashKind::Signal;
    int Signal = 0;
    int Code = 0;
    std::uintptr_t Address = 0;
    std::int64_t Sender = 0;
    std::int64_t Pid = 0;
    std::int64_t Tid = 0;
    std::string ThreadName;
    std::int64_t Time = 0; // seconds since the epoch
    std::string ExceptionType;
    std::string ExceptionText;
    std::uintptr_t Pc = 0;
    std::vector<std::uintptr_t> Frames;
    // An address inside the executable, by which the report finds the executable's module.
    std::uintptr_t Anchor = 0;
    TCrashEnvironment Environment;
    std::vector<TCrashConsole> Consoles;
    std::string Maps; // the process's module map, in the form of /proc/PID/maps
};

// The record lines that describe the environment and the consoles. Made ahead, on an ordinary
// thread, and handed to WriteCrashRecord as they are.
std::string EnvironmentLines(const TCrashEnvironment& environment);
std::string ConsoleLines(const std::vector<TCrashConsole>& consoles);

// Writes the record of event to fd: the event, the process and thread, the time, the prepared
// lines and the module map of the running process. Async-signal-safe: no allocation, no locks,
// only system calls. False when a write failed.
bool WriteCrashRecord(int fd, const TCrashEvent& event, std::string_view environmentLines,
                      std::string_view consoleLines);

// Reads the record in fd from its current offset to its end; none when that is no record.
std::optional<TCrashRecord> ReadCrashRecord(int fd);

// Reads a record; none when text is not one. Unknown lines are skipped, so that a newer program's
// record still reads.
std::optional<TCrashRecord> ParseCrashRecord(std::string_view text);
