// Differential tests of the editing commands on the highlighting editor: after every command, and
// after its undo and redo, the line states equal a full rescan of the text, the selection is a real
// one, and the undo gives back the text, the caret and the selection exactly.
#include "EditorScript.h"
#include "HLHarness.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// What undo must give back: the text, the caret, whether something is selected and what.
struct TSnapshot {
    QStringList Lines;
    QPoint Caret;
    bool Selected = false;
    TSelBlockFormat Format = bfNonInclusive;
    QRect Selection;

    explicit TSnapshot(const TCustomEditor& editor)
        : Lines(editor.Lines().ToStringList()), Caret(editor.CaretX(), editor.CaretY()),
          Selected(editor.Selected()), Format(editor.SelBlockFormat())
    {
        if (Selected) {
            const TSelectionState& s = editor.Selection();
            Selection = QRect(QPoint(s.SelBegX, s.SelBegY), QPoint(s.SelEndX, s.SelEndY));
        }
    }
    bool operator==(const TSnapshot&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TSnapshot& s)
{
    out << s.Lines.join(u'/').toStdString() << " caret " << s.Caret.x() << "," << s.Caret.y();
    if (s.Selected)
        out << " selected " << s.Selection.left() << "," << s.Selection.top() << " to " << s.Selection.right()
            << "," << s.Selection.bottom();
    return out << " format " << int(s.Format);
}

const char* FormatName(TSelBlockFormat format)
{
    switch (format) {
    case bfInclusive:
        return "inclusive";
    case bfLine:
        return "line";
    case bfColumn:
        return "column";
    case bfNonInclusive:
        return "non-inclusive";
    }
    return "?";
}

// Texts whose lines carry block comments into the lines below, so that a state left behind shows.
const std::vector<QString> kTexts = {
    // The caret on the line that a Backspace joins to a comment, a selection across the comment,
    // the caret past a line's end, on the last line.
    "select 1 /* note\n|old */ from t;\nwhere a = 1\n/* x */ y",
    "select 1 /* no[te\nold */ fr]|om t;\nwhere a = 1\n/* x */ y",
    "a /*\nb\n|c */ d\ne",
    "a /*\n[b\nc */ d]|\ne",
    "/*\nx\n*/\ny··|",
    "x = 1;\n  /*\n  c\n  */ d|",
};

// Texts whose lines end in blanks, for the query pane, which keeps them: a literal with a line of its
// own ending in blanks, a selection that ends in them, the caret among them.
const std::vector<QString> kBlankEndedTexts = {
    "select 'a\n|b  \nc'",
    "select 'a  \n[b  \nc]|'  ",
    "x  \n  |  \ny··",
};

struct TCommandCase {
    const char* Keys;
    // The clipboard before the command, with its block format (-1: text from another program).
    QString Clipboard = {};
    int ClipboardFormat = -1;
    // Whether the selection's format may stay changed after undo (a paste takes the clipboard's).
    bool FormatFollowsClipboard = false;
};

const std::vector<TCommandCase> kCommands = {
    {"'x'"}, {"'*'"}, {"'/'"}, {"Enter"}, {"Insert Enter"}, {"Insert 'q'"}, {"Insert '*'"},
    {"Backspace"}, {"Delete"}, {"Ctrl+Y"}, {"Ctrl+T"}, {"Ctrl+Backspace"}, {"Tab"}, {"Shift+Tab"},
    {"Ctrl+K I"}, {"Ctrl+K U"}, {"Ctrl+K O"}, {"Ctrl+K N"}, {"Ctrl+O U"}, {"Ctrl+Delete"}, {"Ctrl+X"},
    {"Ctrl+K T"}, {"Ctrl+K T Ctrl+X"},
    {"Ctrl+V", "*/ p\r\nq /*", -1, true},
    {"Ctrl+V", "ab\r\n*/\r\ncd\r\nef\r\ngh", bfColumn, true},
    {"Ctrl+V", "/* whole", bfLine, true},
    {"Ctrl+V", "a  \r\n b \r\nc  ", -1, true},
};

TEST(EditorIntegrity, EveryCommandKeepsStatesAndSelectionAndUndoesExactly)
{
    // The query pane keeps trailing blanks: there the undo must give them back too, and take away
    // the blanks a command put before the caret.
    std::vector<std::pair<QString, bool>> texts;
    for (const QString& text : kTexts) {
        texts.emplace_back(text, false);
        texts.emplace_back(text, true);
    }
    for (const QString& text : kBlankEndedTexts)
        texts.emplace_back(text, true);
    for (const auto& [text, keepBlanks] : texts) {
        for (const TSelBlockFormat format : {bfNonInclusive, bfInclusive, bfLine, bfColumn}) {
            for (const TCommandCase& command : kCommands) {
                SCOPED_TRACE(::testing::Message() << text.toStdString() << " in " << FormatName(format)
                                                  << " format" << (keepBlanks ? ", blanks kept" : "") << ": "
                                                  << command.Keys);
                THLHarness h;
                h.Editor.SetKeepTrailingBlanks(keepBlanks);
                h.Load(text, format);
                h.Platform.ClipboardText = command.Clipboard;
                h.Platform.ClipboardFormat = command.ClipboardFormat;
                h.Platform.HasClipboardText = !command.Clipboard.isEmpty();
                const TSnapshot before(h.Editor);

                RunKeys(h.Editor, command.Keys);
                EXPECT_TRUE(StatesMatchRescan(h.Editor)) << "after the command";
                EXPECT_TRUE(SelectionIsValid(h.Editor)) << "after the command";
                EXPECT_EQ(h.Editor.UpdateCount(), 0);
                EXPECT_EQ(h.Editor.CompoundDepth(), 0);

                // Insert toggles the mode back, so that the undo runs as the user would find it.
                if (QString(command.Keys).startsWith(QStringLiteral("Insert")))
                    RunKeys(h.Editor, "Insert");
                int undos = 0;
                while (h.Editor.CanUndo() && undos++ < 20)
                    RunKeys(h.Editor, "Ctrl+Z");
                TSnapshot undone(h.Editor);
                if (command.FormatFollowsClipboard)
                    undone.Format = before.Format;
                EXPECT_EQ(undone, before) << "after undo";
                EXPECT_TRUE(StatesMatchRescan(h.Editor)) << "after undo";
                EXPECT_TRUE(SelectionIsValid(h.Editor)) << "after undo";

                h.Editor.Command(cmdRedo);
                EXPECT_EQ(TSnapshot(h.Editor).Lines, before.Lines) << "redo only forgets what was undone";
                EXPECT_TRUE(StatesMatchRescan(h.Editor)) << "after redo";
                if (::testing::Test::HasFailure())
                    return;
            }
        }
    }
}

// The two faults that colours showed: a Backspace joining a comment's first line with the next one,
// and Ctrl+Y on a line without any character that could open or close a comment.
TEST(EditorIntegrity, StatesFollowJoinedAndDeletedLines)
{
    struct TCase {
        const char* Name;
        QString Initial;
        const char* Keys;
        std::vector<int> States;
    };
    const std::vector<TCase> cases = {
        {"Backspace joins the comment's first line with its last", "/* note\n|old */\nfrom t;", "Backspace",
            {0, 0}},
        {"undo splits them again", "/* note\n|old */\nfrom t;", "Backspace Ctrl+Z", {0, 2, 0}},
        {"Ctrl+Y on a line without a trigger", "a\n|b\n/*\nc\n*/\nd", "Ctrl+Y", {0, 0, 2, 2, 0}},
        {"and its undo", "a\n|b\n/*\nc\n*/\nd", "Ctrl+Y Ctrl+Z", {0, 0, 0, 2, 2, 0}},
        {"Delete joining the comment's lines", "/* a|\n*/\nx", "Delete", {0, 0}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        THLHarness h;
        h.Load(c.Initial, bfNonInclusive);
        RunKeys(h.Editor, c.Keys);
        std::vector<int> states;
        for (int line = 0; line < h.Editor.LineCount(); ++line)
            states.push_back(h.Editor.LineStates()[line]);
        EXPECT_EQ(states, c.States);
    }
}

TEST(EditorIntegrity, TypingALetterRescansNothingAndRepaintsItsLineOnly)
{
    THLHarness h;
    h.Load("/*\n|a\n*/\nb", bfNonInclusive);
    h.Platform.ClearRecords();
    RunKeys(h.Editor, "'x'");
    EXPECT_EQ(h.Platform.InvalidateAllCount, 0) << "the pane is not repainted whole";
    ASSERT_FALSE(h.Platform.Invalidated.empty());
    for (const QRect& rect : h.Platform.Invalidated)
        EXPECT_EQ(rect.top() / h.Editor.LineHeight(), 1) << "only the typed line";
}

// A macro that holds Ctrl+Z undoes, when played, what it undid when it was recorded; the next Ctrl+Z
// takes the played macro back as one step and nothing before it.
TEST(EditorIntegrity, AMacroHoldingUndoPlaysItBack)
{
    THLHarness h;
    h.Load("|", bfNonInclusive);
    // Home and End end the run of typing, so that the recorded Ctrl+Z takes back "ab" alone.
    RunKeys(h.Editor, "'keep' Home End Ctrl+Shift+R 'ab' Ctrl+Z 'c' Ctrl+Shift+R");
    ASSERT_EQ(h.Editor.Lines().ToStringList(), QStringList{"keepc"});
    RunKeys(h.Editor, "Ctrl+Shift+P");
    EXPECT_EQ(h.Editor.Lines().ToStringList(), QStringList{"keepcc"});
    RunKeys(h.Editor, "Ctrl+Z");
    EXPECT_EQ(h.Editor.Lines().ToStringList(), QStringList{"keepc"});
    EXPECT_EQ(h.Editor.CaretX(), 5);
}

} // namespace

// Ctrl+Backspace deletes the word left of the caret and Ctrl+K T selects the word at it, in every
// selection format: neither takes the whole line or the character right of the caret along (a line
// format still selects whole lines, which is what it is for).
TEST(EditorIntegrity, WordCommandsTakeTheWordAloneInEveryFormat)
{
    for (const TSelBlockFormat format : {bfNonInclusive, bfInclusive, bfLine, bfColumn}) {
        SCOPED_TRACE(FormatName(format));
        THLHarness h;
        h.Load("select one two| from t", format);
        RunKeys(h.Editor, "Ctrl+Backspace");
        EXPECT_EQ(Describe(h.Editor), "select one | from t");

        if (format == bfLine)
            continue;
        h.Load("select one |two from t", format);
        RunKeys(h.Editor, "Ctrl+K T Ctrl+C");
        EXPECT_EQ(h.Platform.ClipboardText, "two");
        RunKeys(h.Editor, "Ctrl+X");
        EXPECT_EQ(Describe(h.Editor), "select one | from t");
    }
}
