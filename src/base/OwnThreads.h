// What each thread the program starts does first, so that a failure on it is reported and named as
// well as one on the main thread.
#pragma once

// Names the calling thread "<role> <n>" (n counts the threads started so far; the kernel keeps 15
// bytes of a name, which reports and debuggers show) and gives it a stack of its own for signal
// handlers for the rest of its life: a stack overflow on the thread then still runs the crash handler.
// role is a short word such as "client". Call first thing on a new thread.
void EnterOwnThread(const char* role);
