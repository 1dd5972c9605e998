// The editor core's boundary to the platform: the canvas it paints on and every service of the
// window it lives in. The core calls only these; src/editor/qt implements them with Qt widgets.
#pragma once

#include "EditorTypes.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

// What painting needs: the core decides what goes where, the canvas only draws.
class IEditorCanvas {
public:
    virtual ~IEditorCanvas() = default;

    virtual void FillRect(const QRect& rect, TColor color) = 0;
    // Draws text with each UTF-16 unit in its own cell of cellWidth pixels (a surrogate pair takes its
    // two cells together), cells starting at x, on cells filled with backColor; font.Style is the style.
    virtual void DrawCells(int x, int y, int cellWidth, int cellHeight, QStringView text,
        const TEditorFont& font, TColor foreColor, TColor backColor) = 0;
    virtual void DrawLine(int x1, int y1, int x2, int y2, TColor color) = 0;
    virtual void FrameRect(const QRect& rect, TColor color) = 0;
};

// The window of one editor. Coordinates are pixels of the client area (the text and the gutter,
// without frame and scroll bars).
class TEditorPlatform {
public:
    virtual ~TEditorPlatform() = default;

    // Metrics.
    virtual QSize TextExtent(const TEditorFont& font, const QString& text) = 0;
    virtual QSize ClientSize() const = 0;

    // Painting requests. ScrollPixels moves the pixels of area by (dx, dy); what it uncovers is the
    // caller's to invalidate. UpdateNow paints what is invalid at once. ForgetFonts drops the fonts
    // cached for painting, after the font changed.
    virtual void Invalidate(const QRect& rect) = 0;
    virtual void InvalidateAll() = 0;
    virtual void UpdateNow() = 0;
    virtual void ScrollPixels(int dx, int dy, const QRect& area) = 0;
    virtual void ForgetFonts() = 0;

    // Scroll bars. The range runs from min to max with page units visible at once, so the position
    // goes from min to max - page + 1; arrows step by 1, page keys by pageStep.
    virtual void SetScrollBar(bool vertical, int min, int max, int page, int pageStep) = 0;
    virtual void SetScrollPos(bool vertical, int position) = 0;
    // ScrollBars, BorderStyle or ReadOnly changed: the window adjusts its frame and flags.
    virtual void SettingsChanged() = 0;

    // The caret the editor shows at the text position; (x, y) is its top-left corner.
    virtual void CreateCaret(int width, int height) = 0;
    virtual void DestroyCaret() = 0;
    virtual void ShowCaret() = 0;
    virtual void HideCaret() = 0;
    virtual void MoveCaret(int x, int y) = 0;

    // Timers by the editor's own ids; a running timer calls the editor's TimerFired(id).
    virtual void StartTimer(int id, int intervalMs) = 0;
    virtual void StopTimer(int id) = 0;

    // A command that reaches the editor's PostedCommand once the current event is handled.
    virtual void PostCommand(int command) = 0;

    virtual void Beep() = 0;

    // Clipboard text has CR LF line breaks; blockFormat is the TSelBlockFormat byte beside it, -1
    // when the text came without one. ReadClipboard is false when the clipboard holds no text.
    // The editor writes its text as UTF-8 bytes, which the clipboard keeps as they are: a copy of
    // any size is one buffer.
    virtual bool ReadClipboard(QString& text, int& blockFormat) = 0;
    virtual void WriteClipboard(const QByteArray& utf8, int blockFormat) = 0;
    // The primary selection of X: the text the mouse selected last, which a middle click pastes. A
    // window without one keeps nothing and reads nothing.
    //
    // The editor offers a provider rather than the text: a selection of millions of lines is built
    // only when some program asks for it, as the UTF-8 bytes a copy would put on the clipboard. The
    // provider answers with what is selected at the time of the request, and with nothing once the
    // selection or its editor is gone; it may be called long after the offer, and any number of times.
    using TPrimaryProvider = std::function<std::optional<QByteArray>()>;
    virtual void WritePrimarySelection(TPrimaryProvider /*provider*/) {}
    virtual bool ReadPrimarySelection(QString& /*text*/) { return false; }

    virtual bool HasFocus() const = 0;
    virtual void SetFocus() = 0;
    virtual void SetMouseCapture(bool capture) = 0;
    virtual bool HasMouseCapture() const = 0;
    virtual void SetPointer(TEditorPointer pointer) = 0;

    // The completion drop-down: shown below (or above) the cell rectangle, rows entries high.
    virtual void ShowCompletionList(const QStringList& items, int current, const QRect& cell,
        int rows, int width, int itemHeight) = 0;
    virtual void HideCompletionList() = 0;
    virtual bool CompletionListVisible() const = 0;
    virtual int CompletionIndex() const = 0;
    virtual void SetCompletionIndex(int index) = 0;
};
