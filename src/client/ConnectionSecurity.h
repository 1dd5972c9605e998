// What a connection asks of its encryption, and what was found wrong with a server's certificate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a connection uses TLS.
enum class TTlsMode : std::int32_t {
    // TLS when the server offers it, plain otherwise (and through a local socket as the library
    // chooses).
    WhenOffered = 0,
    // TLS or no connection: nothing is sent before the server has agreed to it.
    Required = 1,
    // TLS with a server whose certificate chains to a trusted authority (a CA file, or the
    // system's store) and names the host, or whose certificate the user chose to trust.
    Verified = 2,
};

// How a connection's server was found to be the one meant.
enum class TServerVerification : std::int32_t {
    // Not checked: the modes that take any certificate, and a plain connection.
    None = 0,
    // The certificate chains to a trusted authority and names the host.
    Authority = 1,
    // The certificate is the one whose fingerprint the user chose to trust.
    TrustedFingerprint = 2,
};

// Why a server's certificate could not be verified, with what the user needs to decide whether to
// trust it anyway.
struct TCertificateProblem {
    enum class TReason { UnknownAuthority, WrongName, Expired, NotYetValid, Other };

    TReason Reason = TReason::Other;
    // Every problem found, each once, in the order found; Reason is the first of them.
    std::vector<TReason> Reasons;
    // The certificate's SHA-256 fingerprint: upper-case hex byte pairs joined by colons.
    std::string Fingerprint;
    // The fingerprint the user had trusted for this server, which this certificate's is not; empty
    // when none was.
    std::string Pinned;
    // For Other: the TLS library's own words.
    std::string Detail;
};

// Fingerprints compare by their hex digits alone: case, colons and blanks do not matter.
std::string NormalizeFingerprint(const std::string& fingerprint);
