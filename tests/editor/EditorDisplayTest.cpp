// The editor's view through a fake window and a recording canvas: metrics, scroll bars, scrolling by
// moving pixels, the caret, and the painted frame (cells, gutter, right margin, selection colours).
#include "PaneGeometry.h"
#include "TestEditor.h"

#include <gtest/gtest.h>

namespace {

// The fake metrics: cells 8 pixels wide and 16 high.
constexpr int kFirstCell = kFirstCellX;
constexpr int kCharWidth = 8;
constexpr int kLineHeight = 16;

int CellX(int column)
{
    return CellLeftX(column, kCharWidth);
}

int RowY(int row)
{
    return row * kLineHeight + kLineHeight / 2;
}

QStringList ManyLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("line %1").arg(i);
    return lines;
}

} // namespace

TEST(EditorMetrics, VisibleCellsRoundHalfToEven)
{
    struct TCase {
        QSize Client;
        int Cols;
        int Rows;
    };
    const TCase cases[] = {
        {{400, 200}, 47, 12},  // 373 / 8 = 46.6; 200 / 16 = 12.5 rounds to the even 12
        {{400, 216}, 47, 14},  // 13.5
        {{391, 184}, 46, 12},  // 45.5 and 11.5: both round up to the even neighbour
        {{20, 0}, 0, 0},       // narrower than the gutter
    };
    for (const TCase& c : cases) {
        TEditorHarness h({}, c.Client);
        EXPECT_EQ(h.Editor.CharWidth(), kCharWidth);
        EXPECT_EQ(h.Editor.LineHeight(), kLineHeight);
        EXPECT_EQ(h.Editor.VisibleCols(), c.Cols) << c.Client.width();
        EXPECT_EQ(h.Editor.VisibleRows(), c.Rows) << c.Client.height();
        EXPECT_EQ(h.Editor.LastVisibleCol(), c.Cols - 1);
        EXPECT_EQ(h.Editor.LastVisibleRow(), c.Rows - 1);
    }
}

TEST(EditorMetrics, ScrollBarsLetTheLastLineReachTheTop)
{
    TEditorHarness h(ManyLines(30));
    const TFakePlatform::TBar& vertical = h.Platform.Bars[true];
    const TFakePlatform::TBar& horizontal = h.Platform.Bars[false];
    EXPECT_EQ(vertical.Max, 30 + 12 - 2);
    EXPECT_EQ(vertical.Page, 12);
    EXPECT_EQ(vertical.PageStep, 12);
    // Short lines: the bar spans the window; a long line stretches it to the cell after its end.
    EXPECT_EQ(horizontal.Max, 46);
    EXPECT_EQ(horizontal.Page, 47);
    h.Editor.Lines().Add(QString(5000, u'x'));
    EXPECT_EQ(horizontal.Max, 5000);
    h.Editor.Lines().Delete(h.Editor.LineCount() - 1);
    EXPECT_EQ(horizontal.Max, 46) << "the range shrinks with the longest line";

    h.Editor.Lines().Add(QStringLiteral("one more"));
    EXPECT_EQ(h.Editor.RowCount(), 31);
    EXPECT_EQ(vertical.Max, 31 + 12 - 2);
    h.Editor.ClearLines();
    EXPECT_EQ(h.Editor.RowCount(), 1);
    EXPECT_EQ(vertical.Max, 11);
}

TEST(EditorScrolling, PlacingTheCaretScrollsItIntoView)
{
    struct TCase {
        QPoint Caret;
        int Top;
        int Left;
    };
    const TCase cases[] = {
        {{0, 11}, 0, 0},
        {{0, 12}, 1, 0},
        {{0, 150}, 139, 0},
        {{46, 0}, 0, 0},
        {{47, 0}, 0, 1},
        {{1024, 0}, 0, 1024 - 47 + 1},
        {{5000, 0}, 0, 5000 - 47 + 1},
        {{kMaxColumn, 0}, 0, kMaxColumn - 47 + 1},
    };
    for (const TCase& c : cases) {
        TEditorHarness h(ManyLines(200));
        h.Editor.SetCaret(c.Caret.x(), c.Caret.y());
        EXPECT_EQ(h.Editor.TopRow(), c.Top) << c.Caret.x() << "," << c.Caret.y();
        EXPECT_EQ(h.Editor.LeftCol(), c.Left) << c.Caret.x() << "," << c.Caret.y();
        EXPECT_EQ(h.Platform.Bars[true].Position, c.Top);
        EXPECT_EQ(h.Platform.Bars[false].Position, c.Left);
    }
    TEditorHarness h(ManyLines(200));
    h.Editor.SetCaret(5, 150);
    h.Editor.SetCaret(0, 3);
    EXPECT_EQ(h.Editor.TopRow(), 3);
    EXPECT_EQ(h.Editor.LeftCol(), 0);
}

TEST(EditorScrolling, LessThanAWindowMovesPixelsAndRepaintsTheUncoveredStrip)
{
    struct TCase {
        bool Vertical;
        int From;
        int To;
        QPoint Move;     // (dx, dy); (0, 0): no pixels moved
        QRect Strip;
    };
    const TCase cases[] = {
        {true, 0, 2, {0, -32}, {0, 200 - 32 - 16, 400, 48}},
        {true, 5, 3, {0, 32}, {0, 0, 400, 48}},
        {true, 0, 12, {0, 0}, {}},                     // 192 pixels < 200: still a move
        {true, 0, 13, {0, 0}, {}},                     // a window or more: repaint everything
        {false, 0, 3, {-24, 0}, {400 - 24 - 8, 0, 32, 200}},
        {false, 4, 1, {24, 0}, {27, 0, 33, 200}},
        {false, 0, 60, {0, 0}, {}},
    };
    for (const TCase& c : cases) {
        TEditorHarness h(ManyLines(100));
        h.Editor.ScrollBarMoved(c.Vertical, c.From);
        h.ResetCounts();
        h.Editor.ScrollBarMoved(c.Vertical, c.To);
        EXPECT_EQ(c.Vertical ? h.Editor.TopRow() : h.Editor.LeftCol(), c.To);
        EXPECT_EQ(h.Scrolls, 1);
        EXPECT_EQ(h.Platform.UpdateNowCount, 1);
        EXPECT_EQ(h.Caret(), QPoint(0, 0)) << "the caret stays";
        if (c.Move == QPoint(0, 0) && !(c.Vertical && c.To == 12)) {
            EXPECT_TRUE(h.Platform.Scrolls.empty()) << c.From << "->" << c.To;
            EXPECT_GE(h.Platform.InvalidateAllCount, 1);
            continue;
        }
        ASSERT_EQ(h.Platform.Scrolls.size(), 1u) << c.From << "->" << c.To;
        if (c.Move == QPoint(0, 0))
            continue;
        EXPECT_EQ(QPoint(h.Platform.Scrolls[0].Dx, h.Platform.Scrolls[0].Dy), c.Move);
        EXPECT_EQ(h.Platform.Scrolls[0].Area, QRect(28, 0, 400 - 28, 200));
        EXPECT_EQ(h.Platform.InvalidateAllCount, 0);
        ASSERT_FALSE(h.Platform.Invalidated.empty());
        EXPECT_EQ(h.Platform.Invalidated.front(), c.Strip);
    }
}

TEST(EditorScrolling, TheWheelScrollsThreeLinesAndLeavesTheCaret)
{
    TEditorHarness h(ManyLines(100));
    h.Editor.SetCaret(2, 1);
    EXPECT_TRUE(h.Editor.MouseWheel(0, -120));
    EXPECT_EQ(h.Editor.TopRow(), 3);
    EXPECT_TRUE(h.Editor.MouseWheel(0, 240));
    EXPECT_EQ(h.Editor.TopRow(), 0);
    EXPECT_EQ(h.Caret(), QPoint(2, 1));
}

TEST(EditorCaretDisplay, TheCaretLivesWithTheFocus)
{
    TEditorHarness h(ManyLines(100));
    h.Platform.Focused = true;
    h.Editor.FocusIn();
    EXPECT_TRUE(h.Platform.CaretCreated);
    EXPECT_TRUE(h.Platform.CaretVisible);
    EXPECT_EQ(h.Platform.CaretSize, QSize(2, kLineHeight - 2));
    EXPECT_EQ(h.Platform.CaretPos, QPoint(kFirstCell - 1, 1));

    h.Editor.SetCaret(3, 2);
    EXPECT_EQ(h.Platform.CaretPos, QPoint(CellX(3) - 1, 2 * kLineHeight + 1));
    EXPECT_TRUE(h.Platform.CaretVisible) << "shown again after the operation";

    h.Editor.BeginUpdate();
    h.Editor.EndUpdate();
    EXPECT_TRUE(h.Platform.CaretVisible) << "a batch does not leave the caret hidden";
    TEditorFont bigger;
    bigger.Height = 20;
    h.Platform.TextHeight = 19;
    h.Editor.SetFont(bigger);
    EXPECT_EQ(h.Platform.CaretSize, QSize(2, 18)) << "the caret follows the line height";
    EXPECT_TRUE(h.Platform.CaretVisible);
    h.Platform.TextHeight = 15;
    h.Editor.SetFont(TEditorFont());

    h.Editor.ScrollBarMoved(false, 5);  // the caret's cell is now left of the text area
    EXPECT_LT(h.Platform.CaretPos.x(), 0);

    h.Platform.CompletionVisible = true;
    h.Editor.FocusOut();
    EXPECT_FALSE(h.Platform.CaretCreated);
    EXPECT_FALSE(h.Platform.CompletionVisible);

    h.Editor.SetHideCaret(true);
    h.Editor.FocusIn();
    EXPECT_FALSE(h.Platform.CaretVisible);
    h.Editor.SetCaret(0, 0);
    EXPECT_FALSE(h.Platform.CaretVisible);
}

TEST(EditorPaint, CellsGutterAndMarginStandWhereTheyShould)
{
    TEditorHarness h({QString(80, QChar(u'W')), QStringLiteral("x")}, QSize(800, 100));
    TRecordingCanvas canvas;
    h.Editor.Paint(canvas, QRect(0, 0, 800, 100));

    QChar character;
    const TRecordingCanvas::TCells* first = canvas.CellsAt(kFirstCell, RowY(0), &character);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->X, kFirstCell);
    EXPECT_EQ(character, u'W');
    EXPECT_EQ(canvas.CellsAt(kFirstCell - 1, RowY(0)), nullptr);

    // The margin stands at the left edge of column 80, right after the 80th character.
    const int margin = CellX(80);
    EXPECT_EQ(canvas.BackAt(margin, RowY(0)), clSilver);
    EXPECT_EQ(canvas.BackAt(margin, RowY(4)), clSilver) << "over the whole height";
    canvas.CellsAt(margin - 1, RowY(0), &character);
    EXPECT_EQ(character, u'W');
    EXPECT_NE(canvas.BackAt(margin - 1, RowY(0)), clSilver);

    // The gutter: its colour, then the text background, grey, and the background up to the cells.
    struct TPixel {
        int X;
        TColor Color;
    };
    for (const TPixel& p : {TPixel{0, clBtnFace}, {22, clBtnFace}, {23, clWindow}, {24, clGray},
             {25, clWindow}, {26, clWindow}, {27, clWindow}})
        EXPECT_EQ(canvas.BackAt(p.X, RowY(1)), p.Color) << "x = " << p.X;

    // Past the end of a line and below the last line: the background.
    EXPECT_EQ(canvas.BackAt(CellX(3), RowY(1)), clWindow);
    EXPECT_EQ(canvas.BackAt(CellX(3), RowY(3)), clWindow);
    EXPECT_EQ(canvas.BackAt(799, RowY(3)), clWindow);
}

TEST(EditorPaint, TheMarginDisappearsWhenScrolledOut)
{
    TEditorHarness h({QStringLiteral("x")}, QSize(400, 100));
    TRecordingCanvas near;
    h.Editor.Paint(near, QRect(0, 0, 400, 100));
    EXPECT_EQ(near.BackAt(CellX(80), RowY(2)), clNone) << "column 80 is beyond 47 visible + 3";
    h.Editor.ScrollBarMoved(false, 40);
    TRecordingCanvas scrolled;
    h.Editor.Paint(scrolled, QRect(0, 0, 400, 100));
    EXPECT_EQ(scrolled.BackAt(CellX(40), RowY(2)), clSilver);
    h.Editor.ScrollBarMoved(false, 80);
    TRecordingCanvas past;
    h.Editor.Paint(past, QRect(0, 0, 400, 100));
    EXPECT_EQ(past.BackAt(kFirstCell, RowY(2)), clWindow);
}

TEST(EditorPaint, SelectedCellsTakeTheSelectionColoursPerFormat)
{
    // Lines of 6 characters; the selection runs from (2, 0) to (3, 2).
    struct TCase {
        TSelBlockFormat Format;
        int BegX;
        int EndX;
        const char* Rows[3];  // per column 0..9: 's' selected, '.' not
        bool FillSelected[3];  // the row right of column 1023
    };
    const TCase cases[] = {
        {bfNonInclusive, 2, 3, {"..ssssssss", "ssssssssss", "sss......."}, {true, true, false}},
        {bfInclusive, 2, 3, {"..ssssssss", "ssssssssss", "ssss......"}, {true, true, false}},
        {bfColumn, 2, 3, {"..ss......", "..ss......", "..ss......"}, {false, false, false}},
        {bfLine, 0, 1024, {"ssssssssss", "ssssssssss", "ssssssssss"}, {true, true, false}},
    };
    for (const TCase& c : cases) {
        // Ten visible columns: 27 + 10 * 8 = 107 pixels wide.
        TEditorHarness h({"abcdef", "ghijkl", "mnopqr"}, QSize(107, 64));
        h.Editor.Select(c.Format, c.BegX, 0, c.EndX, 2);
        TRecordingCanvas canvas;
        h.Editor.Paint(canvas, QRect(0, 0, 107, 64));
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 10; ++column) {
                const TRecordingCanvas::TCells* cells = canvas.CellsAt(CellX(column) + 1, RowY(row));
                ASSERT_NE(cells, nullptr) << row << "," << column;
                const bool selected = c.Rows[row][column] == 's';
                EXPECT_EQ(cells->Back, selected ? clHighlight : clWindow)
                    << "format " << int(c.Format) << " row " << row << " column " << column;
                EXPECT_EQ(cells->Fore, selected ? clHighlightText : clWindowText);
            }
        }
        // Scrolled to the last columns, the row goes on past column 1023 with a fill.
        h.Editor.ScrollBarMoved(false, 1018);
        TRecordingCanvas right;
        h.Editor.Paint(right, QRect(0, 0, 107, 64));
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(right.BackAt(100, RowY(row)), c.FillSelected[row] ? clHighlight : clWindow)
                << "format " << int(c.Format) << " row " << row;
    }
}

TEST(EditorPaint, EqualCellsAreDrawnAsOneRunAndSelectionKeepsTheStyle)
{
    TEditorHarness h({QStringLiteral("select x")}, QSize(107, 32));
    h.Editor.FillHook = [](TLineAttrs& attrs, int, int, int) {
        for (int cell = 1; cell <= 6; ++cell) {
            attrs[cell].Style = fsBold;
            attrs[cell].ForeColor = clNavy;
            attrs[cell].FrameColor = cell == 1 ? clRed : clNone;
        }
    };
    h.Editor.Select(bfNonInclusive, 1, 0, 3, 0);
    TRecordingCanvas canvas;
    h.Editor.Paint(canvas, QRect(0, 0, 107, 32));
    ASSERT_EQ(h.Editor.FilledLines, std::vector<int>{0});

    std::vector<QString> runs;
    for (const TRecordingCanvas::TCells& cells : canvas.Cells)
        runs.push_back(cells.Text);
    EXPECT_EQ(runs, (std::vector<QString>{"s", "el", "ect", " x  "}));
    const TRecordingCanvas::TCells& selected = canvas.Cells[1];
    EXPECT_EQ(selected.Style, fsBold) << "a selected keyword stays bold";
    EXPECT_EQ(selected.Back, clHighlight);
    ASSERT_EQ(canvas.Frames.size(), 1u);
    EXPECT_EQ(canvas.Frames[0].Rect, QRect(kFirstCell, 0, kCharWidth, kLineHeight));
}

TEST(EditorPaint, LineAttributesExistForThePaintedColumnsOnly)
{
    TEditorHarness h({QStringLiteral("short"), QString(300000, QChar(u'y'))});
    const TLineAttrCell defaults{clWindowText, clWindow, 0, clNone};
    const TLineAttrs& attrs = h.Editor.GetLineAttrs(1, 200000, 200040);
    EXPECT_EQ(attrs.FirstCell(), 200001);
    EXPECT_EQ(attrs.LastCell(), 200041) << "cells of the painted columns, not of the whole line";
    EXPECT_EQ(attrs[200001], defaults);

    bool sawEvent = false;
    h.Editor.OnGetLineAttr = [&](TCustomEditorBase&, QString& line, int index, TLineAttrs& cells) {
        sawEvent = line == QStringLiteral("short") && index == 0;
        cells[1].BackColor = clRed;
        cells[5000].BackColor = clRed;  // outside the window: dropped
    };
    EXPECT_EQ(h.Editor.GetLineAttrs(0, 0, 10)[1].BackColor, clRed);
    EXPECT_TRUE(sawEvent);
    EXPECT_EQ(h.Editor.GetLineAttrs(0, 0, 10)[11], defaults);
}

TEST(EditorPaint, OnlyTheRowsAndColumnsOfTheClipArePainted)
{
    TEditorHarness h(ManyLines(50));
    TRecordingCanvas full;
    h.Editor.Paint(full, QRect(0, 0, 400, 200));  // the first paint covers the whole text area
    TRecordingCanvas clipped;
    h.Editor.Paint(clipped, QRect(CellX(2), RowY(3), 1, 1));
    ASSERT_EQ(clipped.Cells.size(), 1u);
    EXPECT_EQ(clipped.Cells[0].Y, 3 * kLineHeight);
    EXPECT_EQ(clipped.Cells[0].X, CellX(2));
    EXPECT_EQ(clipped.Cells[0].Text, QStringLiteral("n"));
}
