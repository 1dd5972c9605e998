// The main window: actions and their states, tabs and the active console, shortcut dispatch, and
// shut-down closing every connection.
#include "UnitMainForm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "EditorView.h"
#include "HLEditor.h"
#include "ModalWindows.h"
#include "QtPrinters.h"
#include "TestServer.h"
#include "UnitConnectDialog.h"
#include "UnitEditorFrame.h"

namespace {

QStringList LinesOf(const THLEditor& pane)
{
    QStringList lines;
    for (int i = 0; i < pane.Lines().Count(); ++i)
        lines << pane.Lines().Get(i);
    return lines;
}

class MainWindow : public testing::Test {
protected:
    void SetUp() override
    {
        Form = std::make_unique<TMainForm>();
        Form->show();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }

    // Connects through the dialog as the user would, with the test server's parameters.
    void Connect(const std::string& user = TestServer().User)
    {
        TOnModal<TConnectDialog> fill([&](TConnectDialog& dialog) {
            dialog.HostName->setCurrentText(QString::fromStdString(TestServer().Host));
            dialog.Port->setText(QString::number(TestServer().Port));
            dialog.UserName->setCurrentText(QString::fromStdString(user));
            dialog.Password->setText(QString::fromStdString(
                user == "root" ? TestServer().RootPassword : TestServer().Password));
            dialog.btOk->click();
        });
        Form->acConnect->trigger();
        ASSERT_EQ(fill.Calls(), 1);
        WaitIdle(Form->ActiveFrame());
        // A window manager activates the window again once the dialog has gone; offscreen, the test does.
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }

    // Lets the window run until a console has finished connecting or running.
    static void WaitIdle(const TEditorFrame* frame)
    {
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([frame] { return !frame->Busy(); }, 30000)) << "still busy";
    }

    TEditorFrame* FrameAt(int index) const
    {
        return Form->MainPageControl->widget(index)->findChild<TEditorFrame*>();
    }

    std::vector<bool> ConsoleActionStates() const
    {
        std::vector<bool> states;
        for (QAction* action : {Form->acDisconnect, Form->acReconnect, Form->acRun, Form->acCommandUp,
                                Form->acCommandDown, Form->acClearEditors, Form->acSwapEditor,
                                Form->acNextConnection, Form->acPrevConnection})
            states.push_back(action->isEnabled());
        return states;
    }

    std::unique_ptr<TMainForm> Form;
};

TEST_F(MainWindow, MenusAndActions)
{
    EXPECT_EQ(Form->windowTitle(), "Brindlecast 2.0");
    EXPECT_EQ(Form->MainPageControl->count(), 0);
    EXPECT_EQ(Form->ActiveFrame(), nullptr);

    struct TCase {
        QAction* Action;
        QString Caption;
        QString Category;
        QKeySequence Shortcut;
        bool Enabled;
    };
    const TCase cases[] = {
        {Form->acConnect, "Установить соединение", "Соединения", {}, true},
        {Form->acDisconnect, "Разорвать соединение", "Соединения", {}, false},
        {Form->acReconnect, "Переподключиться", "Соединения", {}, false},
        {Form->acRun, "Выполнить", "Действия", QKeySequence(Qt::CTRL | Qt::Key_Return), false},
        {Form->acCancelQuery, "Прервать запрос", "Действия", QKeySequence(Qt::CTRL | Qt::Key_Pause), false},
        {Form->acCommandUp, "Предыдущий запрос", "История запросов", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up), false},
        {Form->acCommandDown, "Следующий запрос", "История запросов", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down), false},
        {Form->acNextConnection, "Следующее соединение", "Закладки", QKeySequence(Qt::ALT | Qt::Key_Right), false},
        {Form->acPrevConnection, "Предыдущее соединение", "Закладки", QKeySequence(Qt::ALT | Qt::Key_Left), false},
        {Form->acClearEditors, "Очистить", "Действия", {}, false},
        {Form->acSwapEditor, "Редактор запроса/Поле результата", "Действия", QKeySequence(Qt::CTRL | Qt::Key_Tab), false},
        {Form->acWhatsNew, "История изменений", "Справка", {}, true},
        {Form->acAbout, "О программе", "Справка", {}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Action->text(), c.Caption);
        EXPECT_EQ(c.Action->property("category").toString(), c.Category) << c.Caption.toStdString();
        EXPECT_EQ(c.Action->shortcut(), c.Shortcut) << c.Caption.toStdString();
        EXPECT_EQ(c.Action->isEnabled(), c.Enabled) << c.Caption.toStdString();
    }

    // Three menus, their items in order, no separators.
    QStringList outline;
    for (QAction* top : Form->menuBar()->actions()) {
        outline << top->text();
        for (QAction* item : top->menu()->actions()) {
            EXPECT_FALSE(item->isSeparator());
            outline << "  " + item->text();
            if (item->menu()) {
                for (QAction* sub : item->menu()->actions())
                    outline << "    " + sub->text();
            }
        }
    }
    const QStringList expected = {
        "Соединения", "  Установить соединение", "  Разорвать соединение", "  Переподключиться",
        "Действия", "  Выполнить", "  Прервать запрос", "  История запросов", "    Предыдущий запрос", "    Следующий запрос",
        "  Закладки", "    Следующее соединение", "    Предыдущее соединение", "  Очистить",
        "  Редактор запроса/Поле результата",
        "Справка", "  История изменений", "  О программе",
    };
    EXPECT_EQ(outline, expected);

    QStringList popup;
    for (QAction* item : Form->PopupActionBar->actions())
        popup << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(popup, (QStringList{"Разорвать соединение", "Переподключиться", "-", "Выполнить", "Очистить", "-",
                                  "Предыдущий запрос", "Следующий запрос"}));
}

TEST_F(MainWindow, ConnectAddsAnActiveTab)
{
    TOnModal<TConnectDialog> cancel([](TConnectDialog& dialog) { dialog.btCancel->click(); });
    Form->acConnect->trigger();
    EXPECT_EQ(Form->MainPageControl->count(), 0);

    Connect();
    ASSERT_EQ(Form->MainPageControl->count(), 1);
    EXPECT_EQ(Form->MainPageControl->tabText(0),
              QString("'%1'@'%2'").arg(QString::fromStdString(TestServer().User),
                                       QString::fromStdString(TestServer().Host)));
    EXPECT_EQ(Form->ActiveFrame(), FrameAt(0));
    EXPECT_TRUE(FrameAt(0)->QueryView()->hasFocus());
    EXPECT_TRUE(FrameAt(0)->DataSet.Connected());
    EXPECT_EQ(ConsoleActionStates(), (std::vector<bool>{true, true, true, true, true, true, true, false, false}));

    // The same user and host again: a second, independent console with the same caption.
    Connect();
    ASSERT_EQ(Form->MainPageControl->count(), 2);
    EXPECT_EQ(Form->MainPageControl->tabText(1), Form->MainPageControl->tabText(0));
    EXPECT_EQ(Form->ActiveFrame(), FrameAt(1));
    EXPECT_NE(FrameAt(0), FrameAt(1));
    EXPECT_TRUE(Form->acNextConnection->isEnabled());
}

TEST_F(MainWindow, AFailedConnectionStillLeavesAnActiveTab)
{
    // A user that passes the dialog's test connection and is gone before the console connects.
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    root.Query("CREATE OR REPLACE USER 'brindle_gone'@'%' IDENTIFIED BY 'pw'");
    ASSERT_EQ(root.ErrorCode(), 0u) << root.ErrorText();

    TOnModal<TConnectDialog> fill([&](TConnectDialog& dialog) {
        dialog.HostName->setCurrentText(QString::fromStdString(TestServer().Host));
        dialog.Port->setText(QString::number(TestServer().Port));
        dialog.UserName->setCurrentText("brindle_gone");
        dialog.Password->setText("pw");
        dialog.btOk->click();
        ASSERT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.Connecting(); }, 30000));
        root.Query("DROP USER 'brindle_gone'@'%'");
    });
    TMessageBoxes boxes;
    Form->acConnect->trigger();
    ASSERT_EQ(fill.Calls(), 1);
    WaitIdle(Form->ActiveFrame());
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].Text, "Ошибка подключения к базе данных!");

    ASSERT_EQ(Form->MainPageControl->count(), 1);
    EXPECT_EQ(Form->MainPageControl->tabText(0), QString("'brindle_gone'@'%1'").arg(QString::fromStdString(TestServer().Host)));
    EXPECT_EQ(Form->ActiveFrame(), FrameAt(0));
    EXPECT_FALSE(FrameAt(0)->DataSet.Connected());
    EXPECT_TRUE(Form->acReconnect->isEnabled());
    Form->acDisconnect->trigger();
    EXPECT_EQ(Form->MainPageControl->count(), 0);
}

TEST_F(MainWindow, ShortcutsGoToActionsBeforeThePane)
{
    Connect();
    TEditorFrame* frame = Form->ActiveFrame();
    QWidget* query = frame->QueryView();
    ASSERT_TRUE(query->hasFocus());

    QTest::keyClicks(query, "select 7 as n");
    QTest::keyClick(query, Qt::Key_Return, Qt::ControlModifier);
    WaitIdle(frame);
    // Ctrl+Enter ran the statement and put no line break into the pane.
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList());
    EXPECT_EQ(LinesOf(frame->mmResult()).value(0), "mysql> select 7 as n");

    // Ctrl+Tab swaps the panes, and back; no tab is inserted and no tab switched.
    QTest::keyClick(query, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(frame->ResultView()->hasFocus());
    QTest::keyClick(frame->ResultView(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(query->hasFocus());
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList());

    // Ctrl+Shift+Up recalls the statement, Ctrl+Shift+Down empties the pane again.
    QTest::keyClick(query, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList{"select 7 as n"});
    QTest::keyClick(query, Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList());

    // With one tab Alt+Left and Alt+Right are disabled: the keys reach the pane.
    int altKeys = 0;
    struct TCounter : QObject {
        int& Count;
        explicit TCounter(int& count) : Count(count) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() != QEvent::KeyPress)
                return false;
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() == Qt::AltModifier && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right))
                ++Count;
            return false;
        }
    } counter(altKeys);
    query->installEventFilter(&counter);
    QTest::keyClick(query, Qt::Key_Left, Qt::AltModifier);
    QTest::keyClick(query, Qt::Key_Right, Qt::AltModifier);
    query->removeEventFilter(&counter);
    EXPECT_EQ(altKeys, 2);
}

TEST_F(MainWindow, TabsFollowNextPreviousAndDisconnect)
{
    for (int i = 0; i < 3; ++i)
        Connect();
    ASSERT_EQ(Form->MainPageControl->count(), 3);
    TEditorFrame* a = FrameAt(0);
    TEditorFrame* b = FrameAt(1);
    TEditorFrame* c = FrameAt(2);

    // Switching tabs while working in a console moves the focus into the shown tab's query pane.
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(Form->MainPageControl->currentIndex(), 0);
    EXPECT_EQ(Form->ActiveFrame(), a);
    EXPECT_TRUE(a->QueryView()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(Form->ActiveFrame(), c);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(Form->ActiveFrame(), b);
    EXPECT_TRUE(b->QueryView()->hasFocus());

    // Disconnecting B shows C and makes it active; the focus rests on the window.
    Form->acDisconnect->trigger();
    ASSERT_EQ(Form->MainPageControl->count(), 2);
    EXPECT_EQ(Form->MainPageControl->currentIndex(), 1);
    EXPECT_EQ(Form->ActiveFrame(), c);
    EXPECT_FALSE(c->QueryView()->hasFocus());
    EXPECT_FALSE(a->QueryView()->hasFocus());

    // Switching tabs with the focus outside every page changes the shown tab, not the console.
    Form->acNextConnection->trigger();
    EXPECT_EQ(Form->MainPageControl->currentIndex(), 0);
    EXPECT_EQ(Form->ActiveFrame(), c);
    Form->acNextConnection->trigger();

    // Disconnecting the last tab shows the first.
    Form->acDisconnect->trigger();
    ASSERT_EQ(Form->MainPageControl->count(), 1);
    EXPECT_EQ(Form->ActiveFrame(), a);
    EXPECT_FALSE(Form->acNextConnection->isEnabled());

    Form->acDisconnect->trigger();
    EXPECT_EQ(Form->MainPageControl->count(), 0);
    EXPECT_EQ(Form->ActiveFrame(), nullptr);
    EXPECT_EQ(ConsoleActionStates(), std::vector<bool>(9, false));
}

TEST_F(MainWindow, RightClickInsideAConsoleOpensTheTabAreaMenu)
{
    Connect();
    QWidget* viewport = Form->ActiveFrame()->QueryView()->viewport();
    const QPoint at(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    EXPECT_TRUE(Form->PopupActionBar->isVisible());
    Form->PopupActionBar->close();
}

// Run and Reconnect wait while the active console runs a statement, and the cancel command (Ctrl+Break)
// is there for it; the states follow the console that is shown.
TEST_F(MainWindow, CancelFollowsTheRunningConsole)
{
    Connect();
    Connect();
    TEditorFrame* first = FrameAt(0);
    TEditorFrame* second = FrameAt(1);
    ASSERT_EQ(Form->ActiveFrame(), second);
    EXPECT_TRUE(Form->acRun->isEnabled());
    EXPECT_FALSE(Form->acCancelQuery->isEnabled());

    const std::uint64_t id = second->DataSet.Connection()->ConnectionId();
    QWidget* query = second->QueryView();
    QTest::keyClicks(query, "select sleep(30)");
    QTest::keyClick(query, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(Form->acRun->isEnabled());
    EXPECT_FALSE(Form->acReconnect->isEnabled());
    EXPECT_TRUE(Form->acCancelQuery->isEnabled());

    // The other console is free.
    QTest::keyClick(query, Qt::Key_Left, Qt::AltModifier);
    ASSERT_EQ(Form->ActiveFrame(), first);
    EXPECT_TRUE(Form->acRun->isEnabled());
    EXPECT_FALSE(Form->acCancelQuery->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::AltModifier);
    ASSERT_EQ(Form->ActiveFrame(), second);
    EXPECT_TRUE(Form->acCancelQuery->isEnabled());

    ASSERT_TRUE(WaitUntilServerRuns(id, "select sleep"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Pause, Qt::ControlModifier);
    WaitIdle(second);
    EXPECT_EQ(LinesOf(second->mmResult()).value(1), "-- Query execution was interrupted");
    EXPECT_TRUE(Form->acRun->isEnabled());
    EXPECT_TRUE(Form->acReconnect->isEnabled());
    EXPECT_FALSE(Form->acCancelQuery->isEnabled());
}

// Closing the window while statements run cancels them and does not wait for them.
TEST_F(MainWindow, ShutDownDuringStatementsDoesNotWaitForThem)
{
    Connect();
    Connect();
    for (int i = 0; i < 2; ++i) {
        FrameAt(i)->mmQuery().Lines().SetText("SELECT SLEEP(30)");
        FrameAt(i)->RunQuery();
        EXPECT_TRUE(FrameAt(i)->RunningStatement());
    }
    QTest::qWait(300);
    QElapsedTimer took;
    took.start();
    Form.reset();
    std::printf("closing the window during two SELECT SLEEP(30) took %lld ms\n",
                static_cast<long long>(took.elapsed()));
    EXPECT_LT(took.elapsed(), 5000);
}

TEST_F(MainWindow, ShutDownClosesEveryConnection)
{
    Connect();
    Connect();
    std::vector<std::string> ids;
    for (int i = 0; i < 2; ++i)
        ids.push_back(FrameAt(i)->DataSet.Query("SELECT CONNECTION_ID()")->FetchRow()->GetValue(0));

    Form.reset();

    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    const std::string query = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID IN (" + ids[0] +
                              ", " + ids[1] + ")";
    // The server notices a closed connection on its own thread: give it a moment.
    std::string left = "2";
    for (int attempt = 0; attempt < 100 && left != "0"; ++attempt) {
        left = root.Query(query)->FetchRow()->GetValue(0);
        if (left != "0")
            QTest::qWait(20);
    }
    EXPECT_EQ(left, "0");
}

} // namespace
