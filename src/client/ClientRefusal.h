// What the client layer refused, or could not do, on its own rather than in the server's words: the
// kind and its facts, for the console to put in the user's words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ConnectionSecurity.h"

struct TClientRefusal {
    enum class TKind {
        // The connect as a whole took longer than Seconds.
        TimeLimit,
        // The host, the user or the password holds a zero byte, which would cut it short.
        ZeroByte,
        // Host has no address: Detail is the resolver's words.
        HostNotFound,
        // No TCP connection to Host:Port: Errno says why.
        ConnectionFailed,
        // Host:Port closed the connection before its greeting.
        NoGreeting,
        // Host:Port sent no greeting before the deadline.
        GreetingLate,
        // Host:Port sent something that is not a database server's greeting.
        NotADatabaseServer,
        // Host:Port sent a greeting cut short or of an unknown protocol.
        BadGreeting,
        // Host:Port does not offer TLS, which the connection requires.
        NoTls,
        // Host:Port closed the connection when asked for TLS.
        ClosedBeforeTls,
        // The TLS library could not be set up: Detail is its words.
        TlsUnavailable,
        // The authorities of File could not be read: Detail is the TLS library's words.
        CAFileUnreadable,
        // The TLS handshake with Host:Port failed: Detail is the TLS library's words, empty when the
        // wait for it was ended.
        TlsFailed,
        // Host:Port presented no certificate.
        NoCertificate,
        // The certificate of Host:Port could not be verified: Certificate says why.
        CertificateRefused,
        // The server asked for Login, which hands the password over, over Channel.
        PasswordLogin,
        // The dialog login asked Question, which only a person could answer.
        DialogQuestion,
        // The greeting lacks the 4.1 protocol's data for a safe login.
        OldGreeting,
        // The server asked for the mysql_old_password login.
        OldPasswordLogin,
        // The server asked for Login, which this layer does not know.
        UnknownLogin,
        // The server asked for File, which the running request does not name.
        FileNotNamed,
        // The named File could not be opened: Errno says why.
        FileNotOpened,
        // The file being sent could not be read: Errno says why.
        FileNotRead,
        // A file request failed without a reason known.
        FileNotSent,
    };
    // What makes a peer one that could read a password handed over.
    enum class TChannel { LocalSocket, Plain, Unverified };

    TKind Kind = TKind::FileNotSent;
    // The error code the refusal is reported under (the library's codes).
    std::uint32_t Code = 0;
    std::string Host;
    std::int32_t Port = 0;
    // PasswordLogin, UnknownLogin: the login's name.
    std::string Login;
    // PasswordLogin: caching_sha2_password asked for its full authentication.
    bool FullAuthentication = false;
    TChannel Channel = TChannel::Plain;
    std::string Question;
    std::string File;
    int Errno = 0;
    std::string Detail;
    unsigned Seconds = 0;
    // CertificateRefused (and a time limit that ended a look at a refused certificate): the problem,
    // with the fingerprint the user may trust.
    std::optional<TCertificateProblem> Certificate;
    // The connection went over TCP to "localhost" because it requires TLS, which the local socket
    // cannot carry.
    bool LocalhostOverTcp = false;
};
