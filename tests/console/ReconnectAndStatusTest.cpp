// A console's reconnect and what it tells, the hint after a lost connection, and the query pane's
// status after a run (its time and the server's warnings), against a real server.
#include "UnitEditorFrame.h"

#include <QRegularExpression>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "ConsoleTesting.h"
#include "HLEditor.h"
#include "ModalWindows.h"
#include "NetworkPeers.h"
#include "QtPrinters.h"
#include "TestServer.h"

namespace {

using namespace std::chrono_literals;

// Runs sql as root and fails the test on an error.
void RunAsRoot(const std::string& sql)
{
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    root.Query(sql);
    ASSERT_EQ(root.ErrorCode(), 0u) << sql << ": " << root.ErrorText();
}

QString LastLine(const TEditorFrame& frame)
{
    return LinesOf(frame.mmResult()).value(frame.mmResult().Lines().Count() - 1);
}

QString Reconnected(const TEditorFrame& frame, const QString& rest)
{
    return QStringLiteral("-- Переподключено: сервер ") + QString::fromStdString(frame.Session().State().ServerVersion)
         + rest;
}

// Every form of the reconnect's line, in one console of an account of its own: refused, then back
// with its database, then without the database that was dropped meanwhile, then without any. A
// refused reconnect keeps the database for the next one.
TEST(ConsoleReconnect, TheLineSaysWhatCameBackOrWhyNot)
{
    RunAsRoot("CREATE OR REPLACE DATABASE brindle_back");
    RunAsRoot("CREATE OR REPLACE USER 'brindle_back'@'%' IDENTIFIED BY 'pw'");
    RunAsRoot("GRANT ALL PRIVILEGES ON brindle_back.* TO 'brindle_back'@'%'");

    TEditorFrame frame;
    ASSERT_NO_FATAL_FAILURE(ConnectConsole(frame, {TestServer().Host, TestServer().Port, "brindle_back", "pw"}));
    frame.mmQuery().Lines().SetText("use brindle_back");
    frame.RunQuery();
    WaitIdle(frame);
    ASSERT_EQ(frame.Session().State().Database, "brindle_back");

    struct TStep {
        const char* Name;
        std::string RootSql; // run first, if any
        QString Line;        // the reconnect's line (for a refusal, how it begins)
        std::string Database;
    };
    const TStep steps[] = {
        {"refused", "ALTER USER 'brindle_back'@'%' IDENTIFIED BY 'other'",
         "-- Не удалось переподключиться: Access denied for user 'brindle_back'@", "brindle_back"},
        {"back, in its database", "ALTER USER 'brindle_back'@'%' IDENTIFIED BY 'pw'",
         ", база данных `brindle_back`.", "brindle_back"},
        {"the database is gone", "DROP DATABASE brindle_back",
         "; база данных `brindle_back` не выбрана: Unknown database 'brindle_back'", ""},
        {"no database", "", ".", ""},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Name);
        if (!step.RootSql.empty())
            RunAsRoot(step.RootSql);
        const int before = frame.mmResult().Lines().Count();
        frame.ReopenConnection();
        WaitIdle(frame);
        EXPECT_EQ(frame.mmResult().Lines().Count(), before + 1);
        if (frame.Session().State().Opened) {
            EXPECT_EQ(LastLine(frame), Reconnected(frame, step.Line));
            EXPECT_EQ(QueryOnSession(frame, "SELECT DATABASE()"), step.Database);
        } else {
            EXPECT_TRUE(LastLine(frame).startsWith(step.Line)) << LastLine(frame).toStdString();
        }
        EXPECT_EQ(frame.Session().State().Database, step.Database);
    }
    RunAsRoot("DROP USER 'brindle_back'@'%'");
}

// The server stops (its address refuses connections): the statement and the reconnect both say so.
TEST(ConsoleReconnect, AStoppedServerIsToldByTheStatementAndByTheReconnect)
{
    auto proxy = std::make_unique<TStallingProxy>(TestServer().Host, TestServer().Port);
    TEditorFrame frame;
    const TConnectionInfo info{"127.0.0.1", proxy->Port(), TestServer().User, TestServer().Password};
    ASSERT_NO_FATAL_FAILURE(ConnectConsole(frame, info));
    const std::int32_t port = proxy->Port();
    proxy.reset();

    frame.mmQuery().Lines().SetText("SELECT 1");
    frame.RunQuery();
    WaitIdle(frame);
    const QStringList lines = LinesOf(frame.mmResult());
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.last(), kLostConnectionHint);

    TMessageBoxes boxes;
    frame.ReopenConnection();
    WaitIdle(frame);
    // The library names the errno of its connect call, which need not be the refusal's.
    EXPECT_TRUE(LastLine(frame).startsWith("-- Не удалось переподключиться: Can't connect to server on '127.0.0.1' ("))
        << LastLine(frame).toStdString() << ", port " << port;
    // The transcript tells it; no message box.
    EXPECT_TRUE(boxes.Seen().empty());
}

// After a run the query pane's status shows its time and, when the server reported any, how many
// warnings the run left; the transcript shows the outcome as it always did.
TEST_F(Console, TheStatusShowsTheRunsTimeAndWarnings)
{
    struct TCase {
        const char* Sql;
        const char* Warnings; // what follows the time
        QStringList Outcome;
    };
    const TCase cases[] = {
        {"SELECT CAST('12abc' AS INT) AS n", " · предупреждений: 1",
         {"-- +----+", "-- | n  |", "-- +----+", "-- | 12 |", "-- +----+", "-- 1 rows"}},
        {"SELECT 1 AS n", "", {"-- +---+", "-- | n |", "-- +---+", "-- | 1 |", "-- +---+", "-- 1 rows"}},
        {"DO CAST('1x' AS INT); SELECT 2 AS n; DO CAST('2x' AS INT) + CAST('3y' AS INT)", " · предупреждений: 3",
         {"-- Query Ok. 0 rows affected.", "mysql> SELECT 2 AS n;", "-- +---+", "-- | n |", "-- +---+", "-- | 2 |",
          "-- +---+", "-- 1 rows", "mysql> DO CAST('2x' AS INT) + CAST('3y' AS INT)", "-- Query Ok. 0 rows affected."}},
        // The warning count the library still holds from before a failure is not this run's.
        {"DO CAST('1x' AS INT); SELECT * FROM no_such", " · предупреждений: 1",
         {"-- Query Ok. 0 rows affected.", "mysql> SELECT * FROM no_such", "-- Table 'brindle.no_such' doesn't exist",
          "-- ERROR 1146 (42S02) at line 1"}},
        {"SELECT * FROM no_such", "", {"-- Table 'brindle.no_such' doesn't exist"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Sql);
        const int mark = Mark();
        Run(c.Sql);
        EXPECT_EQ(Since(mark).mid(1), c.Outcome);
        const QString status = Frame.BusyText();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d,\\d\\d с") + QRegularExpression::escape(c.Warnings) + "$")
                        .match(status)
                        .hasMatch())
            << status.toStdString();
    }

    // A run that takes a while shows it.
    Run("SELECT SLEEP(0.3)");
    const QString status = Frame.BusyText();
    ASSERT_TRUE(status.endsWith(" с")) << status.toStdString();
    EXPECT_GE(status.chopped(2).replace(',', '.').toDouble(), 0.3);
}

// While a result arrives the status shows the rows received so far beside the seconds, in groups of
// three digits. The server sends most rows, then sleeps before the last one until the run is
// cancelled.
TEST_F(Console, TheStatusCountsTheRowsWhileTheyArrive)
{
    Frame.mmQuery().Lines().SetText("SELECT seq, IF(seq = 20000, SLEEP(60), 0) AS s FROM seq_1_to_20000");
    Frame.RunQuery();
    const QRegularExpression counted(QStringLiteral("^выполняется \\d+ с · строк: (\\d{1,3}(?: \\d{3})*)$"));
    QRegularExpressionMatch match;
    const bool shown = QTest::qWaitFor(
        [&] {
            match = counted.match(Frame.BusyText());
            return match.hasMatch() && match.captured(1).remove(' ').toLongLong() >= 4096;
        },
        30000);
    EXPECT_TRUE(shown) << Frame.BusyText().toStdString();
    // Slow to look: the count stays while the server sleeps.
    QTest::qWait(200);
    EXPECT_TRUE(counted.match(Frame.BusyText()).hasMatch()) << Frame.BusyText().toStdString();
    Frame.CancelQuery();
    WaitIdle(Frame);
    EXPECT_FALSE(Frame.BusyText().contains(QStringLiteral("строк"))) << Frame.BusyText().toStdString();
}

TEST(ConsoleStatus, TimesReadShortAndWarningsAreCounted)
{
    struct TCase {
        std::chrono::nanoseconds Elapsed;
        std::uint32_t Warnings;
        const char* Text;
    };
    const TCase cases[] = {
        {0ns, 0, "0,00 с"},
        {4999us, 0, "0,00 с"},
        {5ms, 0, "0,01 с"},
        {420ms, 1, "0,42 с · предупреждений: 1"},
        {9994ms, 0, "9,99 с"},
        {9996ms, 0, "10,0 с"},
        {12340ms, 2, "12,3 с · предупреждений: 2"},
        {59949ms, 0, "59,9 с"},
        {59960ms, 0, "1 мин 00 с"},
        {125s, 0, "2 мин 05 с"},
        {3599499ms, 0, "59 мин 59 с"},
        {3599500ms, 0, "1 ч 00 мин 00 с"},
        {3725s, 70000, "1 ч 02 мин 05 с · предупреждений: 70000"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TEditorFrame::RunStatusText(c.Elapsed, c.Warnings), QString(c.Text)) << c.Elapsed.count();
}

} // namespace
