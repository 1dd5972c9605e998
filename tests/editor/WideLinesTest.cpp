// Editing far right on long lines: typing, Backspace and column blocks past column 1024, where the
// caret once stopped and typed text came out reversed.
#include "EditorScript.h"

#include <gtest/gtest.h>

namespace {

QString Xs(int count)
{
    return QString(count, u'x');
}

TEST(WideLines, EditingWorksAtEveryColumn)
{
    const auto columnFormat = [](TEditorHarness& h) { h.Editor.SetSelBlockFormat(bfColumn); };
    RunScriptCases({
        {"typing at column 1024", Xs(1024) + "|", "'select'", Xs(1024) + "select|"},
        {"typing past the end of a long line", Xs(3000) + "··|", "'ab'", Xs(3000) + "  ab|"},
        {"Backspace far right", Xs(2000) + "abc|", "Backspace*2", Xs(2000) + "a|"},
        {"Delete far right", Xs(5000) + "|abc", "Delete", Xs(5000) + "|bc"},
        {"Home and End on a 5000-character line", Xs(2500) + "|" + Xs(2500), "End 'y' Home 'z'",
            "z|" + Xs(5000) + "y"},
        {"a column block past column 1024 is deleted on every line",
            Xs(1500) + "[abc\n" + Xs(1500) + "def\n" + Xs(1500) + "gh]i|", "Delete",
            Xs(1500) + "\n" + Xs(1500) + "\n" + Xs(1500) + "|", columnFormat},
    });
}

TEST(WideLines, TypingStopsAtTheLastColumnInsteadOfReversingTheText)
{
    TEditorHarness h({Xs(kMaxColumn - 2)});
    h.Editor.SetCaret(kMaxColumn - 2, 0);
    TypeText(h.Editor, "abc");
    EXPECT_EQ(h.Editor.Lines()[0], Xs(kMaxColumn - 2) + "ab");
    EXPECT_EQ(h.Caret(), QPoint(kMaxColumn, 0));
    EXPECT_EQ(h.Platform.Beeps, 1);
}

} // namespace
