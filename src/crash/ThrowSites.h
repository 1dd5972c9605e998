// Where exceptions were thrown: the stack of the latest throw on each thread, so that a report about
// an exception that escaped shows where it came from, not only where it was caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <typeinfo>

struct TThrowSite {
    const std::uintptr_t* Frames = nullptr; // return addresses, the throwing function's first
    std::size_t Count = 0;
};

// The stack of the latest exception thrown on this thread when its type is type: in a catch block
// or in std::terminate, that of the exception being handled. Empty for another type (the stack of
// an exception thrown inside the library that unwinds it is not recorded) and for null.
TThrowSite LatestThrowSite(const std::type_info* type);

// The index in a stack taken by backtrace of the frame that returns to caller (the
// __builtin_return_address of the function that took it): the frames before it are that function's
// own and the unwinder's (a sanitizer adds one). 1 when caller is not found.
int StackStart(void* const* frames, int count, const void* caller);
