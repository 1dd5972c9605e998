// How the client layer waits for a server's socket: until it is ready, the calling connection is
// interrupted, or the deadline of a connect under way has passed.
#pragma once

#include <chrono>
#include <optional>

#include <mysql.h>

namespace ClientWaits {

using TClock = std::chrono::steady_clock;

// Names, for the library calls that follow on this thread while it lives, the connection's interrupt
// descriptor and, for a connect, the moment by which every wait must have ended.
class TScope {
public:
    TScope(int interrupt, std::optional<TClock::time_point> deadline);
    ~TScope();
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

private:
    int FSavedInterrupt;
    std::optional<TClock::time_point> FSavedDeadline;
};

// The library's wait hook (MARIADB_OPT_IO_WAIT), also used by the client layer's own socket work.
// Returns as poll does: above 0 when the socket is ready, 0 at the time-out or the deadline, below 0
// when the connection was interrupted (the socket is then shut down).
int WaitForSocket(my_socket socket, my_bool forReading, int timeoutMs);

// The deadline of the connect under way on this thread has passed.
bool DeadlinePassed();

} // namespace ClientWaits
