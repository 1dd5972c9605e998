// The search through a pane's lines: where it starts and where it goes round, letter case, and lines
// that change while it runs.
#include "TextSearch.h"

#include "Editor.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct TFound {
    int Line;
    int Column;
    bool Wrapped;
    bool operator==(const TFound&) const = default;
};

std::ostream& operator<<(std::ostream& out, const std::optional<TFound>& found)
{
    if (!found)
        return out << "nothing";
    return out << found->Column << "," << found->Line << (found->Wrapped ? " wrapped" : "");
}

// Runs a search to its end, a few lines at a time as the find bar does in its slices.
std::optional<TFound> Search(const TCustomEditor& editor, const QString& text, bool forward, int line,
                             int column, Qt::CaseSensitivity sensitivity = Qt::CaseInsensitive)
{
    TTextSearch search(text, sensitivity, forward, line, column, editor.LineCount());
    while (!search.Step(editor, 2)) {
    }
    if (!search.Found())
        return std::nullopt;
    EXPECT_EQ(search.Found()->Length, text.size());
    return TFound{search.Found()->Line, search.Found()->Column, search.Found()->Wrapped};
}

TEST(TextSearch, StartsAtThePositionAndGoesRoundTheText)
{
    TEditor editor;
    editor.Lines().Assign({"select a", "from t", "where a = 'A'", "and b = a"});
    struct TCase {
        const char* Name;
        QString Text;
        bool Forward;
        int Line;
        int Column;
        std::optional<TFound> Expected;
        Qt::CaseSensitivity Sensitivity = Qt::CaseInsensitive;
    };
    const TCase cases[] = {
        {"a match at the start position", "a", true, 0, 7, TFound{0, 7, false}},
        {"forward to a later line", "a", true, 0, 8, TFound{2, 6, false}},
        {"forward round the end to the start line", "select", true, 1, 0, TFound{0, 0, true}},
        {"round the end to the start line, before the start", "select", true, 0, 3, TFound{0, 0, true}},
        {"forward, letter case ignored", "A", true, 2, 7, TFound{2, 11, false}},
        {"forward, letter case counts", "A", true, 2, 12, TFound{2, 11, true}, Qt::CaseSensitive},
        {"back: the last match before the start", "a", false, 3, 8, TFound{3, 0, false}},
        {"back to an earlier line", "a", false, 3, 0, TFound{2, 11, false}},
        {"back round the start to the end", "and", false, 1, 0, TFound{3, 0, true}},
        {"back round to the start line, at or after the start", "select", false, 0, 0, TFound{0, 0, true}},
        {"not found anywhere", "xyz", true, 2, 3, std::nullopt},
        {"not found with letter case counting", "SELECT", false, 0, 0, std::nullopt, Qt::CaseSensitive},
        {"a start past the last line is the last line", "and", true, 9, 0, TFound{3, 0, false}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Search(editor, c.Text, c.Forward, c.Line, c.Column, c.Sensitivity), c.Expected);
    }
}

TEST(TextSearch, NothingToFindEndsAtOnce)
{
    TEditor editor;
    TTextSearch inEmpty("a", Qt::CaseSensitive, true, 0, 0, editor.LineCount());
    EXPECT_TRUE(inEmpty.Ended());
    editor.Lines().Assign({"abc"});
    TTextSearch emptyText("", Qt::CaseSensitive, true, 0, 0, editor.LineCount());
    EXPECT_TRUE(emptyText.Ended());
    EXPECT_FALSE(emptyText.Found());
}

// Each line is visited once, at the step it comes to: lines that went meanwhile are passed over,
// lines added after the start are not searched, and a step stops after its lines.
TEST(TextSearch, LinesThatChangeBetweenSteps)
{
    TEditor editor;
    editor.Lines().Assign({"a", "b", "c", "needle"});
    TTextSearch search("needle", Qt::CaseSensitive, true, 0, 0, editor.LineCount());
    EXPECT_FALSE(search.Step(editor, 1));
    editor.ClearLines();
    editor.Lines().Assign({"a", "b"});
    while (!search.Step(editor, 1)) {
    }
    EXPECT_FALSE(search.Found()) << "the line holding it went";

    editor.Lines().Assign({"a", "b"});
    TTextSearch later("late", Qt::CaseSensitive, true, 0, 0, editor.LineCount());
    editor.AppendLines({"late"});
    while (!later.Step(editor, 1)) {
    }
    EXPECT_FALSE(later.Found());
}

// A match far right on a long line, on the last line of many.
TEST(TextSearch, FarRightOnTheLastLine)
{
    TEditor editor;
    QStringList lines;
    for (int i = 0; i < 5000; ++i)
        lines << QStringLiteral("-- | %1 | row |").arg(i);
    lines << QString(3000, u'x') + QStringLiteral("Needle");
    editor.Lines().Assign(lines);
    EXPECT_EQ(Search(editor, "needle", true, 0, 0), (TFound{5000, 3000, false}));
    EXPECT_EQ(Search(editor, "needle", false, 0, 0), (TFound{5000, 3000, true}));
}

} // namespace
