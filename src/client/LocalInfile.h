// LOAD DATA LOCAL INFILE: the files a statement names, and the handler that hands over only those.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <mysql.h>

namespace LocalInfile {

// The file names of every LOAD DATA ... LOCAL INFILE and LOAD XML ... LOCAL INFILE in sql, as the
// server will ask for them: the string literal after INFILE read by the server's quoting rules, in
// both of its readings where backslash escapes change it (the server may have them switched off).
// Strings, quoted names and comments hide the words; the inside of a /*! ... */ comment counts, as
// the server runs it.
std::vector<std::string> NamedFiles(std::string_view sql);

// The error code of a refused file request (the code MySQL clients give such a refusal).
constexpr unsigned RefusedCode = 2068;

// Installs on handle a file handler that opens a requested file only while *allowed (owned by the
// caller, alive as long as the handle) lists exactly that name; any other request is refused with
// RefusedCode and a text that says so, and not a byte of the file is sent.
void Install(MYSQL* handle, const std::vector<std::string>* allowed);

} // namespace LocalInfile
