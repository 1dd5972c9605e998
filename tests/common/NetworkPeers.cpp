#include "NetworkPeers.h"

#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/ssl.h>

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

const std::string kNonce = "abcdefghijklmnopqrst";

std::string Greeting(const std::string& plugin, bool tls, bool truncated)
{
    std::string p;
    p += '\x0a';                                   // protocol version
    p += std::string("10.11.0-fake") + '\0';       // server version
    p += std::string("\x07\x00\x00\x00", 4);       // connection id
    if (truncated)
        return p;
    p += kNonce.substr(0, 8);                      // scramble, first part
    p += '\0';
    // Capabilities, low half: protocol 4.1, secure connection, local files, long password...; TLS
    // when offered.
    p += static_cast<char>(0x8d);
    p += static_cast<char>(0xa2 | (tls ? 0x08 : 0x00));
    p += '\x21';                                   // character set
    p += std::string("\x02\x00", 2);               // status
    p += std::string("\x0b\x00", 2);               // ...multi results, plugin authentication
    p += '\x15';                                   // scramble length
    p += std::string(10, '\0');
    p += kNonce.substr(8) + '\0';                  // scramble, second part
    p += plugin + '\0';
    return p;
}

std::string Sha256(const std::string& data)
{
    unsigned char digest[32];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<const char*>(digest), size);
}

// What caching_sha2_password's fast login sends for password.
std::string CachingSha2Proof(const std::string& password)
{
    const std::string stage1 = Sha256(password);
    std::string proof = Sha256(Sha256(stage1) + kNonce);
    for (std::size_t i = 0; i < proof.size(); ++i)
        proof[i] = static_cast<char>(proof[i] ^ stage1[i]);
    return proof;
}

// The login's data in a client's login packet: after the flags, the largest packet, the character set,
// 23 reserved bytes and the user name, a length and that many bytes.
std::string LoginData(const std::string& login)
{
    const std::size_t user = 4 + 4 + 1 + 23;
    const std::size_t end = login.find('\0', user);
    if (end == std::string::npos || end + 1 >= login.size())
        return {};
    const std::size_t length = static_cast<unsigned char>(login[end + 1]);
    return login.substr(end + 2, length);
}

std::string OkPacket()
{
    return std::string("\x00\x00\x00\x02\x00\x00\x00", 7);
}

std::string ErrorPacket(const std::string& text)
{
    return std::string("\xff\x15\x04#28000", 9) + text;
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

// One client's connection: plain, or TLS once the client asked for it.
struct TFakeServer::TConnection {
    int Fd;
    SSL* Ssl = nullptr;
    std::uint8_t Sequence = 0;

    ~TConnection()
    {
        if (Ssl)
            SSL_free(Ssl);
    }

    bool ReadExactly(char* data, std::size_t size)
    {
        std::size_t done = 0;
        while (done < size) {
            if (Ssl) {
                const int n = SSL_read(Ssl, data + done, static_cast<int>(size - done));
                if (n <= 0)
                    return false;
                done += static_cast<std::size_t>(n);
            } else {
                if (!WaitReadable(Fd, 10000))
                    return false;
                const ssize_t n = recv(Fd, data + done, size - done, 0);
                if (n <= 0)
                    return false;
                done += static_cast<std::size_t>(n);
            }
        }
        return true;
    }

    // The next packet's payload, or nullopt when the client has gone.
    std::optional<std::string> Read()
    {
        char header[4];
        if (!ReadExactly(header, 4))
            return std::nullopt;
        const std::size_t n = static_cast<unsigned char>(header[0]) | (static_cast<unsigned char>(header[1]) << 8)
                            | (static_cast<unsigned char>(header[2]) << 16);
        Sequence = static_cast<std::uint8_t>(header[3] + 1);
        std::string payload(n, '\0');
        if (!ReadExactly(payload.data(), n))
            return std::nullopt;
        return payload;
    }

    void Write(const std::string& payload)
    {
        const std::string packet = Packet(Sequence++, payload);
        if (Ssl)
            SSL_write(Ssl, packet.data(), static_cast<int>(packet.size()));
        else
            SendAll(Fd, packet);
    }
};

TFakeServer::TFakeServer(TScript script)
    : FScript(std::move(script))
    , FSocket(Listen(FPort))
{
    if (pipe2(FWake, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    EVP_PKEY* key = EVP_RSA_gen(2048);
    FKey = key;
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PUBKEY(bio, key);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    FPublicKeyPem.assign(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    FThread = std::thread([this] { Serve(); });
}

TFakeServer::~TFakeServer()
{
    const char stop = 's';
    [[maybe_unused]] const ssize_t written = write(FWake[1], &stop, 1);
    if (FThread.joinable())
        FThread.join();
    close(FWake[0]);
    close(FWake[1]);
    close(FSocket);
    EVP_PKEY_free(static_cast<EVP_PKEY*>(FKey));
}

void TFakeServer::Stop()
{
    const char stop = 's';
    [[maybe_unused]] const ssize_t written = write(FWake[1], &stop, 1);
    if (FThread.joinable())
        FThread.join();
}

std::string TFakeServer::Received()
{
    std::lock_guard lock(FMutex);
    return FReceived;
}

std::string TFakeServer::Recovered()
{
    std::lock_guard lock(FMutex);
    return FRecovered;
}

std::string TFakeServer::FileBytes()
{
    std::lock_guard lock(FMutex);
    return FFileBytes;
}

int TFakeServer::Clients()
{
    std::lock_guard lock(FMutex);
    return FClients;
}

void TFakeServer::Serve()
{
    while (true) {
        pollfd waits[2] = {{FSocket, POLLIN, 0}, {FWake[0], POLLIN, 0}};
        if (poll(waits, 2, -1) < 0)
            continue;
        if (waits[1].revents != 0)
            return;
        const int client = accept4(FSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        {
            std::lock_guard lock(FMutex);
            ++FClients;
        }
        ServeOne(client);
        close(client);
    }
}

void TFakeServer::ServeOne(int client)
{
    const bool tls = !FScript.CertificateFile.empty();
    TConnection connection{client};
    const std::string greeting = Packet(0, Greeting(FScript.GreetingPlugin, tls, FScript.TruncatedGreeting));
    connection.Sequence = 1;
    if (FScript.TrickleMs > 0) {
        for (const char byte : greeting) {
            SendAll(client, std::string(1, byte));
            // A client that has given up closes its end: the peer then stops trickling.
            if (WaitReadable(client, FScript.TrickleMs)) {
                char probe;
                if (recv(client, &probe, 1, MSG_PEEK) <= 0)
                    return;
            }
        }
    } else {
        SendAll(client, greeting);
    }
    if (FScript.TruncatedGreeting) {
        WaitReadable(client, 2000);
        return;
    }

    const auto record = [this](const std::string& bytes) {
        std::lock_guard lock(FMutex);
        FReceived += bytes;
    };
    const auto recover = [this](const std::string& text) {
        std::lock_guard lock(FMutex);
        FRecovered += text + '\n';
    };
    // Whatever the client sends as a login's data may be the password: as it is, with a closing
    // zero byte, or encrypted with this server's key (after XOR with the nonce).
    const auto tryRecover = [&](const std::string& data) {
        if (!data.empty() && data.back() == '\0')
            recover(data.substr(0, data.size() - 1));
        auto* key = static_cast<EVP_PKEY*>(FKey);
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
        std::string plain(512, '\0');
        std::size_t size = plain.size();
        if (EVP_PKEY_decrypt_init(context) == 1 && EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_OAEP_PADDING) == 1
            && EVP_PKEY_decrypt(context, reinterpret_cast<unsigned char*>(plain.data()), &size,
                                reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1) {
            plain.resize(size);
            for (std::size_t i = 0; i < plain.size(); ++i)
                plain[i] = static_cast<char>(plain[i] ^ kNonce[i % kNonce.size()]);
            recover(plain.substr(0, plain.find('\0')));
        }
        EVP_PKEY_CTX_free(context);
    };

    std::optional<std::string> login = connection.Read();
    if (!login)
        return;
    record(*login);
    if (tls && login->size() == 32 && FScript.StallTls) {
        // Takes what the client sends and answers nothing, until it gives up.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        char sink[4096];
        while (std::chrono::steady_clock::now() < until) {
            if (WaitReadable(client, 200) && recv(client, sink, sizeof sink, 0) <= 0)
                break;
        }
        return;
    }
    if (tls && login->size() == 32) {
        SSL_CTX* context = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(context, FScript.CertificateFile.c_str());
        SSL_CTX_use_PrivateKey_file(context, FScript.KeyFile.c_str(), SSL_FILETYPE_PEM);
        connection.Ssl = SSL_new(context);
        SSL_CTX_free(context);
        SSL_set_fd(connection.Ssl, client);
        if (SSL_accept(connection.Ssl) != 1)
            return;
        login = connection.Read();
        if (!login)
            return;
        record(*login);
    }

    std::string plugin = FScript.GreetingPlugin;
    std::optional<std::string> data;
    if (!FScript.SwitchPlugin.empty()) {
        plugin = FScript.SwitchPlugin;
        const std::string first = plugin == "dialog" ? std::string("\x05Password: ") : kNonce + '\0';
        connection.Write('\xfe' + plugin + '\0' + first);
        data = connection.Read();
    } else {
        data = LoginData(*login);
    }
    // The exchanges of each login until the client has said what it will say.
    for (int round = 0; data && round < 4; ++round) {
        record(*data);
        tryRecover(*data);
        if (plugin == "caching_sha2_password" && round == 0 && data->size() != 1) {
            // The fast login succeeds only with the right proof; otherwise the server asks for all.
            const bool proven = FScript.FastLogin && data->find(CachingSha2Proof(FScript.Password)) != std::string::npos;
            connection.Write(proven ? std::string("\x01\x03") : std::string("\x01\x04"));
            if (proven)
                break;
        } else if ((plugin == "caching_sha2_password" && *data == "\x02")
                   || (plugin == "sha256_password" && *data == "\x01")) {
            connection.Write('\x01' + FPublicKeyPem);
        } else {
            break;
        }
        data = connection.Read();
    }
    if (!data)
        return;
    if (!FScript.LoginError.empty()) {
        connection.Write(ErrorPacket(FScript.LoginError));
        WaitReadable(client, 2000);
        return;
    }
    connection.Write(OkPacket());

    while (std::optional<std::string> command = connection.Read()) {
        record(*command);
        if (command->empty() || (*command)[0] == '\x01')
            return;
        connection.Sequence = 1;
        if ((*command)[0] == '\x03' && !FScript.FileRequest.empty()) {
            connection.Write('\xfb' + FScript.FileRequest);
            while (std::optional<std::string> chunk = connection.Read()) {
                if (chunk->empty())
                    break;
                std::lock_guard lock(FMutex);
                FFileBytes += *chunk;
            }
        }
        connection.Write(OkPacket());
    }
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
