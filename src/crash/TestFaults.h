// A test-only way to make the program fail, for the tests of the error report. Off unless the
// command line asks for it.
#pragma once

#include <QString>

// The command-line switch, followed by the kind of fault.
inline constexpr char kTestFaultSwitch[] = "--test-fault=";

// From now on each SIGUSR1 that the process receives makes it fail as kind says, from an event
// handler on the GUI thread: "null" stores through a null pointer, "abort" calls abort(),
// "terminate" lets an exception escape a thread of its own, "exception" throws std::logic_error out
// of the event handler. False, and nothing armed, for another kind. Once the application object
// exists.
bool ArmTestFault(const QString& kind);
