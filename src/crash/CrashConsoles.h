// Keeps the crash handler's list of consoles up to date: a signal handler cannot ask the consoles,
// so what a report says about them is prepared whenever they change.
#pragma once

class TEditorFrame;

// Lists frame in every later crash report, until it is destroyed: its host, port and user, and the
// server's version while it is connected. Read whenever the console connects, reconnects,
// disconnects or goes. GUI thread.
void ListConsoleInCrashReports(TEditorFrame* frame);
