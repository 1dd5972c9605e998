#include "CrashReportForm.h"

#include "CrashHandler.h"
#include "UnitTools.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSaveFile>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

QFont ReportFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(9);
    return font;
}

// A fresh process of the program, as the user starts it: no arguments, so no consoles come back.
bool StartAfresh(const QString& program)
{
    return QProcess::startDetached(program.isEmpty() ? QCoreApplication::applicationFilePath() : program, {});
}

void ShowRestartProgram(TCrashReportForm& form, const TCrashRecord& record)
{
    form.SetRestartProgram(QString::fromStdString(record.Environment.Executable));
}

} // namespace

TCrashReportForm::TCrashReportForm(const QString& summary, const QString& report, bool canContinue,
                                   const QString& address, QWidget* parent)
    : QDialog(parent)
    , FCanContinue(canContinue)
    , FAddress(address)
{
    setWindowTitle(QStringLiteral("Отчёт об ошибке"));
    setWindowIcon(ApplicationIcon());
    setFont(WindowFont());
    resize(860, 540);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    lblSummary = new QLabel(summary, this);
    lblSummary->setTextFormat(Qt::PlainText);
    lblSummary->setWordWrap(true);
    lblNextSteps = new QLabel(CrashNextSteps(address), this);
    lblNextSteps->setTextFormat(Qt::PlainText);
    lblNextSteps->setWordWrap(true);
    lblNextSteps->setTextInteractionFlags(Qt::TextSelectableByMouse);

    mmReport = new QPlainTextEdit(this);
    mmReport->setFont(ReportFont());
    mmReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmReport->setPlainText(report);
    mmReport->setReadOnly(true);
    mmReport->setTabChangesFocus(true);
    // Read-only, the report can still be selected and copied from the keyboard.
    mmReport->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    const auto makeButton = [this](const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        return button;
    };
    btEdit = makeButton(QStringLiteral("Изменить"));
    btEdit->setCheckable(true);
    btEdit->setToolTip(QStringLiteral("Разрешить правку отчёта перед отправкой"));
    btSave = makeButton(QStringLiteral("Сохранить…"));
    btPrint = makeButton(QStringLiteral("Печать…"));
    btSend = makeButton(QStringLiteral("Отправить…"));
    btContinue = makeButton(QStringLiteral("Продолжить"));
    btRestart = makeButton(QStringLiteral("Перезапустить"));
    btClose = makeButton(QStringLiteral("Закрыть"));
    btContinue->setVisible(canContinue);
    (canContinue ? btContinue : btClose)->setDefault(true);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblSummary);
    texts->addWidget(lblNextSteps);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* reportButtons = new QHBoxLayout;
    for (QPushButton* button : {btEdit, btSave, btPrint, btSend})
        reportButtons->addWidget(button);
    reportButtons->addStretch(1);
    auto* endButtons = new QHBoxLayout;
    endButtons->addStretch(1);
    for (QPushButton* button : {btContinue, btRestart, btClose})
        endButtons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(mmReport, 1);
    layout->addLayout(reportButtons);
    layout->addLayout(endButtons);

    connect(btEdit, &QPushButton::toggled, this, &TCrashReportForm::btEditClick);
    connect(btSave, &QPushButton::clicked, this, &TCrashReportForm::btSaveClick);
    connect(btPrint, &QPushButton::clicked, this, &TCrashReportForm::btPrintClick);
    connect(btSend, &QPushButton::clicked, this, &TCrashReportForm::btSendClick);
    connect(btContinue, &QPushButton::clicked, this, [this] { done(chContinue); });
    connect(btRestart, &QPushButton::clicked, this, &TCrashReportForm::btRestartClick);
    connect(btClose, &QPushButton::clicked, this, [this] { done(chClose); });

    CentreOnScreen(this);
}

void TCrashReportForm::SetRestartProgram(const QString& path)
{
    FRestartProgram = path;
}

void TCrashReportForm::btEditClick(bool editing)
{
    mmReport->setReadOnly(!editing);
    if (editing)
        mmReport->setFocus(Qt::OtherFocusReason);
    else
        mmReport->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void TCrashReportForm::btSaveClick()
{
    const QString suggested = QDir::home().filePath(
        QStringLiteral("brindlecast-report-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить отчёт"), suggested,
        QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(mmReport->toPlainText().toUtf8()) < 0
        || !file.commit())
        ShowErrorMessage(this, QStringLiteral("Не удалось сохранить отчёт в %1: %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
}

void TCrashReportForm::btPrintClick()
{
    QPrinter printer;
    // Also the name that printing to a file suggests.
    printer.setDocName(QStringLiteral("brindlecast-report"));
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Печать отчёта"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    QTextDocument document;
    document.setDefaultFont(ReportFont());
    document.setPlainText(mmReport->toPlainText());
    document.print(&printer);
}

TCrashReportForm::~TCrashReportForm()
{
    // A mail program still starting ends with the window (its process is a child of it). What it
    // answers while it is stopped is no longer this window's to tell: a box opened from a window
    // being destroyed, and a process deleted inside its own destructor, are what would follow.
    for (QProcess* mailer : findChildren<QProcess*>(QString(), Qt::FindDirectChildrenOnly))
        mailer->disconnect(this);
}

void TCrashReportForm::btSendClick()
{
    // xdg-email opens the user's mail program, whichever the desktop has set, with a new letter.
    auto* mailer = new QProcess(this);
    const auto noMailProgram = [this, mailer] {
        mailer->deleteLater();
        ShowErrorMessage(this, QStringLiteral("Не удалось открыть почтовую программу: на этом компьютере "
                                              "не настроена программа для писем. Сохраните отчёт "
                                              "кнопкой «Сохранить…» и отправьте файл так, как вам "
                                              "удобно."));
    };
    connect(mailer, &QProcess::errorOccurred, this, [mailer, noMailProgram](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            noMailProgram();
    });
    connect(mailer, &QProcess::finished, this,
            [mailer, noMailProgram](int code, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || code != 0)
                    noMailProgram();
                else
                    mailer->deleteLater();
            });
    // What it says goes nowhere: its complaint would repeat the whole report into a log.
    mailer->setStandardOutputFile(QProcess::nullDevice());
    mailer->setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments = {QStringLiteral("--utf8"), QStringLiteral("--subject"),
                             QStringLiteral("Отчёт об ошибке Brindlecast ") + GetVersionString(),
                             QStringLiteral("--body"), mmReport->toPlainText()};
    if (!FAddress.isEmpty())
        arguments << FAddress;
    mailer->start(QStringLiteral("xdg-email"), arguments);
}

void TCrashReportForm::btRestartClick()
{
    if (StartAfresh(FRestartProgram))
        done(chRestart);
    else
        ShowErrorMessage(this, QStringLiteral("Не удалось запустить Brindlecast заново."));
}

void TCrashReportForm::reject()
{
    done(FCanContinue ? chContinue : chClose);
}

std::optional<TCrashRecord> LoadCrashRecord(const char* path)
{
    // Started through /proc/self/exe, the process would be called "exe" in the process list.
    prctl(PR_SET_NAME, program_invocation_short_name, 0, 0, 0);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<TCrashRecord> record = ReadCrashRecord(fd);
    close(fd);
    const std::string_view inherited = "/proc/self/fd/";
    if (std::string_view(path).starts_with(inherited)) {
        const int number = std::atoi(path + inherited.size());
        if (number > 2)
            close(number);
    }
    return record;
}

int RunCrashReport(const std::optional<TCrashRecord>& record)
{
    if (!record) {
        ShowErrorMessage(nullptr, QStringLiteral("Brindlecast аварийно завершилась, но запись об ошибке "
                                                 "прочитать не удалось."));
        return EXIT_FAILURE;
    }
    TCrashReportForm form(CrashSummary(*record), CrashReportText(*record), false);
    ShowRestartProgram(form, *record);
    form.exec();
    return EXIT_SUCCESS;
}

void ReportEscapedException()
{
    static bool showing = false;
    if (showing) {
        std::fputs("brindlecast: a further exception escaped an event handler while its report was "
                   "shown\n", stderr);
        return;
    }
    showing = true;
    const TCrashRecord record = RecordCurrentException();
    TCrashReportForm form(CrashSummary(record), CrashReportText(record), true);
    ShowRestartProgram(form, record);
    const int choice = form.exec();
    showing = false;
    if (choice != TCrashReportForm::chContinue)
        std::_Exit(EXIT_FAILURE);
}
