#include "ThrowSites.h"

#include <cstdlib>

#include <dlfcn.h>
#include <execinfo.h>

// Every throw of the process passes through the C++ runtime's __cxa_throw. The executable defines
// it too and so comes first: its definition notes the thrower's stack and hands the exception on to
// the runtime's own (or to a sanitizer's, which in turn hands it on). Rethrows do not come here, so a
// rethrown exception keeps the stack of its first throw.

namespace {

constexpr int kMaxFrames = 64;

struct TThrowRecord {
    const std::type_info* Type;
    std::uintptr_t Frames[kMaxFrames];
    std::size_t Count;
};

// Plain data, so that it needs no constructor on a new thread.
thread_local TThrowRecord tLatest;

using TThrow = void (*)(void*, void*, void (*)(void*));

TThrow NextThrow()
{
    static const TThrow next = reinterpret_cast<TThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    return next;
}

} // namespace

int StackStart(void* const* frames, int count, const void* caller)
{
    for (int i = 0; i < count; ++i) {
        if (frames[i] == caller)
            return i;
    }
    return count > 0 ? 1 : 0;
}

// The signature the compiler declares for itself.
extern "C" [[noreturn]] void __cxa_throw(void* object, void* type, void (*destroy)(void*))
{
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    tLatest.Type = static_cast<const std::type_info*>(type);
    tLatest.Count = 0;
    for (int i = StackStart(frames, count, __builtin_return_address(0)); i < count; ++i)
        tLatest.Frames[tLatest.Count++] = reinterpret_cast<std::uintptr_t>(frames[i]);
    const TThrow next = NextThrow();
    if (!next)
        std::abort();
    next(object, type, destroy);
    __builtin_unreachable();
}

TThrowSite LatestThrowSite(const std::type_info* type)
{
    if (!type || !tLatest.Type || *tLatest.Type != *type)
        return {};
    return {tLatest.Frames, tLatest.Count};
}
