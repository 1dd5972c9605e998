// The files a statement names in LOAD DATA LOCAL INFILE, read as the server reads the statement.
#include "LocalInfileNames.h"

#include <gtest/gtest.h>

#include "QtPrinters.h"

namespace {

using TNames = std::vector<std::string>;

TEST(LocalInfileNames, ReadsTheStatementAsTheServerDoes)
{
    struct TCase {
        const char* Name;
        QString Sql;
        TNames Expected;
    };
    const TCase cases[] = {
        {"plain", "LOAD DATA LOCAL INFILE '/tmp/a.csv' INTO TABLE t", {"/tmp/a.csv"}},
        {"lower case, line breaks, double quotes", "load\ndata  local\tinfile \"b.csv\" into table t", {"b.csv"}},
        {"priority words and XML", "LOAD DATA LOW_PRIORITY LOCAL INFILE 'c' INTO TABLE t; "
                                   "LOAD XML CONCURRENT LOCAL INFILE 'd.xml' INTO TABLE u", {"c", "d.xml"}},
        {"comments between the words", "LOAD /* x */ DATA -- y\nLOCAL # z\nINFILE 'e' INTO TABLE t", {"e"}},
        {"a statement run from a comment", "/*!50000 LOAD DATA LOCAL INFILE 'f' INTO TABLE t */", {"f"}},
        {"escapes, both readings", R"(LOAD DATA LOCAL INFILE 'it''s\\a\nb' INTO TABLE t)",
         {"it's\\a\nb", R"(it's\\a\nb)"}},
        {"a name over two lines", "LOAD DATA LOCAL INFILE 'two\nlines.csv' INTO TABLE t", {"two\nlines.csv"}},
        {"a name that is not ASCII", "LOAD DATA LOCAL INFILE 'файл.csv' INTO TABLE t", {"файл.csv"}},
        {"without LOCAL the server reads its own file", "LOAD DATA INFILE 'g' INTO TABLE t", {}},
        {"inside a string", "SELECT 'LOAD DATA LOCAL INFILE ''h'' INTO TABLE t'", {}},
        {"inside a comment", "SELECT 1 /* LOAD DATA LOCAL INFILE 'i' */ -- LOAD DATA LOCAL INFILE 'j'", {}},
        {"inside a quoted name", "SELECT 1 AS `LOAD DATA LOCAL INFILE 'k'`", {}},
        {"a name that is not a string", "LOAD DATA LOCAL INFILE @f INTO TABLE t", {}},
        {"no statement", "SELECT 1", {}},
        {"cut short", "LOAD DATA LOCAL INFILE 'unclosed", {"unclosed"}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(LocalInfileNames(c.Sql), c.Expected) << c.Name;
}

} // namespace
