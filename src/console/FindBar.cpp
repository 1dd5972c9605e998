#include "FindBar.h"

#include "Editor.h"
#include "EditorView.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

// How long one slice of a search may hold the GUI thread.
constexpr qint64 kSliceMs = 15;
// Lines looked through between two looks at the clock.
constexpr int kLinesPerLook = 4096;

} // namespace

TFindBar::TFindBar(TCustomEditor& pane, TEditorView& view, QWidget* parent)
    : QWidget(parent)
    , FPane(pane)
    , FView(view)
{
    auto* caption = new QLabel(QStringLiteral("Найти:"), this);
    edText = new QLineEdit(this);
    cbMatchCase = new QCheckBox(QStringLiteral("Учитывать регистр"), this);
    btPrevious = new QToolButton(this);
    btPrevious->setText(QStringLiteral("Назад"));
    btPrevious->setToolTip(QStringLiteral("Найти ранее (Shift+Enter)"));
    btNext = new QToolButton(this);
    btNext->setText(QStringLiteral("Далее"));
    btNext->setToolTip(QStringLiteral("Найти далее (Enter, F3)"));
    lblStatus = new QLabel(this);
    lblStatus->setTextFormat(Qt::PlainText);
    btClose = new QToolButton(this);
    btClose->setText(QStringLiteral("×"));
    btClose->setToolTip(QStringLiteral("Закрыть (Esc)"));
    btClose->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(4);
    layout->addWidget(caption);
    layout->addWidget(edText, 1);
    layout->addWidget(cbMatchCase);
    layout->addWidget(btPrevious);
    layout->addWidget(btNext);
    layout->addWidget(lblStatus);
    layout->addWidget(btClose);

    for (QWidget* child : {static_cast<QWidget*>(edText), static_cast<QWidget*>(cbMatchCase),
                           static_cast<QWidget*>(btPrevious), static_cast<QWidget*>(btNext)})
        child->installEventFilter(this);
    connect(btNext, &QToolButton::clicked, this, [this] { FindNext(true); });
    connect(btPrevious, &QToolButton::clicked, this, [this] { FindNext(false); });
    connect(btClose, &QToolButton::clicked, this, &TFindBar::Close);
    // What the last search came to says nothing about a text or a case that has changed since.
    connect(edText, &QLineEdit::textEdited, lblStatus, &QLabel::clear);
    connect(cbMatchCase, &QCheckBox::toggled, lblStatus, &QLabel::clear);

    FSliceTimer = new QTimer(this);
    FSliceTimer->setSingleShot(true);
    FSliceTimer->setInterval(0);
    connect(FSliceTimer, &QTimer::timeout, this, &TFindBar::RunSlice);
    hide();
}

void TFindBar::Open()
{
    // A selection within one line is most likely what the user is after.
    if (FPane.Selected() && FPane.SelBegY() == FPane.SelEndY()) {
        const QString selected = FPane.SelectedText();
        if (!selected.isEmpty() && !selected.contains(u'\n'))
            edText->setText(selected);
    }
    show();
    edText->setFocus(Qt::ShortcutFocusReason);
    edText->selectAll();
}

void TFindBar::FindNext(bool forward)
{
    const QString text = edText->text();
    if (text.isEmpty()) {
        Open();
        return;
    }
    show();
    const Qt::CaseSensitivity sensitivity = cbMatchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (FSearch && text == FSearchText && sensitivity == FSearchSensitivity && forward == FSearchForward)
        return;
    // Forward from the end of the selection (the match found last), back from its start.
    int line = FPane.CaretY();
    int column = FPane.CaretX();
    if (FPane.Selected()) {
        line = forward ? FPane.SelEndY() : FPane.SelBegY();
        column = forward ? FPane.SelEndX() : FPane.SelBegX();
    }
    FSearch.emplace(text, sensitivity, forward, line, column, FPane.LineCount());
    FSearchText = text;
    FSearchSensitivity = sensitivity;
    FSearchForward = forward;
    lblStatus->clear();
    RunSlice();
}

void TFindBar::Close()
{
    FSliceTimer->stop();
    FSearch.reset();
    hide();
    FView.setFocus(Qt::OtherFocusReason);
}

void TFindBar::RunSlice()
{
    if (!FSearch)
        return;
    QElapsedTimer slice;
    slice.start();
    while (!FSearch->Step(FPane, kLinesPerLook)) {
        if (slice.elapsed() >= kSliceMs) {
            lblStatus->setText(QStringLiteral("Поиск…"));
            FSliceTimer->start();
            return;
        }
    }
    const std::optional<TTextSearch::TMatch> match = FSearch->Found();
    FSearch.reset();
    if (!match) {
        lblStatus->setText(QStringLiteral("Не найдено"));
    } else {
        ShowMatch(*match);
        if (!match->Wrapped)
            lblStatus->clear();
        else
            lblStatus->setText(FSearchForward ? QStringLiteral("Продолжено с начала")
                                              : QStringLiteral("Продолжено с конца"));
    }
    emit SearchEnded(match.has_value());
}

void TFindBar::ShowMatch(const TTextSearch::TMatch& match)
{
    // A match out of sight comes to the middle of the pane rather than to its edge.
    if (match.Line < FPane.TopRow() || match.Line > FPane.LastVisibleRow())
        FPane.ScrollTo(FPane.LeftCol(), std::max(0, match.Line - FPane.VisibleRows() / 2));
    const int end = match.Column + match.Length;
    FPane.SetSelBlockFormat(bfNonInclusive);
    // The start first, then the end: the caret scrolls the whole match into view when it fits.
    FPane.SetCaret(match.Column, match.Line);
    FPane.SetSelection(match.Column, match.Line, match.Line, end);
    FPane.PlaceCaret(end, match.Line);
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
        Close();
        return true;
    }
    // Enter finds the next match, Shift+Enter the previous one; Ctrl+Enter stays the window's.
    if (watched == edText && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        && (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0) {
        FindNext((key->modifiers() & Qt::ShiftModifier) == 0);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
