#include "SocketWaits.h"

#include "OwnThreads.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ClientWaits {

namespace {

thread_local int tInterrupt = -1;
thread_local TSocketHolder* tSocket = nullptr;
thread_local std::optional<TClock::time_point> tDeadline;

} // namespace

void TSocketHolder::Hold(int socket)
{
    std::lock_guard lock(FMutex);
    if (socket == FSeen)
        return;
    if (FDuplicate >= 0)
        close(FDuplicate);
    FSeen = socket;
    FDuplicate = fcntl(socket, F_DUPFD_CLOEXEC, 0);
}

void TSocketHolder::Release()
{
    std::lock_guard lock(FMutex);
    if (FDuplicate >= 0)
        close(FDuplicate);
    FSeen = FDuplicate = -1;
}

void TSocketHolder::ShutDown()
{
    std::lock_guard lock(FMutex);
    if (FDuplicate >= 0)
        shutdown(FDuplicate, SHUT_RDWR);
}

TScope::TScope(int interrupt, TSocketHolder* socket, std::optional<TClock::time_point> deadline)
    : FSavedInterrupt(tInterrupt)
    , FSavedSocket(tSocket)
    , FSavedDeadline(tDeadline)
{
    tInterrupt = interrupt;
    tSocket = socket;
    // A nested scope never extends the deadline of the connect it runs in.
    if (deadline && (!tDeadline || *deadline < *tDeadline))
        tDeadline = deadline;
}

TScope::~TScope()
{
    tInterrupt = FSavedInterrupt;
    tSocket = FSavedSocket;
    tDeadline = FSavedDeadline;
}

TDeadlineWatch::TDeadlineWatch(TClock::time_point deadline, std::function<void()> action)
    : FThread([this, deadline, action = std::move(action)] {
        EnterOwnThread("deadline");
        std::unique_lock lock(FMutex);
        if (FWake.wait_until(lock, deadline, [this] { return FDone; }))
            return;
        FFired = true;
        action();
    })
{
}

TDeadlineWatch::~TDeadlineWatch()
{
    {
        std::lock_guard lock(FMutex);
        FDone = true;
    }
    FWake.notify_all();
    FThread.join();
}

bool TDeadlineWatch::Fired()
{
    std::lock_guard lock(FMutex);
    return FFired;
}

bool DeadlinePassed()
{
    return tDeadline && TClock::now() >= *tDeadline;
}

int WaitForSocket(my_socket socket, my_bool forReading, int timeoutMs)
{
    if (tSocket)
        tSocket->Hold(socket);
    pollfd waits[2] = {{socket, static_cast<short>(forReading ? POLLIN : POLLOUT), 0},
                       {tInterrupt, POLLIN, 0}};
    // During a connect only its deadline counts: the library asks for each wait on its own, and a
    // slow peer must not stretch the whole by answering just in time (the library also passes the
    // connect time-out in seconds where it means milliseconds, in its TLS handshake). Otherwise a
    // time-out of 0 or less means none: this layer sets no read or write time-out.
    std::optional<TClock::time_point> end = tDeadline;
    if (!end && timeoutMs > 0)
        end = TClock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        int left = -1;
        if (end) {
            const auto rest = std::chrono::ceil<std::chrono::milliseconds>(*end - TClock::now());
            left = static_cast<int>(std::max<std::chrono::milliseconds::rep>(rest.count(), 0));
        }
        const int ready = poll(waits, 2, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0 && waits[1].revents != 0) {
            shutdown(socket, SHUT_RDWR);
            errno = ECONNABORTED;
            return -1;
        }
        if (ready == 0)
            errno = ETIMEDOUT;
        return ready;
    }
}

} // namespace ClientWaits
