#include "OwnThreads.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Enough for the crash handler, which unwinds the stack and writes the record on it.
constexpr std::size_t kSignalStackSize = 128 * 1024;

// Stacks of threads that have ended, for the next threads: a thread's stack cannot simply be unmapped
// at its end, since a sanitizer may take down whatever signal stack a thread has after its own
// clean-up ran.
// Never destroyed: a detached thread may end after the program's static objects are gone.
std::mutex gFreeMutex;
std::vector<void*>& gFreeStacks = *new std::vector<void*>;

void* TakeStack()
{
    {
        std::lock_guard lock(gFreeMutex);
        if (!gFreeStacks.empty()) {
            void* stack = gFreeStacks.back();
            gFreeStacks.pop_back();
            return stack;
        }
    }
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* memory = mmap(nullptr, page + kSignalStackSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    // A guard page below: a handler that overruns the stack faults rather than writing over other
    // memory.
    mprotect(memory, page, PROT_NONE);
    return static_cast<char*>(memory) + page;
}

// The calling thread's signal stack while it runs, handed back at its end.
class TSignalStack {
public:
    TSignalStack()
    {
        void* memory = TakeStack();
        if (!memory)
            return;
        stack_t stack = {};
        stack.ss_sp = memory;
        stack.ss_size = kSignalStackSize;
        if (sigaltstack(&stack, &FPrevious) == 0)
            FStack = memory;
        else
            Give(memory);
    }

    ~TSignalStack()
    {
        if (!FStack)
            return;
        stack_t current = {};
        // Taken down or replaced by someone else: it is theirs to free now, or lost.
        if (sigaltstack(nullptr, &current) != 0 || current.ss_sp != FStack)
            return;
        if (sigaltstack(&FPrevious, nullptr) != 0) {
            stack_t none = {};
            none.ss_flags = SS_DISABLE;
            sigaltstack(&none, nullptr);
        }
        Give(FStack);
    }

    TSignalStack(const TSignalStack&) = delete;
    TSignalStack& operator=(const TSignalStack&) = delete;

private:
    static void Give(void* stack)
    {
        std::lock_guard lock(gFreeMutex);
        gFreeStacks.push_back(stack);
    }

    void* FStack = nullptr;
    stack_t FPrevious = {};
};

} // namespace

void EnterOwnThread(const char* role)
{
    static std::atomic<unsigned> started{0};
    char name[16];
    std::snprintf(name, sizeof name, "%s %u", role, ++started);
    pthread_setname_np(pthread_self(), name);
    thread_local TSignalStack stack;
}
