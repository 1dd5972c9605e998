#include "NetworkPeers.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket listening on 127.0.0.1 at a free port.
int Listen(std::int32_t& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 16) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(address.sin_port);
    return fd;
}

bool WaitReadable(int fd, int timeoutMs)
{
    pollfd wait{fd, POLLIN, 0};
    return poll(&wait, 1, timeoutMs) > 0;
}

void SendAll(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

// A protocol packet: three bytes of length, the sequence number, the payload.
std::string Packet(std::uint8_t sequence, const std::string& payload)
{
    std::string packet;
    const std::size_t n = payload.size();
    packet += static_cast<char>(n & 0xFF);
    packet += static_cast<char>((n >> 8) & 0xFF);
    packet += static_cast<char>((n >> 16) & 0xFF);
    packet += static_cast<char>(sequence);
    return packet + payload;
}

std::string Greeting(const std::string& plugin)
{
    std::string p;
    p += '\x0a';                                   // protocol version
    p += std::string("10.11.0-fake") + '\0';       // server version
    p += std::string("\x07\x00\x00\x00", 4);       // connection id
    p += "abcdefgh";                               // scramble, first part
    p += '\0';
    p += std::string("\x0d\xa2", 2);               // capabilities: protocol 4.1, secure connection...
    p += '\x21';                                   // character set
    p += std::string("\x02\x00", 2);               // status
    p += std::string("\x0b\x00", 2);               // ...multi results, plugin authentication
    p += '\x15';                                   // scramble length
    p += std::string(10, '\0');
    p += std::string("ijklmnopqrst", 12) + '\0';   // scramble, second part
    p += plugin + '\0';
    return p;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TSilentPeer::TSilentPeer()
    : FSocket(Listen(FPort))
{
}

TSilentPeer::~TSilentPeer()
{
    close(FSocket);
}

// ---------------------------------------------------------------------------------------------

TFakeAuthServer::TFakeAuthServer(std::string greetingPlugin, std::string switchPlugin)
    : FGreetingPlugin(std::move(greetingPlugin))
    , FSwitchPlugin(std::move(switchPlugin))
    , FSocket(Listen(FPort))
    , FThread([this] { Serve(); })
{
}

TFakeAuthServer::~TFakeAuthServer()
{
    shutdown(FSocket, SHUT_RDWR);
    if (FThread.joinable())
        FThread.join();
    close(FSocket);
}

std::string TFakeAuthServer::Received()
{
    if (FThread.joinable())
        FThread.join();
    std::lock_guard lock(FMutex);
    return FReceived;
}

void TFakeAuthServer::Serve()
{
    if (!WaitReadable(FSocket, 10000))
        return;
    const int client = accept4(FSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    SendAll(client, Packet(0, Greeting(FGreetingPlugin)));
    bool switched = FSwitchPlugin.empty();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && WaitReadable(client, 200)) {
        char buffer[4096];
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        {
            std::lock_guard lock(FMutex);
            FReceived.append(buffer, static_cast<std::size_t>(n));
        }
        if (!switched) {
            // The client's login (sequence 1) is answered with the switch request (sequence 2).
            switched = true;
            SendAll(client, Packet(2, '\xfe' + FSwitchPlugin + '\0' + std::string("abcdefghijklmnopqrst") + '\0'));
        }
    }
    close(client);
}

// ---------------------------------------------------------------------------------------------

TStallingProxy::TStallingProxy(const std::string& host, std::int32_t port)
    : FHost(host)
    , FServerPort(port)
    , FSocket(Listen(FPort))
{
    if (pipe2(FWake, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    FThread = std::thread([this] { Forward(); });
}

TStallingProxy::~TStallingProxy()
{
    const char stop = 's';
    [[maybe_unused]] const ssize_t written = write(FWake[1], &stop, 1);
    FThread.join();
    close(FWake[0]);
    close(FWake[1]);
    close(FSocket);
}

void TStallingProxy::Stall()
{
    FStalled = true;
    const char wake = 'w';
    [[maybe_unused]] const ssize_t written = write(FWake[1], &wake, 1);
}

void TStallingProxy::Resume()
{
    FStalled = false;
    const char wake = 'w';
    [[maybe_unused]] const ssize_t written = write(FWake[1], &wake, 1);
}

void TStallingProxy::Forward()
{
    struct TPair {
        int Client;
        int Server;
    };
    std::vector<TPair> pairs;
    bool running = true;
    while (running) {
        const bool stalled = FStalled;
        std::vector<pollfd> waits{{FWake[0], POLLIN, 0}};
        if (!stalled) {
            waits.push_back({FSocket, POLLIN, 0});
            for (const TPair& pair : pairs) {
                waits.push_back({pair.Client, POLLIN, 0});
                waits.push_back({pair.Server, POLLIN, 0});
            }
        }
        if (poll(waits.data(), waits.size(), -1) < 0)
            continue;
        if (waits[0].revents != 0) {
            char signal = 0;
            if (read(FWake[0], &signal, 1) == 1 && signal == 's')
                running = false;
            continue;
        }
        if (stalled)
            continue;
        std::vector<TPair> open;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            bool closed = false;
            for (int side = 0; side < 2 && !closed; ++side) {
                if (waits[2 + 2 * i + side].revents == 0)
                    continue;
                const int from = side == 0 ? pairs[i].Client : pairs[i].Server;
                const int to = side == 0 ? pairs[i].Server : pairs[i].Client;
                char buffer[65536];
                const ssize_t n = recv(from, buffer, sizeof buffer, 0);
                if (n > 0)
                    SendAll(to, std::string(buffer, static_cast<std::size_t>(n)));
                else
                    closed = true;
            }
            if (closed) {
                close(pairs[i].Client);
                close(pairs[i].Server);
            } else {
                open.push_back(pairs[i]);
            }
        }
        if (waits[1].revents != 0) {
            const int client = accept4(FSocket, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(FServerPort));
            inet_pton(AF_INET, FHost.c_str(), &address.sin_addr);
            if (client >= 0 && server >= 0
                && connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                open.push_back({client, server});
            } else {
                close(client);
                close(server);
            }
        }
        pairs = std::move(open);
    }
    for (const TPair& pair : pairs) {
        close(pair.Client);
        close(pair.Server);
    }
}
