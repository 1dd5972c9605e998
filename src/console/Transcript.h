// The transcript's line formats: echoed statements and their outcomes. Every outcome line starts
// with "-- " so that the transcript's SQL highlighter paints it as a comment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <QString>
#include <QStringList>
#include <QStringView>

class TMySQLPackedResult;

namespace Transcript {

// A character the console trims and splits words at: codes 0 to 32.
inline bool IsControl(QChar c)
{
    return c.unicode() <= 32;
}
// Removes leading and trailing characters with codes 0 to 32.
QStringView TrimControls(QStringView text);
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

// A result set's rows as a table, one line at a time, in UTF-8: border, header, border, the rows,
// border, and the row count. Columns are as wide as their widest value or name in characters (UTF-16
// units, as the panes count them); a name is shown cut to its first 255 characters. Escapes in cells
// (\n, \t, \0) widen only their own cells, and bytes that are not UTF-8 show as U+FFFD. Each row is
// taken from the result as its line is written, so the result's storage goes as the table is made.
// A line longer than the room it is given (a huge value, and the borders and header beside it) is
// written in parts, so that it is never held whole on its way to the transcript.
class TTableLines {
public:
    explicit TTableLines(TMySQLPackedResult& result);
    TTableLines(const TTableLines&) = delete;
    TTableLines& operator=(const TTableLines&) = delete;

    // How many lines the table has.
    std::int64_t LineCount() const { return FRowCount + 5; }
    // Appends the next line to out (without a line break), or, when it goes past about room bytes,
    // as much of it as fits (at least a little), the rest coming at the next calls; false, leaving
    // out as it was, after the last line.
    bool Next(std::string& out, std::size_t room = SIZE_MAX);
    // Whether the line written last is complete; false when the next call goes on with it.
    bool LineEnded() const { return !FInLine; }
    // Whether the line completed last was one of the rows.
    bool WroteRow() const { return FWroteRow; }

private:
    // Appends the row taken last when it is short and all printable ASCII; false otherwise.
    bool AppendPlainRow(std::string& out) const;
    // Writes the cells of the line begun, from where the last call stopped, until the line is
    // complete (true) or out has reached limit (false).
    bool WriteCells(std::string& out, std::size_t limit);

    enum TStep { kTopBorder, kHeader, kHeaderBorder, kRows, kBottomBorder, kCount, kDone };
    // How far into its cell a line in parts has come: the blank before the text, the text, then
    // the blanks after it (or a border's dashes) and the closing character.
    enum TCellPhase { kCellStart, kCellText, kCellFill };

    TMySQLPackedResult& FResult;
    std::int64_t FRowCount;
    std::vector<std::int32_t> FWidths;
    std::size_t FLineBytes = 0; // the bytes of a border
    std::vector<std::string_view> FValues;
    int FStep = kTopBorder;
    bool FWroteRow = false;
    // The line begun and not yet complete: its cell, that cell's phase, the bytes of its text (or
    // the blanks and dashes) written, and the characters its text took.
    bool FInLine = false;
    std::size_t FColumn = 0;
    TCellPhase FCellPhase = kCellStart;
    std::size_t FCellAt = 0;
    std::size_t FCellUnits = 0;
};

// Appends a value to a line as a cell shows it: CR LF, CR and LF as \n, TAB as \t, a zero byte as \0,
// each ill-formed UTF-8 sequence as U+FFFD. Answers how many characters (UTF-16 units) it appended.
std::size_t AppendEscaped(std::string& line, std::string_view value);

// Where a part of a value that begins at `from` and takes about `bytes` ends (always past from,
// unless from is the end): never inside a UTF-8 sequence, a CR LF pair or an ill-formed sequence, so
// that the parts escaped one by one (AppendEscaped) give what the whole value gives.
std::size_t EscapedPartEnd(std::string_view value, std::size_t from, std::size_t bytes);

} // namespace Transcript
