// Where a pane's cells stand on screen, for the tests that click into a pane or look at its pixels:
// the panes' 25-pixel gutter, its 2-pixel edge, one pixel that never moves, then the cells.
#pragma once

constexpr int kPaneGutterWidth = 25;
constexpr int kFirstCellX = kPaneGutterWidth + 3;

// The left edge of a column's cell in a pane scrolled to column 0.
constexpr int CellLeftX(int column, int charWidth)
{
    return kFirstCellX + column * charWidth;
}
