// The connect dialog: asks for host, port, user and password and proves them with a test connection.
#pragma once

#include "ClientSession.h"
#include "KeptState.h"
#include "MySQLClasses.h"

#include <QDialog>
#include <QValidator>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
// pointers here only name them. OK sets testConnection's parameters and test-connects with them in a
// client session of its own; the test connection is closed again at once, and the dialog is accepted
// only when the test succeeded, so testConnection then holds the parameters that worked.
//
// Beyond the host, port, user and password, "Шифрование" says how the connection uses TLS; with a
// verified server, CAFile names the authority (empty: the system's store). A certificate that
// cannot be verified is shown with the reason and its fingerprint, and the user may trust it: the
// fingerprint then goes with the parameters (for this connection only) until the host, the port or
// the encryption settings change.
class TConnectDialog : public QDialog {
    Q_OBJECT

public:
    explicit TConnectDialog(QWidget* parent = nullptr);
    ~TConnectDialog() override;

    void btOkClick();
    void cbSavePasswordClick();

    // A test connection is under way (OK is disabled and the dialog says so).
    bool Connecting() const { return FAttempt != nullptr; }
    // Cancel and Esc: during a test connection they end it at once and the dialog stays open;
    // otherwise they close the dialog.
    void reject() override;

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
    QLabel* lblEncryption = nullptr;
    QComboBox* Encryption = nullptr; // items in the order of TTlsMode
    QLabel* lblCAFile = nullptr;
    QLineEdit* CAFile = nullptr;
    QPushButton* btCAFile = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;
    QLabel* lblConnecting = nullptr;
    // The kept recent connections, newest first; choosing one fills the entries, "Забыть" drops it.
    QLabel* lblRecent = nullptr;
    QComboBox* Recent = nullptr;
    QPushButton* btForget = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AttemptEnded(const TConnectOutcome& outcome);
    void EndAttempt();
    void btCAFileClick();
    void EncryptionChanged();
    void FillRecent();
    void RecentChosen(int index);
    void btForgetClick();
    // After a test connection that worked: keeps the connection and a fingerprint the user trusted.
    void KeepAttempt();
    // The question asked before trusting a certificate that could not be verified.
    QString TrustQuestion(const TCertificateProblem& problem) const;

    TSessionHandle FAttempt;
    std::vector<TRecentConnection> FRecent;
    std::string FTrustedFingerprint; // a certificate the user chose to trust for these entries
};

// Shows a new connect dialog modally. True, with info holding the parameters with which the test
// connection succeeded, when the user pressed OK and the test passed; false when the dialog was
// cancelled, escaped or closed, or could not be shown (info is then untouched).
bool ShowConnectDialog(TConnectionInfo& info);
