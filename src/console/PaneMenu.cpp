#include "PaneMenu.h"

#include <exception>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "Editor.h"
#include "EditorCommands.h"

TPaneMenu::TPaneMenu(QWidget* parent)
    : QMenu(parent)
    , FActions(new QObject(this))
{
    acEditUndo = MakeAction(QStringLiteral("Отменить"), QKeySequence(Qt::CTRL | Qt::Key_Z), cmdUndo);
    acEditCut = MakeAction(QStringLiteral("Вырезать"), QKeySequence(Qt::CTRL | Qt::Key_X), cmdCut);
    acEditCopy = MakeAction(QStringLiteral("Копировать"), QKeySequence(Qt::CTRL | Qt::Key_C), cmdCopy);
    acEditPaste = MakeAction(QStringLiteral("Вставить"), QKeySequence(Qt::CTRL | Qt::Key_V), cmdPaste);
    acEditSelectAll = MakeAction(QStringLiteral("Выделить всё"), QKeySequence(Qt::CTRL | Qt::Key_A), cmdSelectAll);
    acRefreshNames = new QAction(QStringLiteral("Обновить имена"), FActions);
    connect(acRefreshNames, &QAction::triggered, this, &TPaneMenu::RefreshNamesRequested);
}

QAction* TPaneMenu::MakeAction(const QString& caption, const QKeySequence& shortcut, int command)
{
    // The keys stay the pane's own: the menu only shows them. Neither the menu's children nor
    // connected to it: clear() deletes the one and a removed action loses the other.
    auto* action = new QAction(caption, FActions);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, FActions, [this, command] {
        if (!FPane)
            return;
        try {
            FPane->Command(command);
        } catch (const std::exception& error) {
            emit CommandFailed(QString::fromUtf8(error.what()));
        }
    });
    return action;
}

void TPaneMenu::Prepare(TCustomEditor& pane)
{
    FPane = &pane;
    const bool readOnly = pane.ReadOnly();
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    acEditUndo->setEnabled(pane.CanUndo());
    acEditCut->setEnabled(pane.Selected());
    acEditCopy->setEnabled(pane.Selected());
    acEditPaste->setEnabled(!readOnly && clipboard != nullptr && clipboard->hasText());
    acEditSelectAll->setEnabled(pane.LineCount() > 0);

    clear();
    if (!readOnly) {
        addAction(acEditUndo);
        addSeparator();
        addAction(acEditCut);
    }
    addActions({acEditCopy, acEditPaste});
    addSeparator();
    addAction(acEditSelectAll);
    addSeparator();
    if (!readOnly) {
        addAction(acRefreshNames);
        addSeparator();
    }
    addActions(FTail);
}
