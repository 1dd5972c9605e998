// LOAD DATA LOCAL INFILE: the handler that hands a server only the files the request names.
#pragma once

#include <string>
#include <vector>

#include <mysql.h>

namespace LocalInfile {

// The error code of a refused file request (the code MySQL clients give such a refusal).
constexpr unsigned RefusedCode = 2068;

// Installs on handle a file handler that opens a requested file only while *allowed (owned by the
// caller, alive as long as the handle) lists exactly that name; any other request is refused with
// RefusedCode and a text that says so, and not a byte of the file is sent.
void Install(MYSQL* handle, const std::vector<std::string>* allowed);

} // namespace LocalInfile
