#include "TestFaults.h"

#include "ClientThread.h"
#include "CrashHandler.h"
#include "OwnThreads.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

// The faults are functions of their own, kept out of line, so that a report names them. The
// sanitizers are kept out of the null store: it is to fault as in a build without them.
namespace TestFaults {

[[gnu::noinline, gnu::no_sanitize("address", "undefined")]] void DereferenceNull()
{
    // Both volatile: the optimiser may neither know the address nor drop the store.
    volatile int* volatile target = nullptr;
    *target = 1;
}

[[gnu::noinline]] void CallAbort()
{
    std::abort();
}

[[gnu::noinline]] void ThrowOutOfThread()
{
    std::thread thread([] {
        EnterOwnThread("test-fault");
        throw std::runtime_error("тестовая ошибка: исключение покинуло поток");
    });
    thread.join();
}

[[gnu::noinline]] void ThrowFromEventHandler()
{
    throw std::logic_error("тестовая ошибка: исключение из обработчика события");
}

// Read at each call, so that the compiler sees a way out and neither warns nor turns the recursion
// into a loop.
volatile bool gDeeper = true;

[[gnu::noinline]] int Recurse(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return gDeeper ? Recurse(depth + 1) + frame[0] : frame[0];
}

[[gnu::noinline]] void OverflowClientThread()
{
    // As a console's: the same kind of thread, started the same way. It outlives this call.
    static TClientThread* const thread = new TClientThread("client");
    thread->Post([] { Recurse(0); });
}

[[gnu::noinline]] void SegvThenAbrt()
{
    const long guiThread = syscall(SYS_gettid);
    std::thread([guiThread] {
        EnterOwnThread("test-fault");
        while (!CrashBeingHandled())
            std::this_thread::yield();
        syscall(SYS_tgkill, getpid(), guiThread, SIGABRT);
    }).detach();
    DereferenceNull();
}

} // namespace TestFaults

namespace {

int gSignalPipe[2] = {-1, -1};

void TestFaultRequested(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
}

// The value after "--test-fault=", or null when the switch is not given.
const char* RequestedFault(int argc, char** argv)
{
    const char prefix[] = "--test-fault=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, sizeof prefix - 1) == 0)
            return argv[i] + sizeof prefix - 1;
    }
    return nullptr;
}

bool ArmTestFault(const QString& kind)
{
    void (*fault)() = nullptr;
    if (kind == QLatin1String("null"))
        fault = TestFaults::DereferenceNull;
    else if (kind == QLatin1String("abort"))
        fault = TestFaults::CallAbort;
    else if (kind == QLatin1String("terminate"))
        fault = TestFaults::ThrowOutOfThread;
    else if (kind == QLatin1String("exception"))
        fault = TestFaults::ThrowFromEventHandler;
    else if (kind == QLatin1String("client-overflow"))
        fault = TestFaults::OverflowClientThread;
    else if (kind == QLatin1String("segv-abrt"))
        fault = TestFaults::SegvThenAbrt;
    if (!fault || pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;

    // The signal only wakes the event loop; the fault happens in the notifier's handler.
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [fault] {
        char bytes[16];
        while (read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        fault();
    });
    struct sigaction action = {};
    action.sa_handler = TestFaultRequested;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    return true;
}

} // namespace

bool ArmTestFaults(int argc, char** argv)
{
    const char* kind = RequestedFault(argc, argv);
    if (!kind || ArmTestFault(QString::fromLocal8Bit(kind)))
        return true;
    std::fprintf(stderr, "%s: unknown test fault '%s'\n", program_invocation_short_name, kind);
    return false;
}
