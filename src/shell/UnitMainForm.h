// The main window: connection tabs, the menu bar, the tab area's context menu and the actions that
// carry every command and shortcut.
#pragma once

#include <functional>

#include <QMainWindow>
#include <QPointer>

#include "EditorCommands.h"

class QAction;
class QMenu;
class QTabWidget;
class TEditorFrame;
class TEditorView;

// Owns the tab pages through MainPageControl; each page owns one console. FActiveFrame is set exactly
// when at least one tab exists, and then names the console of the tab shown.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    void UpdateActionStates();
    // Makes the console of page the active one and puts the focus in its query pane.
    void PageEnter(QWidget* page);

    void acConnectExecute();
    void acDisconnectExecute();
    void acReconnectExecute();
    void acRunExecute();
    void acCancelQueryExecute();
    void acCommandUpExecute();
    void acCommandDownExecute();
    void acNextConnectionExecute();
    void acPrevConnectionExecute();
    void acClearEditorsExecute();
    void acSwapEditorExecute();
    void acWhatsNewExecute();
    void acAboutExecute();
    void acFindExecute();
    void acFindNextExecute();
    void acSaveTranscriptExecute();
    void acRunFileExecute();
    void acDisconnectAskExecute();

    TEditorFrame* ActiveFrame() const { return FActiveFrame; }
    // Gives the window the size and place kept from the last run; false when none was kept.
    bool RestoreWindowPlace();

    QTabWidget* MainPageControl = nullptr;
    // The context menu of the tab area; the panes' own menus end with its items.
    QMenu* PopupActionBar = nullptr;

    QAction* acConnect = nullptr;
    QAction* acDisconnect = nullptr;
    QAction* acReconnect = nullptr;
    QAction* acRun = nullptr;
    QAction* acCancelQuery = nullptr;
    QAction* acCommandUp = nullptr;
    QAction* acCommandDown = nullptr;
    QAction* acNextConnection = nullptr;
    QAction* acPrevConnection = nullptr;
    QAction* acClearEditors = nullptr;
    QAction* acSwapEditor = nullptr;
    QAction* acWhatsNew = nullptr;
    QAction* acAbout = nullptr;
    QAction* acFind = nullptr;
    QAction* acFindNext = nullptr;
    QAction* acSaveTranscript = nullptr;
    QAction* acRunFile = nullptr;
    // "Разорвать соединение" of the context menus, where a slip of the mouse is easy: it asks first.
    QAction* acDisconnectAsk = nullptr;
    // "Запоминать подключения и историю": checked while the program keeps its state between runs.
    QAction* acKeepState = nullptr;

    // The editing commands of a pane's context menu; they act on the pane whose menu was opened.

protected:
    // Asks first while a statement runs in any console.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    QAction* MakeAction(const QString& caption, const QString& category, void (TMainForm::*handler)());
    // Runs a handler; an editor error that reaches here is shown, never thrown through Qt's frames.
    void Guarded(const std::function<void()>& handler);
    void FocusChanged(QWidget* old, QWidget* now);
    void PageShown(int index);
    QWidget* PageOf(const QWidget* widget) const;
    static TEditorFrame* FrameOf(QWidget* page);
    // Whether the console may go: asked while a statement runs in it, and always when asking is
    // wanted (a context menu's command).
    bool ConfirmClose(TEditorFrame* frame, bool ask);
    // Closes the active console's connection and removes its tab.
    void CloseActiveConsole();

    TEditorFrame* FActiveFrame = nullptr;
};
