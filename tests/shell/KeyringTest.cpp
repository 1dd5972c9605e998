// Passwords in the desktop keyring, run inside a session bus and keyring of the test's own
// (WithKeyring.sh): saved with a connection, offered again by the next dialog, used, forgotten, and
// never written to a file under HOME or the program's own folders.
#include "KeptPasswords.h"
#include "KeptState.h"
#include "UnitConnectDialog.h"

#include "ModalWindows.h"
#include "TestServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

// Whether a password is kept for the test server's account, once the keyring has answered.
std::optional<std::string> KeptPassword()
{
    std::optional<std::optional<std::string>> answer;
    KeptPasswords::Read(TestServer().Host, TestServer().Port, TestServer().User,
                        [&answer](bool found, const std::string& password) {
                            answer = found ? std::optional<std::string>(password) : std::nullopt;
                        });
    EXPECT_TRUE(QTest::qWaitFor([&answer] { return answer.has_value(); }, 30000));
    return answer.value_or(std::nullopt);
}

// Every file under the folders that holds needle.
QStringList FilesHolding(const QStringList& folders, const QByteArray& needle)
{
    QStringList found;
    for (const QString& folder : folders) {
        QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
                found.append(file.fileName());
        }
    }
    return found;
}

class Keyring : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "run through WithKeyring.sh";
        ASSERT_FALSE(TestServer().Password.empty());
    }

    void PressOk(TConnectDialog& dialog)
    {
        dialog.btOkClick();
        ASSERT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.Connecting(); }, 30000));
    }
};

TEST_F(Keyring, APasswordIsSavedUsedAfterARestartAndForgotten)
{
    {
        TMessageBoxes boxes(QMessageBox::Yes);
        TConnectDialog dialog;
        dialog.show();
        dialog.HostName->setEditText(QString::fromStdString(TestServer().Host));
        dialog.Port->setText(QString::number(TestServer().Port));
        dialog.UserName->setEditText(QString::fromStdString(TestServer().User));
        dialog.Password->setText(QString::fromStdString(TestServer().Password));
        dialog.cbSavePassword->click();
        // The keyring is asked whether it answers; the user presses OK later.
        QTest::qWait(200);
        ASSERT_TRUE(QTest::qWaitFor([&dialog] { return dialog.cbSavePassword->isEnabled(); }, 30000));
        ASSERT_TRUE(dialog.cbSavePassword->isChecked());
        ASSERT_EQ(boxes.Seen().size(), 1u) << "a message beside the question: " << boxes.Seen().back().Text.toStdString();
        PressOk(dialog);
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(QTest::qWaitFor([] { return KeptPassword() == TestServer().Password; }, 30000));
    const QStringList folders = {qEnvironmentVariable("HOME"), qEnvironmentVariable("XDG_CONFIG_HOME"),
                                 qEnvironmentVariable("XDG_DATA_HOME")};
    EXPECT_EQ(FilesHolding(folders, QByteArray::fromStdString(TestServer().Password)), QStringList());

    // The next run: the recent connection brings its password back, and it connects.
    {
        TMessageBoxes boxes;
        TConnectDialog dialog;
        dialog.show();
        ASSERT_EQ(dialog.Recent->count(), 1);
        dialog.Recent->setCurrentIndex(0);
        emit dialog.Recent->activated(0);
        ASSERT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.Password->text().isEmpty(); }, 30000));
        EXPECT_EQ(dialog.Password->text().toStdString(), TestServer().Password);
        EXPECT_TRUE(dialog.cbSavePassword->isChecked());
        PressOk(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_TRUE(boxes.Seen().empty());
    }

    // "Забыть" takes the password out of the keyring with the connection.
    {
        TConnectDialog dialog;
        dialog.show();
        dialog.Recent->setCurrentIndex(0);
        emit dialog.Recent->activated(0);
        dialog.btForget->click();
        EXPECT_EQ(dialog.Recent->count(), 0);
    }
    EXPECT_TRUE(QTest::qWaitFor([] { return !KeptPassword().has_value(); }, 30000));
}

// Unchecked, the box takes back a password kept earlier for the account; with keeping off nothing
// reaches the keyring.
TEST_F(Keyring, AnUncheckedBoxOrKeepingOffLeavesNoPassword)
{
    const auto connect = [this](bool save) {
        TMessageBoxes boxes(QMessageBox::Yes);
        TConnectDialog dialog;
        dialog.show();
        dialog.HostName->setEditText(QString::fromStdString(TestServer().Host));
        dialog.Port->setText(QString::number(TestServer().Port));
        dialog.UserName->setEditText(QString::fromStdString(TestServer().User));
        dialog.Password->setText(QString::fromStdString(TestServer().Password));
        if (save) {
            dialog.cbSavePassword->click();
            ASSERT_TRUE(QTest::qWaitFor([&dialog] { return dialog.cbSavePassword->isEnabled(); }, 30000));
        }
        PressOk(dialog);
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        QTest::qWait(200);
    };
    connect(true);
    ASSERT_TRUE(QTest::qWaitFor([] { return KeptPassword().has_value(); }, 30000));
    connect(false);
    EXPECT_TRUE(QTest::qWaitFor([] { return !KeptPassword().has_value(); }, 30000));

    KeptState().SetEnabled(false);
    connect(true);
    EXPECT_FALSE(KeptPassword().has_value());
}

} // namespace
