#include "TestFaults.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
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
        pthread_setname_np(pthread_self(), "test-fault");
        throw std::runtime_error("тестовая ошибка: исключение покинуло поток");
    });
    thread.join();
}

[[gnu::noinline]] void ThrowFromEventHandler()
{
    throw std::logic_error("тестовая ошибка: исключение из обработчика события");
}

} // namespace TestFaults

namespace {

int gSignalPipe[2] = {-1, -1};

void TestFaultRequested(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
}

} // namespace

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
