// The error report: a crash record turned into text that a user reads, saves or sends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QString>

#include "CrashRecord.h"

// One frame of a symbolised stack.
struct TStackFrame {
    std::uintptr_t Address = 0;
    std::string Module;              // the file's name, without its directory
    std::uintptr_t ModuleAddress = 0; // the address as the module's own file counts it
    std::string Function;            // demangled; empty where no symbol covers the address
    std::string File;                // where debug information names one
    int Line = 0;
};

// The record's stack with function names from the modules' symbol tables and, where debug
// information exists, file and line. The modules are those of the record's module map, read from
// their files now. buildId, when given, receives the executable's build id in hex (empty if none).
std::vector<TStackFrame> SymboliseStack(const TCrashRecord& record, std::string* buildId = nullptr);

// The environment of this process: the program's version as the About box shows it, the build,
// Qt's and the client library's versions, and the system. Once the application object exists.
TCrashEnvironment CurrentEnvironment();

// The address that reports are to be sent to, as the build names it; empty when it names none.
QString CrashReportAddress();

// What happened, in one sentence for the user. It says that connections were closed only when a
// console was connected.
QString CrashSummary(const TCrashRecord& record);

// What the user can do next: save the report and attach it to a bug report, or, where the build
// names an address, send it there.
QString CrashNextSteps(const QString& address);

// The whole report: what happened, when, versions, the thread, the open consoles (host, port, user,
// server version), the symbolised stack and, when there is one, the address it is to be sent to.
// Never a password, a statement or a result: the record holds none.
QString CrashReportText(const TCrashRecord& record, const QString& address = CrashReportAddress());
