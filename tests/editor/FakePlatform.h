// A window for editor-core tests: fixed metrics (cells 8 by 16 pixels), a client size the test sets,
// and a record of every request the editor makes. Also a canvas that records what is painted.
#pragma once

#include "EditorCommon.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <map>
#include <vector>

class TFakePlatform : public TEditorPlatform {
public:
    struct TScroll {
        int Dx;
        int Dy;
        QRect Area;
    };
    struct TBar {
        int Min = 0;
        int Max = 0;
        int Page = 0;
        int PageStep = 0;
        int Position = 0;
    };

    // Text is 8 pixels a character and 15 high, so CharWidth is 8 and LineHeight 16.
    QSize TextExtent(const TEditorFont& /*font*/, const QString& text) override
    {
        return QSize(8 * static_cast<int>(text.size()), TextHeight);
    }
    QSize ClientSize() const override { return Client; }

    void Invalidate(const QRect& rect) override { Invalidated.push_back(rect); }
    void InvalidateAll() override { ++InvalidateAllCount; }
    void UpdateNow() override { ++UpdateNowCount; }
    void ScrollPixels(int dx, int dy, const QRect& area) override { Scrolls.push_back({dx, dy, area}); }
    void ForgetFonts() override { ++ForgetFontsCount; }

    void SetScrollBar(bool vertical, int min, int max, int page, int pageStep) override
    {
        TBar& bar = Bars[vertical];
        bar.Min = min;
        bar.Max = max;
        bar.Page = page;
        bar.PageStep = pageStep;
    }
    void SetScrollPos(bool vertical, int position) override { Bars[vertical].Position = position; }
    void SettingsChanged() override { ++SettingsChangedCount; }

    // A new caret starts hidden.
    void CreateCaret(int width, int height) override
    {
        CaretCreated = true;
        CaretVisible = false;
        CaretSize = QSize(width, height);
    }
    void DestroyCaret() override
    {
        CaretCreated = false;
        CaretVisible = false;
    }
    void ShowCaret() override { CaretVisible = true; }
    void HideCaret() override { CaretVisible = false; }
    void MoveCaret(int x, int y) override { CaretPos = QPoint(x, y); }

    void StartTimer(int id, int intervalMs) override { Timers[id] = intervalMs; }
    void StopTimer(int id) override { Timers.erase(id); }
    void PostCommand(int command) override { Posted.push_back(command); }
    void Beep() override { ++Beeps; }

    bool ReadClipboard(QString& text, int& blockFormat) override
    {
        text = ClipboardText;
        blockFormat = ClipboardFormat;
        return HasClipboardText;
    }
    void WriteClipboard(const QByteArray& utf8, int blockFormat) override
    {
        ClipboardBytes = utf8;
        ClipboardText = QString::fromUtf8(utf8);
        ClipboardFormat = blockFormat;
        HasClipboardText = true;
    }

    void WritePrimarySelection(TPrimaryProvider provider) override { PrimaryProvider = std::move(provider); }
    bool ReadPrimarySelection(QString& text) override
    {
        text = Primary();
        return !text.isEmpty();
    }
    // What a program asking for the primary selection now would get.
    QByteArray PrimaryBytes() const
    {
        const std::optional<QByteArray> bytes = PrimaryProvider ? PrimaryProvider() : std::nullopt;
        return bytes.value_or(QByteArray());
    }
    QString Primary() const { return QString::fromUtf8(PrimaryBytes()); }

    bool HasFocus() const override { return Focused; }
    void SetFocus() override { Focused = true; }
    void SetMouseCapture(bool capture) override { Captured = capture; }
    bool HasMouseCapture() const override { return Captured; }
    void SetPointer(TEditorPointer pointer) override { Pointer = pointer; }

    void ShowCompletionList(const QStringList& items, int current, const QRect& /*cell*/, int /*rows*/,
        int /*width*/, int /*itemHeight*/) override
    {
        CompletionVisible = true;
        CompletionCurrent = current;
        CompletionItems = items;
    }
    void HideCompletionList() override { CompletionVisible = false; }
    bool CompletionListVisible() const override { return CompletionVisible; }
    int CompletionIndex() const override { return CompletionCurrent; }
    void SetCompletionIndex(int index) override { CompletionCurrent = index; }

    // Forgets the requests recorded so far.
    void ClearRecords()
    {
        Invalidated.clear();
        Scrolls.clear();
        InvalidateAllCount = 0;
        UpdateNowCount = 0;
    }

    QSize Client{400, 200};
    int TextHeight = 15;
    bool Focused = false;
    std::vector<QRect> Invalidated;
    std::vector<TScroll> Scrolls;
    int InvalidateAllCount = 0;
    int UpdateNowCount = 0;
    int ForgetFontsCount = 0;
    int SettingsChangedCount = 0;
    TBar Bars[2];  // [false] horizontal, [true] vertical
    bool CaretCreated = false;
    bool CaretVisible = false;
    QSize CaretSize;
    QPoint CaretPos;
    std::map<int, int> Timers;
    std::vector<int> Posted;
    int Beeps = 0;
    QString ClipboardText;
    QByteArray ClipboardBytes;  // what the editor wrote, as it wrote it
    int ClipboardFormat = -1;
    bool HasClipboardText = false;
    TPrimaryProvider PrimaryProvider;  // the editor's last offer of the primary selection
    bool Captured = false;
    TEditorPointer Pointer = TEditorPointer::Arrow;
    bool CompletionVisible = false;
    int CompletionCurrent = -1;
    QStringList CompletionItems;
};

// Records painting and answers which colour a pixel got, the last drawing over it winning.
class TRecordingCanvas : public IEditorCanvas {
public:
    struct TCells {
        int X;
        int Y;
        int CellWidth;
        int CellHeight;
        QString Text;
        TFontStyles Style;
        TColor Fore;
        TColor Back;
    };
    struct TFill {
        QRect Rect;
        TColor Color;
        bool Frame;
    };

    void FillRect(const QRect& rect, TColor color) override
    {
        Fills.push_back({rect, color, false});
        Order.push_back(-static_cast<int>(Fills.size()));
    }
    void DrawCells(int x, int y, int cellWidth, int cellHeight, QStringView text, const TEditorFont& font,
        TColor foreColor, TColor backColor) override
    {
        Cells.push_back({x, y, cellWidth, cellHeight, text.toString(), font.Style, foreColor, backColor});
        Order.push_back(static_cast<int>(Cells.size() - 1));
    }
    void DrawLine(int, int, int, int, TColor) override {}
    void FrameRect(const QRect& rect, TColor color) override { Frames.push_back({rect, color, true}); }

    // The background colour painted at a pixel, clNone when nothing covered it.
    TColor BackAt(int x, int y) const
    {
        for (auto it = Order.rbegin(); it != Order.rend(); ++it) {
            if (*it < 0) {
                const TFill& fill = Fills[-1 - *it];
                if (fill.Rect.contains(x, y))
                    return fill.Color;
            } else {
                const TCells& cells = Cells[*it];
                if (Extent(cells).contains(x, y))
                    return cells.Back;
            }
        }
        return clNone;
    }
    // The cell run drawn over a pixel and the character there; null when no run covers it.
    const TCells* CellsAt(int x, int y, QChar* character = nullptr) const
    {
        for (auto it = Order.rbegin(); it != Order.rend(); ++it) {
            if (*it < 0) {
                if (Fills[-1 - *it].Rect.contains(x, y))
                    return nullptr;
                continue;
            }
            const TCells& cells = Cells[*it];
            if (Extent(cells).contains(x, y)) {
                if (character != nullptr)
                    *character = cells.Text[(x - cells.X) / cells.CellWidth];
                return &cells;
            }
        }
        return nullptr;
    }

    static QRect Extent(const TCells& cells)
    {
        return QRect(cells.X, cells.Y, cells.CellWidth * static_cast<int>(cells.Text.size()), cells.CellHeight);
    }

    std::vector<TFill> Fills;
    std::vector<TCells> Cells;
    std::vector<TFill> Frames;
    std::vector<int> Order;  // >= 0: index into Cells; < 0: -1 - index into Fills
};
