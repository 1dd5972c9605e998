// Network peers of a test's own, on 127.0.0.1 only: a port that never greets, a scripted fake server,
// and a proxy to the test server that can stop answering.
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

// A server of the test's own on 127.0.0.1 that follows a script: it greets each client that connects
// (one after another) as a server whose default login is GreetingPlugin, offering TLS when it has a
// certificate, may switch the client to another login, answers a login as the script says, and
// answers each statement with OK or with a request for a local file. It records every byte a client
// sends (after TLS, the decrypted ones) and tries to recover a password from everything it gets: a
// text sent as it is, or one encrypted with the RSA key it hands out when asked.
class TFakeServer {
public:
    struct TScript {
        std::string GreetingPlugin = "mysql_native_password";
        std::string SwitchPlugin;           // empty: no switch
        std::string Password;               // what caching_sha2_password's fast login proves
        bool FastLogin = false;             // caching_sha2_password: accept the proof (else ask for all)
        std::string LoginError;             // not empty: the login is answered with this error
        std::string FileRequest;            // not empty: each statement asks for this local file
        std::string CertificateFile, KeyFile; // TLS offered when set
        int TrickleMs = 0;                  // above 0: the greeting goes a byte at a time, this far apart
        bool TruncatedGreeting = false;     // the greeting stops after the connection id
        bool StallTls = false;              // offered TLS, never answers the client's first TLS message
    };

    explicit TFakeServer(TScript script);
    ~TFakeServer();
    TFakeServer(const TFakeServer&) = delete;
    TFakeServer& operator=(const TFakeServer&) = delete;

    std::int32_t Port() const { return FPort; }
    // Everything clients sent, and the texts recovered from it; complete once Stop returned.
    std::string Received();
    std::string Recovered();
    // The bytes a client sent after the server asked for a local file, up to the empty packet that
    // ends a file.
    std::string FileBytes();
    // How many clients connected.
    int Clients();
    // Waits until the last client has gone (up to 10 s) and stops serving.
    void Stop();

private:
    struct TConnection;
    void Serve();
    void ServeOne(int client);

    TScript FScript;
    std::int32_t FPort = 0;
    int FSocket = -1;
    int FWake[2] = {-1, -1};
    void* FKey = nullptr; // the RSA key (EVP_PKEY) handed out to clients that ask for one
    std::string FPublicKeyPem;
    std::mutex FMutex;
    std::string FReceived;
    std::string FRecovered;
    std::string FFileBytes;
    int FClients = 0;
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
