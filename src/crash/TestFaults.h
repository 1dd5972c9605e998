// A test-only way to make the program fail, for the tests of the error report. Built for the tests
// and benchmarks (the CMake option BRINDLECAST_TEST_FAULTS); the installed program has no such switch.
#pragma once

// Arms the fault that the command line asks for with "--test-fault=KIND": from then on each SIGUSR1
// that the process receives makes it fail as KIND says, from an event handler on the GUI thread:
// "null" stores through a null pointer, "abort" calls abort(), "terminate" lets an exception escape
// a thread of its own, "exception" throws std::logic_error out of the event handler,
// "client-overflow" overflows the stack of a client thread, "segv-abrt" stores through a null
// pointer and sends SIGABRT while that failure is being handled. Once the application object exists.
// False, with a message on the standard error, for an unknown kind; true when the command line asks
// for none, and always in a build without the test faults.
bool ArmTestFaults(int argc, char** argv);
