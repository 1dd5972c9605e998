// The client layer's own look at a server before the login: does it offer TLS, and which certificate
// does it present. The library's connection then pins exactly that certificate, so that nothing is
// sent to a server that this look did not accept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ConnectionSecurity.h"

struct TServerProbe {
    bool Accepted = false;
    // With Accepted: the SHA-1 fingerprint of the certificate, in the form the library pins.
    std::string LibraryPin;
    // With Accepted: how the server was verified.
    TServerVerification Verification = TServerVerification::None;
    // Without Accepted: why, as an error code (the library's codes) and a text for the user.
    std::uint32_t ErrorCode = 0;
    std::string ErrorText;
    // Set when the certificate was refused in the verified mode: the user may trust it.
    std::optional<TCertificateProblem> Problem;
};

// Connects to host:port over TCP, reads the greeting, asks for TLS, completes the TLS handshake and
// checks the certificate as mode asks: Required takes any certificate; Verified one that chains to an
// authority of caFile (empty: the system's store) and names host, or whose SHA-256 fingerprint is
// pinned. Sends nothing but the request for TLS. Waits through ClientWaits, so an interrupt or the
// connect's deadline ends it.
TServerProbe ProbeServer(const std::string& host, std::int32_t port, TTlsMode mode,
                         const std::string& caFile, const std::string& pinned);
