// The program's entry: the crash handler, the application object, the main window, the event loop;
// or, in report mode, only the error report of a process that failed.
#include <cstring>
#include <optional>

#include <QApplication>

#include "CoreDumps.h"
#include "CrashHandler.h"
#include "CrashReport.h"
#include "CrashReportForm.h"
#include "HeapTuning.h"
#include "QtTranslations.h"
#include "TestFaults.h"
#include "UnitMainForm.h"
#include "UnitTools.h"

namespace {

// The last resort for an exception that nothing else handled: the error report, from which the
// program goes on if the user chooses so.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            ReportEscapedException();
        }
        return false;
    }
};

// The value after a command-line switch "--name=", or null when it is not given.
const char* SwitchValue(int argc, char** argv, const char* prefix)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0)
            return argv[i] + std::strlen(prefix);
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    // From the start, so that nothing typed later (a password inside a statement, too) can end up
    // in a core file.
    KeepPasswordsOutOfCoreDumps();
    KeepFreedHeapForReuse();
    const char* reportRecord = SwitchValue(argc, argv, kCrashReportSwitch);
    // The report process only shows a report: should it fail itself, it starts no further one.
    std::optional<TCrashRecord> record;
    if (reportRecord)
        record = LoadCrashRecord(reportRecord);
    else
        InstallCrashHandler();

    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Brindlecast"));
    app.setWindowIcon(ApplicationIcon());
    // Every window, menu and message box of the program in one font.
    app.setFont(WindowFont());
    InstallQtTranslations(app);

    if (reportRecord)
        return RunCrashReport(record);
    ReportCrashesInWindow();
    SetCrashEnvironment(CurrentEnvironment());
    if (!ArmTestFaults(argc, argv))
        return 2;

    TMainForm form;
    const bool placed = form.RestoreWindowPlace();
    form.show();
    if (!placed)
        CentreOnScreen(&form);
    return app.exec();
}
