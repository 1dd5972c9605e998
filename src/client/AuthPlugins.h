// The client layer's rule for logins: the password itself never reaches a peer that could read it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <mysql.h>

#include "ClientRefusal.h"

namespace AuthPlugins {

// Sets up, once for the process, the logins a connection may take: the library's own native login
// and the ed25519 login (only a proof leaves), and this layer's own versions of the logins that
// hand the password over (caching_sha2_password's full authentication, sha256_password,
// mysql_clear_password, dialog), which do so only under a TConnectScope that allows it. The
// library's mysql_old_password is refused. Call after mysql_library_init.
void Install();

// Options every handle gets before it connects: no login is loaded from anywhere else.
void Restrict(MYSQL* handle);

// The login of one connect on this thread: whether the password may leave (a TLS connection to a
// verified or pinned server), and why a login was refused, if one was.
class TConnectScope {
public:
    explicit TConnectScope(bool passwordMayLeave);
    ~TConnectScope();
    TConnectScope(const TConnectScope&) = delete;
    TConnectScope& operator=(const TConnectScope&) = delete;

    // The refusal of the connect that just failed: what the server asked for, and why the password
    // was not sent; nullopt when no login of this layer refused. handle tells a login that could not
    // be loaded, which the library reports in its own words.
    std::optional<TClientRefusal> Refusal(MYSQL* handle) const;

private:
    friend struct TScopeAccess;
    bool FPasswordMayLeave;
    std::optional<TClientRefusal> FRefusal;
    TConnectScope* FSaved;
};

} // namespace AuthPlugins
