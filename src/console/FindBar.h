// The find bar under a pane: the text to find, whether letter case counts, next and previous, and
// what the last search came to.
#pragma once

#include <optional>

#include <QString>
#include <QWidget>

#include "TextSearch.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;
class TCustomEditor;
class TEditorView;

// A bar, not a dialog: the pane stays usable while it is open, and it stays open until Escape or its
// close button. A search starts at the pane's selection (or caret), goes round the whole text and
// selects what it finds, scrolled into view; it runs in slices of at most 15 ms on the GUI thread, so
// a transcript of millions of lines never holds up the window. What it came to is shown in the bar:
// nothing sounds. The pane and its view must outlive the bar.
class TFindBar : public QWidget {
    Q_OBJECT

public:
    TFindBar(TCustomEditor& pane, TEditorView& view, QWidget* parent = nullptr);

    // Shows the bar with the focus in its text, which the pane's one-line selection replaces.
    void Open();
    // Finds the next match (forward) or the previous one. With no text to find yet the bar opens
    // instead. The same search asked for again while it runs is not started twice.
    void FindNext(bool forward);
    // Hides the bar and gives the focus back to the pane; a running search stops.
    void Close();
    bool Searching() const { return FSearch.has_value(); }

    QLineEdit* edText = nullptr;
    QCheckBox* cbMatchCase = nullptr;
    QToolButton* btPrevious = nullptr;
    QToolButton* btNext = nullptr;
    QToolButton* btClose = nullptr;
    // What the last search came to: nothing found, or that it went round the text's end.
    QLabel* lblStatus = nullptr;

signals:
    // A search ended, with a match selected in the pane or without one.
    void SearchEnded(bool found);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RunSlice();
    void ShowMatch(const TTextSearch::TMatch& match);

    TCustomEditor& FPane;
    TEditorView& FView;
    std::optional<TTextSearch> FSearch;
    // What the running search looks for, so that a repeat of it is not started over.
    QString FSearchText;
    Qt::CaseSensitivity FSearchSensitivity = Qt::CaseInsensitive;
    bool FSearchForward = true;
    QTimer* FSliceTimer = nullptr;
};
