// LOAD DATA LOCAL INFILE: the handler that hands a server only the files the request names.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <mysql.h>

#include "ClientRefusal.h"

namespace LocalInfile {

// The error code of a refused file request (the code MySQL clients give such a refusal).
constexpr unsigned RefusedCode = 2068;

// The file requests of one connection: the files the running request may send, and why the last
// file request failed.
struct TFiles {
    std::vector<std::string> Allowed;
    std::optional<TClientRefusal> Refusal;
};

// Installs on handle a file handler that opens a requested file only while files->Allowed (owned by
// the caller, alive as long as the handle) lists exactly that name; any other request is refused
// with RefusedCode, why goes to files->Refusal, and not a byte of the file is sent.
void Install(MYSQL* handle, TFiles* files);

} // namespace LocalInfile
