#include "LineList.h"

namespace {

bool NeedsQuotes(const QString& line)
{
    for (const QChar ch : line) {
        const char16_t unit = ch.unicode();
        if (unit <= 32 || unit == u'"' || unit == u',')
            return true;
    }
    return false;
}

bool IsSkippedBlank(char16_t unit)
{
    return unit >= 1 && unit <= 32;
}

} // namespace

QString FormatLineList(const QStringList& lines)
{
    if (lines.size() == 1 && lines.front().isEmpty())
        return QStringLiteral("\"\"");
    // A pasted script of megabytes becomes one history entry: the text is copied in runs between
    // its double quotes, into room made once.
    qsizetype size = lines.size();
    for (const QString& line : lines)
        size += line.size() + 2;
    QString result;
    result.reserve(size);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            result += u',';
        const QString& line = lines[i];
        if (!NeedsQuotes(line)) {
            result += line;
            continue;
        }
        result += u'"';
        for (qsizetype from = 0; from < line.size();) {
            const qsizetype quote = line.indexOf(u'"', from);
            const qsizetype end = quote < 0 ? line.size() : quote + 1;
            result += QStringView(line).sliced(from, end - from);
            if (quote >= 0)
                result += u'"';
            from = end;
        }
        result += u'"';
    }
    return result;
}

QStringList ParseLineList(const QString& text)
{
    QStringList lines;
    const qsizetype size = text.size();
    const auto at = [&](qsizetype i) { return text[i].unicode(); };
    qsizetype pos = 0;
    while (pos < size && IsSkippedBlank(at(pos)))
        ++pos;
    while (pos < size) {
        QString item;
        if (at(pos) == u'"') {
            ++pos;
            while (pos < size) {
                if (at(pos) == u'"') {
                    if (pos + 1 < size && at(pos + 1) == u'"') {
                        item += u'"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                item += text[pos++];
            }
        } else {
            const qsizetype start = pos;
            while (pos < size && at(pos) > 32 && at(pos) != u',')
                ++pos;
            item = text.mid(start, pos - start);
        }
        lines.append(item);
        // A zero character would otherwise stop the reader for good: it ends no item and is no blank.
        while (pos < size && (IsSkippedBlank(at(pos)) || at(pos) == 0))
            ++pos;
        if (pos < size && at(pos) == u',') {
            if (pos + 1 == size)
                lines.append(QString());
            ++pos;
            while (pos < size && IsSkippedBlank(at(pos)))
                ++pos;
        }
    }
    return lines;
}
