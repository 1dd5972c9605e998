// Network peers of a test's own, on 127.0.0.1 only: a port that never greets, a fake server that
// asks for a clear-text password, and a proxy to the test server that can stop answering.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// A listening socket that never accepts: the kernel completes the TCP handshake, and the client then
// waits for a greeting that never comes.
class TSilentPeer {
public:
    TSilentPeer();
    ~TSilentPeer();
    TSilentPeer(const TSilentPeer&) = delete;
    TSilentPeer& operator=(const TSilentPeer&) = delete;

    std::int32_t Port() const { return FPort; }

private:
    std::int32_t FPort = 0;
    int FSocket = -1;
};

// Accepts one client, greets it as a server whose default authentication plugin is GreetingPlugin,
// and, if SwitchPlugin is not empty, answers the client's login with a request to switch to that
// plugin. Records every byte the client sends until it closes the connection.
class TFakeAuthServer {
public:
    TFakeAuthServer(std::string greetingPlugin, std::string switchPlugin);
    ~TFakeAuthServer();
    TFakeAuthServer(const TFakeAuthServer&) = delete;
    TFakeAuthServer& operator=(const TFakeAuthServer&) = delete;

    std::int32_t Port() const { return FPort; }
    // What the client sent; complete once the client has closed its connection (waits up to 10 s).
    std::string Received();

private:
    void Serve();

    std::string FGreetingPlugin;
    std::string FSwitchPlugin;
    std::int32_t FPort = 0;
    int FSocket = -1;
    std::mutex FMutex;
    std::string FReceived;
    std::thread FThread;
};

// Forwards every connection to a server; Stall makes it stop forwarding in both directions and stop
// accepting, as a server that has stopped answering, while keeping every connection open.
class TStallingProxy {
public:
    TStallingProxy(const std::string& host, std::int32_t port);
    ~TStallingProxy();
    TStallingProxy(const TStallingProxy&) = delete;
    TStallingProxy& operator=(const TStallingProxy&) = delete;

    std::int32_t Port() const { return FPort; }
    void Stall();
    void Resume();

private:
    void Forward();

    std::string FHost;
    std::int32_t FServerPort;
    std::int32_t FPort = 0;
    int FSocket = -1;
    int FWake[2] = {-1, -1};
    std::atomic<bool> FStalled = false;
    std::thread FThread;
};
