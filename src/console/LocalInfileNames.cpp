#include "LocalInfileNames.h"

#include <algorithm>

#include "ClientStrings.h"
#include "HLParser.h"

namespace {

// The text of a quoted string as the server reads it: a doubled quote stands for one, and with
// escapes a backslash escapes the next character.
QString Unquoted(QStringView written, bool escapes)
{
    const QChar quote = written.front();
    QString text;
    for (qsizetype i = 1; i < written.size(); ++i) {
        const QChar c = written[i];
        if (escapes && c == u'\\' && i + 1 < written.size()) {
            const QChar next = written[++i];
            switch (next.unicode()) {
            case u'0': text += QChar(u'\0'); break;
            case u'b': text += u'\b'; break;
            case u'n': text += u'\n'; break;
            case u'r': text += u'\r'; break;
            case u't': text += u'\t'; break;
            case u'Z': text += QChar(0x1A); break;
            // The server keeps these two escaped: they are LIKE's wildcards.
            case u'%':
            case u'_': text += u'\\'; text += next; break;
            default: text += next; break;
            }
        } else if (c == quote && i + 1 < written.size() && written[i + 1] == quote) {
            text += quote;
            ++i;
        } else if (c == quote) {
            break;
        } else {
            text += c;
        }
    }
    return text;
}

} // namespace

std::vector<std::string> LocalInfileNames(QStringView sql)
{
    std::vector<std::string> names;
    if (!sql.contains(u"infile", Qt::CaseInsensitive))
        return names;
    // Where the words stand: 0 nothing yet, 1 after LOAD, 2 after DATA or XML (or a priority word),
    // 3 after LOCAL, 4 after INFILE.
    int step = 0;
    QString written; // the file name's string as written, over lines when it spans them
    const auto addName = [&] {
        const std::string escaped = ToClientString(Unquoted(written, true));
        const std::string raw = ToClientString(Unquoted(written, false));
        names.push_back(escaped);
        if (raw != escaped)
            names.push_back(raw);
        written.clear();
        step = 0;
    };
    ScanServerText(sql, [&](QStringView text, const TServerToken& token, TServerScanState after) {
        if (!written.isEmpty()) {
            // The rest of a name that runs over lines.
            written += u'\n';
            written += text;
            if (after == TServerScanState::Text)
                addName();
            return true;
        }
        if (IsServerGap(token.Kind))
            return true;
        switch (token.Kind) {
        case TServerTokenKind::Word:
            if (step == 1 && (SameWord(text, "DATA") || SameWord(text, "XML")))
                step = 2;
            else if (step == 2 && (SameWord(text, "LOW_PRIORITY") || SameWord(text, "CONCURRENT")))
                step = 2;
            else if (step == 2 && SameWord(text, "LOCAL"))
                step = 3;
            else if (step == 3 && SameWord(text, "INFILE"))
                step = 4;
            else
                step = SameWord(text, "LOAD") ? 1 : 0;
            return true;
        case TServerTokenKind::String:
            if (step == 4) {
                written = text.toString();
                if (after == TServerScanState::Text)
                    addName();
                return true;
            }
            break;
        default:
            break;
        }
        step = 0;
        return true;
    });
    // A name left open at the end: the server reads it to the end too.
    if (!written.isEmpty())
        addName();
    return names;
}
