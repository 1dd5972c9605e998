// The transcript's line formats: echoed statements and their outcomes. Every outcome line starts
// with "-- " so that the transcript's SQL highlighter paints it as a comment.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>
#include <QStringList>
#include <QStringView>

class IMySQLQueryResult;

namespace Transcript {

// Removes leading and trailing characters with codes 0 to 32.
QString TrimControls(const QString& text);

// The echo of a statement whose lines are separated by LF (or CR LF): each non-empty trimmed line
// behind "mysql> " (the first) or "     > " (the others).
QStringList EchoLines(const QString& sql);

// The server's error text cut at its line breaks (CR LF, LF, CR), each line tidied and wrapped into
// pieces of at least 59 characters that end where a word ends, each behind "-- ". The last piece of
// a line keeps the blank that wrapping appended to it.
QStringList ErrorLines(const QString& errorText);

// True when the trimmed statement begins with "use " (letters of any case, one blank).
bool IsUseStatement(const QString& sql);

QString DatabaseSelectedLine();
QString EmptySetLine();
QString AffectedRowsLine(std::int64_t rows);

// Draws a stored result set with rows as a table (border, header, border, rows, border, count),
// handing each line to appendLine as soon as it is built, the rows to appendRow where one is given.
// Columns are as wide as their widest value or name in characters; escapes in cells (\n, \t, \0)
// widen only their own cells.
void TableLines(IMySQLQueryResult& result, const std::function<void(const QString&)>& appendLine,
                const std::function<void(const QString&)>& appendRow = {});

// The text of a value as the transcript shows it in a cell: CR LF, CR and LF as \n, TAB as \t, a
// zero byte as \0; bytes that are not UTF-8 as U+FFFD.
QString EscapeValue(const std::string& value);
// Appends a value escaped that way to a line.
void AppendEscaped(QString& line, const std::string& value);
// The same for text already decoded (a column name).
void AppendEscapedText(QString& line, QStringView text);

} // namespace Transcript
