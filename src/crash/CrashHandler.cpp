#include "CrashHandler.h"

#include "ThrowSites.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kMaxFrames = 64;
// The descriptor under which the report process finds the record.
constexpr int kReportRecordFd = 3;

// A text that the GUI thread replaces now and then and a signal handler may read at any moment:
// it is written into the buffer not being read and then made current in one step.
class TPublishedText {
public:
    void Set(std::string_view text)
    {
        const int next = 1 - FCurrent.load(std::memory_order_relaxed);
        std::size_t size = std::min(text.size(), sizeof FBuffers[next]);
        // Whole lines only, so that a cut text still reads.
        while (size > 0 && size < text.size() && text[size - 1] != '\n')
            --size;
        std::memcpy(FBuffers[next], text.data(), size);
        FSizes[next] = size;
        FCurrent.store(next, std::memory_order_release);
    }

    std::string_view Get() const
    {
        const int current = FCurrent.load(std::memory_order_acquire);
        return {FBuffers[current], FSizes[current]};
    }

private:
    char FBuffers[2][16384] = {};
    std::size_t FSizes[2] = {};
    std::atomic<int> FCurrent{0};
};

TPublishedText gEnvironment;
TPublishedText gConsoles;

// The in-memory file that takes the record, made at start, so that a failure need not make one.
int gRecordFd = -1;
// What the report process is started with, prepared at start: under the program's own name, which
// it takes for itself (started through /proc/self/exe, it would be called "exe").
char gRecordSwitch[64];
char gProgramName[256] = "brindlecast";
char* gReportArgv[] = {gProgramName, gRecordSwitch, nullptr};

// The thread that handles a failure, or 0.
std::atomic<long> gHandlingThread{0};
// Whether a report process can show its window: not before the program has shown that it can.
std::atomic<bool> gReportInWindow{false};

char gAlternateStack[256 * 1024];

long ThreadId()
{
    return syscall(SYS_gettid);
}

// True for the first failure of the process. A failure on another thread meanwhile waits here until
// the first one has ended the process; a failure inside the handling itself is answered with false,
// so that the process ends at once.
bool EnterFailure()
{
    long expected = 0;
    const long self = ThreadId();
    if (gHandlingThread.compare_exchange_strong(expected, self))
        return true;
    if (expected == self)
        return false;
    while (true)
        pause();
}

std::uintptr_t FailingInstruction(const void* context)
{
    const auto* machine = &static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(machine->gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(machine->pc);
#else
    (void)machine;
    return 0;
#endif
}

// Starts the executable in report mode with the record. Only system calls: the child of a fork
// made here runs no fork handlers and calls nothing but the kernel until the new program runs.
void StartReportProcess()
{
    const long child = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (child != 0)
        return;
    // The record under a known number, and nothing else of this process's open files: a client
    // connection inherited by the report would stay open on the server.
    if (gRecordFd != kReportRecordFd)
        syscall(SYS_dup3, gRecordFd, kReportRecordFd, 0);
    else
        syscall(SYS_fcntl, kReportRecordFd, F_SETFD, 0);
    if (syscall(SYS_close_range, kReportRecordFd + 1, ~0U, 0) != 0) {
        for (int fd = kReportRecordFd + 1; fd < 4096; ++fd)
            syscall(SYS_close, fd);
    }
    // The failing signal is blocked while its handler runs; the new program must not inherit that.
    sigset_t none;
    sigemptyset(&none);
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof(std::uint64_t));
    syscall(SYS_execve, "/proc/self/exe", gReportArgv, environ);
    syscall(SYS_exit_group, 127);
}

void WriteError(std::string_view text)
{
    while (!text.empty()) {
        const ssize_t done = write(STDERR_FILENO, text.data(), text.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(done));
    }
}

// A failure before the program could show a window (no display, say) would fail the same way in a
// report process: it is told on the standard error, once, and nothing more is started.
void TellWithoutWindow(const TCrashEvent& event)
{
    WriteError(gProgramName);
    WriteError(": fatal error before any window was shown: ");
    if (event.Kind == TCrashKind::Signal) {
        const char* name = sigabbrev_np(event.Signal);
        WriteError("signal SIG");
        WriteError(name ? name : "?");
    } else {
        WriteError("std::terminate");
        if (event.ExceptionType) {
            WriteError(" after an exception ");
            WriteError(event.ExceptionType);
        }
        if (event.ExceptionText) {
            WriteError(": ");
            WriteError(event.ExceptionText);
        }
    }
    WriteError("\n");
}

void RecordAndReport(const TCrashEvent& event)
{
    if (!gReportInWindow.load()) {
        TellWithoutWindow(event);
        return;
    }
    if (gRecordFd < 0)
        return;
    WriteCrashRecord(gRecordFd, event, gEnvironment.Get(), gConsoles.Get());
    StartReportProcess();
}

// Ends the process with signal as if nothing had caught it: the default action (and a core dump,
// where the system writes one) once the handler returns.
void EndWithSignal(int signal)
{
    struct sigaction plain = {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(signal, &plain, nullptr);
    syscall(SYS_tgkill, getpid(), ThreadId(), signal);
}

void FatalSignal(int signal, siginfo_t* info, void* context)
{
    if (EnterFailure()) {
        static void* raw[kMaxFrames + 8];
        static std::uintptr_t frames[kMaxFrames + 8];
        const int count = backtrace(raw, kMaxFrames + 8);
        const std::uintptr_t pc = FailingInstruction(context);
        // The frames of this handler come first; the stack proper begins after the failing
        // instruction. Where the unwinder did not find it, all but this function's frame are kept.
        int first = 1;
        for (int i = 0; i < count; ++i) {
            if (reinterpret_cast<std::uintptr_t>(raw[i]) == pc) {
                first = i + 1;
                break;
            }
        }
        std::size_t frameCount = 0;
        for (int i = first; i < count; ++i)
            frames[frameCount++] = reinterpret_cast<std::uintptr_t>(raw[i]);

        TCrashEvent event;
        event.Kind = TCrashKind::Signal;
        event.Signal = signal;
        event.Code = info->si_code;
        const bool fromKernel = info->si_code > 0;
        if (fromKernel && signal != SIGABRT)
            event.Address = reinterpret_cast<std::uintptr_t>(info->si_addr);
        if (!fromKernel)
            event.Sender = info->si_pid;
        event.Pc = pc;
        event.Frames = frames;
        event.FrameCount = frameCount;
        RecordAndReport(event);
    }
    EndWithSignal(signal);
}

// The type and text of the exception being handled, when there is one.
struct TCurrentException {
    const std::type_info* Type = nullptr;
    std::string Text;
};

TCurrentException CurrentException()
{
    TCurrentException current;
    current.Type = abi::__cxa_current_exception_type();
    if (!current.Type)
        return current;
    try {
        throw;
    } catch (const std::exception& error) {
        current.Text = error.what();
    } catch (...) {
    }
    return current;
}

// Fills in event's stack and exception from the exception being handled. The frames are copied
// into frames, which must hold kMaxFrames.
void DescribeCurrentException(TCrashEvent& event, const TCurrentException& current,
                              std::uintptr_t* frames)
{
    event.ExceptionType = current.Type ? current.Type->name() : nullptr;
    event.ExceptionText = current.Type ? current.Text.c_str() : nullptr;
    TThrowSite site = LatestThrowSite(current.Type);
    std::size_t count = 0;
    if (site.Count > 0) {
        for (; count < site.Count && count < kMaxFrames; ++count)
            frames[count] = site.Frames[count];
    } else {
        void* raw[kMaxFrames];
        const int got = backtrace(raw, kMaxFrames);
        for (int i = StackStart(raw, got, __builtin_return_address(0)); i < got; ++i)
            frames[count++] = reinterpret_cast<std::uintptr_t>(raw[i]);
    }
    event.Frames = frames;
    event.FrameCount = count;
}

[[noreturn]] void Terminated()
{
    if (EnterFailure()) {
        const TCurrentException current = CurrentException();
        std::uintptr_t frames[kMaxFrames];
        TCrashEvent event;
        event.Kind = TCrashKind::Terminate;
        event.Signal = SIGABRT;
        DescribeCurrentException(event, current, frames);
        RecordAndReport(event);
    }
    EndWithSignal(SIGABRT);
    std::abort();
}

} // namespace

void InstallCrashHandler()
{
    gRecordFd = memfd_create("brindlecast-crash-record", MFD_CLOEXEC);
    std::string recordSwitch = std::string(kCrashReportSwitch) + "/proc/self/fd/"
                               + std::to_string(kReportRecordFd);
    std::strncpy(gRecordSwitch, recordSwitch.c_str(), sizeof gRecordSwitch - 1);

    // The report process goes by the name the program was started under.
    std::strncpy(gProgramName, program_invocation_short_name, sizeof gProgramName - 1);

    // The first call of backtrace loads the unwinder, which a signal handler must not have to do.
    void* warm[2];
    backtrace(warm, 2);

    // A stack of its own for the handler, so that a stack overflow of the GUI thread is reported too.
    stack_t stack = {};
    stack.ss_sp = gAlternateStack;
    stack.ss_size = sizeof gAlternateStack;
    sigaltstack(&stack, nullptr);

    // Every fatal signal waits while the handler runs: a second one (an abort() on another thread
    // at that moment, a kill from outside) would otherwise end the process before its report is
    // under way.
    struct sigaction action = {};
    action.sa_sigaction = FatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals)
        sigaddset(&action.sa_mask, signal);
    for (int signal : kFatalSignals)
        sigaction(signal, &action, nullptr);
    std::set_terminate(Terminated);
}

void SetCrashEnvironment(const TCrashEnvironment& environment)
{
    gEnvironment.Set(EnvironmentLines(environment));
}

void ReportCrashesInWindow()
{
    gReportInWindow.store(true);
}

bool CrashBeingHandled()
{
    return gHandlingThread.load() != 0;
}

void SetCrashConsoles(const std::vector<TCrashConsole>& consoles)
{
    gConsoles.Set(ConsoleLines(consoles));
}

TCrashRecord RecordCurrentException()
{
    const TCurrentException current = CurrentException();
    std::uintptr_t frames[kMaxFrames];
    TCrashEvent event;
    event.Kind = TCrashKind::Exception;
    DescribeCurrentException(event, current, frames);

    std::optional<TCrashRecord> record;
    const int fd = memfd_create("brindlecast-exception-record", MFD_CLOEXEC);
    if (fd >= 0) {
        WriteCrashRecord(fd, event, gEnvironment.Get(), gConsoles.Get());
        lseek(fd, 0, SEEK_SET);
        record = ReadCrashRecord(fd);
        close(fd);
    }
    if (record)
        return std::move(*record);
    // Without a record of its own the report still names the exception.
    TCrashRecord bare;
    bare.Kind = TCrashKind::Exception;
    bare.ExceptionType = event.ExceptionType ? event.ExceptionType : "";
    bare.ExceptionText = current.Text;
    return bare;
}
