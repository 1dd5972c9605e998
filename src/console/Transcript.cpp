#include "Transcript.h"

#include <algorithm>
#include <cstring>

#include "ClientStrings.h"
#include "Editor.h"
#include "MappedBlock.h"
#include "MySQLPackedResult.h"
#include "Utf8.h"

namespace Transcript {

namespace {

const QString kCommentPrefix = QStringLiteral("-- ");

// Replaces every occurrence in one pass from left to right; replaced text is not looked at again.
QString ReplaceAll(const QString& text, const QString& from, const QString& to)
{
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (true) {
        const qsizetype hit = text.indexOf(from, pos);
        if (hit < 0)
            break;
        out += QStringView(text).mid(pos, hit - pos);
        out += to;
        pos = hit + from.size();
    }
    out += QStringView(text).mid(pos);
    return out;
}

// Room from this size on is brought in at once.
constexpr std::size_t kPrefaultBytes = std::size_t(1) << 20;
// Rows up to this long may take the way of plain rows.
constexpr std::size_t kPlainRowBytes = std::size_t(64) << 10;

// Copies between one and two words as two words that may overlap in the middle.
template <class TWord>
void CopyTwoWords(char* to, const char* from, std::size_t size)
{
    TWord head, tail;
    std::memcpy(&head, from, sizeof head);
    std::memcpy(&tail, from + size - sizeof tail, sizeof tail);
    std::memcpy(to, &head, sizeof head);
    std::memcpy(to + size - sizeof tail, &tail, sizeof tail);
}

// Copies a value into a row. Most are a few bytes, copied here without a call to the library.
void CopyValue(char* to, std::string_view value)
{
    const std::size_t size = value.size();
    if (size >= 16)
        std::memcpy(to, value.data(), size);
    else if (size >= 8)
        CopyTwoWords<std::uint64_t>(to, value.data(), size);
    else if (size >= 4)
        CopyTwoWords<std::uint32_t>(to, value.data(), size);
    else
        std::copy(value.begin(), value.end(), to);
}

// The bytes of a column name that make its first 255 characters; a pair of surrogates is never cut.
std::size_t NameCut(std::string_view name)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < name.size()) {
        std::size_t next = pos;
        units += NextCodePoint(name, next) >= 0x10000 ? 2 : 1;
        if (units > 255)
            break;
        pos = next;
    }
    return pos;
}

// Makes room for bytes more at the end of a line being written. Room for a huge value's line is
// brought in by one call rather than by a fault per page, which costs several times more on a
// virtual machine.
void MakeRoom(std::string& line, std::size_t bytes)
{
    if (line.capacity() - line.size() >= bytes)
        return;
    line.reserve(line.size() + bytes);
    if (bytes >= kPrefaultBytes)
        TMappedBlock::Prefault(line.data() + line.size(), line.capacity() - line.size());
}

} // namespace

QStringView TrimControls(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsControl(text[begin]))
        ++begin;
    while (end > begin && IsControl(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QString TrimControls(const QString& text)
{
    const QStringView trimmed = TrimControls(QStringView(text));
    return trimmed.size() == text.size() ? text : trimmed.toString();
}

QStringList EchoLines(const QString& sql)
{
    QStringList lines;
    // Trimming takes the CR of a CR LF.
    for (const QString& line : sql.split(QLatin1Char('\n'))) {
        const QString trimmed = TrimControls(line);
        if (trimmed.isEmpty())
            continue;
        lines << (lines.isEmpty() ? QStringLiteral("mysql> ") : QStringLiteral("     > ")) + trimmed;
    }
    return lines;
}

QStringList ErrorLines(const QString& errorText)
{
    // Each line of the text is tidied and wrapped on its own, so that no piece carries a line break
    // into the transcript: every line there keeps its "-- ".
    QStringList lines;
    for (QString message : SplitAtLineBreaks(errorText)) {
        message = ReplaceAll(message, QStringLiteral("  "), QStringLiteral(" "));
        message = ReplaceAll(message, QStringLiteral("( "), QStringLiteral("("));
        message = ReplaceAll(message, QStringLiteral(" )"), QStringLiteral(")"));
        message = ReplaceAll(message, QStringLiteral(" ,"), QStringLiteral(","));
        message = ReplaceAll(message, QStringLiteral(" ."), QStringLiteral("."));
        do {
            message += QLatin1Char(' ');
            QString piece;
            if (message.size() < 60) {
                piece = message;
                message.clear();
            } else {
                // The first blank at position 60 or later, counting from 1; the one just appended
                // guarantees there is one.
                const qsizetype blank = message.indexOf(QLatin1Char(' '), 59);
                piece = message.left(blank);
                message = TrimControls(message.mid(blank + 1));
            }
            lines << kCommentPrefix + piece;
        } while (!message.isEmpty());
    }
    return lines;
}

bool IsUseStatement(const QString& sql)
{
    const QString trimmed = TrimControls(sql);
    if (trimmed.size() < 4)
        return false;
    const auto lower = [](QChar c) {
        return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? QChar(c.unicode() + 32) : c;
    };
    return lower(trimmed[0]) == QLatin1Char('u') && lower(trimmed[1]) == QLatin1Char('s')
        && lower(trimmed[2]) == QLatin1Char('e') && trimmed[3] == QLatin1Char(' ');
}

QString DatabaseSelectedLine()
{
    return QStringLiteral("-- Database selected");
}

QString EmptySetLine()
{
    return QStringLiteral("-- Empty set.");
}

QString AffectedRowsLine(std::int64_t rows)
{
    return QStringLiteral("-- Query Ok. %1 rows affected.").arg(rows);
}

std::size_t AppendEscaped(std::string& out, std::string_view value)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < value.size()) {
        // Runs of printable ASCII, most of what a result holds, go over as they are.
        const std::size_t plain = PrintableAsciiRun(value, pos);
        out.append(value.data() + pos, plain);
        units += plain;
        pos += plain;
        if (pos == value.size())
            break;
        const auto c = static_cast<unsigned char>(value[pos]);
        if (c >= 0x80) {
            const std::size_t start = pos;
            const char32_t cp = NextCodePoint(value, pos);
            // A replaced sequence is written as U+FFFD; a well-formed one as it came.
            if (cp == kReplacementCharacter)
                out.append(kReplacementUtf8);
            else
                out.append(value.data() + start, pos - start);
            units += cp >= 0x10000 ? 2 : 1;
            continue;
        }
        ++pos;
        switch (c) {
        case '\r':
            // CR LF is one line break, shown once.
            if (pos < value.size() && value[pos] == '\n')
                ++pos;
            [[fallthrough]];
        case '\n':
            out.append("\\n");
            units += 2;
            break;
        case '\t':
            out.append("\\t");
            units += 2;
            break;
        case 0:
            out.append("\\0");
            units += 2;
            break;
        default:
            out.push_back(static_cast<char>(c));
            units += 1;
        }
    }
    return units;
}

TTableLines::TTableLines(TMySQLPackedResult& result)
    : FResult(result), FRowCount(result.RowCount())
{
    const std::int32_t columns = result.FieldCount();
    FWidths.resize(static_cast<std::size_t>(columns));
    FLineBytes = 4;
    for (std::int32_t i = 0; i < columns; ++i) {
        // A name is measured whole and raw, and shown cut and escaped, as values are.
        const std::string& name = result.FieldName(i);
        const auto width = std::max(result.ColumnWidth(i), static_cast<std::int32_t>(Utf16Length(name)));
        FWidths[static_cast<std::size_t>(i)] = width;
        FLineBytes += static_cast<std::size_t>(width) + 3;
    }
}


bool TTableLines::AppendPlainRow(std::string& out) const
{
    // Most rows are short and printable ASCII: such a row is exactly as long as a border, its blanks
    // laid down at once and its values copied over them.
    if (FLineBytes > kPlainRowBytes || !FResult.TakenRowPrintable())
        return false;
    const std::size_t start = out.size();
    out.resize(start + FLineBytes, ' ');
    char* line = out.data() + start;
    std::memcpy(line, "-- |", 4);
    std::size_t cell = 4;
    for (std::size_t i = 0; i < FValues.size(); ++i) {
        CopyValue(line + cell + 1, FValues[i]);
        cell += static_cast<std::size_t>(FWidths[i]) + 3;
        line[cell - 1] = '|';
    }
    return true;
}

bool TTableLines::Next(std::string& out, std::size_t room)
{
    FWroteRow = false;
    if (!FInLine) {
        if (FStep == kDone)
            return false;
        // A border, the header and a row of ASCII take FLineBytes; others grow the line as they go.
        if (FStep != kCount)
            MakeRoom(out, std::min(FLineBytes, room));
        if (FStep == kRows) {
            if (!FResult.TakeRow(FValues)) {
                FStep = kBottomBorder;
            } else if (AppendPlainRow(out)) {
                FWroteRow = true;
                return true;
            }
        }
        if (FStep == kCount) {
            out.append("-- ");
            out.append(std::to_string(FRowCount));
            out.append(" rows");
            ++FStep;
            return true;
        }
        out.append(FStep == kHeader || FStep == kRows ? "-- |" : "-- +");
        FInLine = true;
        FColumn = 0;
        FCellPhase = kCellStart;
    }
    // A byte at least, so that every call gets on with the line.
    room = std::max<std::size_t>(room, 1);
    const std::size_t limit = room > SIZE_MAX - out.size() ? SIZE_MAX : out.size() + room;
    if (!WriteCells(out, limit))
        return true;
    FInLine = false;
    if (FStep == kRows)
        FWroteRow = true;
    else
        ++FStep;
    return true;
}

bool TTableLines::WriteCells(std::string& out, std::size_t limit)
{
    // A text cell is one blank, the text, blanks up to width + 2 characters in all, and "|"; a
    // border's is width + 2 dashes and "+".
    const bool text = FStep == kHeader || FStep == kRows;
    for (; FColumn < FWidths.size(); ++FColumn) {
        const auto width = static_cast<std::size_t>(FWidths[FColumn]);
        if (FCellPhase == kCellStart) {
            if (text)
                out.push_back(' ');
            FCellPhase = text ? kCellText : kCellFill;
            FCellAt = 0;
            FCellUnits = 0;
        }
        if (FCellPhase == kCellText) {
            const std::string_view value = FStep == kRows
                ? FValues[FColumn]
                : std::string_view(FResult.FieldName(static_cast<std::int32_t>(FColumn)));
            const std::size_t size = FStep == kRows ? value.size() : NameCut(value);
            while (FCellAt < size) {
                if (out.size() >= limit)
                    return false;
                const std::size_t end = EscapedPartEnd(value.substr(0, size), FCellAt, limit - out.size());
                FCellUnits += AppendEscaped(out, value.substr(FCellAt, end - FCellAt));
                FCellAt = end;
            }
            FCellPhase = kCellFill;
            FCellAt = 0;
        }
        const std::size_t fill = !text ? width + 2 : FCellUnits <= width ? width - FCellUnits + 1 : 0;
        while (FCellAt < fill) {
            if (out.size() >= limit)
                return false;
            const std::size_t blanks = std::min(fill - FCellAt, limit - out.size());
            out.append(blanks, text ? ' ' : '-');
            FCellAt += blanks;
        }
        out.push_back(text ? '|' : '+');
        FCellPhase = kCellStart;
    }
    return true;
}

std::size_t EscapedPartEnd(std::string_view value, std::size_t from, std::size_t bytes)
{
    const std::size_t size = value.size();
    if (bytes >= size - std::min(from, size))
        return size;
    const auto continuation = [&](std::size_t at) { return (static_cast<unsigned char>(value[at]) & 0xC0) == 0x80; };
    // A cut is safe before a byte that no sequence takes as its trail: one that is no continuation
    // byte, or one after three continuation bytes (a sequence has at most three). An LF after a CR
    // stays with it.
    const auto safe = [&](std::size_t at) {
        if (at >= size)
            return true;
        if (value[at] == '\n' && value[at - 1] == '\r')
            return false;
        return !continuation(at) || (at >= 3 && continuation(at - 1) && continuation(at - 2) && continuation(at - 3));
    };
    const std::size_t wanted = from + std::max<std::size_t>(bytes, 1);
    for (std::size_t at = wanted; at > from && wanted - at < 4; --at)
        if (safe(at))
            return at;
    std::size_t at = wanted + 1;
    while (!safe(at))
        ++at;
    return at;
}

} // namespace Transcript
