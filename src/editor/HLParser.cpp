// The token scanner and the SQL keyword set and token tests.
#include "HLParser.h"

#include <algorithm>

namespace {

// Sorted by bytes so that the look-up can halve the table; the compile-time checks below keep a
// mistyped or misplaced word from silently turning a keyword into an identifier.
constexpr std::array<std::string_view, 265> SqlKeywordTable = {
    "active", "add", "after", "all", "alter", "and", "any", "as", "asc", "ascending", "at", "auto",
    "autoddl", "avg", "base_name", "based", "basename", "before", "begin", "between", "blob",
    "blobedit", "buffer", "by", "cache", "cast", "char", "char_length", "character",
    "character_length", "check", "check_point_len", "check_point_length", "close", "collate",
    "collation", "column", "commit", "commit_group_wait", "committed", "compiletime", "computed",
    "conditional", "connect", "constraint", "containing", "continue", "count", "create", "cstring",
    "current", "cursor", "database", "date", "db_key", "debug", "dec", "decimal", "declare",
    "default", "delete", "desc", "descending", "describe", "descriptor", "disconnect", "display",
    "distinct", "do", "domain", "double", "drop", "echo", "edit", "else", "end", "entry_point",
    "escape", "event", "exception", "execute", "exists", "exit", "extern", "external", "extract",
    "fetch", "file", "filter", "float", "for", "foreign", "found", "from", "full", "function",
    "gdscode", "gen_id", "generator", "global", "goto", "grant", "group", "group_commit_wait_time",
    "having", "help", "if", "immediate", "in", "inactive", "index", "indicator", "init", "inner",
    "input", "input_type", "insert", "int", "integer", "into", "is", "isolation", "isql", "join",
    "key", "lc_messages", "lc_type", "left", "length", "lev", "level", "like", "log_buf_size",
    "log_buffer_size", "logfile", "long", "manual", "max", "max_segment", "maximum",
    "maximum_segment", "merge", "message", "min", "minimum", "module_name", "names", "national",
    "natural", "nchar", "new", "no", "noauto", "not", "null", "num_log_buffers", "num_log_bufs",
    "numeric", "octet_length", "of", "old", "on", "only", "open", "option", "or", "order", "outer",
    "output", "output_type", "overflow", "page", "page_size", "pagelength", "pages", "parameter",
    "password", "plan", "position", "post_event", "precision", "prepare", "primary", "privileges",
    "procedure", "protected", "public", "quit", "raw_partitions", "rdb", "read", "real",
    "record_version", "references", "release", "replace", "reserv", "reserving", "retain", "return",
    "returning_values", "returns", "revoke", "right", "rollback", "runtime", "schema", "segment",
    "select", "set", "shadow", "shared", "shell", "show", "singular", "size", "smallint", "snapshot",
    "some", "sort", "sql", "sqlcode", "sqlerror", "sqlwarning", "stability", "starting", "starts",
    "statement", "static", "statistics", "sub_type", "sum", "suspend", "table", "term", "terminator",
    "then", "to", "transaction", "translate", "translation", "trigger", "trim", "uncommitted",
    "union", "unique", "update", "upper", "user", "using", "value", "values", "varchar", "variable",
    "varying", "version", "view", "wait", "when", "whenever", "where", "while", "with", "work",
    "write",
};

constexpr std::size_t LongestSqlKeyword = std::ranges::max(
    SqlKeywordTable, {}, [](std::string_view word) { return word.size(); }).size();

static_assert(std::ranges::adjacent_find(SqlKeywordTable, std::ranges::greater_equal{})
                  == SqlKeywordTable.end(),
    "the keyword table must be strictly ascending");
static_assert(std::ranges::all_of(SqlKeywordTable, [](std::string_view word) {
    return !word.empty() && std::ranges::all_of(word, [](char c) { return (c >= 'a' && c <= 'z') || c == '_'; });
}), "keywords are built of a to z and _ only");
static_assert(LongestSqlKeyword == 22);

constexpr char16_t SingleQuote = u'\'';

bool IsAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(char16_t c)
{
    return IsAsciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsIdentifierStart(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool IsIdentifierPart(char16_t c)
{
    return IsIdentifierStart(c) || IsAsciiDigit(c);
}

// A TAB is no blank: it comes back as a token of its own.
bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\n' || c == u'\r';
}

} // namespace

void TIParser::Start(QStringView text, qsizetype from)
{
    FText = text;
    FPosition = std::clamp<qsizetype>(from, 0, text.size());
    FRecentTokens.fill(TRecentToken{});
    FRingIndex = 0;
}

QString TIParser::NextToken()
{
    const qsizetype length = FText.size();
    const bool sql = FScannerStyle == SqlScannerStyle;
    qsizetype at = FPosition;
    for (;;) {
        while (at < length && IsBlank(FText[at].unicode()))
            ++at;
        if (!sql || FKeepComments)
            break;
        const qsizetype end = CommentEnd(at);
        if (end == at)
            break;
        at = end;
    }
    if (at >= length)
        return Record(QString(), length, length);

    const char16_t c = FText[at].unicode();
    qsizetype end = at + 1;
    if (sql) {
        if (const qsizetype commentEnd = CommentEnd(at); commentEnd != at)
            return Record(FText.sliced(at, commentEnd - at).toString(), at, commentEnd);
        if (c == SingleQuote) {
            end = StringEnd(at);
            return Record(StringText(at, end), at, end);
        }
    }
    if (IsIdentifierStart(c)) {
        while (end < length && IsIdentifierPart(FText[end].unicode()))
            ++end;
    } else if (IsAsciiDigit(c)) {
        while (end < length && (IsAsciiDigit(FText[end].unicode()) || FText[end] == u'.'))
            ++end;
    } else if (FText[at].isHighSurrogate() && end < length && FText[end].isLowSurrogate()) {
        // Both halves of a character beyond the 16-bit range make one token: a lone half is no text.
        ++end;
    }
    return Record(FText.sliced(at, end - at).toString(), at, end);
}

QString TIParser::Record(QString text, qsizetype first, qsizetype end)
{
    FPosition = end;
    TRecentToken& slot = FRecentTokens[static_cast<std::size_t>(FRingIndex)];
    slot.Text = text;
    slot.FirstColumn = static_cast<int>(first + 1);
    slot.LastColumn = static_cast<int>(end);
    FRingIndex = (FRingIndex + 1) % RingSize;
    return text;
}

// The end (one past the last character) of an SQL comment that starts at `at`, or `at` itself when
// none starts there. A "--" comment stops before a CR; a block comment closes only at a "*/" whose
// star follows the opening pair, so "/*/" is still open. Unclosed comments run to the end.
qsizetype TIParser::CommentEnd(qsizetype at) const
{
    const qsizetype length = FText.size();
    if (at + 1 >= length)
        return at;
    if (FText[at] == u'-' && FText[at + 1] == u'-') {
        const qsizetype cr = FText.indexOf(u'\r', at + 2);
        return cr < 0 ? length : cr;
    }
    if (FText[at] == u'/' && FText[at + 1] == u'*') {
        const qsizetype close = FText.indexOf(u"*/", at + 2);
        return close < 0 ? length : close + 2;
    }
    return at;
}

// The end of the single-quoted string that opens at `at`: after the first quote that is not doubled,
// or the end of the text when there is none. The backslash escapes nothing.
qsizetype TIParser::StringEnd(qsizetype at) const
{
    const qsizetype length = FText.size();
    qsizetype i = at + 1;
    while (i < length) {
        if (FText[i] != SingleQuote) {
            ++i;
        } else if (i + 1 < length && FText[i + 1] == SingleQuote) {
            i += 2;
        } else {
            return i + 1;
        }
    }
    return length;
}

// Collapses the doubled quotes strictly inside the string; a pair that takes the string's last
// character (an unclosed string ending in "''") stays as written.
QString TIParser::StringText(qsizetype first, qsizetype end) const
{
    const QStringView written = FText.sliced(first, end - first);
    if (written.size() < 4)
        return written.toString();
    const QStringView inner = written.sliced(1, written.size() - 2);
    if (!inner.contains(u"''"))
        return written.toString();
    QString text;
    text.reserve(written.size());
    text.append(written.front());
    for (qsizetype i = 0; i < inner.size(); ++i) {
        text.append(inner[i]);
        if (inner[i] == SingleQuote && i + 1 < inner.size() && inner[i + 1] == SingleQuote)
            ++i;
    }
    text.append(written.back());
    return text;
}

const TIParser::TRecentToken* TIParser::Recent(int back) const
{
    if (back < 0 || back >= RingSize)
        return nullptr;
    return &FRecentTokens[static_cast<std::size_t>((FRingIndex - 1 - back + 2 * RingSize) % RingSize)];
}

const QString& TIParser::TokenText(int back) const
{
    static const QString none;
    const TRecentToken* token = Recent(back);
    return token ? token->Text : none;
}

int TIParser::TokenFirstColumn(int back) const
{
    const TRecentToken* token = Recent(back);
    return token ? token->FirstColumn : 0;
}

int TIParser::TokenLastColumn(int back) const
{
    const TRecentToken* token = Recent(back);
    return token ? token->LastColumn : 0;
}

std::span<const std::string_view> SqlKeywords()
{
    return SqlKeywordTable;
}

bool IsSqlKeyword(QStringView token)
{
    if (token.isEmpty() || static_cast<std::size_t>(token.size()) > LongestSqlKeyword)
        return false;
    std::array<char, LongestSqlKeyword> folded{};
    for (qsizetype i = 0; i < token.size(); ++i) {
        char16_t c = token[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        else if (!IsIdentifierStart(c))
            return false;
        folded[static_cast<std::size_t>(i)] = static_cast<char>(c);
    }
    return std::ranges::binary_search(SqlKeywordTable,
        std::string_view(folded.data(), static_cast<std::size_t>(token.size())));
}

bool IsSqlComment(QStringView token)
{
    return token.startsWith(u"--") || token.startsWith(u"/*");
}

bool IsStringToken(QStringView token)
{
    return !token.isEmpty() && (token.front() == SingleQuote || token.front() == u'"');
}

bool IsSymbolToken(QStringView token)
{
    static constexpr std::u16string_view Symbols = u"#%&'()*+,-./:;<=>@[\\]^{|}~";
    return token.size() == 1 && Symbols.find(token.front().unicode()) != std::u16string_view::npos;
}

bool IsIntegerLiteral(QStringView token)
{
    const bool hex = token.startsWith(u'$');
    if (hex || token.startsWith(u'-'))
        token = token.sliced(1);
    if (token.isEmpty())
        return false;
    const auto isDigit = hex ? IsHexDigit : IsAsciiDigit;
    return std::ranges::all_of(token, [isDigit](QChar c) { return isDigit(c.unicode()); });
}

bool IsDecimalLiteral(QStringView token)
{
    if (token.startsWith(u'-'))
        token = token.sliced(1);
    const auto digits = std::ranges::count_if(token, [](QChar c) { return IsAsciiDigit(c.unicode()); });
    const auto points = std::ranges::count(token, QChar(u'.'));
    return digits > 0 && points <= 1 && digits + points == token.size();
}

// ---------------------------------------------------------------------------------------------
// The server's reading

namespace {

bool IsServerWordPart(char16_t c)
{
    return IsIdentifierPart(c) || c == u'$' || c >= 0x80;
}

bool IsControlOrBlank(char16_t c)
{
    return c <= 32;
}

} // namespace

// The end of a quoted text whose inside starts at `from`: after its closing quote, or the end of the
// line when it runs on (the state then says so). A backslash that ends the line escapes the line
// break, so the text runs on as well.
qsizetype TServerScanner::QuotedEnd(qsizetype from, char16_t quote, bool escapes)
{
    const qsizetype length = FLine.size();
    for (qsizetype i = from; i < length; ++i) {
        const char16_t c = FLine[i].unicode();
        if (c == u'\\' && escapes) {
            ++i;
        } else if (c == quote) {
            if (i + 1 < length && FLine[i + 1] == quote) {
                ++i;
            } else {
                FState = TServerScanState::Text;
                return i + 1;
            }
        }
    }
    switch (quote) {
    case u'\'': FState = TServerScanState::SingleQuoted; break;
    case u'"': FState = TServerScanState::DoubleQuoted; break;
    default: FState = TServerScanState::BackQuoted; break;
    }
    return length;
}

TServerToken TServerScanner::Next()
{
    const qsizetype length = FLine.size();
    const qsizetype at = FPosition;
    TServerToken token{TServerTokenKind::End, at, at};
    if (at >= length)
        return token;
    const auto charAt = [&](qsizetype i) { return i < length ? FLine[i].unicode() : u'\0'; };
    switch (FState) {
    case TServerScanState::SingleQuoted:
        token = {TServerTokenKind::String, at, QuotedEnd(at, u'\'', true)};
        break;
    case TServerScanState::DoubleQuoted:
        token = {TServerTokenKind::String, at, QuotedEnd(at, u'"', true)};
        break;
    case TServerScanState::BackQuoted:
        token = {TServerTokenKind::QuotedName, at, QuotedEnd(at, u'`', false)};
        break;
    case TServerScanState::BlockComment: {
        const qsizetype close = FLine.indexOf(u"*/", at);
        if (close >= 0)
            FState = TServerScanState::Text;
        token = {TServerTokenKind::Comment, at, close < 0 ? length : close + 2};
        break;
    }
    case TServerScanState::Text: {
        const char16_t c = FLine[at].unicode();
        qsizetype end = at + 1;
        if (IsControlOrBlank(c)) {
            while (end < length && IsControlOrBlank(FLine[end].unicode()))
                ++end;
            token = {TServerTokenKind::Blank, at, end};
        } else if (c == u'#' || (c == u'-' && charAt(at + 1) == u'-' && (at + 2 == length || IsControlOrBlank(charAt(at + 2))))) {
            token = {TServerTokenKind::Comment, at, length};
        } else if (c == u'/' && charAt(at + 1) == u'*') {
            const qsizetype bang = charAt(at + 2) == u'!' ? at + 2 : (charAt(at + 2) == u'M' && charAt(at + 3) == u'!') ? at + 3 : -1;
            if (bang >= 0) {
                end = bang + 1;
                while (end < length && IsAsciiDigit(FLine[end].unicode()))
                    ++end;
                FInConditional = true;
                token = {TServerTokenKind::ConditionalStart, at, end};
            } else {
                // "/*/" is still open: the closing star must follow the opening pair.
                const qsizetype close = FLine.indexOf(u"*/", at + 2);
                if (close < 0)
                    FState = TServerScanState::BlockComment;
                token = {TServerTokenKind::Comment, at, close < 0 ? length : close + 2};
            }
        } else if (c == u'*' && charAt(at + 1) == u'/' && FInConditional) {
            FInConditional = false;
            token = {TServerTokenKind::ConditionalEnd, at, at + 2};
        } else if (c == u'\'' || c == u'"') {
            token = {TServerTokenKind::String, at, QuotedEnd(at + 1, c, true)};
        } else if (c == u'`') {
            token = {TServerTokenKind::QuotedName, at, QuotedEnd(at + 1, c, false)};
        } else if (IsServerWordPart(c)) {
            while (end < length && IsServerWordPart(FLine[end].unicode()))
                ++end;
            token = {TServerTokenKind::Word, at, end};
        } else {
            token = {TServerTokenKind::Symbol, at, end};
        }
        break;
    }
    }
    FPosition = token.End;
    return token;
}

bool SameWord(QStringView word, std::string_view upper)
{
    if (static_cast<std::size_t>(word.size()) != upper.size())
        return false;
    for (std::size_t i = 0; i < upper.size(); ++i) {
        char16_t c = word[static_cast<qsizetype>(i)].unicode();
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != static_cast<unsigned char>(upper[i]))
            return false;
    }
    return true;
}
