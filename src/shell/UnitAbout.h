// The About box: the program's name, its version as recorded in the executable, and its authors.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// One showing of the About box. The controls are children of the box; the pointers only name them.
class TFormAbout : public QDialog {
    Q_OBJECT

public:
    explicit TFormAbout(QWidget* parent = nullptr);

    QLabel* imPhoto = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* VersionText = nullptr;
    QLabel* lblAuthor = nullptr;
    QPushButton* btOk = nullptr;

private:
    void FormCreate();
};

// Shows a new About box modally and returns once it is closed.
void ShowAboutBox();
