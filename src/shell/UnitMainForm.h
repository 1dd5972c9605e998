// The main window: connection tabs, the menu bar, the tab area's context menu and the actions that
// carry every command and shortcut.
#pragma once

#include <functional>

#include <QMainWindow>

class QAction;
class QMenu;
class QTabWidget;
class TEditorFrame;

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

    TEditorFrame* ActiveFrame() const { return FActiveFrame; }

    QTabWidget* MainPageControl = nullptr;
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

    TEditorFrame* FActiveFrame = nullptr;
};
