// Scripts against the real server: what a partial failure leaves in the pane and the transcript, a
// selection, \G beside the command-line client, files run with source and from the menu, and the
// comment that once swallowed an INSERT.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "ConsoleTesting.h"
#include "QtPrinters.h"

namespace {

class Script : public Console {
protected:
    void SetUp() override
    {
        Console::SetUp();
        ASSERT_TRUE(Dir.isValid());
        // Tables of this connection's own, so that parallel runs do not meet.
        Suffix = QString::number(Frame.Session().State().ConnectionId);
    }

    QString Table(const char* name) const { return QString("%1_%2").arg(name, Suffix); }

    QString WriteFile(const QString& name, const QByteArray& content) const
    {
        const QString path = Dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QTemporaryDir Dir;
    QString Suffix;
};

// A script that fails in its third statement: the two before it ran and left the pane, the failed
// one and the rest stay, the error line names code, SQLSTATE and line. Fixing and running again
// repeats nothing.
TEST_F(Script, APartialFailureLeavesExactlyTheRestInThePane)
{
    const QString t = Table("partial");
    const int mark = Mark();
    Run("CREATE OR REPLACE TABLE " + t + " (a INT PRIMARY KEY);\r\n"
        "INSERT INTO " + t + " VALUES (1);\r\n"
        "INSERT INTO " + t + "\r\n  VALUES (1); INSERT INTO " + t + " VALUES (3);\r\n"
        "SELECT COUNT(*) AS n FROM " + t + ";");
    EXPECT_EQ(Since(mark), (QStringList{"mysql> CREATE OR REPLACE TABLE " + t + " (a INT PRIMARY KEY);",
                                        "-- Query Ok. 0 rows affected.",
                                        "mysql> INSERT INTO " + t + " VALUES (1);",
                                        "-- Query Ok. 1 rows affected.",
                                        "mysql> INSERT INTO " + t,
                                        "     > VALUES (1);",
                                        "-- Duplicate entry '1' for key 'PRIMARY'",
                                        "-- ERROR 1062 (23000) at line 3"}));
    EXPECT_EQ(LinesOf(Frame.mmQuery()), (QStringList{"INSERT INTO " + t, "  VALUES (1); INSERT INTO " + t + " VALUES (3);",
                                                     "SELECT COUNT(*) AS n FROM " + t + ";"}));
    EXPECT_EQ(QueryOnSession(Frame, "SELECT COUNT(*) FROM " + t.toStdString()), "1");

    Frame.mmQuery().Lines().Put(1, "  VALUES (2); INSERT INTO " + t + " VALUES (3);");
    Frame.RunQuery();
    WaitIdle(Frame);
    EXPECT_EQ(LinesOf(Frame.mmResult()).mid(LinesOf(Frame.mmResult()).size() - 3),
              (QStringList{"-- | 3 |", "-- +---+", "-- 1 rows"}));
    EXPECT_EQ(QueryOnSession(Frame, "SELECT COUNT(*) FROM " + t.toStdString()), "3");
    EXPECT_TRUE(LinesOf(Frame.mmQuery()).join("").isEmpty());
    QueryOnSession(Frame, "DROP TABLE " + t.toStdString());
}

// With a selection only the selected text runs, and the pane is left as it is.
TEST_F(Script, ASelectionRunsAloneAndLeavesThePane)
{
    const QString t = Table("selection");
    Run("CREATE OR REPLACE TABLE " + t + " (a INT); INSERT INTO " + t + " VALUES (1);");
    const QStringList typed = {"SELECT COUNT(*) AS n FROM " + t + ";", "DELETE FROM " + t + ";"};
    Type(typed.join("\r\n"));
    Frame.mmQuery().SetSelection(0, 0, 0, static_cast<int>(typed[0].size()));
    const int mark = Mark();
    Frame.RunQuery();
    WaitIdle(Frame);
    EXPECT_EQ(Since(mark), (QStringList{"mysql> " + typed[0], "-- +---+", "-- | n |", "-- +---+", "-- | 1 |",
                                        "-- +---+", "-- 1 rows"}));
    EXPECT_EQ(LinesOf(Frame.mmQuery()), typed);
    EXPECT_EQ(QueryOnSession(Frame, "SELECT COUNT(*) FROM " + t.toStdString()), "1");
    QueryOnSession(Frame, "DROP TABLE " + t.toStdString());
}

// A "-- " line inside a block comment is part of the comment: the INSERT after it reaches the
// server (it was once dropped with the comment running on, and the run reported success).
TEST_F(Script, ACommentLineInsideABlockCommentSwallowsNothing)
{
    const QString t = Table("audit_log");
    Run("CREATE OR REPLACE TABLE " + t + " (note TEXT)");
    Run("/* Step 1: record the run\r\n-- (keep this line) */\r\nINSERT INTO " + t + " VALUES ('step 1 ran');\r\n"
        "/* Step 2 */\r\nSELECT COUNT(*) AS n FROM " + t + ";");
    EXPECT_EQ(QueryOnSession(Frame, "SELECT COUNT(*) FROM " + t.toStdString()), "1");
    EXPECT_EQ(LinesOf(Frame.mmResult()).value(LinesOf(Frame.mmResult()).size() - 3), "-- | 1 |");
    QueryOnSession(Frame, "DROP TABLE " + t.toStdString());
}

// A TAB typed with the Tab key or pasted inside a literal reaches the server as a TAB; one pasted
// between two columns is blanks, which the server reads alike.
TEST_F(Script, ATabInsideALiteralReachesTheServerAsATab)
{
    THLEditor& pane = Frame.mmQuery();
    Type("SELECT HEX('a') AS typed;");
    pane.SetCaret(13, 0);
    pane.KeyDown(vkTab, 0);
    pane.KeyDown('B', 0);
    pane.KeyPress(U'b');
    pane.SetCaret(pane.LineLength(0), 0);
    pane.PasteText("\r\nSELECT HEX('a\tb') AS pasted,\tHEX('\t') AS tab;", -1);
    EXPECT_EQ(LinesOf(pane).value(0), "SELECT HEX('a\tb') AS typed;");
    EXPECT_EQ(LinesOf(pane).value(1), "SELECT HEX('a\tb') AS pasted," + QString(7, ' ') + "HEX('\t') AS tab;");
    const int mark = Mark();
    Frame.RunQuery();
    WaitIdle(Frame);
    const QStringList shown = Since(mark);
    EXPECT_TRUE(shown.contains("-- | 610962 |")) << shown.join("\n").toStdString();
    EXPECT_TRUE(shown.contains("-- | 610962 | 09  |")) << shown.join("\n").toStdString();
}

// \G shows the rows as the command-line client does, line for line, each behind "-- ".
TEST_F(Script, VerticalRowsMatchTheCommandLineClient)
{
    const QString sql = "SELECT 1 AS a, 'two words' AS longer_name, 3.5 AS c UNION SELECT 22, 'b', NULL";
    QProcess client;
    client.start("mariadb", {"--no-defaults", "-S", QString::fromStdString(TestServer().Socket), "-u",
                             QString::fromStdString(TestServer().User),
                             "-p" + QString::fromStdString(TestServer().Password), "-e", sql + "\\G"});
    ASSERT_TRUE(client.waitForFinished(30000));
    QStringList expected;
    for (const QString& line : QString::fromUtf8(client.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        expected << "-- " + line;
    ASSERT_FALSE(expected.isEmpty()) << client.readAllStandardError().toStdString();

    const int mark = Mark();
    // The transcript shows NULL as the table does, empty: the string stands in for it here.
    Run(QString(sql).replace("NULL", "'NULL'") + "\\G");
    EXPECT_EQ(Since(mark).mid(1), expected);
}

// source runs a file of DELIMITER-separated routines (all of them are created), nested files,
// relative to the working folder; a loop, a missing file, a file that is not UTF-8 and a failing
// statement each stop the script with a line that says why and where. Only outcomes are written.
TEST_F(Script, SourceRunsFilesAndRefusesWhatItCannotRun)
{
    const QString t = Table("sourced");
    WriteFile("routines.sql", QString("DROP TABLE IF EXISTS %1;\nCREATE TABLE %1 (a INT);\n"
                                      "DELIMITER ;;\n"
                                      "CREATE OR REPLACE PROCEDURE p_%2()\nBEGIN\n  INSERT INTO %1 VALUES (1);\n"
                                      "  SELECT COUNT(*) FROM %1;\nEND ;;\n"
                                      "CREATE OR REPLACE FUNCTION f_%2() RETURNS INT\nBEGIN\n  RETURN 2;\nEND;;\n"
                                      "DELIMITER $$\n"
                                      "CREATE OR REPLACE TRIGGER tr_%2 BEFORE INSERT ON %1 FOR EACH ROW\n"
                                      "BEGIN\n  SET NEW.a = NEW.a + 1;\nEND$$\nDELIMITER ;\n")
                                  .arg(t, Suffix)
                                  .toUtf8());
    WriteFile("outer.sql", "-- runs the routines\nsource routines.sql\n\\. ./inner/../routines.sql\n");
    QDir(Dir.path()).mkdir("inner");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(Dir.path());

    int mark = Mark();
    Run("source outer.sql");
    EXPECT_EQ(Since(mark), (QStringList{"mysql> source outer.sql", "-- Query Ok. 0 rows affected.",
                                        "-- Query Ok. 0 rows affected.", "-- Query Ok. 0 rows affected.",
                                        "-- Query Ok. 0 rows affected.", "-- Query Ok. 0 rows affected.",
                                        "-- Query Ok. 0 rows affected.", "-- Query Ok. 0 rows affected.",
                                        "-- Query Ok. 0 rows affected.", "-- Query Ok. 0 rows affected.",
                                        "-- Query Ok. 0 rows affected."}));
    EXPECT_EQ(QueryOnSession(Frame, "SELECT COUNT(*) FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = "
                                    "'brindle' AND ROUTINE_NAME IN ('p_" + Suffix.toStdString() + "', 'f_"
                                        + Suffix.toStdString() + "')"),
              "2");
    EXPECT_EQ(QueryOnSession(Frame, "SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_NAME = 'tr_"
                                        + Suffix.toStdString() + "'"),
              "1");
    EXPECT_EQ(Frame.Delimiter(), ";");

    WriteFile("a.sql", "SELECT 1 AS x;\nsource b.sql\n");
    WriteFile("b.sql", "source a.sql\n");
    WriteFile("latin1.sql", "SELECT 1;\nSELECT 'caf\xE9';\n");
    WriteFile("fails.sql", "SELECT 1 AS x;\n\nSELECT * FROM no_such_table;\nSELECT 3;\n");
    struct TCase {
        const char* Name;
        QString Script;
        QStringList Tail;
    };
    const TCase cases[] = {
        {"a loop", "source a.sql", {"-- Файл «a.sql» не выполнен: он уже выполняется (source по кругу)."}},
        {"a missing file", "\\. missing.sql", {"-- Не удалось открыть файл «missing.sql»: No such file or directory"}},
        {"not UTF-8", "source latin1.sql",
         {"-- Файл «latin1.sql», строка 2: текст не в UTF-8; выполнение остановлено."}},
        {"a failing statement", "source fails.sql",
         {"-- Table 'brindle.no_such_table' doesn't exist", "-- ERROR 1146 (42S02) at line 3 in file: 'fails.sql'"}},
    };
    for (const TCase& c : cases) {
        mark = Mark();
        Run(c.Script);
        const QStringList lines = Since(mark);
        EXPECT_EQ(lines.mid(lines.size() - c.Tail.size()), c.Tail) << c.Name;
        EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{c.Script}) << c.Name;
    }
    QDir::setCurrent(previous);
    QueryOnSession(Frame, "DROP TABLE " + t.toStdString());
    QueryOnSession(Frame, "DROP PROCEDURE p_" + Suffix.toStdString());
    QueryOnSession(Frame, "DROP FUNCTION f_" + Suffix.toStdString());
}

// A file run from the menu is read as it runs, shows its progress, and Ctrl+Break stops it: the
// running statement is cancelled on the server and the rest is not run.
TEST_F(Script, AFileRunShowsProgressAndStopsOnCancel)
{
    QByteArray content;
    for (int i = 0; i < 100; ++i)
        content += "SELECT SLEEP(0.1) AS s;\n";
    const QString path = WriteFile("slow.sql", content);
    const int mark = Mark();
    Frame.RunFile(path);
    ASSERT_TRUE(QTest::qWaitFor([this] { return Frame.BusyText().contains("запросов: "); }, 20000))
        << Frame.BusyText().toStdString();
    EXPECT_TRUE(QRegularExpression("^файл: 0,0 из 0,0 МБ · запросов: \\d+ · выполняется \\d+ с$").match(Frame.BusyText()).hasMatch())
        << Frame.BusyText().toStdString();
    QTest::qWait(200);
    Frame.CancelQuery();
    WaitIdle(Frame);
    const QStringList lines = Since(mark);
    EXPECT_EQ(lines.value(0), "-- Выполняется файл «" + path + "».");
    EXPECT_FALSE(lines.contains("mysql> SELECT SLEEP(0.1) AS s;"));
    EXPECT_LT(lines.count("-- | 0 |"), 90);
    ExpectTheNextStatementRuns();
}

// A client command the console does not know is refused with its name and never sent; help lists
// the commands.
TEST_F(Script, UnknownCommandsAreRefusedAndHelpListsTheCommands)
{
    int mark = Mark();
    Run("SELECT 1 AS x;\n\\x something\nSELECT 2 AS y;");
    EXPECT_EQ(Since(mark).mid(7), (QStringList{"mysql> \\x something",
                                               "-- Неизвестная команда «\\x»: на сервер не отправлена; список команд - help."}));
    EXPECT_EQ(LinesOf(Frame.mmQuery()), (QStringList{"\\x something", "SELECT 2 AS y;"}));
    mark = Mark();
    Run("help");
    EXPECT_EQ(Since(mark).value(0), "mysql> help");
    EXPECT_TRUE(Since(mark).value(1).startsWith("-- Команды клиента")) << Since(mark).value(1).toStdString();
}

} // namespace
