#include "CompletionContext.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>

#include "EditorCommon.h"
#include "HLParser.h"

namespace {

// Statement words of the server that the highlighter's keyword table does not hold.
constexpr std::string_view kServerWords[] = {
    "analyze", "auto_increment", "binary", "call", "cascade", "case", "change", "charset", "columns",
    "cross", "databases", "delimiter", "duplicate", "engine", "enum", "explain", "false", "flush",
    "force", "grants", "handler", "ignore", "interval", "kill", "limit", "load", "lock", "modify",
    "offset", "optimize", "over", "partition", "processlist", "regexp", "rename", "repair", "restrict",
    "rlike", "routine", "schemas", "separator", "start", "status", "straight_join", "tables",
    "temporary", "text", "timestamp", "true", "truncate", "unlock", "unsigned", "use", "variables",
    "warnings", "window", "xor", "zerofill",
};

constexpr std::string_view kFunctions[] = {
    "abs", "acos", "adddate", "addtime", "aes_decrypt", "aes_encrypt", "ascii", "asin", "atan", "atan2",
    "avg", "benchmark", "bin", "bit_and", "bit_count", "bit_length", "bit_or", "bit_xor", "ceil",
    "ceiling", "char_length", "character_length", "charset", "coalesce", "collation", "compress",
    "concat", "concat_ws", "connection_id", "conv", "convert", "convert_tz", "cos", "cot", "count",
    "crc32", "curdate", "current_date", "current_time", "current_timestamp", "current_user", "curtime",
    "database", "date", "date_add", "date_format", "date_sub", "datediff", "day", "dayname",
    "dayofmonth", "dayofweek", "dayofyear", "degrees", "dense_rank", "elt", "exp", "export_set",
    "extract", "field", "find_in_set", "first_value", "floor", "format", "found_rows", "from_base64",
    "from_days", "from_unixtime", "get_lock", "greatest", "group_concat", "hex", "hour", "if",
    "ifnull", "inet_aton", "inet_ntoa", "insert", "instr", "is_free_lock", "isnull", "json_array",
    "json_arrayagg", "json_contains", "json_extract", "json_keys", "json_length", "json_object",
    "json_objectagg", "json_query", "json_remove", "json_replace", "json_set", "json_unquote",
    "json_valid", "json_value", "lag", "last_day", "last_insert_id", "last_value", "lcase", "lead",
    "least", "left", "length", "ln", "load_file", "locate", "log", "log10", "log2", "lower", "lpad",
    "ltrim", "make_set", "makedate", "maketime", "max", "md5", "microsecond", "mid", "min", "minute",
    "mod", "month", "monthname", "now", "nth_value", "ntile", "nullif", "oct", "ord", "percent_rank",
    "pi", "position", "pow", "power", "quarter", "quote", "radians", "rand", "rank", "regexp_replace",
    "regexp_substr", "release_lock", "repeat", "replace", "reverse", "right", "round", "row_count",
    "row_number", "rpad", "rtrim", "sec_to_time", "second", "sha1", "sha2", "sign", "sin", "sleep",
    "space", "sqrt", "std", "stddev", "str_to_date", "strcmp", "subdate", "substr", "substring",
    "substring_index", "sum",
};

constexpr std::string_view kMoreFunctions[] = {
    "sysdate", "tan", "time", "time_format", "time_to_sec", "timediff", "timestampadd",
    "timestampdiff", "to_base64", "to_days", "to_seconds", "trim", "truncate", "ucase", "uncompress",
    "unhex", "unix_timestamp", "upper", "user", "utc_date", "utc_time", "utc_timestamp", "uuid",
    "uuid_short", "values", "var_pop", "var_samp", "variance", "version", "week", "weekday",
    "weekofyear", "weight_string", "year", "yearweek", "char", "cast", "exists", "interval", "least",
};

// The server's reserved words: a name spelled as one of them must be quoted.
constexpr std::string_view kReserved[] = {
    "accessible", "add", "all", "alter", "analyze", "and", "as", "asc", "asensitive", "before",
    "between", "bigint", "binary", "blob", "both", "by", "call", "cascade", "case", "change", "char",
    "character", "check", "collate", "column", "condition", "constraint", "continue", "convert",
    "create", "cross", "current_date", "current_role", "current_time", "current_timestamp",
    "current_user", "cursor", "database", "databases", "day_hour", "day_microsecond", "day_minute",
    "day_second", "dec", "decimal", "declare", "default", "delayed", "delete", "delete_domain_id",
    "desc", "describe", "deterministic", "distinct", "distinctrow", "div", "do_domain_ids", "double",
    "drop", "dual", "each", "else", "elseif", "enclosed", "escaped", "except", "exists", "exit",
    "explain", "false", "fetch", "float", "float4", "float8", "for", "force", "foreign", "from",
    "fulltext", "general", "grant", "group", "having", "high_priority", "hour_microsecond",
    "hour_minute", "hour_second", "if", "ignore", "ignore_domain_ids", "ignore_server_ids", "in",
    "index", "infile", "inner", "inout", "insensitive", "insert", "int", "int1", "int2", "int3",
    "int4", "int8", "integer", "intersect", "interval", "into", "is", "iterate", "join", "key", "keys",
    "kill", "leading", "leave", "left", "like", "limit", "linear", "lines", "load", "localtime",
    "localtimestamp", "lock", "long", "longblob", "longtext", "loop", "low_priority",
    "master_heartbeat_period", "master_ssl_verify_server_cert", "match", "maxvalue", "mediumblob",
    "mediumint", "mediumtext", "middleint", "minute_microsecond", "minute_second", "mod", "modifies",
    "natural", "no_write_to_binlog", "not", "null", "numeric", "offset", "on", "optimize", "option",
    "optionally", "or", "order", "out", "outer", "outfile", "over", "page_checksum",
    "parse_vcol_expr", "partition", "position", "precision", "primary", "procedure", "purge", "range",
    "read", "read_write", "reads", "real", "recursive", "ref_system_id", "references", "regexp",
    "release", "rename", "repeat", "replace", "require", "resignal", "restrict", "return", "returning",
    "revoke", "right", "rlike", "row_number", "rows", "schema", "schemas", "second_microsecond",
    "select", "sensitive", "separator", "set", "show", "signal", "slow", "smallint", "spatial",
    "specific", "sql", "sql_big_result", "sql_calc_found_rows", "sql_small_result", "sqlexception",
    "sqlstate", "sqlwarning", "ssl", "starting", "stats_auto_recalc", "stats_persistent",
    "stats_sample_pages", "straight_join", "table", "terminated", "then", "tinyblob", "tinyint",
    "tinytext", "to", "trailing", "trigger", "true", "undo", "union", "unique", "unlock", "unsigned",
    "update", "usage", "use", "using", "utc_date", "utc_time", "utc_timestamp", "values", "varbinary",
    "varchar", "varcharacter", "varying", "when", "where", "while", "window", "with", "write", "xor",
    "year_month", "zerofill",
};

std::vector<std::string_view> SortedUnique(std::vector<std::string_view> words)
{
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

// Compares a word with a lower-case ASCII word, the letters A to Z folded.
bool Is(QStringView word, std::string_view lower)
{
    if (word.size() != static_cast<qsizetype>(lower.size()))
        return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        char16_t c = word[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != static_cast<unsigned char>(lower[static_cast<std::size_t>(i)]))
            return false;
    }
    return true;
}

bool IsAnyOf(QStringView word, std::initializer_list<std::string_view> words)
{
    return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return Is(word, w); });
}

// A character of an unquoted name: the server takes letters, digits, "_", "$" and every character
// above U+007F.
bool IsNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
        || u == u'$' || u >= 0x80;
}

// A statement that begins with this word may create, drop or rename a name.
bool ChangesNamesWord(QStringView word)
{
    return SameWord(word, "CREATE") || SameWord(word, "ALTER") || SameWord(word, "DROP") || SameWord(word, "RENAME");
}

// One token of a statement, as the server reads it.
struct TToken {
    enum class TKind { Word, Quoted, String, Comment, Symbol };
    TKind Kind = TKind::Symbol;
    qsizetype Begin = 0;
    qsizetype End = 0;  // after the last character
    bool Closed = true; // a string, comment or quoted name that ends before the text does
    QString Text;       // a word as written, a quoted name without its quotes, a symbol

    bool IsName() const { return Kind == TKind::Word || Kind == TKind::Quoted; }
    bool IsSymbol(char16_t c) const { return Kind == TKind::Symbol && Text.size() == 1 && Text[0] == c; }
    bool IsWord(std::string_view lower) const { return Kind == TKind::Word && Is(Text, lower); }
};

// Cuts a text into tokens by the server's rules: '…' and "…" strings with doubled quotes and
// backslash escapes, `…` names with doubled backquotes, "-- " and "#" comments to the line's end,
// block comments; the body of a "/*!" comment is read as SQL.
std::vector<TToken> Tokenize(QStringView text)
{
    std::vector<TToken> tokens;
    const qsizetype n = text.size();
    const auto at = [&](qsizetype i) { return i < n ? text[i] : QChar(); };
    bool executable = false; // inside a "/*!" comment, whose "*/" is no token
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c.unicode() <= 32) {
            ++i;
            continue;
        }
        TToken token;
        token.Begin = i;
        if (executable && c == u'*' && at(i + 1) == u'/') {
            executable = false;
            i += 2;
            continue;
        }
        if (c == u'#' || (c == u'-' && at(i + 1) == u'-' && (i + 2 >= n || at(i + 2).unicode() <= 32))) {
            token.Kind = TToken::TKind::Comment;
            while (i < n && text[i] != u'\n')
                ++i;
            // A line comment goes on up to the line's end: a caret there is still in it.
            token.Closed = i < n;
        } else if (c == u'/' && at(i + 1) == u'*') {
            if (at(i + 2) == u'!' || (at(i + 2) == u'M' && at(i + 3) == u'!')) {
                i += at(i + 2) == u'!' ? 3 : 4;
                while (i < n && text[i].isDigit())
                    ++i;
                executable = true;
                continue;
            }
            token.Kind = TToken::TKind::Comment;
            i += 2;
            token.Closed = false;
            while (i < n) {
                if (text[i] == u'*' && at(i + 1) == u'/') {
                    i += 2;
                    token.Closed = true;
                    break;
                }
                ++i;
            }
        } else if (c == u'\'' || c == u'"' || c == u'`') {
            token.Kind = c == u'`' ? TToken::TKind::Quoted : TToken::TKind::String;
            token.Closed = false;
            ++i;
            while (i < n) {
                const QChar d = text[i];
                if (d == u'\\' && c != u'`') {
                    if (i + 1 < n)
                        token.Text += text[i + 1];
                    i += 2;
                    continue;
                }
                if (d == c) {
                    if (at(i + 1) == c) {
                        token.Text += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    token.Closed = true;
                    break;
                }
                token.Text += d;
                ++i;
            }
            i = std::min(i, n);
        } else if (IsNameCharacter(c)) {
            token.Kind = TToken::TKind::Word;
            while (i < n && IsNameCharacter(text[i]))
                ++i;
            token.Text = text.mid(token.Begin, i - token.Begin).toString();
        } else {
            token.Kind = TToken::TKind::Symbol;
            token.Text = c;
            ++i;
        }
        token.End = i;
        tokens.push_back(std::move(token));
    }
    return tokens;
}

// Words that end a list of tables or begin a new clause: never an alias.
bool EndsTableList(const TToken& token)
{
    return token.Kind == TToken::TKind::Word && IsReservedWord(token.Text);
}

// Reads "name", "db.name" with an optional "[AS] alias" from tokens[i]; moves i past it.
bool ReadTableReference(const std::vector<TToken>& tokens, std::size_t& i, TTableReference& reference)
{
    const auto name = [&](std::size_t k) {
        return k < tokens.size() && tokens[k].IsName() && !(tokens[k].Kind == TToken::TKind::Word && EndsTableList(tokens[k]));
    };
    if (!name(i))
        return false;
    reference = {};
    reference.Table = tokens[i].Text;
    ++i;
    if (i + 1 < tokens.size() && tokens[i].IsSymbol(u'.') && tokens[i + 1].IsName()) {
        reference.Database = reference.Table;
        reference.Table = tokens[i + 1].Text;
        i += 2;
    }
    if (i < tokens.size() && tokens[i].IsWord("as"))
        ++i;
    if (name(i)) {
        reference.Alias = tokens[i].Text;
        ++i;
    }
    return true;
}

// The tables a statement names, in its order.
std::vector<TTableReference> TableReferences(const std::vector<TToken>& tokens)
{
    std::vector<TTableReference> references;
    std::size_t i = 0;
    while (i < tokens.size()) {
        const TToken& token = tokens[i];
        const bool list = token.IsWord("from");
        if (!(list || token.IsWord("join") || token.IsWord("straight_join") || token.IsWord("update")
              || token.IsWord("into") || token.IsWord("table") || token.IsWord("describe")
              || (token.IsWord("desc") && i == 0) || token.IsWord("truncate"))) {
            ++i;
            continue;
        }
        ++i;
        // UPDATE LOW_PRIORITY IGNORE t, INSERT INTO TABLE …: the modifiers stand before the name.
        while (i < tokens.size() && (tokens[i].IsWord("low_priority") || tokens[i].IsWord("ignore")
                                     || tokens[i].IsWord("table") || tokens[i].IsWord("only")))
            ++i;
        TTableReference reference;
        while (ReadTableReference(tokens, i, reference)) {
            if (std::find(references.begin(), references.end(), reference) == references.end())
                references.push_back(reference);
            // FROM a, b and UPDATE a, b list several tables.
            if (!(list || token.IsWord("update")) || i >= tokens.size() || !tokens[i].IsSymbol(u','))
                break;
            ++i;
        }
    }
    return references;
}

TCompletionContext::TCase CaseOf(QStringView word)
{
    bool upper = false;
    bool lower = false;
    for (const QChar c : word) {
        upper = upper || c.isUpper();
        lower = lower || c.isLower();
    }
    if (upper && !lower)
        return TCompletionContext::TCase::Upper;
    if (lower && !upper)
        return TCompletionContext::TCase::Lower;
    return word.size() > 0 && word[0].isUpper() ? TCompletionContext::TCase::Capitalized
                                                : TCompletionContext::TCase::Lower;
}

bool IsKeywordWord(const QString& word)
{
    const std::span<const std::string_view> keywords = CompletionKeywords();
    const std::string lower = word.toLower().toStdString();
    return std::binary_search(keywords.begin(), keywords.end(), std::string_view(lower));
}

} // namespace

std::span<const std::string_view> CompletionKeywords()
{
    static const std::vector<std::string_view> words = [] {
        std::vector<std::string_view> all(SqlKeywords().begin(), SqlKeywords().end());
        all.insert(all.end(), std::begin(kServerWords), std::end(kServerWords));
        return SortedUnique(std::move(all));
    }();
    return words;
}

std::span<const std::string_view> BuiltinFunctions()
{
    static const std::vector<std::string_view> words = [] {
        std::vector<std::string_view> all(std::begin(kFunctions), std::end(kFunctions));
        all.insert(all.end(), std::begin(kMoreFunctions), std::end(kMoreFunctions));
        return SortedUnique(std::move(all));
    }();
    return words;
}

bool IsReservedWord(QStringView word)
{
    static const std::vector<std::string_view> words =
        SortedUnique(std::vector<std::string_view>(std::begin(kReserved), std::end(kReserved)));
    if (word.size() > 40)
        return false;
    std::string lower;
    for (const QChar c : word) {
        if (c.unicode() > 127)
            return false;
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c.unicode())));
    }
    return std::binary_search(words.begin(), words.end(), std::string_view(lower));
}

QString QuoteName(const QString& name, bool always)
{
    bool plain = !always && !name.isEmpty() && !name[0].isDigit() && !IsReservedWord(name);
    for (qsizetype i = 0; plain && i < name.size(); ++i)
        plain = IsNameCharacter(name[i]) && !name[i].isSpace() && name[i].category() != QChar::Other_Format;
    if (plain)
        return name;
    return QLatin1Char('`') + QString(name).replace(QLatin1Char('`'), QStringLiteral("``")) + QLatin1Char('`');
}

QString InCase(const QString& word, TCompletionContext::TCase letterCase)
{
    switch (letterCase) {
    case TCompletionContext::TCase::Upper:
        return word.toUpper();
    case TCompletionContext::TCase::Lower:
        return word.toLower();
    case TCompletionContext::TCase::Capitalized:
        return word.left(1).toUpper() + word.mid(1).toLower();
    }
    return word;
}

bool ChangesNames(QStringView sql)
{
    const std::vector<TToken> tokens = Tokenize(sql);
    bool statementStart = true;
    qsizetype previousEnd = 0;
    for (const TToken& token : tokens) {
        if (token.Kind == TToken::TKind::Comment)
            continue;
        // A statement also starts on a line of its own, as after a DELIMITER line, where ";" ends none.
        const bool lineStart = sql.mid(previousEnd, token.Begin - previousEnd).contains(u'\n');
        if ((statementStart || lineStart)
            && token.Kind == TToken::TKind::Word && ChangesNamesWord(token.Text))
            return true;
        statementStart = token.IsSymbol(u';');
        previousEnd = token.End;
    }
    return false;
}

bool StatementChangesNames(QStringView statement)
{
    bool changes = false;
    ScanServerText(statement, [&changes](QStringView text, const TServerToken& token, TServerScanState) {
        if (IsServerGap(token.Kind))
            return true;
        changes = token.Kind == TServerTokenKind::Word && ChangesNamesWord(text);
        return false;
    });
    return changes;
}

TCompletionContext AnalyzeCompletion(QStringView text, qsizetype caret)
{
    TCompletionContext context;
    caret = std::clamp<qsizetype>(caret, 0, text.size());
    std::vector<TToken> tokens = Tokenize(text);

    // The statement around the caret: from the ";" before it to the ";" at or after it.
    std::size_t first = 0;
    std::size_t last = tokens.size();
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        if (!tokens[k].IsSymbol(u';'))
            continue;
        if (tokens[k].End <= caret)
            first = k + 1;
        else if (tokens[k].Begin >= caret) {
            last = k;
            break;
        }
    }
    std::vector<TToken> statement;
    for (std::size_t k = first; k < last; ++k) {
        const TToken& token = tokens[k];
        // A literal or a comment that holds the caret: nothing to complete in it.
        const bool holds = token.Begin < caret && (caret < token.End || (caret == token.End && !token.Closed));
        if (holds && (token.Kind == TToken::TKind::String || token.Kind == TToken::TKind::Comment)) {
            context.Nothing = true;
            return context;
        }
        if (token.Kind != TToken::TKind::Comment)
            statement.push_back(token);
    }

    // The word before the caret, as the editor takes it.
    qsizetype wordStart = caret;
    while (wordStart > 0 && !IsWordSeparator(text[wordStart - 1]))
        --wordStart;
    const QStringView word = text.mid(wordStart, caret - wordStart);
    // The tokens before the word, and the word's own token.
    std::size_t before = 0;
    while (before < statement.size() && statement[before].End <= wordStart)
        ++before;
    if (!word.isEmpty()) {
        const TToken* own = before < statement.size() && statement[before].Begin == wordStart ? &statement[before] : nullptr;
        const bool quoted = own != nullptr && own->Kind == TToken::TKind::Quoted && own->End >= caret
                         && (!own->Closed || own->End > caret);
        const bool plain = own != nullptr && own->Kind == TToken::TKind::Word && own->End >= caret;
        if (quoted && !word.mid(1).contains(u'`')) {
            context.Backquoted = true;
            context.Prefix = word.mid(1).toString();
        } else if (plain) {
            context.Prefix = word.toString();
        } else {
            // The editor's word holds characters that end a name ("!", "@", a quote): nothing fits.
            context.Nothing = true;
            return context;
        }
    } else if (before < statement.size() && statement[before].Begin < caret) {
        // Inside a quoted name that holds a blank before the caret.
        context.Nothing = true;
        return context;
    }
    // A word that starts with a digit is a number.
    if (!context.Backquoted && !context.Prefix.isEmpty() && context.Prefix[0].isDigit()) {
        context.Nothing = true;
        return context;
    }

    const auto previous = [&](std::size_t back) -> const TToken* {
        return back < before ? &statement[before - 1 - back] : nullptr;
    };
    {
        // The tables named elsewhere in the statement; what is being typed at the caret (the word
        // and the "db." or "alias." before it) names none yet.
        std::size_t chainStart = before;
        while (chainStart >= 2 && statement[chainStart - 1].IsSymbol(u'.') && statement[chainStart - 2].IsName())
            chainStart -= 2;
        std::size_t chainEnd = before;
        if (chainEnd < statement.size() && statement[chainEnd].Begin < caret)
            ++chainEnd;
        std::vector<TToken> others(statement.begin(), statement.begin() + static_cast<std::ptrdiff_t>(chainStart));
        others.insert(others.end(), statement.begin() + static_cast<std::ptrdiff_t>(chainEnd), statement.end());
        context.References = TableReferences(others);
    }

    // Keyword case: as the word is typed; with nothing typed, as the last keyword before it.
    if (!context.Prefix.isEmpty() && !context.Backquoted) {
        context.KeywordCase = CaseOf(context.Prefix);
    } else {
        for (std::size_t k = before; k-- > 0;) {
            if (statement[k].Kind == TToken::TKind::Word && IsKeywordWord(statement[k].Text)) {
                context.KeywordCase = CaseOf(statement[k].Text);
                break;
            }
        }
    }

    const TToken* p1 = previous(0);
    if (p1 != nullptr && p1->IsSymbol(u'@')) {
        context.Nothing = true;
        return context;
    }
    // After "x." the names inside x; after "db.t." the columns of db.t.
    if (p1 != nullptr && p1->IsSymbol(u'.')) {
        const TToken* p2 = previous(1);
        if (p2 == nullptr || !p2->IsName()) {
            context.Nothing = true;
            return context;
        }
        context.Qualifier = p2->Text;
        const TToken* p3 = previous(2);
        const TToken* p4 = previous(3);
        if (p3 != nullptr && p3->IsSymbol(u'.') && p4 != nullptr && p4->IsName())
            context.QualifierDatabase = p4->Text;
        return context;
    }
    if (p1 == nullptr) {
        context.Keywords = true;
        return context;
    }
    const TToken* p2 = previous(1);
    if (p1->IsWord("use") || ((p1->IsWord("database") || p1->IsWord("schema")) && p2 != nullptr
                              && IsAnyOf(p2->Text, {"drop", "alter", "use"}))) {
        context.Databases = true;
        return context;
    }
    if (p1->IsWord("call")) {
        context.Procedures = true;
        return context;
    }
    // Where a table is named: tables, and databases to qualify one.
    const bool tableList = p1->IsSymbol(u',') && [&] {
        int depth = 0;
        for (std::size_t k = before; k-- > 0;) {
            const TToken& t = statement[k];
            if (t.IsSymbol(u')'))
                ++depth;
            else if (t.IsSymbol(u'('))
                if (--depth < 0)
                    return false;
            if (depth == 0 && t.Kind == TToken::TKind::Word && EndsTableList(t))
                return t.IsWord("from") || t.IsWord("update");
        }
        return false;
    }();
    if (tableList
        || (p1->Kind == TToken::TKind::Word
            && IsAnyOf(p1->Text, {"from", "join", "straight_join", "update", "into", "table", "describe",
                                  "truncate"}))
        || (p1->IsWord("desc") && before == 1)) {
        context.Tables = true;
        context.Databases = true;
        return context;
    }
    // INSERT INTO t (…: the columns of t alone.
    {
        int depth = 0;
        for (std::size_t k = before; k-- > 0;) {
            const TToken& t = statement[k];
            if (t.IsSymbol(u')')) {
                ++depth;
            } else if (t.IsSymbol(u'(') && --depth < 0) {
                std::size_t n = k;
                TTableReference reference;
                if (n >= 1 && statement[n - 1].IsName()) {
                    reference.Table = statement[n - 1].Text;
                    --n;
                    if (n >= 2 && statement[n - 1].IsSymbol(u'.') && statement[n - 2].IsName()) {
                        reference.Database = statement[n - 2].Text;
                        n -= 2;
                    }
                    if (n >= 1 && (statement[n - 1].IsWord("into") || statement[n - 1].IsWord("insert")
                                   || statement[n - 1].IsWord("replace"))) {
                        context.Columns = true;
                        context.ColumnTables.push_back(reference);
                        return context;
                    }
                }
                break;
            }
        }
    }
    context.Keywords = true;
    context.Columns = !context.References.empty();
    context.ColumnTables = context.References;
    context.Functions = true;
    return context;
}
