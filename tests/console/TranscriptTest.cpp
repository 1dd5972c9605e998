// The transcript's line formats, and result tables drawn from real result sets.
#include "Transcript.h"

#include <gtest/gtest.h>

#include <cstring>

#include "MySQLClasses.h"
#include "QtPrinters.h"
#include "TestServer.h"
#include "Utf8.h"

namespace {

using namespace Transcript;

TEST(Transcript, EchoSkipsBlankLinesAndAlignsPrompts)
{
    struct TCase {
        const char* Name;
        QString Sql;
        QStringList Lines;
    };
    const TCase cases[] = {
        {"one line", "select 1", {"mysql> select 1"}},
        {"blank lines first", "\r\n  \r\n\tselect 1\r\n\r\nfrom t ",
         {"mysql> select 1", "     > from t"}},
        {"only blanks", " \r\n\t", {}},
        {"statement lines joined with LF", "a\n  b", {"mysql> a", "     > b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EchoLines(c.Sql), c.Lines) << c.Name;
}

TEST(Transcript, ErrorTextIsTidiedAndWrapped)
{
    const QString x59 = QString(59, 'x');
    const QString x58 = QString(58, 'x');
    const QString longWord = QString(70, 'y');
    struct TCase {
        const char* Name;
        QString Text;
        QStringList Lines;
    };
    const TCase cases[] = {
        {"worked example",
         "The table named in this statement is locked by another connection at the moment, so the "
         "server refused to run it",
         {"-- The table named in this statement is locked by another connection",
          "-- at the moment, so the server refused to run it "}},
        {"59 characters: no trailing blank", x59, {"-- " + x59}},
        {"58 characters: a trailing blank", x58, {"-- " + x58 + " "}},
        {"a long word is never split", longWord + " end", {"-- " + longWord, "-- end "}},
        {"empty", "", {"--  "}},
        {"replacements in order", "a b  c    d ( e ) f , g .", {"-- a b c  d (e) f, g. "}},
        {"every kind of line break starts a line of its own", "one\r\ntwo\nthree\rfour\n\nsix",
         {"-- one ", "-- two ", "-- three ", "-- four ", "--  ", "-- six "}},
        {"a long line after a break is wrapped on its own", "Duplicate entry 'a\nb' for key\n" + x59 + " " + x58,
         {"-- Duplicate entry 'a ", "-- b' for key ", "-- " + x59, "-- " + x58 + " "}},
        {"each replacement sees the ones before", "(  x  )", {"-- (x) "}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorLines(c.Text), c.Lines) << c.Name;
}

TEST(Transcript, UseStatementsAndCountLines)
{
    struct TCase {
        QString Sql;
        bool Use;
    };
    const TCase cases[] = {
        {"use brindle", true},     {"  \r\nUsE brindle", true}, {"use\tbrindle", false},
        {"use\r\nbrindle", false}, {"used", false},             {"use", false},
        {"select 1; use x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUseStatement(c.Sql), c.Use) << c.Sql.toStdString();

    EXPECT_EQ(AffectedRowsLine(3), "-- Query Ok. 3 rows affected.");
    EXPECT_EQ(AffectedRowsLine(5000000000LL), "-- Query Ok. 5000000000 rows affected.");
}

TEST(Transcript, CellEscapes)
{
    struct TCase {
        std::string Value;
        std::string Shown;
        std::size_t Units;
    };
    const TCase cases[] = {
        {"a\tb", "a\\tb", 4},
        {"a\r\nb", "a\\nb", 4},
        {"a\rb\nc", "a\\nb\\nc", 7},
        {"\r\r\n", "\\n\\n", 4},
        {std::string("a\0b", 3), "a\\0b", 4},
        {"caf\xE9!", "caf\xEF\xBF\xBD!", 5},
        {"\xD0\x9F\xF0\x9F\x98\x80\x7F", "\xD0\x9F\xF0\x9F\x98\x80\x7F", 4},
        {"\xE2\x82" "a\xEF\xBF\xBD", "\xEF\xBF\xBD" "a\xEF\xBF\xBD", 3},
    };
    for (const auto& c : cases) {
        std::string line = "-- |";
        EXPECT_EQ(AppendEscaped(line, c.Value), c.Units) << c.Shown;
        EXPECT_EQ(line, "-- |" + c.Shown);
    }
}

// Lines as the transcript pane shows them.
QStringList Decoded(TMySQLPackedResult& result)
{
    TTableLines table(result);
    QStringList lines;
    std::string line;
    while (table.Next(line)) {
        lines << QString::fromUtf8(line);
        line.clear();
    }
    EXPECT_EQ(lines.size(), table.LineCount());
    return lines;
}

void AddRow(TMySQLPackedResult& result, std::vector<const char*> values)
{
    std::vector<unsigned long> lengths;
    for (const char* value : values)
        lengths.push_back(value ? std::strlen(value) : 0);
    result.AddRow(values.data(), lengths.data());
}

// Rows that fill several chunks of the packed result, with ill-formed UTF-8 at the edges of values
// on both sides of each chunk's end: each value is read and measured on its own, so a sequence cut at
// the end of one is never completed by the bytes that begin the next.
TEST(Transcript, IllFormedBytesAtTheEdgesOfChunksAndValues)
{
    TMySQLPackedResult result({"a", "b"}, 4096);
    const std::string filler(1500, 'f');
    const int rows = 12;
    for (int i = 0; i < rows; ++i)
        AddRow(result, {(filler + "\xD0").c_str(), "\x9F" "b"});
    AddRow(result, {"\xF0\x9F\x98", "\xE2\x82\xAC"});
    EXPECT_EQ(result.ColumnWidth(0), 1501);
    EXPECT_EQ(result.ColumnWidth(1), 2);
    EXPECT_GT(result.HeldBytes(), 4u * 4096);

    const QStringList lines = Decoded(result);
    ASSERT_EQ(lines.size(), rows + 6);
    const QString row = "-- | " + QString(1500, u'f') + u'\uFFFD' + " | \uFFFDb |";
    for (int i = 0; i < rows; ++i)
        EXPECT_EQ(lines[3 + i], row) << i;
    EXPECT_EQ(lines[3 + rows], "-- | \uFFFD" + QString(1500, u' ') + " | \u20AC  |");
    EXPECT_EQ(lines.last(), "-- 13 rows");
    EXPECT_EQ(result.HeldBytes(), 0u);
}

// A name is measured whole and shown cut to its first 255 characters, escapes made after the cut; a
// cut that would fall between the halves of a pair keeps the pair out. (The server sends names of at
// most 255 bytes, so only a result made here reaches the cut.)
TEST(Transcript, LongNamesAreCut)
{
    const std::string emoji = "\xF0\x9F\x98\x80";
    TMySQLPackedResult result({std::string(254, 'n') + "\n" + "tail", std::string(254, 'p') + emoji});
    AddRow(result, {"1", "2"});
    const QStringList lines = Decoded(result);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "-- +" + QString(261, u'-') + "+" + QString(258, u'-') + "+");
    EXPECT_EQ(lines[1], "-- | " + QString(254, u'n') + "\\n" + QString(4, u' ') + "| " + QString(254, u'p') + "   |");
}

// A value is scanned while it is copied, a word or two at a time: for values of every length up to
// three words, with one odd byte at each place (the edges of each word included), whether the row is
// printable ASCII and how wide the column is are what a walk byte by byte gives.
TEST(Transcript, ValuesAreScannedWhileCopied)
{
    const std::string odd[] = {"\x1F", "\x7F", "\t", std::string(1, '\0'), "\x80", "\xC3\xA9", "\xE2\x82\xAC",
        "\xF0\x9F\x98\x80", "\xFF", " ", "~"};
    for (std::size_t length = 1; length <= 24; ++length) {
        for (const std::string& inserted : odd) {
            for (std::size_t at = 0; at < length; ++at) {
                std::string value(length, 'a');
                value.replace(at, 1, inserted);
                TMySQLPackedResult result({"v"});
                const char* values[] = {value.data()};
                const unsigned long lengths[] = {value.size()};
                result.AddRow(values, lengths);
                std::vector<std::string_view> taken;
                ASSERT_TRUE(result.TakeRow(taken));
                const bool printable = PrintableAsciiRun(value) == value.size();
                EXPECT_EQ(result.TakenRowPrintable(), printable) << length << " " << at << " " << inserted;
                EXPECT_EQ(result.ColumnWidth(0), static_cast<std::int32_t>(Utf16Length(value)))
                    << length << " " << at << " " << inserted;
                EXPECT_EQ(taken[0], value);
            }
        }
    }
}

// Parts of a value escaped one by one give what the whole value gives, wherever they end: inside
// sequences of two to four bytes, in ill-formed ones and runs of stray continuation bytes, between
// CR and LF.
TEST(Transcript, AValueEscapedInPartsIsTheValueEscapedWhole)
{
    const std::string values[] = {
        "ab\r\ncd\xD0\x9F" "ef\xE2\x82\xAC\xF0\x9F\x98\x80g",
        "\x80\x80\x80\x80\x80\x80\xF0\x9F\x98\x80\x80\x80",
        "\xE2\x82" "a\xED\xA0\x80\r\r\n\n" + std::string(1, '\0') + "\t\xC0\xAF\xF4\x90\x80\x80",
    };
    for (const std::string& value : values) {
        std::string whole;
        const std::size_t units = AppendEscaped(whole, value);
        for (std::size_t bytes = 0; bytes <= value.size(); ++bytes) {
            std::string parts;
            std::size_t partUnits = 0;
            int count = 0;
            for (std::size_t at = 0; at < value.size(); ++count) {
                const std::size_t end = EscapedPartEnd(value, at, bytes);
                ASSERT_GT(end, at);
                ASSERT_LE(end, value.size());
                ASSERT_LE(end, at + std::max<std::size_t>(bytes, 1) + 4);
                partUnits += AppendEscaped(parts, value.substr(at, end - at));
                at = end;
            }
            EXPECT_EQ(parts, whole) << "parts of " << bytes << " bytes";
            EXPECT_EQ(partUnits, units) << "parts of " << bytes << " bytes";
            if (bytes > 0 && bytes < 4) {
                EXPECT_GT(count, 2);
            }
        }
    }
}

// A table drawn in parts of any size: each line's parts joined are the line drawn whole, and a row
// that came in parts counts once, when it is complete.
TEST(Transcript, ALineWrittenInPartsIsTheLineWrittenWhole)
{
    const auto fill = [](TMySQLPackedResult& result) {
        AddRow(result, {"ab\r\n\xD0\x9F\xF0\x9F\x98\x80", "\x80\x80\x80\x80x", nullptr});
        AddRow(result, {"\xE2\x82", "", "\tz"});
        AddRow(result, {"1", "2", "3"});
    };
    TMySQLPackedResult reference({"name\xD0\xB6", "n", "a long name"});
    fill(reference);
    const QStringList expected = Decoded(reference);
    for (std::size_t room = 1; room <= 24; ++room) {
        SCOPED_TRACE(testing::Message() << "parts of " << room << " bytes");
        TMySQLPackedResult result({"name\xD0\xB6", "n", "a long name"});
        fill(result);
        TTableLines table(result);
        QStringList lines;
        std::string line;
        int parts = 0;
        int rows = 0;
        while (table.Next(line, room)) {
            ++parts;
            if (!table.LineEnded()) {
                EXPECT_FALSE(table.WroteRow());
                continue;
            }
            rows += table.WroteRow();
            lines << QString::fromUtf8(line);
            line.clear();
        }
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(rows, 3);
        EXPECT_GT(parts, lines.size());
    }
}

// The storage of rows goes back while the table is written, not after it.
TEST(Transcript, RowsGoBackAsTheirLinesAreWritten)
{
    TMySQLPackedResult result({"v"}, 4096);
    const std::string value(1000, 'v');
    for (int i = 0; i < 40; ++i)
        AddRow(result, {value.c_str()});
    const std::size_t held = result.HeldBytes();
    ASSERT_GE(held, 10u * 4096);
    TTableLines table(result);
    std::string line;
    for (int i = 0; i < 3 + 30; ++i)
        ASSERT_TRUE(table.Next(line));
    EXPECT_LE(result.HeldBytes(), held / 4 + 4096);
}

class Tables : public testing::Test {
protected:
    void SetUp() override
    {
        ConfigureForTestServer(FDataSet);
        ASSERT_TRUE(FDataSet.Open()) << FDataSet.ErrorText();
        FDataSet.Query("USE brindle");
    }

    // The table of a result read as the console reads it.
    QStringList Draw(const std::string& sql)
    {
        TMySQLOutcome outcome = FDataSet.Execute(sql, TResultReading::Streamed);
        EXPECT_NE(outcome.Rows, nullptr) << sql << ": " << outcome.ErrorText;
        return outcome.Rows ? Decoded(*outcome.Rows) : QStringList();
    }

    TMySQLDataSet FDataSet;
};

TEST_F(Tables, WorkedExample)
{
    FDataSet.Query("CREATE TEMPORARY TABLE t (id INT, name VARCHAR(10))");
    FDataSet.Query("INSERT INTO t VALUES (1, 'Ann'), (22, NULL)");
    const QStringList expected = {
        "-- +----+------+", "-- | id | name |", "-- +----+------+", "-- | 1  | Ann  |",
        "-- | 22 |      |", "-- +----+------+", "-- 2 rows",
    };
    EXPECT_EQ(Draw("SELECT id, name FROM t"), expected);
}

TEST_F(Tables, WidthsAndEscapes)
{
    struct TCase {
        const char* Name;
        std::string Sql;
        QStringList Lines;
    };
    const TCase cases[] = {
        {"one row, empty and NULL in a one-letter column",
         "SELECT '' AS e UNION ALL SELECT NULL",
         {"-- +---+", "-- | e |", "-- +---+", "-- |   |", "-- |   |", "-- +---+", "-- 2 rows"}},
        {"escapes widen only their cell", "SELECT 'a\\tb' AS v UNION ALL SELECT 'abcd'",
         {"-- +------+", "-- | v    |", "-- +------+", "-- | a\\tb |", "-- | abcd |",
          "-- +------+", "-- 2 rows"}},
        {"characters, not bytes", "SELECT 'Привет' AS w, '\xF0\x9F\x98\x80' AS e",
         {"-- +--------+----+", "-- | w      | e  |", "-- +--------+----+",
          QString::fromUtf8("-- | Привет | \xF0\x9F\x98\x80 |"), "-- +--------+----+",
          "-- 1 rows"}},
        {"bytes that are not UTF-8", "SELECT UNHEX('D0') AS a, UNHEX('9F41') AS b",
         {"-- +---+----+", "-- | a | b  |", "-- +---+----+", "-- | \uFFFD | \uFFFDA |", "-- +---+----+",
          "-- 1 rows"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Draw(c.Sql), c.Lines) << c.Name;
}

TEST_F(Tables, MoreThan256ColumnsAreDrawnWhole)
{
    std::string sql = "SELECT 0 AS c0";
    for (int i = 1; i < 300; ++i)
        sql += ", " + std::to_string(i % 10) + " AS c" + std::to_string(i);
    const QStringList lines = Draw(sql);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[3].count(QLatin1Char('|')), 301);
    EXPECT_TRUE(lines[3].endsWith(" 9    |")) << lines[3].right(20).toStdString();
}

} // namespace
