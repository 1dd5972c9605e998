// The crash handler: a fatal signal or std::terminate ends in a fresh process of the program that
// shows the error report; an exception that escapes an event handler is recorded the same way.
#pragma once

#include <vector>

#include "CrashRecord.h"

// The command-line switch of report mode, followed by the path of a crash record.
inline constexpr char kCrashReportSwitch[] = "--crash-report=";

// Installs the handler for the rest of the process's life: for the fatal signals (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGABRT) and std::terminate. On either, it writes a crash record (CrashRecord.h)
// into an in-memory file made here, starts the executable again in report mode with that file, and
// ends the process with the original signal (SIGABRT after std::terminate), so that the system sees
// the failure as it was. Until ReportCrashesInWindow, a failure is only told on the standard error.
// Call once, at the start of main, before any other thread exists.
void InstallCrashHandler();

// From now on a failure is reported in a window: call once the application object exists, which
// proves that the display can show one.
void ReportCrashesInWindow();

// The environment part of every later record: versions and system, gathered once the application
// object exists.
void SetCrashEnvironment(const TCrashEnvironment& environment);

// Replaces the consoles part of every later record. Kept ready here, since a signal handler cannot
// ask the consoles. GUI thread.
void SetCrashConsoles(const std::vector<TCrashConsole>& consoles);

// Whether a failure is being handled; for the test faults, which make a second one meanwhile.
bool CrashBeingHandled();

// The record of the exception being handled on this thread, made as a crash would make it: call
// inside a catch block. Its stack is the thrower's where the throw was seen (ThrowSites.h), else the
// caller's.
TCrashRecord RecordCurrentException();
