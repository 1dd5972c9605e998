// The transcript's line formats, and result tables drawn from real result sets.
#include "Transcript.h"

#include <gtest/gtest.h>

#include "MySQLClasses.h"
#include "QtPrinters.h"
#include "TestServer.h"

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
        QString Shown;
    };
    const TCase cases[] = {
        {"a\tb", "a\\tb"},
        {"a\r\nb", "a\\nb"},
        {"a\rb\nc", "a\\nb\\nc"},
        {"\r\r\n", "\\n\\n"},
        {std::string("a\0b", 3), "a\\0b"},
        {"caf\xE9!", QString::fromUtf8("caf\xEF\xBF\xBD!")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeValue(c.Value), c.Shown);
}

class Tables : public testing::Test {
protected:
    void SetUp() override
    {
        ConfigureForTestServer(FDataSet);
        ASSERT_TRUE(FDataSet.Open()) << FDataSet.ErrorText();
        FDataSet.Query("USE brindle");
    }

    QStringList Draw(const std::string& sql)
    {
        auto result = FDataSet.Query(sql);
        EXPECT_NE(result, nullptr) << sql << ": " << FDataSet.ErrorText();
        QStringList lines;
        if (result)
            TableLines(*result, [&](const QString& line) { lines << line; });
        return lines;
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
