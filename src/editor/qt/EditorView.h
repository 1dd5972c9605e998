// TEditorView: the Qt window of an editor core. It paints the core's frame, forwards keys, mouse,
// focus, timers and scroll bars to the core's entry points, and serves the core's platform requests.
#pragma once

#include "EditorCommon.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QRawFont>
#include <QRegion>
#include <QTimer>

#include <array>
#include <map>
#include <memory>
#include <optional>

class QListWidget;
class QMimeData;

// A QAbstractScrollArea whose viewport is the editor's client area. The view owns its editor core;
// the core's errors (TEditorError) are caught at every entry point and reported through EditorError,
// so that none unwinds through Qt.
//
// Scroll bars belong to the core: when the core moves one itself, the view does not scroll a second
// time (scrollContentsBy ignores it); when the user moves one, the core's ScrollBarMoved follows.
class TEditorView : public QAbstractScrollArea, public TEditorPlatform {
    Q_OBJECT

public:
    // Without an editor the view makes a plain TEditor.
    explicit TEditorView(std::unique_ptr<TCustomEditorBase> editor = nullptr, QWidget* parent = nullptr);
    ~TEditorView() override;

    TCustomEditorBase& Editor() const { return *FEditor; }

    QSize sizeHint() const override;

    // The colour a core colour stands for under a palette: system colours map onto palette roles.
    static QColor ResolveColor(TColor color, const QPalette& palette);
    // The MIME type of the block-format byte that goes with copied text.
    static const QString& BlockFormatMimeType();
    // What the view puts on the primary selection for an editor's offer: text/plain whose bytes the
    // provider builds each time they are read, and only then.
    static std::unique_ptr<QMimeData> PrimarySelectionData(TPrimaryProvider provider);

    QSize TextExtent(const TEditorFont& font, const QString& text) override;
    QSize ClientSize() const override;
    void Invalidate(const QRect& rect) override;
    void InvalidateAll() override;
    void UpdateNow() override;
    void ScrollPixels(int dx, int dy, const QRect& area) override;
    void ForgetFonts() override;
    void SetScrollBar(bool vertical, int min, int max, int page, int pageStep) override;
    void SetScrollPos(bool vertical, int position) override;
    void SettingsChanged() override;
    void CreateCaret(int width, int height) override;
    void DestroyCaret() override;
    void ShowCaret() override;
    void HideCaret() override;
    void MoveCaret(int x, int y) override;
    void StartTimer(int id, int intervalMs) override;
    void StopTimer(int id) override;
    void PostCommand(int command) override;
    void Beep() override;
    bool ReadClipboard(QString& text, int& blockFormat) override;
    void WriteClipboard(const QByteArray& utf8, int blockFormat) override;
    void WritePrimarySelection(TPrimaryProvider provider) override;
    bool ReadPrimarySelection(QString& text) override;
    bool HasFocus() const override;
    void SetFocus() override;
    void SetMouseCapture(bool capture) override;
    bool HasMouseCapture() const override;
    void SetPointer(TEditorPointer pointer) override;
    void ShowCompletionList(const QStringList& items, int current, const QRect& cell, int rows, int width,
        int itemHeight) override;
    void HideCompletionList() override;
    bool CompletionListVisible() const override;
    int CompletionIndex() const override;
    void SetCompletionIndex(int index) override;

    // The painting side, for the canvas: a font of the editor's family and size in a style, and the
    // raw font that places glyphs in cells.
    const QFont& FontFor(const TEditorFont& font);
    const QRawFont& RawFontFor(const TEditorFont& font);

signals:
    void EditorError(const QString& message);
    // A right-click or the menu key asks for the pane's context menu at a point of the screen; the
    // window around the pane shows it.
    void ContextMenuRequested(const QPoint& globalPos);

protected:
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    // Tab and Shift+Tab are editor keys, never focus moves.
    bool focusNextPrevChild(bool next) override;

private:
    template <class TCall>
    void Guarded(TCall&& call);
    void UpdateCaretArea();
    void CheckFontCache(const TEditorFont& font);

    std::unique_ptr<TCustomEditorBase> FEditor;
    bool FCoreScrolling = false;  // the core is moving a scroll bar itself
    bool FPainting = false;
    QRegion FPending;             // invalidated and not yet painted

    bool FCaretExists = false;
    bool FCaretShown = false;
    bool FCaretBlinkOn = true;
    QRect FCaretRect;
    QRect FCaretPainted;          // where the last paint drew the caret
    QTimer FBlinkTimer;

    // Wheel units (eighths of a degree) not yet told to the core, and the modifiers they came with.
    int FWheelRest = 0;
    TShiftState FWheelShift = 0;

    std::map<int, int> FTimers;   // the core's timer id -> Qt's
    QListWidget* FCompletionList = nullptr;

    // Fonts cached per style for the family and size they were made for.
    TEditorFont FCachedFor;
    std::array<std::optional<QFont>, 16> FFonts;
    std::array<std::optional<QRawFont>, 16> FRawFonts;
};
