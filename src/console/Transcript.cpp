#include "Transcript.h"

#include <algorithm>

#include "ClientStrings.h"
#include "Editor.h"
#include "MySQLClasses.h"

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

QString EscapeValue(const std::string& value)
{
    QString out;
    AppendEscaped(out, value);
    return out;
}

void AppendEscaped(QString& out, const std::string& value)
{
    // Most values are printable ASCII and need neither decoding nor escapes.
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        out.append(QLatin1StringView(value.data(), static_cast<qsizetype>(value.size())));
        return;
    }
    AppendEscapedText(out, FromClientString(value));
}

void AppendEscapedText(QString& out, QStringView text)
{
    out.reserve(out.size() + text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case '\r':
            // CR LF is one line break, shown once.
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            out += QStringLiteral("\\n");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case 0:
            out += QStringLiteral("\\0");
            break;
        default:
            out += c;
        }
    }
}

void TableLines(IMySQLQueryResult& result, const std::function<void(const QString&)>& appendLine,
                const std::function<void(const QString&)>& appendRow)
{
    const std::int32_t rows = result.GetRowCount();
    const std::int32_t columns = result.GetFieldCount();

    std::vector<std::int32_t> widths(static_cast<std::size_t>(columns));
    std::vector<QString> names(static_cast<std::size_t>(columns));
    for (std::int32_t i = 0; i < columns; ++i) {
        // A name is measured raw and shown escaped, as values are.
        const QString name = FromClientString(result.GetFieldName(i));
        widths[i] = std::max(result.GetColumnWidth(i), static_cast<std::int32_t>(name.size()));
        AppendEscapedText(names[i], QStringView(name).left(255));
    }

    // A cell: one blank, the text, blanks up to width + 2 characters in all, and "|".
    const auto fill = [](QString& line, qsizetype start, std::int32_t width) {
        const qsizetype filled = start + width + 2;
        if (line.size() < filled)
            line.resize(filled, QLatin1Char(' '));
        line += QLatin1Char('|');
    };
    const auto cell = [&](QString& line, const QString& text, std::int32_t width) {
        const qsizetype start = line.size();
        line += QLatin1Char(' ');
        line += text;
        fill(line, start, width);
    };

    QString border = QStringLiteral("-- +");
    for (std::int32_t i = 0; i < columns; ++i)
        border += QString(widths[i] + 2, QLatin1Char('-')) + QLatin1Char('+');
    appendLine(border);

    QString header = QStringLiteral("-- |");
    for (std::int32_t i = 0; i < columns; ++i)
        cell(header, names[i], widths[i]);
    appendLine(header);
    appendLine(border);

    for (std::int32_t r = 0; r < rows; ++r) {
        const auto row = result.FetchRow();
        if (!row)
            break;
        QString line;
        line.reserve(border.size());
        line += QLatin1StringView("-- |");
        for (std::int32_t i = 0; i < columns; ++i) {
            // Values are escaped straight into the line.
            const qsizetype start = line.size();
            line += QLatin1Char(' ');
            AppendEscaped(line, row->GetValue(i));
            fill(line, start, widths[i]);
        }
        (appendRow ? appendRow : appendLine)(line);
    }

    appendLine(border);
    appendLine(QStringLiteral("-- %1 rows").arg(rows));
}

} // namespace Transcript
