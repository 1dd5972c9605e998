// The console of one connection: the transcript and query panes with their status bars, the data set
// through which its statements go, and its query history.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QElapsedTimer>
#include <QKeySequence>
#include <QStringList>
#include <QWidget>

#include "ClientSession.h"
#include "QueryHistory.h"
#include "StatementRun.h"

class QLabel;
class QSplitter;
class QStatusBar;
class QTimer;
class THLEditor;
class TEditorView;
class TFindBar;
class TNameCompletion;
class TPaneMenu;
class TTranscriptSaver;

// A frame that fills one tab. It owns its panes (each view owns its editor core), its status bars,
// its history and its client session, which connects and runs statements off the GUI thread (see
// ClientSession.h); the frame's operations never wait for a server.
class TEditorFrame : public QWidget {
    Q_OBJECT

public:
    explicit TEditorFrame(QWidget* parent = nullptr);
    // Lets go of the session, which finishes closing in the background.
    ~TEditorFrame() override;

    void InitFrame();
    // Copies the parameters and connects; a failure is shown in a message box and leaves the
    // console usable but unconnected.
    void OpenConnection(const TConnectionInfo& info);
    // Cancels what runs and closes the connection.
    void CloseConnection();
    // Closes and opens again with the parameters held and the current database the console had;
    // one transcript line tells the server's version and the database, or why it failed. Nothing
    // while the console is busy.
    void ReopenConnection();
    // The key of the window's reconnect command, which the transcript names when a statement finds
    // the connection gone.
    static QKeySequence ReconnectShortcut();
    void ClearPanes();
    void FocusQueryPane();
    void SwapPaneFocus();

    // Echoes the statements into the transcript at once and sends them as one request; every
    // outcome is appended in slices as it comes. A run in which every statement succeeded empties
    // the query pane, unless the pane was changed meanwhile. Nothing while the console is busy.
    void ExecuteStatement(const QString& sql);
    // Adds one line (without line breaks) at the end of a pane and puts the caret at its start.
    static void AppendLine(THLEditor& pane, const QString& line);

    // Runs the query pane's text, or its selection when there is one, as a script: statement by
    // statement, each echoed and followed by its outcome, until the first error. Without a
    // selection, what ran leaves the pane (all of it when every statement succeeded). Records the
    // pane's text (or the selection) in the history.
    void RunQuery();
    // Runs a file as source does, read as it runs: only outcomes are written, and the query pane's
    // status shows how far it has come.
    void RunFile(const QString& fileName);
    // The delimiter the console's scripts start with (a DELIMITER line changes it for later runs).
    const QString& Delimiter() const { return FDelimiter; }
    void HistoryBack();
    void HistoryForward();

    // A connect, a run, a close or a cancel is on its way, or a run is still being drawn: nothing
    // else starts. The session's state says so; the console keeps none of its own.
    bool Busy() const { return FSession->Busy(); }
    bool RunningStatement() const { return FSession->CurrentRun() != nullptr; }
    bool Connecting() const { return FSession->Connecting(); }
    // CancelQuery has something to stop.
    bool CanCancel() const { return RunningStatement() || Connecting(); }
    // Stops what runs: a connect at once; a statement on the server (KILL QUERY ID from a second
    // connection; when that connection cannot be made, the user chooses to wait or to cut; when the
    // statement runs under another account, the transcript says that it cannot be stopped); a
    // result that the server has sent, by no longer drawing it.
    void CancelQuery();

    // Find in the pane that has the focus, the transcript when neither has it: Find opens the pane's
    // find bar, FindNext finds the next match of what the bar holds (and opens it when it holds
    // nothing).
    void Find();
    void FindNext();
    TFindBar* ResultFindBar() const { return FResultFind; }
    TFindBar* QueryFindBar() const { return FQueryFind; }

    // Saves the transcript, as it is now, to a file as UTF-8 text with LF line breaks, in slices
    // while the window answers; the file is replaced only once it is whole. A failure is shown in a
    // message box, with its reason. Nothing while a save is on its way.
    void SaveTranscript(const QString& fileName);
    bool SavingTranscript() const { return FSaver != nullptr; }

    // The panes' context menu, which a right-click in a pane opens: the editing commands of that
    // pane, then the items the window hands in (SetPaneMenuTail).
    TPaneMenu* PaneMenu() const { return FPaneMenu; }
    void SetPaneMenuTail(const QList<QAction*>& actions);
    // Fills the context menu for the pane that view shows.
    QMenu* PreparePaneMenu(TEditorView* view);

    THLEditor& mmResult() const { return *FResult; }
    THLEditor& mmQuery() const { return *FQuery; }
    TEditorView* ResultView() const { return FResultView; }
    TEditorView* QueryView() const { return FQueryView; }
    QStatusBar* StatusBarResult() const { return FStatusBarResult; }
    QStatusBar* StatusBarQuery() const { return FStatusBarQuery; }
    QSplitter* Splitter() const { return FSplitter; }
    // The caret position shown in panel 0 of a pane's status bar.
    QString StatusText(const QStatusBar* bar) const;
    // Panel 1 of the query pane's status bar: what the console is busy with, and for how long; once
    // idle, how long the last run took and how many warnings it left (RunStatusText).
    QString BusyText() const;
    // "0,42 с", with " · предупреждений: N" when there were warnings. Below 10 s in hundredths,
    // below a minute in tenths, then "2 мин 05 с" and "1 ч 02 мин 05 с".
    static QString RunStatusText(std::chrono::nanoseconds elapsed, std::uint32_t warnings);

    // The console's client session: what it knows of the connection (State), and a way for tests
    // to reach the connection on its own thread.
    TClientSession& Session() const { return *FSession; }
    // The query pane's completion and the names of the server it offers.
    TNameCompletion& Names() const { return *FNames; }

    const QStringList& History() const { return FHistory.Entries(); }
    std::int32_t HistoryIndex() const { return FHistory.Index(); }
    const TConnectionInfo& ConnectionInfo() const { return FConnectionInfo; }
    // The version the server reported at login, or "" while the console is not connected.
    std::string ServerVersion() const;

signals:
    // Busy, RunningStatement or Connecting changed.
    void BusyChanged();
    // A save of the transcript ended, the file in place or not.
    void TranscriptSaveEnded(bool saved);

private:
    void mmQueryChangeStatus();
    void mmResultChangeStatus();
    static QStatusBar* MakeStatusBar(QWidget* parent);
    static QLabel* Panel(const QStatusBar* bar, int index);
    static void ShowCaretPosition(const THLEditor& pane, QStatusBar* bar);
    void LoadQuery(const QString& entry);
    TFindBar* FocusedFindBar() const;
    void TranscriptSaved(bool saved, const QString& error);

    void WorkChanged();
    void ShowBusyTime();
    void Connected(const TConnectOutcome& outcome);
    void AppendOutcomeLines(const QStringList& lines);
    // The run has lines to take: taken now, or once the frame since the last turn has passed.
    void RunReady();
    void DrainRun();
    void RunJobEnded(const QString& failure);
    // totals: none when the run did not end on its own (drawing stopped, its job threw).
    void FinishRun(bool succeeded, const std::optional<TRunTotals>& totals);
    void StopDrawing();
    void CancelRefused(const QString& reason);
    void StartScript(const std::shared_ptr<struct TScriptRunState>& script, bool selection);
    // What a script leaves: the delimiter and the warnings switch for the next run, and the pane
    // without what ran.
    void FinishScript(bool succeeded);
    // The query pane holds what it held when the run began: the run may empty it.
    bool QueryUnchangedSinceStart() const;
    void CancelUnreachable();
    // The answer to the question CancelRefused opened.
    void CutAnswered(bool cut);

    TEditorView* FResultView = nullptr;
    TEditorView* FQueryView = nullptr;
    THLEditor* FResult = nullptr;  // owned by FResultView
    THLEditor* FQuery = nullptr;   // owned by FQueryView
    QSplitter* FSplitter = nullptr;
    QStatusBar* FStatusBarResult = nullptr;
    QStatusBar* FStatusBarQuery = nullptr;
    TFindBar* FResultFind = nullptr;
    TFindBar* FQueryFind = nullptr;
    TTranscriptSaver* FSaver = nullptr;  // a child of the frame while a save is on its way
    TPaneMenu* FPaneMenu = nullptr;

    TQueryHistory FHistory;
    TConnectionInfo FConnectionInfo;

    TSessionHandle FSession;
    TNameCompletion* FNames = nullptr; // a child
    bool FReopening = false;           // the connect under way is a reconnect
    std::string FDatabaseToRestore;    // the reconnect's database
    bool FWasBusy = false;
    QString FLastRunStatus;            // panel 1 once idle
    QElapsedTimer FWorkSince;
    QTimer* FBusyTimer = nullptr;

    std::optional<QString> FRunFailure; // once the run's job has ended: what it threw, if it did
    QStringList FQueryAtStart;        // the query pane's lines when the run began
    std::int64_t FTableRows = 0;      // rows of the table being drawn
    std::int64_t FShownRows = 0;      // of them, drawn so far
    QTimer* FDrainTimer = nullptr;    // the next turn of appending the run's outcome
    QElapsedTimer FLastDrain;         // since the last turn began

    std::shared_ptr<struct TScriptRunState> FScript; // the script being run, shared with its job
    bool FScriptSelection = false;    // it is the pane's selection, or a file: the pane stays as it is
    QString FDelimiter = QStringLiteral(";");
    bool FShowWarnings = false;
};
