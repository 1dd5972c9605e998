#include "UnitConnectDialog.h"

#include "ClientStrings.h"
#include "CoreDumps.h"
#include "KeptPasswords.h"
#include "UnitTools.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace {

// The height the encryption rows add to the panel and the window.
constexpr int kEncryptionRows = 48;
// The height the row of recent connections adds below them.
constexpr int kRecentRow = 24;

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
    // The encryption rows make the panel, and the window, two rows taller than the four fields
    // alone need.
    MakeFixedDialog(this, QStringLiteral("Создать соединение"), QSize(343, 148 + kEncryptionRows + kRecentRow));

    mainPanel = new QWidget(this);
    mainPanel->setGeometry(0, -1, 345, 113 + kEncryptionRows + kRecentRow);
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

    cbSavePassword = new QCheckBox(QStringLiteral("Сохранять пароли"), mainPanel);
    // The style's check mark takes more room than the classic one: the caption keeps its words.
    cbSavePassword->setGeometry(138, 83, std::max(197, cbSavePassword->sizeHint().width()), 17);

    lblEncryption = makeLabel(QStringLiteral("Шифрование"), 107);
    Encryption = new QComboBox(mainPanel);
    Encryption->addItems({QStringLiteral("когда сервер предлагает"), QStringLiteral("обязательно"),
                          QStringLiteral("с проверкой сервера")});
    Encryption->setGeometry(138, 107, 197, 21);
    lblCAFile = makeLabel(QStringLiteral("Центр сертификации"), 131);
    CAFile = new QLineEdit(mainPanel);
    CAFile->setGeometry(138, 131, 170, 21);
    CAFile->setPlaceholderText(QStringLiteral("системное хранилище"));
    btCAFile = new QPushButton(QStringLiteral("…"), mainPanel);
    btCAFile->setGeometry(311, 131, 24, 21);
    EncryptionChanged();

    lblRecent = makeLabel(QStringLiteral("Недавние"), 155);
    Recent = new QComboBox(mainPanel);
    Recent->setGeometry(138, 155, 140, 21);
    Recent->setPlaceholderText(QStringLiteral("выберите…"));
    btForget = new QPushButton(QStringLiteral("Забыть"), mainPanel);
    btForget->setGeometry(284, 155, 51, 21);
    FillRecent();

    const int buttonsTop = 119 + kEncryptionRows + kRecentRow;
    btOk = new QPushButton(QStringLiteral("Ok"), this);
    btOk->setGeometry(183, buttonsTop, 75, 25);
    btOk->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setGeometry(262, buttonsTop, 75, 25);
    lblConnecting = new QLabel(this);
    lblConnecting->setGeometry(8, buttonsTop, 170, 25);

    QWidget::setTabOrder(HostName, Port);
    QWidget::setTabOrder(Port, UserName);
    QWidget::setTabOrder(UserName, Password);
    QWidget::setTabOrder(Password, cbSavePassword);
    QWidget::setTabOrder(cbSavePassword, Encryption);
    QWidget::setTabOrder(Encryption, CAFile);
    QWidget::setTabOrder(CAFile, btCAFile);
    QWidget::setTabOrder(btCAFile, Recent);
    QWidget::setTabOrder(Recent, btForget);
    QWidget::setTabOrder(btForget, btOk);
    QWidget::setTabOrder(btOk, btCancel);
    HostName->setFocus();

    connect(btOk, &QPushButton::clicked, this, &TConnectDialog::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbSavePassword, &QCheckBox::toggled, this, &TConnectDialog::cbSavePasswordClick);
    connect(btCAFile, &QPushButton::clicked, this, &TConnectDialog::btCAFileClick);
    connect(Encryption, &QComboBox::currentIndexChanged, this, &TConnectDialog::EncryptionChanged);
    connect(Recent, &QComboBox::activated, this, &TConnectDialog::RecentChosen);
    connect(btForget, &QPushButton::clicked, this, &TConnectDialog::btForgetClick);
    // A trusted certificate belongs to the server and the settings it was shown for.
    const auto forgetTrust = [this] { FTrustedFingerprint.clear(); };
    connect(HostName, &QComboBox::editTextChanged, this, forgetTrust);
    connect(Port, &QLineEdit::textChanged, this, forgetTrust);
    connect(Encryption, &QComboBox::currentIndexChanged, this, forgetTrust);
    connect(CAFile, &QLineEdit::textChanged, this, forgetTrust);

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
    // No host name holds a control character; the library would cut the name at a zero byte and
    // connect to what comes before it.
    for (const QChar ch : HostName->currentText()) {
        if (ch.category() == QChar::Other_Control) {
            ShowErrorMessage(this, QStringLiteral("Имя хоста содержит управляющий символ (код %1). "
                                                  "Такого имени у сервера быть не может: исправьте его.")
                                       .arg(ch.unicode()));
            return;
        }
    }
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
    const auto mode = static_cast<TTlsMode>(Encryption->currentIndex());
    testConnection.SetTlsMode(mode);
    testConnection.SetCAFile(mode == TTlsMode::Verified ? ToClientString(CAFile->text()) : std::string());
    if (mode == TTlsMode::Verified && FTrustedFingerprint.empty())
        FTrustedFingerprint = KeptState().TrustedFingerprint(testConnection.Host(), testConnection.Port());
    testConnection.SetPinnedFingerprint(mode == TTlsMode::Verified ? FTrustedFingerprint : std::string());

    FAttempt.reset(new TClientSession());
    connect(FAttempt.get(), &TClientSession::Opened, this, &TConnectDialog::AttemptEnded);
    TConnectionInfo info;
    info.Host = testConnection.Host();
    info.Port = testConnection.Port();
    info.User = testConnection.User();
    info.Password = testConnection.Password();
    info.TlsMode = testConnection.TlsMode();
    info.CAFile = testConnection.CAFile();
    info.PinnedFingerprint = testConnection.PinnedFingerprint();
    // The console opens a connection of its own; this one only proves the parameters and is closed
    // again when the attempt ends.
    FAttempt->Open(info);
    btOk->setEnabled(false);
    lblConnecting->setText(QStringLiteral("Соединение с сервером…"));
}

void TConnectDialog::AttemptEnded(const TConnectOutcome& outcome)
{
    // A reply of the attempt's session: what it tells is copied before the session is let go, and
    // the message boxes are opened with a handler, so that nothing here waits in a modal loop.
    const bool opened = outcome.Opened;
    const QString error = FromClientString(outcome.ErrorText);
    const std::optional<TCertificateProblem> problem = outcome.CertificateProblem;
    EndAttempt();
    if (opened) {
        KeepAttempt();
        accept();
    } else if (problem) {
        // The certificate could not be verified: the user may trust it, and the test runs again.
        OpenConfirmMessage(this, error + QStringLiteral("\n\n") + TrustQuestion(*problem),
                           [this, fingerprint = problem->Fingerprint](bool yes) {
                               if (!yes)
                                   return;
                               FTrustedFingerprint = fingerprint;
                               btOkClick();
                           });
    } else {
        OpenErrorMessage(this, error);
    }
}

void TConnectDialog::EncryptionChanged()
{
    const bool verified = Encryption->currentIndex() == static_cast<int>(TTlsMode::Verified);
    for (QWidget* control : {static_cast<QWidget*>(lblCAFile), static_cast<QWidget*>(CAFile),
                             static_cast<QWidget*>(btCAFile)})
        control->setEnabled(verified);
}

void TConnectDialog::btCAFileClick()
{
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Центр сертификации"), CAFile->text(),
        QStringLiteral("Сертификаты (*.pem *.crt *.cer);;Все файлы (*)"));
    if (!file.isEmpty())
        CAFile->setText(file);
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
    const QString question = QStringLiteral(
        "Пароль будет храниться в связке ключей рабочего стола (Secret Service), не в файлах программы. "
        "Пока связка открыта, его может прочитать любая программа, запущенная от вашего имени.\n"
        "Сохранять пароли?");
    if (!ConfirmMessage(this, question)) {
        cbSavePassword->setChecked(false);
        return;
    }
    // Whether a keyring answers is known before anything is entrusted to it.
    cbSavePassword->setEnabled(false);
    KeptPasswords::Probe([dialog = QPointer<TConnectDialog>(this)](const QString& problem) {
        if (!dialog)
            return;
        dialog->cbSavePassword->setEnabled(true);
        if (problem.isEmpty())
            return;
        const QSignalBlocker quiet(dialog->cbSavePassword);
        dialog->cbSavePassword->setChecked(false);
        QTimer::singleShot(0, dialog, [dialog, problem] { ShowErrorMessage(dialog, problem); });
    });
}

QString TConnectDialog::TrustQuestion(const TCertificateProblem& problem) const
{
    const QString server = FromClientString(testConnection.Host()) + u':' + QString::number(testConnection.Port());
    if (!KeptState().Enabled())
        return QStringLiteral("Доверять этому сертификату в этом соединении? Отпечаток нигде не сохраняется.");
    if (!problem.Pinned.empty())
        return QStringLiteral("Заменить запомненный отпечаток для %1 этим и доверять новому сертификату?").arg(server);
    return QStringLiteral("Доверять этому сертификату? Его отпечаток будет запомнен для %1, и следующие "
                          "соединения с другим сертификатом будут отклонены.")
        .arg(server);
}

void TConnectDialog::KeepAttempt()
{
    TRecentConnection connection;
    connection.Host = testConnection.Host();
    connection.Port = testConnection.Port();
    connection.User = testConnection.User();
    connection.TlsMode = testConnection.TlsMode();
    connection.CAFile = testConnection.CAFile();
    KeptState().RememberConnection(connection);
    // Unchecked, the box also takes back a password kept for the account earlier.
    if (KeptState().Enabled() && cbSavePassword->isChecked()) {
        KeptPasswords::Write(connection.Host, connection.Port, connection.User, testConnection.Password(),
                             [](const QString& problem) {
                                 if (!problem.isEmpty())
                                     QTimer::singleShot(0, qApp, [problem] {
                                         ShowErrorMessage(QApplication::activeWindow(), problem);
                                     });
                             });
    } else if (KeptState().Enabled()) {
        KeptPasswords::Remove(connection.Host, connection.Port, connection.User);
    }
    if (!testConnection.PinnedFingerprint().empty())
        KeptState().TrustFingerprint(connection.Host, connection.Port, testConnection.PinnedFingerprint());
}

void TConnectDialog::FillRecent()
{
    FRecent = KeptState().RecentConnections();
    Recent->clear();
    for (const TRecentConnection& connection : FRecent) {
        Recent->addItem(QStringLiteral("%1@%2:%3")
                            .arg(FromClientString(connection.User), FromClientString(connection.Host))
                            .arg(connection.Port));
    }
    Recent->setCurrentIndex(-1);
    const bool any = !FRecent.empty();
    lblRecent->setEnabled(any);
    Recent->setEnabled(any);
    btForget->setEnabled(false);
}

void TConnectDialog::RecentChosen(int index)
{
    if (index < 0 || index >= static_cast<int>(FRecent.size()))
        return;
    const TRecentConnection& connection = FRecent[static_cast<std::size_t>(index)];
    HostName->setEditText(FromClientString(connection.Host));
    Port->setText(QString::number(connection.Port));
    UserName->setEditText(FromClientString(connection.User));
    Password->clear();
    Encryption->setCurrentIndex(static_cast<int>(connection.TlsMode));
    CAFile->setText(FromClientString(connection.CAFile));
    btForget->setEnabled(true);
    // A password kept for the account fills the box once the keyring answers, unless the user has
    // moved on to other entries meanwhile.
    KeptPasswords::Read(connection.Host, connection.Port, connection.User,
                        [dialog = QPointer<TConnectDialog>(this), connection](bool found, const std::string& password) {
                            if (!dialog || !found
                                || ToClientString(dialog->HostName->currentText()) != connection.Host
                                || ToClientString(dialog->UserName->currentText()) != connection.User
                                || !dialog->Password->text().isEmpty())
                                return;
                            dialog->Password->setText(FromClientString(password));
                            const QSignalBlocker quiet(dialog->cbSavePassword);
                            dialog->cbSavePassword->setChecked(true);
                        });
}

void TConnectDialog::btForgetClick()
{
    const int index = Recent->currentIndex();
    if (index < 0 || index >= static_cast<int>(FRecent.size()))
        return;
    const TRecentConnection& connection = FRecent[static_cast<std::size_t>(index)];
    KeptPasswords::Remove(connection.Host, connection.Port, connection.User);
    KeptState().ForgetConnection(connection);
    FillRecent();
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
        tested.TlsMode = dialog.testConnection.TlsMode();
        tested.CAFile = dialog.testConnection.CAFile();
        tested.PinnedFingerprint = dialog.testConnection.PinnedFingerprint();
        info = std::move(tested);
        return true;
    } catch (...) {
        return false;
    }
}
