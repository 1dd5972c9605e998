#include "UnitTools.h"

#include "VersionNoteReader.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

#include <optional>

bool GetFileVersion(const QString& fileName, std::uint32_t& major, std::uint32_t& minor,
                    std::uint32_t& release, std::uint32_t& build)
{
    const std::optional<TFileVersion> version = ReadFileVersionNote(fileName);
    if (!version)
        return false;
    major = (*version)[0];
    minor = (*version)[1];
    release = (*version)[2];
    build = (*version)[3];
    return true;
}

QString GetVersionString()
{
    std::uint32_t major = 0, minor = 0, release = 0, build = 0;
    GetFileVersion(QCoreApplication::applicationFilePath(), major, minor, release, build);
    return QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}

void ShowErrorMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok, parent);
    // Texts of servers and of the client library come here: nothing in them is markup.
    box.setTextFormat(Qt::PlainText);
    box.setFont(WindowFont());
    box.exec();
}

bool ConfirmMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Подтверждение"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setFont(WindowFont());
    // The questions warn before something risky, so a hasty Enter must not agree to it.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void OpenErrorMessage(QWidget* parent, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setFont(WindowFont());
    box->open();
}

void OpenConfirmMessage(QWidget* parent, const QString& text, std::function<void(bool yes)> answered)
{
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Подтверждение"), text,
                                QMessageBox::Yes | QMessageBox::No, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setFont(WindowFont());
    box->setDefaultButton(QMessageBox::No);
    QObject::connect(box, &QMessageBox::finished, parent,
                     [answered = std::move(answered)](int result) { answered(result == QMessageBox::Yes); });
    box->open();
}

QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans")});
    font.setPointSize(8);
    return font;
}

void MakeFixedDialog(QWidget* dialog, const QString& caption, QSize clientSize)
{
    dialog->setWindowTitle(caption);
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setFont(WindowFont());
    dialog->setFixedSize(clientSize);
}

namespace {

void MoveFrameToCentre(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

// Centres a window once more when the window manager has put its frame around it: until then Qt
// knows only the client area, and a frame placed by that alone sits half a title bar too low.
class TCentreOnceFramed : public QObject {
public:
    explicit TCentreOnceFramed(QWidget* window) : QObject(window) { window->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = static_cast<QWidget*>(watched);
        const QEvent::Type type = event->type();
        if ((type == QEvent::Move || type == QEvent::Resize) && window->isVisible()
            && window->frameGeometry().size() != window->geometry().size()) {
            window->removeEventFilter(this);
            MoveFrameToCentre(window);
            deleteLater();
        }
        return false;
    }
};

} // namespace

void CentreOnScreen(QWidget* window)
{
    MoveFrameToCentre(window);
    if (window->frameGeometry().size() == window->geometry().size())
        new TCentreOnceFramed(window);
}

QIcon ApplicationIcon()
{
    return QIcon(QStringLiteral(":/brindlecast.png"));
}
