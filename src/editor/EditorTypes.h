// Plain value types of the editor core: colours, fonts, modifier keys, selection formats and state,
// the per-column line attributes, and the one error type the editor raises.
#pragma once

#include <QString>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

// A colour: 0x00BBGGRR for an RGB value, 0xFF000000 plus an index for a system colour (the view maps
// those onto its palette), or clNone for no colour at all.
using TColor = std::uint32_t;

constexpr TColor RGBColor(int red, int green, int blue)
{
    return static_cast<TColor>(red & 0xFF) | (static_cast<TColor>(green & 0xFF) << 8)
        | (static_cast<TColor>(blue & 0xFF) << 16);
}

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clMaroon = RGBColor(128, 0, 0);
constexpr TColor clGreen = RGBColor(0, 128, 0);
constexpr TColor clOlive = RGBColor(128, 128, 0);
constexpr TColor clNavy = RGBColor(0, 0, 128);
constexpr TColor clPurple = RGBColor(128, 0, 128);
constexpr TColor clTeal = RGBColor(0, 128, 128);
constexpr TColor clGray = RGBColor(128, 128, 128);
constexpr TColor clSilver = RGBColor(192, 192, 192);
constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clLime = RGBColor(0, 255, 0);
constexpr TColor clYellow = RGBColor(255, 255, 0);
constexpr TColor clBlue = RGBColor(0, 0, 255);
constexpr TColor clFuchsia = RGBColor(255, 0, 255);
constexpr TColor clAqua = RGBColor(0, 255, 255);
constexpr TColor clWhite = RGBColor(255, 255, 255);

constexpr TColor clSystemColor = 0xFF000000;
constexpr TColor clScrollBar = clSystemColor + 0;
constexpr TColor clBackground = clSystemColor + 1;
constexpr TColor clActiveCaption = clSystemColor + 2;
constexpr TColor clInactiveCaption = clSystemColor + 3;
constexpr TColor clMenu = clSystemColor + 4;
constexpr TColor clWindow = clSystemColor + 5;
constexpr TColor clWindowFrame = clSystemColor + 6;
constexpr TColor clMenuText = clSystemColor + 7;
constexpr TColor clWindowText = clSystemColor + 8;
constexpr TColor clCaptionText = clSystemColor + 9;
constexpr TColor clActiveBorder = clSystemColor + 10;
constexpr TColor clInactiveBorder = clSystemColor + 11;
constexpr TColor clAppWorkSpace = clSystemColor + 12;
constexpr TColor clHighlight = clSystemColor + 13;
constexpr TColor clHighlightText = clSystemColor + 14;
constexpr TColor clBtnFace = clSystemColor + 15;
constexpr TColor clBtnShadow = clSystemColor + 16;
constexpr TColor clGrayText = clSystemColor + 17;
constexpr TColor clBtnText = clSystemColor + 18;
constexpr TColor clInactiveCaptionText = clSystemColor + 19;
constexpr TColor clBtnHighlight = clSystemColor + 20;
constexpr TColor cl3DDkShadow = clSystemColor + 21;
constexpr TColor cl3DLight = clSystemColor + 22;
constexpr TColor clInfoText = clSystemColor + 23;
constexpr TColor clInfoBk = clSystemColor + 24;

constexpr bool IsSystemColor(TColor color)
{
    return (color & 0xFF000000) == clSystemColor;
}

// Font styles as one byte of flags.
enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = std::uint8_t;

// The cell font as a plain value; the view turns it into a platform font.
struct TEditorFont {
    QString Family = QStringLiteral("Courier New");
    int Size = 10;   // points; used while Height is 0
    int Height = 0;  // character height in pixels; when above 0 it wins over Size
    TFontStyles Style = 0;
    TColor Color = clWindowText;

    bool operator==(const TEditorFont&) const = default;
};

// Modifier keys, with the bit values of the key map's modifier byte.
enum TShiftFlag : std::uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = std::uint8_t;

enum class TMouseButton { Left, Right, Middle };

enum TSelBlockFormat : std::uint8_t { bfInclusive = 0, bfLine = 1, bfColumn = 2, bfNonInclusive = 3 };

enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TBorderStyle : std::uint8_t { bsNone, bsSingle };

enum class TEditorPointer { Arrow, IBeam };

// Every selection field of an editor; undo records keep a copy of it.
struct TSelectionState {
    bool Selected = false;
    bool SelAnchored = false;
    TSelBlockFormat SelBlockFormat = bfNonInclusive;
    int SelBegX = 0;
    int SelBegY = 0;
    int SelEndX = 0;
    int SelEndY = 0;
    int AnchorX = 0;
    int AnchorY = 0;
    int LineModeBegX = 0;
    int LineModeEndX = 0;

    bool operator==(const TSelectionState&) const = default;
};

// The look of one column of a painted line. FrameColor clNone draws no frame.
struct TLineAttrCell {
    TColor ForeColor = clWindowText;
    TColor BackColor = clWindow;
    TFontStyles Style = 0;
    TColor FrameColor = clNone;

    bool operator==(const TLineAttrCell&) const = default;
};

// The cells of the line being painted, indexed by the 1-based column. Only the cells of the columns
// being painted exist (a window FirstCell..LastCell), so a line a million characters long costs what
// its visible part costs. Cells outside the window read as, and are written into, one spare cell
// that nothing paints: a colouring hook may address any column without checking the window.
class TLineAttrs {
public:
    // Makes the window firstCell..lastCell (an empty one when lastCell < firstCell), every cell fill.
    void Reset(int firstCell, int lastCell, const TLineAttrCell& fill)
    {
        FFirst = firstCell;
        FCells.assign(static_cast<std::size_t>(std::max(lastCell - firstCell + 1, 0)), fill);
    }
    int FirstCell() const { return FFirst; }
    int LastCell() const { return FFirst + static_cast<int>(FCells.size()) - 1; }
    bool Has(int cell) const { return cell >= FFirst && cell <= LastCell(); }

    TLineAttrCell& operator[](int cell) { return Has(cell) ? FCells[cell - FFirst] : FSpare; }
    const TLineAttrCell& operator[](int cell) const { return Has(cell) ? FCells[cell - FFirst] : FSpare; }

    // Sets the cells first..last that lie inside the window.
    void Fill(int first, int last, const TLineAttrCell& value)
    {
        first = std::max(first, FFirst);
        last = std::min(last, LastCell());
        for (int cell = first; cell <= last; ++cell)
            FCells[cell - FFirst] = value;
    }

private:
    int FFirst = 1;
    std::vector<TLineAttrCell> FCells;
    TLineAttrCell FSpare;
};

// The editor's errors: an unpaired EndUpdate ("Assertion failure…") and an item of the line store
// read outside its range ("List index out of bounds (%d)"). The view's entry points catch it.
class TEditorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The caret, selections and painting address columns 0 to this one: a line of a table a million
// characters wide can be reached to its end.
constexpr int kMaxColumn = 1048576;
