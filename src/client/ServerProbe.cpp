#include "ServerProbe.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <errmsg.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include "SocketWaits.h"

namespace {

// Protocol flags of the greeting and of the request for TLS.
constexpr std::uint32_t kClientLongPassword = 0x0001;
constexpr std::uint32_t kClientProtocol41 = 0x0200;
constexpr std::uint32_t kClientSsl = 0x0800;
constexpr std::uint32_t kClientSecureConnection = 0x8000;
// A greeting is a few dozen bytes; a peer that announces more is not a server.
constexpr std::size_t kMaxGreeting = 16384;

struct TSocketCloser {
    int Fd = -1;
    ~TSocketCloser()
    {
        if (Fd >= 0)
            close(Fd);
    }
};

struct TSslCtxFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct TSslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct TX509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

using TKind = TClientRefusal::TKind;

// A refusal of this layer about host:port.
TServerProbe Failure(std::uint32_t code, TKind kind, const std::string& host, std::int32_t port,
                     std::string detail = {})
{
    TClientRefusal refusal;
    refusal.Kind = kind;
    refusal.Code = code;
    refusal.Host = host;
    refusal.Port = port;
    refusal.Detail = std::move(detail);
    TServerProbe probe;
    probe.Refusal = std::move(refusal);
    return probe;
}

// A connected non-blocking TCP socket to one of host's addresses, or -1 with the refusal that says
// why.
int ConnectTcp(const std::string& host, std::int32_t port, TServerProbe& failure)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); status != 0) {
        failure = Failure(CR_CONN_HOST_ERROR, TKind::HostNotFound, host, port, gai_strerror(status));
        return -1;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    int lastError = ECONNREFUSED;
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0)
            return fd;
        if (errno == EINPROGRESS) {
            const int ready = ClientWaits::WaitForSocket(fd, false, -1);
            int socketError = 0;
            socklen_t length = sizeof socketError;
            if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &socketError, &length) == 0
                && socketError == 0)
                return fd;
            lastError = ready > 0 ? socketError : errno;
        } else {
            lastError = errno;
        }
        close(fd);
        if (lastError == ECONNABORTED || lastError == ETIMEDOUT)
            break; // interrupted, or out of time: no other address gets a try
    }
    failure = Failure(CR_CONN_HOST_ERROR, TKind::ConnectionFailed, host, port);
    failure.Refusal->Errno = lastError;
    return -1;
}

// Reads or writes exactly size bytes; false when the peer closes, the wait is ended, or the deadline
// passes.
bool Transfer(int fd, unsigned char* data, std::size_t size, bool reading)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = reading ? recv(fd, data + done, size - done, 0)
                                  : send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (ClientWaits::WaitForSocket(fd, reading, -1) <= 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool ReadExactly(int fd, unsigned char* data, std::size_t size)
{
    return Transfer(fd, data, size, true);
}

// The greeting's capability flags, or a failure.
std::optional<std::uint32_t> ReadGreeting(int fd, TServerProbe& failure, const std::string& host, std::int32_t port)
{
    unsigned char header[4];
    const auto lost = [&] {
        failure = Failure(CR_SERVER_LOST, ClientWaits::DeadlinePassed() ? TKind::GreetingLate : TKind::NoGreeting,
                          host, port);
    };
    if (!ReadExactly(fd, header, sizeof header)) {
        lost();
        return std::nullopt;
    }
    const std::size_t length = header[0] | (header[1] << 8) | (header[2] << 16);
    if (length == 0 || length > kMaxGreeting) {
        failure = Failure(CR_SERVER_HANDSHAKE_ERR, TKind::NotADatabaseServer, host, port);
        return std::nullopt;
    }
    std::vector<unsigned char> payload(length);
    if (!ReadExactly(fd, payload.data(), length)) {
        lost();
        return std::nullopt;
    }
    if (payload[0] == 0xFF) {
        // The server refuses at once (too many connections, a blocked host): its own words follow
        // the error code.
        const std::string text = length > 3 ? std::string(payload.begin() + 3, payload.end()) : std::string();
        const std::uint32_t code = length >= 3 ? (payload[1] | (payload[2] << 8)) : CR_SERVER_HANDSHAKE_ERR;
        failure = TServerProbe();
        failure.ErrorCode = code;
        failure.ErrorText = text;
        return std::nullopt;
    }
    // Protocol version 10, the server's version up to a zero byte, the connection id (4), the first
    // part of the scramble (8), a filler, then the lower half of the capability flags.
    std::size_t at = 1;
    while (at < length && payload[at] != 0)
        ++at;
    at += 1 + 4 + 8 + 1;
    if (payload[0] != 10 || at + 2 > length) {
        failure = Failure(CR_SERVER_HANDSHAKE_ERR, TKind::BadGreeting, host, port);
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(payload[at] | (payload[at + 1] << 8));
}

bool IsAddress(const std::string& host)
{
    in6_addr address;
    return inet_pton(AF_INET, host.c_str(), &address) == 1 || inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

std::string HexFingerprint(X509* certificate, const EVP_MD* digest, bool colons)
{
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(certificate, digest, bytes, &size) != 1)
        return {};
    static const char* const hex = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        if (colons && i > 0)
            text += ':';
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0x0F];
    }
    return text;
}

TCertificateProblem::TReason ReasonOf(long verifyResult)
{
    using TReason = TCertificateProblem::TReason;
    switch (verifyResult) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return TReason::UnknownAuthority;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return TReason::WrongName;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return TReason::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return TReason::NotYetValid;
    default:
        return TReason::Other;
    }
}

// The verification goes on past each problem so that all of them are known, not only the first;
// whether the certificate is taken is decided afterwards. The SSL object's application data is the
// list the problems go to.
int CollectProblems(int ok, X509_STORE_CTX* store)
{
    if (!ok) {
        auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        if (auto* problems = ssl ? static_cast<std::vector<long>*>(SSL_get_app_data(ssl)) : nullptr)
            problems->push_back(X509_STORE_CTX_get_error(store));
    }
    return 1;
}

// Waits for what the TLS library wants after a call that could not finish yet; false when the wait
// ended without it.
bool WaitForTls(SSL* ssl, int fd, int result)
{
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ)
        return ClientWaits::WaitForSocket(fd, true, -1) > 0;
    if (error == SSL_ERROR_WANT_WRITE)
        return ClientWaits::WaitForSocket(fd, false, -1) > 0;
    return false;
}

// The TLS library's words for its last error; empty when it has none (the wait for it was ended).
std::string TlsErrorText()
{
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    if (error == 0)
        return {};
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    return text;
}

} // namespace

std::string NormalizeFingerprint(const std::string& fingerprint)
{
    std::string digits;
    for (const char c : fingerprint) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return digits;
}

TServerProbe ProbeServer(const std::string& host, std::int32_t port, TTlsMode mode,
                         const std::string& caFile, const std::string& pinned)
{
    TServerProbe failure;
    TSocketCloser socket{ConnectTcp(host, port, failure)};
    if (socket.Fd < 0)
        return failure;

    const std::optional<std::uint32_t> capabilities = ReadGreeting(socket.Fd, failure, host, port);
    if (!capabilities)
        return failure;
    if ((*capabilities & kClientSsl) == 0)
        return Failure(CR_SSL_CONNECTION_ERROR, TKind::NoTls, host, port);

    // The short login packet that asks for TLS: flags, the largest packet, the character set
    // (utf8mb4), 23 reserved bytes.
    std::vector<unsigned char> request(4 + 32, 0);
    request[0] = 32;
    request[3] = 1;
    const std::uint32_t flags = kClientLongPassword | kClientProtocol41 | kClientSsl | kClientSecureConnection;
    for (int i = 0; i < 4; ++i)
        request[4 + i] = static_cast<unsigned char>(flags >> (8 * i));
    request[8 + 3] = 1; // 16 MiB
    request[12] = 45;
    if (!Transfer(socket.Fd, request.data(), request.size(), false))
        return Failure(CR_SERVER_LOST, TKind::ClosedBeforeTls, host, port);

    std::unique_ptr<SSL_CTX, TSslCtxFree> context(SSL_CTX_new(TLS_client_method()));
    if (!context)
        return Failure(CR_SSL_CONNECTION_ERROR, TKind::TlsUnavailable, host, port, TlsErrorText());
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, CollectProblems);
    if (mode == TTlsMode::Verified) {
        const bool loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(context.get()) == 1
                                           : SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr) == 1;
        if (!loaded && !caFile.empty()) {
            failure = Failure(CR_SSL_CONNECTION_ERROR, TKind::CAFileUnreadable, host, port, TlsErrorText());
            failure.Refusal->File = caFile;
            return failure;
        }
        ERR_clear_error();
    }
    std::unique_ptr<SSL, TSslFree> ssl(SSL_new(context.get()));
    if (!ssl || SSL_set_fd(ssl.get(), socket.Fd) != 1)
        return Failure(CR_SSL_CONNECTION_ERROR, TKind::TlsUnavailable, host, port, TlsErrorText());
    std::vector<long> verifyErrors;
    SSL_set_app_data(ssl.get(), &verifyErrors);
    X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl.get());
    if (IsAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str());
    } else {
        X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), host.size());
        SSL_set_tlsext_host_name(ssl.get(), host.c_str());
    }
    while (true) {
        const int result = SSL_connect(ssl.get());
        if (result == 1)
            break;
        if (!WaitForTls(ssl.get(), socket.Fd, result))
            return Failure(CR_SSL_CONNECTION_ERROR, TKind::TlsFailed, host, port, TlsErrorText());
    }

    std::unique_ptr<X509, TX509Free> certificate(SSL_get1_peer_certificate(ssl.get()));
    if (!certificate)
        return Failure(CR_SSL_CONNECTION_ERROR, TKind::NoCertificate, host, port);
    TServerProbe probe;
    probe.LibraryPin = HexFingerprint(certificate.get(), EVP_sha1(), true);
    const std::string fingerprint = HexFingerprint(certificate.get(), EVP_sha256(), true);
    const long verifyResult = SSL_get_verify_result(ssl.get());
    if (mode == TTlsMode::Verified && verifyResult != X509_V_OK
        && (pinned.empty() || NormalizeFingerprint(pinned) != NormalizeFingerprint(fingerprint))) {
        TCertificateProblem problem;
        for (const long error : verifyErrors) {
            const TCertificateProblem::TReason reason = ReasonOf(error);
            if (std::find(problem.Reasons.begin(), problem.Reasons.end(), reason) == problem.Reasons.end())
                problem.Reasons.push_back(reason);
        }
        if (problem.Reasons.empty())
            problem.Reasons.push_back(ReasonOf(verifyResult));
        problem.Reason = problem.Reasons.front();
        problem.Fingerprint = fingerprint;
        problem.Pinned = pinned;
        problem.Detail = X509_verify_cert_error_string(verifyResult);
        probe = Failure(CR_SSL_CONNECTION_ERROR, TKind::CertificateRefused, host, port);
        probe.Refusal->Certificate = std::move(problem);
        return probe;
    }
    probe.Accepted = true;
    if (mode == TTlsMode::Verified)
        probe.Verification =
            verifyResult == X509_V_OK ? TServerVerification::Authority : TServerVerification::TrustedFingerprint;
    return probe;
}
