// Tests of the undo command: which records one Ctrl+Z takes back together, what each kind restores,
// Redo, the Modified flag, the closing notifications and the undo-running guard.
#include "EditorScript.h"
#include "PaneGeometry.h"
#include "EditorUndo.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct TUndoCase {
    const char* Name;
    QString Initial;
    QString Keys;
    QString AfterKeys;
    // The state after each further Ctrl+Z.
    std::vector<QString> AfterUndos;
    std::function<void(TEditorHarness&)> Setup = {};
};

TEST(EditorUndo, KeySequencesAndTheirUndoSteps)
{
    auto clipboard = [](const QString& text, int format) {
        return [=](TEditorHarness& h) {
            h.Platform.ClipboardText = text;
            h.Platform.ClipboardFormat = format;
            h.Platform.HasClipboardText = true;
        };
    };
    auto overwrite = [](TEditorHarness& h) { h.Editor.SetInsertMode(false); };
    // The query pane keeps trailing blanks: the undo gives them back, and takes away those that an
    // edit put before the caret.
    auto keep = [](TEditorHarness& h) { h.Editor.SetKeepTrailingBlanks(true); };
    auto keepAndClipboard = [=](const QString& text) {
        return [=](TEditorHarness& h) {
            keep(h);
            clipboard(text, -1)(h);
        };
    };
    const TUndoCase cases[] = {
        {"typing, Enter with indentation and more typing go as one step", "first\n  ind|", "'abc' Enter 'de'",
         "first\n  indabc\n  de|", {"first\n  ind|"}},
        {"a caret move splits typing", "|", "'abc' Left 'x'", "abx|c", {"ab|c", "abc|", "|"}},
        {"backspaces go as one step", "abc|", "Backspace*3", "|", {"abc|"}},
        {"a joining backspace", "ab\n|cd", "Backspace", "ab|cd", {"ab\n|cd"}},
        {"backspaces across a joined line", "ab\nc|d", "Backspace*3", "a|d", {"ab\nc|d"}},
        {"a paste over a selection", "a[bc]|d", "Ctrl+V", "aXY|d", {"a[bc]|d"}, clipboard("XY", -1)},
        {"a line paste", "ab\n|cd", "Ctrl+V", "ab\nL1\nL2\n|cd", {"ab\n|cd"}, clipboard("L1\r\nL2", bfLine)},
        {"a column paste appending a line", "ab\ncd\n|", "Ctrl+V", "ab\ncd\nX\n|Y", {"ab\ncd\n|"},
         clipboard("X\r\nY", bfColumn)},
        {"a column paste into lines", "a|b\ncd", "Ctrl+V", "aXb\nc|Yd", {"a|b\ncd"}, clipboard("X\r\nY", bfColumn)},
        {"shift+arrows go as one step", "|abcd", "Shift+Right*3", "[abc]|d", {"|abcd"}},
        {"a dropped selection comes back", "|abcd", "Shift+Right*2 Right", "abc|d", {"[ab]|cd", "|abcd"}},
        {"caret steps go as one step", "abc|\nd", "Left Left Down", "abc\nd|", {"abc|\nd"}},
        {"overwriting", "ab|cd", "'XYZ'", "abXYZ|", {"ab|cd"}, overwrite},
        {"deletes at one place", "ab|cdef", "Delete*3", "ab|f", {"ab|cdef"}},
        {"a joining delete past the end", "ab···|\ncd", "Delete", "ab   |cd", {"ab···|\ncd"}},
        {"tabs", "|", "Tab Tab", "···············|", {"|"}},
        {"deleting a middle line", "a\nb|c\nd", "Ctrl+Y", "a\n|d", {"a\nb|c\nd"}},
        {"emptying the last line", "a\nb|c", "Ctrl+Y", "a\n|", {"a\nb|c"}},
        {"deleting a word", "|ab cd", "Ctrl+T", "|cd", {"|ab cd"}},
        {"deleting a word left", "ab cd|", "Ctrl+Backspace", "ab |", {"ab cd|"}},
        {"typing over a selection is one step", "a[bc]|d", "'x'", "ax|d", {"a[bc]|d"}},
        {"upper case of a selection", "a[bc]|d", "Ctrl+K O", "a[BC]|d", {"a[bc]|d"}},
        {"a selection that starts past its line's end goes from the line's end", "ab···[\n0123]|45",
         "Ctrl+Delete", "ab|45", {"ab···[\n0123]|45"}},
        {"kept blanks: a pasted line ending in blanks, deleted", "|", "Ctrl+V Up Ctrl+Y",
         "select 'a\n|c'", {"select 'a\nb | \nc'", "select 'a\nb  \nc'|", "|"}, keepAndClipboard("select 'a\r\nb  \r\nc'")},
        {"kept blanks: typing past the end", "ab···|", "'x'", "ab   x|", {"ab···|"}, keep},
        {"kept blanks: typing on an empty pane past its start", "··|", "'x'", "  x|", {"··|"}, keep},
        {"kept blanks: Enter past the end stores no blanks", "ab··|", "Enter", "ab\n|", {"ab··|"}, keep},
        {"kept blanks: a joining delete past the end", "ab···|\ncd", "Delete", "ab   |cd", {"ab···|\ncd"},
         keep},
        {"kept blanks: a column paste below short lines", "a|bc\n\nd", "Ctrl+V", "aXbc\n Y\nd|Z",
         {"a|bc\n\nd"}, [=](TEditorHarness& h) {
             keep(h);
             clipboard("X\r\nY\r\nZ", bfColumn)(h);
         }},
        {"kept blanks: a column block deleted over a short line", "a|bc\n\nde", "Alt+Shift+Down*2 Delete",
         "ac\n\nd|", {"a[bc\n\nd]|e"}, keep},
    };
    for (const TUndoCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        if (c.Setup)
            c.Setup(h);
        Load(h, c.Initial);
        RunKeys(h.Editor, c.Keys);
        EXPECT_EQ(Describe(h.Editor), c.AfterKeys);
        for (std::size_t i = 0; i < c.AfterUndos.size(); ++i) {
            SCOPED_TRACE(i + 1);
            RunKeys(h.Editor, QStringLiteral("Ctrl+Z"));
            EXPECT_EQ(Describe(h.Editor), c.AfterUndos[i]);
        }
    }
}

// Typing on lines that do not exist yet: the padding lines are attached to the typing.
TEST(EditorUndo, PaddingLinesGoWithTheTyping)
{
    TEditorHarness h;
    h.Editor.SetCursorBeyondEOF(true);
    Load(h, "ab|");
    h.Editor.SetCaret(3, 2);
    h.Editor.UndoBuffer().Clear();
    RunKeys(h.Editor, "'x'");
    EXPECT_EQ(Describe(h.Editor), "ab\n\n   x|");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(h.Lines(), QStringList{"ab"});
}

TEST(EditorUndo, BackspaceRunContinuesIntoUnindents)
{
    TEditorHarness h;
    Load(h, "if\n x\n···|");
    RunKeys(h.Editor, "Backspace");
    EXPECT_EQ(Describe(h.Editor), "if\n x\n·|") << "unindented to the line above";
    RunKeys(h.Editor, "Backspace");
    EXPECT_EQ(Describe(h.Editor), "if\n x\n|") << "one blank";
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "if\n x\n···|");

    // Typing between them ends the run.
    Load(h, "if\n  x\n····|");
    RunKeys(h.Editor, "Backspace 'ab' Backspace Backspace");
    EXPECT_EQ(Describe(h.Editor), "if\n  x\n··|");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "if\n  x\n  ab|");
}

TEST(EditorUndo, BlockIndentAndUnindent)
{
    TEditorHarness h;
    Load(h, "[a\n    b\nc]|");
    h.Editor.SetSelBlockFormat(bfLine);
    RunKeys(h.Editor, "Ctrl+K U");
    EXPECT_EQ(h.Lines(), (QStringList{"a", "  b", "c"}));
    RunKeys(h.Editor, "Ctrl+K I");
    EXPECT_EQ(h.Lines(), (QStringList{"  a", "    b", "  c"}));
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(h.Lines(), (QStringList{"a", "  b", "c"}));
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(h.Lines(), (QStringList{"a", "    b", "c"}));
    EXPECT_TRUE(h.Editor.Selected());
}

TEST(EditorUndo, MouseClickIsOneStep)
{
    TEditorHarness h;
    Load(h, "abc\ndef|");
    // A click on line 0 between 'a' and 'b', then a drag to line 1.
    h.Editor.MouseDown(TMouseButton::Left, 0, CellLeftX(1, 8), 4);
    h.Editor.MouseMove(0, CellLeftX(2, 8), 20);
    h.Editor.MouseUp(TMouseButton::Left, 0, CellLeftX(2, 8), 20);
    EXPECT_EQ(Describe(h.Editor), "a[bc\nde]|f");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "abc\ndef|");
}

TEST(EditorUndo, RedoDiscardsWhatWasUndone)
{
    TEditorHarness h;
    Load(h, "|");
    RunKeys(h.Editor, "'ab' Left 'x'");
    const int records = h.Editor.UndoBuffer().Count();
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "a|b");
    h.Editor.Command(cmdRedo);
    EXPECT_LT(h.Editor.UndoBuffer().Count(), records);
    EXPECT_EQ(Describe(h.Editor), "a|b") << "redo changes nothing else";
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "ab|");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "|");
    EXPECT_FALSE(h.Editor.CanUndo());
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "|") << "nothing left to undo";
}

TEST(EditorUndo, ModifiedAndNotifications)
{
    TEditorHarness h;
    Load(h, "ab|");
    h.Editor.SetModified(false);
    RunKeys(h.Editor, "'c' Left");
    EXPECT_TRUE(h.Editor.Modified());

    h.ResetCounts();
    RunKeys(h.Editor, "Ctrl+Z");  // the caret move: no change of the text
    EXPECT_EQ(h.Changes, 0);
    EXPECT_GE(h.Statuses, 1);
    EXPECT_TRUE(h.Editor.Modified());

    h.ResetCounts();
    RunKeys(h.Editor, "Ctrl+Z");  // the typing: the text is back as it was before any change
    EXPECT_EQ(Describe(h.Editor), "ab|");
    EXPECT_FALSE(h.Editor.Modified());
    EXPECT_GE(h.Statuses, 1);
}

TEST(EditorUndo, NothingRunsWhileAnUndoRuns)
{
    TEditorHarness h;
    Load(h, "|");
    RunKeys(h.Editor, "'ab' Left 'x'");
    int nested = 0;
    h.Editor.OnChange = [&](TCustomEditorBase&) {
        ++nested;
        h.Editor.Undo();
        h.Editor.SetCaret(0, 0);
    };
    RunKeys(h.Editor, "Ctrl+Z");
    h.Editor.OnChange = nullptr;
    EXPECT_GT(nested, 0);
    EXPECT_EQ(Describe(h.Editor), "|ab") << "the handler's caret move is not recorded";
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "ab|");
}

TEST(EditorUndo, ReadOnlyEditorUndoesNothing)
{
    TEditorHarness h;
    Load(h, "ab|");
    h.Editor.SetReadOnly(true);
    h.Editor.InsertText(QStringLiteral("cd"));
    RunKeys(h.Editor, "Ctrl+Z Alt+Backspace");
    EXPECT_EQ(Describe(h.Editor), "abcd|");
    h.Editor.UndoRequest();
    EXPECT_EQ(Describe(h.Editor), "abcd|");
}

TEST(EditorUndo, CompletionReplacementIsUndone)
{
    TEditorHarness h;
    Load(h, "sel|");
    h.Editor.Completion().Identifiers = {"select", "set"};
    h.Editor.Command(cmdCompleteIdentifier);
    ASSERT_TRUE(h.Editor.CompletionOpen());
    RunKeys(h.Editor, "Enter");
    EXPECT_EQ(Describe(h.Editor), "select|");
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(Describe(h.Editor), "sel|");
}

} // namespace
