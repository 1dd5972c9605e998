// A TAB that lands inside a quoted string or name is data and stays a TAB in a pane that keeps
// literal TABs; any other TAB becomes blanks, as it does in every pane that does not.
#include "HLHarness.h"

#include "EditorCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

namespace {

// What a TAB outside a literal becomes in a pane with the panes' tab stops.
QString TabBlanks()
{
    TEditor plain;
    plain.SetTabStops(QStringLiteral("8 16"));
    return plain.ExpandTabs(QStringLiteral("\t"));
}

enum class TTabAction { Paste, Insert, TabKey, Load };

struct TTabCase {
    const char* Name;
    bool Keep;           // the pane keeps literal TABs
    QString Before;      // notation; '|' is the caret
    TTabAction Action;
    QString Text;        // what is pasted, inserted or loaded
    QString After;       // notation; '»' stands for the blanks a TAB becomes
};

QString Expected(const QString& notation)
{
    QString text = notation;
    return text.replace(u'»', TabBlanks());
}

QString TextOf(const THLEditor& editor)
{
    return editor.Lines().ToStringList().join(u'\n');
}

}  // namespace

TEST(LiteralTabs, KeptInsideQuotesBlanksElsewhereAndUndoneExactly)
{
    const QString tab = QStringLiteral("\t");
    const std::vector<TTabCase> cases = {
        {"pasted inside single quotes", true, "select hex('a|b')", TTabAction::Paste, tab, "select hex('a\t|b')"},
        {"pasted inside double quotes", true, "select \"a|b\"", TTabAction::Paste, tab, "select \"a\t|b\""},
        {"pasted inside backquotes", true, "select `a|b`", TTabAction::Paste, tab, "select `a\t|b`"},
        {"pasted outside a literal", true, "select |1", TTabAction::Paste, tab, "select »|1"},
        {"after a closed literal with a doubled quote", true, "select 'it''s' |", TTabAction::Paste, tab,
            "select 'it''s' »|"},
        {"after an escaped quote, still inside", true, "select 'it\\'s |", TTabAction::Paste, tab,
            "select 'it\\'s \t|"},
        {"in a -- comment", true, "select 1 -- it's |", TTabAction::Paste, tab, "select 1 -- it's »|"},
        {"in a # comment", true, "# it's |", TTabAction::Paste, tab, "# it's »|"},
        {"in a block comment opened above", true, "/* it's\n'x|' */ select 1", TTabAction::Paste, tab,
            "/* it's\n'x»|' */ select 1"},
        {"inside a literal opened above", true, "select 'first\nsec|ond'", TTabAction::Paste, tab,
            "select 'first\nsec\t|ond'"},
        {"a pasted literal keeps its TAB, the TAB after it does not", true, "select |;", TTabAction::Paste,
            "'a\tb'\t1", "select 'a\tb'»1|;"},
        {"a pasted literal over two lines", true, "select |;", TTabAction::Paste, "'a\r\n\tb'\t",
            "select 'a\n\tb'»|;"},
        {"inserted as the program inserts", true, "select hex('a|b')", TTabAction::Insert, tab,
            "select hex('a\t|b')"},
        {"the Tab key inside a literal", true, "select 'a|b'", TTabAction::TabKey, QString(), "select 'a\t|b'"},
        {"the Tab key outside a literal", true, "sel|ect", TTabAction::TabKey, QString(), "sel    |ect"},
        {"a text loaded whole", true, "|", TTabAction::Load, "select 'a\tb';\t\nselect \"\tc\r\n\td\"",
            "|select 'a\tb';»\nselect \"\tc\n\td\""},
        {"a pane that does not keep them", false, "select hex('a|b')", TTabAction::Paste, tab,
            "select hex('a»|b')"},
        {"the Tab key in a pane that does not keep them", false, "select 'a|b'", TTabAction::TabKey, QString(),
            "select 'a      |b'"},
    };
    for (const TTabCase& c : cases) {
        SCOPED_TRACE(c.Name);
        THLHarness h;
        h.Editor.SetKeepTrailingBlanks(true);
        h.Editor.SetKeepLiteralTabs(c.Keep);
        h.Load(c.Before, bfNonInclusive);
        const QString before = TextOf(h.Editor);
        switch (c.Action) {
        case TTabAction::Paste:
            h.Editor.PasteText(c.Text, -1);
            break;
        case TTabAction::Insert:
            h.Editor.InsertText(c.Text);
            break;
        case TTabAction::TabKey:
            RunKeys(h.Editor, QStringLiteral("Tab"));
            break;
        case TTabAction::Load:
            h.Editor.Lines().SetText(c.Text);
            h.Editor.SetCaret(0, 0);
            break;
        }
        EXPECT_EQ(Describe(h.Editor).toStdString(), Expected(c.After).toStdString());
        if (c.Action == TTabAction::Load)
            continue;
        h.Editor.Undo();
        EXPECT_EQ(TextOf(h.Editor).toStdString(), before.toStdString()) << "undo";
    }
}

// A line written again by a later edit keeps the TAB it holds, even when that edit leaves it outside
// any literal: the edit did not type it, and undoing the edit brings back the same text.
TEST(LiteralTabs, AKeptTabSurvivesLaterEditsOfItsLine)
{
    THLHarness h;
    h.Editor.SetKeepTrailingBlanks(true);
    h.Editor.SetKeepLiteralTabs(true);
    h.Load(QStringLiteral("select |'a\tb'"), bfNonInclusive);
    RunKeys(h.Editor, QStringLiteral("Delete 'x'"));
    EXPECT_EQ(Describe(h.Editor), QStringLiteral("select x|a\tb'"));
    h.Editor.Undo();
    h.Editor.Undo();
    EXPECT_EQ(TextOf(h.Editor), QStringLiteral("select 'a\tb'"));
}

TEST(LiteralTabs, CopyGivesTheTabBackAndThePaneShowsItInOneMarkedCell)
{
    THLHarness h;
    h.Editor.SetKeepLiteralTabs(true);
    h.Load(QStringLiteral("select '|b'"), bfNonInclusive);
    h.Editor.PasteText(QStringLiteral("x\ty"), -1);
    EXPECT_EQ(TextOf(h.Editor), QStringLiteral("select 'x\tyb'"));

    h.Editor.Command(cmdSelectAll);
    h.Editor.Command(cmdCopy);
    EXPECT_EQ(h.Platform.ClipboardText, QStringLiteral("select 'x\tyb'"));

    // The caret steps over the TAB as over any character.
    h.Editor.SetCaret(9, 0);
    RunKeys(h.Editor, QStringLiteral("Right"));
    EXPECT_EQ(h.Editor.CaretX(), 10);

    TRecordingCanvas canvas;
    h.Editor.Paint(canvas, QRect(QPoint(0, 0), h.Platform.Client));
    QString row;
    int firstX = INT_MAX;
    for (const TRecordingCanvas::TCells& cells : canvas.Cells) {
        if (cells.Y == 0) {
            row += cells.Text;
            firstX = std::min(firstX, cells.X);
        }
    }
    EXPECT_TRUE(row.startsWith(QStringLiteral("select 'x") + QChar(kTabMark) + QStringLiteral("yb'"))) << row.toStdString();
    QChar character;
    ASSERT_NE(canvas.CellsAt(firstX + 10 * 8, 0, &character), nullptr);
    EXPECT_EQ(character, u'y') << "the character after the TAB stands in the next cell";
}
