// The program's entry: the application object, the main window, the event loop.
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "UnitMainForm.h"
#include "UnitTools.h"

namespace {

// The last resort for an exception that nothing else handled: it is shown, and the program goes on.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            ShowErrorMessage(activeWindow(), QString::fromUtf8(error.what()));
        } catch (...) {
            ShowErrorMessage(activeWindow(), QStringLiteral("Unknown error"));
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Brindlecast"));
    app.setWindowIcon(ApplicationIcon());
    // Every window, menu and message box of the program in one font.
    app.setFont(WindowFont());

    TMainForm form;
    form.show();
    CentreOnScreen(&form);
    return app.exec();
}
