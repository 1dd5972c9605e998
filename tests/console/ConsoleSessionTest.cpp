// The console's client session against a real server: several statements in one run, every result
// of a CALL, runs that fail on the client, cancel (on the server, refused, while drawing, of a
// connect) and closing a console whose server stopped answering.
#include "UnitEditorFrame.h"

#include <QElapsedTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "ConsoleTesting.h"
#include "HLEditor.h"
#include "ModalWindows.h"
#include "NetworkPeers.h"
#include "QtPrinters.h"
#include "TestServer.h"

namespace {

TEST_F(Console, SeveralStatementsInOneRun)
{
    Run("CREATE OR REPLACE PROCEDURE two_sets() BEGIN SELECT 1 AS a; SELECT 'x' AS b, 2 AS c; END");
    struct TCase {
        const char* Name;
        QString Sql;
        QStringList Lines;
        bool PaneEmptied;
    };
    const TCase cases[] = {
        {"two selects", "SELECT 1; SELECT 2;",
         {"mysql> SELECT 1;", "-- +---+", "-- | 1 |", "-- +---+", "-- | 1 |", "-- +---+", "-- 1 rows",
          "mysql> SELECT 2;", "-- +---+", "-- | 2 |", "-- +---+", "-- | 2 |", "-- +---+", "-- 1 rows"},
         true},
        {"five statements, the third fails",
         "CREATE TEMPORARY TABLE s (a INT);\r\nINSERT INTO s VALUES (1), (2);\r\nINSERT INTO no_such VALUES (1);\r\n"
         "INSERT INTO s VALUES (3);\r\nDROP TEMPORARY TABLE s",
         {"mysql> CREATE TEMPORARY TABLE s (a INT);", "-- Query Ok. 0 rows affected.",
          "mysql> INSERT INTO s VALUES (1), (2);", "-- Query Ok. 2 rows affected.",
          "mysql> INSERT INTO no_such VALUES (1);", "-- Table 'brindle.no_such' doesn't exist",
          "-- ERROR 1146 (42S02) at line 3"},
         false},
        {"what ran before the error stays done", "SELECT COUNT(*) AS n FROM s",
         {"mysql> SELECT COUNT(*) AS n FROM s", "-- +---+", "-- | n |", "-- +---+", "-- | 2 |", "-- +---+",
          "-- 1 rows"},
         true},
        {"use inside a script", "SELECT 1 AS a; USE information_schema; SELECT DATABASE() AS db; use brindle",
         {"mysql> SELECT 1 AS a;", "-- +---+", "-- | a |", "-- +---+", "-- | 1 |", "-- +---+", "-- 1 rows",
          "mysql> USE information_schema;", "-- Database selected", "mysql> SELECT DATABASE() AS db;",
          "-- +--------------------+", "-- | db                 |", "-- +--------------------+",
          "-- | information_schema |", "-- +--------------------+", "-- 1 rows", "mysql> use brindle",
          "-- Database selected"},
         true},
        {"a script that starts with use", "use brindle; SET @v = 1",
         {"mysql> use brindle;", "-- Database selected", "mysql> SET @v = 1", "-- Query Ok. 0 rows affected."}, true},
        {"a CALL shows every result set, then its count", "CALL two_sets()",
         {"mysql> CALL two_sets()", "-- +---+", "-- | a |", "-- +---+", "-- | 1 |", "-- +---+", "-- 1 rows",
          "-- +---+---+", "-- | b | c |", "-- +---+---+", "-- | x | 2 |", "-- +---+---+", "-- 1 rows",
          "-- Query Ok. 0 rows affected."},
         true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const int mark = Mark();
        Run(c.Sql);
        EXPECT_EQ(Since(mark), c.Lines);
        EXPECT_EQ(Frame.mmQuery().Lines().Count() == 0, c.PaneEmptied);
    }
    // A statement alone keeps its rule: use and a TAB is not taken for a use (the pane would have
    // turned the TAB into blanks).
    const int mark = Mark();
    Frame.ExecuteStatement("use\tbrindle");
    WaitIdle(Frame);
    EXPECT_EQ(Since(mark).mid(1), QStringList{"-- Query Ok. 0 rows affected."});

    // The console knows the database the server reported last.
    Run("USE information_schema");
    EXPECT_EQ(Frame.Session().State().Database, "information_schema");
    Run("SELECT 1; USE brindle");
    EXPECT_EQ(Frame.Session().State().Database, "brindle");
}

// What a run has written is shown while the server still works on its next statement.
TEST_F(Console, AnOutcomeIsShownWhileTheNextStatementRuns)
{
    const int mark = Mark();
    Type("SELECT 1 AS a; SELECT SLEEP(3) AS s");
    Frame.RunQuery();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Since(mark).size() >= 7; }, 2500));
    EXPECT_TRUE(Frame.RunningStatement());
    EXPECT_EQ(Since(mark).mid(1, 6), (QStringList{"-- +---+", "-- | a |", "-- +---+", "-- | 1 |", "-- +---+", "-- 1 rows"}));
    WaitIdle(Frame);
    EXPECT_EQ(Since(mark).value(7), "mysql> SELECT SLEEP(3) AS s");
    EXPECT_EQ(Since(mark).value(11), "-- | 0 |");
}

// A large result arrives whole, in many slices: every id once, in order, and every line as wide as
// the last row, which alone decides the second column's width.
TEST_F(Console, ALargeResultIsDrawnRowForRowInTheWidthsOfItsLastRow)
{
    constexpr int rows = 200000;
    const QString last = QString::fromUtf8("Привет, мир \xF0\x9F\x98\x80"); // 14 characters
    const int mark = Mark();
    Run(QString("SELECT seq AS id, IF(seq = %1, '%2', 'x') AS v FROM seq_1_to_%1").arg(rows).arg(last));
    const QStringList lines = Since(mark);
    ASSERT_EQ(lines.size(), rows + 6);
    EXPECT_EQ(lines[1], "-- +--------+----------------+");
    EXPECT_EQ(lines[2], "-- | id     | v              |");
    for (int i = 0; i < rows; ++i) {
        const QString expected = QString("-- | %1 | %2 |").arg(i + 1, -6).arg(i + 1 < rows ? "x" : last, -14);
        if (lines[4 + i] != expected) {
            ADD_FAILURE() << "row " << i << ": " << lines[4 + i].toStdString();
            break;
        }
    }
    EXPECT_EQ(lines.last(), QString("-- %1 rows").arg(rows));
}

// A result that stops partway, its statement cancelled or its connection lost while the rows arrive:
// the rows that had arrived are not drawn, the error is shown as for any failed statement, and the
// query pane keeps the statement. After a cancel the console takes the next statement at once; after
// a lost connection, once it has connected again.
TEST_F(Console, AResultCutWhileItsRowsArriveShowsTheErrorAlone)
{
    const QString sql = "SELECT seq, REPEAT('x', 200) AS pad, IF(seq = 3000, SLEEP(30), 0) AS s FROM seq_1_to_4000";
    struct TCase {
        const char* Name;
        bool Cancel; // else the connection is killed from another one
        QStringList After; // the lines after the echo
    };
    const TCase cases[] = {
        {"cancel", true, {"-- Query execution was interrupted"}},
        {"lost connection", false,
         {"-- Lost connection to server during query",
          "-- Соединение потеряно: «Переподключиться» (Ctrl+F5) восстановит его."}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::uint64_t id = Frame.Session().State().ConnectionId;
        const int mark = Mark();
        Type(sql);
        Frame.RunQuery();
        // Rows 1 to 2999 have been sent by then.
        ASSERT_TRUE(WaitUntilServerRuns(id, "SELECT seq", "User sleep"));
        if (c.Cancel) {
            Frame.CancelQuery();
        } else {
            TMySQLDataSet killer;
            ConfigureForTestServer(killer);
            ASSERT_TRUE(killer.Open()) << killer.ErrorText();
            killer.Query("KILL CONNECTION " + std::to_string(id));
            ASSERT_EQ(killer.ErrorCode(), 0u) << killer.ErrorText();
        }
        WaitIdle(Frame);
        EXPECT_EQ(Since(mark).mid(1), c.After);
        EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{sql});
        if (!c.Cancel) {
            Frame.ReopenConnection();
            WaitIdle(Frame);
        }
        ExpectTheNextStatementRuns();
    }
}

// Whatever the run's job throws, the run ends with an error line and the console takes the next one.
TEST_F(Console, ARunWhoseJobThrowsEndsAndTheNextRuns)
{
    Frame.Session().Post<int>([](TMySQLDataSet& dataSet) {
        auto thrown = std::make_shared<bool>(false);
        dataSet.OnQuery = [thrown](TMySQLCustomDataSet&, std::string&) {
            if (!*thrown) {
                *thrown = true;
                throw std::runtime_error("boom");
            }
        };
        return 0;
    });
    WaitIdle(Frame);
    const int mark = Mark();
    Run("SELECT 1");
    EXPECT_EQ(Since(mark), (QStringList{"mysql> SELECT 1", "-- Ошибка клиента: boom"}));
    EXPECT_FALSE(Frame.Busy());
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT 1"});

    ExpectTheNextStatementRuns();
}

// Cancel pressed while a large result is drawn: the rest is not drawn, and the transcript says how
// many rows were.
TEST_F(Console, CancelWhileAResultIsDrawnStopsTheDrawing)
{
    const int mark = Mark();
    Type("SELECT seq AS id FROM seq_1_to_1000000");
    Frame.RunQuery();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Frame.mmResult().Lines().Count() - mark > 5000; }, 60000));
    ASSERT_TRUE(Frame.RunningStatement());
    Frame.CancelQuery();
    WaitIdle(Frame);
    const QStringList lines = Since(mark);
    const int shown = lines.size() - 5; // echo, border, header, border and the closing line
    ASSERT_GT(shown, 0);
    EXPECT_LT(shown, 1000000);
    EXPECT_EQ(lines.last(), QString("-- Вывод прерван: показано %1 из 1000000 строк.").arg(shown));
    EXPECT_EQ(lines[4 + shown - 1], QString("-- | %1 |").arg(shown, -7));
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT seq AS id FROM seq_1_to_1000000"});

    ExpectTheNextStatementRuns();
}

// A cancel pressed at any moment around a statement's end never reaches the next statement.
TEST_F(Console, CancelNeverHitsTheNextStatement)
{
    for (int i = 0; i < 15; ++i) {
        SCOPED_TRACE(i);
        Type("SELECT SLEEP(0.02)");
        Frame.RunQuery();
        QTest::qWait(i % 5 * 7);
        Frame.CancelQuery();
        WaitIdle(Frame);
        const int mark = Mark();
        Run("SELECT 7 AS n");
        ASSERT_EQ(Since(mark).value(4), "-- | 7 |");
    }
}

TEST(ConsoleSession, APendingConnectOrReconnectCanBeCancelled)
{
    TSilentPeer peer;
    TEditorFrame frame;
    frame.InitFrame();
    TMessageBoxes boxes;
    frame.OpenConnection({"127.0.0.1", peer.Port(), TestServer().User, TestServer().Password});
    ASSERT_TRUE(frame.Connecting());
    EXPECT_TRUE(frame.CanCancel());
    QTest::qWait(100);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QElapsedTimer took;
        took.start();
        frame.CancelQuery();
        WaitIdle(frame, 5000);
        EXPECT_LT(took.elapsed(), 2000);
        EXPECT_EQ(LinesOf(frame.mmResult()).value(attempt), "-- Подключение прервано.");
        EXPECT_FALSE(frame.Session().State().Opened);
        frame.ReopenConnection();
        ASSERT_TRUE(frame.Connecting());
    }
    // A cancelled connect is the user's doing: no message box.
    EXPECT_TRUE(boxes.Seen().empty());
}

// The cancel's own connection is refused (the account allows one connection): the transcript says
// why, and the user chooses to wait for the statement or to cut the connection.
TEST(ConsoleSession, ARefusedCancelIsToldAndTheUserChooses)
{
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    root.Query("CREATE OR REPLACE USER 'brindle_one'@'%' IDENTIFIED BY 'pw' WITH MAX_USER_CONNECTIONS 1");
    ASSERT_EQ(root.ErrorCode(), 0u) << root.ErrorText();

    struct TCase {
        const char* Name;
        QMessageBox::StandardButton Answer;
        QStringList After;
    };
    const TCase cases[] = {
        {"wait", QMessageBox::No,
         {"-- Запрос выполняется дальше.", "-- +----------+", "-- | SLEEP(3) |", "-- +----------+",
          "-- | 0        |", "-- +----------+", "-- 1 rows"}},
        {"cut", QMessageBox::Yes,
         {"-- Соединение разорвано; запрос мог завершиться на сервере.", "-- Lost connection to server during query",
          kLostConnectionHint}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorFrame frame;
        ASSERT_NO_FATAL_FAILURE(ConnectConsole(frame, {TestServer().Host, TestServer().Port, "brindle_one", "pw"}));
        frame.mmQuery().Lines().SetText("SELECT SLEEP(3)");
        frame.RunQuery();
        ASSERT_TRUE(WaitUntilServerRuns(frame.Session().State().ConnectionId, "SELECT SLEEP"));

        TMessageBoxes boxes(c.Answer);
        frame.CancelQuery();
        WaitIdle(frame);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Question);
        EXPECT_TRUE(boxes.Seen()[0].Text.contains("может завершиться на сервере")) << boxes.Seen()[0].Text.toStdString();
        EXPECT_TRUE(boxes.Seen()[0].Text.contains("max_user_connections")) << boxes.Seen()[0].Text.toStdString();

        const QStringList lines = LinesOf(frame.mmResult());
        ASSERT_GE(lines.size(), 3 + c.After.size());
        EXPECT_EQ(lines[1], "-- Отмена не дошла до сервера:");
        EXPECT_TRUE(lines[2].startsWith("-- User 'brindle_one' has exceeded the 'max_user_connections'"))
            << lines[2].toStdString();
        EXPECT_EQ(lines.mid(lines.size() - c.After.size()), c.After);
        frame.CloseConnection();
        // The account allows one connection: the next case connects only once this one is gone
        // from the server, which a session closes in the background.
        ASSERT_TRUE(QTest::qWaitFor(
            [&root] {
                const auto left = root.Query("SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                                             "WHERE USER = 'brindle_one'");
                return left && left->FetchRow()->GetValue(0) == "0";
            },
            30000));
    }
    root.Query("DROP USER 'brindle_one'@'%'");
}

// Closing a console whose server stopped answering takes nothing from the window; the session cancels
// the statement in the background, and it is gone from the server once that answers again.
TEST(ConsoleSession, ClosingAConsoleOfASilentServerReturnsAtOnce)
{
    TStallingProxy proxy(TestServer().Host, TestServer().Port);
    auto frame = std::make_unique<TEditorFrame>();
    const TConnectionInfo info{"127.0.0.1", proxy.Port(), TestServer().User, TestServer().Password};
    ASSERT_NO_FATAL_FAILURE(ConnectConsole(*frame, info));
    const std::uint64_t id = frame->Session().State().ConnectionId;
    frame->mmQuery().Lines().SetText("SELECT SLEEP(30)");
    frame->RunQuery();
    ASSERT_TRUE(WaitUntilServerRuns(id, "SELECT SLEEP"));
    proxy.Stall();

    TStallMeter meter;
    QElapsedTimer took;
    took.start();
    frame.reset();
    std::printf("closing a console whose server stopped answering took %lld ms\n",
                static_cast<long long>(took.elapsed()));
    EXPECT_LT(took.elapsed(), 200);
    QTest::qWait(300);
    EXPECT_LT(meter.LongestMs(), 200) << "the window's timer kept ticking";
    EXPECT_FALSE(StatementGone(id, "SELECT SLEEP", 0)) << "the statement ended while the server was silent";

    proxy.Resume();
    EXPECT_TRUE(StatementGone(id, "SELECT SLEEP", 10000)) << "the statement still runs on the server";
    EXPECT_TRUE(QTest::qWaitFor([] { return TClientSession::Closing() == 0; }, 5000));
}

// A cut belongs to the connection it cut. A console that once cut its connection (a cancelled
// connect) and connected again still cuts when it is closed while the server does not answer: the
// statement leaves the server once the connection's end reaches it.
TEST(ConsoleSession, ClosingAfterAnEarlierCutStillCuts)
{
    TStallingProxy proxy(TestServer().Host, TestServer().Port);
    auto frame = std::make_unique<TEditorFrame>();
    frame->InitFrame();
    const TConnectionInfo info{"127.0.0.1", proxy.Port(), TestServer().User, TestServer().Password};
    proxy.Stall();
    frame->OpenConnection(info);
    QTest::qWait(100);
    ASSERT_TRUE(frame->Connecting());
    frame->CancelQuery();
    WaitIdle(*frame);
    ASSERT_TRUE(frame->Session().State().Cancelled);
    EXPECT_EQ(frame->Session().SessionState(), TSessionState::Idle);

    proxy.Resume();
    frame->ReopenConnection();
    WaitIdle(*frame);
    ASSERT_TRUE(frame->Session().State().Opened) << frame->Session().State().ErrorText;
    const std::uint64_t id = frame->Session().State().ConnectionId;
    frame->mmQuery().Lines().SetText("SELECT SLEEP(30)");
    frame->RunQuery();
    ASSERT_TRUE(WaitUntilServerRuns(id, "SELECT SLEEP"));
    proxy.Stall();
    frame.reset();
    // The cancel cannot get through the silent proxy and is given up; only the cut is left, and the
    // server hears of it once the proxy forwards again.
    QTest::qWait(static_cast<int>((TClientSession::CutBound + TClientSession::StopBound).count()) + 300);
    proxy.Resume();
    EXPECT_TRUE(StatementGone(id, "SELECT SLEEP", 10000)) << "the statement still runs on the server";
    EXPECT_TRUE(QTest::qWaitFor([] { return TClientSession::Closing() == 0; }, 5000));
}

// "Разорвать соединение" answered while the run is between two of its statements (reading a long
// result, with the next statement still to come) cuts the connection and says so.
TEST(ConsoleSession, ACutBetweenTwoStatementsIsDoneAndTold)
{
    // An account of its own: the cases of a refused cancel run beside this one and use theirs.
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    for (const char* sql : {"CREATE OR REPLACE USER 'brindle_between'@'%' IDENTIFIED BY 'pw' WITH MAX_USER_CONNECTIONS 1",
                            "GRANT SELECT ON brindle.* TO 'brindle_between'@'%'"}) {
        root.Query(sql);
        ASSERT_EQ(root.ErrorCode(), 0u) << sql << ": " << root.ErrorText();
    }

    TEditorFrame frame;
    ASSERT_NO_FATAL_FAILURE(ConnectConsole(frame, {TestServer().Host, TestServer().Port, "brindle_between", "pw"}));
    frame.ExecuteStatement("SELECT SLEEP(2); SELECT seq FROM brindle.seq_1_to_500000; SELECT SLEEP(20)");
    ASSERT_TRUE(WaitUntilServerRuns(frame.Session().State().ConnectionId, "SELECT SLEEP"));
    // The cancel's connection is refused; the user answers once the run reads the long result.
    bool wasBetween = false;
    TOnModal<QMessageBox> answer([&frame, &wasBetween](QMessageBox& box) {
        const auto between = [&frame] {
            const auto run = frame.Session().CurrentRun();
            return run && !run->InServerCall() && run->ServerWorkLeft();
        };
        wasBetween = QTest::qWaitFor(between, 30000);
        box.button(QMessageBox::Yes)->click();
    });
    frame.CancelQuery();
    WaitIdle(frame);
    ASSERT_EQ(answer.Calls(), 1);
    EXPECT_TRUE(wasBetween);
    const QStringList lines = LinesOf(frame.mmResult());
    EXPECT_TRUE(lines.contains("-- Соединение разорвано; запрос мог завершиться на сервере."))
        << lines.mid(std::max<qsizetype>(0, lines.size() - 5)).join('\n').toStdString();
    EXPECT_EQ(lines.last(), kLostConnectionHint);
    frame.CloseConnection();
    ASSERT_TRUE(QTest::qWaitFor(
        [&root] {
            const auto left = root.Query("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE USER = 'brindle_between'");
            return left && left->FetchRow()->GetValue(0) == "0";
        },
        30000));
    root.Query("DROP USER 'brindle_between'@'%'");
}

// A CALL of a procedure whose definer is another account runs under that account: this account's
// cancel neither sees its thread nor may kill it. The transcript says so at once, and the run goes
// on until it ends or is cut.
TEST(ConsoleSession, ACancelThatCanReachNothingSaysSoAtOnce)
{
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    for (const char* sql : {"CREATE OR REPLACE USER 'brindle_low'@'%' IDENTIFIED BY 'pw'",
                            "CREATE OR REPLACE PROCEDURE brindle.slow_other() SQL SECURITY DEFINER DO SLEEP(20)",
                            "GRANT EXECUTE ON PROCEDURE brindle.slow_other TO 'brindle_low'@'%'"}) {
        root.Query(sql);
        ASSERT_EQ(root.ErrorCode(), 0u) << sql << ": " << root.ErrorText();
    }
    TEditorFrame frame;
    ASSERT_NO_FATAL_FAILURE(ConnectConsole(frame, {TestServer().Host, TestServer().Port, "brindle_low", "pw"}));
    const std::uint64_t id = frame.Session().State().ConnectionId;
    frame.ExecuteStatement("CALL brindle.slow_other()");
    ASSERT_TRUE(WaitUntilServerRuns(id, "", "User sleep"));

    TMessageBoxes boxes;
    frame.CancelQuery();
    const QString told = "-- Прервать запрос нельзя: на сервере он выполняется от имени другой учётной записи "
                         "(процедура с другим DEFINER).";
    ASSERT_TRUE(QTest::qWaitFor([&] { return LinesOf(frame.mmResult()).contains(told); }, 30000));
    // Told while the procedure still runs, and the cancel is over: nothing waits for a deadline.
    EXPECT_TRUE(frame.RunningStatement());
    EXPECT_EQ(frame.Session().SessionState(), TSessionState::Running);
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_FALSE(LinesOf(frame.mmResult()).join('\n').contains("Сервер не ответил"));

    root.Query("KILL QUERY " + std::to_string(id));
    WaitIdle(frame);
    root.Query("DROP PROCEDURE brindle.slow_other");
    frame.CloseConnection();
    root.Query("DROP USER 'brindle_low'@'%'");
}

} // namespace
