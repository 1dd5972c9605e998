// What the client layer reports as typed values (how a server was verified), in the user's words.
#pragma once

#include <string>

#include "MySQLClasses.h"

// The status bar's text for a connection: "без шифрования", or the protocol and cipher followed by
// how the server was verified ("TLS 1.3, TLS_AES_256_GCM_SHA384, сервер не проверен").
std::string SecurityText(const TMySQLConnection& connection);
// How a server was verified, as the status bar says it.
std::string VerificationText(TServerVerification verification);
