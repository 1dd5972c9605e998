#include "SocketWaits.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace ClientWaits {

namespace {

thread_local int tInterrupt = -1;
thread_local std::optional<TClock::time_point> tDeadline;

} // namespace

TScope::TScope(int interrupt, std::optional<TClock::time_point> deadline)
    : FSavedInterrupt(tInterrupt)
    , FSavedDeadline(tDeadline)
{
    tInterrupt = interrupt;
    // A nested scope never extends the deadline of the connect it runs in.
    if (deadline && (!tDeadline || *deadline < *tDeadline))
        tDeadline = deadline;
}

TScope::~TScope()
{
    tInterrupt = FSavedInterrupt;
    tDeadline = FSavedDeadline;
}

bool DeadlinePassed()
{
    return tDeadline && TClock::now() >= *tDeadline;
}

int WaitForSocket(my_socket socket, my_bool forReading, int timeoutMs)
{
    pollfd waits[2] = {{socket, static_cast<short>(forReading ? POLLIN : POLLOUT), 0},
                       {tInterrupt, POLLIN, 0}};
    // The library asks for each wait on its own; a connect must end by its deadline however many
    // waits a slow peer makes it take.
    std::optional<TClock::time_point> end = tDeadline;
    if (timeoutMs >= 0) {
        const TClock::time_point own = TClock::now() + std::chrono::milliseconds(timeoutMs);
        if (!end || own < *end)
            end = own;
    }
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
