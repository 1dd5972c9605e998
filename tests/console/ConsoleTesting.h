// What the console tests share: the test server's login as a console takes it, waiting for a console
// to finish its statement, and a pane's lines.
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
