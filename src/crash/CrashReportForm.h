// The error-report window: what happened, the report, and what to do next.
#pragma once

#include <QDialog>

#include <optional>

#include "CrashRecord.h"
#include "CrashReport.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

// One showing of "Отчёт об ошибке". The controls are children of the window; the pointers only name
// them. The report is read-only until "Изменить" makes it editable, so that the user can take out
// what he does not want to send; saving, printing and sending take the text as shown. exec() answers
// with a TChoice.
class TCrashReportForm : public QDialog {
    Q_OBJECT

public:
    enum TChoice { chClose = QDialog::Rejected, chContinue = 2, chRestart = 3 };

    // canContinue shows "Продолжить" (after an exception, not after a crash); Esc and the close box
    // then continue too, so that a slip of the hand ends nothing. address, when not empty, is where
    // "Отправить…" addresses the letter.
    TCrashReportForm(const QString& summary, const QString& report, bool canContinue,
                     const QString& address = CrashReportAddress(), QWidget* parent = nullptr);
    ~TCrashReportForm() override;

    // The program that "Перезапустить" starts: the one installed where the failed one was started
    // from, which a package upgrade may have replaced. Without one, this process's executable.
    void SetRestartProgram(const QString& path);

    void btEditClick(bool editing);
    void btSaveClick();
    void btPrintClick();
    void btSendClick();
    void btRestartClick();

    void reject() override;

    QLabel* lblSummary = nullptr;
    QLabel* lblNextSteps = nullptr;
    QPlainTextEdit* mmReport = nullptr;
    QPushButton* btEdit = nullptr;
    QPushButton* btSave = nullptr;
    QPushButton* btPrint = nullptr;
    QPushButton* btSend = nullptr;
    QPushButton* btContinue = nullptr;
    QPushButton* btRestart = nullptr;
    QPushButton* btClose = nullptr;

private:
    bool FCanContinue;
    QString FAddress;
    QString FRestartProgram;
};

// Report mode, first thing in main, before the application object exists (so that nothing else has
// taken the record's descriptor): takes the program's name for the process and reads the crash
// record at path. A record under /proc/self/fd/ is an inherited descriptor, closed once read. None
// when it cannot be read or is no record.
std::optional<TCrashRecord> LoadCrashRecord(const char* path);

// Report mode: shows the report of record, or a message that there is none, and answers the
// program's exit code.
int RunCrashReport(const std::optional<TCrashRecord>& record);

// The last resort for an exception that escaped an event handler; call in the catch block. Shows the
// report and returns when the user continues. Otherwise the process ends at once, with a fresh one
// started first for a restart: after such an exception its state is not to be trusted, so none of its
// code runs any more. While one report is shown, a further escaped exception is only written to the
// standard error.
void ReportEscapedException();
