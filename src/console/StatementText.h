// The statement that the Run command sends, built from the query pane's lines.
#pragma once

#include <QString>
#include <QStringList>

// The lines of the query pane as one statement, joined with LF. A line is trimmed (characters with
// codes 0 to 32 removed) only at an end that lies outside a quoted string or quoted identifier, and
// a line that begins outside one is left out when, trimmed, it begins with "-- " (a comment line);
// so a literal or a name that spans lines reaches the server exactly as typed. Quoting follows the
// server: '…' and "…" with doubled quotes and backslash escapes, `…` with doubled backquotes; quotes
// inside "-- ", "#" and block comments open nothing. Empty lines before the first kept line leave
// nothing. An empty result means there is nothing to run.
QString BuildStatement(const QStringList& lines);
