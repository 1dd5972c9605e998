// The console against a real server: statements and their transcript, the query history, the status
// panels and the focus; statements that run while the window answers, and their cancel.
#include "UnitEditorFrame.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>

#include "EditorCommands.h"
#include "EditorView.h"
#include "HLEditor.h"
#include "ConsoleTesting.h"
#include "ModalWindows.h"
#include "QtPrinters.h"
#include "TestServer.h"

namespace {

TEST_F(Console, WorkedExampleComesOutCharacterForCharacter)
{
    Run("CREATE TEMPORARY TABLE t (id INT, name VARCHAR(10))");
    Run("INSERT INTO t VALUES (1, 'Ann'), (22, NULL)");
    const int mark = Mark();
    Run("SELECT id, name\r\nFROM t;");
    const QStringList expected = {
        "mysql> SELECT id, name", "     > FROM t;", "-- +----+------+", "-- | id | name |",
        "-- +----+------+",       "-- | 1  | Ann  |", "-- | 22 |      |", "-- +----+------+",
        "-- 2 rows",
    };
    EXPECT_EQ(Since(mark), expected);
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList());
    // The caret rests at the start of the last line; the focus is back in the query pane.
    EXPECT_EQ(Frame.mmResult().CaretX(), 0);
    EXPECT_EQ(Frame.mmResult().CaretY(), Frame.mmResult().Lines().Count() - 1);
    EXPECT_EQ(Frame.mmResult().UpdateCount(), 0);
    EXPECT_TRUE(Frame.QueryView()->hasFocus());
}

TEST_F(Console, OutcomeLines)
{
    Run("CREATE TEMPORARY TABLE u (a INT)");
    struct TCase {
        const char* Name;
        QString Sql;
        QStringList Lines;
        bool PaneEmptied;
    };
    const TCase cases[] = {
        {"update of three rows", "INSERT INTO u VALUES (1), (2), (3)",
         {"mysql> INSERT INTO u VALUES (1), (2), (3)", "-- Query Ok. 3 rows affected."}, true},
        {"empty set", "SELECT a FROM u WHERE a > 9", {"mysql> SELECT a FROM u WHERE a > 9", "-- Empty set."},
         true},
        {"one row, plural kept", "SELECT 5 AS n",
         {"mysql> SELECT 5 AS n", "-- +---+", "-- | n |", "-- +---+", "-- | 5 |", "-- +---+", "-- 1 rows"},
         true},
        {"use after blank lines, any case", "\r\n  UsE brindle", {"mysql> UsE brindle", "-- Database selected"},
         true},
        {"use and a line break is not recognised", "use\r\nbrindle",
         {"mysql> use", "     > brindle", "-- Query Ok. 0 rows affected."}, true},
        {"a failing use prints its error", "use no_such_db",
         {"mysql> use no_such_db", "-- Access denied for user 'brindle'@'%' to database 'no_such_db'"},
         false},
    };
    for (const auto& c : cases) {
        const int mark = Mark();
        Run(c.Sql);
        EXPECT_EQ(Since(mark), c.Lines) << c.Name;
        EXPECT_EQ(Frame.mmQuery().Lines().Count() == 0, c.PaneEmptied) << c.Name;
    }
}

TEST_F(Console, ErrorsAreWrappedAndThePaneKeepsTheStatement)
{
    const QString message = "The table named in this statement is locked by another connection at the "
                            "moment, so the server refused to run it";
    Run("CREATE OR REPLACE PROCEDURE refuse() SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '" + message + "'");
    const int mark = Mark();
    Run("CALL refuse()");
    // The last piece was appended with a trailing blank, which the pane does not keep.
    const QStringList expected = {
        "mysql> CALL refuse()",
        "-- The table named in this statement is locked by another connection",
        "-- at the moment, so the server refused to run it",
    };
    EXPECT_EQ(Since(mark), expected);
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"CALL refuse()"});
    EXPECT_TRUE(Frame.QueryView()->hasFocus());
}

// The server drops the console's connection: every statement then says so and names the key that
// brings it back; Reconnect does, in the database the console had.
TEST_F(Console, ALostConnectionShowsAsTheNextStatementsError)
{
    Run("USE information_schema");
    TMySQLDataSet killer;
    ConfigureForTestServer(killer);
    ASSERT_TRUE(killer.Open());
    killer.Query("KILL " + std::to_string(Frame.Session().State().ConnectionId));

    struct TCase {
        const char* Sql;
        const char* Error;
    };
    const TCase cases[] = {
        {"SELECT 1", "-- Lost connection to server during query"},
        {"SELECT 2", "-- Server has gone away"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Sql);
        const int mark = Mark();
        Run(c.Sql);
        EXPECT_EQ(Since(mark), (QStringList{QStringLiteral("mysql> ") + c.Sql, c.Error, kLostConnectionHint}));
        EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{c.Sql});
    }

    Frame.ReopenConnection();
    WaitIdle(Frame);
    EXPECT_EQ(LinesOf(Frame.mmResult()).last(),
              QString("-- Переподключено: сервер %1, база данных `information_schema`.")
                  .arg(QString::fromStdString(Frame.Session().State().ServerVersion)));
    // Back in that database; a statement that the server refuses says nothing of the connection.
    const int mark = Mark();
    Run("SELECT DATABASE() AS db; SELECT * FROM no_such");
    EXPECT_EQ(Since(mark).mid(1), (QStringList{"-- +--------------------+", "-- | db                 |",
                                               "-- +--------------------+", "-- | information_schema |",
                                               "-- +--------------------+", "-- 1 rows",
                                               "mysql> SELECT * FROM no_such",
                                               "-- Unknown table 'no_such' in information_schema",
                                               "-- ERROR 1109 (42S02) at line 1"}));
    ExpectTheNextStatementRuns();
}

TEST_F(Console, HistoryOrderAndCase)
{
    Run("SELECT 'a'");
    Run("SELECT 'b'");
    Run("select 'A'"); // the same entry as the first: it moves to the end and keeps its text
    EXPECT_EQ(Frame.History(), (QStringList{"\"SELECT 'b'\"", "\"SELECT 'a'\""}));
    EXPECT_EQ(Frame.HistoryIndex(), 2);

    Frame.HistoryBack();
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT 'a'"});
    Frame.HistoryBack();
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT 'b'"});
    Frame.HistoryBack();
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT 'b'"});
    EXPECT_EQ(Frame.HistoryIndex(), 0);
    Frame.HistoryForward();
    Frame.HistoryForward();
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList());
    EXPECT_EQ(Frame.HistoryIndex(), 2);
    Frame.HistoryForward();
    EXPECT_EQ(Frame.HistoryIndex(), 2);

    // Cyrillic letters fold too.
    Run("SELECT 'Привет'");
    Run("SELECT 'ПРИВЕТ'");
    EXPECT_EQ(Frame.History().size(), 3);
    EXPECT_EQ(Frame.History().last(), "\"SELECT 'Привет'\"");
}

TEST_F(Console, CommentsAndBlankLinesInTheQueryPane)
{
    // Only comments and blank lines: nothing is echoed, run or recorded.
    const int mark = Mark();
    Run("-- just a note\r\n\r\n   -- another");
    EXPECT_EQ(Since(mark), QStringList());
    EXPECT_TRUE(Frame.History().isEmpty());

    // A comment line inside a statement is neither sent nor echoed, but the history keeps it; a line
    // of "-- " alone trims to "--" and is sent.
    const QString typed = "SELECT 1 AS \"a, b\"\r\n  -- the note\r\n\r\n--\r\n, 2 AS two";
    Run(typed);
    const QStringList lines = Since(mark);
    const QStringList expected = {
        "mysql> SELECT 1 AS \"a, b\"", "     > --", "     > , 2 AS two", "-- +------+-----+",
        "-- | a, b | two |", "-- +------+-----+", "-- | 1    | 2   |", "-- +------+-----+", "-- 1 rows",
    };
    EXPECT_EQ(lines, expected);

    Frame.ClearPanes();
    EXPECT_EQ(Frame.mmResult().Lines().Count(), 0);
    Frame.HistoryBack();
    EXPECT_EQ(LinesOf(Frame.mmQuery()),
              (QStringList{"SELECT 1 AS \"a, b\"", "  -- the note", "", "--", ", 2 AS two"}));
}

TEST_F(Console, NewConsoleHistoryEdges)
{
    Type("typed, not run");
    Frame.HistoryBack();
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"typed, not run"});
    EXPECT_EQ(Frame.HistoryIndex(), -1);
    Frame.HistoryForward();
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList());
    EXPECT_EQ(Frame.HistoryIndex(), 0);
    Type("again");
    Frame.HistoryForward();
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"again"});
}

// Whether and how the connection is encrypted shows below the transcript, without opening anything.
TEST_F(Console, TheTranscriptsStatusShowsTheEncryption)
{
    const auto panels = Frame.StatusBarResult()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 2);
    EXPECT_TRUE(panels[1]->text().startsWith("TLS 1.")) << panels[1]->text().toStdString();
    const std::string cipher = QueryOnSession(
        Frame, "SELECT VARIABLE_VALUE FROM information_schema.SESSION_STATUS WHERE VARIABLE_NAME = 'Ssl_cipher'");
    ASSERT_FALSE(cipher.empty());
    // The default mode takes any certificate, and says so.
    EXPECT_TRUE(panels[1]->text().endsWith(", " + QString::fromStdString(cipher) + ", сервер не проверен"))
        << panels[1]->text().toStdString();
    EXPECT_EQ(panels[1]->textFormat(), Qt::PlainText);
}

TEST_F(Console, StatusPanelsAndFocus)
{
    EXPECT_EQ(Frame.StatusText(Frame.StatusBarQuery()), "    0: 0");
    EXPECT_EQ(Frame.StatusText(Frame.StatusBarResult()), "    0: 0");

    Type(QString("x\r\n").repeated(13));
    Frame.mmQuery().SetCaret(4, 12);
    EXPECT_EQ(Frame.StatusText(Frame.StatusBarQuery()), "   12: 4");

    Run("SELECT seq FROM seq_1_to_123456");
    // 123456 rows and the table's frame, the echo first: the caret rests on the last line.
    EXPECT_EQ(Frame.StatusText(Frame.StatusBarResult()),
              QString("%1: 0").arg(Frame.mmResult().Lines().Count() - 1));
    EXPECT_GE(Frame.mmResult().Lines().Count(), 123456);

    Frame.FocusQueryPane();
    Frame.SwapPaneFocus();
    EXPECT_TRUE(Frame.ResultView()->hasFocus());
    Frame.SwapPaneFocus();
    EXPECT_TRUE(Frame.QueryView()->hasFocus());
}

// Loading a whole text into the query pane (a run that empties it, a recall, ClearPanes) starts its
// undo buffer afresh: Ctrl+Z never applies what was typed into an earlier text, and no selection of
// the earlier text survives.
TEST_F(Console, UndoAfterARunARecallAndClearPanesKeepsThePane)
{
    TEditorView* view = Frame.QueryView();
    view->setFocus();
    auto press = [view](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(view, key, modifiers);
    };
    QTest::keyClicks(view, "select 7");
    press(Qt::Key_Return);
    QTest::keyClicks(view, "             as n");
    ASSERT_EQ(LinesOf(Frame.mmQuery()), (QStringList{"select 7", "             as n"}));
    Frame.RunQuery();
    WaitIdle(Frame);
    ASSERT_EQ(Frame.mmQuery().Lines().Count(), 0) << "the statement succeeded";
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Frame.mmQuery().Lines().Count(), 0) << "after a run";

    Frame.HistoryBack();
    ASSERT_EQ(LinesOf(Frame.mmQuery()), (QStringList{"select 7", "             as n"}));
    for (int i = 0; i < 3; ++i)
        press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(Frame.mmQuery()), (QStringList{"select 7", "             as n"})) << "after a recall";

    Run("select 1,\r\n2,\r\n3");
    Run("select 8");
    Type("abc\r\ndef");
    press(Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(Frame.mmQuery().Selected());
    Frame.HistoryBack();
    EXPECT_FALSE(Frame.mmQuery().Selected()) << "a recall drops the selection";
    QTest::keyClicks(view, "x");
    EXPECT_EQ(LinesOf(Frame.mmQuery()), (QStringList{"xselect 8"}));

    Frame.ClearPanes();
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Frame.mmQuery().Lines().Count(), 0) << "after ClearPanes";
    EXPECT_FALSE(Frame.mmQuery().CanUndo());
}

// An error of an editor stops at its view and reaches the user as a message box.
TEST_F(Console, AnEditorErrorIsShownInAMessageBox)
{
    TMessageBoxes boxes;
    Frame.QueryView()->PostCommand(cmdEndUpdate);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes.Seen()[0].Text.startsWith("Assertion failure")) << boxes.Seen()[0].Text.toStdString();
    EXPECT_EQ(Frame.mmQuery().UpdateCount(), 0);
}

// While a statement waits for the server the window answers, the console shows how long it has
// been busy and runs nothing else, and another console runs its own statement meanwhile.
TEST_F(Console, TheWindowAnswersWhileAStatementRuns)
{
    TEditorFrame other;
    ASSERT_NO_FATAL_FAILURE(ConnectConsole(other, ServerInfo()));

    const int mark = Mark();
    TStallMeter meter;
    Type("SELECT SLEEP(3) AS slept");
    Frame.RunQuery();
    // The echo is there at once.
    EXPECT_EQ(Since(mark), QStringList{"mysql> SELECT SLEEP(3) AS slept"});
    EXPECT_TRUE(Frame.RunningStatement());
    EXPECT_EQ(Frame.BusyText(), "выполняется 0 с");

    // Nothing else starts in a busy console.
    Type("SELECT 2");
    Frame.RunQuery();
    Frame.ExecuteStatement("SELECT 3");
    EXPECT_EQ(Since(mark).size(), 1);
    EXPECT_EQ(Frame.History().size(), 1);

    other.mmQuery().Lines().SetText("SELECT 1 AS one");
    other.RunQuery();
    WaitIdle(other);
    EXPECT_TRUE(Frame.Busy()) << "the other console's statement did not finish first";
    EXPECT_EQ(LinesOf(other.mmResult()).value(4), "-- | 1   |");

    // The panel counts the seconds up.
    ASSERT_TRUE(QTest::qWaitFor([this] { return Frame.BusyText() != "выполняется 0 с"; }, 2500));
    EXPECT_TRUE(Frame.BusyText() == "выполняется 1 с" || Frame.BusyText() == "выполняется 2 с")
        << Frame.BusyText().toStdString();
    WaitIdle(Frame);
    std::printf("longest gap between 5 ms timer ticks during SELECT SLEEP(3): %lld ms\n",
                static_cast<long long>(meter.LongestMs()));
    EXPECT_LT(meter.LongestMs(), 1000);
    EXPECT_EQ(Since(mark).value(4), "-- | 0     |");
    // Once idle, the panel tells how long the statement took.
    EXPECT_TRUE(QRegularExpression("^\\d+,\\d+ с$").match(Frame.BusyText()).hasMatch()) << Frame.BusyText().toStdString();
    EXPECT_FALSE(Frame.Busy());
}

TEST_F(Console, CancelEndsAStatementWithTheServersErrorAndTheConsoleGoesOn)
{
    const std::uint64_t id = Frame.Session().State().ConnectionId;
    Type("SELECT SLEEP(30)");
    Frame.RunQuery();
    // The statement must have reached the server to be killed there.
    ASSERT_TRUE(WaitUntilServerRuns(id, "SELECT SLEEP"));
    const int mark = Mark();
    QElapsedTimer took;
    took.start();
    Frame.CancelQuery();
    WaitIdle(Frame, 15000);
    std::printf("cancel of SELECT SLEEP(30) took %lld ms\n", static_cast<long long>(took.elapsed()));
    EXPECT_LT(took.elapsed(), 10000);
    EXPECT_EQ(Since(mark), QStringList{"-- Query execution was interrupted"});
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT SLEEP(30)"});

    ExpectTheNextStatementRuns();
}

// Closing a console while its statement runs stops the statement on the server, without waiting
// for it.
TEST(ConsoleFrame, ClosingDuringAStatementCancelsIt)
{
    auto frame = std::make_unique<TEditorFrame>();
    ASSERT_NO_FATAL_FAILURE(ConnectConsole(*frame, ServerInfo()));
    const std::uint64_t id = frame->Session().State().ConnectionId;
    frame->mmQuery().Lines().SetText("SELECT SLEEP(30)");
    frame->RunQuery();
    ASSERT_TRUE(WaitUntilServerRuns(id, "SELECT SLEEP"));

    QElapsedTimer took;
    took.start();
    frame.reset();
    std::printf("closing a console during SELECT SLEEP(30) took %lld ms\n",
                static_cast<long long>(took.elapsed()));
    EXPECT_LT(took.elapsed(), 5000);

    EXPECT_TRUE(StatementGone(id, "SELECT SLEEP")) << "the statement still runs on the server";
}

// What is typed or recalled into the query pane while a statement runs stays there.
TEST_F(Console, TextTypedDuringARunIsKept)
{
    Type("SELECT SLEEP(1)");
    Frame.RunQuery();
    QTest::keyClick(Frame.QueryView(), Qt::Key_End);
    QTest::keyClicks(Frame.QueryView(), " -- and more");
    WaitIdle(Frame);
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT SLEEP(1) -- and more"});

    Run("SELECT 1");
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList());
    Type("SELECT SLEEP(1)");
    Frame.RunQuery();
    Frame.HistoryBack();
    Frame.HistoryBack();
    WaitIdle(Frame);
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT 1"});
}

// A literal that spans lines reaches the server as typed: indentation, trailing blanks and a line
// that looks like a comment, joined with LF. Another connection reads it back.
TEST_F(Console, AMultiLineLiteralIsStoredExactly)
{
    // A table of this connection's own, which the reader can see.
    const QString table = QString("literal_lines_%1").arg(Frame.Session().State().ConnectionId);
    Run("CREATE OR REPLACE TABLE " + table + " (v TEXT)");
    const int mark = Mark();
    Run("INSERT INTO " + table + " VALUES ('line one  \r\n    indented line\r\n-- not a comment\r\nlast')");
    EXPECT_EQ(Since(mark), (QStringList{"mysql> INSERT INTO " + table + " VALUES ('line one",
                                        "     > indented line", "     > -- not a comment", "     > last')",
                                        "-- Query Ok. 1 rows affected."}));
    TMySQLDataSet reader;
    ConfigureForTestServer(reader);
    ASSERT_TRUE(reader.Open()) << reader.ErrorText();
    auto result = reader.Query("SELECT v FROM brindle." + table.toStdString());
    ASSERT_NE(result, nullptr) << reader.ErrorText();
    auto row = result->FetchRow();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetValue(0), "line one  \n    indented line\n-- not a comment\nlast");
    reader.Query("DROP TABLE brindle." + table.toStdString());
}

// What is typed or pasted into the query pane reaches the server byte for byte, through the pane's
// own key and paste paths: blanks typed before a line break inside a literal, pasted lines ending in
// blanks (a pasted TAB becomes blanks, as the pane holds no TABs), a line that undo brings back.
// Another connection reads the stored value back.
TEST_F(Console, TypedAndPastedLiteralsReachTheServerByteForByte)
{
    const QString table = QString("typed_literal_%1").arg(Frame.Session().State().ConnectionId);
    Run("CREATE OR REPLACE TABLE " + table + " (v TEXT)");
    TMySQLDataSet reader;
    ConfigureForTestServer(reader);
    ASSERT_TRUE(reader.Open()) << reader.ErrorText();
    const std::string stored = "brindle." + table.toStdString();

    TEditorView* view = Frame.QueryView();
    const QString insert = "insert into " + table + " values ('";
    const auto press = [view](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(view, key, modifiers);
    };
    const auto paste = [&](const QString& text) {
        QApplication::clipboard()->setText(text);
        press(Qt::Key_V, Qt::ControlModifier);
    };
    struct TCase {
        const char* Name;
        std::function<void()> Enter;
        const char* Hex;
    };
    const TCase cases[] = {
        {"blanks typed before Enter",
         [&] {
             QTest::keyClicks(view, insert + "a   ");
             press(Qt::Key_Return);
             QTest::keyClicks(view, "b')");
         },
         "612020200A62"},
        {"pasted lines ending in blanks, with a TAB inside the literal", [&] { paste(insert + "x  \r\n  y  \r\nz\tw  ')"); },
         "7820200A20207920200A7A09772020"},
        {"a deleted line ending in blanks, brought back by undo",
         [&] {
             paste(insert + "a\r\nb  \r\nc')");
             press(Qt::Key_Up);
             press(Qt::Key_Y, Qt::ControlModifier);
             press(Qt::Key_Z, Qt::ControlModifier);
         },
         "610A6220200A63"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        view->setFocus();
        c.Enter();
        const int mark = Mark();
        Frame.RunQuery();
        WaitIdle(Frame);
        EXPECT_EQ(Since(mark).value(Since(mark).size() - 1), "-- Query Ok. 1 rows affected.");
        auto result = reader.Query("SELECT HEX(v) FROM " + stored);
        ASSERT_NE(result, nullptr) << reader.ErrorText();
        auto row = result->FetchRow();
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->GetValue(0), c.Hex);
        reader.Query("DELETE FROM " + stored);
    }
    reader.Query("DROP TABLE " + stored);
}

TEST(ConsoleFrame, LayoutAndPaneSettings)
{
    TEditorFrame frame;
    frame.InitFrame();
    frame.resize(441, 369);
    frame.show();
    EXPECT_EQ(frame.QueryView()->height(), 100);
    EXPECT_EQ(frame.StatusBarQuery()->height(), 19);
    EXPECT_EQ(frame.StatusBarResult()->height(), 19);
    EXPECT_EQ(frame.Splitter()->handleWidth(), 3);
    EXPECT_FALSE(frame.Splitter()->childrenCollapsible());
    EXPECT_EQ(frame.ResultView()->height(), 228);

    for (THLEditor* pane : {&frame.mmResult(), &frame.mmQuery()}) {
        EXPECT_EQ(pane->Highlighter(), hlSql);
        EXPECT_EQ(pane->GutterWidth(), 25);
        EXPECT_EQ(pane->TabStops(), "8 16");
        EXPECT_EQ(pane->RightMargin(), 80);
        EXPECT_EQ(pane->Font().Family, "Courier New");
        EXPECT_EQ(pane->Font().Height, 13);
        EXPECT_EQ(pane->Colors().Comment.Style, 0); // upright after InitFrame
        EXPECT_EQ(pane->Color(), clNavy);
    }
    EXPECT_TRUE(frame.mmResult().ReadOnly());
    EXPECT_FALSE(frame.mmQuery().ReadOnly());
    // The statement goes as typed; the transcript writes its lines by its own rules.
    EXPECT_TRUE(frame.mmQuery().KeepTrailingBlanks());
    EXPECT_FALSE(frame.mmResult().KeepTrailingBlanks());
    EXPECT_EQ(frame.HistoryIndex(), -1);
}

TEST(ConsoleFrame, ARefusedConnectionIsReportedOnceAndLeavesAUsableConsole)
{
    TEditorFrame frame;
    frame.InitFrame();
    TMessageBoxes boxes;
    frame.OpenConnection({"127.0.0.1", 1, TestServer().User, TestServer().Password});
    WaitIdle(frame);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].Text, "Ошибка подключения к базе данных!");
    EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Critical);
    EXPECT_FALSE(frame.Session().State().Opened);

    frame.mmQuery().Lines().SetText("SELECT 1");
    frame.RunQuery();
    WaitIdle(frame);
    const QStringList lines = LinesOf(frame.mmResult());
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "mysql> SELECT 1");
    EXPECT_TRUE(lines[1].startsWith("-- ")) << lines[1].toStdString();
    EXPECT_EQ(boxes.Seen().size(), 1u);
}

} // namespace
