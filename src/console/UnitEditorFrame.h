// The console of one connection: the transcript and query panes with their status bars, the data set
// through which its statements go, and its query history.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

#include "ClientThread.h"
#include "MySQLClasses.h"
#include "QueryHistory.h"

class QLabel;
class QSplitter;
class QStatusBar;
class QTimer;
class THLEditor;
class TEditorView;
class TFindBar;
class TQueryCanceller;
class TStatementRun;
class TTranscriptSaver;

// A frame that fills one tab. It owns its panes (each view owns its editor core), its status bars,
// its history and its client thread. The client calls (connects and statements) run on that thread,
// one at a time, so the window answers while the server works; the frame's operations run on the
// GUI thread and never wait for a server. The data set is shared with the client thread's jobs and
// is touched from the GUI thread only while the console is not Busy.
class TEditorFrame : public QWidget {
    Q_OBJECT

private:
    // Declared first: DataSet refers to it.
    std::shared_ptr<TMySQLDataSet> FDataSet;

public:
    explicit TEditorFrame(QWidget* parent = nullptr);
    // Ends what runs (see BeginShutdown) and waits for it no longer than a cancel takes.
    ~TEditorFrame() override;

    void InitFrame();
    // Copies the parameters and connects on the client thread; a failure is shown in a message box
    // and leaves the console usable but unconnected.
    void OpenConnection(const TConnectionInfo& info);
    void CloseConnection();
    // Closes and opens again with the parameters held; the outcome is not reported. Nothing while
    // the console is busy.
    void ReopenConnection();
    void ClearPanes();
    void FocusQueryPane();
    void SwapPaneFocus();

    // Echoes the statement into the transcript at once and sends it on the client thread; its outcome
    // is appended in slices as it comes. A statement that succeeded empties the query pane, unless
    // the pane was changed meanwhile. Nothing while the console is busy.
    void ExecuteStatement(const QString& sql);
    // Adds one line (without line breaks) at the end of a pane and puts the caret at its start.
    static void AppendLine(THLEditor& pane, const QString& line);

    // Runs the query pane's text (comment lines left out) and records the pane's text in the history.
    void RunQuery();
    void HistoryBack();
    void HistoryForward();

    // A connect or a statement is on its way.
    bool Busy() const { return FWork != TWork::None; }
    bool RunningStatement() const { return FWork == TWork::Statement; }
    // Stops the running statement on the server (KILL QUERY from a second connection). If the
    // statement has not ended CutBound later, the console's connection is cut: the transcript shows
    // the lost connection and Reconnect brings it back.
    void CancelQuery();
    static constexpr std::chrono::milliseconds CutBound{2000};
    // Starts to end what runs, without waiting: a statement is cancelled, a connect interrupted.
    // The destructor does the same and then waits at most until CutBound after the start. Lets a
    // window that closes several consoles cancel all of them at once.
    void BeginShutdown();

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

    THLEditor& mmResult() const { return *FResult; }
    THLEditor& mmQuery() const { return *FQuery; }
    TEditorView* ResultView() const { return FResultView; }
    TEditorView* QueryView() const { return FQueryView; }
    QStatusBar* StatusBarResult() const { return FStatusBarResult; }
    QStatusBar* StatusBarQuery() const { return FStatusBarQuery; }
    QSplitter* Splitter() const { return FSplitter; }
    // The caret position shown in panel 0 of a pane's status bar.
    QString StatusText(const QStatusBar* bar) const;
    // Panel 1 of the query pane's status bar: what the console is busy with, and for how long.
    QString BusyText() const;

    TMySQLDataSet& DataSet;

    const QStringList& History() const { return FHistory.Entries(); }
    std::int32_t HistoryIndex() const { return FHistory.Index(); }
    const TConnectionInfo& ConnectionInfo() const { return FConnectionInfo; }

signals:
    // Busy or RunningStatement changed.
    void BusyChanged();
    // A save of the transcript ended, the file in place or not.
    void TranscriptSaveEnded(bool saved);

private:
    enum class TWork { None, Connecting, Statement };

    void mmQueryChangeStatus();
    void mmResultChangeStatus();
    static QStatusBar* MakeStatusBar(QWidget* parent);
    static QLabel* Panel(const QStatusBar* bar, int index);
    static void ShowCaretPosition(const THLEditor& pane, QStatusBar* bar);
    void LoadQuery(const QString& entry);
    TFindBar* FocusedFindBar() const;
    void TranscriptSaved(bool saved, const QString& error);

    void StartWork(TWork work);
    void EndWork();
    void ShowBusyTime();
    void PostConnect(bool closeFirst, bool reportFailure);
    void Connected(bool opened, bool reportFailure);
    void DrainRun(std::uint64_t serial);
    void FinishRun(bool succeeded);
    void CutConnection();

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

    TQueryHistory FHistory;
    TConnectionInfo FConnectionInfo;

    TReplyChannel FReplies{this};
    std::unique_ptr<TClientThread> FClient;
    TWork FWork = TWork::None;
    QElapsedTimer FWorkSince;
    QTimer* FBusyTimer = nullptr;

    std::shared_ptr<TStatementRun> FRun;
    std::uint64_t FRunSerial = 0;
    QString FQueryAtStart;           // the query pane's text (line-list form) when the run began
    TConnectionInfo FRunLogin;       // where a cancel of the run connects to
    std::uint64_t FRunConnectionId = 0; // the server's id of the connection the run uses
    std::unique_ptr<TQueryCanceller> FCanceller;
    QTimer* FCutTimer = nullptr;
    QTimer* FDrainTimer = nullptr;   // the next turn of appending the run's outcome
    bool FShuttingDown = false;
    std::chrono::steady_clock::time_point FShutdownDeadline;
};
