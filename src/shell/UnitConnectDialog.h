// The connect dialog: asks for host, port, user and password and proves them with a test connection.
#pragma once

#include "MySQLClasses.h"

#include <QDialog>
#include <QValidator>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The port box's input rule: the digits 0 to 9 and one sign ("+" or "-") in the first position.
// Anything else that is typed or pasted is dropped from the text instead of refusing the whole edit.
class TPortValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// One showing of the dialog. The controls are children of the dialog, which destroys them; the
// pointers here only name them. OK test-connects with testConnection, always closes that
// connection again, and accepts the dialog only when the test succeeded, so testConnection then
// holds the parameters that worked.
class TConnectDialog : public QDialog {
    Q_OBJECT

public:
    explicit TConnectDialog(QWidget* parent = nullptr);

    void btOkClick();
    void cbSavePasswordClick();

    TMySQLConnection testConnection;

    QWidget* mainPanel = nullptr;
    QLabel* lblHostName = nullptr;
    QLabel* lblUserName = nullptr;
    QLabel* lblPassword = nullptr;
    QComboBox* HostName = nullptr;
    QLineEdit* Port = nullptr;
    QComboBox* UserName = nullptr;
    QLineEdit* Password = nullptr;
    QCheckBox* cbSavePassword = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;
};

// Shows a new connect dialog modally. True, with info holding the parameters with which the test
// connection succeeded, when the user pressed OK and the test passed; false when the dialog was
// cancelled, escaped or closed, or could not be shown (info is then untouched).
bool ShowConnectDialog(TConnectionInfo& info);
