// What the console benchmarks share beside the report of every benchmark: letting a console finish
// its statement or connect, and a console shown in its window and connected.
#pragma once

#include "BenchReport.h"
#include "UnitEditorFrame.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>
#include <cstdlib>
#include <string>

// Runs the event loop until the condition holds.
template <class TCondition>
void RunUntil(TCondition done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs the event loop until the console is done with what it runs on its client thread.
inline void WaitIdle(const TEditorFrame& frame)
{
    RunUntil([&frame] { return !frame.Busy(); });
}

// A console in a window of its own, as the user sees it, connected and using a database; false when
// the connection failed (the reason is printed).
inline bool OpenShownConsole(TEditorFrame& frame, const char* host, const char* port, const char* user,
    const char* password, const char* database)
{
    frame.InitFrame();
    frame.resize(1000, 700);
    frame.show();
    QCoreApplication::processEvents();
    frame.OpenConnection({host, std::atoi(port), user, password});
    WaitIdle(frame);
    if (!frame.Session().State().Opened) {
        std::fprintf(stderr, "connect: %s\n", frame.Session().State().ErrorText.c_str());
        return false;
    }
    frame.ExecuteStatement(QStringLiteral("USE ") + QString::fromUtf8(database));
    WaitIdle(frame);
    return true;
}
