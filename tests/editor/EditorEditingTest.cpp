// Tests of the commands that change the text: typing, Enter with auto-indent, Backspace and Delete,
// tabs and smart tabs, block indent, case conversion, the clipboard and completion, through the fake
// window (whose clipboard is a plain record).
#include "EditorScript.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <functional>

namespace {

const QString kEmoji = QStringLiteral("\U0001F600");

void Overwrite(TEditorHarness& h)
{
    h.Editor.SetInsertMode(false);
}

TEST(EditorEditing, TypingAndEnter)
{
    auto noAutoIndent = [](TEditorHarness& h) { h.Editor.SetAutoIndent(false); };
    RunScriptCases({
        {"typing inserts", "a|d", "'bc'", "abc|d"},
        {"typing past the end pads with blanks", "abc···|", "'x'", "abc   x|"},
        {"typing replaces the selection", "a[bc]|d", "'x'", "ax|d"},
        {"overwriting replaces, then appends", "a|bc", "'XYZ'", "aXYZ|", Overwrite},
        {"control characters are ignored", "a|b", "Escape", "a|b"},
        {"Cyrillic", "|", "'привет'", "привет|"},
        {"enter splits the line", "ab|cd", "Enter", "ab\n|cd"},
        {"enter keeps the indentation of the line", "x\n  abc|", "Enter", "x\n  abc\n··|"},
        {"enter in the middle of an indented line", "x\n  ab|cd", "Enter", "x\n  ab\n  |cd"},
        {"enter on line 0 does not indent", "  abc|", "Enter", "  abc\n|"},
        {"enter after an unindented line", "x\nabc|", "Enter", "x\nabc\n|"},
        {"enter on a blank line looks further up", "x\n  y\n····|", "Enter", "x\n  y\n\n··|"},
        {"enter without auto-indent", "x\n  abc|", "Enter", "x\n  abc\n|", noAutoIndent},
        {"enter replaces the selection", "a[bc]|d", "Enter", "a\n|d"},
        {"enter on an empty text", "|", "Enter", "\n|"},
        {"enter in overwrite mode on the last line appends a line", "ab|cd", "Enter", "abcd\n··|", Overwrite},
        {"enter in overwrite mode goes to the next line's text", "abcd|e\n  xy", "Enter", "abcde\n  |xy",
         Overwrite},
    });
}

TEST(EditorEditing, BackspaceAndDelete)
{
    auto noUnindent = [](TEditorHarness& h) { h.Editor.SetBackSpaceUnindents(false); };
    RunScriptCases({
        {"backspace removes a character", "abc|d", "Backspace", "ab|d"},
        {"backspace unindents to the line above", "a\n  b\n····|", "Backspace", "a\n  b\n··|"},
        {"backspace unindents to column 0 next", "a\n  b\n··|", "Backspace", "a\n  b\n|"},
        {"backspace inside the indentation of text", "a\n  b\n    |c", "Backspace", "a\n  b\n  |c"},
        {"backspace without unindenting", "a\n  b\n····|", "Backspace", "a\n  b\n···|", noUnindent},
        {"backspace after text on the line", "a\n  b\nxy··|", "Backspace", "a\n  b\nxy·|"},
        {"backspace at column 0 joins", "a\nbc\n|de", "Backspace", "a\nbc|de"},
        {"backspace at the start of the text", "|ab", "Backspace", "|ab"},
        {"backspace removes the selection", "a[bc]|d", "Backspace", "a|d"},
        {"backspace at column 0 removes the selection", "[ab]cd\n|e", "Backspace", "|cd\ne"},
        {"delete removes a character", "a|bcd", "Delete*2", "a|d"},
        {"delete at the end joins", "ab|\ncd", "Delete", "ab|cd"},
        {"delete past the end joins after blanks", "ab···|\ncd", "Delete", "ab   |cd"},
        {"delete at the end of the text", "ab\ncd|", "Delete", "ab\ncd|"},
        {"delete removes the selection", "a[bc]|d", "Delete", "a|d"},
        {"ctrl+delete removes the selection", "a[bc]|d", "Ctrl+Delete", "a|d"},
        {"ctrl+delete without a selection", "a|bcd", "Ctrl+Delete", "a|bcd"},
        {"ctrl+y deletes the line", "ab\nc|d\nef", "Ctrl+Y", "ab\n|ef"},
        {"ctrl+y empties the last line", "ab\nc|d", "Ctrl+Y", "ab\n|"},
        {"ctrl+y on the only empty line", "|", "Ctrl+Y", "|"},
        {"ctrl+t deletes to the next word", "ab |cd, ef", "Ctrl+T", "ab |ef"},
        {"ctrl+t at the end of a line joins the next line's first word", "ab|\n  cd", "Ctrl+T", "ab|cd"},
        {"ctrl+backspace deletes the word left", "ab cd|", "Ctrl+Backspace", "ab |"},
        {"ctrl+backspace at column 0", "ab\n|cd", "Ctrl+Backspace", "ab\n|cd"},
    });
}

TEST(EditorEditing, DeleteWordKeepsTheSelectionFormat)
{
    TEditorHarness h;
    Load(h, "ab|\ncd ef\ngh");
    h.Editor.SetSelBlockFormat(bfLine);
    RunKeys(h.Editor, "Ctrl+T");
    EXPECT_EQ(Describe(h.Editor), "ab|cd ef\ngh") << "only the line break goes, not whole lines";
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfLine);
}

TEST(EditorEditing, SurrogatePairsAreNeverSplit)
{
    TEditorHarness h;
    Load(h, "a" + kEmoji + "b|");
    RunKeys(h.Editor, "Left Left");
    EXPECT_EQ(h.Caret(), QPoint(1, 0)) << "one step over the pair";
    RunKeys(h.Editor, "Right");
    EXPECT_EQ(h.Caret(), QPoint(3, 0));
    RunKeys(h.Editor, "Backspace");
    EXPECT_EQ(Describe(h.Editor), "a|b");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "a" + kEmoji + "|b");

    Load(h, "a|" + kEmoji + "b");
    RunKeys(h.Editor, "Delete");
    EXPECT_EQ(Describe(h.Editor), "a|b");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "a|" + kEmoji + "b");

    // A caret between the halves counts as after the pair.
    Load(h, "a" + kEmoji + "b");
    h.Editor.SetCaret(2, 0);
    RunKeys(h.Editor, "'x'");
    EXPECT_EQ(h.Lines(), QStringList{"a" + kEmoji + "xb"});
    h.Editor.SetCaret(2, 0);
    RunKeys(h.Editor, "Backspace");
    EXPECT_EQ(h.Lines(), QStringList{"axb"});

    Load(h, "a|b");
    TypeText(h.Editor, kEmoji);
    EXPECT_EQ(Describe(h.Editor), "a" + kEmoji + "|b");
    h.Editor.SetInsertMode(false);
    RunKeys(h.Editor, "Left Left 'x'");
    EXPECT_EQ(Describe(h.Editor), "x|" + kEmoji + "b");
    RunKeys(h.Editor, "'y'");
    EXPECT_EQ(Describe(h.Editor), "xy|b") << "overwriting replaces the whole pair";
}

// A selection edge between the two halves of a pair (a mouse press on its second cell, a column block
// whose side runs through it) stands after the pair: the highlighted cells are the ones Ctrl+C copies
// and Delete removes, and the pair is drawn in one run with both halves.
TEST(EditorEditing, ASelectionEdgeInsideAPairPaintsCopiesAndDeletesTheSameCells)
{
    const QString line = "a" + kEmoji + "bcd";  // the pair takes columns 1 and 2
    struct TCase {
        const char* Name;
        std::function<void(TEditorHarness&)> Select;
        const char* Painted[2];  // columns 0..5 of each line: 's' highlighted
        QString Copied;
        QStringList AfterDelete;
    };
    // Cells are 8 pixels wide from x = 28; a press in the middle of a cell picks it.
    const auto drag = [](int fromColumn, int toColumn, TShiftState shift) {
        return [=](TEditorHarness& h) {
            h.Editor.MouseDown(TMouseButton::Left, shift, 28 + 8 * fromColumn + 1, 4);
            h.Editor.MouseMove(shift, 28 + 8 * toColumn + 1, 4 + 16 * (shift != 0 ? 1 : 0));
            h.Editor.MouseUp(TMouseButton::Left, shift, 28 + 8 * toColumn + 1, 4);
        };
    };
    const TCase cases[] = {
        {"a mouse selection from the pair's second cell", drag(2, 5, 0), {"...ss.", "......"}, "bc",
         {"a" + kEmoji + "d", "xyzuvw"}},
        {"a mouse selection back to the pair's second cell", drag(5, 2, 0), {"...ss.", "......"}, "bc",
         {"a" + kEmoji + "d", "xyzuvw"}},
        {"a column block whose right side runs through the pair", drag(0, 1, ssAlt), {"sss...", "ss...."},
         "a" + kEmoji + "\r\nxy", {"bcd", "zuvw"}},
        {"a column block whose left side runs through the pair", drag(2, 3, ssAlt), {"...s..", "..ss.."},
         "b\r\nzu", {"a" + kEmoji + "cd", "xyvw"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h({line, "xyzuvw"});
        c.Select(h);
        ASSERT_TRUE(h.Editor.Selected());

        TRecordingCanvas canvas;
        h.Editor.Paint(canvas, QRect(0, 0, 400, 200));
        for (int row = 0; row < 2; ++row) {
            QString painted;
            for (int column = 0; column < 6; ++column) {
                const TRecordingCanvas::TCells* cells = canvas.CellsAt(28 + 8 * column + 1, 16 * row + 8);
                ASSERT_NE(cells, nullptr);
                painted += cells->Back == clHighlight ? u's' : u'.';
            }
            EXPECT_EQ(painted, c.Painted[row]) << "line " << row;
        }
        for (const TRecordingCanvas::TCells& cells : canvas.Cells) {
            EXPECT_FALSE(cells.Text.endsWith(kEmoji[0])) << "a run ends in the first half";
            EXPECT_FALSE(cells.Text.startsWith(kEmoji[1])) << "a run starts with the second half";
        }

        RunKeys(h.Editor, "Ctrl+C");
        EXPECT_EQ(h.Platform.ClipboardText, c.Copied);
        RunKeys(h.Editor, "Delete");
        EXPECT_EQ(h.Lines(), c.AfterDelete);
    }
}

TEST(EditorEditing, Tabs)
{
    auto noSmartTab = [](TEditorHarness& h) { h.Editor.SetSmartTab(false); };
    RunScriptCases({
        {"tab at column 0 inserts 7 blanks", "|ab", "Tab", "       |ab"},
        {"tab at column 7 inserts 8", "       |ab", "Tab", "               |ab"},
        {"tab at column 20 goes to 23", "xxxxxxxxxxxxxxxxxxxx|y", "Tab", "xxxxxxxxxxxxxxxxxxxx   |y"},
        {"shift+tab goes back and inserts nothing", "xxxxxxxxxxxxxxxxxxxx|y", "Shift+Tab",
         "xxxxxxxxxxxxxxx|xxxxxy"},
        {"smart tabs from the line above", "select a, bcd\n|x", "Tab", "select a, bcd\n       |x"},
        {"smart tabs go on to the end of the line above", "select a, bcd\n|x", "Tab Tab Tab",
         "select a, bcd\n             |x"},
        {"smart tabs then the tab stops", "select a, bcd\n|x", "Tab*4", "select a, bcd\n               |x"},
        {"smart tabs look past empty lines", "a  bc\n\n|x", "Tab", "a  bc\n\n   |x"},
        {"lines further up add only stops past the nearer ones", "x    y\nab\n|z", "Tab Tab",
         "x    y\nab\n     |z"},
        {"without smart tabs", "select a, bcd\n|x", "Tab", "select a, bcd\n       |x", noSmartTab},
        {"without smart tabs, from column 7", "select a, bcd\n       |x", "Tab",
         "select a, bcd\n               |x", noSmartTab},
        {"tab replaces a selection up to the stop after the caret", "ab[cd]|ef", "Tab", "ab     |ef"},
        {"tab in overwrite mode only moves", "|abcdefghij", "Tab", "abcdefg|hij", Overwrite},
    });
}

TEST(EditorEditing, BlockIndent)
{
    TEditorHarness h;
    Load(h, "a[b\n  cd\ne]|f\ng");
    RunKeys(h.Editor, "Ctrl+K I");
    EXPECT_EQ(Describe(h.Editor), "  a[b\n    cd\n  e]|f\ng") << "the selection and caret move with the text";
    RunKeys(h.Editor, "Ctrl+Shift+U Ctrl+Shift+U");
    EXPECT_EQ(Describe(h.Editor), "a[b\ncd\ne]|f\ng");

    // A selection that ends at column 0 leaves its last line alone; blank lines stay empty.
    Load(h, "[a\n\nb\n]|c");
    RunKeys(h.Editor, "Ctrl+Shift+I");
    EXPECT_EQ(h.Lines(), (QStringList{"  a", "", "  b", "c"}));

    // A column block indents at its own column.
    Load(h, "abcd\nabcd\nabcd|");
    h.Editor.SetSelBlockFormat(bfColumn);
    h.Editor.SetSelection(2, 0, 1, 2);
    RunKeys(h.Editor, "Ctrl+K I");
    EXPECT_EQ(h.Lines(), (QStringList{"ab  cd", "ab  cd", "abcd"}));
    RunKeys(h.Editor, "Ctrl+K U Ctrl+K U");
    EXPECT_EQ(h.Lines(), (QStringList{"abcd", "abcd", "abcd"}));

    // Without a selection nothing happens.
    Load(h, "a|b");
    RunKeys(h.Editor, "Ctrl+K I");
    EXPECT_EQ(Describe(h.Editor), "a|b");
    EXPECT_FALSE(h.Editor.CanUndo());
}

TEST(EditorEditing, CaseConversion)
{
    RunScriptCases({
        {"upper case", "a[bc d]|e", "Ctrl+K O", "a[BC D]|e"},
        {"lower case", "[ABC]|", "Ctrl+K N", "[abc]|"},
        {"toggle case", "[aBc]|", "Ctrl+O U", "[AbC]|"},
        {"Cyrillic", "[Привет мир]|", "Ctrl+O U", "[пРИВЕТ МИР]|"},
        {"Cyrillic upper case", "[ёж]|", "Ctrl+K O", "[ЁЖ]|"},
        {"across lines", "a[b\nc]|d", "Ctrl+K O", "a[B\nC]|d"},
        {"without a selection the text stays", "a|bc", "Ctrl+K O", "a|bc"},
    });

    TEditorHarness h;
    Load(h, "a|bc");
    h.Editor.Lines().Add(QStringLiteral("x  "));
    h.Editor.SetCaret(1, 1);
    h.ResetCounts();
    RunKeys(h.Editor, "Ctrl+K O");
    EXPECT_EQ(h.Lines(), (QStringList{"abc", "x"})) << "the caret's line is rewritten";
    EXPECT_GT(h.Changes, 0);
    EXPECT_TRUE(h.Editor.CanUndo());

    Load(h, "abc\nabc|");
    h.Editor.SetSelBlockFormat(bfColumn);
    h.Editor.SetSelection(1, 0, 1, 1);
    RunKeys(h.Editor, "Ctrl+K O");
    EXPECT_EQ(h.Lines(), (QStringList{"aBc", "aBc"})) << "a column block stays a column block";
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("B\r\nB"));
}

namespace {

// The selected text as the editor has always cut it, line by line, for comparison.
QString SelectedTextLineByLine(const TCustomEditor& editor)
{
    const TSelectionState& s = editor.Selection();
    const auto snap = [](const QString& text, int column) { return IsPairAt(text, column) ? column + 1 : column; };
    QStringList parts;
    for (int line = s.SelBegY; line <= s.SelEndY; ++line) {
        QString text;
        editor.GetLineText(line, text);
        const int size = static_cast<int>(text.size());
        int from = 0;
        int to = size;
        if (s.SelBlockFormat == bfColumn) {
            from = snap(text, std::min(s.SelBegX, size));
            to = snap(text, std::clamp(s.SelEndX + 1, from, size));
        } else {
            const int end = s.SelBlockFormat == bfInclusive ? s.SelEndX + 1 : s.SelEndX;
            if (line == s.SelBegY)
                from = snap(text, std::min(s.SelBegX, size));
            if (line == s.SelEndY)
                to = snap(text, std::clamp(end, from, size));
        }
        parts << text.mid(from, to - from);
    }
    return parts.join(QStringLiteral("\r\n"));
}

// Text as it leaves the program: UTF-8, with each lone half of a pair as U+FFFD.
QByteArray Outgoing(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    return text.toUtf8();
}

} // namespace

TEST(EditorEditing, CopyOfALargeSelectionIsByteIdenticalToTheLines)
{
    const QString pair = QStringLiteral("\U0001F600");
    const QStringList kinds = {
        QStringLiteral("-- | %1 | plain ascii |"),
        QStringLiteral("-- | %1 | кириллица |"),
        QString(),
        QStringLiteral("%1 ") + pair + QStringLiteral(" x ") + pair + pair,
        QStringLiteral("lone %1 ") + QChar(0xD83D),  // other programs get U+FFFD for it
    };
    QStringList lines;
    for (int i = 0; i < 60000; ++i)
        lines << (kinds[i % kinds.size()].contains(QStringLiteral("%1")) ? kinds[i % kinds.size()].arg(i)
                                                                          : kinds[i % kinds.size()]);
    struct TCase {
        const char* Name;
        TSelBlockFormat Format;
        int BegX, BegY, EndY, EndX;
    };
    const TCase cases[] = {
        {"everything", bfNonInclusive, 0, 0, 59999, 1000},
        {"from inside a pair to inside a pair", bfNonInclusive, 7, 3, 50003, 8},
        {"inclusive", bfInclusive, 3, 1, 40001, 5},
        {"lines", bfLine, 2, 10, 30010, 0},
        {"a column through pairs", bfColumn, 6, 2, 45002, 9},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        h.Editor.Lines().Assign(lines);
        h.Editor.SetSelBlockFormat(c.Format);
        h.Editor.SetSelection(c.BegX, c.BegY, c.EndY, c.EndX);
        const QString expected = SelectedTextLineByLine(h.Editor);
        EXPECT_EQ(h.Editor.SelectedText(), expected) << "the text itself, lone halves and all";
        h.Editor.CopySelection();
        EXPECT_EQ(h.Platform.ClipboardBytes, Outgoing(expected)) << "UTF-8, each lone half as U+FFFD";
        EXPECT_EQ(h.Platform.ClipboardFormat, c.Format);
    }
}

TEST(EditorEditing, SelectedTextPerFormat)
{
    struct TCase {
        const char* Name;
        TSelBlockFormat Format;
        QString Text;
    };
    const TCase cases[] = {
        {"stream", bfNonInclusive, "cdef\r\ngh"},
        {"inclusive", bfInclusive, "cdef\r\nghi"},
        {"lines", bfLine, "abcdef\r\nghijkl"},
        {"column", bfColumn, "c\r\ni"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        Load(h, "ab[cdef\ngh]|ijkl\nmnop");
        h.Editor.SetSelBlockFormat(c.Format);
        EXPECT_EQ(h.Editor.SelectedText(), c.Text);
        RunKeys(h.Editor, "Ctrl+C");
        EXPECT_EQ(h.Platform.ClipboardText, c.Text);
        EXPECT_EQ(h.Platform.ClipboardFormat, c.Format);
    }

    // Past the end of the lines a stream stops at the line's end and a column keeps what exists.
    TEditorHarness h;
    Load(h, "ab\nabcdef|");
    h.Editor.SetSelBlockFormat(bfColumn);
    h.Editor.SetSelection(1, 0, 1, 4);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("b\r\nbcde"));
}

TEST(EditorEditing, DeletingPerFormat)
{
    struct TCase {
        const char* Name;
        TSelBlockFormat Format;
        QStringList Lines;
        QPoint Caret;
    };
    const TCase cases[] = {
        {"stream", bfNonInclusive, {"a", "b", "cef", "mn"}, {1, 2}},
        {"inclusive", bfInclusive, {"a", "b", "cf", "mn"}, {1, 2}},
        {"lines leave one empty line", bfLine, {"a", "b", "", "mn"}, {0, 2}},
        {"column", bfColumn, {"a", "b", "c", "3", "d", "mn"}, {1, 4}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        Load(h, "a\nb\nc[12\n345\nd]|ef\nmn");
        if (c.Format == bfColumn) {
            h.Editor.SetSelBlockFormat(bfColumn);
            h.Editor.SetSelection(1, 2, 4, 3);
            h.Editor.SetCaret(1, 4);
            h.Editor.UndoBuffer().Clear();
        } else {
            h.Editor.SetSelBlockFormat(c.Format);
        }
        RunKeys(h.Editor, "Ctrl+Delete");
        EXPECT_EQ(h.Lines(), c.Lines);
        EXPECT_EQ(h.Caret(), c.Caret);
        EXPECT_FALSE(h.Editor.Selected());
        RunKeys(h.Editor, "Ctrl+Z");
        EXPECT_EQ(h.Lines(), (QStringList{"a", "b", "c12", "345", "def", "mn"}));
        EXPECT_TRUE(h.Editor.Selected());
    }
}

TEST(EditorEditing, StaleSelectionBeepsAndActsEmpty)
{
    TEditorHarness h;
    // Clearing the store itself (not ClearLines, which drops the selection) leaves the selection
    // pointing at lines that are gone.
    Load(h, "abc\nd[ef\ngh]|i");
    h.Editor.Lines().Clear();
    EXPECT_TRUE(h.Editor.Selected());
    EXPECT_EQ(h.Editor.SelectedText(), QString());
    EXPECT_EQ(h.Platform.Beeps, 1);
    RunKeys(h.Editor, "'x'");
    EXPECT_EQ(h.Lines(), QStringList{"  x"}) << "typed at the caret's column, which ClearLines kept";
    EXPECT_EQ(h.Platform.Beeps, 2);

    h.Editor.SetBeepOnError(false);
    Load(h, "abc\nd[ef\ngh]|i");
    h.Editor.Lines().Clear();
    RunKeys(h.Editor, "Ctrl+C");
    EXPECT_EQ(h.Platform.Beeps, 2);
    EXPECT_EQ(h.Platform.ClipboardText, QString());
}

TEST(EditorEditing, PasteAndCut)
{
    auto clipboard = [](const QString& text, int format) {
        return [=](TEditorHarness& h) {
            h.Platform.ClipboardText = text;
            h.Platform.ClipboardFormat = format;
            h.Platform.HasClipboardText = true;
        };
    };
    RunScriptCases({
        {"a stream", "a|b", "Ctrl+V", "axy\nz|b", clipboard("xy\r\nz", bfNonInclusive)},
        {"text from another program", "a|b", "Shift+Insert", "axy\nz\nw|b", clipboard("xy\nz\rw", -1)},
        {"tabs are expanded", "|b", "Ctrl+V", "x       |b", clipboard("x\t", -1)},
        {"lines go above the caret's line", "ab|c\nd", "Ctrl+V", "xy\n|abc\nd", clipboard("xy", bfLine)},
        {"an empty line block is one line", "ab|c", "Ctrl+V", "\n|abc", clipboard("", bfLine)},
        {"a column block", "ab|cd\nefgh", "Ctrl+V", "abXcd\nef|Ygh", clipboard("X\r\nY", bfColumn)},
        {"a column block past the ends of lines", "ab\nc\nabcd|", "Up Up Ctrl+V", "ab  X\nc   |Y\nabcd",
         clipboard("X\r\nY", bfColumn)},
        {"over a selection", "a[bc]|d", "Ctrl+V", "axy|d", clipboard("xy", -1)},
        {"past the end of a line", "ab\ncd··|", "Ctrl+V", "ab\ncd  xy|", clipboard("xy", -1)},
        {"nothing on the clipboard", "a|b", "Ctrl+V", "a|b"},
        {"cut", "a[bc]|d", "Ctrl+X", "a|d"},
        {"cut with shift+delete", "a[bc]|d", "Shift+Delete", "a|d"},
    });

    TEditorHarness h;
    Load(h, "a[bc]|d");
    RunKeys(h.Editor, "Ctrl+X");
    EXPECT_EQ(h.Platform.ClipboardText, QStringLiteral("bc"));
    RunKeys(h.Editor, "End Ctrl+V");
    EXPECT_EQ(Describe(h.Editor), "adbc|");
    EXPECT_FALSE(h.Editor.Selected()) << "the pasted text is not selected";
}

TEST(EditorEditing, PasteTakesTheClipboardsFormat)
{
    TEditorHarness h;
    Load(h, "abc\ndef\nghi|");
    h.Editor.SetSelBlockFormat(bfColumn);
    h.Editor.SetSelection(0, 0, 1, 1);
    RunKeys(h.Editor, "Ctrl+C Ctrl+End Right Ctrl+V");
    EXPECT_EQ(h.Lines(), (QStringList{"abc", "def", "ghi ab", "    de"}));
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfColumn);

    // Text from another program has no block byte: streams again.
    h.Platform.ClipboardText = QStringLiteral("x");
    h.Platform.ClipboardFormat = -1;
    RunKeys(h.Editor, "Ctrl+V");
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfNonInclusive);
}

TEST(EditorEditing, CompletionIsOffInThePanes)
{
    TEditorHarness h;
    Load(h, "sel|");
    RunKeys(h.Editor, "Ctrl+Space Ctrl+J 'x' Space");
    EXPECT_FALSE(h.Platform.CompletionVisible);
    EXPECT_TRUE(h.Platform.Timers.empty());
    EXPECT_EQ(Describe(h.Editor), "selx·|");
}

TEST(EditorEditing, CompletionInIdentifierMode)
{
    TEditorHarness h;
    Load(h, "x = s|");
    h.Editor.Completion().Identifiers = {"alpha", "select", "set", "show"};
    RunKeys(h.Editor, "Ctrl+Space");
    ASSERT_TRUE(h.Platform.CompletionVisible);
    EXPECT_EQ(h.Platform.CompletionCurrent, 1) << "the first entry matching the word";
    RunKeys(h.Editor, "'h'");
    EXPECT_EQ(h.Platform.CompletionCurrent, 3) << "typing re-selects";
    RunKeys(h.Editor, "Backspace");
    EXPECT_EQ(h.Platform.CompletionCurrent, 1);
    RunKeys(h.Editor, "Down Down PageUp End Up");
    EXPECT_EQ(h.Platform.CompletionCurrent, 2);
    EXPECT_EQ(Describe(h.Editor), "x = s|") << "list keys do not move the caret";
    RunKeys(h.Editor, "Enter");
    EXPECT_FALSE(h.Platform.CompletionVisible);
    EXPECT_EQ(Describe(h.Editor), "x = set|");

    // Another character applies the entry first and is then typed.
    RunKeys(h.Editor, "Space 'a' Ctrl+Space");
    ASSERT_TRUE(h.Platform.CompletionVisible);
    RunKeys(h.Editor, "','");
    EXPECT_EQ(Describe(h.Editor), "x = set alpha,|");

    // Escape and a click close without applying.
    RunKeys(h.Editor, "Ctrl+Space Escape");
    EXPECT_FALSE(h.Platform.CompletionVisible);
    RunKeys(h.Editor, "Ctrl+Space");
    h.Editor.MouseDown(TMouseButton::Left, 0, 60, 4);
    EXPECT_FALSE(h.Platform.CompletionVisible);
    EXPECT_EQ(h.Lines(), QStringList{"x = set alpha,"});
}

TEST(EditorEditing, CompletionEventsCancelAndRewrite)
{
    TEditorHarness h;
    Load(h, "s|");
    h.Editor.Completion().Identifiers = {"select"};
    bool cancel = true;
    h.Editor.Completion().OnCompletionIdentifier = [&](TCustomEditorBase&, bool& value) { value = cancel; };
    RunKeys(h.Editor, "Ctrl+Space");
    EXPECT_FALSE(h.Platform.CompletionVisible);
    cancel = false;
    h.Editor.Completion().OnCompletionApply = [](TCustomEditorBase&, const QString& old, QString& text) {
        text = old + ":" + text.toUpper();
    };
    RunKeys(h.Editor, "Ctrl+Space Enter");
    EXPECT_EQ(Describe(h.Editor), "s:SELECT|");
}

// An owner that gives the entries (the console's names) is asked again on every character: the list
// follows typing, "_" and letters beyond ASCII go on with the word, Tab takes the entry like Enter,
// and a word that nothing fits closes the list without touching the text.
TEST(EditorEditing, CompletionListGivenByItsOwnerFollowsTyping)
{
    TEditorHarness h;
    Load(h, "x = |");
    const QStringList names = {"order_items", "orders", "остаток", "other"};
    int asked = 0;
    h.Editor.Completion().OnCompletionIdentifier = [&](TCustomEditorBase&, bool&) {
        ++asked;
        QString line;
        h.Editor.GetLineText(0, line);
        const QString word = line.mid(4, h.Editor.CaretX() - 4);
        h.Editor.Completion().Identifiers = names.filter(QRegularExpression("^" + QRegularExpression::escape(word)));
    };
    RunKeys(h.Editor, "Ctrl+Space 'o' 'r' 'd' 'e' 'r' '_'");
    ASSERT_TRUE(h.Platform.CompletionVisible);
    EXPECT_EQ(asked, 7);
    EXPECT_EQ(h.Platform.CompletionItems, QStringList{"order_items"});
    RunKeys(h.Editor, "Tab");
    EXPECT_FALSE(h.Platform.CompletionVisible);
    EXPECT_EQ(Describe(h.Editor), "x = order_items|");

    Load(h, "x = |");
    RunKeys(h.Editor, "Ctrl+Space");
    h.Editor.TypeCharacter(U'о');
    EXPECT_EQ(h.Platform.CompletionItems, QStringList{"остаток"});
    RunKeys(h.Editor, "Backspace 'q'");
    EXPECT_FALSE(h.Platform.CompletionVisible) << "nothing fits";
    EXPECT_EQ(Describe(h.Editor), "x = q|");
}

TEST(EditorEditing, CompletionInTemplateMode)
{
    TEditorHarness h;
    Load(h, "  be|");
    h.Editor.Completion().Templates = {"case=case |/nend", "begin=begin/n  |/nend"};
    RunKeys(h.Editor, "Ctrl+J");
    ASSERT_TRUE(h.Platform.CompletionVisible);
    EXPECT_EQ(h.Platform.CompletionCurrent, 0) << "only the templates matching the word are listed";
    RunKeys(h.Editor, "Enter");
    EXPECT_EQ(Describe(h.Editor), "  begin\n    |\n  end");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "  be|");

    // No matching name: all templates; none at all: nothing opens.
    Load(h, "zz|");
    RunKeys(h.Editor, "Ctrl+J");
    EXPECT_TRUE(h.Platform.CompletionVisible);
    RunKeys(h.Editor, "Escape");
    h.Editor.Completion().Templates.clear();
    RunKeys(h.Editor, "Ctrl+J");
    EXPECT_FALSE(h.Platform.CompletionVisible);
}

TEST(EditorEditing, CompletionTimer)
{
    TEditorHarness h;
    Load(h, "|");
    h.Editor.Completion().Enabled = true;
    h.Editor.Completion().Identifiers = {"from"};
    RunKeys(h.Editor, "'a'");
    EXPECT_TRUE(h.Platform.Timers.empty()) << "letters do not start it";
    RunKeys(h.Editor, "Space");
    ASSERT_EQ(h.Platform.Timers.count(kCompletionTimer), 1u);
    EXPECT_EQ(h.Platform.Timers[kCompletionTimer], 800);
    RunKeys(h.Editor, "Left");
    EXPECT_TRUE(h.Platform.Timers.empty()) << "a key stops it";
    RunKeys(h.Editor, "End Space");
    h.Editor.TimerFired(kCompletionTimer);
    EXPECT_TRUE(h.Platform.CompletionVisible);
    EXPECT_TRUE(h.Platform.Timers.empty());
    RunKeys(h.Editor, "Enter");
    EXPECT_EQ(Describe(h.Editor), "a from|") << "after a blank the word at the caret is empty";

    h.Editor.SetReadOnly(true);
    h.Editor.TimerFired(kCompletionTimer);
    EXPECT_FALSE(h.Platform.CompletionVisible) << "never on a read-only editor";
}

} // namespace

namespace {

// Every way an edit reaches the text raises OnChange once, once the edit is whole (its caret
// placed), however many store changes it is made of: the change raises it, no command by hand.
TEST(EditorEditing, EachEditNotifiesOnceWhenItIsWhole)
{
    struct TCase {
        const char* Name;
        QString Initial;
        std::function<void(TEditorHarness&)> Edit;
        int Changes = 1;
        std::function<void(TEditorHarness&)> Before = {};
    };
    const auto keys = [](const QString& script) { return [=](TEditorHarness& h) { RunKeys(h.Editor, script); }; };
    const auto clipboard = [](const QString& text, int format) {
        return [=](TEditorHarness& h) {
            h.Platform.ClipboardText = text;
            h.Platform.ClipboardFormat = format;
            h.Platform.HasClipboardText = true;
        };
    };
    const TCase cases[] = {
        {"typing", "a|b", keys("'x'")},
        {"typing past the end of the line", "ab··|", keys("'x'")},
        {"typing over a selection", "a[bc]|d", keys("'x'")},
        {"overwriting", "a|bc", keys("'x'"), 1, [](TEditorHarness& h) { h.Editor.SetInsertMode(false); }},
        {"Enter", "ab|cd", keys("Enter")},
        {"Enter over a selection past the end", "a[bc]\nd··|", keys("Enter")},
        {"Backspace", "ab|", keys("Backspace")},
        {"Backspace joining lines", "a\n|b", keys("Backspace")},
        {"Delete", "a|b", keys("Delete")},
        {"Delete joining lines past the end", "a··|\nb", keys("Delete")},
        {"deleting the selected block", "a[b\nc]|d", keys("Delete")},
        {"deleting a line", "a|b\nc", keys("Ctrl+Y")},
        {"Tab", "|ab", keys("Tab")},
        {"paste", "a|b", keys("Ctrl+V"), 1, clipboard("x\r\ny", bfNonInclusive)},
        {"paste over a selection", "[ab]|c", keys("Ctrl+V"), 1, clipboard("x\r\ny", bfNonInclusive)},
        {"paste of lines", "a|b", keys("Ctrl+V"), 1, clipboard("x\r\ny", bfLine)},
        {"paste of a column block past the last line", "ab|", keys("Ctrl+V"), 1, clipboard("x\r\ny", bfColumn)},
        {"cut", "a[bc]|d", keys("Ctrl+X")},
        {"upper case", "a[bc\nd]|e", keys("Ctrl+K O")},
        {"block indent", "[ab\ncd]|", keys("Ctrl+K I")},
        {"block unindent", "[  ab\n  cd]|", keys("Ctrl+K U")},
        {"undo of typing", "a|b", keys("Ctrl+Z"), 1, keys("'xy'")},
        {"undo of a compound edit", "a[bc]|d", keys("Ctrl+Z"), 1, keys("'x'")},
        {"InsertText", "a|b", [](TEditorHarness& h) { h.Editor.InsertText(QStringLiteral("x\r\ny")); }},
        {"Lines().SetText", "a|b", [](TEditorHarness& h) { h.Editor.Lines().SetText(QStringLiteral("x\r\ny")); }},
        {"Lines().Put", "a|b", [](TEditorHarness& h) { h.Editor.Lines().Put(0, QStringLiteral("x  ")); }},
        {"Lines() in an update",
         "a|b",
         [](TEditorHarness& h) {
             h.Editor.Lines().BeginUpdate();
             h.Editor.Lines().Put(0, QStringLiteral("x"));
             h.Editor.Lines().Add(QStringLiteral("y"));
             h.Editor.Lines().EndUpdate();
         }},
        // A batch defers painting, not the notifications of what changes inside it.
        {"edits in a batch",
         "a|b",
         [](TEditorHarness& h) {
             TUpdateBatch batch(h.Editor);
             h.Editor.InsertText(QStringLiteral("x"));
             h.Editor.InsertText(QStringLiteral("y"));
         },
         2},
        {"InsertText into an empty store, whose first line is a change of its own", "|",
         [](TEditorHarness& h) { h.Editor.InsertText(QStringLiteral("x")); }, 2,
         [](TEditorHarness& h) { h.Editor.ClearLines(); }},
        {"edits in a compound group",
         "a|b",
         [](TEditorHarness& h) {
             h.Editor.Command(cmdBeginCompound);
             h.Editor.InsertText(QStringLiteral("x"));
             RunKeys(h.Editor, "Backspace Enter");
             h.Editor.Command(cmdEndCompound);
         }},
        {"a caret move", "a|b", keys("Right Shift+Left"), 0},
        {"redo", "a|b", [](TEditorHarness& h) { h.Editor.Redo(); }, 0, keys("'x' Ctrl+Z")},
        {"block indent without a selection", "a|b", keys("Ctrl+K I"), 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        Load(h, c.Initial);
        if (c.Before)
            c.Before(h);
        h.Editor.SetModified(false);
        QStringList seen;
        h.Editor.OnChange = [&](TCustomEditorBase&) { seen << Describe(h.Editor); };
        c.Edit(h);
        EXPECT_EQ(seen.size(), c.Changes) << Describe(h.Editor).toStdString();
        if (c.Changes > 0 && seen.size() == c.Changes) {
            EXPECT_EQ(seen.back(), Describe(h.Editor)) << "notified before the edit was whole";
            // An undo gives the flag back as it was; every other edit sets it.
            if (!QString::fromUtf8(c.Name).startsWith(u"undo")) {
                EXPECT_TRUE(h.Editor.Modified());
            }
        }
    }
}

} // namespace
