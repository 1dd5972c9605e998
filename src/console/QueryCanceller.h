// Stops a statement on the server from a second, short-lived connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "ClientThread.h"
#include "MySQLClasses.h"

// Connects with the console's parameters on a thread of its own, sends KILL QUERY for the
// console's connection and disconnects. The server then ends the statement with its own error.
class TQueryCanceller {
public:
    TQueryCanceller(const TConnectionInfo& info, std::uint64_t connectionId);
    // Ends the attempt at once if it still waits for the server, and waits for its thread no longer
    // than StopBound.
    ~TQueryCanceller();
    static constexpr std::chrono::milliseconds StopBound{300};
    TQueryCanceller(const TQueryCanceller&) = delete;
    TQueryCanceller& operator=(const TQueryCanceller&) = delete;

private:
    std::shared_ptr<TMySQLDataSet> FDataSet;
    TClientThread FThread;
};
