#include "Transcript.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "ClientStrings.h"
#include "Editor.h"
#include "MySQLPackedResult.h"
#include "Utf8.h"

namespace Transcript {

namespace {

const QString kCommentPrefix = QStringLiteral("-- ");

bool IsControl(QChar c)
{
    return c.unicode() <= 32;
}

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

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The length of the run of printable ASCII (0x20 to 0x7E) that starts at from; sixteen bytes are
// tested at a time where the processor can, since a huge value is mostly such a run.
std::size_t PlainRun(std::string_view text, std::size_t from)
{
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t p = from;
#ifdef __SSE2__
    // Compared as signed bytes, everything from 0x80 up is below 0x20.
    const __m128i belowSpace = _mm_set1_epi8(0x1F);
    const __m128i deleteCode = _mm_set1_epi8(0x7F);
    for (; p + 16 <= size; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i plain = _mm_and_si128(_mm_cmpgt_epi8(chunk, belowSpace), _mm_cmplt_epi8(chunk, deleteCode));
        if (const int mask = _mm_movemask_epi8(plain); mask != 0xFFFF)
            return p - from + static_cast<std::size_t>(__builtin_ctz(~static_cast<unsigned>(mask)));
    }
#endif
    for (; p < size; ++p) {
        const auto c = static_cast<unsigned char>(data[p]);
        if (c < 0x20 || c > 0x7E)
            break;
    }
    return p - from;
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

} // namespace

QString TrimControls(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsControl(text[begin]))
        ++begin;
    while (end > begin && IsControl(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
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
        const std::size_t plain = PlainRun(value, pos);
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
                out.append("\xEF\xBF\xBD");
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
    FBorder = "-- +";
    FHeader = "-- |";
    for (std::int32_t i = 0; i < columns; ++i) {
        // A name is measured whole and raw, and shown cut and escaped, as values are.
        const std::string& name = result.FieldName(i);
        const auto width = std::max(result.ColumnWidth(i), static_cast<std::int32_t>(Utf16Length(name)));
        FWidths[static_cast<std::size_t>(i)] = width;
        FBorder.append(static_cast<std::size_t>(width) + 2, '-');
        FBorder.push_back('+');
        AppendCell(FHeader, name.substr(0, NameCut(name)), width);
    }
}

void TTableLines::AppendCell(std::string& line, std::string_view value, std::int32_t width)
{
    // One blank, the text, blanks up to width + 2 characters in all, and "|".
    line.push_back(' ');
    const std::size_t units = AppendEscaped(line, value);
    if (units <= static_cast<std::size_t>(width))
        line.append(static_cast<std::size_t>(width) - units + 1, ' ');
    line.push_back('|');
}

bool TTableLines::Next(std::string& out)
{
    FWroteRow = false;
    switch (FStep) {
    case kTopBorder:
    case kHeaderBorder:
        out.append(FBorder);
        ++FStep;
        return true;
    case kHeader:
        out.append(FHeader);
        ++FStep;
        return true;
    case kRows:
        if (FResult.TakeRow(FValues)) {
            out.append("-- |");
            for (std::size_t i = 0; i < FValues.size(); ++i)
                AppendCell(out, FValues[i], FWidths[i]);
            FWroteRow = true;
            return true;
        }
        out.append(FBorder);
        FStep = kCount;
        return true;
    case kCount:
        out.append("-- ");
        out.append(std::to_string(FRowCount));
        out.append(" rows");
        FStep = kDone;
        return true;
    default:
        return false;
    }
}

} // namespace Transcript
