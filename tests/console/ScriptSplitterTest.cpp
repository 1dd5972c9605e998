// Scripts cut into statements: what the server must receive, statement by statement, for the
// delimiters, quotes, comments and routine bodies that real scripts hold.
#include "ScriptSplitter.h"

#include <gtest/gtest.h>

#include "QtPrinters.h"

namespace {

// Each statement as one string: its SQL, or a client command as "\command argument".
QStringList Split(const QString& script, const QString& delimiter = QStringLiteral(";"))
{
    TScriptSplitter splitter(delimiter);
    QStringList out;
    const auto take = [&] {
        TScriptStatement s;
        while (splitter.Next(s)) {
            switch (s.Command) {
            case TScriptCommand::Sql: out << (s.Vertical ? s.Sql + " \\G" : s.Sql); break;
            case TScriptCommand::Delimiter: out << "\\delimiter " + s.Argument; break;
            case TScriptCommand::Source: out << "\\source " + s.Argument; break;
            case TScriptCommand::Status: out << "\\status"; break;
            case TScriptCommand::Warnings: out << "\\warnings"; break;
            case TScriptCommand::NoWarnings: out << "\\nowarning"; break;
            case TScriptCommand::Help: out << "\\help"; break;
            case TScriptCommand::Unknown: out << "\\unknown " + s.Argument; break;
            case TScriptCommand::Invalid: out << "\\invalid"; break;
            }
        }
    };
    for (const QString& line : script.split(u'\n')) {
        splitter.AddLine(line);
        take();
    }
    splitter.Finish();
    take();
    return out;
}

TEST(ScriptSplitter, StatementsTheServerReceives)
{
    struct TCase {
        const char* Name;
        QString Script;
        QStringList Statements;
    };
    const TCase cases[] = {
        {"one statement, no delimiter", "SELECT 1", {"SELECT 1"}},
        {"two on a line, a trailing one without delimiter", "SELECT 1; SELECT 2;\nSELECT 3",
         {"SELECT 1", "SELECT 2", "SELECT 3"}},
        {"lines joined with LF, trimmed outside literals", "  SELECT 1,\n\t2  \n FROM dual;", {"SELECT 1,\n2\nFROM dual"}},
        {"CR LF", "SELECT 1;\r\nSELECT 2\r\n;\r\n", {"SELECT 1", "SELECT 2\n"}},
        {"empty statements send nothing", ";;\n;  ;\nSELECT 1;;", {"SELECT 1"}},
        {"a delimiter in a literal, a name and comments", "SELECT ';', `a;b`, \"c;\" -- d;\n# e;\n/* f; */ FROM t;",
         {"SELECT ';', `a;b`, \"c;\" -- d;\n# e;\n/* f; */ FROM t"}},
        {"escapes and doubled quotes keep a string open", "SELECT 'it\\'s;', 'a''b;';SELECT `x``;`;",
         {"SELECT 'it\\'s;', 'a''b;'", "SELECT `x``;`"}},
        {"a backslash does not escape in backquotes", "SELECT 1 AS `a\\`; SELECT 2;", {"SELECT 1 AS `a\\`", "SELECT 2"}},
        {"/*! */ is SQL, its ; ends a statement", "/*!40101 SET @a=1 */;\n/*!40101 SET @b=2;*/",
         {"/*!40101 SET @a=1 */", "/*!40101 SET @b=2", "*/"}},
        {"comment lines left out, \"--\" alone kept", "-- note\nSELECT 1\n  -- another\n-- \n+1;", {"SELECT 1\n--\n+1"}},
        {"only comments and blanks", "-- a\n\n   -- b\n/* c */\n# d", {}},
        {"-- without a blank is no comment", "SELECT 1--1;", {"SELECT 1--1"}},
        {"-- lines inside a block comment are kept (a swallowed INSERT)",
         "/* Step 1: record the run\n-- (keep this line) */\nINSERT INTO audit_log VALUES ('step 1 ran');\n"
         "/* Step 2 */\nSELECT COUNT(*) FROM audit_log;",
         {"/* Step 1: record the run\n-- (keep this line) */\nINSERT INTO audit_log VALUES ('step 1 ran')",
          "/* Step 2 */\nSELECT COUNT(*) FROM audit_log"}},
        {"a quote in a block comment opens nothing", "SELECT /* it's\n  -- inside */ 1\n  , 2;",
         {"SELECT /* it's\n-- inside */ 1\n, 2"}},
        {"a string over lines is kept exactly",
         "INSERT INTO t VALUES ('line one  \n    indented line\t\n-- not a comment\n\nlast;')  ;",
         {"INSERT INTO t VALUES ('line one  \n    indented line\t\n-- not a comment\n\nlast;')"}},
        {"a name over lines", "SELECT 1 AS `two \n  words`;", {"SELECT 1 AS `two \n  words`"}},
        {"a string never closed runs to the end", "SELECT 'open;\n  rest  ", {"SELECT 'open;\n  rest  "}},
        {"DELIMITER of two characters", "DELIMITER ;;\nSELECT 1;2;;\nDELIMITER ;\nSELECT 3;",
         {"\\delimiter ;;", "SELECT 1;2", "\\delimiter ;", "SELECT 3"}},
        {"DELIMITER $$ right after a word", "delimiter $$\nCREATE PROCEDURE p() BEGIN SELECT 1; END$$\ndelimiter ;",
         {"\\delimiter $$", "CREATE PROCEDURE p() BEGIN SELECT 1; END", "\\delimiter ;"}},
        {"DELIMITER of three characters in a literal", "DELIMITER //;\nSELECT '//;' //;\nSELECT 2//;",
         {"\\delimiter //;", "SELECT '//;'", "SELECT 2"}},
        {"a procedure without DELIMITER",
         "CREATE PROCEDURE p()\nBEGIN\n  DECLARE x INT;\n  IF x THEN SELECT 1; END IF;\n"
         "  CASE x WHEN 1 THEN SELECT 2; END CASE;\n  WHILE x DO SET x = 0; END WHILE;\nEND;\nSELECT 3;",
         {"CREATE PROCEDURE p()\nBEGIN\nDECLARE x INT;\nIF x THEN SELECT 1; END IF;\n"
          "CASE x WHEN 1 THEN SELECT 2; END CASE;\nWHILE x DO SET x = 0; END WHILE;\nEND",
          "SELECT 3"}},
        {"a function with a definer and a CASE expression",
         "CREATE OR REPLACE DEFINER=`root`@`%` FUNCTION f(a INT) RETURNS INT\nBEGIN\n"
         "  RETURN CASE a WHEN 1 THEN 2 ELSE 3 END;\nEND;\nSELECT f(1);",
         {"CREATE OR REPLACE DEFINER=`root`@`%` FUNCTION f(a INT) RETURNS INT\nBEGIN\n"
          "RETURN CASE a WHEN 1 THEN 2 ELSE 3 END;\nEND",
          "SELECT f(1)"}},
        {"a trigger and a one-statement function",
         "CREATE TRIGGER tr BEFORE INSERT ON t FOR EACH ROW BEGIN SET NEW.a = 1; END;\n"
         "CREATE FUNCTION g() RETURNS INT RETURN 1; SELECT g();",
         {"CREATE TRIGGER tr BEFORE INSERT ON t FOR EACH ROW BEGIN SET NEW.a = 1; END",
          "CREATE FUNCTION g() RETURNS INT RETURN 1", "SELECT g()"}},
        {"BEGIN NOT ATOMIC, and BEGIN as a transaction",
         "BEGIN NOT ATOMIC\n  DECLARE i INT DEFAULT 0;\n  lbl: LOOP LEAVE lbl; END LOOP;\nEND;\nBEGIN; COMMIT;",
         {"BEGIN NOT ATOMIC\nDECLARE i INT DEFAULT 0;\nlbl: LOOP LEAVE lbl; END LOOP;\nEND", "BEGIN", "COMMIT"}},
        {"the plain text of a long INSERT passed over, what matters in it still seen",
         "INSERT INTO t VALUES (1,'a;b'),(2e-3,\"c;\"),(3/4--1,`e;`) /* ; */ # x;\n, (5) -- y;\n;",
         {"INSERT INTO t VALUES (1,'a;b'),(2e-3,\"c;\"),(3/4--1,`e;`) /* ; */ # x;\n, (5) -- y;\n"}},
        {"CREATE TABLE is no routine", "CREATE TABLE t (a INT DEFAULT 1); SELECT 1;",
         {"CREATE TABLE t (a INT DEFAULT 1)", "SELECT 1"}},
        {"\\G and ego end a statement", "SELECT 1\\G SELECT 2\\g\nSELECT 3\nego\nSELECT 4\ngo",
         {"SELECT 1 \\G", "SELECT 2", "SELECT 3 \\G", "SELECT 4"}},
        {"client commands on lines of their own",
         "source ~/a b.sql;\n\\. 'x.sql'\nstatus\n\\s\nwarnings;\n\\w\nhelp\n\\?\nuse brindle\n\\u my db\n",
         {"\\source ~/a b.sql", "\\source x.sql", "\\status", "\\status", "\\warnings", "\\nowarning", "\\help",
          "\\help", "use brindle", "USE `my db`"}},
        {"command words inside a statement are SQL", "SELECT\nstatus\nFROM t;\nSELECT status FROM t;",
         {"SELECT\nstatus\nFROM t", "SELECT status FROM t"}},
        {"an unknown backslash command is never sent", "SELECT 1;\n\\x foo\nSELECT 2;",
         {"SELECT 1", "\\unknown \\x", "SELECT 2"}},
        {"a backslash in a literal is no command", "SELECT '\\G', \"\\x\";", {"SELECT '\\G', \"\\x\""}},
        {"an empty DELIMITER is refused", "DELIMITER\nSELECT 1;", {"\\invalid", "SELECT 1"}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Split(c.Script), c.Statements) << c.Name;
}

// The delimiter a console keeps between runs is where the next script starts.
TEST(ScriptSplitter, StartsWithTheConsolesDelimiter)
{
    EXPECT_EQ(Split("SELECT 1; SELECT 2$$", "$$"), QStringList{"SELECT 1; SELECT 2"});
    TScriptSplitter splitter;
    splitter.AddLine(u"DELIMITER //");
    EXPECT_EQ(splitter.Delimiter(), "//");
}

// Lines are counted from 1 where each statement begins; the echo keeps the delimiter as typed; the
// end of each statement is where the pane is cut after a failure.
TEST(ScriptSplitter, LinesEchoAndEnds)
{
    TScriptSplitter splitter;
    for (const char* line : {"-- header", "SELECT 1;", "", "SELECT", "  2  ;  SELECT 3", "\\G"})
        splitter.AddLine(QString::fromUtf8(line));
    splitter.Finish();
    struct TExpected {
        int Line;
        QString Echo;
        int EndLine;
        int EndColumn;
    };
    const TExpected expected[] = {{2, "SELECT 1;", 1, 9}, {4, "SELECT\n2;", 4, 6}, {5, "SELECT 3\n\\G", 5, 2}};
    TScriptStatement s;
    for (const TExpected& e : expected) {
        ASSERT_TRUE(splitter.Next(s));
        EXPECT_EQ(s.Line, e.Line) << e.Echo.toStdString();
        EXPECT_EQ(s.Echo(), e.Echo);
        EXPECT_EQ(s.EndLine, e.EndLine) << e.Echo.toStdString();
        EXPECT_EQ(s.EndColumn, e.EndColumn) << e.Echo.toStdString();
    }
    EXPECT_FALSE(splitter.Next(s));
}

} // namespace
