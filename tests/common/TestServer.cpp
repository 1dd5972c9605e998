#include "TestServer.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "MySQLClasses.h"

namespace {

// The state of the main server, or of the one whose state lies beside it with suffix.
TTestServer ReadState(const std::string& suffix)
{
    TTestServer server;
    const char* main = std::getenv("BRINDLECAST_TESTDB");
    if (!main)
        return server;
    std::string path = main;
    if (!suffix.empty() && path.size() > 6 && path.ends_with(".state"))
        path = path.substr(0, path.size() - 6) + suffix + ".state";
    std::ifstream in(path);
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    server.Host = values["TESTDB_HOST"];
    server.Port = values["TESTDB_PORT"].empty() ? 0 : std::stoi(values["TESTDB_PORT"]);
    server.Socket = values["TESTDB_SOCKET"];
    server.User = values["TESTDB_USER"];
    server.Password = values["TESTDB_PASSWORD"];
    server.RootPassword = values["TESTDB_ROOT_PASSWORD"];
    server.CAFile = values["TESTDB_CA"];
    return server;
}

const TTestServer& Checked(const TTestServer& server, const char* which)
{
    EXPECT_NE(server.Port, 0) << "no " << which << " test server: BRINDLECAST_TESTDB does not name a running "
                                 "one (ctest starts it; by hand: scripts/testdb start)";
    return server;
}

} // namespace

const TTestServer& TestServer()
{
    static const TTestServer server = ReadState("");
    return Checked(server, "main");
}

const TTestServer& PlainTestServer()
{
    static const TTestServer server = ReadState("-plain");
    return Checked(server, "plain");
}

const TTestServer& SecureTestServer()
{
    static const TTestServer server = ReadState("-secure");
    return Checked(server, "secure");
}

void ConfigureForTestServer(TMySQLCustomDataSet& dataSet, bool root)
{
    const TTestServer& server = TestServer();
    dataSet.SetHost(server.Host);
    dataSet.SetPort(server.Port);
    dataSet.SetUser(root ? "root" : server.User);
    dataSet.SetPassword(root ? server.RootPassword : server.Password);
}

bool WaitUntilServerRuns(std::uint64_t connectionId, const std::string& prefix, const std::string& state)
{
    TMySQLDataSet watcher;
    ConfigureForTestServer(watcher);
    if (!watcher.Open())
        return false;
    std::string query = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = "
                      + std::to_string(connectionId) + " AND INFO LIKE '" + prefix + "%'";
    if (!state.empty())
        query += " AND STATE = '" + state + "'";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        auto result = watcher.Query(query);
        if (result && result->FetchRow()->GetValue(0) != "0")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}
