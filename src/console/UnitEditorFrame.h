// The console of one connection: the transcript and query panes with their status bars, the data set
// through which its statements go, and its query history.
#pragma once

#include <cstdint>

#include <QStringList>
#include <QWidget>

#include "MySQLClasses.h"

class QLabel;
class QSplitter;
class QStatusBar;
class THLEditor;
class TEditorView;

// A frame that fills one tab. It owns its panes (each view owns its editor core), its status bars,
// its data set and its history. Every operation runs on the GUI thread; the ones that reach the
// server block until it answers.
class TEditorFrame : public QWidget {
    Q_OBJECT
public:
    explicit TEditorFrame(QWidget* parent = nullptr);
    ~TEditorFrame() override;

    void InitFrame();
    // Copies the parameters and connects; a failure is shown in a message box and leaves the console
    // usable but unconnected.
    void OpenConnection(const TConnectionInfo& info);
    void CloseConnection();
    // Closes and opens again with the parameters held; the outcome is not reported.
    void ReopenConnection();
    void ClearPanes();
    void FocusQueryPane();
    void SwapPaneFocus();

    // Echoes the statement into the transcript, sends it and writes its outcome, all in one update
    // batch of the transcript; a statement that succeeded empties the query pane.
    void ExecuteStatement(const QString& sql);
    // Adds one line (without line breaks) at the end of a pane and puts the caret at its start.
    static void AppendLine(THLEditor& pane, const QString& line);

    // Runs the query pane's text (comment lines left out) and records the pane's text in the history.
    void RunQuery();
    void HistoryBack();
    void HistoryForward();

    THLEditor& mmResult() const { return *FResult; }
    THLEditor& mmQuery() const { return *FQuery; }
    TEditorView* ResultView() const { return FResultView; }
    TEditorView* QueryView() const { return FQueryView; }
    QStatusBar* StatusBarResult() const { return FStatusBarResult; }
    QStatusBar* StatusBarQuery() const { return FStatusBarQuery; }
    QSplitter* Splitter() const { return FSplitter; }
    // The caret position shown in panel 0 of a pane's status bar.
    QString StatusText(const QStatusBar* bar) const;

    TMySQLDataSet DataSet;

    const QStringList& History() const { return FHistory; }
    std::int32_t HistoryIndex() const { return FHistoryIndex; }
    const TConnectionInfo& ConnectionInfo() const { return FConnectionInfo; }

private:
    void mmQueryChangeStatus();
    void mmResultChangeStatus();
    static QStatusBar* MakeStatusBar(QWidget* parent);
    static QLabel* Panel(const QStatusBar* bar, int index);
    static void ShowCaretPosition(const THLEditor& pane, QStatusBar* bar);
    void LoadQuery(const QString& entry);

    TEditorView* FResultView = nullptr;
    TEditorView* FQueryView = nullptr;
    THLEditor* FResult = nullptr;  // owned by FResultView
    THLEditor* FQuery = nullptr;   // owned by FQueryView
    QSplitter* FSplitter = nullptr;
    QStatusBar* FStatusBarResult = nullptr;
    QStatusBar* FStatusBarQuery = nullptr;

    QStringList FHistory;
    std::int32_t FHistoryIndex = -1;
    TConnectionInfo FConnectionInfo;
};
