// Secure connections: the three TLS modes against real servers with and without TLS, trusting a
// certificate that cannot be verified, and what a hostile peer of the test's own can get out of a
// login (never the password), how slowly it may answer, and what its texts may hold.
#include "MySQLClasses.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <errmsg.h>
#include <gtest/gtest.h>

#include "NetworkPeers.h"
#include "TestServer.h"

namespace {

const std::string kPassword = "S3cret-pass";

std::string TlsDir(const TTestServer& server)
{
    return server.CAFile.substr(0, server.CAFile.rfind('/'));
}

// The SHA-256 fingerprint of a server's certificate, read from its file as openssl shows it.
std::string CertificateFingerprint(const TTestServer& server)
{
    std::FILE* file = std::fopen((TlsDir(server) + "/server.pem").c_str(), "r");
    if (!file)
        return {};
    X509* certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(certificate, EVP_sha256(), digest, &size);
    X509_free(certificate);
    std::string text;
    char pair[4];
    for (unsigned int i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, i ? ":%02X" : "%02X", digest[i]);
        text += pair;
    }
    return text;
}

void Configure(TMySQLCustomDataSet& dataSet, const TTestServer& server, TTlsMode mode, const std::string& caFile = "")
{
    dataSet.SetHost(server.Host);
    dataSet.SetPort(server.Port);
    dataSet.SetUser(server.User);
    dataSet.SetPassword(server.Password);
    dataSet.SetTlsMode(mode);
    dataSet.SetCAFile(caFile);
}

// The cipher the server says the connection uses ("" for none).
std::string ServerSideCipher(TMySQLDataSet& dataSet)
{
    auto result = dataSet.Query("SHOW SESSION STATUS LIKE 'Ssl_cipher'");
    if (!result)
        return "<" + dataSet.ErrorText() + ">";
    return result->FetchRow()->GetValue(1);
}

TEST(TlsModes, EachModeAgainstServersWithAndWithoutTls)
{
    using TReason = TCertificateProblem::TReason;
    const TTestServer& tls = TestServer();
    const TTestServer& plain = PlainTestServer();
    const TTestServer& secure = SecureTestServer();
    struct TCase {
        const char* Name;
        const TTestServer& Server;
        TTlsMode Mode;
        std::string CAFile;
        bool Connects;
        bool Encrypted;
        std::optional<TReason> Problem;
        std::optional<TClientRefusal::TKind> Refusal;
    };
    using TKind = TClientRefusal::TKind;
    const TCase cases[] = {
        {"offered and taken", tls, TTlsMode::WhenOffered, "", true, true, {}, {}},
        {"not offered: plain", plain, TTlsMode::WhenOffered, "", true, false, {}, {}},
        {"a server that requires it", secure, TTlsMode::WhenOffered, "", true, true, {}, {}},
        {"required and offered", tls, TTlsMode::Required, "", true, true, {}, {}},
        {"required, not offered", plain, TTlsMode::Required, "", false, false, {}, TKind::NoTls},
        {"required by both", secure, TTlsMode::Required, "", true, true, {}, {}},
        {"verified with the right authority", tls, TTlsMode::Verified, tls.CAFile, true, true, {}, {}},
        {"verified by the system's store", tls, TTlsMode::Verified, "", false, false, TReason::UnknownAuthority,
         TKind::CertificateRefused},
        {"verified with another authority", tls, TTlsMode::Verified, secure.CAFile, false, false,
         TReason::UnknownAuthority, TKind::CertificateRefused},
        {"a certificate for another name", secure, TTlsMode::Verified, secure.CAFile, false, false,
         TReason::WrongName, TKind::CertificateRefused},
        {"verified, not offered", plain, TTlsMode::Verified, "", false, false, {}, TKind::NoTls},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMySQLDataSet dataSet;
        Configure(dataSet, c.Server, c.Mode, c.CAFile);
        ASSERT_EQ(dataSet.Open(), c.Connects) << dataSet.ErrorText();
        if (c.Connects) {
            const std::string cipher = ServerSideCipher(dataSet);
            // Only the verified mode checks the server; every verified case here connects by its authority.
            EXPECT_EQ(dataSet.Connection()->Verification(),
                      c.Mode == TTlsMode::Verified ? TServerVerification::Authority : TServerVerification::None);
            EXPECT_EQ(dataSet.Connection()->Encrypted(), c.Encrypted);
            if (c.Encrypted) {
                EXPECT_FALSE(cipher.empty());
                EXPECT_EQ(dataSet.Connection()->EncryptionText().rfind("TLS 1.", 0), 0u)
                    << dataSet.Connection()->EncryptionText();
                EXPECT_NE(dataSet.Connection()->EncryptionText().find(", " + cipher), std::string::npos)
                    << dataSet.Connection()->EncryptionText() << " vs " << cipher;
            } else {
                EXPECT_EQ(cipher, "");
                EXPECT_EQ(dataSet.Connection()->EncryptionText(), "");
            }
            continue;
        }
        ASSERT_TRUE(dataSet.Refusal()) << dataSet.ErrorText();
        EXPECT_EQ(dataSet.Refusal()->Kind, *c.Refusal);
        EXPECT_EQ(dataSet.ErrorCode(), static_cast<std::uint32_t>(CR_SSL_CONNECTION_ERROR));
        EXPECT_EQ(dataSet.Refusal()->Host, c.Server.Host);
        EXPECT_EQ(dataSet.Refusal()->Port, c.Server.Port);
        const auto& problem = dataSet.Connection()->CertificateProblem();
        ASSERT_EQ(problem.has_value(), c.Problem.has_value());
        if (problem) {
            EXPECT_EQ(problem->Reason, *c.Problem);
            EXPECT_EQ(problem->Fingerprint, CertificateFingerprint(c.Server));
        }
    }
}

// A certificate with two problems, an unknown authority and another host's name, is refused naming
// both, so that the user is not asked to trust another host's certificate without being told.
TEST(TlsModes, EveryProblemOfACertificateIsNamed)
{
    using TReason = TCertificateProblem::TReason;
    TMySQLDataSet dataSet;
    Configure(dataSet, SecureTestServer(), TTlsMode::Verified);
    ASSERT_FALSE(dataSet.Open());
    const auto& problem = dataSet.Connection()->CertificateProblem();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->Reasons, (std::vector<TReason>{TReason::UnknownAuthority, TReason::WrongName}));
    EXPECT_EQ(problem->Reason, TReason::UnknownAuthority);
    EXPECT_EQ(dataSet.Refusal()->Host, "127.0.0.1");
}

// A certificate the user chose to trust is pinned: every later connect, reconnects included, takes
// that certificate and no other.
TEST(TlsModes, ATrustedFingerprintIsPinnedForEveryReconnect)
{
    TMySQLDataSet dataSet;
    Configure(dataSet, TestServer(), TTlsMode::Verified);
    ASSERT_FALSE(dataSet.Open());
    ASSERT_TRUE(dataSet.Connection()->CertificateProblem());
    const std::string fingerprint = dataSet.Connection()->CertificateProblem()->Fingerprint;

    // Shown with colons and in upper case; any spelling of the same digits pins it.
    std::string spelled;
    for (const char c : fingerprint) {
        if (c != ':')
            spelled += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    dataSet.SetPinnedFingerprint(spelled);
    for (int connect = 0; connect < 3; ++connect) {
        SCOPED_TRACE(connect);
        ASSERT_TRUE(dataSet.Open()) << dataSet.ErrorText();
        EXPECT_FALSE(ServerSideCipher(dataSet).empty());
        EXPECT_EQ(dataSet.Connection()->Verification(), TServerVerification::TrustedFingerprint);
        dataSet.Close();
    }

    // The same pin does not open another server, nor another pin this one.
    TMySQLDataSet other;
    Configure(other, SecureTestServer(), TTlsMode::Verified);
    other.SetPinnedFingerprint(fingerprint);
    EXPECT_FALSE(other.Open());
    ASSERT_TRUE(other.Connection()->CertificateProblem());
    EXPECT_EQ(other.Connection()->CertificateProblem()->Pinned, fingerprint);
    std::string changed = fingerprint;
    changed[0] = changed[0] == 'A' ? 'B' : 'A';
    dataSet.SetPinnedFingerprint(changed);
    EXPECT_FALSE(dataSet.Open());
    ASSERT_TRUE(dataSet.Connection()->CertificateProblem());
    EXPECT_EQ(dataSet.Connection()->CertificateProblem()->Fingerprint, fingerprint);
    EXPECT_EQ(dataSet.Connection()->CertificateProblem()->Pinned, changed);
}

TFakeServer::TScript Script(const std::string& greeting, const std::string& switchTo = "")
{
    TFakeServer::TScript script;
    script.GreetingPlugin = greeting;
    script.SwitchPlugin = switchTo;
    script.Password = kPassword;
    return script;
}

bool ConnectToFake(TMySQLConnection& connection, const TFakeServer& server, TTlsMode mode = TTlsMode::WhenOffered,
                   const std::string& caFile = "")
{
    connection.SetHost("127.0.0.1");
    connection.SetPort(server.Port());
    connection.SetUser("someone");
    connection.SetPassword(kPassword);
    connection.SetTlsMode(mode);
    connection.SetCAFile(caFile);
    return connection.Connect();
}

// A peer that asks for a login which would hand the password over, over plain TCP, is refused before
// the password leaves, and told why; the fake hands out its own RSA key to whoever asks and tries to
// decrypt everything it gets.
TEST(Logins, APasswordNeverReachesAPeerThatCouldReadIt)
{
    using TKind = TClientRefusal::TKind;
    struct TCase {
        const char* Name;
        std::string Greeting;
        std::string Switch;
        TKind Kind;
        std::string Login; // the login named
        bool FullAuthentication = false;
    };
    const TCase cases[] = {
        {"caching_sha2_password, full authentication", "caching_sha2_password", "", TKind::PasswordLogin,
         "caching_sha2_password", true},
        {"caching_sha2_password after a switch", "mysql_native_password", "caching_sha2_password",
         TKind::PasswordLogin, "caching_sha2_password", true},
        {"sha256_password", "sha256_password", "", TKind::PasswordLogin, "sha256_password"},
        {"sha256_password after a switch", "mysql_native_password", "sha256_password", TKind::PasswordLogin,
         "sha256_password"},
        {"mysql_clear_password", "mysql_clear_password", "", TKind::PasswordLogin, "mysql_clear_password"},
        {"mysql_clear_password after a switch", "mysql_native_password", "mysql_clear_password",
         TKind::PasswordLogin, "mysql_clear_password"},
        {"dialog after a switch", "mysql_native_password", "dialog", TKind::PasswordLogin, "dialog"},
        {"mysql_old_password", "mysql_old_password", "", TKind::OldPasswordLogin, ""},
        {"mysql_old_password after a switch", "mysql_native_password", "mysql_old_password",
         TKind::OldPasswordLogin, ""},
        {"an unknown login after a switch", "mysql_native_password", "brindle_magic", TKind::UnknownLogin,
         "brindle_magic"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeServer server(Script(c.Greeting, c.Switch));
        TMySQLConnection connection;
        EXPECT_FALSE(ConnectToFake(connection, server));
        ASSERT_TRUE(connection.Refusal()) << connection.GetErrorText();
        const TClientRefusal& refusal = *connection.Refusal();
        EXPECT_EQ(refusal.Kind, c.Kind);
        EXPECT_EQ(refusal.Code, static_cast<std::uint32_t>(CR_AUTH_PLUGIN_ERR));
        EXPECT_EQ(refusal.Login, c.Login);
        EXPECT_EQ(refusal.FullAuthentication, c.FullAuthentication);
        if (c.Kind == TKind::PasswordLogin) { // refused for the plain connection, not for the login itself
            EXPECT_EQ(refusal.Channel, TClientRefusal::TChannel::Plain);
        }
        connection.Disconnect();
        server.Stop();
        EXPECT_EQ(server.Received().find(kPassword), std::string::npos) << "the password was sent";
        EXPECT_EQ(server.Recovered().find(kPassword), std::string::npos) << "the password was recovered";
    }
}

// The fake does recover a password from a client that encrypts it with the fake's key: the
// command-line client of the library, which is not restricted.
TEST(Logins, TheFakeRecoversAPasswordEncryptedWithItsKey)
{
    for (const char* plugin : {"caching_sha2_password", "sha256_password"}) {
        SCOPED_TRACE(plugin);
        TFakeServer server(Script(plugin));
        const std::string command = "timeout 20 mariadb --no-defaults -h 127.0.0.1 -P " + std::to_string(server.Port())
                                  + " -u someone -p" + kPassword + " -e 'SELECT 1' > /dev/null 2>&1";
        [[maybe_unused]] const int status = std::system(command.c_str());
        server.Stop();
        EXPECT_NE(server.Recovered().find(kPassword), std::string::npos) << server.Recovered();
    }
}

// caching_sha2_password's fast login sends only a proof, which the fake checks; and the password
// itself goes over TLS to a verified server, not to an unverified one.
TEST(Logins, CachingSha2ProofAlwaysThePasswordOnlyToAVerifiedServer)
{
    {
        TFakeServer::TScript script = Script("caching_sha2_password");
        script.FastLogin = true;
        TFakeServer server(script);
        TMySQLConnection connection;
        EXPECT_TRUE(ConnectToFake(connection, server)) << connection.GetErrorText();
        connection.Disconnect();
        server.Stop();
        EXPECT_EQ(server.Received().find(kPassword), std::string::npos);
    }
    const TTestServer& real = TestServer();
    TFakeServer::TScript script = Script("caching_sha2_password");
    script.CertificateFile = TlsDir(real) + "/server.pem";
    script.KeyFile = TlsDir(real) + "/server.key";
    {
        TFakeServer server(script);
        TMySQLConnection connection;
        EXPECT_FALSE(ConnectToFake(connection, server, TTlsMode::Required));
        ASSERT_TRUE(connection.Refusal()) << connection.GetErrorText();
        EXPECT_EQ(connection.Refusal()->Kind, TClientRefusal::TKind::PasswordLogin);
        EXPECT_EQ(connection.Refusal()->Channel, TClientRefusal::TChannel::Unverified);
        connection.Disconnect();
        server.Stop();
        EXPECT_EQ(server.Recovered().find(kPassword), std::string::npos);
    }
    {
        TFakeServer server(script);
        TMySQLConnection connection;
        EXPECT_TRUE(ConnectToFake(connection, server, TTlsMode::Verified, real.CAFile)) << connection.GetErrorText();
        EXPECT_EQ(connection.EncryptionText().rfind("TLS 1.", 0), 0u);
        connection.Disconnect();
        server.Stop();
        EXPECT_NE(server.Recovered().find(kPassword), std::string::npos) << "a verified server gets the password";
    }
}

TEST(Logins, BrokenGreetingsAndTextsAreReportedAsTheyAre)
{
    {
        TFakeServer::TScript script = Script("mysql_native_password");
        script.TruncatedGreeting = true;
        TFakeServer server(script);
        TMySQLConnection connection;
        EXPECT_FALSE(ConnectToFake(connection, server));
        ASSERT_TRUE(connection.Refusal()) << connection.GetErrorText();
        EXPECT_EQ(connection.Refusal()->Kind, TClientRefusal::TKind::OldGreeting);
        EXPECT_NE(connection.GetErrorCode(), 0u);
        connection.Disconnect();
        server.Stop();
        EXPECT_EQ(server.Received().find(kPassword), std::string::npos);
    }
    {
        // A server's text comes back to the caller byte for byte.
        const std::string text = "<img src=\"/dev/zero\"><b>Access</b> denied";
        TFakeServer::TScript script = Script("mysql_native_password");
        script.LoginError = text;
        TFakeServer server(script);
        TMySQLConnection connection;
        EXPECT_FALSE(ConnectToFake(connection, server));
        EXPECT_EQ(connection.GetErrorText(), text);
        EXPECT_FALSE(connection.Refusal());
    }
}

// The connect as a whole ends after ConnectTimeout, however slowly a peer trickles its greeting, and
// also when it stalls inside the library's TLS handshake, where no wait of this layer's runs.
TEST(Connect, GivesUpAfterTenSecondsHoweverSlowlyThePeerAnswers)
{
    using namespace std::chrono;
    TFakeServer::TScript trickle = Script("mysql_native_password");
    trickle.TrickleMs = 2000;
    TFakeServer::TScript stall = Script("mysql_native_password");
    stall.CertificateFile = TlsDir(TestServer()) + "/server.pem";
    stall.KeyFile = TlsDir(TestServer()) + "/server.key";
    stall.StallTls = true;
    const std::pair<TFakeServer::TScript, TTlsMode> cases[] = {
        {trickle, TTlsMode::WhenOffered}, {trickle, TTlsMode::Required}, {trickle, TTlsMode::Verified},
        {stall, TTlsMode::WhenOffered},   {stall, TTlsMode::Required},   {stall, TTlsMode::Verified}};
    for (const auto& [script, mode] : cases) {
        SCOPED_TRACE(static_cast<int>(mode));
        TFakeServer server(script);
        TMySQLConnection connection;
        const auto start = steady_clock::now();
        EXPECT_FALSE(ConnectToFake(connection, server, mode));
        const auto took = duration_cast<milliseconds>(steady_clock::now() - start);
        std::printf("%s: the connect gave up after %lld ms\n",
                    script.StallTls ? "a TLS handshake that stalls" : "a greeting trickled a byte every 2 s",
                    static_cast<long long>(took.count()));
        EXPECT_GE(took, milliseconds(9500)) << connection.GetErrorText();
        // The program's own limit ended it, and says so rather than the TLS library's words.
        ASSERT_TRUE(connection.Refusal()) << connection.GetErrorText();
        EXPECT_EQ(connection.Refusal()->Kind, TClientRefusal::TKind::TimeLimit);
        EXPECT_EQ(connection.Refusal()->Seconds, 10u);
        EXPECT_LT(took, milliseconds(13000));
    }
}

// A port of 127.0.0.1 with nothing listening on it (0 when none could be found).
std::int32_t RefusedPort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool found = ::bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0
                    && ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(probe);
    return found ? ntohs(address.sin_port) : 0;
}

// The modes that require TLS go over TCP even for "localhost", whose socket cannot carry it; where
// nothing listens on TCP the refusal says why and what to choose.
TEST(Connect, TheModesThatRequireTlsExplainTheLocalSocket)
{
    const std::int32_t port = RefusedPort();
    ASSERT_NE(port, 0);
    for (const TTlsMode mode : {TTlsMode::Required, TTlsMode::Verified}) {
        SCOPED_TRACE(static_cast<int>(mode));
        TMySQLConnection connection;
        connection.SetHost("localhost");
        connection.SetPort(port);
        connection.SetUser("someone");
        connection.SetTlsMode(mode);
        EXPECT_FALSE(connection.Connect());
        ASSERT_TRUE(connection.Refusal()) << connection.GetErrorText();
        EXPECT_EQ(connection.Refusal()->Kind, TClientRefusal::TKind::ConnectionFailed);
        EXPECT_EQ(connection.GetErrorCode(), static_cast<std::uint32_t>(CR_CONN_HOST_ERROR));
        EXPECT_TRUE(connection.Refusal()->LocalhostOverTcp);
    }
}

// Where the look before the login fails, the refusal names what failed and the facts to word it.
TEST(Connect, TheLookBeforeTheLoginReturnsWhatFailed)
{
    using TKind = TClientRefusal::TKind;
    const std::int32_t refusedPort = RefusedPort();
    ASSERT_NE(refusedPort, 0);
    struct TCase {
        const char* Name;
        std::string Host;
        std::int32_t Port;
        TKind Kind;
        std::uint32_t Code;
    };
    const TCase cases[] = {
        {"a refused port", "127.0.0.1", refusedPort, TKind::ConnectionFailed, CR_CONN_HOST_ERROR},
        {"an unknown host", "no-such-host.invalid", 3306, TKind::HostNotFound, CR_CONN_HOST_ERROR},
        {"a server without TLS", PlainTestServer().Host, PlainTestServer().Port, TKind::NoTls,
         CR_SSL_CONNECTION_ERROR},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMySQLConnection connection;
        connection.SetHost(c.Host);
        connection.SetPort(c.Port);
        connection.SetUser("someone");
        connection.SetTlsMode(TTlsMode::Required);
        EXPECT_FALSE(connection.Connect());
        ASSERT_TRUE(connection.Refusal()) << connection.GetErrorText();
        const TClientRefusal& refusal = *connection.Refusal();
        EXPECT_EQ(refusal.Kind, c.Kind);
        EXPECT_EQ(connection.GetErrorCode(), c.Code);
        EXPECT_EQ(connection.GetErrorText(), "");
        EXPECT_EQ(refusal.Host, c.Host);
        EXPECT_EQ(refusal.Port, c.Port);
        EXPECT_FALSE(refusal.LocalhostOverTcp);
        if (c.Kind == TKind::ConnectionFailed) {
            EXPECT_EQ(refusal.Errno, ECONNREFUSED);
        }
        if (c.Kind == TKind::HostNotFound) {
            EXPECT_FALSE(refusal.Detail.empty());
        }
    }
}

TEST(Connect, AZeroByteInAParameterIsRefusedBeforeConnecting)
{
    TSilentPeer peer;
    const std::string zero("\0", 1);
    for (const char* field : {"host", "user", "password"}) {
        SCOPED_TRACE(field);
        TMySQLConnection connection;
        connection.SetHost(field == std::string("host") ? "127.0.0.1" + zero + "evil" : "127.0.0.1");
        connection.SetPort(peer.Port());
        connection.SetUser(field == std::string("user") ? "root" + zero + "x" : "someone");
        connection.SetPassword(field == std::string("password") ? "pw" + zero : "pw");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(connection.Connect());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "it tried to connect";
        ASSERT_TRUE(connection.Refusal()) << connection.GetErrorText();
        EXPECT_EQ(connection.Refusal()->Kind, TClientRefusal::TKind::ZeroByte);
    }
}

} // namespace
