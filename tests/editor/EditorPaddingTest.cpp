// The query pane keeps trailing blanks, so a blank the editor puts in only because the caret stood
// past the end of a line would reach the server: no command may leave one behind, padding the editor
// needs (a column block, typing past the end) goes with its change on undo, every undo step lands on a
// text the pane held, and undoing everything gives back the text as it was.
#include "EditorScript.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

struct TPaddingCase {
    const char* Name;
    QString Initial;
    std::function<void(TEditorHarness&)> Act;
    QString Expected;
};

// The texts the pane held in the case being run.
std::set<QStringList> Held;

// Runs keys one by one, noting the text after each.
std::function<void(TEditorHarness&)> Keys(const QString& keys)
{
    return [keys](TEditorHarness& h) {
        for (const QString& key : keys.split(u' ')) {
            RunKeys(h.Editor, key);
            Held.insert(h.Lines());
        }
    };
}

// Pastes a text in a block format (-1: a stream).
std::function<void(TEditorHarness&)> Paste(const QString& text, int format)
{
    return [=](TEditorHarness& h) {
        h.Platform.ClipboardText = text;
        h.Platform.ClipboardFormat = format;
        h.Platform.HasClipboardText = true;
        RunKeys(h.Editor, "Ctrl+V");
    };
}

std::function<void(TEditorHarness&)> Then(std::function<void(TEditorHarness&)> first,
    std::function<void(TEditorHarness&)> second)
{
    return [=](TEditorHarness& h) {
        first(h);
        second(h);
    };
}

std::function<void(TEditorHarness&)> SelectColumns(int begX, int begY, int endX, int endY)
{
    return [=](TEditorHarness& h) {
        h.Editor.SetSelBlockFormat(bfColumn);
        h.Editor.Select(bfColumn, begX, begY, endX, endY);
        h.Editor.SetCaret(endX, endY);
    };
}

// Undoes one step at a time: each step must give a text the pane held during the case, and the last
// one the text it started with.
void UndoEverything(TEditorHarness& h, const std::set<QStringList>& held, const QStringList& original)
{
    int steps = 0;
    while (h.Editor.CanUndo() && steps < 1000) {
        h.Editor.Undo();
        ++steps;
        EXPECT_TRUE(held.contains(h.Lines())) << "undo step " << steps << " gave " << Describe(h.Editor).toStdString();
    }
    EXPECT_EQ(h.Lines(), original) << "after undoing everything";
}

TEST(EditorPadding, NoCommandStoresTheBlanksUpToACaretPastTheEnd)
{
    const std::vector<TPaddingCase> cases = {
        {"enter past the end keeps no blanks", "first line\nx··········|\n')", Keys("Enter 'y'"),
         "first line\nx\ny|\n')"},
        {"enter past the end of an indented line indents the caret, not the line", "x\n  ab·····|",
         Keys("Enter"), "x\n  ab\n··|"},
        {"typing after that indentation stores it", "x\n  ab·····|", Keys("Enter 'z'"), "x\n  ab\n  z|"},
        {"enter twice leaves an empty line, not an indented one", "x\n  ab|", Keys("Enter Enter"),
         "x\n  ab\n\n··|"},
        {"enter in an indented line still moves its tail", "x\n  ab|cd", Keys("Enter"), "x\n  ab\n  |cd"},
        {"enter keeps blanks that were typed", "ab|", Keys("Space Space Enter"), "ab  \n|"},
        {"a line paste past the end goes above the line", "abc·····|", Paste("X", bfLine), "X\n|abc"},
        {"a stream paste over a selection with the caret past the end", "a[bc]def····|", Paste("X", -1),
         "aX|def"},
        {"typing over the same selection", "a[bc]def····|", Keys("'X'"), "aX|def"},
        {"backspace past the end only moves the caret", "ab·····|\ncd", Keys("Backspace"), "ab····|\ncd"},
        {"backspace past the end, then typing", "ab·····|\ncd", Keys("Backspace 'x'"), "ab    x|\ncd"},
        {"a stream paste past the end pads like typing", "ab···|", Paste("X", -1), "ab   X|"},
    };
    for (const TPaddingCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        h.Editor.SetKeepTrailingBlanks(true);
        Load(h, c.Initial);
        const QStringList original = h.Lines();
        Held = {original};
        c.Act(h);
        Held.insert(h.Lines());
        EXPECT_EQ(Describe(h.Editor), c.Expected);
        UndoEverything(h, Held, original);
    }
}

TEST(EditorPadding, PaddingTheEditorNeedsGoesWithItsChange)
{
    const std::vector<TPaddingCase> cases = {
        {"a paste over a column block right of a short line", "ab\ncdefghijkl|", Then(SelectColumns(5, 0, 7, 1),
            Paste("X", -1)), "ab   X|\ncdefgkl"},
        {"a column paste right of short lines", "ab\ncdefghijkl\n|x", Then(Keys("Ctrl+Home"),
            Then([](TEditorHarness& h) { h.Editor.SetCaret(6, 0); }, Paste("1\r\n2\r\n3", bfColumn))),
         "ab    1\ncdefgh2ijkl\nx     3"},
        {"typing past the end", "ab···|", Keys("'x'"), "ab   x|"},
        {"a tab past the end", "ab···|", Keys("Tab"), "ab     |"},
        {"delete past the end joins after blanks", "ab···|\ncd", Keys("Delete"), "ab   |cd"},
        {"typing past the end of an inner line", "ab\ncd·····|\nef", Keys("'x'"), "ab\ncd     x|\nef"},
    };
    for (const TPaddingCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        h.Editor.SetKeepTrailingBlanks(true);
        Load(h, c.Initial);
        const QStringList original = h.Lines();
        Held = {original};
        c.Act(h);
        Held.insert(h.Lines());
        EXPECT_EQ(Describe(h.Editor).remove(u'|'), QString(c.Expected).remove(u'|'));
        UndoEverything(h, Held, original);
    }
}

TEST(EditorPadding, EachUndoStepLandsOnATextThePaneHeld)
{
    TEditorHarness h;
    h.Editor.SetKeepTrailingBlanks(true);
    Load(h, "select 1   \nfrom t··|\n  where x  ");
    const QStringList original = h.Lines();
    std::set<QStringList> held = {original};
    const QStringList steps = {"'a'", "Enter", "End", "Down", "'b'", "Space", "Enter", "Up", "End", "Right*3",
                               "Enter", "Backspace", "Delete", "'c'", "Ctrl+Y", "Tab", "Shift+Tab", "Ctrl+K O"};
    for (const QString& step : steps) {
        RunKeys(h.Editor, step);
        held.insert(h.Lines());
    }
    UndoEverything(h, held, original);
}

TEST(EditorPadding, NoCommandLeavesANegativeSelectionColumn)
{
    // An inclusive selection that ends on an empty line, its case changed, then made a column block.
    for (const char* command : {"Ctrl+K O", "Ctrl+K N", "Ctrl+O U"}) {
        SCOPED_TRACE(command);
        TEditorHarness h;
        Load(h, "ab\n|");
        h.Editor.SetSelBlockFormat(bfInclusive);
        h.Editor.Select(bfInclusive, 0, 0, 0, 1);
        RunKeys(h.Editor, command);
        EXPECT_TRUE(h.Editor.Selected());
        EXPECT_GE(h.Editor.SelBegX(), 0);
        EXPECT_GE(h.Editor.SelEndX(), 0);
        RunKeys(h.Editor, "Ctrl+O C");
        EXPECT_GE(h.Editor.SelBegX(), 0);
        EXPECT_GE(h.Editor.SelEndX(), 0);
    }
}

TEST(EditorPadding, ALineBreakInsideAnItemMakesTwoLines)
{
    // The store never holds a line break inside a line, whichever way an item comes in: a break that
    // the commands would treat as one could not survive an edit and its undo.
    TEditorHarness h;
    h.Editor.Lines().Assign({"a\rb", "c\nd", "e\r\nf"});
    EXPECT_EQ(h.Lines(), QStringList({"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(h.Editor.Lines().Add("g\rh"), 6);
    h.Editor.Lines().Insert(0, "i\rj");
    h.Editor.Lines().Put(2, "k\rl");
    EXPECT_EQ(h.Lines(), QStringList({"i", "j", "k", "l", "b", "c", "d", "e", "f", "g", "h"}));
    h.Editor.Lines().SetLineListText(QStringLiteral("\"m\rn\",o"));
    EXPECT_EQ(h.Lines(), QStringList({"m", "n", "o"}));

    const QStringList original = h.Lines();
    Load(h, "m\nn\n|o");
    RunKeys(h.Editor, "Ctrl+A Delete");
    h.Editor.Undo();
    EXPECT_EQ(h.Lines(), original);
}

} // namespace
