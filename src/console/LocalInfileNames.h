// The files a statement hands the server with LOAD DATA LOCAL INFILE, found by the server's reading
// of its text, so that the client layer lets the server read those and no others.
#pragma once

#include <string>
#include <vector>

#include <QStringView>

// The file names of every LOAD DATA ... LOCAL INFILE and LOAD XML ... LOCAL INFILE in sql, as the
// server will ask for them (UTF-8): the string literal after INFILE read by the server's quoting
// rules, in both of its readings where backslash escapes change it (the server may have them
// switched off). Strings, quoted names and comments hide the words; the inside of a /*! ... */
// comment counts, as the server runs it. Allocates nothing for a statement that does not mention
// INFILE.
std::vector<std::string> LocalInfileNames(QStringView sql);
