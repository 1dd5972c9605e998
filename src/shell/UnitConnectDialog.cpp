#include "UnitConnectDialog.h"

#include "ClientStrings.h"
#include "CoreDumps.h"
#include "UnitTools.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace {

// Blank in the sense of the host and port boxes: every unit is a control character or a space.
bool IsBlank(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar ch) { return ch.unicode() <= 32; });
}

bool IsAsciiDigit(QChar ch)
{
    return ch >= u'0' && ch <= u'9';
}

// Decimal digits with an optional leading sign, a TCP port from 0 to 65535 (0 standing for the
// default port); nothing else.
std::optional<std::int32_t> ParsePort(const QString& text)
{
    constexpr std::int32_t highest = 65535;
    qsizetype at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
        negative = text[at] == u'-';
        ++at;
    }
    if (at == text.size())
        return std::nullopt;
    std::int32_t value = 0;
    for (; at < text.size(); ++at) {
        if (!IsAsciiDigit(text[at]))
            return std::nullopt;
        value = value * 10 + (text[at].unicode() - u'0');
        if (value > highest)
            return std::nullopt;
    }
    if (negative && value != 0)
        return std::nullopt;
    return value;
}

} // namespace

QValidator::State TPortValidator::validate(QString& input, int& pos) const
{
    QString kept;
    kept.reserve(input.size());
    int keptPos = pos;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar ch = input[i];
        const bool sign = ch == u'+' || ch == u'-';
        if (IsAsciiDigit(ch) || (sign && i == 0))
            kept.append(ch);
        else if (i < pos)
            --keptPos;
    }
    input = kept;
    pos = keptPos;
    return Acceptable;
}

TConnectDialog::TConnectDialog(QWidget* parent)
    : QDialog(parent)
{
    MakeFixedDialog(this, QStringLiteral("Создать соединение"), QSize(343, 148));

    mainPanel = new QWidget(this);
    mainPanel->setGeometry(0, -1, 345, 113);
    QPalette panelPalette = mainPanel->palette();
    panelPalette.setColor(QPalette::Window, Qt::white);
    mainPanel->setPalette(panelPalette);
    mainPanel->setAutoFillBackground(true);

    const auto makeLabel = [this](const QString& caption, int top) {
        auto* label = new QLabel(caption, mainPanel);
        // Right edge at x 132, six pixels before the inputs.
        label->setGeometry(0, top, 132, 21);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return label;
    };
    const auto makeCombo = [this](int left, int top, int width) {
        auto* combo = new QComboBox(mainPanel);
        combo->setEditable(true);
        // The drop-down lists stay empty: Enter must not file the typed text into them.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setGeometry(left, top, width, 21);
        return combo;
    };

    lblHostName = makeLabel(QStringLiteral("Имя хоста / номер порта"), 8);
    lblUserName = makeLabel(QStringLiteral("Имя пользователя"), 32);
    lblPassword = makeLabel(QStringLiteral("Пароль"), 56);

    HostName = makeCombo(138, 8, 140);
    HostName->setEditText(QStringLiteral("localhost"));

    Port = new QLineEdit(QStringLiteral("3306"), mainPanel);
    Port->setGeometry(284, 8, 51, 21);
    Port->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Port->setValidator(new TPortValidator(Port));

    UserName = makeCombo(138, 32, 197);

    Password = new QLineEdit(mainPanel);
    Password->setGeometry(138, 56, 197, 21);
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    // A password is in the process from its first typed character on, long before OK.
    connect(Password, &QLineEdit::textChanged, this, [](const QString& text) {
        if (!text.isEmpty())
            KeepPasswordsOutOfCoreDumps();
    });

    cbSavePassword = new QCheckBox(QStringLiteral("Сохранять пароли (не безопасно!)"), mainPanel);
    // The style's check mark takes more room than the classic one: the caption keeps its words.
    cbSavePassword->setGeometry(138, 83, std::max(197, cbSavePassword->sizeHint().width()), 17);

    btOk = new QPushButton(QStringLiteral("Ok"), this);
    btOk->setGeometry(183, 119, 75, 25);
    btOk->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setGeometry(262, 119, 75, 25);
    lblConnecting = new QLabel(this);
    lblConnecting->setGeometry(8, 119, 170, 25);

    QWidget::setTabOrder(HostName, Port);
    QWidget::setTabOrder(Port, UserName);
    QWidget::setTabOrder(UserName, Password);
    QWidget::setTabOrder(Password, cbSavePassword);
    QWidget::setTabOrder(cbSavePassword, btOk);
    QWidget::setTabOrder(btOk, btCancel);
    HostName->setFocus();

    connect(btOk, &QPushButton::clicked, this, &TConnectDialog::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbSavePassword, &QCheckBox::toggled, this, &TConnectDialog::cbSavePasswordClick);

    CentreOnScreen(this);
}

TConnectDialog::~TConnectDialog() = default;

void TConnectDialog::btOkClick()
{
    if (Connecting())
        return;
    testConnection.SetUser(ToClientString(UserName->currentText()));
    testConnection.SetPassword(ToClientString(Password->text()));
    if (IsBlank(HostName->currentText()))
        HostName->setEditText(QStringLiteral("localhost"));
    // The host goes to the library as typed; surrounding blanks are the user's to keep.
    testConnection.SetHost(ToClientString(HostName->currentText()));
    if (IsBlank(Port->text()))
        Port->setText(QStringLiteral("3306"));

    const std::optional<std::int32_t> port = ParsePort(Port->text());
    if (!port) {
        ShowErrorMessage(this, QStringLiteral("Номер порта задан не верно!"));
        return;
    }
    // The port that is tried is the one handed on: 0 is the default port for both.
    testConnection.SetPort(*port == 0 ? TMySQLConnection::DefaultPort : *port);

    FAttempt.reset(new TClientSession());
    connect(FAttempt.get(), &TClientSession::Opened, this, &TConnectDialog::AttemptEnded);
    TConnectionInfo info;
    info.Host = testConnection.Host();
    info.Port = testConnection.Port();
    info.User = testConnection.User();
    info.Password = testConnection.Password();
    // The console opens a connection of its own; this one only proves the parameters and is closed
    // again when the attempt ends.
    FAttempt->Open(info);
    btOk->setEnabled(false);
    lblConnecting->setText(QStringLiteral("Соединение с сервером…"));
}

void TConnectDialog::AttemptEnded(const TConnectOutcome& outcome)
{
    EndAttempt();
    if (outcome.Opened)
        accept();
    else
        ShowErrorMessage(this, FromClientString(outcome.ErrorText));
}

void TConnectDialog::EndAttempt()
{
    FAttempt.reset();
    btOk->setEnabled(true);
    lblConnecting->clear();
}

void TConnectDialog::reject()
{
    if (Connecting())
        EndAttempt();
    else
        QDialog::reject();
}

void TConnectDialog::closeEvent(QCloseEvent* event)
{
    // The close box leaves the dialog even while it connects.
    if (Connecting())
        EndAttempt();
    QDialog::closeEvent(event);
}

void TConnectDialog::cbSavePasswordClick()
{
    if (!cbSavePassword->isChecked())
        return;
    const QString question =
        QStringLiteral("Пароли довольно слабо шифруются. Сохранть их на жестком диске довольно не безопасно.\r\n"
                       "Вы действительно хотите сохранять пароли?");
    if (!ConfirmMessage(this, question))
        cbSavePassword->setChecked(false);
}

bool ShowConnectDialog(TConnectionInfo& info)
{
    try {
        TConnectDialog dialog;
        if (dialog.exec() != QDialog::Accepted)
            return false;
        TConnectionInfo tested;
        tested.User = dialog.testConnection.User();
        tested.Password = dialog.testConnection.Password();
        tested.Port = dialog.testConnection.Port();
        tested.Host = dialog.testConnection.Host();
        info = std::move(tested);
        return true;
    } catch (...) {
        return false;
    }
}
