// What the tests that drive consoles share: the test server's login, connecting a console and
// waiting for it to finish its statement, a pane's lines, a look at a console's own connection and at what the
// server runs, the window's longest stall, a shown console connected to the test server, and the
// line a console adds when a statement finds its connection gone.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "ConnectionWords.h"
#include "HLEditor.h"
#include "TestServer.h"
#include "UnitEditorFrame.h"

// The line a console adds when a statement finds its connection gone.
inline const QString kLostConnectionHint =
    QStringLiteral("-- Соединение потеряно: «Переподключиться» (Ctrl+F5) восстановит его.");

inline TConnectionInfo ServerInfo()
{
    return {TestServer().Host, TestServer().Port, TestServer().User, TestServer().Password};
}

// Lets the window run until the console has finished what it was doing.
inline void WaitIdle(const TEditorFrame& frame, int timeoutMs = 30000)
{
    ASSERT_TRUE(QTest::qWaitFor([&frame] { return !frame.Busy(); }, timeoutMs)) << "still busy";
}

// Sets a console up and connects it, as the main window does, and waits for the connection. Fails
// the test when it does not open.
inline void ConnectConsole(TEditorFrame& frame, const TConnectionInfo& info)
{
    frame.InitFrame();
    frame.OpenConnection(info);
    WaitIdle(frame);
    ASSERT_TRUE(frame.Session().State().Opened) << frame.Session().State().ErrorText;
}

inline QStringList LinesOf(const THLEditor& pane)
{
    QStringList lines;
    for (int i = 0; i < pane.Lines().Count(); ++i)
        lines << pane.Lines().Get(i);
    return lines;
}

// Runs sql on the console's own connection, on its session's thread and outside its transcript, and
// answers the first value of the first row ("" without one; "error: " and the text after a failure).
inline std::string QueryOnSession(TEditorFrame& frame, const std::string& sql)
{
    auto answer = std::make_shared<std::optional<std::string>>();
    frame.Session().Post<std::string>(
        [sql](TMySQLDataSet& dataSet) {
            const auto result = dataSet.Query(sql);
            if (dataSet.ErrorCode() != 0)
                return "error: " + ErrorWords(dataSet);
            const auto row = result ? result->FetchRow() : nullptr;
            return row ? row->GetValue(0) : std::string();
        },
        [answer](const std::string& value) { *answer = value; });
    EXPECT_TRUE(QTest::qWaitFor([answer] { return answer->has_value(); }, 30000)) << sql;
    return answer->value_or("");
}

// Waits, with the window running, until the test server no longer runs a statement that begins
// with prefix on the connection with that id. False when it still does after timeoutMs.
inline bool StatementGone(std::uint64_t connectionId, const std::string& prefix, int timeoutMs = 2000)
{
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    EXPECT_TRUE(root.Open()) << root.ErrorText();
    const std::string query = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = "
                            + std::to_string(connectionId) + " AND INFO LIKE '" + prefix + "%'";
    return QTest::qWaitFor(
        [&] {
            const auto result = root.Query(query);
            return result && result->FetchRow()->GetValue(0) == "0";
        },
        timeoutMs);
}

// The longest time between two ticks of a 5 ms timer on the GUI thread while it lives.
class TStallMeter {
public:
    TStallMeter()
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { FLongest = std::max(FLongest, FSince.restart()); });
        FSince.start();
        FTimer.start();
    }
    qint64 LongestMs() const { return FLongest; }

private:
    QTimer FTimer;
    QElapsedTimer FSince;
    qint64 FLongest = 0;
};

// A shown, active console connected to the test server, in the library database.
class Console : public testing::Test {
protected:
    void SetUp() override
    {
        Frame.InitFrame();
        Frame.show();
        Frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame));
        Frame.OpenConnection(ServerInfo());
        WaitIdle(Frame);
        ASSERT_TRUE(Frame.Session().State().Opened) << Frame.Session().State().ErrorText;
        ASSERT_EQ(QueryOnSession(Frame, "USE brindle"), "");
    }

    // Puts text in the query pane as the user would have typed it, runs it and waits for its outcome.
    void Run(const QString& text)
    {
        Type(text);
        Frame.RunQuery();
        WaitIdle(Frame);
    }

    void Type(const QString& text) { Frame.mmQuery().Lines().SetText(text); }

    // The console takes the next statement and shows its outcome.
    void ExpectTheNextStatementRuns()
    {
        const int mark = Mark();
        Run("SELECT 1 AS x");
        EXPECT_EQ(Since(mark).value(4), "-- | 1 |");
    }

    // The transcript lines written since the mark.
    QStringList Since(int mark) const { return LinesOf(Frame.mmResult()).mid(mark); }
    int Mark() const { return Frame.mmResult().Lines().Count(); }

    TEditorFrame Frame;
};
