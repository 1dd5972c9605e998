// Where the error report finds the files of a process's modules and their debug information: on this
// computer only.
#pragma once

#include <cstdint>
#include <string_view>

#include <elfutils/libdwfl.h>

// Callbacks for dwfl_begin that find a module's file and its debug information among local files
// only: the mapped file, the system's debug directory by build-id, and the debug link's file beside
// the module. They never ask a debug-information server (whatever DEBUGINFOD_URLS names) and never
// load its client library: a report must not wait on the network, nor tell it which program failed.
const Dwfl_Callbacks& LocalDebugInfoCallbacks();

// Marks the module at anchor, when it is this very program's executable, to be read through
// /proc/self/exe: that is the file that runs even after a package upgrade has replaced or removed
// the one at its path. Call after dwfl_report_end, before the module's file is first needed.
void MarkOwnExecutable(Dwfl* dwfl, std::uintptr_t anchor);

// The path without the note " (deleted)" that the kernel appends to a removed file's name.
std::string_view WithoutDeletedNote(std::string_view path);
