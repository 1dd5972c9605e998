#include "UnitMainForm.h"

#include <chrono>
#include <exception>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenuBar>
#include <QMimeData>
#include <QProxyStyle>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ClientSession.h"
#include "ClientStrings.h"
#include "CrashConsoles.h"
#include "Editor.h"
#include "EditorView.h"
#include "KeptState.h"
#include "KeptStateUi.h"
#include "PaneMenu.h"
#include "UnitAbout.h"
#include "UnitConnectDialog.h"
#include "UnitEditorFrame.h"
#include "UnitTools.h"
#include "UnitWhatsNew.h"

namespace {

// The menu bar is 26 pixels high, its items as high as the bar with their captions centred in it.
constexpr int MenuBarHeight = 26;

class TMenuBarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_MenuBarItem) {
            const int frame = pixelMetric(PM_MenuBarPanelWidth, nullptr, widget)
                              + pixelMetric(PM_MenuBarVMargin, nullptr, widget);
            result.setHeight(MenuBarHeight - 2 * frame);
        }
        return result;
    }
};

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Brindlecast 2.0"));
    setFont(WindowFont());
    setWindowIcon(ApplicationIcon());
    // The initial client area is also the smallest one.
    resize(584, 414);
    setMinimumSize(584, 414);

    MainPageControl = new QTabWidget(this);
    // The tab strip never takes the focus: a click switches tabs and leaves the focus where it was.
    MainPageControl->setFocusPolicy(Qt::NoFocus);
    MainPageControl->tabBar()->setFocusPolicy(Qt::NoFocus);
    setCentralWidget(MainPageControl);
    connect(MainPageControl, &QTabWidget::currentChanged, this, &TMainForm::PageShown);

    acConnect = MakeAction(QStringLiteral("Установить соединение"), QStringLiteral("Соединения"),
                           &TMainForm::acConnectExecute);
    acDisconnect = MakeAction(QStringLiteral("Разорвать соединение"), QStringLiteral("Соединения"),
                              &TMainForm::acDisconnectExecute);
    acReconnect = MakeAction(QStringLiteral("Переподключиться"), QStringLiteral("Соединения"),
                             &TMainForm::acReconnectExecute);
    // The console names this key when a statement finds the connection gone.
    acReconnect->setShortcut(TEditorFrame::ReconnectShortcut());
    acRun = MakeAction(QStringLiteral("Выполнить"), QStringLiteral("Действия"), &TMainForm::acRunExecute);
    acRun->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    acCancelQuery = MakeAction(QStringLiteral("Прервать запрос"), QStringLiteral("Действия"),
                               &TMainForm::acCancelQueryExecute);
    // Ctrl+Break: the Break key is the Pause key pressed with Ctrl.
    acCancelQuery->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Pause));
    acCommandUp = MakeAction(QStringLiteral("Предыдущий запрос"), QStringLiteral("История запросов"),
                             &TMainForm::acCommandUpExecute);
    acCommandUp->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up));
    acCommandDown = MakeAction(QStringLiteral("Следующий запрос"), QStringLiteral("История запросов"),
                               &TMainForm::acCommandDownExecute);
    acCommandDown->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down));
    acNextConnection = MakeAction(QStringLiteral("Следующее соединение"), QStringLiteral("Закладки"),
                                  &TMainForm::acNextConnectionExecute);
    acNextConnection->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    acPrevConnection = MakeAction(QStringLiteral("Предыдущее соединение"), QStringLiteral("Закладки"),
                                  &TMainForm::acPrevConnectionExecute);
    acPrevConnection->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    acClearEditors = MakeAction(QStringLiteral("Очистить"), QStringLiteral("Действия"),
                                &TMainForm::acClearEditorsExecute);
    acSwapEditor = MakeAction(QStringLiteral("Редактор запроса/Поле результата"), QStringLiteral("Действия"),
                              &TMainForm::acSwapEditorExecute);
    acSwapEditor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
    acWhatsNew = MakeAction(QStringLiteral("История изменений"), QStringLiteral("Справка"),
                            &TMainForm::acWhatsNewExecute);
    acAbout = MakeAction(QStringLiteral("О программе"), QStringLiteral("Справка"), &TMainForm::acAboutExecute);
    // Ctrl+F, F3 and Ctrl+S are nowhere in the panes' key map; Ctrl+S as the second key of the
    // Ctrl+Q chord stays the pane's (the view claims it while the chord waits).
    acFind = MakeAction(QStringLiteral("Найти…"), QStringLiteral("Действия"), &TMainForm::acFindExecute);
    acFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    acFindNext = MakeAction(QStringLiteral("Найти далее"), QStringLiteral("Действия"), &TMainForm::acFindNextExecute);
    acFindNext->setShortcut(QKeySequence(Qt::Key_F3));
    acSaveTranscript = MakeAction(QStringLiteral("Сохранить протокол…"), QStringLiteral("Соединения"),
                                  &TMainForm::acSaveTranscriptExecute);
    acSaveTranscript->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    acDisconnectAsk = MakeAction(QStringLiteral("Разорвать соединение"), QStringLiteral("Соединения"),
                                 &TMainForm::acDisconnectAskExecute);

    QMenu* connections = menuBar()->addMenu(QStringLiteral("Соединения"));
    acRunFile = MakeAction(QStringLiteral("Выполнить файл…"), QStringLiteral("Соединения"), &TMainForm::acRunFileExecute);
    connections->addActions({acConnect, acDisconnect, acReconnect, acRunFile, acSaveTranscript});
    acKeepState = MakeKeptStateAction(this);
    connections->addAction(acKeepState);
    QMenu* actions = menuBar()->addMenu(QStringLiteral("Действия"));
    actions->addActions({acRun, acCancelQuery});
    QMenu* history = actions->addMenu(QStringLiteral("История запросов"));
    history->addActions({acCommandUp, acCommandDown});
    QMenu* tabs = actions->addMenu(QStringLiteral("Закладки"));
    tabs->addActions({acNextConnection, acPrevConnection});
    actions->addActions({acClearEditors, acSwapEditor, acFind, acFindNext});
    QMenu* help = menuBar()->addMenu(QStringLiteral("Справка"));
    help->addActions({acWhatsNew, acAbout});
    auto* menuBarStyle = new TMenuBarStyle(QApplication::style()->name());
    menuBarStyle->setParent(menuBar());
    menuBar()->setStyle(menuBarStyle);
    menuBar()->setFixedHeight(MenuBarHeight);

    PopupActionBar = new QMenu(this);
    PopupActionBar->addActions({acDisconnectAsk, acReconnect});
    PopupActionBar->addSeparator();
    PopupActionBar->addActions({acRun, acClearEditors});
    PopupActionBar->addSeparator();
    PopupActionBar->addActions({acCommandUp, acCommandDown});
    // A drop-down menu is a window of its own and takes the application's font unless told:
    // menus use the window's font, as the menu bar does.
    for (QMenu* menu : findChildren<QMenu*>())
        menu->setFont(font());
    // A right-click on the tab control outside the panes opens the menu; the panes' own menus (their
    // console's) end with the same items.
    MainPageControl->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(MainPageControl, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupActionBar->popup(MainPageControl->mapToGlobal(pos)); });

    connect(qApp, &QApplication::focusChanged, this, &TMainForm::FocusChanged);

    FormCreate();
}

TMainForm::~TMainForm()
{
    // Focus moves while the window comes apart; they concern no page any more.
    disconnect(qApp, &QApplication::focusChanged, this, &TMainForm::FocusChanged);
    FormDestroy();
    // The program ends: the consoles' sessions still closing get a bounded time to finish.
    TClientSession::FinishClosing(std::chrono::steady_clock::now() + TClientSession::CutBound
                                  + TClientSession::StopBound);
}

QAction* TMainForm::MakeAction(const QString& caption, const QString& category,
                               void (TMainForm::*handler)())
{
    auto* action = new QAction(caption, this);
    action->setProperty("category", category);
    // Window shortcuts are matched before the focused pane sees the key; a disabled action's key
    // goes on to the pane.
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    connect(action, &QAction::triggered, this,
            [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    return action;
}

bool TMainForm::ConfirmClose(TEditorFrame* frame, bool ask)
{
    if (frame->RunningStatement())
        return ConfirmMessage(this, QStringLiteral("Запрос ещё выполняется. Закрыть?"));
    return !ask || ConfirmMessage(this, QStringLiteral("Разорвать соединение?"));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    bool running = false;
    for (int i = 0; i < MainPageControl->count(); ++i) {
        if (TEditorFrame* frame = FrameOf(MainPageControl->widget(i)))
            running = running || frame->RunningStatement();
    }
    if (running && !ConfirmMessage(this, QStringLiteral("Запрос ещё выполняется. Закрыть?"))) {
        event->ignore();
        return;
    }
    KeptState().KeepWindowGeometry(saveGeometry());
    QMainWindow::closeEvent(event);
}

bool TMainForm::RestoreWindowPlace()
{
    const QByteArray geometry = KeptState().WindowGeometry();
    return !geometry.isEmpty() && restoreGeometry(geometry);
}

void TMainForm::Guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowErrorMessage(this, QString::fromUtf8(error.what()));
    }
}

void TMainForm::FormCreate()
{
    UpdateActionStates();
}

void TMainForm::FormDestroy()
{
    // Destroying a page destroys its console, whose session cancels what runs and closes its
    // connection in the background.
    for (int i = MainPageControl->count() - 1; i >= 0; --i) {
        QWidget* page = MainPageControl->widget(i);
        MainPageControl->removeTab(i);
        delete page;
    }
    FActiveFrame = nullptr;
}

void TMainForm::UpdateActionStates()
{
    const bool active = FActiveFrame != nullptr;
    for (QAction* action : {acDisconnect, acCommandUp, acCommandDown, acClearEditors, acSwapEditor, acFind,
                            acFindNext, acSaveTranscript, acDisconnectAsk})
        action->setEnabled(active);
    // A console runs one thing at a time: a statement or a connect in progress is cancelled, not
    // joined by another.
    const bool busy = active && FActiveFrame->Busy();
    acRun->setEnabled(active && !busy);
    acReconnect->setEnabled(active && !busy);
    acRunFile->setEnabled(active && !busy);
    acCancelQuery->setEnabled(active && FActiveFrame->CanCancel());
    const bool several = MainPageControl->count() > 1;
    acNextConnection->setEnabled(several);
    acPrevConnection->setEnabled(several);
}

TEditorFrame* TMainForm::FrameOf(QWidget* page)
{
    if (!page)
        return nullptr;
    for (QObject* child : page->children()) {
        if (auto* frame = qobject_cast<TEditorFrame*>(child))
            return frame;
    }
    return nullptr;
}

QWidget* TMainForm::PageOf(const QWidget* widget) const
{
    for (int i = 0; i < MainPageControl->count(); ++i) {
        QWidget* page = MainPageControl->widget(i);
        if (widget && (widget == page || page->isAncestorOf(widget)))
            return page;
    }
    return nullptr;
}

void TMainForm::PageEnter(QWidget* page)
{
    if (!page || MainPageControl->indexOf(page) < 0)
        return;
    TEditorFrame* frame = FrameOf(page);
    if (!frame)
        return;
    FActiveFrame = frame;
    frame->FocusQueryPane();
    UpdateActionStates();
}

void TMainForm::FocusChanged(QWidget* old, QWidget* now)
{
    // Qt has no focus-enter notification for a tab page: the focus moving into a page from elsewhere
    // in this window stands for one. Focus that comes back from another window (a modal one that
    // closed) or from nowhere (the window activated again) returns to the pane that had it.
    QWidget* page = PageOf(now);
    if (page && old && old->window() == this && PageOf(old) != page)
        Guarded([this, page] { PageEnter(page); });
}

void TMainForm::PageShown(int index)
{
    // Commands act on the console the user sees, however its tab came to be shown. A page whose
    // console is still being made changes nothing; Connect makes it active once it is there.
    if (TEditorFrame* frame = FrameOf(MainPageControl->widget(index))) {
        FActiveFrame = frame;
        UpdateActionStates();
    }
}

void TMainForm::acConnectExecute()
{
    TConnectionInfo info;
    if (!ShowConnectDialog(info))
        return;
    auto* page = new QWidget;
    const QString caption =
        QStringLiteral("'%1'@'%2'").arg(FromClientString(info.User), FromClientString(info.Host));
    // A tab caption reads "&" as the mark of a shortcut letter; the user's "&" is shown as typed.
    MainPageControl->addTab(page, QString(caption).replace(u'&', QStringLiteral("&&")));
    MainPageControl->setCurrentWidget(page);
    auto* frame = new TEditorFrame(page);
    ListConsoleInCrashReports(frame);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
    connect(frame, &TEditorFrame::BusyChanged, this, [this, frame] {
        if (frame == FActiveFrame)
            UpdateActionStates();
    });
    frame->SetPaneMenuTail(PopupActionBar->actions());
    frame->PaneMenu()->setFont(font());
    frame->InitFrame();
    frame->OpenConnection(info);
    PageEnter(page);
}

void TMainForm::acDisconnectExecute()
{
    if (FActiveFrame && ConfirmClose(FActiveFrame, false))
        CloseActiveConsole();
}

void TMainForm::acDisconnectAskExecute()
{
    if (FActiveFrame && ConfirmClose(FActiveFrame, true))
        CloseActiveConsole();
}

void TMainForm::CloseActiveConsole()
{
    if (!FActiveFrame)
        return;
    FActiveFrame->CloseConnection();
    QWidget* page = PageOf(FActiveFrame);
    const int index = MainPageControl->indexOf(page);
    // The focus rests on the window, so that Qt does not move it into another page by itself.
    if (page->isAncestorOf(QApplication::focusWidget()))
        setFocus(Qt::OtherFocusReason);
    FActiveFrame = nullptr;
    MainPageControl->removeTab(index);
    delete page;
    // The tab that followed the removed one is shown; after the last tab, the first.
    const int count = MainPageControl->count();
    if (count > 0) {
        MainPageControl->setCurrentIndex(index < count ? index : 0);
        FActiveFrame = FrameOf(MainPageControl->currentWidget());
    }
    UpdateActionStates();
}

void TMainForm::acReconnectExecute()
{
    if (FActiveFrame)
        FActiveFrame->ReopenConnection();
}

void TMainForm::acRunExecute()
{
    if (FActiveFrame)
        FActiveFrame->RunQuery();
}

void TMainForm::acCancelQueryExecute()
{
    if (FActiveFrame)
        FActiveFrame->CancelQuery();
}

void TMainForm::acCommandUpExecute()
{
    if (FActiveFrame)
        FActiveFrame->HistoryBack();
}

void TMainForm::acCommandDownExecute()
{
    if (FActiveFrame)
        FActiveFrame->HistoryForward();
}

void TMainForm::acNextConnectionExecute()
{
    const int count = MainPageControl->count();
    if (count > 0)
        MainPageControl->setCurrentIndex((MainPageControl->currentIndex() + 1) % count);
}

void TMainForm::acPrevConnectionExecute()
{
    const int count = MainPageControl->count();
    if (count == 0)
        return;
    const int index = MainPageControl->currentIndex();
    MainPageControl->setCurrentIndex(index == 0 ? count - 1 : index - 1);
}

void TMainForm::acClearEditorsExecute()
{
    if (FActiveFrame)
        FActiveFrame->ClearPanes();
}

void TMainForm::acSwapEditorExecute()
{
    if (FActiveFrame)
        FActiveFrame->SwapPaneFocus();
}

void TMainForm::acWhatsNewExecute()
{
    TWhatsNewForm form(this);
    form.exec();
}

void TMainForm::acAboutExecute()
{
    ShowAboutBox();
}

void TMainForm::acFindExecute()
{
    if (FActiveFrame)
        FActiveFrame->Find();
}

void TMainForm::acFindNextExecute()
{
    if (FActiveFrame)
        FActiveFrame->FindNext();
}

void TMainForm::acRunFileExecute()
{
    if (!FActiveFrame)
        return;
    QFileDialog dialog(this, QStringLiteral("Выполнить файл"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Файлы SQL (*.sql)"), QStringLiteral("Все файлы (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    // The dialog is modal: the console asked for is still the active one.
    if (FActiveFrame)
        FActiveFrame->RunFile(dialog.selectedFiles().constFirst());
}

void TMainForm::acSaveTranscriptExecute()
{
    if (!FActiveFrame)
        return;
    QFileDialog dialog(this, QStringLiteral("Сохранить протокол"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Текстовые файлы (*.txt)"), QStringLiteral("Все файлы (*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(QStringLiteral("протокол.txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    // The console whose transcript was asked for: the dialog is modal, so it is still the active one.
    if (FActiveFrame)
        FActiveFrame->SaveTranscript(dialog.selectedFiles().constFirst());
}
