// A stand-alone program for the shell tests that need an executable of their own, run from
// wherever a test copied it: "version" prints GetVersionString(), "whatsnew" prints the document
// path and title that a new change-history window shows.
#include "UnitTools.h"
#include "UnitWhatsNew.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTextStream out(stdout);
    if (what == QStringLiteral("version")) {
        out << GetVersionString() << '\n';
    } else if (what == QStringLiteral("whatsnew")) {
        TWhatsNewForm form;
        out << form.MainWebBrowser->source().toLocalFile() << '\n'
            << form.MainWebBrowser->documentTitle() << '\n';
    } else {
        return 2;
    }
    return 0;
}
