// Running a script on a client session's thread: its statements one after another, each echoed and
// followed by its outcome, the client commands, and files run with source.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <QString>
#include <QStringList>

#include "MySQLClasses.h"

class TStatementRun;

// What the console hands a script run and what the run leaves for it. The console fills the
// inputs before the run starts and reads the rest once the run has ended (or been dropped); the
// progress counters may be read at any time.
struct TScriptRunState {
    // In: the script's lines (the query pane's text, or its selection), the number of its first line
    // in the pane, and what the console keeps between runs.
    QStringList Lines;
    int FirstLineNumber = 1;
    QString Delimiter = QStringLiteral(";");
    bool ShowWarnings = false;
    // In: statements are echoed (false for a file run from the menu, which writes only outcomes).
    bool Echo = true;
    // In: the console has echoed the first statement already (at once, before the run started).
    bool FirstEchoed = false;

    // Set by the run before it sends a statement that may create, drop or rename names.
    std::shared_ptr<std::atomic<bool>> ChangesNames = std::make_shared<std::atomic<bool>>(false);

    // Set by the console on a cancel: no further statement is sent.
    std::atomic<bool> Cancelled = false;

    // Progress of the file being run, for the status bar.
    std::atomic<std::int64_t> FileBytesRead = 0;
    std::atomic<std::int64_t> FileBytesTotal = 0;
    std::atomic<std::int64_t> StatementsRun = 0;

    // Out. Guarded by Mutex: the console may read them while a dropped run is still ending.
    std::mutex Mutex;
    QString DelimiterAfter = QStringLiteral(";");
    bool ShowWarningsAfter = false;
    // The end (line from 0, column just after its delimiter) of the last statement of Lines that ran
    // before the script stopped; none when nothing ran.
    std::optional<std::pair<int, int>> RanUpTo;
    // A statement failed or a command was refused, and the script stopped there.
    bool Stopped = false;
};

// The session thread's part of a script run: reads the statements as they are split, runs each in
// turn (echoed unless the state says otherwise) and writes its outcome, stops at the first error
// with a line that names its code, SQLSTATE and line, and ends the run with its totals. Answers the
// current database the server last reported.
std::optional<std::string> RunScript(TMySQLDataSet& dataSet, TStatementRun& run, TScriptRunState& state);

// The session thread's part of a run of one request sent as it is (the server may run several
// statements of it in turn): every outcome written in the server's order until the first error,
// then the run ended with its totals. Answers the current database the server last reported.
std::optional<std::string> RunRequest(TMySQLDataSet& dataSet, TStatementRun& run, const QString& sql);

// The echo of the script's first statement or command, or nothing when it has none.
QStringList FirstEcho(const QStringList& lines, const QString& delimiter);

// Whether the lines hold anything to run: a token that is neither a comment nor a blank. Reads no
// further than the first such token.
bool HasScript(const QStringList& lines);

// Writes one outcome of a statement. databaseSelected: the outcome is told as "Database selected";
// vertical: rows are written one field a line, as \G asks.
void WriteOutcome(TStatementRun& run, const TMySQLOutcome& outcome, bool databaseSelected, bool vertical = false);
