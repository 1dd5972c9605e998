// Tests of the key map at work: key strokes and chords through the editor's entry points, movement,
// selection formats, scrolling, bookmarks, macros, the read-only pane, the mouse and the wheel.
#include "EditorScript.h"
#include "PaneGeometry.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

QStringList NumberedLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("line %1").arg(i);
    return lines;
}

TEST(EditorCommand, MovementAndSelection)
{
    RunScriptCases({
        {"left stops at column 0", "|abc", "Left", "|abc"},
        {"right goes past the end", "ab|", "Right*3", "ab···|"},
        {"up keeps the column past the end", "ab\nabcdef|", "Up", "ab····|\nabcdef"},
        {"down keeps the column past the end", "abcdef|\nab\nxyz", "Down", "abcdef\nab····|\nxyz"},
        {"down on the last line", "a\nb|", "Down", "a\nb|"},
        {"up on line 0", "a|b\nc", "Up", "a|b\nc"},
        {"home and end", "  ab|cd", "Home", "|  abcd"},
        {"end past the text", "ab\ncd|", "End", "ab\ncd|"},
        {"ctrl+home", "ab\nc|d", "Ctrl+Home", "|ab\ncd"},
        {"ctrl+end", "|ab\ncd", "Ctrl+End", "ab\ncd|"},
        {"ctrl+q chords move too", "ab\nc|d", "Ctrl+Q R Ctrl+Q Ctrl+D", "ab|\ncd"},
        {"word right within a line", "|ab, cd", "Ctrl+Right", "ab, |cd"},
        {"word right at the end of a line goes to the next line's first word", "ab|\n  (cd", "Ctrl+Right",
         "ab\n  (|cd"},
        {"word right at the end of the text", "ab c|d", "Ctrl+Right*2", "ab cd|"},
        {"word left within a line", "ab, cd|", "Ctrl+Left", "ab, |cd"},
        {"word left twice", "ab, cd|", "Ctrl+Left*2", "|ab, cd"},
        {"word left from column 0 goes to the end of the line above", "a\nb\ncc\n|dd", "Ctrl+Left",
         "a\nb\ncc|\ndd"},
        {"word left to column 0 of a line starting with a letter stays", "x\nabcde|", "Ctrl+Left", "x\n|abcde"},
        {"word left to column 0 of a line starting with blanks goes up", "x\n  ab|", "Ctrl+Left*2", "x|\n  ab"},
        {"word left past the end of a line goes to its end", "ab····|", "Ctrl+Left", "ab|"},
        {"shift+right selects", "|abcd", "Shift+Right*2", "[ab]|cd"},
        {"shift+left shrinks", "|abcd", "Shift+Right*3 Shift+Left", "[ab]|cd"},
        {"a selection to the left", "abc|d", "Shift+Left*2", "a|[bc]d"},
        {"shift+down and up", "a|bc\ndef", "Shift+Down", "a[bc\nd]|ef"},
        {"selecting down past the text stops at the last line", "a|bc\ndef", "Shift+Down*3", "a[bc\nd]|ef"},
        {"a plain key drops the selection", "|abcd", "Shift+Right*2 Left", "a|bcd"},
        {"shift+end and shift+home", "ab|cd", "Shift+End", "ab[cd]|"},
        {"ctrl+shift+home", "ab\nc|d", "Ctrl+Shift+Home", "|[ab\nc]d"},
        {"ctrl+shift+right selects a word", "|ab cd", "Ctrl+Shift+Right", "[ab ]|cd"},
        {"ctrl+shift+left", "ab cd|", "Ctrl+Shift+Left", "ab |[cd]"},
        {"ctrl+k t selects the word at the caret", "ab c|de f", "Ctrl+K T", "ab [cde]| f"},
        {"ctrl+k ctrl+t does the same", "ab c|de f", "Ctrl+K Ctrl+T", "ab [cde]| f"},
        {"ctrl+k t at a word's end", "abc| d", "Ctrl+K T", "[abc]| d"},
        {"ctrl+k then an unknown key is swallowed", "ab|", "Ctrl+K X", "ab|"},
        {"ctrl+k then an unknown key, then typing works again", "ab|", "Ctrl+K X 'y'", "aby|"},
        {"shift+backspace is backspace", "abc|", "Shift+Backspace", "ab|"},
        {"ctrl+n is enter", "ab|cd", "Ctrl+N", "ab\n|cd"},
        {"alt+backspace undoes", "ab|", "'c' Alt+Backspace", "ab|"},
        {"enter with ctrl types nothing", "ab|", "Ctrl+Enter", "ab|"},
        {"the window's keys run nothing", "a|b\ncd", "Ctrl+Shift+Up Ctrl+Shift+Down Alt+Left Alt+Right Ctrl+Tab",
         "a|b\ncd"},
        {"insert toggles overwrite", "|abc", "Insert 'xy' Insert 'z'", "xyz|c"},
    });
}

TEST(EditorCommand, ColumnBlocksByKeyboard)
{
    TEditorHarness h;
    Load(h, "abcde|fgh\nabcdefgh");
    RunKeys(h.Editor, "Alt+Shift+Right Alt+Shift+Down");
    EXPECT_EQ(Describe(h.Editor), "abcde[fgh\nabcdef]|gh");
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfColumn);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("fg\r\nfg")) << "columns 5 and 6 of both lines";
    RunKeys(h.Editor, "Right");
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfColumn) << "the format stays";

    // A column block from right to left has its columns in order.
    Load(h, "abcd|e\nabcde");
    RunKeys(h.Editor, "Alt+Shift+Left*2 Alt+Shift+Down");
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("cde\r\ncde")) << "the anchor's column is in the block";
}

TEST(EditorCommand, SelectAllKeepsTheCaretAndTheStatus)
{
    TEditorHarness h;
    Load(h, "ab\nc|d");
    RunKeys(h.Editor, "Ctrl+A");
    EXPECT_EQ(h.Statuses, 0);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("ab\r\ncd"));
    EXPECT_EQ(h.Caret(), QPoint(1, 1));

    Load(h, "|");
    RunKeys(h.Editor, "Ctrl+A");
    EXPECT_FALSE(h.Editor.Selected());
}

TEST(EditorCommand, SelectionFormats)
{
    TEditorHarness h;
    Load(h, "a|bc\ndef\nghi");
    RunKeys(h.Editor, "Shift+Down");
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("bc\r\nd"));

    h.ResetCounts();
    RunKeys(h.Editor, "Ctrl+O I");
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfInclusive);
    EXPECT_EQ(h.Statuses, 1);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("bc\r\nde"));

    RunKeys(h.Editor, "Ctrl+O Ctrl+L");
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfLine);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("abc\r\ndef"));

    RunKeys(h.Editor, "Ctrl+O C");
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfColumn);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("b\r\ne")) << "the real columns came back";

    RunKeys(h.Editor, "Ctrl+O K");
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfNonInclusive);
    const int statuses = h.Statuses;
    RunKeys(h.Editor, "Ctrl+O K");
    EXPECT_EQ(h.Statuses, statuses) << "the same format again changes nothing";

    // Extending in line mode selects whole lines.
    Load(h, "a|bc\ndef\nghi");
    RunKeys(h.Editor, "Ctrl+O L Shift+Down");
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("abc\r\ndef"));
}

TEST(EditorCommand, PagesScrollingAndWindowEdges)
{
    // The fake window shows 12 rows.
    TEditorHarness h(NumberedLines(40));
    ASSERT_EQ(h.Editor.VisibleRows(), 12);
    h.Editor.SetCaret(2, 5);

    RunKeys(h.Editor, "PageDown");
    EXPECT_EQ(h.Editor.TopRow(), 12);
    EXPECT_EQ(h.Caret(), QPoint(2, 17));
    RunKeys(h.Editor, "PageDown*3");
    EXPECT_EQ(h.Editor.TopRow(), 39) << "the scroll bar's range keeps the last line on screen";
    EXPECT_EQ(h.Caret(), QPoint(2, 39));
    RunKeys(h.Editor, "PageUp");
    EXPECT_EQ(h.Editor.TopRow(), 27);
    EXPECT_EQ(h.Caret(), QPoint(2, 27));

    RunKeys(h.Editor, "Ctrl+PageDown");
    EXPECT_EQ(h.Caret(), QPoint(2, 38));
    RunKeys(h.Editor, "Ctrl+PageUp");
    EXPECT_EQ(h.Caret(), QPoint(2, 27));
    RunKeys(h.Editor, "Ctrl+Q U");
    EXPECT_EQ(h.Caret(), QPoint(2, 38));

    RunKeys(h.Editor, "Ctrl+Down");
    EXPECT_EQ(h.Editor.TopRow(), 28);
    EXPECT_EQ(h.Caret(), QPoint(2, 38));
    RunKeys(h.Editor, "Ctrl+Up*20");
    EXPECT_EQ(h.Editor.TopRow(), 8);
    EXPECT_EQ(h.Caret(), QPoint(2, 19)) << "the caret is kept on screen";

    RunKeys(h.Editor, "Shift+PageDown");
    EXPECT_TRUE(h.Editor.Selected());
    EXPECT_EQ(h.Editor.SelBegY(), 19);
    EXPECT_EQ(h.Editor.SelEndY(), 31);
    EXPECT_EQ(h.Caret(), QPoint(2, 31));
}

TEST(EditorCommand, Bookmarks)
{
    TEditorHarness h(NumberedLines(60));
    h.Editor.SetCaret(3, 4);
    RunKeys(h.Editor, "Ctrl+Shift+3");
    EXPECT_TRUE(h.Editor.Bookmark(3).Valid);
    EXPECT_EQ(h.Editor.Bookmark(3).X, 3);
    EXPECT_EQ(h.Editor.Bookmark(3).Y, 4);

    h.Editor.SetCaret(1, 50);
    RunKeys(h.Editor, "Ctrl+3");
    EXPECT_EQ(h.Caret(), QPoint(3, 4));
    EXPECT_EQ(h.Editor.TopRow(), 0) << "centred, but not above the text";

    RunKeys(h.Editor, "End Ctrl+Shift+3");
    EXPECT_FALSE(h.Editor.Bookmark(3).Valid) << "the same key on the same line clears it";
    h.Editor.SetCaret(0, 30);
    RunKeys(h.Editor, "Ctrl+3");
    EXPECT_EQ(h.Caret(), QPoint(0, 30)) << "an invalid bookmark does nothing";

    RunKeys(h.Editor, "Ctrl+K 7");
    h.Editor.SetCaret(0, 0);
    RunKeys(h.Editor, "Ctrl+Q Ctrl+7");
    EXPECT_EQ(h.Caret(), QPoint(0, 30));
    EXPECT_EQ(h.Editor.TopRow(), 24);

    RunKeys(h.Editor, "Down Ctrl+K 7");
    EXPECT_TRUE(h.Editor.Bookmark(7).Valid) << "another line moves the bookmark";
    EXPECT_EQ(h.Editor.Bookmark(7).Y, 31);
}

TEST(EditorCommand, MacrosRecordCommandsAndCharacters)
{
    TEditorHarness h;
    Load(h, "|");
    RunKeys(h.Editor, "Ctrl+Shift+R");
    EXPECT_TRUE(h.Editor.Recording());
    RunKeys(h.Editor, "'ab' Home");
    TypeText(h.Editor, QStringLiteral("жё"));
    RunKeys(h.Editor, "End Ctrl+Shift+R");
    EXPECT_FALSE(h.Editor.Recording());
    EXPECT_EQ(Describe(h.Editor), "жёab|");
    EXPECT_EQ(h.Editor.Macro().size(), 6u);

    RunKeys(h.Editor, "Ctrl+Shift+P");
    EXPECT_EQ(Describe(h.Editor), "жёжёabab|");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "жёab|") << "a played macro is undone in one step";

    // Playing while recording records what was played, so the new macro never plays itself.
    RunKeys(h.Editor, "Ctrl+Shift+R 'x' Ctrl+Shift+P Ctrl+Shift+R");
    EXPECT_EQ(h.Editor.Macro().size(), 7u);
    Load(h, "|");
    RunKeys(h.Editor, "Ctrl+Shift+P");
    EXPECT_EQ(Describe(h.Editor), "жёxab|");
}

TEST(EditorCommand, RecordingNotifiesTheStatus)
{
    TEditorHarness h;
    Load(h, "|");
    RunKeys(h.Editor, "Ctrl+Shift+R");
    EXPECT_EQ(h.Statuses, 1);
    RunKeys(h.Editor, "Ctrl+Shift+R");
    EXPECT_EQ(h.Statuses, 2);
}

// The transcript pane: nothing the user does changes its text.
TEST(EditorCommand, ReadOnlyPane)
{
    auto readOnly = [](TEditorHarness& h) { h.Editor.SetReadOnly(true); };
    RunScriptCases({
        {"characters are dropped", "ab|", "'xy'", "ab|", readOnly},
        {"enter moves to the next line's first non-blank", "abcdef|\n   xy\nz", "Enter", "abcdef\n   |xy\nz",
         readOnly},
        {"enter keeps a smaller column", "a|bc\n   xy", "Enter", "abc\n |  xy", readOnly},
        {"enter on the last line", "ab\nc|d", "Enter", "ab\nc|d", readOnly},
        {"tab moves to the next stop", "|ab", "Tab", "ab·····|", readOnly},
        {"shift+tab moves back", "ab············|", "Shift+Tab", "ab·····|", readOnly},
        {"ctrl+backspace only moves a word left", "ab cd|", "Ctrl+Backspace", "ab |cd", readOnly},
        {"deleting keys do nothing", "a|bc\nd",
         "Backspace Delete Ctrl+Y Ctrl+T Ctrl+Delete Shift+Delete Ctrl+X Ctrl+V Shift+Insert", "a|bc\nd",
         readOnly},
        {"selections and block commands", "|abc", "Shift+Right*2 Ctrl+K I Ctrl+K U Ctrl+K O Ctrl+O U Ctrl+K N",
         "[ab]|c", readOnly},
        {"undo, completion", "|abc", "Ctrl+Z Ctrl+Space Ctrl+J", "|abc", readOnly},
        {"movement works", "|abc\nd", "Down End Ctrl+Home Ctrl+Right", "abc|\nd", readOnly},
    });

    TEditorHarness h;
    h.Editor.SetReadOnly(true);
    Load(h, "a|bc");
    h.Platform.ClipboardText.clear();
    RunKeys(h.Editor, "Shift+Right Ctrl+C");
    EXPECT_EQ(h.Platform.ClipboardText, QStringLiteral("b")) << "copying works";
    RunKeys(h.Editor, "Ctrl+Shift+R Right Ctrl+Shift+R Ctrl+Shift+P Insert");
    EXPECT_FALSE(h.Editor.InsertMode()) << "macros and the insert toggle work";
    EXPECT_EQ(h.Caret(), QPoint(4, 0));
    EXPECT_FALSE(h.Editor.CompletionOpen());
}

TEST(EditorCommand, CommandsWithoutMeaningDoNothing)
{
    TEditorHarness h;
    Load(h, "ab|c");
    for (int code : {0, 1, 256, 300, 385, 4100, 65534, 70000, -5})
        h.Editor.Command(code);
    EXPECT_EQ(Describe(h.Editor), "ab|c");
    EXPECT_FALSE(h.Editor.CanUndo());
}

TEST(EditorCommand, PostedCommandsAndEditRequests)
{
    TEditorHarness h;
    Load(h, "ab\ncd|");
    h.Editor.CopyRequest();
    h.Editor.CutRequest();
    h.Editor.PasteRequest();
    EXPECT_EQ(h.Platform.Posted, (std::vector<int>{cmdCopy, cmdCut, cmdPaste}));
    h.Editor.SetReadOnly(true);
    h.Platform.Posted.clear();
    h.Editor.CopyRequest();
    h.Editor.CutRequest();
    h.Editor.PasteRequest();
    EXPECT_EQ(h.Platform.Posted, (std::vector<int>{cmdCopy}));
    h.Editor.SetReadOnly(false);

    h.Editor.SetSelectionRange(0, -1);
    int start = -1;
    int end = -1;
    h.Editor.GetSelectionRange(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 6);
    EXPECT_EQ(h.Editor.TextLength(), 8);
    EXPECT_EQ(h.Editor.Text(), QStringLiteral("ab\r\ncd\r\n"));

    h.Editor.SetSelectionRange(1, 3);
    h.Editor.GetSelectionRange(start, end);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(end, 4);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("b\r\n"));
    h.Editor.ClearRequest();
    EXPECT_EQ(h.Lines(), QStringList{"acd"});
    EXPECT_TRUE(h.Editor.CanUndo());
    h.Editor.UndoRequest();
    EXPECT_EQ(h.Lines(), (QStringList{"ab", "cd"}));
}

// ---- The mouse; in the fake window a cell is 8 by 16 pixels and column 0 starts at x = 28.

int XOf(double column)
{
    return kFirstCellX - 1 + static_cast<int>(column * 8);
}

int YOf(int row)
{
    return row * 16 + 4;
}

TEST(EditorMouse, ClicksDragsAndShiftClicks)
{
    TEditorHarness h;
    Load(h, "abcdef\nghijkl\nmnopqr|");
    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(2), YOf(0));
    EXPECT_EQ(Describe(h.Editor), "ab|cdef\nghijkl\nmnopqr");
    EXPECT_TRUE(h.Platform.Focused);
    h.Editor.MouseMove(0, XOf(4.4), YOf(1));
    EXPECT_EQ(Describe(h.Editor), "ab[cdef\nghij]|kl\nmnopqr");
    h.Editor.MouseUp(TMouseButton::Left, 0, XOf(4.4), YOf(1));
    EXPECT_FALSE(h.Editor.MouseSelecting());

    h.Editor.MouseDown(TMouseButton::Left, ssShift, XOf(1), YOf(2));
    h.Editor.MouseUp(TMouseButton::Left, ssShift, XOf(1), YOf(2));
    EXPECT_EQ(Describe(h.Editor), "ab[cdef\nghijkl\nm]|nopqr") << "shift extends from the old anchor";

    h.Editor.MouseDown(TMouseButton::Right, 0, XOf(5), YOf(0));
    EXPECT_EQ(Describe(h.Editor), "ab[cde|f\nghijkl\nm]nopqr") << "a right click only moves the caret";
    h.Editor.MouseUp(TMouseButton::Right, 0, XOf(5), YOf(0));

    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(3), YOf(5));
    EXPECT_EQ(Describe(h.Editor), "abcdef\nghijkl\nmno|pqr") << "a click below the text picks the last line";
    h.Editor.MouseUp(TMouseButton::Left, 0, XOf(3), YOf(5));
}

TEST(EditorMouse, AltDragSelectsAColumnBlock)
{
    TEditorHarness h;
    Load(h, "abcdef\nghijkl|");
    h.Editor.MouseDown(TMouseButton::Left, ssAlt, XOf(1), YOf(0));
    h.Editor.MouseMove(ssAlt, XOf(3), YOf(1));
    h.Editor.MouseUp(TMouseButton::Left, ssAlt, XOf(3), YOf(1));
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfColumn);
    EXPECT_EQ(h.Editor.SelectedText(), QStringLiteral("bcd\r\nhij"));

    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(1), YOf(0));
    h.Editor.MouseUp(TMouseButton::Left, 0, XOf(1), YOf(0));
    EXPECT_EQ(h.Editor.SelBlockFormat(), bfNonInclusive) << "a plain click goes back to streams";
}

TEST(EditorMouse, DoubleClicks)
{
    TEditorHarness h;
    Load(h, "select  abc, d|ef");
    int doubleClicks = 0;
    h.Editor.OnDblClick = [&](TCustomEditorBase&) { ++doubleClicks; };
    // The view reports a double click, then the press that came with it.
    auto doubleClick = [&](int x, int y) {
        h.Editor.MouseDown(TMouseButton::Left, 0, x, y);
        h.Editor.MouseUp(TMouseButton::Left, 0, x, y);
        h.Editor.DoubleClick(0, x, y);
        h.Editor.MouseDown(TMouseButton::Left, 0, x, y);
        h.Editor.MouseUp(TMouseButton::Left, 0, x, y);
    };
    doubleClick(XOf(9), YOf(0));
    EXPECT_EQ(Describe(h.Editor), "select  [abc]|, def");
    EXPECT_EQ(doubleClicks, 1);

    doubleClick(XOf(7), YOf(0));
    EXPECT_EQ(Describe(h.Editor), "select  [abc]|, def") << "blanks: the next word";
    doubleClick(XOf(30), YOf(0));
    EXPECT_EQ(Describe(h.Editor), "select  abc, [def]|") << "past the text: the last word";

    Load(h, "ab\ncd|\nef");
    h.Editor.SetDoubleClickLine(true);
    doubleClick(XOf(1), YOf(1));
    EXPECT_EQ(Describe(h.Editor), "ab\n[cd\n]|ef");
    doubleClick(XOf(1), YOf(2));
    EXPECT_EQ(Describe(h.Editor), "ab\ncd\n[ef]|");

    // The press after a double click is ignored; the one after that is a click again.
    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(0), YOf(0));
    EXPECT_EQ(h.Caret(), QPoint(0, 0));
}

// What the mouse selects becomes the X primary selection; a middle click pastes it where it clicks,
// beside the selection rather than over it, as one undo step; a read-only pane takes no paste.
TEST(EditorMouse, PrimarySelection)
{
    TEditorHarness h;
    Load(h, "select abc\nfrom t|");
    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(7), YOf(0));
    h.Editor.MouseMove(0, XOf(10), YOf(0));
    h.Editor.MouseUp(TMouseButton::Left, 0, XOf(10), YOf(0));
    EXPECT_EQ(h.Platform.Primary(), "abc") << "a drag";
    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(2), YOf(1));
    h.Editor.MouseUp(TMouseButton::Left, 0, XOf(2), YOf(1));
    EXPECT_EQ(h.Platform.Primary(), "") << "a click that selects nothing leaves nothing to serve";
    // The view reports a double click, then the press that came with it.
    h.Editor.DoubleClick(0, XOf(1), YOf(1));
    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(1), YOf(1));
    h.Editor.MouseUp(TMouseButton::Left, 0, XOf(1), YOf(1));
    EXPECT_EQ(h.Platform.Primary(), "from") << "a double click";
    EXPECT_TRUE(h.Platform.ClipboardText.isEmpty()) << "the clipboard is not touched";

    h.Editor.MouseDown(TMouseButton::Middle, 0, XOf(6), YOf(1));
    h.Editor.MouseUp(TMouseButton::Middle, 0, XOf(6), YOf(1));
    EXPECT_EQ(Describe(h.Editor), "select abc\nfrom tfrom|");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "select abc\n[from]| t");

    h.Editor.SetReadOnly(true);
    h.Editor.MouseDown(TMouseButton::Middle, 0, XOf(0), YOf(0));
    EXPECT_EQ(h.Lines(), (QStringList{"select abc", "from t"}));
}

// The primary selection is the copy's bytes (a lone surrogate as U+FFFD), built when asked for: from what is selected then,
// nothing once the selection is gone, and nothing (not a dangling editor) once the editor is gone.
TEST(EditorMouse, PrimarySelectionIsServedWhenAskedFor)
{
    auto h = std::make_unique<TEditorHarness>(
        QStringList{QStringLiteral("ж1"), QStringLiteral("lone ") + QChar(0xD83D) + QStringLiteral("!"), QStringLiteral("x\U0001F600y")});
    h->Editor.MouseDown(TMouseButton::Left, 0, XOf(1), YOf(0));
    h->Editor.MouseMove(0, XOf(3), YOf(2));
    h->Editor.MouseUp(TMouseButton::Left, 0, XOf(3), YOf(2));
    EXPECT_EQ(h->Platform.PrimaryBytes(), QByteArray("1\r\nlone \xEF\xBF\xBD!\r\nx\xF0\x9F\x98\x80"));
    RunKeys(h->Editor, "Ctrl+C");
    EXPECT_EQ(h->Platform.PrimaryBytes(), h->Platform.ClipboardBytes) << "the same bytes as a copy";

    h->Editor.SetSelection(2, 1, 2, 1);
    EXPECT_EQ(h->Platform.PrimaryBytes(), QByteArray("ne \xEF\xBF\xBD!\r\nx")) << "what is selected when it is asked for";
    h->Editor.Unselect();
    EXPECT_TRUE(h->Platform.PrimaryBytes().isEmpty()) << "the selection is gone";

    h->Editor.MouseDown(TMouseButton::Left, 0, XOf(0), YOf(0));
    h->Editor.MouseUp(TMouseButton::Left, 0, XOf(0), YOf(0));
    h->Editor.DoubleClick(0, XOf(0), YOf(0));
    const TEditorPlatform::TPrimaryProvider offer = h->Platform.PrimaryProvider;
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer(), std::optional<QByteArray>("\xD0\xB6" "1"));
    h.reset();
    EXPECT_EQ(offer(), std::nullopt) << "the editor is gone";
}

TEST(EditorMouse, GutterEventsAndPointer)
{
    TEditorHarness h;
    Load(h, "a\nb\nc|");
    std::vector<int> clicks;
    std::vector<int> doubleClicks;
    h.Editor.OnGutterClick = [&](TCustomEditorBase&, int line) { clicks.push_back(line); };
    h.Editor.OnGutterDblClick = [&](TCustomEditorBase&, int line) { doubleClicks.push_back(line); };
    h.Editor.MouseDown(TMouseButton::Left, 0, 10, YOf(1));
    h.Editor.MouseUp(TMouseButton::Left, 0, 10, YOf(1));
    h.Editor.DoubleClick(0, 10, YOf(2));
    EXPECT_EQ(clicks, std::vector<int>{1});
    EXPECT_EQ(doubleClicks, std::vector<int>{2});
    EXPECT_FALSE(h.Editor.Selected()) << "a gutter double click selects nothing";

    h.Editor.MouseMove(0, 10, 5);
    EXPECT_EQ(h.Platform.Pointer, TEditorPointer::Arrow);
    h.Editor.MouseMove(0, 60, 5);
    EXPECT_EQ(h.Platform.Pointer, TEditorPointer::IBeam);
}

TEST(EditorMouse, AutoScrollWhileDraggingOutside)
{
    TEditorHarness h(NumberedLines(100));
    h.Editor.MouseDown(TMouseButton::Left, 0, XOf(2), YOf(3));
    EXPECT_TRUE(h.Platform.Timers.empty());
    h.Editor.MouseMove(0, XOf(2), 200 + 5);
    ASSERT_EQ(h.Platform.Timers.count(kAutoScrollTimer), 1u);
    EXPECT_EQ(h.Platform.Timers[kAutoScrollTimer], 100);

    const int before = h.Editor.CaretY();
    h.Editor.TimerFired(kAutoScrollTimer);
    EXPECT_EQ(h.Editor.CaretY(), before + 1) << "just below: one line a tick";
    h.Editor.MouseMove(0, XOf(2), 200 + 25);
    h.Editor.TimerFired(kAutoScrollTimer);
    EXPECT_EQ(h.Editor.CaretY(), before + 1 + 12) << "far below: a page a tick";
    EXPECT_GT(h.Editor.TopRow(), 0);
    EXPECT_EQ(h.Editor.SelBegY(), 3);
    EXPECT_EQ(h.Editor.SelEndY(), before + 13);
    for (int tick = 0; tick < 4; ++tick)
        h.Editor.TimerFired(kAutoScrollTimer);
    EXPECT_EQ(h.Editor.CaretY(), before + 13 + 48);

    // Above the window the selection first follows to the top row, then the ticks scroll up.
    h.Editor.MouseMove(0, XOf(2), -5);
    EXPECT_EQ(h.Editor.CaretY(), h.Editor.TopRow());
    const int above = h.Editor.CaretY();
    h.Editor.TimerFired(kAutoScrollTimer);
    EXPECT_EQ(h.Editor.CaretY(), above - 1);
    h.Editor.MouseMove(0, XOf(2), -30);
    h.Editor.TimerFired(kAutoScrollTimer);
    EXPECT_EQ(h.Editor.CaretY(), above - 1 - 12);

    h.Editor.MouseMove(0, XOf(2), 50);
    EXPECT_TRUE(h.Platform.Timers.empty()) << "inside again: the timer stops";
    h.Editor.MouseMove(0, XOf(2), -5);
    h.Editor.MouseUp(TMouseButton::Left, 0, XOf(2), -5);
    EXPECT_TRUE(h.Platform.Timers.empty());
}

TEST(EditorMouse, Wheel)
{
    TEditorHarness h(NumberedLines(50));
    h.Editor.SetCaret(1, 2);
    EXPECT_TRUE(h.Editor.MouseWheel(0, -120));
    EXPECT_EQ(h.Editor.TopRow(), 3) << "three lines a notch";
    EXPECT_EQ(h.Caret(), QPoint(1, 2)) << "the caret stays";
    h.Editor.MouseWheel(0, 120);
    EXPECT_EQ(h.Editor.TopRow(), 0);

    h.Editor.MouseWheel(ssShift, -120);
    EXPECT_EQ(h.Caret(), QPoint(1, 3));
    h.Editor.MouseWheel(ssShift, 120);
    EXPECT_EQ(h.Caret(), QPoint(1, 2));

    h.Editor.MouseWheel(ssCtrl, -120);
    EXPECT_EQ(h.Editor.TopRow(), 12);
    EXPECT_EQ(h.Caret(), QPoint(1, 14));
}

} // namespace
