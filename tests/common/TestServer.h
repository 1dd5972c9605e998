// Where the throwaway test servers of this test run are: read from the state files that
// scripts/testdb writes. The test run puts the path of the main server's (with TLS) in
// BRINDLECAST_TESTDB; beside it lie those of a server without TLS (testdb-plain.state) and of one that
// requires secure transport and has a certificate for another name (testdb-secure.state).
#pragma once

#include <cstdint>
#include <string>

class TMySQLCustomDataSet;

struct TTestServer {
    std::string Host;
    std::int32_t Port = 0;
    std::string Socket;
    std::string User;
    std::string Password;
    std::string RootPassword;
    std::string CAFile; // the authority of the server's certificate; empty without TLS
};

// The test server of this run. Fails the calling test (and returns an empty record) when the run
// has none, so that a server test never passes silently without a server.
const TTestServer& TestServer();
const TTestServer& PlainTestServer();
const TTestServer& SecureTestServer();

// Gives a data set the test server's address and the ordinary user's login, or root's.
void ConfigureForTestServer(TMySQLCustomDataSet& dataSet, bool root = false);

// Waits (up to 30 s) until the test server runs, on the connection with that id, a statement that
// begins with prefix (and, unless state is empty, is in that state, such as "User sleep"): a
// statement sent from another thread has then reached the server. False when it never did.
bool WaitUntilServerRuns(std::uint64_t connectionId, const std::string& prefix, const std::string& state = "");
