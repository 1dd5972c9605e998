// Tests of the token scanner, the SQL keyword set and the token tests that colour a line.
#include "HLParser.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <set>
#include <string>
#include <vector>

namespace {

QString U(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// The colour class that the token tests give a token, in the order the colouring asks them.
char ClassOf(const QString& token)
{
    if (IsSqlKeyword(token))
        return 'K';
    if (IsSqlComment(token))
        return 'C';
    if (IsStringToken(token))
        return 'S';
    if (IsSymbolToken(token))
        return 'Y';
    if (IsIntegerLiteral(token) || IsDecimalLiteral(token))
        return 'N';
    return 'I';
}

struct TToken
{
    QString Text;
    char Class;
    int First;
    int Last;

    bool operator==(const TToken&) const = default;
};

void PrintTo(const TToken& token, std::ostream* os)
{
    *os << '{' << '"' << token.Text.toStdString() << "\" " << token.Class << ' ' << token.First
        << ".." << token.Last << '}';
}

struct TScanCase
{
    const char* Name;
    QString Text;
    std::vector<TToken> Tokens;
    qsizetype From = 0;
    bool KeepComments = true;
};

std::vector<TToken> Scan(const TScanCase& c)
{
    TIParser parser;
    parser.SetScannerStyle(TIParser::SqlScannerStyle);
    parser.SetKeepComments(c.KeepComments);
    parser.Start(c.Text, c.From);
    std::vector<TToken> tokens;
    for (QString token = parser.NextToken(); !token.isEmpty(); token = parser.NextToken()) {
        tokens.push_back({token, ClassOf(token), parser.TokenFirstColumn(0), parser.TokenLastColumn(0)});
        // A scanner that stops advancing must fail the case, not hang the test.
        if (tokens.size() > static_cast<std::size_t>(c.Text.size()))
            break;
    }
    return tokens;
}

TEST(TIParser, SqlTokensWithColumnsAndClasses)
{
    const QString nul(QChar(u'\0'));
    const QString emoji = QString::fromUtf16(u"\U0001F600");
    const TScanCase cases[] = {
        {"empty text", "", {}},
        {"blanks only", " \r\n ", {}},
        {"dash comment after blanks", "  -- rows 3", {{"-- rows 3", 'C', 3, 11}}},
        {"bare dashes are a comment", "--", {{"--", 'C', 1, 2}}},
        {"comment glued to a word", "a--b", {{"a", 'I', 1, 1}, {"--b", 'C', 2, 4}}},
        {"single dashes", "- -", {{"-", 'Y', 1, 1}, {"-", 'Y', 3, 3}}},
        {"dash comment stops before CR, not LF", "-- x\r\ny\nz -- w\nv",
            {{"-- x", 'C', 1, 4}, {"y", 'I', 7, 7}, {"z", 'I', 9, 9}, {"-- w\nv", 'C', 11, 16}}},
        {"block comment between words", "select/*c*/from",
            {{"select", 'K', 1, 6}, {"/*c*/", 'C', 7, 11}, {"from", 'K', 12, 15}}},
        {"slash star slash stays open", "/*/ x", {{"/*/ x", 'C', 1, 5}}},
        {"shortest closed block comment", "/**/x", {{"/**/", 'C', 1, 4}, {"x", 'I', 5, 5}}},
        {"opening pair at the very end", "a /*", {{"a", 'I', 1, 1}, {"/*", 'C', 3, 4}}},
        {"lone slash and star", "a / *", {{"a", 'I', 1, 1}, {"/", 'Y', 3, 3}, {"*", 'Y', 5, 5}}},
        {"dashes inside a block comment", "/* -- */ x", {{"/* -- */", 'C', 1, 8}, {"x", 'I', 10, 10}}},
        {"doubled quotes collapse, columns cover all", "'it''s'", {{"'it's'", 'S', 1, 7}}},
        {"string between words", "a'b''c'd", {{"a", 'I', 1, 1}, {"'b'c'", 'S', 2, 7}, {"d", 'I', 8, 8}}},
        {"empty string", "''", {{"''", 'S', 1, 2}}},
        {"string of one quote", "''''", {{"'''", 'S', 1, 4}}},
        {"unclosed string ending in a pair", "'''", {{"'''", 'S', 1, 3}}},
        {"unclosed string with a pair at its end", "'a''", {{"'a''", 'S', 1, 4}}},
        {"unclosed string", "'abc", {{"'abc", 'S', 1, 4}}},
        {"backslash escapes nothing", "'it\\'s'",
            {{"'it\\'", 'S', 1, 5}, {"s", 'I', 6, 6}, {"'", 'S', 7, 7}}},
        {"comment opener inside a string", "'/*' x", {{"'/*'", 'S', 1, 4}, {"x", 'I', 6, 6}}},
        {"double quotes are one-character tokens", "\"abc\"",
            {{"\"", 'S', 1, 1}, {"abc", 'I', 2, 4}, {"\"", 'S', 5, 5}}},
        {"double-quoted comment opener", "\"a/*b\" c",
            {{"\"", 'S', 1, 1}, {"a", 'I', 2, 2}, {"/*b\" c", 'C', 3, 8}}},
        {"dollar splits keywords", "rdb$db_key", {{"rdb", 'K', 1, 3}, {"$", 'I', 4, 4}, {"db_key", 'K', 5, 10}}},
        {"TAB is a token", "x\t=1", {{"x", 'I', 1, 1}, {"\t", 'I', 2, 2}, {"=", 'Y', 3, 3}, {"1", 'N', 4, 4}}},
        {"keywords in any case", "SELECT Select selected select1 sel",
            {{"SELECT", 'K', 1, 6}, {"Select", 'K', 8, 13}, {"selected", 'I', 15, 22},
                {"select1", 'I', 24, 30}, {"sel", 'I', 32, 34}}},
        {"keyword before a parenthesis", "count(*)",
            {{"count", 'K', 1, 5}, {"(", 'Y', 6, 6}, {"*", 'Y', 7, 7}, {")", 'Y', 8, 8}}},
        {"numbers run over digits and points", "1.5 1. 1.2.3 .5",
            {{"1.5", 'N', 1, 3}, {"1.", 'N', 5, 6}, {"1.2.3", 'I', 8, 12}, {".", 'Y', 14, 14}, {"5", 'N', 15, 15}}},
        {"no exponent, radix or sign", "1e5 0x1F -2",
            {{"1", 'N', 1, 1}, {"e5", 'I', 2, 3}, {"0", 'N', 5, 5}, {"x1F", 'I', 6, 8}, {"-", 'Y', 10, 10},
                {"2", 'N', 11, 11}}},
        {"underscore starts an identifier", "_a1 9_", {{"_a1", 'I', 1, 3}, {"9", 'N', 5, 5}, {"_", 'I', 6, 6}}},
        {"hash is a symbol, not a comment", "# x\\", {{"#", 'Y', 1, 1}, {"x", 'I', 3, 3}, {"\\", 'Y', 4, 4}}},
        {"other one-character tokens", "`t`!?$",
            {{"`", 'I', 1, 1}, {"t", 'I', 2, 2}, {"`", 'I', 3, 3}, {"!", 'I', 4, 4}, {"?", 'I', 5, 5},
                {"$", 'I', 6, 6}}},
        {"letters above 127 are one-character tokens", U(u"éa ны"),
            {{U(u"é"), 'I', 1, 1}, {"a", 'I', 2, 2}, {U(u"н"), 'I', 4, 4}, {U(u"ы"), 'I', 5, 5}}},
        {"a pair of surrogates is one token", "a" + emoji + "b",
            {{"a", 'I', 1, 1}, {emoji, 'I', 2, 3}, {"b", 'I', 4, 4}}},
        {"a zero character does not end the line", "a" + nul + "b",
            {{"a", 'I', 1, 1}, {nul, 'I', 2, 2}, {"b", 'I', 3, 3}}},
        {"transcript echo", "mysql> update users set name = 'O''Brien' where id = 7;",
            {{"mysql", 'I', 1, 5}, {">", 'Y', 6, 6}, {"update", 'K', 8, 13}, {"users", 'I', 15, 19},
                {"set", 'K', 21, 23}, {"name", 'I', 25, 28}, {"=", 'Y', 30, 30}, {"'O'Brien'", 'S', 32, 41},
                {"where", 'K', 43, 47}, {"id", 'I', 49, 50}, {"=", 'Y', 52, 52}, {"7", 'N', 54, 54},
                {";", 'Y', 55, 55}}},
        {"reading from the middle keeps line columns", "     > new ones */ where id > 1.5e3;",
            {{"where", 'K', 20, 24}, {"id", 'I', 26, 27}, {">", 'Y', 29, 29}, {"1.5", 'N', 31, 33},
                {"e3", 'I', 34, 35}, {";", 'Y', 36, 36}},
            18},
        {"start beyond the text", "abc", {}, 7},
        {"comments skipped when not kept", "/*a*/ /*b*/b -- c", {{"b", 'I', 12, 12}}, 0, false},
        {"only comments, not kept", " -- x\r/* y */ ", {}, 0, false},
        {"dash comment not kept stops at CR", "--x\ry", {{"y", 'I', 5, 5}}, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Scan(c), c.Tokens) << c.Name;
}

TEST(TIParser, RingCountsBackOverTheLastTenTokens)
{
    TIParser parser;
    EXPECT_EQ(parser.ScannerStyle(), TIParser::DefaultScannerStyle);
    EXPECT_FALSE(parser.KeepComments());
    parser.SetScannerStyle(TIParser::SqlScannerStyle);

    // Twelve one-letter tokens "a" to "l" at the odd columns 1 to 23: the ring wraps once.
    const QString text = "a b c d e f g h i j k l";
    parser.Start(text);
    for (int i = 0; i < 12; ++i)
        parser.NextToken();
    for (int back = 0; back < TIParser::RingSize; ++back) {
        const int index = 11 - back;
        EXPECT_EQ(parser.TokenText(back), QString(QChar(u'a' + index))) << back;
        EXPECT_EQ(parser.TokenFirstColumn(back), 2 * index + 1) << back;
        EXPECT_EQ(parser.TokenLastColumn(back), 2 * index + 1) << back;
    }
    for (int outside : {-1, TIParser::RingSize}) {
        EXPECT_EQ(parser.TokenText(outside), QString()) << outside;
        EXPECT_EQ(parser.TokenFirstColumn(outside), 0) << outside;
        EXPECT_EQ(parser.TokenLastColumn(outside), 0) << outside;
    }

    // The end token is recorded with an empty range just past the text, and the position stays.
    EXPECT_EQ(parser.NextToken(), QString());
    EXPECT_EQ(parser.NextToken(), QString());
    EXPECT_EQ(parser.Position(), text.size());
    EXPECT_EQ(parser.TokenFirstColumn(0), 24);
    EXPECT_EQ(parser.TokenLastColumn(0), 23);
    EXPECT_EQ(parser.TokenText(2), "l");

    // A new line forgets the old one's tokens.
    parser.Start(u"'x''y'");
    EXPECT_EQ(parser.NextToken(), "'x'y'");
    EXPECT_EQ(parser.TokenFirstColumn(0), 1);
    EXPECT_EQ(parser.TokenLastColumn(0), 6);
    EXPECT_EQ(parser.TokenText(1), QString());
    EXPECT_EQ(parser.TokenLastColumn(1), 0);
}

TEST(TIParser, OtherStylesKnowNoCommentsOrStrings)
{
    TIParser parser;
    parser.SetKeepComments(true);
    parser.Start(u"-- 'a'");
    QStringList tokens;
    for (QString token = parser.NextToken(); !token.isEmpty(); token = parser.NextToken())
        tokens << token;
    EXPECT_EQ(tokens, QStringList({"-", "-", "'", "a", "'"}));
}

struct TPredicateCase
{
    QString Token;
    bool Comment;
    bool String;
    bool Symbol;
    bool Integer;
    bool Decimal;
};

TEST(TokenTests, AnswerForEachKindOfToken)
{
    const TPredicateCase cases[] = {
        // token           comment string symbol integer decimal
        {"", false, false, false, false, false},
        {"--", true, false, false, false, false},
        {"-- x", true, false, false, false, false},
        {"/*", true, false, false, false, false},
        {"-", false, false, true, false, false},
        {"/", false, false, true, false, false},
        {"'", false, true, true, false, false},
        {"'a'", false, true, false, false, false},
        {"\"", false, true, false, false, false},
        {"0", false, false, false, true, true},
        {"-12", false, false, false, true, true},
        {"$1aF", false, false, false, true, false},
        {"$", false, false, false, false, false},
        {"$g", false, false, false, false, false},
        {"-$1", false, false, false, false, false},
        {"$-1", false, false, false, false, false},
        {"12a", false, false, false, false, false},
        {"1.5", false, false, false, false, true},
        {"1.", false, false, false, false, true},
        {".5", false, false, false, false, true},
        {"-1.5", false, false, false, false, true},
        {".", false, false, true, false, false},
        {"-.", false, false, false, false, false},
        {"1.2.3", false, false, false, false, false},
        {"--1", true, false, false, false, false},
        {U(u"١٢"), false, false, false, false, false},
        {U(u"１"), false, false, false, false, false},
    };
    for (const auto& c : cases) {
        const std::string name = c.Token.toStdString();
        EXPECT_EQ(IsSqlComment(c.Token), c.Comment) << name;
        EXPECT_EQ(IsStringToken(c.Token), c.String) << name;
        EXPECT_EQ(IsSymbolToken(c.Token), c.Symbol) << name;
        EXPECT_EQ(IsIntegerLiteral(c.Token), c.Integer) << name;
        EXPECT_EQ(IsDecimalLiteral(c.Token), c.Decimal) << name;
    }
}

TEST(TokenTests, SymbolsAreExactlyTheTwentySix)
{
    const QString symbols = "#%&'()*+,-./:;<=>@[\\]^{|}~";
    int count = 0;
    for (char16_t c = 0; c < 0x3000; ++c) {
        const bool symbol = IsSymbolToken(QString(QChar(c)));
        EXPECT_EQ(symbol, symbols.contains(QChar(c))) << int(c);
        count += symbol;
    }
    EXPECT_EQ(count, 26);
    EXPECT_FALSE(IsSymbolToken(u"(("));
}

// The keyword set as it is written down, in one space-separated line, independent of the table that the
// look-up uses.
const char* const WrittenKeywords =
    "active add after all alter and any as asc ascending at auto autoddl avg base_name based basename "
    "before begin between blob blobedit buffer by cache cast char char_length character character_length "
    "check check_point_len check_point_length close collate collation column commit commit_group_wait "
    "committed compiletime computed conditional connect constraint containing continue count create "
    "cstring current cursor database date db_key debug dec decimal declare default delete desc descending "
    "describe descriptor disconnect display distinct do domain double drop echo edit else end entry_point "
    "escape event exception execute exists exit extern external extract fetch file filter float for "
    "foreign found from full function gdscode gen_id generator global goto grant group "
    "group_commit_wait_time having help if immediate in inactive index indicator init inner input "
    "input_type insert int integer into is isolation isql join key lc_messages lc_type left length lev "
    "level like log_buf_size log_buffer_size logfile long manual max max_segment maximum maximum_segment "
    "merge message min minimum module_name names national natural nchar new no noauto not null "
    "num_log_buffers num_log_bufs numeric octet_length of old on only open option or order outer output "
    "output_type overflow page page_size pagelength pages parameter password plan position post_event "
    "precision prepare primary privileges procedure protected public quit raw_partitions rdb read real "
    "record_version references release replace reserv reserving retain return returning_values returns "
    "revoke right rollback runtime schema segment select set shadow shared shell show singular size "
    "smallint snapshot some sort sql sqlcode sqlerror sqlwarning stability starting starts statement "
    "static statistics sub_type sum suspend table term terminator then to transaction translate "
    "translation trigger trim uncommitted union unique update upper user using value values varchar "
    "variable varying version view wait when whenever where while with work write";

// The plain walk over the written words: same length, and equal with only A to Z folded.
bool LinearWalk(const QString& token)
{
    for (const QString& word : QString::fromLatin1(WrittenKeywords).split(u' ')) {
        if (word.size() != token.size())
            continue;
        bool equal = true;
        for (qsizetype i = 0; i < word.size() && equal; ++i) {
            char16_t c = token[i].unicode();
            if (c >= u'A' && c <= u'Z')
                c = static_cast<char16_t>(c + 32);
            equal = c == word[i].unicode();
        }
        if (equal)
            return true;
    }
    return false;
}

TEST(SqlKeywords, TableHoldsTheWrittenWords)
{
    const std::span<const std::string_view> table = SqlKeywords();
    std::set<std::string> written;
    for (const QString& word : QString::fromLatin1(WrittenKeywords).split(u' '))
        written.insert(word.toStdString());
    EXPECT_EQ(written.size(), 265u);
    std::set<std::string> held;
    for (std::string_view word : table)
        held.emplace(word);
    EXPECT_EQ(held, written);
    EXPECT_EQ(table.size(), 265u);
}

TEST(SqlKeywords, LookUpEqualsTheLinearWalk)
{
    QStringList tokens;
    for (const QString& word : QString::fromLatin1(WrittenKeywords).split(u' ')) {
        QString mixed = word;
        for (qsizetype i = 0; i < mixed.size(); i += 2)
            mixed[i] = mixed[i].toUpper();
        tokens << word << word.toUpper() << mixed << word.chopped(1) << word + "s" << word + "_"
               << "x" + word << word + "1";
    }
    // Letters that fold to ASCII under full Unicode case rules, but not here: Kelvin sign, long s,
    // dotted capital I, dotless i and fullwidth letters.
    tokens << U(u"\u212Aey") << U(u"\u017Felect") << U(u"\u0130n") << U(u"\u0131n") << U(u"ｓｅｔ")
           << "" << "_" << "key " << " key" << "k-ey" << "use" << "limit" << "case" << "databases" << "tables"
           << "text" << "mysql" << "group_commit_wait_times" << QString(23, u'a') << "SeLeCt" << "DB_KEY"
           << "Replace" << "rdb$db_key";
    int keywords = 0;
    for (const QString& token : tokens) {
        const bool expected = LinearWalk(token);
        EXPECT_EQ(IsSqlKeyword(token), expected) << token.toStdString();
        keywords += expected;
    }
    // Each written word answers yes as written, in capitals and in mixed case; "x" + word and the
    // shortened or lengthened forms answer yes only where they happen to be keywords themselves.
    EXPECT_GE(keywords, 3 * 265);
}

} // namespace
