// The client layer's own look at a server before the login: does it offer TLS, and which certificate
// does it present. The library's connection then pins exactly that certificate, so that nothing is
// sent to a server that this look did not accept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ClientRefusal.h"
#include "ConnectionSecurity.h"

struct TServerProbe {
    bool Accepted = false;
    // With Accepted: the SHA-1 fingerprint of the certificate, in the form the library pins.
    std::string LibraryPin;
    // With Accepted: how the server was verified.
    TServerVerification Verification = TServerVerification::None;
    // Without Accepted: why. Refusal where this layer refused (a certificate refused in the verified
    // mode carries its problem, which the user may trust); otherwise the server refused at once, in
    // its own words.
    std::optional<TClientRefusal> Refusal;
    std::uint32_t ErrorCode = 0;
    std::string ErrorText;
};

// Connects to host:port over TCP, reads the greeting, asks for TLS, completes the TLS handshake and
// checks the certificate as mode asks: Required takes any certificate; Verified one that chains to an
// authority of caFile (empty: the system's store) and names host, or whose SHA-256 fingerprint is
// pinned. Sends nothing but the request for TLS. Waits through ClientWaits, so an interrupt or the
// connect's deadline ends it.
TServerProbe ProbeServer(const std::string& host, std::int32_t port, TTlsMode mode,
                         const std::string& caFile, const std::string& pinned);
