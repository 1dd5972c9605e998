// The connect dialog: its initial state, the port box, the OK paths against the test server, the
// save-password question and the ways out; a test connection that the dialog waits for without
// freezing, and that Cancel ends.
#include "UnitConnectDialog.h"

#include "ConnectionWords.h"
#include "ModalWindows.h"
#include "NetworkPeers.h"
#include "TestServer.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontInfo>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QElapsedTimer>
#include <QStyle>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString FromLibrary(const std::string& text)
{
    return QString::fromStdString(text);
}

// The error text the console gives for a connection with these parameters (the library's, or the
// client layer's refusal worded), found without the dialog.
QString LibraryError(const std::string& host, std::int32_t port, const std::string& user,
                     const std::string& password)
{
    TMySQLConnection connection;
    connection.SetHost(host);
    connection.SetPort(port);
    connection.SetUser(user);
    connection.SetPassword(password);
    EXPECT_FALSE(connection.Connect());
    return FromLibrary(ErrorWords(connection));
}

// Presses OK and lets the dialog run until its test connection has ended.
void PressOk(TConnectDialog& dialog)
{
    dialog.btOkClick();
    ASSERT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.Connecting(); }, 30000));
}

void ExpectDefaults(const TConnectDialog& dialog)
{
    EXPECT_EQ(dialog.HostName->currentText(), "localhost");
    EXPECT_EQ(dialog.Port->text(), "3306");
    EXPECT_EQ(dialog.UserName->currentText(), "");
    EXPECT_EQ(dialog.Password->text(), "");
    EXPECT_FALSE(dialog.cbSavePassword->isChecked());
    EXPECT_EQ(dialog.Encryption->currentIndex(), static_cast<int>(TTlsMode::WhenOffered));
    EXPECT_EQ(dialog.CAFile->text(), "");
    // The authority matters only to the verified mode.
    EXPECT_FALSE(dialog.CAFile->isEnabled());
    EXPECT_FALSE(dialog.btCAFile->isEnabled());
    EXPECT_EQ(dialog.HostName->count(), 0);
    EXPECT_EQ(dialog.UserName->count(), 0);
    EXPECT_EQ(dialog.testConnection.Host(), "localhost");
    EXPECT_EQ(dialog.testConnection.Port(), 3306);
}

TEST(ConnectDialog, LooksAsDescribed)
{
    TConnectDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Создать соединение");
    // The encryption rows add 48 pixels to the window and the panel, the recent connections 24.
    EXPECT_EQ(dialog.size(), QSize(343, 220));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the frame is not sizeable";
    // What the user gets of the 8-point window font: characters 11 pixels high, lines that fit the
    // 21-pixel boxes, and (below) captions that fit their controls.
    const QFontInfo used(dialog.font());
    EXPECT_EQ(used.pointSize(), 8);
    EXPECT_EQ(used.pixelSize(), 11);
    EXPECT_LE(QFontMetrics(dialog.font()).height(), 21 - 4);
    EXPECT_LE((dialog.geometry().center() - dialog.screen()->availableGeometry().center()).manhattanLength(), 2)
        << "not centred on the screen";

    EXPECT_EQ(dialog.lblHostName->text(), "Имя хоста / номер порта");
    EXPECT_EQ(dialog.lblUserName->text(), "Имя пользователя");
    EXPECT_EQ(dialog.lblPassword->text(), "Пароль");
    for (const QLabel* label : {dialog.lblHostName, dialog.lblUserName, dialog.lblPassword}) {
        EXPECT_EQ(label->geometry().right() + 1, 132) << label->text().toStdString();
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString() << " is cut";
    }
    EXPECT_EQ(dialog.cbSavePassword->text(), "Сохранять пароли");
    EXPECT_LE(dialog.cbSavePassword->sizeHint().width(), dialog.cbSavePassword->width()) << "the caption is cut";
    EXPECT_EQ(dialog.btOk->text(), "Ok");
    EXPECT_EQ(dialog.btCancel->text(), "Cancel");
    EXPECT_TRUE(dialog.btOk->isDefault());
    for (const QPushButton* button : {dialog.btOk, dialog.btCancel, dialog.btForget}) {
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 2 * margin, button->width())
            << button->text().toStdString() << " is cut";
    }

    EXPECT_EQ(dialog.HostName->geometry(), QRect(138, 8, 140, 21));
    EXPECT_EQ(dialog.Port->geometry(), QRect(284, 8, 51, 21));
    EXPECT_EQ(dialog.UserName->geometry(), QRect(138, 32, 197, 21));
    EXPECT_EQ(dialog.Password->geometry(), QRect(138, 56, 197, 21));
    EXPECT_EQ(dialog.cbSavePassword->pos(), QPoint(138, 83));
    EXPECT_GE(dialog.cbSavePassword->width(), 197);
    EXPECT_LE(dialog.cbSavePassword->geometry().right(), dialog.width()) << "runs off the window";
    EXPECT_EQ(dialog.mainPanel->geometry(), QRect(0, -1, 345, 185));
    EXPECT_EQ(dialog.mainPanel->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(dialog.btOk->pos(), QPoint(183, 191));
    EXPECT_EQ(dialog.btCancel->pos(), QPoint(262, 191));
    EXPECT_EQ(dialog.lblRecent->text(), "Недавние");
    EXPECT_EQ(dialog.Recent->geometry(), QRect(138, 155, 140, 21));
    EXPECT_EQ(dialog.btForget->geometry(), QRect(284, 155, 51, 21));
    EXPECT_EQ(dialog.btForget->text(), "Забыть");

    EXPECT_EQ(dialog.lblEncryption->text(), "Шифрование");
    EXPECT_EQ(dialog.lblCAFile->text(), "Центр сертификации");
    for (const QLabel* label : {dialog.lblEncryption, dialog.lblCAFile, dialog.lblRecent}) {
        EXPECT_EQ(label->geometry().right() + 1, 132) << label->text().toStdString();
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString() << " is cut";
    }
    EXPECT_EQ(dialog.Encryption->geometry(), QRect(138, 107, 197, 21));
    EXPECT_EQ(dialog.CAFile->geometry(), QRect(138, 131, 170, 21));
    EXPECT_EQ(dialog.btCAFile->geometry(), QRect(311, 131, 24, 21));
    EXPECT_EQ(dialog.Encryption->count(), 3);
    EXPECT_EQ(dialog.Encryption->itemText(0), "когда сервер предлагает");
    EXPECT_EQ(dialog.Encryption->itemText(1), "обязательно");
    EXPECT_EQ(dialog.Encryption->itemText(2), "с проверкой сервера");
    for (int i = 0; i < 3; ++i) {
        EXPECT_LE(QFontMetrics(dialog.Encryption->font()).horizontalAdvance(dialog.Encryption->itemText(i)) + 30,
                  dialog.Encryption->width())
            << dialog.Encryption->itemText(i).toStdString() << " is cut";
    }

    EXPECT_TRUE(dialog.Port->alignment() & Qt::AlignRight);
    EXPECT_EQ(dialog.Password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.Password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                  dialog.Password),
              '*');
}

TEST(ConnectDialog, EveryDialogStartsFromTheDefaults)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        TConnectDialog dialog;
        ExpectDefaults(dialog);
        // Whatever this dialog is given must not reach the next one.
        dialog.HostName->setEditText("db.example");
        dialog.Port->setText("3307");
        dialog.UserName->setEditText("someone");
        dialog.Password->setText("secret");
        dialog.Encryption->setCurrentIndex(2);
        EXPECT_TRUE(dialog.CAFile->isEnabled());
        dialog.CAFile->setText("/tmp/ca.pem");
        TMessageBoxes answers(QMessageBox::Yes);
        dialog.cbSavePassword->setChecked(true);
        dialog.testConnection.SetHost("db.example");
    }
}

TEST(ConnectDialog, FocusStartsInTheHostAndTabFollowsTheControls)
{
    TConnectDialog dialog;
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    // The authority's box and button are off, and left out, until the verified mode is chosen.
    const std::vector<QWidget*> order = {dialog.HostName, dialog.Port, dialog.UserName,
                                         dialog.Password, dialog.cbSavePassword, dialog.Encryption,
                                         dialog.btOk, dialog.btCancel, dialog.HostName};
    for (std::size_t i = 0; i < order.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        // An editable combo box keeps the focus in its line edit.
        EXPECT_TRUE(focused == order[i] || focused->parentWidget() == order[i])
            << "step " << i << ": " << focused->metaObject()->className();
        QTest::keyClick(focused, Qt::Key_Tab);
    }
}

// What the port box keeps of typed or pasted text: only digits, and a sign only in front.
TEST(ConnectDialog, PortBoxKeepsOnlyDigitsAndOneLeadingSign)
{
    struct TCase {
        const char* Name;
        QString Start;
        int Cursor;
        bool Paste; // pasted through the clipboard, else typed key by key
        QString Input;
        QString Expected;
        int ExpectedCursor;
    };
    const TCase cases[] = {
        {"digits", "", 0, false, "3306", "3306", 4},
        {"plus sign", "", 0, false, "+3306", "+3306", 5},
        {"minus sign", "", 0, false, "-12", "-12", 3},
        {"letters and blanks dropped", "", 0, false, "a1b2 3.", "123", 3},
        {"signs after the first place dropped", "", 0, false, "1-2+3", "123", 3},
        {"second sign dropped", "", 0, false, "--5", "-5", 2},
        {"sign typed in front of digits", "3306", 0, false, "-", "-3306", 1},
        {"sign typed inside digits", "3306", 2, false, "+", "3306", 2},
        {"typed into the middle", "3306", 2, false, "x7", "33706", 3},
        {"pasted text keeps its digits", "", 0, true, "12ab34", "1234", 4},
        {"pasted with blanks", "", 0, true, " 3306 ", "3306", 4},
        {"pasted into the middle", "3306", 2, true, "a7b", "33706", 3},
        {"pasted with a sign", "", 0, true, "-42", "-42", 3},
        {"other scripts' digits dropped", "", 0, true, QStringLiteral("１２٣٤"), "", 0},
        {"cyrillic dropped", "5", 1, true, QStringLiteral("порт"), "5", 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TConnectDialog dialog;
        dialog.Port->setText(c.Start);
        dialog.Port->setCursorPosition(c.Cursor);
        if (c.Paste) {
            QApplication::clipboard()->setText(c.Input);
            dialog.Port->paste();
        } else {
            QTest::keyClicks(dialog.Port, c.Input);
        }
        EXPECT_EQ(dialog.Port->text(), c.Expected);
        EXPECT_EQ(dialog.Port->cursorPosition(), c.ExpectedCursor);
    }
}

// The question tells where a password would go; with no keyring answering (no session bus here), a
// Yes is followed by the reason and the box unchecked, and nothing is written anywhere.
TEST(ConnectDialog, SavePasswordAsksTheTruthAndWithoutAKeyringKeepsNothing)
{
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DISPLAY");
    struct TCase {
        const char* Name;
        std::optional<QMessageBox::StandardButton> Answer;
    };
    const TCase cases[] = {
        {"yes", QMessageBox::Yes},
        {"no", QMessageBox::No},
        {"escape", std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TConnectDialog dialog;
        dialog.show();
        TMessageBoxes boxes(c.Answer);
        QTest::mouseClick(dialog.cbSavePassword, Qt::LeftButton, {},
                          QPoint(6, dialog.cbSavePassword->height() / 2));
        const std::size_t expected = c.Answer == QMessageBox::Yes ? 2 : 1;
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.Seen().size() >= expected; }, 30000));
        QTest::qWait(200);
        EXPECT_FALSE(dialog.cbSavePassword->isChecked());
        EXPECT_TRUE(dialog.cbSavePassword->isEnabled());
        ASSERT_EQ(boxes.Seen().size(), expected);
        EXPECT_TRUE(boxes.Seen()[0].Text.contains("в связке ключей рабочего стола (Secret Service), не в файлах программы"))
            << boxes.Seen()[0].Text.toStdString();
        EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Question);
        EXPECT_EQ(boxes.Seen()[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        if (expected == 2) {
            EXPECT_TRUE(boxes.Seen()[1].Text.startsWith("Связка ключей рабочего стола (Secret Service) недоступна"))
                << boxes.Seen()[1].Text.toStdString();
            EXPECT_TRUE(boxes.Seen()[1].Text.contains("Пароль не сохранён")) << boxes.Seen()[1].Text.toStdString();
        }
        dialog.cbSavePassword->setChecked(false);
        EXPECT_EQ(boxes.Seen().size(), expected) << "unchecking asks nothing";
        EXPECT_TRUE(dialog.isVisible());
    }
}

TEST(ConnectDialog, CancelEscapeAndCloseBoxReturnFalse)
{
    struct TCase {
        const char* Name;
        std::function<void(TConnectDialog&)> Leave;
    };
    const TCase cases[] = {
        {"Cancel", [](TConnectDialog& d) { d.btCancel->click(); }},
        {"Esc", [](TConnectDialog& d) { QTest::keyClick(d.UserName, Qt::Key_Escape); }},
        {"close box", [](TConnectDialog& d) { d.close(); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMessageBoxes boxes;
        TOnModal<TConnectDialog> leave([&c](TConnectDialog& dialog) {
            // Entries that could not connect: leaving must not try them.
            dialog.HostName->setEditText("127.0.0.1");
            dialog.Port->setText("1");
            c.Leave(dialog);
        });
        TConnectionInfo info{"untouched", 7, "nobody", "none"};
        EXPECT_FALSE(ShowConnectDialog(info));
        EXPECT_EQ(leave.Calls(), 1);
        EXPECT_TRUE(boxes.Seen().empty());
        EXPECT_EQ(info.Host, "untouched");
        EXPECT_EQ(info.Port, 7);
    }
}

// Tests that reach the test server. "localhost" means the unix socket to the client library, so
// the socket is pointed at the test server's before the library first starts up.
class ConnectDialogServer : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(TestServer().Socket.empty());
        qputenv("MYSQL_UNIX_PORT", QByteArray::fromStdString(TestServer().Socket));
    }

    void Fill(TConnectDialog& dialog, const std::string& host, std::int32_t port,
              const std::string& password = TestServer().Password)
    {
        dialog.HostName->setEditText(FromLibrary(host));
        dialog.Port->setText(QString::number(port));
        dialog.UserName->setEditText(FromLibrary(TestServer().User));
        dialog.Password->setText(FromLibrary(password));
    }
};

TEST_F(ConnectDialogServer, GoodLoginAcceptsAndClosesTheTestConnection)
{
    TConnectDialog dialog;
    dialog.show();
    Fill(dialog, TestServer().Host, TestServer().Port);
    TMessageBoxes boxes;
    PressOk(dialog);
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.testConnection.Handle(), nullptr) << "the test connection is left open";
    EXPECT_EQ(dialog.testConnection.Host(), TestServer().Host);
    EXPECT_EQ(dialog.testConnection.Port(), TestServer().Port);
    EXPECT_EQ(dialog.testConnection.User(), TestServer().User);
    EXPECT_EQ(dialog.testConnection.Password(), TestServer().Password);
}

// A failed test shows the library's text and nothing else, keeps the dialog and its entries, closes
// the test connection, and a corrected press then gets through.
TEST_F(ConnectDialogServer, FailedLoginShowsTheLibrarysTextAndKeepsTheEntries)
{
    struct TCase {
        const char* Name;
        std::string Host;
        std::int32_t Port;
        std::string Password;
    };
    const TCase cases[] = {
        {"wrong password", TestServer().Host, TestServer().Port, "wrong-pw"},
        {"nothing listening", TestServer().Host, 1, TestServer().Password},
        {"host with a leading blank", " " + TestServer().Host, TestServer().Port,
         TestServer().Password},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString expected = LibraryError(c.Host, c.Port, TestServer().User, c.Password);
        ASSERT_FALSE(expected.isEmpty());

        TConnectDialog dialog;
        dialog.show();
        Fill(dialog, c.Host, c.Port, c.Password);
        // Answered late: the attempt's session has gone by then.
        TMessageBoxes boxes(QMessageBox::Ok, kSlowAnswer);
        PressOk(dialog);
        ASSERT_TRUE(QTest::qWaitFor([&boxes] { return !boxes.Seen().empty() && !QApplication::activeModalWidget(); }, 30000));
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].Text, expected);
        EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Critical);
        EXPECT_EQ(boxes.Seen()[0].Buttons, QMessageBox::Ok);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.testConnection.Handle(), nullptr) << "the test connection is left open";
        EXPECT_EQ(dialog.testConnection.Host(), c.Host) << "the host goes as typed, blanks and all";
        EXPECT_EQ(dialog.HostName->currentText(), FromLibrary(c.Host));
        EXPECT_EQ(dialog.Port->text(), QString::number(c.Port));
        EXPECT_EQ(dialog.UserName->currentText(), FromLibrary(TestServer().User));
        EXPECT_EQ(dialog.Password->text(), FromLibrary(c.Password));

        Fill(dialog, TestServer().Host, TestServer().Port);
        PressOk(dialog);
        EXPECT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
    }
}

// The port text as OK converts it: a TCP port, 0 standing for 3306. Host "localhost" goes through
// the socket, which ignores the port, so every number that converts connects and the port handed on
// can be read back.
TEST_F(ConnectDialogServer, PortTextConvertsToA32BitNumberOrGivesThePortMessage)
{
    struct TCase {
        QString Text;
        std::optional<std::int32_t> Port;
        QString TextAfter;
        bool PastTheBox = false;
    };
    const TCase cases[] = {
        {"", 3306, "3306"},
        {" \t ", 3306, "3306"},
        {"3306", 3306, "3306"},
        {"+3306", 3306, "+3306"},
        {"0", 3306, "0"},
        {"-0", 3306, "-0"},
        {"007", 7, "007"},
        {"65535", 65535, "65535"},
        {"65536", std::nullopt, "65536"},
        {"-1", std::nullopt, "-1"},
        {"101503", std::nullopt, "101503"},
        {"2147483647", std::nullopt, "2147483647"},
        {"-2147483648", std::nullopt, "-2147483648"},
        {"-", std::nullopt, "-"},
        {"+", std::nullopt, "+"},
        {"2147483648", std::nullopt, "2147483648"},
        {"-2147483649", std::nullopt, "-2147483649"},
        {"99999999999", std::nullopt, "99999999999"},
        // Texts the box itself would not take: the conversion still refuses them.
        {"12a", std::nullopt, "12a", true},
        {" 3306", std::nullopt, " 3306", true},
        {"+-1", std::nullopt, "+-1", true},
        {"0x10", std::nullopt, "0x10", true},
        {QStringLiteral("１２"), std::nullopt, QStringLiteral("１２"), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text.toStdString());
        TConnectDialog dialog;
        dialog.show();
        Fill(dialog, "localhost", 0);
        if (c.PastTheBox)
            dialog.Port->setValidator(nullptr);
        dialog.Port->setText(c.Text);
        TMessageBoxes boxes;
        PressOk(dialog);
        EXPECT_EQ(dialog.Port->text(), c.TextAfter);
        if (c.Port) {
            EXPECT_TRUE(boxes.Seen().empty()) << boxes.Seen()[0].Text.toStdString();
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(dialog.testConnection.Port(), *c.Port);
        } else {
            ASSERT_EQ(boxes.Seen().size(), 1u);
            EXPECT_EQ(boxes.Seen()[0].Text, "Номер порта задан не верно!");
            EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Critical);
            EXPECT_EQ(boxes.Seen()[0].Buttons, QMessageBox::Ok);
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_NE(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(dialog.testConnection.Port(), 3306) << "no port was handed on";
        }
        EXPECT_EQ(dialog.testConnection.Handle(), nullptr);
    }
}

TEST_F(ConnectDialogServer, BlankHostBecomesLocalhost)
{
    for (const QString& blank : {QString(), QStringLiteral("   "), QStringLiteral(" \t\r\n ")}) {
        SCOPED_TRACE(blank.toStdString());
        TConnectDialog dialog;
        dialog.show();
        Fill(dialog, "", 0);
        dialog.HostName->setEditText(blank);
        TMessageBoxes boxes;
        PressOk(dialog);
        EXPECT_TRUE(boxes.Seen().empty());
        EXPECT_EQ(dialog.HostName->currentText(), "localhost");
        EXPECT_EQ(dialog.testConnection.Host(), "localhost");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
}

TEST_F(ConnectDialogServer, EnterInTheHostBoxRunsOkAndFilesNothingInTheList)
{
    TConnectDialog dialog;
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    Fill(dialog, "localhost", 3306);
    TMessageBoxes boxes;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.Connecting(); }, 30000));
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.HostName->count(), 0);
}

// The whole round: typed entries, Enter, and the tested parameters handed back.
TEST_F(ConnectDialogServer, ShowConnectDialogReturnsTheTestedParameters)
{
    TMessageBoxes boxes;
    TOnModal<TConnectDialog> type([](TConnectDialog& dialog) {
        dialog.HostName->setEditText(FromLibrary(TestServer().Host));
        dialog.Port->clear();
        QTest::keyClicks(dialog.Port, QString::number(TestServer().Port));
        QTest::keyClicks(dialog.UserName, FromLibrary(TestServer().User));
        QTest::keyClicks(dialog.Password, FromLibrary(TestServer().Password));
        QTest::keyClick(dialog.Password, Qt::Key_Return);
    });
    TConnectionInfo info;
    ASSERT_TRUE(ShowConnectDialog(info));
    EXPECT_EQ(type.Calls(), 1);
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(info.Host, TestServer().Host);
    EXPECT_EQ(info.Port, TestServer().Port);
    EXPECT_EQ(info.User, TestServer().User);
    EXPECT_EQ(info.Password, TestServer().Password);
}

// A host that takes the TCP connection and never greets: the dialog shows that it connects and
// answers meanwhile; Cancel ends the attempt at once and keeps the dialog open, and without Cancel
// the library's error comes after the connect time-out.
TEST_F(ConnectDialogServer, APeerThatNeverGreets)
{
    TSilentPeer peer;
    TConnectDialog dialog;
    dialog.show();
    dialog.HostName->setEditText("127.0.0.1");
    dialog.Port->setText(QString::number(peer.Port()));
    TMessageBoxes boxes;

    dialog.btOkClick();
    EXPECT_TRUE(dialog.Connecting());
    EXPECT_FALSE(dialog.btOk->isEnabled());
    EXPECT_FALSE(dialog.lblConnecting->text().isEmpty());
    QTest::qWait(300);
    EXPECT_TRUE(dialog.Connecting());
    QElapsedTimer took;
    took.start();
    dialog.btCancel->click();
    std::printf("Cancel of a connect to a peer that never greets took %lld ms\n",
                static_cast<long long>(took.elapsed()));
    EXPECT_LT(took.elapsed(), 1000);
    EXPECT_FALSE(dialog.Connecting());
    EXPECT_TRUE(dialog.btOk->isEnabled());
    EXPECT_TRUE(dialog.lblConnecting->text().isEmpty());
    EXPECT_TRUE(dialog.isVisible());
    QTest::qWait(100);
    EXPECT_TRUE(boxes.Seen().empty());

    // The library's own text for this failure, found beside the dialog's attempt.
    auto expected = std::async(std::launch::async, [&peer] { return LibraryError("127.0.0.1", peer.Port(), "", ""); });
    took.restart();
    PressOk(dialog);
    std::printf("a connect to a peer that never greets gave up after %lld ms\n",
                static_cast<long long>(took.elapsed()));
    EXPECT_GE(took.elapsed(), 9000);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].Text, expected.get());
    EXPECT_TRUE(dialog.isVisible());

    // Out of a dialog that is not connecting, Cancel leaves.
    dialog.btCancel->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// A host name holding a control character is refused with a message before anything connects.
TEST(ConnectDialog, AHostWithAControlCharacterIsRefused)
{
    TSilentPeer peer;
    const QString hosts[] = {QString("127.0.0.1") + QChar(0) + "evil", "127.0.\t0.1", QString("db") + QChar(0x7F),
                             QString("db") + QChar(0x85) + ".example"};
    for (const QString& host : hosts) {
        SCOPED_TRACE(host.toStdString());
        TConnectDialog dialog;
        dialog.show();
        dialog.HostName->setEditText(host);
        dialog.Port->setText(QString::number(peer.Port()));
        TMessageBoxes boxes;
        dialog.btOkClick();
        EXPECT_FALSE(dialog.Connecting()) << "it tried to connect";
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_TRUE(boxes.Seen()[0].Text.startsWith("Имя хоста содержит управляющий символ"))
            << boxes.Seen()[0].Text.toStdString();
        EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Critical);
        EXPECT_EQ(dialog.HostName->currentText(), host);
        EXPECT_TRUE(dialog.isVisible());
    }
}

// A server's text is shown as it is: markup in it is neither drawn nor followed, and a picture it
// names is never opened.
TEST(ConnectDialog, ServerTextsAreShownAsPlainText)
{
    char directory[] = "/tmp/brindlecast-fifo.XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string fifo = std::string(directory) + "/picture";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Opening the FIFO for writing succeeds only while someone has it open for reading; the watcher
    // then closes it again, which also ends a reader's wait.
    std::atomic<bool> opened = false;
    std::atomic<bool> watching = true;
    std::thread watcher([&] {
        while (watching) {
            const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                opened = true;
                close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    const std::string text = "<img src=\"" + fifo + "\"><b>Access</b> denied for user '<u>admin<s>'";
    TFakeServer::TScript script;
    script.LoginError = text;
    TFakeServer server(script);
    TConnectDialog dialog;
    dialog.show();
    dialog.HostName->setEditText("127.0.0.1");
    dialog.Port->setText(QString::number(server.Port()));
    TMessageBoxes boxes;
    PressOk(dialog);
    watching = false;
    watcher.join();
    std::filesystem::remove_all(directory);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].Text, QString::fromStdString(text));
    EXPECT_EQ(boxes.Seen()[0].Format, Qt::PlainText);
    EXPECT_FALSE(opened) << "the message box opened the file its text names";
}

// The verified mode against a server whose authority the system does not know: the reason and the
// fingerprint, and the question whether to trust it. Trusted, the test connects with the certificate
// pinned, and the pin goes to the console; not trusted, nothing changes.
TEST_F(ConnectDialogServer, AnUnverifiedCertificateMayBeTrustedForThisConnection)
{
    KeptState().SetEnabled(false);
    for (const bool trust : {false, true}) {
        SCOPED_TRACE(trust);
        // Answered late: the attempt's session has gone by then.
        TMessageBoxes boxes(trust ? QMessageBox::Yes : QMessageBox::No, kSlowAnswer);
        TConnectionInfo info;
        TOnModal<TConnectDialog> fill([this, trust](TConnectDialog& dialog) {
            Fill(dialog, TestServer().Host, TestServer().Port);
            dialog.Encryption->setCurrentIndex(static_cast<int>(TTlsMode::Verified));
            PressOk(dialog);
            // The question is answered late, after the attempt's session has gone.
            ASSERT_TRUE(QTest::qWaitFor([] { return !qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 30000));
            if (!trust) {
                EXPECT_TRUE(dialog.isVisible());
                EXPECT_EQ(dialog.testConnection.PinnedFingerprint(), "");
                dialog.reject();
                return;
            }
            ASSERT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.isVisible(); }, 30000));
        });
        EXPECT_EQ(ShowConnectDialog(info), trust);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        const TSeenMessageBox& question = boxes.Seen()[0];
        EXPECT_EQ(question.Icon, QMessageBox::Question);
        EXPECT_TRUE(question.Text.contains("он выдан центром сертификации, которому нет доверия")) << question.Text.toStdString();
        EXPECT_TRUE(question.Text.contains("Доверять этому сертификату в этом соединении?")) << question.Text.toStdString();
        if (trust) {
            EXPECT_EQ(info.TlsMode, TTlsMode::Verified);
            EXPECT_EQ(info.PinnedFingerprint.size(), 32u * 3 - 1);
            EXPECT_TRUE(question.Text.contains(QString::fromStdString(info.PinnedFingerprint)));
        }
    }
}

TEST_F(ConnectDialogServer, TheVerifiedModeWithTheServersAuthorityConnectsAtOnce)
{
    TConnectDialog dialog;
    dialog.show();
    Fill(dialog, TestServer().Host, TestServer().Port);
    dialog.Encryption->setCurrentIndex(static_cast<int>(TTlsMode::Verified));
    dialog.CAFile->setText(QString::fromStdString(TestServer().CAFile));
    TMessageBoxes boxes;
    PressOk(dialog);
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.testConnection.TlsMode(), TTlsMode::Verified);
    EXPECT_EQ(dialog.testConnection.CAFile(), TestServer().CAFile);
}

// A connection that worked is offered by the next dialog (a restart reads the same files), newest
// first, and fills the entries but the password; "Забыть" drops it from the list and the file.
TEST_F(ConnectDialogServer, RecentConnectionsAreOfferedAndForgotten)
{
    {
        TConnectDialog dialog;
        dialog.show();
        Fill(dialog, TestServer().Host, TestServer().Port);
        dialog.Encryption->setCurrentIndex(static_cast<int>(TTlsMode::Required));
        PressOk(dialog);
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    }
    TKeptState restarted;
    ASSERT_EQ(restarted.RecentConnections().size(), 1u);
    TConnectDialog dialog;
    dialog.show();
    ExpectDefaults(dialog);
    ASSERT_EQ(dialog.Recent->count(), 1);
    EXPECT_EQ(dialog.Recent->itemText(0), QString::fromStdString(TestServer().User + "@" + TestServer().Host + ":"
                                                                  + std::to_string(TestServer().Port)));
    EXPECT_FALSE(dialog.btForget->isEnabled()) << "nothing chosen yet";
    dialog.Recent->setCurrentIndex(0);
    emit dialog.Recent->activated(0);
    EXPECT_EQ(dialog.HostName->currentText().toStdString(), TestServer().Host);
    EXPECT_EQ(dialog.Port->text().toInt(), TestServer().Port);
    EXPECT_EQ(dialog.UserName->currentText().toStdString(), TestServer().User);
    EXPECT_EQ(dialog.Password->text(), "");
    EXPECT_EQ(dialog.Encryption->currentIndex(), static_cast<int>(TTlsMode::Required));
    QFile file(restarted.ConnectionsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains(QByteArray::fromStdString(TestServer().Password)));
    file.close();

    ASSERT_TRUE(dialog.btForget->isEnabled());
    dialog.btForget->click();
    EXPECT_EQ(dialog.Recent->count(), 0);
    EXPECT_TRUE(restarted.RecentConnections().empty());
}

// A certificate trusted while keeping is on is trusted by the next dialog without a question; a
// different one for the same host and port is refused naming both fingerprints, and replacing the
// pin is the user's choice.
TEST_F(ConnectDialogServer, ATrustedFingerprintIsKeptAndAChangedOneNamesBoth)
{
    const auto attempt = [this](std::optional<QMessageBox::StandardButton> answer) {
        TMessageBoxes boxes(answer);
        TConnectDialog dialog;
        dialog.show();
        Fill(dialog, TestServer().Host, TestServer().Port);
        dialog.Encryption->setCurrentIndex(static_cast<int>(TTlsMode::Verified));
        PressOk(dialog);
        QTest::qWait(200);
        EXPECT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.Connecting(); }, 30000));
        std::vector<TSeenMessageBox> seen = boxes.Seen();
        return std::make_pair(dialog.result() == QDialog::Accepted, seen);
    };
    auto [trusted, questions] = attempt(QMessageBox::Yes);
    ASSERT_TRUE(trusted);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].Text.contains("будет запомнен")) << questions[0].Text.toStdString();
    const std::string fingerprint = TKeptState().TrustedFingerprint(TestServer().Host, TestServer().Port);
    ASSERT_EQ(fingerprint.size(), 32u * 3 - 1);

    std::tie(trusted, questions) = attempt(std::nullopt);
    EXPECT_TRUE(trusted);
    EXPECT_TRUE(questions.empty()) << "the kept fingerprint was asked about again";

    const std::string other(fingerprint.size(), 'A');
    TKeptState().TrustFingerprint(TestServer().Host, TestServer().Port, other);
    std::tie(trusted, questions) = attempt(QMessageBox::No);
    EXPECT_FALSE(trusted);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].Text.contains(QString::fromStdString(fingerprint))) << questions[0].Text.toStdString();
    EXPECT_TRUE(questions[0].Text.contains(QString::fromStdString(other))) << questions[0].Text.toStdString();
    EXPECT_TRUE(questions[0].Text.contains("Заменить запомненный отпечаток")) << questions[0].Text.toStdString();
    EXPECT_EQ(TKeptState().TrustedFingerprint(TestServer().Host, TestServer().Port), other);

    std::tie(trusted, questions) = attempt(QMessageBox::Yes);
    EXPECT_TRUE(trusted);
    EXPECT_EQ(TKeptState().TrustedFingerprint(TestServer().Host, TestServer().Port), fingerprint);
}

} // namespace
