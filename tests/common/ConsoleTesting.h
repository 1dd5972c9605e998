// What the tests that drive consoles share: the test server's login, waiting for a console
// to finish its statement, a pane's lines, and a shown console connected to the test server.
#pragma once

#include <QStringList>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "HLEditor.h"
#include "TestServer.h"
#include "UnitEditorFrame.h"

inline TConnectionInfo ServerInfo()
{
    return {TestServer().Host, TestServer().Port, TestServer().User, TestServer().Password};
}

// Lets the window run until the console has finished what it was doing.
inline void WaitIdle(const TEditorFrame& frame, int timeoutMs = 30000)
{
    ASSERT_TRUE(QTest::qWaitFor([&frame] { return !frame.Busy(); }, timeoutMs)) << "still busy";
}

inline QStringList LinesOf(const THLEditor& pane)
{
    QStringList lines;
    for (int i = 0; i < pane.Lines().Count(); ++i)
        lines << pane.Lines().Get(i);
    return lines;
}

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
        ASSERT_TRUE(Frame.DataSet.Connected()) << Frame.DataSet.ErrorText();
        Frame.DataSet.Query("USE brindle");
    }

    // Puts text in the query pane as the user would have typed it, runs it and waits for its outcome.
    void Run(const QString& text)
    {
        Type(text);
        Frame.RunQuery();
        WaitIdle(Frame);
    }

    void Type(const QString& text) { Frame.mmQuery().Lines().SetText(text); }

    // The transcript lines written since the mark.
    QStringList Since(int mark) const { return LinesOf(Frame.mmResult()).mid(mark); }
    int Mark() const { return Frame.mmResult().Lines().Count(); }

    TEditorFrame Frame;
};
