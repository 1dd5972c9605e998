// Tests of the highlighting editor: token classes per cell, the per-line states and when they are
// rescanned, the console colour scheme, and a pane rendered on the offscreen platform.
#include "HLEditor.h"

#include "EditorView.h"

#include <gtest/gtest.h>

#include <functional>

#include "QtPrinters.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// One letter per colour class, so that a line's colouring reads as a string beside its text.
// '.' is a cell past the line's end that carries the pane's own colours.
constexpr char ClassLetters[] = "CNSYRIpFDTP";

// The classes in the order of ClassLetters.
std::array<TSymbolColor*, 11> ClassesOf(TColors& colors)
{
    return {&colors.Comment, &colors.Number, &colors.Strings, &colors.Symbol, &colors.Reserved,
        &colors.Identifier, &colors.Preproc, &colors.FunctionCall, &colors.Declaration, &colors.Statement,
        &colors.PlainText};
}

// Every class in colours of its own.
TColors DistinctColors()
{
    TColors colors;
    int i = 0;
    for (TSymbolColor* color : ClassesOf(colors)) {
        *color = {0, RGBColor(10 + i, 20, 30), RGBColor(40, 50 + i, 60)};
        ++i;
    }
    return colors;
}

// The class letter of every cell from 1 to `columns`, under DistinctColors.
std::string ClassMap(THLEditor& editor, int line, int columns)
{
    TColors colors = DistinctColors();
    const auto classes = ClassesOf(colors);
    const TLineAttrCell pane{editor.Font().Color, editor.Color(), editor.Font().Style, clNone};
    const TLineAttrs& attrs = editor.GetLineAttrs(line, 0, columns - 1);
    std::string map;
    for (int column = 1; column <= columns; ++column) {
        const TLineAttrCell& cell = attrs[column];
        char letter = cell == pane ? '.' : '?';
        for (std::size_t i = 0; i < classes.size(); ++i) {
            const TSymbolColor& color = *classes[i];
            if (cell == TLineAttrCell{color.ForeColor, color.BackColor, color.Style, clNone})
                letter = ClassLetters[i];
        }
        map += letter;
    }
    return map;
}

std::string ClassMap(THLEditor& editor, int line)
{
    return ClassMap(editor, line, editor.LineLength(line));
}

// An SQL editor holding `lines`, loaded as a whole text so that every state is computed.
struct TSqlEditor {
    explicit TSqlEditor(const QStringList& lines = {})
    {
        Editor.SetHighlighter(hlSql);
        Editor.SetColors(DistinctColors());
        if (!lines.isEmpty())
            Editor.Lines().Assign(lines);
    }

    std::vector<int> States()
    {
        std::vector<int> states;
        for (int line = 0; line < Editor.LineCount(); ++line)
            states.push_back(Editor.LineStateOf(line));
        return states;
    }

    THLEditor Editor;
};

struct TWorkedLine {
    QString Text;
    std::string Classes;
    int StateAtStart;
};

// The transcript pane after three statements: echoed SQL, outcome lines behind "-- ", and a block
// comment that the fourth line closes.
const std::vector<TWorkedLine>& TranscriptExample()
{
    static const std::vector<TWorkedLine> lines = {
        {"mysql> update users set name = 'O''Brien' where id = 7;",
            "IIIIIYPRRRRRRPIIIIIPRRRPIIIIPYPSSSSSSSSSSPRRRRRPIIPYPNY", 0},
        {"-- Query Ok. 1 rows affected.", std::string(29, 'C'), 0},
        {"mysql> select * from users /* only", "IIIIIYPRRRRRRPYPRRRRPIIIIIPCCCCCCC", 0},
        // The line starts inside the comment, so its blanks take the comment's colours too.
        {"     > new ones */ where id > 1.5e3;", "CCCCCCCCCCCCCCCCCCCRRRRRCIICYCNNNIIY", 2},
        {"-- Empty set.", std::string(13, 'C'), 0},
        {"mysql> use test", "IIIIIYPIIIPIIII", 0},
        {"-- Database selected", std::string(20, 'C'), 0},
    };
    return lines;
}

QStringList TextsOf(const std::vector<TWorkedLine>& lines)
{
    QStringList texts;
    for (const TWorkedLine& line : lines)
        texts << line.Text;
    return texts;
}

TEST(THLEditor, TranscriptExampleClassesAndStates)
{
    const auto& example = TranscriptExample();
    TSqlEditor sql(TextsOf(example));
    for (int i = 0; i < static_cast<int>(example.size()); ++i) {
        SCOPED_TRACE(example[i].Text.toStdString());
        EXPECT_EQ(ClassMap(sql.Editor, i), example[i].Classes);
        EXPECT_EQ(sql.Editor.LineStateOf(i), example[i].StateAtStart);
        EXPECT_EQ(ClassMap(sql.Editor, i, 2000).substr(example[i].Classes.size()),
            std::string(2000 - example[i].Classes.size(), '.'));
    }
}

// The same lines under the console scheme, with the comment style cleared as the console's set-up
// does: the colours the user sees.
TEST(THLEditor, TranscriptExampleInConsoleColours)
{
    const std::map<char, TLineAttrCell> seen = {
        {'I', {clYellow, clNavy, 0, clNone}},
        {'Y', {clYellow, clNavy, 0, clNone}},
        {'P', {clYellow, clNavy, 0, clNone}},
        {'R', {clWhite, clNavy, fsBold, clNone}},
        {'S', {clRed, clNavy, 0, clNone}},
        {'N', {clAqua, clNavy, 0, clNone}},
        {'C', {clSilver, clNavy, 0, clNone}},
    };
    const auto& example = TranscriptExample();
    TSqlEditor sql(TextsOf(example));
    ApplyConsoleColorScheme(sql.Editor);
    sql.Editor.Colors().Comment.Style = 0;
    for (int i = 0; i < static_cast<int>(example.size()); ++i) {
        const TLineAttrs& attrs = sql.Editor.GetLineAttrs(i, 0, 2000);
        const std::string& classes = example[i].Classes;
        for (std::size_t c = 0; c < classes.size(); ++c) {
            EXPECT_EQ(attrs[c + 1], seen.at(classes[c]))
                << example[i].Text.toStdString() << ", column " << c + 1;
        }
        // Past the end: the pane's background and its font colour.
        EXPECT_EQ(attrs[classes.size() + 1], (TLineAttrCell{clWindowText, clNavy, 0, clNone}));
    }
    EXPECT_EQ(sql.Editor.SelForeColor(), clHighlightText);
    EXPECT_EQ(sql.Editor.SelBackColor(), clHighlight);
    EXPECT_EQ(sql.Editor.RightMarginColor(), clSilver);
}

struct TLineCase {
    const char* Name;
    QString Text;
    std::string Classes;
};

TEST(THLEditor, ClassesOfOneLine)
{
    const std::vector<TLineCase> cases = {
        {"keywords in any letter case", "SELECT Select selected sel", "RRRRRRPRRRRRRPIIIIIIIIPIII"},
        {"a keyword before a bracket stays a keyword", "count(*)", "RRRRRYYY"},
        {"a doubled quote keeps the whole string red", "'it''s' x", "SSSSSSSPI"},
        {"an unclosed string runs to the end", "x 'abc", "IPSSSS"},
        {"lone double quotes are strings, backquotes identifiers", "\"a\" `b`", "SISPIII"},
        {"a double-quoted /* opens a comment on its own line", "\"a/*b\" c", "SICCCCCC"},
        {"numbers, malformed numbers and other characters", "1 1.5 1.2.3 $ ! ?", "NPNNNPIIIIIPIPIPI"},
        {"rdb$db_key: two keywords around a dollar", "rdb$db_key", "RRRIRRRRRR"},
        {"a block comment inside the line", "a/*b*/c", "ICCCCCI"},
        {"a comment is one token", "  -- rows 3", "PPCCCCCCCCC"},
        {"words common in SQL that are not keywords", "use limit case", "IIIPIIIIIPIIII"},
    };
    for (const TLineCase& c : cases) {
        TSqlEditor sql({c.Text});
        EXPECT_EQ(ClassMap(sql.Editor, 0), c.Classes) << c.Name;
    }
}

TEST(THLEditor, LongLinesKeepTheClassOfTheTokenThatRunsAcrossTheColouringBound)
{
    // Each case: a line, and the class letter expected at some 1-based columns.
    struct TCase {
        const char* Name;
        QString Text;
        std::vector<std::pair<int, char>> Expected;
    };
    const int bound = THLEditor::ColorBound;
    const TCase cases[] = {
        {"a keyword past column 1024 is whole",
            QString(1020, u' ') + "select 1", {{1020, 'P'}, {1021, 'R'}, {1026, 'R'}, {1027, 'P'}, {1028, 'N'}}},
        {"a transcript line is comment to its end",
            "-- |" + QString(300000, u'x') + "|", {{1, 'C'}, {bound, 'C'}, {bound + 1, 'C'}, {150000, 'C'}, {300005, 'C'}}},
        {"a string across the bound stays a string, and so does what follows it",
            "select '" + QString(2 * bound, u's') + "' from t", {{9, 'S'}, {bound + 1, 'S'}, {2 * bound + 12, 'S'}}},
        {"tokens before the bound keep their own classes",
            "select " + QString(bound, u'a') + " 42", {{1, 'R'}, {8, 'I'}, {bound + 9, 'I'}}},
    };
    for (const TCase& c : cases) {
        TSqlEditor sql({c.Text});
        sql.Editor.Colors() = DistinctColors();
        const auto classes = ClassesOf(sql.Editor.Colors());
        for (const auto& [column, expected] : c.Expected) {
            // Painting asks for a few columns around the one looked at, as a scrolled view does.
            const TLineAttrCell cell = sql.Editor.GetLineAttrs(0, column - 5, column + 5)[column];
            char letter = '.';
            for (std::size_t i = 0; i < classes.size(); ++i) {
                const TSymbolColor& color = *classes[i];
                if (cell == TLineAttrCell{color.ForeColor, color.BackColor, color.Style, clNone})
                    letter = ClassLetters[i];
            }
            EXPECT_EQ(letter, expected) << c.Name << ", column " << column;
        }
    }
}

TEST(THLEditor, EmptyLineTakesThePaneColoursEverywhere)
{
    TSqlEditor sql({"select", "", "x"});
    EXPECT_EQ(ClassMap(sql.Editor, 1, 2000), std::string(2000, '.'));
}

TEST(THLEditor, HighlightersWithoutSqlRules)
{
    struct TCase {
        const char* Name;
        THighlighter Highlighter;
        bool Highlighting;
        std::string Classes;
    };
    const std::vector<TCase> cases = {
        {"SQL", hlSql, true, "RRRRRRPCCCC"},
        {"no highlighter", hlNone, true, "PPPPPPPPPPP"},
        {"a highlighter without rules here", hlPascal, true, "PPPPPPPPPPP"},
        {"an INI highlighter", hlIni, true, "PPPPPPPPPPP"},
        {"highlighting off keeps the editor's cells", hlSql, false, "..........."},
    };
    for (const TCase& c : cases) {
        TSqlEditor sql({"select /*x*/"});
        sql.Editor.SetHighlighter(c.Highlighter);
        sql.Editor.SetSyntaxHighlighting(c.Highlighting);
        EXPECT_EQ(ClassMap(sql.Editor, 0, 11), c.Classes) << c.Name;
    }
}

TEST(THLEditor, ReservedWordHandlerReplacesTheKeywordSet)
{
    TSqlEditor sql({"use select 'a' 1"});
    std::vector<QString> asked;
    sql.Editor.OnReservedWord = [&asked](THLEditor&, const QString& token, bool& reserved) {
        EXPECT_FALSE(reserved);
        asked.push_back(token);
        reserved = token == "use";
    };
    EXPECT_EQ(ClassMap(sql.Editor, 0), "RRRPIIIIIIPSSSPN");
    EXPECT_EQ(asked, (std::vector<QString>{"use", "select", "'a'", "1"}));

    // With no highlighter the handler alone makes keywords; the rest is coloured as tokens.
    sql.Editor.SetHighlighter(hlNone);
    EXPECT_EQ(ClassMap(sql.Editor, 0), "RRRPIIIIIIPSISPN");

    bool reserved = true;
    sql.Editor.OnReservedWord = nullptr;
    EXPECT_FALSE(sql.Editor.HasReservedWordHandler());
    EXPECT_FALSE(sql.Editor.AskReservedWord("use", reserved));
    EXPECT_FALSE(reserved);
}

TEST(THLEditor, FailingReservedWordHandlerKeepsTheColoursSetSoFar)
{
    TSqlEditor sql({"a b c"});
    sql.Editor.OnReservedWord = [](THLEditor&, const QString& token, bool&) {
        if (token == "b")
            throw std::runtime_error("handler failed");
    };
    EXPECT_EQ(ClassMap(sql.Editor, 0), "IPPPP");
}

struct TStateCase {
    const char* Name;
    QStringList Lines;
    std::vector<int> States;
    // Class maps of the lines, "" where the case does not check one.
    std::vector<std::string> Classes;
};

TEST(THLEditor, LineStates)
{
    const std::vector<TStateCase> cases = {
        {"a block comment runs on through empty lines",
            {"/* a", "", "", "b */ x", "y"}, {0, 2, 2, 2, 0},
            {"CCCC", "", "", "CCCCCI", "I"}},
        {"a #...\\ line continues into the lines below",
            {"#define x \\", "a \\", "b", "c"}, {0, 6, 6, 0},
            {"YIIIIIIPIPY", "CCC", "C", "I"}},
        {"an empty line ends a continuation", {"  # x \\", "", "y"}, {0, 6, 0}, {}},
        {"a continuation needs the # first on its line", {"x # \\", "y"}, {0, 0}, {}},
        {"the line that ends a continuation is read on from its second character",
            {"# \\", "x/* a", "b"}, {0, 6, 2}, {}},
        {"a double-quoted /* carries nothing", {"\"a/*b\"", "x"}, {0, 0}, {"SICCCC", "I"}},
        {"an unpaired double quote ends the walk of its line", {"\" /* x", "y"}, {0, 0}, {}},
        {"a /* inside a string still opens a comment below",
            {"mysql> select '/*' from dual;", "x", "y */ z", "w"}, {0, 2, 2, 0},
            {"IIIIIYPRRRRRRPSSSSPRRRRPIIIIY", "C", "CCCCCI", "I"}},
        {"a -- line quoting /* puts the lines below into a comment",
            {"-- You have an error near '/*'", "mysql> select 1;", "*/"}, {0, 2, 2},
            {"", "CCCCCCCCCCCCCCCC", "CC"}},
        {"/*/ does not close, /**/ does", {"/*/", "x */", "/**/", "y"}, {0, 2, 0, 0}, {}},
        {"a comment closed and another opened on one line", {"/* a */ b /* c", "d"}, {0, 2}, {}},
        // The walk reads the stored UTF-8 bytes: characters beyond ASCII must not move what it sees.
        {"markers beside characters beyond ASCII", {"ж/*ё", "щ\U0001F600*/ж", "x"}, {0, 2, 0}, {}},
        {"a # line ending in a backslash after Cyrillic", {"#ж \\", "y", "z"}, {0, 6, 0}, {}},
        {"a line ending in a character beyond ASCII is no continuation", {"# ж\\ж", "y"}, {0, 0}, {}},
        {"the line that ends a continuation is read on from its second character, a pair",
            {"# \\", "\U0001F600/* a", "b"}, {0, 6, 2}, {}},
        {"a quote after Cyrillic hides a comment", {"ж\"/*\"ж", "x"}, {0, 0}, {}},
    };
    for (const TStateCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSqlEditor sql(c.Lines);
        EXPECT_EQ(sql.States(), c.States);
        for (std::size_t line = 0; line < c.Classes.size(); ++line) {
            if (!c.Classes[line].empty()) {
                EXPECT_EQ(ClassMap(sql.Editor, static_cast<int>(line)), c.Classes[line]) << "line " << line;
            }
        }
    }
}

TEST(THLEditor, WithoutLongTokensEveryLineStartsClean)
{
    TSqlEditor sql;
    sql.Editor.SetLongTokens(false);
    sql.Editor.Lines().Assign(QStringList{"/* only", "x"});
    EXPECT_EQ(sql.States(), (std::vector<int>{0, 0}));
    EXPECT_EQ(ClassMap(sql.Editor, 0), "CCCCCCC");
    EXPECT_EQ(ClassMap(sql.Editor, 1), "I");
}

// Typing a trigger character rescans; any other character walks its own line only, and rescans
// only when the line now carries another state into the next one (a quote that hides the "/*").
TEST(THLEditor, OnlyTriggersOrAChangedLineEndRescan)
{
    struct TCase {
        const char* Name;
        QString Typed;
        std::vector<int> States;
    };
    const std::vector<TCase> cases = {
        {"a letter", "a", {0, 0}},
        {"a digit", "7", {0, 0}},
        {"a double quote that closes the first", "\"", {0, 0}},
        {"a slash that closes the comment", "/", {0, 0}},
        {"a hash", "#", {0, 0}},
        {"a blank", " ", {0, 0}},
        {"a star", "*", {0, 0}},
        {"a line break", "\r\n", {0, 0, 0}},
        {"a lone line feed", "\n", {0, 0, 0}},
    };
    for (const TCase& c : cases) {
        TSqlEditor sql({"/*x", "y"});
        sql.Editor.SetCaret(0, 0);
        sql.Editor.InsertText("\"");
        ASSERT_EQ(sql.States(), (std::vector<int>{0, 0})) << "the quote hides the comment from the line below";
        sql.Editor.SetCaret(4, 0);
        sql.Editor.InsertText(c.Typed);
        EXPECT_EQ(sql.States(), c.States) << c.Name;
    }
    // A letter that changes nothing the line carries leaves the rescan out: the lines past a rescan's
    // reach stay undetermined.
    TSqlEditor many(QStringList(12000, "x"));
    many.Editor.SetCaret(0, 0);
    many.Editor.InsertText("/*");
    ASSERT_EQ(many.Editor.LineStates()[5001], ltUndetermined);
    many.Editor.SetCaret(0, 7000);
    many.Editor.InsertText("a");
    EXPECT_EQ(many.Editor.LineStates()[5001], ltUndetermined);
}

TEST(THLEditor, ReplacementsAndWholeTextChangesAlwaysRescan)
{
    struct TCase {
        const char* Name;
        std::function<void(THLEditor&)> Change;
        std::vector<int> States;
    };
    const std::vector<TCase> cases = {
        {"a line written over", [](THLEditor& e) { e.Lines().Put(0, "x"); }, {0, 0, 0}},
        {"a line deleted", [](THLEditor& e) { e.Lines().Delete(0); }, {0, 0}},
        {"a line inserted", [](THLEditor& e) { e.Lines().Insert(1, "*/"); }, {0, 2, 0, 0}},
        {"the whole text", [](THLEditor& e) { e.Lines().SetLineListText("a,/*,b"); }, {0, 0, 2}},
    };
    for (const TCase& c : cases) {
        TSqlEditor sql({"/*x", "y", "z"});
        ASSERT_EQ(sql.States(), (std::vector<int>{0, 2, 2}));
        c.Change(sql.Editor);
        EXPECT_EQ(sql.States(), c.States) << c.Name;
    }
}

TEST(THLEditor, RescanWalksAtMost5000LinesAndMarksTheRest)
{
    const int count = 12000;
    TSqlEditor sql(QStringList(count, "x"));
    const auto& states = sql.Editor.LineStates();
    ASSERT_EQ(states.size(), 65536u);

    sql.Editor.SetCaret(0, 0);
    sql.Editor.InsertText("/*");
    EXPECT_EQ(states[5000], ltBlockComment);
    EXPECT_EQ(states[5001], ltUndetermined);
    EXPECT_EQ(states[count - 1], ltUndetermined);
    EXPECT_EQ(states[count], ltNone) << "entries past the text are not marked";

    // An undetermined line next to a known one continues from there for another 5000 lines.
    EXPECT_EQ(sql.Editor.LineStateOf(5001), ltBlockComment);
    EXPECT_EQ(states[10000], ltBlockComment);
    EXPECT_EQ(states[10001], ltUndetermined);

    // With no known line just above it, the walk goes on from the last known line (see below).
    EXPECT_EQ(sql.Editor.LineStateOf(count - 1), ltBlockComment);
    EXPECT_EQ(std::count(states.begin(), states.begin() + count, ltUndetermined), 0);
    EXPECT_EQ(states[0], ltNone);
}

TEST(THLEditor, LinesAppendedAsBytesAreLinesAppendedAsText)
{
    // Batches as a result arrives: a comment opened in one and closed in a later one, a continuation,
    // tabs, trailing blanks, empty lines, characters beyond ASCII.
    const std::vector<QStringList> batches = {
        {"mysql> select 1 /* open", "-- | ж | \U0001F600 |   ", ""},
        {"still\tinside", "", "closed */ here", "#define x \\"},
        {"continued", "plain", "  "},
        {},
        {"\t", "/* x */ \"q/*\" end"},
    };
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "trailing blanks kept" : "trailing blanks cut");
        TSqlEditor text;
        TSqlEditor bytes;
        text.Editor.SetTabStops("8 16");
        bytes.Editor.SetTabStops("8 16");
        text.Editor.SetKeepTrailingBlanks(keep);
        bytes.Editor.SetKeepTrailingBlanks(keep);
        for (const QStringList& batch : batches) {
            text.Editor.AppendLines(batch);
            std::string buffer;
            std::vector<std::size_t> ends;
            for (const QString& line : batch) {
                buffer += line.toStdString();
                ends.push_back(buffer.size());
            }
            bytes.Editor.AppendUtf8Lines(buffer, ends);
            ASSERT_EQ(bytes.Editor.Lines().ToStringList(), text.Editor.Lines().ToStringList());
            const int count = text.Editor.LineCount();
            const std::vector<TLongTokenType> expected(text.Editor.LineStates().begin(),
                text.Editor.LineStates().begin() + count + 1);
            EXPECT_EQ(std::vector<TLongTokenType>(bytes.Editor.LineStates().begin(),
                          bytes.Editor.LineStates().begin() + count + 1),
                expected);
        }
        TSqlEditor whole(text.Editor.Lines().ToStringList());
        EXPECT_EQ(bytes.States(), whole.States()) << "the states a walk of the whole text gives";
    }
}

// Appends lines as UTF-8 bytes in one call.
void AppendBytes(THLEditor& editor, const std::vector<std::string>& lines, bool firstContinues = false,
    bool lastGoesOn = false)
{
    std::string buffer;
    std::vector<std::size_t> ends;
    for (const std::string& line : lines) {
        buffer += line;
        ends.push_back(buffer.size());
    }
    editor.AppendUtf8Lines(buffer, ends, firstContinues, lastGoesOn);
}

TEST(THLEditor, ALineAppendedInPartsIsTheLineAppendedWhole)
{
    // A comment opened and closed across the cuts, a continuation, a TAB, blanks at a line's end and
    // characters beyond ASCII; cut at every character of every line, then more lines after.
    const std::vector<std::string> lines = {"-- a /* b", "c */ d \xD0\xB6  ", "\t e  ", "# h \\", "i"};
    const std::vector<std::string> after = {"/", "* j"};
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "trailing blanks kept" : "trailing blanks cut");
        TSqlEditor whole;
        whole.Editor.SetKeepTrailingBlanks(keep);
        AppendBytes(whole.Editor, lines);
        AppendBytes(whole.Editor, after);
        for (std::size_t line = 0; line < lines.size(); ++line) {
            for (std::size_t cut = 0; cut <= lines[line].size(); ++cut) {
                if (cut < lines[line].size() && (static_cast<unsigned char>(lines[line][cut]) & 0xC0) == 0x80)
                    continue;
                SCOPED_TRACE(testing::Message() << "line " << line << " cut at " << cut);
                // In two parts, the rest arriving with the lines after it; and in three, each part
                // alone, the line completed by a call of its own.
                for (const bool three : {false, true}) {
                    TSqlEditor parts;
                    parts.Editor.SetKeepTrailingBlanks(keep);
                    std::vector<std::string> first(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(line));
                    first.push_back(lines[line].substr(0, cut));
                    AppendBytes(parts.Editor, first, false, true);
                    std::vector<std::string> rest = {lines[line].substr(cut)};
                    if (three) {
                        AppendBytes(parts.Editor, {rest.front().substr(0, rest.front().size() / 2)}, true, true);
                        rest.front() = rest.front().substr(rest.front().size() / 2);
                        if ((static_cast<unsigned char>(rest.front()[0]) & 0xC0) == 0x80)
                            continue;
                        AppendBytes(parts.Editor, rest, true, false);
                        rest.clear();
                    }
                    rest.insert(rest.end(), lines.begin() + static_cast<std::ptrdiff_t>(line) + 1, lines.end());
                    if (!rest.empty())
                        AppendBytes(parts.Editor, rest, !three, false);
                    AppendBytes(parts.Editor, after);
                    ASSERT_EQ(parts.Editor.Lines().ToStringList(), whole.Editor.Lines().ToStringList()) << three;
                    EXPECT_EQ(parts.States(), whole.States()) << three;
                }
            }
        }
    }
}

TEST(THLEditor, TheRestOfALineChangedMeanwhileIsALineOfItsOwn)
{
    TSqlEditor sql;
    AppendBytes(sql.Editor, {"one", "tw"}, false, true);
    EXPECT_EQ(sql.Editor.LineGoingOn(), 1);
    sql.Editor.Lines().Add("typed");
    EXPECT_EQ(sql.Editor.LineGoingOn(), -1);
    AppendBytes(sql.Editor, {"o", "three"}, true, false);
    EXPECT_EQ(sql.Editor.Lines().ToStringList(), (QStringList{"one", "tw", "typed", "o", "three"}));
    // Nothing to go on: the rest that comes first is a line of its own too.
    AppendBytes(sql.Editor, {"rest"}, true, false);
    EXPECT_EQ(sql.Editor.Lines().Count(), 6);
}

TEST(THLEditor, BytesAppendedRepairIllFormedTextAndUnreadableEnds)
{
    TSqlEditor sql;
    const std::string buffer = "ok\xFFok/*\xE4";
    // The third end runs backwards, the last past the buffer: empty and cut lines, no wild read.
    const std::vector<std::size_t> ends = {2, 7, 4, 100};
    sql.Editor.AppendUtf8Lines(buffer, ends);
    const QString bad(QChar(0xFFFD));
    EXPECT_EQ(sql.Editor.Lines().ToStringList(), (QStringList{"ok", bad + "ok/*", "", bad}));
    EXPECT_EQ(sql.States(), (std::vector<int>{0, 0, 2, 2}));
}

TEST(THLEditor, LineStatesGrowInSteps)
{
    TSqlEditor sql;
    EXPECT_TRUE(sql.Editor.LineStates().empty());
    sql.Editor.Lines().Assign(QStringList(65535, "x"));
    EXPECT_EQ(sql.Editor.LineStates().size(), 65536u);
    // Lines added without a notification are computed when first asked for.
    sql.Editor.Lines().Add("/*");
    sql.Editor.Lines().Add("y");
    EXPECT_EQ(sql.Editor.LineStateOf(65536), ltBlockComment);
    EXPECT_EQ(sql.Editor.LineStates().size(), 131072u);
}

TEST(THLEditor, RescanReportsWhetherAnEntryChanged)
{
    TSqlEditor sql({"a", "b", "c"});
    EXPECT_FALSE(sql.Editor.RescanLineStates(0));
    EXPECT_FALSE(sql.Editor.RescanLineStates(3)) << "a line past the text";
    sql.Editor.Lines().Put(0, "/*");
    EXPECT_FALSE(sql.Editor.RescanLineStates(0)) << "the change itself was rescanned";
    EXPECT_TRUE(sql.Editor.RescanLineStates(-1)) << "the whole text is walked from undetermined entries";
    EXPECT_FALSE(sql.Editor.RescanLineStates(1));
}

// A recalled query is loaded into a pane that held another text: it must not inherit that text's
// open comment.
TEST(THLEditor, ClearedOrReloadedTextDropsTheOldStates)
{
    {
        TSqlEditor sql({"/* open", "a", "b"});
        sql.Editor.Lines().SetLineListText("select,x,y");
        EXPECT_EQ(sql.States(), (std::vector<int>{0, 0, 0}));
        EXPECT_EQ(ClassMap(sql.Editor, 1), "I");
    }
    {
        TSqlEditor sql({"/* open", "a", "b"});
        sql.Editor.BeginUpdate();
        sql.Editor.ClearLines();
        sql.Editor.Lines().Add("select");
        sql.Editor.Lines().Add("x");
        sql.Editor.EndUpdate();
        EXPECT_EQ(sql.States(), (std::vector<int>{0, 0}));
        EXPECT_EQ(ClassMap(sql.Editor, 1), "I");
    }
}

TEST(THLEditor, HighlighterSwitchSelectsScannerAndRescans)
{
    TSqlEditor sql;
    sql.Editor.SetHighlighter(hlPascal);
    sql.Editor.Lines().Assign(QStringList{"/* a", "b"});
    EXPECT_EQ(sql.States(), (std::vector<int>{0, 0}));
    sql.Editor.SetHighlighter(hlSql);
    EXPECT_EQ(sql.States(), (std::vector<int>{0, 2}));
    EXPECT_EQ(ClassMap(sql.Editor, 0), "CCCC");
}

TEST(THLEditor, AssignTakesOverLanguageAndColours)
{
    TSqlEditor source({"x"});
    ApplyConsoleColorScheme(source.Editor);
    source.Editor.SetSyntaxHighlighting(false);

    THLEditor target;
    target.Lines().Assign(QStringList{"/* a", "b"});
    target.SetSelForeColor(clRed);
    target.Assign(source.Editor);
    EXPECT_EQ(target.Highlighter(), hlSql);
    EXPECT_EQ(target.Colors(), source.Editor.Colors());
    EXPECT_EQ(target.Color(), clNavy);
    EXPECT_EQ(target.SelForeColor(), clHighlightText);
    EXPECT_EQ(target.RightMarginColor(), clSilver);
    EXPECT_FALSE(target.SyntaxHighlighting());
    target.SetSyntaxHighlighting(true);
    EXPECT_EQ(target.LineStateOf(1), ltBlockComment);
    EXPECT_EQ(target.GetLineAttrs(0, 0, 1023)[1].ForeColor, clSilver) << "the scanner reads SQL";
}

// A highlighter that marks lines holding "{" as opening a state 1 and colours every line in one
// colour, counting what the editor asks of it.
class TBraceHighlighter : public TEditorHighlighter {
public:
    void ColorLine(THLEditor&, QStringView line, int index, TLongTokenType state, TLineAttrs& attrs) override
    {
        Colored.push_back({index, state});
        for (qsizetype c = 1; c <= line.size(); ++c)
            attrs[c] = {clLime, clBlack, fsUnderline, clNone};
    }
    TLongTokenType NextLineState(QStringView line, TLongTokenType state) override
    {
        return line.contains(u'{') ? 1 : state;
    }
    bool NeedsRescan(const TTextChange& change) override
    {
        ++Asked;
        return change.Text.contains(u'{');
    }

    std::vector<std::pair<int, int>> Colored;
    int Asked = 0;
};

TEST(THLEditor, SyntaxHighlighterComponent)
{
    TSqlEditor sql({"a", "b"});
    auto brace = std::make_unique<TBraceHighlighter>();
    sql.Editor.SetSyntaxHighlighter(brace.get());
    EXPECT_EQ(sql.Editor.Highlighter(), hlSyntaxHighlighter);

    sql.Editor.SetCaret(0, 0);
    sql.Editor.InsertText("x");
    sql.Editor.InsertText("{");
    EXPECT_EQ(brace->Asked, 2);
    EXPECT_EQ(sql.States(), (std::vector<int>{0, 1}));
    EXPECT_EQ(sql.Editor.GetLineAttrs(1, 0, 1023)[1], (TLineAttrCell{clLime, clBlack, fsUnderline, clNone}));
    EXPECT_EQ(brace->Colored.back(), (std::pair<int, int>{1, 1}));

    // Destroying the component makes the editor drop it.
    brace.reset();
    EXPECT_EQ(sql.Editor.SyntaxHighlighter(), nullptr);
    EXPECT_EQ(sql.Editor.Highlighter(), hlNone);
    EXPECT_EQ(ClassMap(sql.Editor, 1), "P");

    // Clearing it while another language is selected keeps that language.
    TBraceHighlighter other;
    sql.Editor.SetSyntaxHighlighter(&other);
    sql.Editor.SetHighlighter(hlSql);
    sql.Editor.SetSyntaxHighlighter(nullptr);
    EXPECT_EQ(sql.Editor.Highlighter(), hlSql);
    EXPECT_EQ(ClassMap(sql.Editor, 0), "IYI");
}

TEST(THLEditor, AWalkResumesFromTheLastKnownLineNeverFromTheTop)
{
    // A highlighter that counts the lines it walks.
    struct TCounting : TBraceHighlighter {
        TLongTokenType NextLineState(QStringView line, TLongTokenType state) override
        {
            ++Walked;
            return TBraceHighlighter::NextLineState(line, state);
        }
        int Walked = 0;
    } counting;
    TSqlEditor sql(QStringList(30000, "x"));
    sql.Editor.SetSyntaxHighlighter(&counting);  // rescans from line 0 as far as its limit
    ASSERT_EQ(sql.Editor.LineStates()[5000], 0);
    ASSERT_EQ(sql.Editor.LineStates()[5001], ltUndetermined);

    counting.Walked = 0;
    EXPECT_EQ(sql.Editor.LineStateOf(15000), 0);
    // From where the first rescan stopped, at most as far as the limit; a walk from the top would pass
    // 15000 lines before it reached line 15000.
    EXPECT_GT(counting.Walked, 0);
    EXPECT_LT(counting.Walked, 15000) << "the walk resumed from the last known line";
    EXPECT_EQ(sql.Editor.LineStates()[19999], 0);
    EXPECT_EQ(sql.Editor.LineStates()[20000], ltUndetermined);
    sql.Editor.SetSyntaxHighlighter(nullptr);
}

TEST(THLEditor, EditorDestroyedBeforeItsComponent)
{
    TBraceHighlighter brace;
    {
        THLEditor editor;
        editor.SetSyntaxHighlighter(&brace);
    }
    THLEditor survivor;
    survivor.SetSyntaxHighlighter(&brace);
    survivor.SetSyntaxHighlighter(nullptr);
    EXPECT_EQ(survivor.Highlighter(), hlNone);
}

// The number of pixels of a rectangle that stand out from its background: more for a bold glyph than
// for the same glyph upright.
int InkIn(const QImage& image, const QRect& rect, QColor background)
{
    int ink = 0;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const QColor pixel = image.pixel(x, y);
            const int distance = std::abs(pixel.red() - background.red())
                + std::abs(pixel.green() - background.green()) + std::abs(pixel.blue() - background.blue());
            ink += distance > 200 ? 1 : 0;
        }
    }
    return ink;
}

// The brightest pixel of a rectangle, as the sum of its three components.
int Brightest(const QImage& image, const QRect& rect)
{
    int brightest = 0;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const QColor pixel = image.pixel(x, y);
            brightest = std::max(brightest, pixel.red() + pixel.green() + pixel.blue());
        }
    }
    return brightest;
}

// A console pane on the offscreen platform: a keyword above an identifier that begins with the same
// six letters, so that the two rows differ only in colour and weight.
TEST(THLEditor, RenderedKeywordIsWhiteAndBoldOnNavyAndStaysBoldWhenSelected)
{
    TEditorView view(std::make_unique<THLEditor>());
    auto& editor = static_cast<THLEditor&>(view.Editor());
    editor.SetHighlighter(hlSql);
    ApplyConsoleColorScheme(editor);
    editor.Colors().Comment.Style = 0;
    TEditorFont font;
    font.Height = 13;
    editor.SetFont(font);
    editor.SetGutterWidth(25);
    view.resize(600, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    editor.Lines().Assign(QStringList{"select", "selectx"});

    const int cw = editor.CharWidth();
    const int lh = editor.LineHeight();
    ASSERT_GT(cw, 4);
    const QRect keyword(28, 0, 6 * cw, lh);
    const QRect identifier(28, lh, 6 * cw, lh);
    const QColor navy(0, 0, 128);

    const QImage plain = view.viewport()->grab().toImage();
    EXPECT_EQ(QColor(plain.pixel(keyword.topLeft())), navy);
    EXPECT_EQ(Brightest(plain, keyword), 3 * 255) << "the keyword has pure white pixels";
    EXPECT_LT(Brightest(plain, identifier), 3 * 255) << "yellow has no blue";
    const int boldInk = InkIn(plain, keyword, navy);
    const int uprightInk = InkIn(plain, identifier, navy);
    EXPECT_GT(boldInk, uprightInk * 11 / 10) << "bold " << boldInk << ", upright " << uprightInk;

    editor.SetCaretOffset(0);
    editor.SetSelectionLength(6 + 2 + 7);
    const QImage selected = view.viewport()->grab().toImage();
    const QColor highlight = TEditorView::ResolveColor(clHighlight, view.palette());
    EXPECT_EQ(QColor(selected.pixel(keyword.topLeft())), highlight);
    EXPECT_EQ(QColor(selected.pixel(identifier.topLeft())), highlight);
    const int selectedBold = InkIn(selected, keyword, highlight);
    const int selectedUpright = InkIn(selected, identifier, highlight);
    EXPECT_GT(selectedBold, selectedUpright * 11 / 10)
        << "bold " << selectedBold << ", upright " << selectedUpright;
}

} // namespace
