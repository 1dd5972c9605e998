#include "UnitWhatsNew.h"

#include "UnitTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextDocument>

QVariant TDocumentBrowser::loadResource(int type, const QUrl& name)
{
    QVariant resource = QTextBrowser::loadResource(type, name);
    if (type != QTextDocument::HtmlResource || resource.isValid())
        return resource;
    const QString path = name.isLocalFile() ? name.toLocalFile() : name.toString();
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><title>Документ недоступен</title></head>"
                          "<body><h3>Документ недоступен</h3><p>Не удалось открыть файл %1</p></body></html>")
        .arg(path.toHtmlEscaped());
}

TWhatsNewForm::TWhatsNewForm(QWidget* parent)
    : QDialog(parent)
{
    MakeFixedDialog(this, QStringLiteral("История изменений"), QSize(429, 296));

    MainWebBrowser = new TDocumentBrowser(this);
    MainWebBrowser->setGeometry(0, 0, 430, 256);

    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setGeometry(176, 265, 75, 25);
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
    CentreOnScreen(this);
}

void TWhatsNewForm::FormCreate()
{
    // Beside the executable, wherever it was moved to; the working directory plays no part. An
    // installed program keeps it in the data folder that lies beside its own binary folder (a
    // program folder under /usr/bin is not allowed), found from the executable's place as well, so
    // that an installation under any prefix finds its own copy. When neither is there, the window
    // names the place beside the executable.
    const QString dir = QCoreApplication::applicationDirPath();
    QString path = dir + QStringLiteral("/doc/index.html");
    const QString installed = QDir::cleanPath(dir + QStringLiteral("/" BRINDLECAST_INSTALLED_DOC));
    if (!QFileInfo::exists(path) && QFileInfo::exists(installed))
        path = installed;
    MainWebBrowser->setSource(QUrl::fromLocalFile(path));
}

void TWhatsNewForm::keyPressEvent(QKeyEvent* event)
{
    // Esc does what Close does, so the window ends with the OK result either way.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btClose->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
