// The statement built from the query pane's lines: what is trimmed, what is left out, and what is
// kept exactly because it lies inside quotes.
#include "StatementText.h"

#include <gtest/gtest.h>

#include "QtPrinters.h"

namespace {

TEST(StatementText, LinesAreTrimmedAndCommentLinesLeftOutOutsideQuotes)
{
    struct TCase {
        const char* Name;
        QStringList Lines;
        QString Statement;
    };
    const TCase cases[] = {
        {"lines joined with LF", {"  SELECT 1", "\tFROM dual  "}, "SELECT 1\nFROM dual"},
        {"blank lines before the first kept line leave nothing", {"", "  ", "SELECT 1", "", "x"},
         "SELECT 1\n\nx"},
        {"comment lines left out, \"--\" alone kept", {"-- note", "SELECT 1", "  -- another", "-- ", "+1"},
         "SELECT 1\n--\n+1"},
        {"only comments and blanks", {"-- a", "", "   -- b"}, ""},
        {"a quote in a comment line opens nothing", {"-- don't", "SELECT 1", "  # it's", "  , 2  "},
         "SELECT 1\n# it's\n, 2"},
        {"a quote in a block comment opens nothing", {"SELECT /* it's", "  -- inside */ 1", "  , 2"},
         "SELECT /* it's\n, 2"},
        {"-- without a blank after it is no comment", {"SELECT 1--'", "  text  ", "'"},
         "SELECT 1--'\n  text  \n'"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(BuildStatement(c.Lines), c.Statement) << c.Name;
}

TEST(StatementText, QuotedTextSpanningLinesIsKeptExactly)
{
    struct TCase {
        const char* Name;
        QStringList Lines;
        QString Statement;
    };
    const TCase cases[] = {
        {"a string over three lines",
         {"INSERT INTO t VALUES ('line one  ", "    indented line\t", "-- not a comment", "", "last')  "},
         "INSERT INTO t VALUES ('line one  \n    indented line\t\n-- not a comment\n\nlast')"},
        {"a double-quoted string", {"SELECT \"a ", "  b\" AS x"}, "SELECT \"a \n  b\" AS x"},
        {"a back-quoted name", {"SELECT 1 AS `two ", "  words`"}, "SELECT 1 AS `two \n  words`"},
        {"doubled quotes do not close", {"SELECT 'it''s ", "  ok'"}, "SELECT 'it''s \n  ok'"},
        {"an escaped quote does not close", {"SELECT 'it\\'s ", "  ok'"}, "SELECT 'it\\'s \n  ok'"},
        {"an escaped backslash does", {"SELECT 'a\\\\'  ", "  , 1"}, "SELECT 'a\\\\'\n, 1"},
        {"a backslash does not escape in back quotes", {"SELECT 1 AS `a\\`  ", "  , 2"},
         "SELECT 1 AS `a\\`\n, 2"},
        {"the other quote inside a string", {"SELECT 'say \"hi ", "  there\"'"},
         "SELECT 'say \"hi \n  there\"'"},
        {"a string that closes and one that opens on one line", {"SELECT 'a', 'b ", "  c'"},
         "SELECT 'a', 'b \n  c'"},
        {"a string never closed keeps its lines to the end", {"SELECT 'open", "  rest  "},
         "SELECT 'open\n  rest  "},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(BuildStatement(c.Lines), c.Statement) << c.Name;
}

} // namespace
