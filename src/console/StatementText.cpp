#include "StatementText.h"

namespace {

// Where the scan stands between two characters: in plain text, inside a quoted string or identifier
// (the quote character), or inside a block comment.
enum class TScanState : char16_t {
    Text = 0,
    SingleQuoted = u'\'',
    DoubleQuoted = u'"',
    BackQuoted = u'`',
    BlockComment = u'*',
};

bool IsQuoted(TScanState state)
{
    return state == TScanState::SingleQuoted || state == TScanState::DoubleQuoted
        || state == TScanState::BackQuoted;
}

bool IsControl(QChar c)
{
    return c.unicode() <= 32;
}

// The state at the end of a line that begins in `state`. The line break that follows the line
// belongs to the text it ends in: it closes a "-- " or "#" comment, and is part of a quoted text.
TScanState ScanLine(QStringView line, TScanState state)
{
    const qsizetype length = line.size();
    const auto at = [&](qsizetype i) { return i < length ? line[i] : QChar(); };
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = line[i];
        switch (state) {
        case TScanState::Text:
            if (c == u'\'' || c == u'"' || c == u'`')
                state = static_cast<TScanState>(c.unicode());
            else if (c == u'#')
                return state;
            else if (c == u'-' && at(i + 1) == u'-' && (i + 2 == length || IsControl(line[i + 2])))
                return state;
            else if (c == u'/' && at(i + 1) == u'*') {
                state = TScanState::BlockComment;
                ++i;
            }
            break;
        case TScanState::SingleQuoted:
        case TScanState::DoubleQuoted:
            if (c == u'\\') {
                ++i; // the escaped character, or the line break after a backslash at the end
            } else if (c.unicode() == static_cast<char16_t>(state)) {
                if (at(i + 1) == c)
                    ++i;
                else
                    state = TScanState::Text;
            }
            break;
        case TScanState::BackQuoted:
            if (c == u'`') {
                if (at(i + 1) == c)
                    ++i;
                else
                    state = TScanState::Text;
            }
            break;
        case TScanState::BlockComment:
            if (c == u'*' && at(i + 1) == u'/') {
                state = TScanState::Text;
                ++i;
            }
            break;
        }
    }
    return state;
}

} // namespace

QString BuildStatement(const QStringList& lines)
{
    QString statement;
    TScanState state = TScanState::Text;
    for (const QString& line : lines) {
        const bool quotedAtStart = IsQuoted(state);
        state = ScanLine(line, state);
        const bool quotedAtEnd = IsQuoted(state);

        qsizetype begin = 0;
        qsizetype end = line.size();
        if (!quotedAtStart) {
            while (begin < end && IsControl(line[begin]))
                ++begin;
        }
        if (!quotedAtEnd) {
            while (end > begin && IsControl(line[end - 1]))
                --end;
        }
        const QStringView kept = QStringView(line).sliced(begin, end - begin);
        // Comment lines stay in the pane and in the history, but are not sent.
        if (!quotedAtStart && kept.startsWith(u"-- "))
            continue;
        if (!statement.isEmpty())
            statement += QLatin1Char('\n');
        statement += kept;
    }
    return statement;
}
