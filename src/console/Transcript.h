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
class TTableLines {
public:
    explicit TTableLines(TMySQLPackedResult& result);
    TTableLines(const TTableLines&) = delete;
    TTableLines& operator=(const TTableLines&) = delete;

    // How many lines the table has.
    std::int64_t LineCount() const { return FRowCount + 5; }
    // Appends the next line to out (without a line break); false, leaving out as it was, after the
    // last line.
    bool Next(std::string& out);
    // Whether the line written last was one of the rows.
    bool WroteRow() const { return FWroteRow; }

private:
    static void AppendCell(std::string& line, std::string_view value, std::int32_t width);
    // Appends the row taken last when it is short and all printable ASCII; false otherwise.
    bool AppendPlainRow(std::string& out) const;

    enum TStep { kTopBorder, kHeader, kHeaderBorder, kRows, kBottomBorder, kCount, kDone };

    TMySQLPackedResult& FResult;
    std::int64_t FRowCount;
    std::vector<std::int32_t> FWidths;
    std::size_t FLineBytes = 0; // the bytes of a border
    std::vector<std::string_view> FValues;
    int FStep = kTopBorder;
    bool FWroteRow = false;
};

// Appends a value to a line as a cell shows it: CR LF, CR and LF as \n, TAB as \t, a zero byte as \0,
// each ill-formed UTF-8 sequence as U+FFFD. Answers how many characters (UTF-16 units) it appended.
std::size_t AppendEscaped(std::string& line, std::string_view value);

} // namespace Transcript
