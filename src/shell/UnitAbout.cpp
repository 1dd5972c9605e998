#include "UnitAbout.h"

#include "UnitTools.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent)
{
    MakeFixedDialog(this, QStringLiteral("О программе"), QSize(311, 122));

    imPhoto = new QLabel(this);
    const QPixmap photo(QStringLiteral(":/about.png"));
    imPhoto->setPixmap(photo);
    imPhoto->setGeometry(8, 8, photo.isNull() ? 80 : photo.width(), photo.isNull() ? 80 : photo.height());

    const auto makeLine = [this](const QString& text, int top) {
        auto* line = new QLabel(text, this);
        line->setGeometry(111, top, 189, 17);
        line->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        line->setWordWrap(false);
        return line;
    };
    lblProduct = makeLine(QStringLiteral("Brindlecast 2"), 24);
    VersionText = makeLine(QStringLiteral("Version"), 47);
    lblAuthor = makeLine(QStringLiteral("© 2026 Команда Brindlecast"), 70);

    btOk = new QPushButton(QStringLiteral("Ok"), this);
    btOk->setGeometry(8, 94, 80, 25);
    btOk->setDefault(true);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
    CentreOnScreen(this);
}

void TFormAbout::FormCreate()
{
    VersionText->setText(QStringLiteral("Version ") + GetVersionString());
}

void ShowAboutBox()
{
    TFormAbout box;
    box.exec();
}
