// The main window: actions and their states, tabs and the active console, shortcut dispatch, and
// shut-down closing every connection.
#include "UnitMainForm.h"
#include "PaneMenu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QTranslator>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "EditorKeyboard.h"
#include "EditorView.h"
#include "FindBar.h"
#include "HLEditor.h"
#include "TKeyTranslation.h"
#include "ModalWindows.h"
#include "QtTranslations.h"
#include "QtPrinters.h"
#include "TestServer.h"
#include "TKeyTranslation.h"
#include "UnitAbout.h"
#include "ConsoleTesting.h"
#include "UnitConnectDialog.h"
#include "NameCompletion.h"
#include "UnitEditorFrame.h"
#include "UnitTools.h"
#include "UnitWhatsNew.h"

namespace {

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
        {Form->acReconnect, "Переподключиться", "Соединения", QKeySequence(Qt::CTRL | Qt::Key_F5), false},
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
        {Form->acFind, "Найти…", "Действия", QKeySequence(Qt::CTRL | Qt::Key_F), false},
        {Form->acFindNext, "Найти далее", "Действия", QKeySequence(Qt::Key_F3), false},
        {Form->acSaveTranscript, "Сохранить протокол…", "Соединения", QKeySequence(Qt::CTRL | Qt::Key_S), false},
        {Form->acRunFile, "Выполнить файл…", "Соединения", {}, false},
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
        "  Выполнить файл…", "  Сохранить протокол…", "  Запоминать подключения и историю",
        "Действия", "  Выполнить", "  Прервать запрос", "  История запросов", "    Предыдущий запрос", "    Следующий запрос",
        "  Закладки", "    Следующее соединение", "    Предыдущее соединение", "  Очистить",
        "  Редактор запроса/Поле результата", "  Найти…", "  Найти далее",
        "Справка", "  История изменений", "  О программе",
    };
    EXPECT_EQ(outline, expected);
    // Keeping is on until the user turns it off.
    EXPECT_TRUE(Form->acKeepState->isCheckable());
    EXPECT_TRUE(Form->acKeepState->isChecked());

    QStringList popup;
    for (QAction* item : Form->PopupActionBar->actions())
        popup << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(popup, (QStringList{"Разорвать соединение", "Переподключиться", "-", "Выполнить", "Очистить", "-",
                                  "Предыдущий запрос", "Следующий запрос"}));
}

// The menu bar is 26 pixels high with its captions centred in it; the drop-down menus and the context
// menu use the window's font, whose captions they fit.
TEST_F(MainWindow, MenuBarAndMenusInTheWindowsFont)
{
    QMenuBar* bar = Form->menuBar();
    EXPECT_EQ(bar->height(), 26);
    EXPECT_EQ(bar->geometry().top(), 0);
    for (QAction* top : bar->actions()) {
        const QRect item = bar->actionGeometry(top);
        EXPECT_EQ(item.center().y(), bar->rect().center().y()) << top->text().toStdString();
        EXPECT_LE(QFontMetrics(bar->font()).horizontalAdvance(top->text()), item.width());
    }

    const QFontInfo window(Form->font());
    EXPECT_EQ(window.pointSize(), 8);
    std::vector<QMenu*> menus{Form->PopupActionBar};
    for (QAction* top : bar->actions()) {
        menus.push_back(top->menu());
        for (QAction* item : top->menu()->actions()) {
            if (item->menu())
                menus.push_back(item->menu());
        }
    }
    for (QMenu* menu : menus) {
        SCOPED_TRACE(menu->title().toStdString());
        const QFontInfo used(menu->font());
        EXPECT_EQ(used.family(), window.family());
        EXPECT_EQ(used.pointSize(), window.pointSize());
        menu->ensurePolished();
        for (QAction* item : menu->actions()) {
            if (!item->isSeparator()) {
                EXPECT_LE(QFontMetrics(menu->font()).horizontalAdvance(item->text()), menu->sizeHint().width());
            }
        }
    }
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
    EXPECT_TRUE(FrameAt(0)->Session().State().Opened);
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
    EXPECT_FALSE(FrameAt(0)->Session().State().Opened);
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

// Every window shortcut is its own, and none takes a key of the panes' key map: no single key, no
// first key of a chord, and no second key other than those the pane claims while its chord waits
// (Ctrl+S after Ctrl+Q, see FindAndSaveFromTheKeyboard). The reconnect key, pressed in the query
// pane, reconnects the console into the database it had.
TEST_F(MainWindow, WindowShortcutsLeaveThePanesKeysAlone)
{
    TKeyboard keyMap;
    keyMap.LoadDefaultKeyMap();
    const QStringList claimedSecondKeys = {"Ctrl+S"};
    std::map<QString, QString> owners;
    for (QAction* action : Form->actions()) {
        for (const QKeySequence& shortcut : action->shortcuts()) {
            const QString caption = action->text();
            const auto [owner, added] = owners.emplace(shortcut.toString(), caption);
            EXPECT_TRUE(added) << shortcut.toString().toStdString() << ": " << owner->second.toStdString()
                               << " and " << caption.toStdString();
            const QKeyCombination combination = shortcut[0];
            const TTranslatedKey key = TranslateKey(combination.key(), combination.keyboardModifiers(), QString());
            for (const TEditKey& entry : keyMap.Keys()) {
                const bool taken = (entry.FirstKey == key.Key && entry.FirstShift == key.Shift)
                    || (entry.SecondKey == key.Key && entry.SecondShift == key.Shift
                        && !claimedSecondKeys.contains(shortcut.toString()));
                EXPECT_FALSE(taken) << caption.toStdString() << " " << shortcut.toString().toStdString()
                                    << " is command " << entry.CommandCode;
            }
        }
    }
    for (const char* added : {"Ctrl+F", "F3", "Ctrl+S"})
        EXPECT_EQ(owners.count(added), 1u) << added;

    Connect();
    TEditorFrame* frame = Form->ActiveFrame();
    QWidget* query = frame->QueryView();
    QTest::keyClicks(query, "use information_schema");
    QTest::keyClick(query, Qt::Key_Return, Qt::ControlModifier);
    WaitIdle(frame);
    const std::uint64_t before = frame->Session().State().ConnectionId;
    QTest::keyClick(query, Qt::Key_F5, Qt::ControlModifier);
    WaitIdle(frame);
    EXPECT_NE(frame->Session().State().ConnectionId, before);
    EXPECT_EQ(LinesOf(frame->mmResult()).last(),
              QString("-- Переподключено: сервер %1, база данных `information_schema`.")
                  .arg(QString::fromStdString(frame->Session().State().ServerVersion)));
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList());
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

    // Switching tabs with the focus outside every page changes the shown tab and its console with it.
    Form->acNextConnection->trigger();
    EXPECT_EQ(Form->MainPageControl->currentIndex(), 0);
    EXPECT_EQ(Form->ActiveFrame(), a);
    Form->acNextConnection->trigger();
    EXPECT_EQ(Form->ActiveFrame(), c);

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

// After a Disconnect the focus rests on the window; however the user then reaches a tab, a command
// acts on the console shown. The server tells which connection ran the statement.
TEST_F(MainWindow, AfterADisconnectEveryWayToATabMakesItsConsoleActive)
{
    for (int i = 0; i < 3; ++i)
        Connect();
    ASSERT_EQ(Form->MainPageControl->count(), 3);
    QTabBar* tabBar = Form->MainPageControl->tabBar();

    struct TCase {
        const char* Way;
        std::function<void()> Reach;
        int Shown;
    };
    // Each case starts after disconnecting a fourth, last tab: the first tab is then shown and active.
    const TCase cases[] = {
        {"a click on the third tab",
         [&] { QTest::mouseClick(tabBar, Qt::LeftButton, {}, tabBar->tabRect(2).center()); }, 2},
        {"Alt+Right", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::AltModifier); }, 1},
        {"Alt+Left", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier); }, 2},
        {"Next", [&] { Form->acNextConnection->trigger(); }, 1},
        {"Previous", [&] { Form->acPrevConnection->trigger(); }, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Way);
        Connect();
        ASSERT_EQ(Form->MainPageControl->count(), 4);
        Form->acDisconnect->trigger();
        ASSERT_EQ(Form->MainPageControl->currentIndex(), 0);
        ASSERT_EQ(QApplication::focusWidget(), Form.get());

        c.Reach();
        ASSERT_EQ(Form->MainPageControl->currentIndex(), c.Shown);
        TEditorFrame* shown = FrameAt(c.Shown);
        EXPECT_EQ(Form->ActiveFrame(), shown);
        // Ctrl+Tab puts the focus into a pane the user sees.
        Form->acSwapEditor->trigger();
        EXPECT_TRUE(shown->isAncestorOf(QApplication::focusWidget()));

        for (int i = 0; i < 3; ++i)
            FrameAt(i)->mmQuery().Lines().SetText("SET @brindle_ran = 1");
        Form->acRun->trigger();
        // The statement runs on the console's session thread; the connections are asked once it is done.
        WaitIdle(shown);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(QueryOnSession(*FrameAt(i), "SELECT @brindle_ran IS NOT NULL"), i == c.Shown ? "1" : "0")
                << "console " << i;
            QueryOnSession(*FrameAt(i), "SET @brindle_ran = NULL");
        }
    }
}

// Closing a modal window or coming back to the main window leaves the focus where the user had it,
// in the transcript here, and the console active.
TEST_F(MainWindow, TheFocusInTheTranscriptSurvivesModalWindowsAndDeactivation)
{
    Connect();
    Connect();
    TEditorFrame* frame = Form->ActiveFrame();
    Form->acSwapEditor->trigger();
    ASSERT_TRUE(frame->ResultView()->hasFocus());

    struct TCase {
        const char* Away;
        std::function<void()> Go;
    };
    const TCase cases[] = {
        {"the About box",
         [&] {
             TOnModal<TFormAbout> close([](TFormAbout& box) { box.btOk->click(); });
             Form->acAbout->trigger();
             ASSERT_EQ(close.Calls(), 1);
         }},
        {"the change history",
         [&] {
             TOnModal<TWhatsNewForm> close([](TWhatsNewForm& form) { form.btClose->click(); });
             Form->acWhatsNew->trigger();
             ASSERT_EQ(close.Calls(), 1);
         }},
        {"a message box",
         [&] {
             TMessageBoxes boxes;
             ShowErrorMessage(Form.get(), "!");
             ASSERT_EQ(boxes.Seen().size(), 1u);
         }},
        {"another window",
         [&] {
             QWidget other;
             other.show();
             other.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
             ASSERT_FALSE(Form->isActiveWindow());
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Away);
        c.Go();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        EXPECT_TRUE(frame->ResultView()->hasFocus());
        EXPECT_EQ(Form->ActiveFrame(), frame);
    }
}

// A user name with "&" shows whole in its tab, and Alt with the letter after it is no tab's shortcut.
TEST_F(MainWindow, TabCaptionsShowAnAmpersand)
{
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    root.Query("CREATE OR REPLACE USER 'r&w'@'%' IDENTIFIED BY 'pw'");
    ASSERT_EQ(root.ErrorCode(), 0u) << root.ErrorText();
    Connect();
    TOnModal<TConnectDialog> fill([&](TConnectDialog& dialog) {
        dialog.HostName->setCurrentText(QString::fromStdString(TestServer().Host));
        dialog.Port->setText(QString::number(TestServer().Port));
        dialog.UserName->setCurrentText("r&w");
        dialog.Password->setText("pw");
        dialog.btOk->click();
    });
    Form->acConnect->trigger();
    ASSERT_EQ(fill.Calls(), 1);
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    root.Query("DROP USER 'r&w'@'%'");
    ASSERT_EQ(Form->MainPageControl->count(), 2);
    Form->acPrevConnection->trigger();
    ASSERT_EQ(Form->MainPageControl->currentIndex(), 0);

    // The ink of the drawn caption is as wide as the caption with its "&", not as wide as without it.
    QTabBar* tabBar = Form->MainPageControl->tabBar();
    const QString caption = QString("'r&w'@'%1'").arg(QString::fromStdString(TestServer().Host));
    const QImage image = tabBar->grab(tabBar->tabRect(1)).toImage();
    const QRgb background = image.pixel(1, image.height() / 2);
    int left = image.width(), right = -1;
    for (int y = 3; y < image.height() - 3; ++y) {
        for (int x = 3; x < image.width() - 3; ++x) {
            if (qGray(image.pixel(x, y)) < qGray(background) - 96) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    const QFontMetrics metrics(tabBar->font());
    const int withAmpersand = metrics.boundingRect(caption).width();
    const int withoutAmpersand = metrics.boundingRect(QString(caption).remove('&')).width();
    ASSERT_GT(withAmpersand - withoutAmpersand, 4);
    EXPECT_NEAR(right - left + 1, withAmpersand, 3) << "ink from x " << left << " to " << right;

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
    EXPECT_EQ(Form->MainPageControl->currentIndex(), 0);
}

// Find, Find next and Save work from the keyboard on the console shown: the find bar of the pane that
// has the focus, the transcript saved through the file dialog. Ctrl+S as the second key of the
// Ctrl+Q chord stays the pane's.
TEST_F(MainWindow, FindAndSaveFromTheKeyboard)
{
    Connect();
    TEditorFrame* frame = Form->ActiveFrame();
    QWidget* query = frame->QueryView();
    QTest::keyClicks(query, "select 'needle' as n");
    QTest::keyClick(query, Qt::Key_Return, Qt::ControlModifier);
    WaitIdle(frame);
    QTest::keyClicks(query, "needle");

    QTest::keyClick(query, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(frame->QueryFindBar()->isVisible());
    EXPECT_FALSE(frame->ResultFindBar()->isVisible());
    QTest::keyClicks(QApplication::focusWidget(), "NEEDLE");
    frame->ResultView()->setFocus();
    QTest::keyClick(frame->ResultView(), Qt::Key_F3);
    ASSERT_TRUE(frame->ResultFindBar()->isVisible()) << "nothing to find yet: the transcript's bar opens";
    QTest::keyClicks(QApplication::focusWidget(), "needle");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
    ASSERT_TRUE(QTest::qWaitFor([frame] { return !frame->ResultFindBar()->Searching(); }, 30000));
    EXPECT_TRUE(frame->mmResult().Selected());
    EXPECT_EQ(frame->mmResult().SelBegY(), 0) << "the echo holds it first";

    // Ctrl+Q, Ctrl+S: the caret goes to the line's start; no file dialog comes up.
    frame->QueryView()->setFocus();
    QTest::keyClick(query, Qt::Key_End);
    int dialogs = 0;
    {
        TOnModal<QFileDialog> count([&](QFileDialog& dialog) {
            ++dialogs;
            dialog.reject();
        });
        QTest::keyClick(query, Qt::Key_Q, Qt::ControlModifier);
        QTest::keyClick(query, Qt::Key_S, Qt::ControlModifier);
        QTest::qWait(50);
    }
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(frame->mmQuery().CaretX(), 0);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("saved");
    TOnModal<QFileDialog> save([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        dialog.selectFile(path);
        static_cast<QDialog&>(dialog).accept();
    });
    QTest::keyClick(query, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(save.Calls(), 1);
    ASSERT_TRUE(QTest::qWaitFor([frame] { return !frame->SavingTranscript(); }, 30000));
    QFile file(path + ".txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the dialog adds the .txt ending";
    EXPECT_EQ(QString::fromUtf8(file.readAll()), LinesOf(frame->mmResult()).join(u'\n') + u'\n');
}

// Closing a tab or the window asks first while a statement runs, and only then.
TEST_F(MainWindow, TheCloseQuestionComesOnlyWhileAStatementRuns)
{
    Connect();
    Connect();
    {
        TMessageBoxes none(QMessageBox::No);
        Form->acDisconnect->trigger();
        EXPECT_TRUE(none.Seen().empty());
        EXPECT_EQ(Form->MainPageControl->count(), 1) << "an idle tab closes at once";
    }

    TEditorFrame* frame = Form->ActiveFrame();
    frame->mmQuery().Lines().SetText("SELECT SLEEP(30)");
    frame->RunQuery();
    ASSERT_TRUE(frame->RunningStatement());
    for (const bool closeWindow : {false, true}) {
        SCOPED_TRACE(closeWindow ? "the window" : "the tab");
        TMessageBoxes no(QMessageBox::No);
        if (closeWindow)
            EXPECT_FALSE(Form->close());
        else
            Form->acDisconnect->trigger();
        ASSERT_EQ(no.Seen().size(), 1u);
        EXPECT_EQ(no.Seen()[0].Text, "Запрос ещё выполняется. Закрыть?");
        EXPECT_EQ(no.Seen()[0].Icon, QMessageBox::Question);
        EXPECT_TRUE(Form->isVisible());
        EXPECT_EQ(Form->MainPageControl->count(), 1);
        EXPECT_TRUE(frame->RunningStatement()) << "the statement goes on";
    }
    TMessageBoxes yes(QMessageBox::Yes);
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(yes.Seen().size(), 1u);
    EXPECT_FALSE(Form->isVisible());
}

// With Qt's translations installed, as the program does at start, the standard buttons of the
// program's questions speak Russian, like the question itself.
TEST_F(MainWindow, TheStandardButtonsSpeakRussian)
{
    ASSERT_TRUE(InstallQtTranslations(*qApp)) << "qtbase_ru.qm is missing (qt6-translations-l10n)";
    // Later tests in this process see Qt's own texts again.
    const auto uninstall = qScopeGuard([] {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    });
    Connect();
    TEditorFrame* frame = Form->ActiveFrame();
    frame->mmQuery().Lines().SetText("SELECT SLEEP(30)");
    frame->RunQuery();
    ASSERT_TRUE(frame->RunningStatement());

    QString yes;
    QString no;
    TOnModal<QMessageBox> answer([&](QMessageBox& box) {
        // A user reads the question before answering.
        QTest::qWait(200);
        yes = box.button(QMessageBox::Yes) ? box.button(QMessageBox::Yes)->text() : QString();
        no = box.button(QMessageBox::No) ? box.button(QMessageBox::No)->text() : QString();
        box.button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(Form->close());
    ASSERT_EQ(answer.Calls(), 1);
    EXPECT_EQ(QString(yes).remove(u'&'), "Да");
    EXPECT_EQ(QString(no).remove(u'&'), "Нет");
    EXPECT_TRUE(frame->RunningStatement()) << "No keeps the window and its statement";
    TMessageBoxes close(QMessageBox::Yes);
    EXPECT_TRUE(Form->close());
}

// A pane's context menu, which its console owns: the editing commands first (the transcript's without
// undo and cut, its paste disabled), then the tab area's items; they act on that pane, and breaking
// the connection from the menu asks first. The tab strip keeps the tab area's menu.
TEST_F(MainWindow, ThePanesContextMenu)
{
    Connect();
    TEditorFrame* frame = Form->ActiveFrame();
    auto items = [](QMenu* menu) {
        QStringList captions;
        for (QAction* item : menu->actions())
            captions << (item->isSeparator() ? QStringLiteral("-")
                                             : item->text() + (item->isEnabled() ? "" : " (off)"));
        return captions;
    };
    const QStringList tabArea = {"-", "Разорвать соединение", "Переподключиться", "-", "Выполнить", "Очистить",
                                 "-", "Предыдущий запрос", "Следующий запрос"};
    QApplication::clipboard()->setText("pasted");
    frame->mmQuery().Lines().SetText("select 1");
    EXPECT_EQ(items(frame->PreparePaneMenu(frame->QueryView())),
              QStringList({"Отменить (off)", "-", "Вырезать (off)", "Копировать (off)", "Вставить", "-",
                           "Выделить всё", "-", "Обновить имена"}) + tabArea);
    EXPECT_EQ(items(frame->PreparePaneMenu(frame->ResultView())),
              QStringList({"Копировать (off)", "Вставить (off)", "-", "Выделить всё (off)"}) + tabArea);

    // A right-click opens the pane's menu.
    QWidget* viewport = frame->QueryView()->viewport();
    const QPoint at(40, 8);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    EXPECT_TRUE(frame->PaneMenu()->isVisible());
    EXPECT_FALSE(Form->PopupActionBar->isVisible());
    frame->PaneMenu()->close();

    // The commands act on the pane whose menu it is; each opening of the menu enables what fits.
    const auto choose = [&](TEditorView* view, QAction* action) {
        frame->PreparePaneMenu(view);
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        action->trigger();
    };
    choose(frame->QueryView(), frame->PaneMenu()->acRefreshNames);
    EXPECT_TRUE(frame->Names().Reading()) << "the names are read again";
    choose(frame->QueryView(), frame->PaneMenu()->acEditSelectAll);
    choose(frame->QueryView(), frame->PaneMenu()->acEditCut);
    EXPECT_EQ(QApplication::clipboard()->text(), "select 1");
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList{""});
    choose(frame->QueryView(), frame->PaneMenu()->acEditPaste);
    choose(frame->QueryView(), frame->PaneMenu()->acEditPaste);
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList{"select 1select 1"});
    choose(frame->QueryView(), frame->PaneMenu()->acEditUndo);
    EXPECT_EQ(LinesOf(frame->mmQuery()), QStringList{"select 1"});
    frame->mmResult().AppendLines({"-- transcript"});
    choose(frame->ResultView(), frame->PaneMenu()->acEditSelectAll);
    choose(frame->ResultView(), frame->PaneMenu()->acEditCopy);
    EXPECT_EQ(QApplication::clipboard()->text(), "-- transcript");

    // Breaking the connection from the menu asks, also with no statement running.
    {
        TMessageBoxes no(QMessageBox::No);
        frame->PreparePaneMenu(frame->QueryView())->actions().at(10)->trigger();
        ASSERT_EQ(no.Seen().size(), 1u);
        EXPECT_EQ(no.Seen()[0].Text, "Разорвать соединение?");
        EXPECT_EQ(Form->MainPageControl->count(), 1);
    }

    // The tab strip opens the tab area's menu.
    QTabBar* strip = Form->MainPageControl->tabBar();
    const QPoint onTab = strip->tabRect(0).center();
    QContextMenuEvent onStrip(QContextMenuEvent::Mouse, onTab, strip->mapToGlobal(onTab));
    QApplication::sendEvent(strip, &onStrip);
    EXPECT_TRUE(Form->PopupActionBar->isVisible());
    Form->PopupActionBar->close();

    TMessageBoxes yes(QMessageBox::Yes);
    Form->PopupActionBar->actions().at(0)->trigger();
    EXPECT_EQ(yes.Seen().size(), 1u);
    EXPECT_EQ(Form->MainPageControl->count(), 0);
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

    const std::uint64_t id = second->Session().State().ConnectionId;
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
        ids.push_back(QueryOnSession(*FrameAt(i), "SELECT CONNECTION_ID()"));

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
