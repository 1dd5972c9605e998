// The context menu of a console's panes: the editing commands the pane allows, then the window's items.
#pragma once

#include <QList>
#include <QMenu>

class QAction;
class TCustomEditor;

// Owned by the console, which knows its panes: Prepare fills the menu for one of them, and the
// editing commands then act on that pane. The window hands in the items that follow them (its tab
// area's menu). A command's error is reported through CommandFailed.
class TPaneMenu : public QMenu {
    Q_OBJECT

public:
    explicit TPaneMenu(QWidget* parent = nullptr);

    // The items after the editing commands.
    void SetTail(const QList<QAction*>& actions) { FTail = actions; }
    // Fills the menu for pane: the transcript (read-only) offers no undo and no cut, and shows its
    // paste disabled; each command is enabled as it fits now.
    void Prepare(TCustomEditor& pane);

    QAction* acEditUndo = nullptr;
    QAction* acEditCut = nullptr;
    QAction* acEditCopy = nullptr;
    QAction* acEditPaste = nullptr;
    QAction* acEditSelectAll = nullptr;
    // Only in the query pane's menu: the names its completion offers are read again.
    QAction* acRefreshNames = nullptr;

signals:
    void CommandFailed(const QString& message);
    void RefreshNamesRequested();

private:
    QAction* MakeAction(const QString& caption, const QKeySequence& shortcut, int command);

    QObject* FActions = nullptr; // owns the editing commands
    TCustomEditor* FPane = nullptr;
    QList<QAction*> FTail;
};
