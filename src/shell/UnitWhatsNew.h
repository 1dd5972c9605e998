// The change-history window: shows doc/index.html from the executable's directory, or from the
// data folder of the installation the executable belongs to.
#pragma once

#include <QDialog>
#include <QTextBrowser>

class QPushButton;

// The HTML view of the change history. For a document it cannot read it shows a page of its own
// that names the file, rather than an empty pane.
class TDocumentBrowser : public QTextBrowser {
    Q_OBJECT

public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl& name) override;
};

// One showing of the change history: each window loads the document anew. The controls are
// children of the window; the pointers only name them. Close and Esc both end it with the OK result.
class TWhatsNewForm : public QDialog {
    Q_OBJECT

public:
    explicit TWhatsNewForm(QWidget* parent = nullptr);

    TDocumentBrowser* MainWebBrowser = nullptr;
    QPushButton* btClose = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
};
