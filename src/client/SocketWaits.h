// How the client layer waits for a server's socket: until it is ready, the calling connection is
// interrupted, or the deadline of a connect under way has passed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include <mysql.h>

namespace ClientWaits {

using TClock = std::chrono::steady_clock;

// The socket of one connection, held open by a duplicate of this layer's own, so that another thread
// can shut it down at any moment without hitting a descriptor the library closed meanwhile and that
// now names something else. Shutting it down ends every wait on it, also those the library makes
// without the wait hook (a TLS handshake, a TLS read).
class TSocketHolder {
public:
    TSocketHolder() = default;
    ~TSocketHolder() { Release(); }
    TSocketHolder(const TSocketHolder&) = delete;
    TSocketHolder& operator=(const TSocketHolder&) = delete;

    // Holds socket, unless it is the one held already.
    void Hold(int socket);
    void Release();
    // Any thread.
    void ShutDown();

private:
    std::mutex FMutex;
    int FSeen = -1;      // the library's descriptor
    int FDuplicate = -1; // ours, of the same socket
};

// Names, for the library calls that follow on this thread while it lives, the connection's interrupt
// descriptor and socket holder (the wait hook holds each socket it waits for) and, for a connect,
// the moment by which every wait must have ended.
class TScope {
public:
    TScope(int interrupt, TSocketHolder* socket, std::optional<TClock::time_point> deadline);
    ~TScope();
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

private:
    int FSavedInterrupt;
    TSocketHolder* FSavedSocket;
    std::optional<TClock::time_point> FSavedDeadline;
};

// Runs an action on a thread of its own at a deadline, unless destroyed before: what ends a connect
// that waits where no hook sees it.
class TDeadlineWatch {
public:
    TDeadlineWatch(TClock::time_point deadline, std::function<void()> action);
    ~TDeadlineWatch();
    TDeadlineWatch(const TDeadlineWatch&) = delete;
    TDeadlineWatch& operator=(const TDeadlineWatch&) = delete;

    bool Fired();

private:
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FDone = false;
    bool FFired = false;
    std::thread FThread;
};

// The library's wait hook (MARIADB_OPT_IO_WAIT), also used by the client layer's own socket work.
// Returns as poll does: above 0 when the socket is ready, 0 at the time-out or the deadline, below 0
// when the connection was interrupted (the socket is then shut down).
int WaitForSocket(my_socket socket, my_bool forReading, int timeoutMs);

// The deadline of the connect under way on this thread has passed.
bool DeadlinePassed();

} // namespace ClientWaits
