// What the client layer reports as typed values (how a server was verified, what it refused), in the
// user's words.
#pragma once

#include <string>

#include "MySQLClasses.h"

// The status bar's text for a connection: "без шифрования", or the protocol and cipher followed by
// how the server was verified ("TLS 1.3, TLS_AES_256_GCM_SHA384, сервер не проверен").
std::string SecurityText(const TMySQLConnection& connection);
// How a server was verified, as the status bar says it.
std::string VerificationText(TServerVerification verification);
// How the connection is encrypted: the protocol and cipher, or "без шифрования".
std::string EncryptionWords(const TMySQLConnection& connection);

// A refusal of the client layer as the user reads it, whole: what happened and what was not done.
std::string RefusalText(const TClientRefusal& refusal);
// The text of an error for the user: the refusal worded where the client layer refused, the server's
// or the library's own words otherwise.
std::string ErrorWords(const TMySQLConnection& connection);
std::string ErrorWords(const TMySQLCustomDataSet& dataSet);
std::string ErrorWords(const TMySQLOutcome& outcome);
