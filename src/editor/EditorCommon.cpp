#include "EditorCommon.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

int RoundHalfEven(int n, int d)
{
    int quotient = n / d;
    const int twiceRemainder = 2 * (n % d);
    if (twiceRemainder > d || (twiceRemainder == d && (quotient & 1) != 0))
        ++quotient;
    return quotient;
}

bool IsPairAt(const QString& text, int column)
{
    return column > 0 && column < text.size() && text[column - 1].isHighSurrogate()
        && text[column].isLowSurrogate();
}

bool IsAsciiLetterOrDigit(char32_t c)
{
    return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}

namespace {

int Modulo(int a, int d)
{
    return ((a % d) + d) % d;
}

// Far outside any window: where the caret goes when its cell lies left of the text area.
constexpr int kCaretOutOfSight = -32000;
// A wheel turn of this many units scrolls one line (a standard notch of 120 scrolls three).
constexpr int kWheelDeltaPerLine = 40;

} // namespace

bool IsWordSeparator(QChar ch)
{
    switch (ch.unicode()) {
    case u'\0': case u'\n': case u'\r': case u' ': case u'"': case u'#': case u'%': case u'\'':
    case u'(': case u')': case u'*': case u'+': case u',': case u'-': case u'.': case u'/':
    case u':': case u';': case u'<': case u'=': case u'>':
    case u'[': case u'\\': case u']': case u'{': case u'}':
        return true;
    default:
        return false;
    }
}

TUndo::TUndo(TCustomEditorBase& editor, int x, int y)
    : FEditor(&editor), FModified(editor.Modified()), FX(x), FY(y)
{
}

void TUndo::KeepSelection()
{
    FSelection = FEditor->Selection();
}

void TUndoBuffer::Push(std::unique_ptr<TUndo> record)
{
    if (FUndoRunning)
        return;
    DropAfterCurrent();
    FRecords.push_back(std::move(record));
    FCurrent = Count() - 1;
}

void TUndoBuffer::Clear()
{
    FRecords.clear();
    FCurrent = -1;
}

void TUndoBuffer::DropAfterCurrent()
{
    FRecords.erase(FRecords.begin() + (FCurrent + 1), FRecords.end());
}

TCustomEditorBase::TCustomEditorBase()
{
    ParseTabStops();
}

TCustomEditorBase::~TCustomEditorBase() = default;

void TCustomEditorBase::SetPlatform(TEditorPlatform* platform)
{
    if (FPlatform == platform)
        return;
    if (FPlatform != nullptr && FCaretCreated)
        FPlatform->DestroyCaret();
    FCaretCreated = false;
    FPlatform = platform;
    if (FPlatform == nullptr)
        return;
    FPlatform->SettingsChanged();
    UpdateMetrics();
    FFullRepaint = true;
    InvalidateAll();
}

void TCustomEditorBase::BeginUpdate()
{
    ++FUpdateCount;
}

void TCustomEditorBase::EndUpdate()
{
    if (FUpdateCount <= 0)
        throw TEditorError("Assertion failure: EndUpdate without a matching BeginUpdate");
    if (--FUpdateCount > 0)
        return;
    FFullRepaint = true;
    UpdateMetrics();
    NotifyStatus();
    InvalidateAll();
}

void TCustomEditorBase::SetCaret(int column, int line)
{
    if (column == FCaretX && line == FCaretY)
        return;
    PushUndo<TCaretUndo>(FCaretX, FCaretY);
    PlaceCaret(column, line);
    if (FUpdateCount == 0)
        NotifyStatus();
}

void TCustomEditorBase::SetCaretX(int column)
{
    SetCaret(column, FCaretY);
}

void TCustomEditorBase::SetCaretY(int line)
{
    SetCaret(FCaretX, line);
}

void TCustomEditorBase::PlaceCaret(int column, int line)
{
    if (column == FCaretX && line == FCaretY)
        return;
    if (!FCursorBeyondEOF)
        line = std::min(line, LineCount() - 1);
    line = std::max(line, 0);
    column = std::clamp(column, 0, kMaxColumn);

    // Without metrics (no window yet, or no room) one row and one column count as visible, so that
    // the caret's own cell is the one scrolled into view.
    if (line < FTopRow)
        ScrollTo(FLeftCol, line);
    else if (line > std::max(FLastVisibleRow, 0))
        ScrollTo(FLeftCol, line - std::max(FVisibleRows, 1) + 1);
    if (column < FLeftCol)
        ScrollTo(column, FTopRow);
    else if (column > FLastVisibleCol)
        ScrollTo(column - std::max(FVisibleCols, 1) + 1, FTopRow);

    const bool moved = column != FCaretX || line != FCaretY;
    FCaretX = column;
    FCaretY = line;
    if (FPlatform != nullptr && FCaretCreated && FPlatform->HasFocus())
        MoveSystemCaret();
    if (moved)
        NotifyStatus();
}

int TCustomEditorBase::PosToOffset(int column, int line) const
{
    if (line >= LineCount() || line < 0)
        return -1;
    long long offset = 0;
    for (int i = 0; i < line; ++i)
        offset += LineLength(i) + 2;
    offset += std::clamp(column, 0, LineLength(line));
    return static_cast<int>(std::min<long long>(offset, INT_MAX));
}

QPoint TCustomEditorBase::OffsetToPos(int offset) const
{
    if (offset < 0)
        return QPoint(-1, -1);
    long long sum = 0;
    const int count = LineCount();
    for (int i = 0; i < count; ++i) {
        const int length = LineLength(i);
        if (sum + length >= offset)
            return QPoint(static_cast<int>(offset - sum), i);
        sum += length + 2;
    }
    return QPoint(-1, -1);
}

int TCustomEditorBase::GetCaretOffset() const
{
    if (FSel.Selected)
        return PosToOffset(FSel.SelBegX, FSel.SelBegY);
    return PosToOffset(FCaretX, FCaretY);
}

void TCustomEditorBase::SetCaretOffset(int offset)
{
    TCaretHider hider(*this);
    FSel.Selected = false;
    FSel.SelAnchored = false;
    const QPoint begin = OffsetToPos(offset);
    FSel.SelBegX = begin.x();
    FSel.SelBegY = begin.y();
    PlaceCaret(FSel.SelBegX, FSel.SelBegY);

    FSel.Selected = false;
    const QPoint end = OffsetToPos(GetCaretOffset());
    FSel.SelEndX = end.x();
    FSel.SelEndY = end.y();
    PlaceCaret(FSel.SelEndX, FSel.SelEndY);
    InvalidateAll();

    if (FSel.SelBegY < FTopRow || FSel.SelBegY > FLastVisibleRow)
        ScrollTo(FLeftCol, std::max(0, FSel.SelBegY - RoundHalfEven(FVisibleRows, 2)));
}

void TCustomEditorBase::SetSelectionLength(int length)
{
    TCaretHider hider(*this);
    FSel.Selected = length > 0;
    FSel.SelAnchored = false;
    const QPoint end = OffsetToPos(GetCaretOffset() + length);
    FSel.SelEndX = end.x();
    FSel.SelEndY = end.y();
    InvalidateLines(FSel.SelBegY, FSel.SelEndY);
    PlaceCaret(FSel.SelEndX, FSel.SelEndY);
    InvalidateAll();
}

void TCustomEditorBase::SetSelBlockFormat(TSelBlockFormat format)
{
    if (format == FSel.SelBlockFormat)
        return;
    if (FSel.Selected) {
        if (format == bfLine) {
            FSel.LineModeBegX = FSel.SelBegX;
            FSel.LineModeEndX = FSel.SelEndX;
            FSel.SelBegX = 0;
            FSel.SelEndX = kMaxColumn;
        } else if (FSel.SelBlockFormat == bfLine) {
            FSel.SelBegX = FSel.LineModeBegX;
            FSel.SelEndX = FSel.LineModeEndX;
        }
        // A stream that ends left of where it starts becomes the block between the two columns.
        if (format == bfColumn && FSel.SelBegX > FSel.SelEndX)
            std::swap(FSel.SelBegX, FSel.SelEndX);
        InvalidateLines(FSel.SelBegY, FSel.SelEndY);
    }
    FSel.SelBlockFormat = format;
    NotifyStatus();
}

void TCustomEditorBase::ScrollTo(int column, int row)
{
    column = std::clamp(column, 0, kMaxColumn - 1);
    // Inside a batch the scroll bars wait for EndUpdate, whose UpdateMetrics sets their ranges and
    // positions at once; a transcript block moves the caret a million times in one batch.
    const bool showNow = FPlatform != nullptr && FUpdateCount == 0;
    if (column != FLeftCol) {
        if (showNow) {
            // The range may have to grow first (a view moved past the longest line).
            if (column + FVisibleCols > LongestLineLength() + 1)
                SetHorizontalScrollRange(column);
            FPlatform->SetScrollPos(false, column);
        }
        ScrollView(false, column);
    }
    row = std::max(row, 0);
    if (row != FTopRow) {
        if (showNow)
            FPlatform->SetScrollPos(true, row);
        ScrollView(true, row);
    }
}

void TCustomEditorBase::ScrollView(bool vertical, int position)
{
    position = std::max(position, 0);
    if (!vertical)
        position = std::min(position, kMaxColumn - 1);
    int& value = vertical ? FTopRow : FLeftCol;
    if (FUpdateCount > 0 || FPlatform == nullptr) {
        value = position;
        RecomputeLastVisible();
    } else {
        TCaretHider hider(*this);
        const int old = value;
        value = position;
        RecomputeLastVisible();
        if (old != position) {
            const QSize client = FPlatform->ClientSize();
            const int width = client.width();
            const int height = client.height();
            // Cells start one pixel right of the text area; that pixel never moves.
            const QRect area(TextLeft() + 1, 0, std::max(0, width - TextLeft() - 1), height);
            if (vertical) {
                const int distance = (old - position) * FLineHeight;
                if (std::abs(distance) < height) {
                    FPlatform->ScrollPixels(0, distance, area);
                    if (distance > 0)
                        FPlatform->Invalidate(QRect(0, 0, width, distance + FLineHeight));
                    else
                        FPlatform->Invalidate(
                            QRect(0, height + distance - FLineHeight, width, FLineHeight - distance));
                } else {
                    FPlatform->InvalidateAll();
                }
            } else {
                const int distance = (old - position) * FCharWidth;
                if (std::abs(distance) < width - TextLeft()) {
                    FPlatform->ScrollPixels(distance, 0, area);
                    if (distance > 0)
                        FPlatform->Invalidate(QRect(TextLeft(), 0, distance + FCharWidth + 1, height));
                    else
                        FPlatform->Invalidate(
                            QRect(width + distance - FCharWidth, 0, FCharWidth - distance, height));
                } else {
                    FPlatform->InvalidateAll();
                }
            }
            if (FRightMarginVisible)
                FPlatform->Invalidate(QRect(CellLeft(FRightMargin), 0, 1, height));
            FPlatform->UpdateNow();
        }
    }
    if (OnScroll)
        OnScroll(*this);
}

void TCustomEditorBase::UpdateMetrics()
{
    if (FPlatform == nullptr)
        return;
    FPlatform->ForgetFonts();
    FLineHeight = std::max(1, FPlatform->TextExtent(FFont, QStringLiteral("W")).height() + 1);
    FCharWidth = std::max(1, FPlatform->TextExtent(FFont, QStringLiteral("WW")).width() / 2);
    const QSize client = FPlatform->ClientSize();
    FVisibleCols = RoundHalfEven(std::max(0, client.width() - FGutterWidth - 2), FCharWidth);
    FVisibleRows = RoundHalfEven(std::max(0, client.height()), FLineHeight);
    RecomputeLastVisible();
    FRowCount = std::max(LineCount(), 1);
    FPlatform->SetScrollBar(true, 0, std::max(1, FRowCount + FVisibleRows - 2), FVisibleRows,
        std::max(FVisibleRows, 1));
    SetHorizontalScrollRange(FLeftCol);
    FPlatform->SetScrollPos(true, FTopRow);
    FPlatform->SetScrollPos(false, FLeftCol);
    if (FCaretCreated) {
        // A caret made anew starts hidden; it is shown again unless something keeps it hidden.
        const int caretHeight = std::max(1, FLineHeight - 2);
        if (caretHeight != FCaretHeight) {
            FCaretHeight = caretHeight;
            FPlatform->CreateCaret(2, caretHeight);
            MoveSystemCaret();
            if (FCaretHideCount == 0 && !FHideCaret)
                FPlatform->ShowCaret();
        } else {
            MoveSystemCaret();
        }
    }
    FPlatform->Invalidate(QRect(0, 0, TextLeft() + 1, client.height()));
}

void TCustomEditorBase::UpdateMetricsAndRepaint()
{
    UpdateMetrics();
    if (FUpdateCount == 0)
        InvalidateAll();
}

void TCustomEditorBase::UpdateScrollRanges()
{
    // Inside a batch the outermost EndUpdate sets the ranges through UpdateMetrics.
    if (FPlatform == nullptr || FUpdateCount > 0)
        return;
    FPlatform->SetScrollBar(true, 0, std::max(1, FRowCount + FVisibleRows - 2), FVisibleRows,
        std::max(FVisibleRows, 1));
    SetHorizontalScrollRange(FLeftCol);
}

void TCustomEditorBase::SetHorizontalScrollRange(int leftColumn)
{
    // The bar reaches the cell after the longest line, and wherever the view already is.
    const int extent = std::min(
        std::max({LongestLineLength() + 1, leftColumn + FVisibleCols, FCaretX + 1}), kMaxColumn);
    FPlatform->SetScrollBar(false, 0, extent - 1, FVisibleCols, std::max(FVisibleCols, 1));
}

void TCustomEditorBase::NotifyChanged()
{
    // Modified was set by the change itself (LinesChanged): a notification held to the end of a
    // command must not undo what an undo in it gave back.
    if (OnChange)
        OnChange(*this);
    NotifyStatus();
}

void TCustomEditorBase::TextChanged()
{
    FChangePending = true;
    ReleaseChanged();
}

bool TCustomEditorBase::ReleaseChanged()
{
    if (!FChangePending || ChangesHeld())
        return false;
    FChangePending = false;
    NotifyChanged();
    return true;
}

void TCustomEditorBase::NotifyStatus()
{
    UpdateBracketMarks();
    if (OnChangeStatus)
        OnChangeStatus(*this);
}

void TCustomEditorBase::NotifyTextChanged(const TTextChange& change)
{
    // A change within lines repaints those lines; one that adds or removes lines moves everything
    // below it.
    if (change.LineDelta == 0 && change.Kind != TTextChangeKind::WholeText)
        InvalidateLines(change.Line, change.LastLine);
    else if (change.Kind == TTextChangeKind::Appended)
        InvalidateLines(change.Line, LineCount() - 1);
    else
        InvalidateAll();
}

int TCustomEditorBase::FirstNonBlank(int line) const
{
    QString text;
    GetLineText(line, text);
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] != u' ')
            return static_cast<int>(i) + 1;
    return static_cast<int>(text.size()) + 1;
}

int TCustomEditorBase::GetTabStop(int column, bool next) const
{
    const std::vector<int>& stops = FTabStopColumns;
    // Past the list the stops go on in steps of the last gap; a single stop v repeats every v
    // columns, and an empty list gives a stop every 8 columns.
    int last = -1;
    int step = 8;
    if (stops.size() >= 2) {
        last = stops.back();
        step = last - stops[stops.size() - 2];
    } else if (stops.size() == 1) {
        last = stops.front();
        step = last + 1;
    }
    if (next) {
        for (const int stop : stops)
            if (stop > column)
                return stop;
        return column + step - Modulo(column - last, step);
    }
    for (std::size_t i = 0; i < stops.size(); ++i)
        if (stops[i] >= column)
            return i == 0 ? 0 : stops[i - 1];
    const int remainder = Modulo(column - last, step);
    return std::max(0, remainder == 0 ? column - step : column - remainder);
}

int TCustomEditorBase::GetSmartTabStop(int column, int /*line*/, bool next) const
{
    return GetTabStop(column, next);
}

int TCustomEditorBase::GetBackspaceStop(int column, int /*line*/) const
{
    return std::max(column - 1, 0);
}

int TCustomEditorBase::GetAutoIndentColumn(int /*line*/) const
{
    return 0;
}

void TCustomEditorBase::LinesChanged()
{
    if (FUpdateCount == 0 && FPlatform != nullptr) {
        FPlatform->InvalidateAll();
        FPlatform->UpdateNow();
    }
    const int count = LineCount();
    if (FCaretY >= count)
        SetCaretY(std::max(count - 1, 0));
    FRowCount = std::max(count, 1);
    UpdateScrollRanges();
    // Set at once, so that an undo record made later in the same change keeps it; NotifyChanged comes
    // from the change itself (TextChanged), once.
    FModified = true;
}

void TCustomEditorBase::TextReset(bool dropSelection)
{
    if (FPlatform != nullptr)
        FPlatform->ForgetFonts();
    if (dropSelection) {
        FSel.Selected = false;
        FSel.SelAnchored = false;
    }
    UpdateBracketMarks();
}

void TCustomEditorBase::LineInserted(int line)
{
    if (OnLineInserted)
        OnLineInserted(*this, line);
}

void TCustomEditorBase::LineDeleted(int line)
{
    if (OnLineDeleted)
        OnLineDeleted(*this, line);
}

bool TCustomEditorBase::GetLineSlice(int line, int from, int count, QString& text) const
{
    const bool exists = GetLineText(line, text);
    text = text.mid(std::max(from, 0), std::max(count, 0));
    return exists;
}

const TLineAttrs& TCustomEditorBase::GetLineAttrs(int line, int firstColumn, int lastColumn)
{
    // Cells exist for the columns asked for only, however long the line.
    firstColumn = std::clamp(firstColumn, 0, kMaxColumn);
    lastColumn = std::clamp(lastColumn, firstColumn, kMaxColumn);
    FLineAttrs.Reset(firstColumn + 1, lastColumn + 1, TLineAttrCell{FFont.Color, FColor, FFont.Style, clNone});
    FillLineAttrs(line, firstColumn, lastColumn);
    if (OnGetLineAttr) {
        QString text;
        GetLineText(line, text);
        OnGetLineAttr(*this, text, line, FLineAttrs);
    }
    DecorateLineAttrs(line, firstColumn, lastColumn);
    return FLineAttrs;
}

void TCustomEditorBase::DecorateLineAttrs(int line, int /*firstColumn*/, int /*lastColumn*/)
{
    ApplyBracketAttrs(line);
    if (!FSel.Selected || line < FSel.SelBegY || line > FSel.SelEndY)
        return;
    // The selected columns are first up to (not including) end.
    int first = 0;
    int end = kMaxColumn + 1;
    if (FSel.SelBlockFormat == bfColumn) {
        first = FSel.SelBegX;
        end = FSel.SelEndX + 1;
    } else {
        if (line == FSel.SelBegY)
            first = FSel.SelBegX;
        if (line == FSel.SelEndY)
            end = FSel.SelBlockFormat == bfInclusive ? FSel.SelEndX + 1 : FSel.SelEndX;
    }
    first = SelectionEdge(line, first);
    int last = SelectionEdge(line, end) - 1;
    first = std::max(first, FLineAttrs.FirstCell() - 1);
    last = std::min(last, FLineAttrs.LastCell() - 1);
    for (int column = first; column <= last; ++column) {
        TLineAttrCell& cell = FLineAttrs[column + 1];
        cell.ForeColor = FSelForeColor;
        cell.BackColor = FSelBackColor;
    }
}

int TCustomEditorBase::SelectionEdge(int line, int column) const
{
    // Only the two units around the edge are read, however long the line.
    QString around;
    if (column <= 0 || !GetLineSlice(line, column - 1, 2, around))
        return column;
    return IsPairAt(around, 1) ? column + 1 : column;
}

bool TCustomEditorBase::SelectionRunsPastLine(int line) const
{
    return FSel.Selected && FSel.SelBlockFormat != bfColumn && line >= FSel.SelBegY
        && line < FSel.SelEndY;
}

void TCustomEditorBase::Paint(IEditorCanvas& canvas, const QRect& clip)
{
    if (FUpdateCount > 0 || FPlatform == nullptr)
        return;
    TCaretHider hider(*this);
    const QSize client = FPlatform->ClientSize();
    const int left = TextLeft();
    const QRect textArea(left, 0, std::max(0, client.width() - left), client.height());
    const QRect area = FFullRepaint ? textArea : clip.intersected(QRect(left, 0, INT_MAX / 2, INT_MAX / 2));
    if (!area.isEmpty()) {
        const int firstRow = FTopRow + area.top() / FLineHeight;
        const int lastRow = std::min(FTopRow + area.bottom() / FLineHeight, FTopRow + FVisibleRows);
        const int firstColumn =
            std::min(FLeftCol + std::max(0, area.left() - left - 1) / FCharWidth, kMaxColumn);
        const int lastColumn = std::min({FLeftCol + std::max(0, area.right() - left - 1) / FCharWidth,
            FLeftCol + FVisibleCols, kMaxColumn - 1});
        const int right = area.right() + 1;
        const int lineCount = LineCount();
        for (int row = firstRow; row <= lastRow; ++row) {
            const int y = (row - FTopRow) * FLineHeight;
            if (row >= lineCount) {
                canvas.FillRect(QRect(area.left(), y, area.width(), FLineHeight), FColor);
                continue;
            }
            if (area.left() <= left)
                canvas.FillRect(QRect(left, y, 1, FLineHeight), FColor);
            int column = firstColumn;
            int fillFrom = std::max(area.left(), left + 1);
            if (firstColumn <= lastColumn) {
                PaintLine(canvas, row, firstColumn, column, lastColumn);
                fillFrom = CellLeft(column);
            }
            if (fillFrom < right)
                canvas.FillRect(QRect(fillFrom, y, right - fillFrom, FLineHeight),
                    SelectionRunsPastLine(row) ? FSelBackColor : FColor);
        }
    }
    PaintRightMargin(canvas, client.height());
    PaintGutter(canvas);
    FFullRepaint = false;
}

void TCustomEditorBase::PaintLine(IEditorCanvas& canvas, int line, int fromColumn, int& column, int toColumn)
{
    // Only the painted part of the line is read: painting costs what is visible.
    QString text;
    GetLineSlice(line, fromColumn, toColumn - fromColumn + 1, text);
    const TLineAttrs& attrs = GetLineAttrs(line, fromColumn, toColumn);
    const int y = (line - FTopRow) * FLineHeight;
    TEditorFont font = FFont;
    QString run;
    column = fromColumn;
    while (column <= toColumn) {
        const int start = column;
        const TLineAttrCell& cell = attrs[start + 1];
        while (column < toColumn && attrs[column + 2] == cell)
            ++column;
        ++column;
        run.resize(0);
        for (int c = start - fromColumn; c < column - fromColumn; ++c) {
            // A TAB kept in a literal is one cell, marked so that it is not taken for a blank.
            const QChar character = c < text.size() ? text[c] : QChar(u' ');
            run += character == u'\t' ? QChar(kTabMark) : character;
        }
        font.Style = cell.Style;
        const int x = CellLeft(start);
        canvas.DrawCells(x, y, FCharWidth, FLineHeight, run, font, cell.ForeColor, cell.BackColor);
        if (cell.FrameColor != clNone)
            canvas.FrameRect(QRect(x, y, (column - start) * FCharWidth, FLineHeight), cell.FrameColor);
    }
}

void TCustomEditorBase::PaintRightMargin(IEditorCanvas& canvas, int height)
{
    if (FRightMarginVisible && FLeftCol < FRightMargin && FRightMargin < FLastVisibleCol + 3)
        canvas.FillRect(QRect(CellLeft(FRightMargin), 0, 1, height), FRightMarginColor);
}

void TCustomEditorBase::PaintGutter(IEditorCanvas& canvas)
{
    const int height = FPlatform->ClientSize().height();
    if (FGutterWidth > 0)
        canvas.FillRect(QRect(0, 0, FGutterWidth, height), FGutterColor);
    canvas.FillRect(QRect(FGutterWidth - 2, 0, 1, height), FColor);
    canvas.FillRect(QRect(FGutterWidth - 1, 0, 1, height), clGray);
    canvas.FillRect(QRect(FGutterWidth, 0, 2, height), FColor);
    if (OnPaintGutter)
        OnPaintGutter(*this, canvas);
}

void TCustomEditorBase::MouseDown(TMouseButton /*button*/, TShiftState /*shift*/, int /*x*/, int /*y*/)
{
}

void TCustomEditorBase::MouseMove(TShiftState /*shift*/, int x, int /*y*/)
{
    if (FPlatform != nullptr)
        FPlatform->SetPointer(x < FGutterWidth ? TEditorPointer::Arrow : TEditorPointer::IBeam);
}

void TCustomEditorBase::MouseUp(TMouseButton /*button*/, TShiftState /*shift*/, int /*x*/, int /*y*/)
{
}

void TCustomEditorBase::DoubleClick(TShiftState /*shift*/, int /*x*/, int /*y*/)
{
}

bool TCustomEditorBase::MouseWheel(TShiftState shift, int delta)
{
    if (shift == 0) {
        const int lines = -delta / kWheelDeltaPerLine;
        const int top = std::clamp(FTopRow + lines, 0, std::max(FRowCount - 1, 0));
        TCaretHider hider(*this);
        ScrollTo(FLeftCol, top);
    }
    return true;
}

void TCustomEditorBase::FocusIn()
{
    if (FPlatform == nullptr)
        return;
    FCaretHeight = std::max(1, FLineHeight - 2);
    FPlatform->CreateCaret(2, FCaretHeight);
    FCaretCreated = true;
    MoveSystemCaret();
    if (FCaretHideCount == 0 && !FHideCaret)
        FPlatform->ShowCaret();
}

void TCustomEditorBase::FocusOut()
{
    if (FPlatform == nullptr)
        return;
    FPlatform->HideCompletionList();
    if (FCaretCreated)
        FPlatform->DestroyCaret();
    FCaretCreated = false;
}

void TCustomEditorBase::Resized()
{
    UpdateMetrics();
    InvalidateAll();
}

void TCustomEditorBase::ScrollBarMoved(bool vertical, int position)
{
    ScrollView(vertical, position);
}

void TCustomEditorBase::PostedCommand(int command)
{
    TCaretHider hider(*this);
    Command(command);
}

void TCustomEditorBase::SetReadOnly(bool value)
{
    if (value == FReadOnly)
        return;
    FReadOnly = value;
    if (FPlatform != nullptr)
        FPlatform->SettingsChanged();
    NotifyStatus();
}

void TCustomEditorBase::SetInsertMode(bool value)
{
    if (value == FInsertMode)
        return;
    FInsertMode = value;
    NotifyStatus();
}

void TCustomEditorBase::SetTabStops(const QString& value)
{
    FTabStops = value;
    ParseTabStops();
}

void TCustomEditorBase::SetGutterWidth(int value)
{
    if (value == FGutterWidth)
        return;
    FGutterWidth = std::max(0, value);
    UpdateMetrics();
    InvalidateAll();
}

void TCustomEditorBase::SetGutterColor(TColor value)
{
    FGutterColor = value;
    InvalidateAll();
}

void TCustomEditorBase::SetRightMarginVisible(bool value)
{
    FRightMarginVisible = value;
    InvalidateAll();
}

void TCustomEditorBase::SetRightMargin(int value)
{
    FRightMargin = value;
    InvalidateAll();
}

void TCustomEditorBase::SetRightMarginColor(TColor value)
{
    FRightMarginColor = value;
    InvalidateAll();
}

void TCustomEditorBase::SetSelForeColor(TColor value)
{
    FSelForeColor = value;
    InvalidateAll();
}

void TCustomEditorBase::SetSelBackColor(TColor value)
{
    FSelBackColor = value;
    InvalidateAll();
}

void TCustomEditorBase::SetScrollBars(TScrollStyle value)
{
    FScrollBars = value;
    if (FPlatform != nullptr)
        FPlatform->SettingsChanged();
}

void TCustomEditorBase::SetBorderStyle(TBorderStyle value)
{
    FBorderStyle = value;
    if (FPlatform != nullptr)
        FPlatform->SettingsChanged();
}

void TCustomEditorBase::SetHideCaret(bool value)
{
    if (value == FHideCaret)
        return;
    FHideCaret = value;
    if (FPlatform == nullptr || !FCaretCreated)
        return;
    if (FHideCaret)
        FPlatform->HideCaret();
    else if (FCaretHideCount == 0) {
        MoveSystemCaret();
        FPlatform->ShowCaret();
    }
}

void TCustomEditorBase::SetColor(TColor value)
{
    FColor = value;
    InvalidateAll();
}

void TCustomEditorBase::SetFont(const TEditorFont& value)
{
    FFont = value;
    UpdateMetrics();
    InvalidateAll();
}

void TCustomEditorBase::BeginCaretHide()
{
    if (FCaretHideCount++ == 0 && FCaretCreated && FPlatform != nullptr)
        FPlatform->HideCaret();
}

void TCustomEditorBase::EndCaretHide()
{
    if (--FCaretHideCount == 0 && FCaretCreated && FPlatform != nullptr && !FHideCaret) {
        MoveSystemCaret();
        FPlatform->ShowCaret();
    }
}

void TCustomEditorBase::MoveSystemCaret()
{
    if (FPlatform == nullptr || !FCaretCreated)
        return;
    const int x = CellLeft(FCaretX) - 1;
    if (x < FGutterWidth)
        FPlatform->MoveCaret(kCaretOutOfSight, kCaretOutOfSight);
    else
        FPlatform->MoveCaret(x, (FCaretY - FTopRow) * FLineHeight + 1);
}

void TCustomEditorBase::InvalidateAll()
{
    if (FPlatform != nullptr)
        FPlatform->InvalidateAll();
}

void TCustomEditorBase::InvalidateLines(int firstLine, int lastLine)
{
    if (FPlatform == nullptr || FLineHeight <= 0)
        return;
    if (lastLine < firstLine)
        std::swap(firstLine, lastLine);
    // Only the rows on screen matter; the rest would only overflow the rectangle.
    firstLine = std::max(firstLine, FTopRow);
    lastLine = std::min(lastLine, FTopRow + FVisibleRows);
    if (lastLine < firstLine)
        return;
    const int width = FPlatform->ClientSize().width();
    FPlatform->Invalidate(QRect(0, (firstLine - FTopRow) * FLineHeight, width,
        (lastLine - firstLine + 1) * FLineHeight));
}

void TCustomEditorBase::RecomputeLastVisible()
{
    FLastVisibleCol = FLeftCol + FVisibleCols - 1;
    FLastVisibleRow = FTopRow + FVisibleRows - 1;
}

void TCustomEditorBase::ParseTabStops()
{
    FTabStopColumns.clear();
    const QStringList parts = FTabStops.split(u' ', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const int stop = part.toInt(&ok) - 1;
        // Stops are kept ascending: a stop not beyond the one before it is ignored.
        if (ok && stop >= 0 && (FTabStopColumns.empty() || stop > FTabStopColumns.back()))
            FTabStopColumns.push_back(stop);
    }
}
