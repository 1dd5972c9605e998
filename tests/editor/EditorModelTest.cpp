// The editor's text model through a fake window: batching, caret, insertion, clearing, offsets, the
// line store's rules, the store operations, tab stops and the undo buffer.
#include "TestEditor.h"

#include <gtest/gtest.h>

namespace {

const QString kEmoji = QStringLiteral("\U0001F600");

std::string Describe(const QStringList& lines)
{
    return lines.join(u'|').toStdString();
}

} // namespace

TEST(EditorBatch, OnlyTheOutermostEndUpdateRefreshes)
{
    TEditorHarness h({QStringLiteral("abc")});
    h.Editor.BeginUpdate();
    h.Editor.BeginUpdate();
    h.Editor.EndUpdate();
    EXPECT_EQ(h.Editor.UpdateCount(), 1);
    EXPECT_EQ(h.Statuses, 0);
    EXPECT_EQ(h.Platform.InvalidateAllCount, 0);
    TRecordingCanvas canvas;
    h.Editor.Paint(canvas, QRect(0, 0, 400, 200));
    EXPECT_TRUE(canvas.Order.empty()) << "nothing is painted while batching";

    h.Editor.EndUpdate();
    EXPECT_EQ(h.Editor.UpdateCount(), 0);
    EXPECT_EQ(h.Statuses, 1);
    EXPECT_GE(h.Platform.InvalidateAllCount, 1);
}

TEST(EditorBatch, UnpairedEndUpdateRaisesAndChangesNothing)
{
    TEditorHarness h({QStringLiteral("abc")});
    try {
        h.Editor.EndUpdate();
        FAIL() << "no error";
    } catch (const TEditorError& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).startsWith(QStringLiteral("Assertion failure")));
    }
    EXPECT_EQ(h.Editor.UpdateCount(), 0);
    EXPECT_EQ(h.Statuses, 0);
    EXPECT_EQ(h.Platform.InvalidateAllCount, 0);
}

TEST(EditorBatch, InsideABatchTheTextAndCaretChangeButNothingScrollsPixels)
{
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("line %1").arg(i);
    TEditorHarness h(lines);
    h.Editor.BeginUpdate();
    h.Editor.SetCaret(0, 60);
    h.Editor.InsertText(QStringLiteral("x"));
    EXPECT_EQ(h.Editor.TopRow(), 60 - 12 + 1);
    EXPECT_EQ(h.Editor.Lines()[60], QStringLiteral("xline 60"));
    EXPECT_TRUE(h.Platform.Scrolls.empty());
    EXPECT_EQ(h.Platform.UpdateNowCount, 0);
    EXPECT_GT(h.Changes, 0);
    EXPECT_GT(h.Scrolls, 0);
    h.Editor.EndUpdate();
}

TEST(EditorCaret, SetCaretClampsAndRecordsTheOldCaret)
{
    struct TCase {
        const char* Name;
        QStringList Lines;
        bool BeyondEOF;
        QPoint From;
        QPoint Target;
        QPoint Expected;
    };
    const TCase cases[] = {
        {"below the last line", {"a", "b", "c"}, false, {0, 0}, {5, 99}, {5, 2}},
        {"past column 1024", {"a", "b", "c"}, false, {0, 0}, {2000, 0}, {2000, 0}},
        {"past the last column", {"a"}, false, {0, 0}, {kMaxColumn + 9, 0}, {kMaxColumn, 0}},
        {"past the end of the line", {"abc"}, false, {0, 0}, {10, 0}, {10, 0}},
        {"negative", {"abc"}, false, {3, 0}, {-4, -2}, {0, 0}},
        {"empty store", {}, false, {0, 0}, {3, 5}, {3, 0}},
        {"beyond the end allowed", {"abc"}, true, {0, 0}, {1, 7}, {1, 7}},
    };
    for (const TCase& c : cases) {
        TEditorHarness h(c.Lines);
        h.Editor.SetCursorBeyondEOF(c.BeyondEOF);
        h.Editor.PlaceCaret(c.From.x(), c.From.y());
        h.ResetCounts();
        h.Editor.SetCaret(c.Target.x(), c.Target.y());
        EXPECT_EQ(h.Caret(), c.Expected) << c.Name;
        ASSERT_EQ(h.Undo().Count(), 1) << c.Name;
        const TUndo& record = *h.Undo().Current();
        EXPECT_EQ(record.Kind(), TUndoKind::Caret) << c.Name;
        EXPECT_EQ(QPoint(record.X(), record.Y()), c.From) << c.Name;
        EXPECT_GE(h.Statuses, 1) << c.Name;
    }
}

TEST(EditorCaret, SetCaretToTheCaretDoesNothing)
{
    TEditorHarness h({QStringLiteral("abc")});
    h.Editor.SetCaret(2, 0);
    h.ResetCounts();
    const int records = h.Undo().Count();
    h.Editor.SetCaret(2, 0);
    h.Editor.SetCaretX(2);
    h.Editor.SetCaretY(0);
    EXPECT_EQ(h.Undo().Count(), records);
    EXPECT_EQ(h.Statuses, 0);
}

TEST(EditorCaret, SetCaretNotifiesItselfOnlyOutsideABatch)
{
    TEditorHarness h({QStringLiteral("abc"), QStringLiteral("def")});
    h.Editor.SetCaret(1, 1);
    EXPECT_EQ(h.Statuses, 2) << "PlaceCaret and SetCaret";
    h.Editor.BeginUpdate();
    h.ResetCounts();
    h.Editor.SetCaret(2, 0);
    EXPECT_EQ(h.Statuses, 1) << "PlaceCaret only";
    h.Editor.EndUpdate();
}

TEST(EditorCaret, AReadOnlyEditorKeepsNoUndoRecords)
{
    TEditorHarness h({QStringLiteral("abc")});
    h.Editor.SetReadOnly(true);
    h.Editor.SetCaret(2, 0);
    h.Editor.InsertText(QStringLiteral("x"));
    EXPECT_EQ(h.Lines(), QStringList{QStringLiteral("abxc")}) << "the program still writes";
    EXPECT_EQ(h.Undo().Count(), 0);
}

TEST(EditorInsertText, InsertsAtTheCaretAndPutsTheCaretAfterTheText)
{
    struct TCase {
        const char* Name;
        QStringList Lines;
        QPoint Caret;
        QString Text;
        QStringList Expected;
        QPoint ExpectedCaret;
    };
    const TCase cases[] = {
        {"break in the middle", {"xyz"}, {2, 0}, "ab\r\ncd", {"xyab", "cdz"}, {2, 1}},
        {"break at the end of the text", {"xyz"}, {0, 0}, "ab\r\n", {"ab", "xyz"}, {0, 1}},
        {"past the end of the line", {"abc"}, {5, 0}, "x", {"abc  x"}, {6, 0}},
        {"a lone CR breaks the line but not the caret", {}, {0, 0}, "a\rb", {"a", "b"}, {3, 0}},
        {"empty store", {}, {0, 0}, "line", {"line"}, {4, 0}},
        {"empty text rewrites the line", {"ab  "}, {0, 0}, "", {"ab"}, {0, 0}},
        {"appending as the transcript does", {"mysql> select 1;"}, {16, 0}, "\r\n-- 1 rows",
            {"mysql> select 1;", "-- 1 rows"}, {9, 1}},
        {"only the first and last line lose blanks", {""}, {0, 0}, "a  \r\nb  \r\nc  ", {"a", "b  ", "c"},
            {3, 2}},
        {"tabs become blanks before the caret is counted", {"ab"}, {1, 0}, "\t", {"a       b"}, {8, 0}},
        {"a caret inside a surrogate pair inserts after it", {"a" + kEmoji + "b"}, {2, 0}, "x",
            {"a" + kEmoji + "xb"}, {4, 0}},
    };
    for (const TCase& c : cases) {
        TEditorHarness h(c.Lines);
        h.Editor.PlaceCaret(c.Caret.x(), c.Caret.y());
        h.ResetCounts();
        h.Editor.InsertText(c.Text);
        EXPECT_EQ(h.Lines(), c.Expected) << c.Name << ": " << Describe(h.Lines());
        EXPECT_EQ(h.Caret(), c.ExpectedCaret) << c.Name;
        EXPECT_GE(h.Changes, 1) << c.Name;
        EXPECT_TRUE(h.Editor.Modified()) << c.Name;
        ASSERT_FALSE(h.Editor.TextChanges.empty()) << c.Name;
        EXPECT_EQ(h.Editor.TextChanges.back().Kind, TTextChangeKind::Insertion) << c.Name;
    }
}

TEST(EditorInsertText, RecordsOneInsertUndoWithWhatItInserted)
{
    TEditorHarness h({QStringLiteral("xyz")});
    h.Editor.PlaceCaret(1, 0);
    h.Editor.SetModified(false);
    h.Editor.InsertText(QStringLiteral("ab\r\ncd\r\nef"));
    ASSERT_EQ(h.Undo().Count(), 1);
    const auto& record = dynamic_cast<const TInsertUndo&>(*h.Undo().Current());
    EXPECT_EQ(record.Kind(), TUndoKind::Insert);
    EXPECT_EQ(record.Text(), QStringLiteral("ab\r\ncd\r\nef"));
    EXPECT_EQ(QPoint(record.X(), record.Y()), QPoint(1, 0));
    EXPECT_FALSE(record.Modified()) << "Modified as it was before the change";
    EXPECT_EQ(h.Inserted, (std::vector<int>{1, 2}));
}

TEST(EditorInsertText, AnEmptyStoreGetsItsFirstLineAsAChangeOfItsOwn)
{
    TEditorHarness empty;
    empty.Editor.InsertText(QStringLiteral("line"));
    TEditorHarness filled({QString()});
    filled.Editor.InsertText(QStringLiteral("line"));
    EXPECT_EQ(empty.Changes, filled.Changes + 1);
}

TEST(EditorClearLines, RemovesEverythingInOneStepAndForgetsTheOldTextsUndoAndSelection)
{
    TEditorHarness h({"a", "b", "c", "d", "e", "f", "g", "h"});
    h.Editor.SetCaret(4, 7);
    h.Editor.Select(bfNonInclusive, 1, 2, 3, 4);
    ASSERT_TRUE(h.Editor.CanUndo());
    h.ResetCounts();
    h.Editor.ClearLines();
    EXPECT_EQ(h.Editor.Lines().Count(), 0);
    EXPECT_EQ(h.Caret(), QPoint(4, 0));
    EXPECT_GE(h.Changes, 1);
    EXPECT_GE(h.Statuses, 1);
    EXPECT_TRUE(h.Deleted.empty());
    EXPECT_EQ(h.Undo().Count(), 0) << "undo never applies the records of the old text";
    EXPECT_FALSE(h.Editor.Selected());
    EXPECT_EQ(h.Editor.RowCount(), 1);
    ASSERT_FALSE(h.Editor.TextChanges.empty());
    EXPECT_EQ(h.Editor.TextChanges.back().Kind, TTextChangeKind::WholeText) << "a highlighter starts over";

    h.ResetCounts();
    h.Editor.ClearLines();
    EXPECT_EQ(h.Changes + h.Statuses, 0) << "clearing an empty store does nothing at all";
    EXPECT_TRUE(h.Editor.TextChanges.empty());
}

TEST(EditorOffsets, CountEveryCharacterAndTwoPerLineBreak)
{
    TEditorHarness h({QStringLiteral("ab"), QStringLiteral("cde")});
    struct TToOffset {
        QPoint Pos;
        int Offset;
    };
    for (const TToOffset& c : {TToOffset{{1, 1}, 5}, {{9, 0}, 2}, {{0, 0}, 0}, {{0, 2}, -1}})
        EXPECT_EQ(h.Editor.PosToOffset(c.Pos.x(), c.Pos.y()), c.Offset) << c.Pos.x() << "," << c.Pos.y();
    struct TToPos {
        int Offset;
        QPoint Pos;
    };
    for (const TToPos& c : {TToPos{2, {2, 0}}, {4, {0, 1}}, {3, {-1, 1}}, {7, {3, 1}}, {8, {-1, -1}},
             {-1, {-1, -1}}, {0, {0, 0}}})
        EXPECT_EQ(h.Editor.OffsetToPos(c.Offset), c.Pos) << c.Offset;
}

TEST(EditorOffsets, SetCaretOffsetPlacesTheCaretAndDropsTheSelection)
{
    struct TCase {
        QStringList Lines;
        int Offset;
        QPoint Caret;
    };
    const TCase cases[] = {
        {{"ab", "cde"}, 3, {0, 1}},   // between CR and LF
        {{"ab", "cde"}, 6, {2, 1}},
        {{"ab", "cde"}, 99, {0, 0}},  // beyond the end
        {{"ab", "cde"}, -5, {0, 0}},
        {{}, 0, {0, 0}},
    };
    for (const TCase& c : cases) {
        TEditorHarness h(c.Lines);
        h.Editor.PlaceCaret(1, 1);
        h.Editor.Select(bfNonInclusive, 0, 0, 1, 0);
        h.Editor.SetCaretOffset(c.Offset);
        EXPECT_EQ(h.Caret(), c.Caret) << c.Offset;
        EXPECT_FALSE(h.Editor.Selected());
        EXPECT_FALSE(h.Editor.SelAnchored());
    }
}

TEST(EditorOffsets, SetCaretOffsetCentresALineOutOfView)
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << QString(150, QChar(u'a' + i % 26));
    struct TCase {
        int ClientHeight;
        int Line;
        int ViewTop;  // where the user scrolled to
        int ExpectedTop;
    };
    const TCase cases[] = {
        {200, 50, 90, 44},  // 12.5 rows make 12 (a half to even), half of them 6
        {208, 50, 90, 44},  // 13 rows, half of them 6.5 makes 6
        {240, 50, 90, 42},  // 15 rows, half of them 7.5 makes 8
        {200, 50, 45, 45},  // already in view: no scrolling
        {200, 3, 90, 0},
    };
    for (const TCase& c : cases) {
        TEditorHarness h(lines, QSize(400, c.ClientHeight));
        h.Editor.SetCaret(0, c.Line);
        h.Editor.ScrollBarMoved(true, c.ViewTop);
        ASSERT_EQ(h.Editor.TopRow(), c.ViewTop);
        h.Editor.SetCaretOffset(h.Editor.PosToOffset(0, c.Line));
        EXPECT_EQ(h.Editor.TopRow(), c.ExpectedTop) << c.ClientHeight << " " << c.Line;
        EXPECT_EQ(h.Caret(), QPoint(0, c.Line));
    }

    TEditorHarness h(lines);
    h.Editor.SetCaret(140, 120);
    ASSERT_GT(h.Editor.LeftCol(), 0);
    h.Editor.SetCaretOffset(0);
    EXPECT_EQ(h.Caret(), QPoint(0, 0));
    EXPECT_EQ(h.Editor.TopRow(), 0);
    EXPECT_EQ(h.Editor.LeftCol(), 0);
}

TEST(EditorOffsets, SetSelectionLengthSelectsFromTheCaret)
{
    TEditorHarness h({QStringLiteral("ab"), QStringLiteral("cde")});
    h.Editor.SetCaretOffset(1);
    h.Editor.SetSelectionLength(4);
    EXPECT_TRUE(h.Editor.Selected());
    EXPECT_EQ(QPoint(h.Editor.SelBegX(), h.Editor.SelBegY()), QPoint(1, 0));
    EXPECT_EQ(QPoint(h.Editor.SelEndX(), h.Editor.SelEndY()), QPoint(1, 1));
    EXPECT_EQ(h.Caret(), QPoint(1, 1));
    h.Editor.SetCaretOffset(1);
    h.Editor.SetSelectionLength(0);
    EXPECT_FALSE(h.Editor.Selected());
}

TEST(EditorLines, WritingAnItemCutsTrailingBlanksAndRecordsThem)
{
    TEditorHarness h({QStringLiteral("x"), QStringLiteral("y")});
    h.Editor.Lines().Put(1, QStringLiteral("ab  "));
    EXPECT_EQ(h.Editor.Lines()[1], QStringLiteral("ab"));
    ASSERT_EQ(h.Undo().Count(), 1);
    const auto& record = dynamic_cast<const TDeleteTrailUndo&>(*h.Undo().Current());
    EXPECT_EQ(record.Text(), QStringLiteral("  "));
    EXPECT_EQ(QPoint(record.X(), record.Y()), QPoint(2, 1));
    EXPECT_TRUE(record.Attached());

    h.Editor.Lines().Add(QStringLiteral("ab  "));
    EXPECT_EQ(h.Editor.Lines()[2], QStringLiteral("ab  ")) << "adding keeps the blanks";
    h.Editor.Lines().Put(0, QStringLiteral("a\tb"));
    EXPECT_EQ(h.Editor.Lines()[0], QStringLiteral("a\tb")) << "writing an item expands no tabs";
    EXPECT_EQ(h.Undo().Count(), 1) << "nothing was cut";

    h.Editor.SetKeepTrailingBlanks(true);
    h.Editor.Lines().Put(0, QStringLiteral("kept  "));
    EXPECT_EQ(h.Editor.Lines()[0], QStringLiteral("kept  "));
}

TEST(EditorLines, AnIndexOutsideTheListIsAnError)
{
    TEditorHarness h({QStringLiteral("a"), QStringLiteral("b")});
    TEditorStrings& lines = h.Editor.Lines();
    const std::function<void()> calls[] = {
        [&] { lines.Get(2); },
        [&] { lines.Get(-1); },
        [&] { lines.Put(5, QStringLiteral("x")); },
        [&] { lines.Delete(2); },
        [&] { lines.Insert(3, QStringLiteral("x")); },
    };
    const char* messages[] = {"List index out of bounds (2)", "List index out of bounds (-1)",
        "List index out of bounds (5)", "List index out of bounds (2)", "List index out of bounds (3)"};
    for (std::size_t i = 0; i < std::size(calls); ++i) {
        try {
            calls[i]();
            ADD_FAILURE() << "no error for " << messages[i];
        } catch (const TEditorError& error) {
            EXPECT_STREQ(error.what(), messages[i]);
        }
    }
    EXPECT_EQ(h.Lines(), (QStringList{"a", "b"}));
}

TEST(EditorLines, InsertAndDeleteReportTheirLines)
{
    TEditorHarness h({QStringLiteral("a"), QStringLiteral("b")});
    h.Editor.Lines().Insert(1, QStringLiteral("x\ty"));
    h.Editor.Lines().Add(QStringLiteral("z"));
    h.Editor.Lines().Delete(0);
    EXPECT_EQ(h.Inserted, std::vector<int>{1});
    EXPECT_EQ(h.Deleted, std::vector<int>{0});
    EXPECT_EQ(h.Lines(), (QStringList{"x       y", "b", "z"}));
    EXPECT_EQ(h.Changes, 3);
}

TEST(EditorLines, LoadingTheLineListFormIsOneChange)
{
    TEditorHarness h({QStringLiteral("select 1")});
    h.Editor.SetCaret(3, 0);
    ASSERT_TRUE(h.Editor.CanUndo());
    const QString same = h.Editor.Lines().LineListText();
    h.ResetCounts();
    h.Editor.Lines().SetLineListText(same);
    EXPECT_EQ(h.Changes, 1) << "also when the lines stay the same";
    EXPECT_EQ(h.Lines(), QStringList{QStringLiteral("select 1")});

    h.ResetCounts();
    h.Editor.Lines().SetLineListText(QStringLiteral("\"a\tb\",\"c  \",d"));
    EXPECT_EQ(h.Changes, 1);
    EXPECT_EQ(h.Lines(), (QStringList{"a       b", "c  ", "d"}));
    EXPECT_EQ(h.Undo().Count(), 0) << "a recalled text starts with an empty undo buffer";
    ASSERT_EQ(h.Editor.TextChanges.size(), 1u);
    EXPECT_EQ(h.Editor.TextChanges.front().Kind, TTextChangeKind::WholeText);

    const QStringList tricky = {"", "  x, \"y\" ", "", "-- comment", ""};
    h.Editor.Lines().Assign(tricky);
    h.Editor.Lines().SetLineListText(h.Editor.Lines().LineListText());
    EXPECT_EQ(h.Lines(), tricky);
}

TEST(EditorLines, AssigningResetsTheTextAndEmptiesTheUndoBuffer)
{
    TEditorHarness h({QStringLiteral("abc")});
    h.Editor.SetCaret(2, 0);
    h.Editor.Select(bfNonInclusive, 0, 0, 1, 0);
    h.ResetCounts();
    h.Editor.Lines().Assign(QStringList{QStringLiteral("x\ty"), QStringLiteral("z")});
    EXPECT_EQ(h.Lines(), (QStringList{"x       y", "z"}));
    EXPECT_EQ(h.Undo().Count(), 0);
    EXPECT_FALSE(h.Editor.Selected());
    ASSERT_EQ(h.Editor.TextChanges.size(), 1u);
    EXPECT_EQ(h.Editor.TextChanges.front().Kind, TTextChangeKind::WholeText);
    EXPECT_EQ(h.Editor.UpdateCount(), 0);
    EXPECT_GE(h.Statuses, 1) << "its batch ended";

    h.Editor.SetCaret(0, 1);
    h.Editor.Lines().AddStrings(QStringList{QStringLiteral("w")});
    EXPECT_EQ(h.Lines(), (QStringList{"x       y", "z", "w"}));
    EXPECT_EQ(h.Undo().Count(), 0);
}

TEST(EditorLines, SettingTheWholeText)
{
    TEditorHarness h({QStringLiteral("old")});
    h.Editor.SetCaret(1, 0);
    h.Editor.Lines().SetText(QStringLiteral("a\r\nb\rc\nd\te\r\n"));
    EXPECT_EQ(h.Lines(), (QStringList{"a", "b", "c", "d       e"}));
    EXPECT_EQ(h.Undo().Count(), 0);
    EXPECT_EQ(h.Editor.Lines().Text(), QStringLiteral("a\r\nb\r\nc\r\nd       e\r\n"));

    h.Editor.SetCaret(2, 0);
    h.Editor.BeginUpdate();
    h.Editor.Lines().SetText(QStringLiteral("x"));
    h.Editor.EndUpdate();
    EXPECT_EQ(h.Undo().Count(), 0) << "inside a batch too: the records belonged to the old text";
    h.Editor.Lines().SetText(h.Editor.Lines().Text());
    EXPECT_EQ(h.Lines(), QStringList{QStringLiteral("x")});
}

TEST(EditorStore, DeleteTextRange)
{
    struct TCase {
        const char* Name;
        QStringList Lines;
        int FirstColumn, FirstLine, LastLine, LastColumn;
        QStringList Expected;
    };
    const TCase cases[] = {
        {"join two lines", {"ab", "cd"}, 2, 0, 1, -1, {"abcd"}},
        {"inside a line", {"abcdef"}, 1, 0, 0, 3, {"aef"}},
        {"across lines", {"abc", "def", "ghi"}, 1, 0, 2, 0, {"ahi"}},
        {"last line past the end", {"abc", "def"}, 1, 0, 9, 0, {"a"}},
        {"first line before the start", {"abc", "def"}, 2, -1, 1, 0, {"ef"}},
        {"first line past the end", {"abc"}, 0, 3, 4, 0, {"abc"}},
        {"head padded to the column", {"ab", "cd"}, 4, 0, 1, -1, {"ab  cd"}},
        {"the result loses its trailing blanks", {"ab  x"}, 4, 0, 0, 4, {"ab"}},
        {"a surrogate pair goes whole", {"a" + kEmoji + "b"}, 1, 0, 0, 1, {"ab"}},
        {"a range inside a pair is empty", {"a" + kEmoji + "b"}, 2, 0, 0, 2, {"a" + kEmoji + "b"}},
        {"a range ending before it starts", {"abcdef"}, 4, 0, 0, 1, {"abcdef"}},
    };
    for (const TCase& c : cases) {
        TEditorHarness h(c.Lines);
        h.Editor.DeleteTextRange(c.FirstColumn, c.FirstLine, c.LastLine, c.LastColumn);
        EXPECT_EQ(h.Lines(), c.Expected) << c.Name << ": " << Describe(h.Lines());
        EXPECT_EQ(h.Undo().Count(), 0) << c.Name;
    }

    TEditorHarness h({"a", "b", "c", "d"});
    h.Editor.DeleteTextRange(0, 0, 3, 0);
    EXPECT_EQ(h.Deleted, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(h.Changes, 1) << "one change of the store";
}

TEST(EditorStore, ColumnText)
{
    TEditorHarness h({QStringLiteral("ab"), QStringLiteral("c")});
    h.Editor.InsertColumnText(3, 0, QStringLiteral("X\r\nY\r\nZ"));
    EXPECT_EQ(h.Lines(), (QStringList{"ab X", "c  Y", "   Z"}));
    EXPECT_EQ(h.Changes, 1);

    struct TCase {
        QStringList Lines;
        int FirstColumn, FirstLine, LastLine, LastColumn;
        QStringList Expected;
    };
    const TCase cases[] = {
        {{"abcdef", "ab", "abcd"}, 1, 0, 2, 2, {"adef", "a", "ad"}},
        {{"abcdef", "abcdef"}, 4, 1, 7, 9, {"abcdef", "abcd"}},
        {{"a" + kEmoji + "b"}, 1, 0, 0, 1, {"ab"}},
        {{"abc"}, 0, 2, 3, 1, {"abc"}},
    };
    for (const TCase& c : cases) {
        TEditorHarness t(c.Lines);
        t.Editor.DeleteColumnText(c.FirstColumn, c.FirstLine, c.LastLine, c.LastColumn);
        EXPECT_EQ(t.Lines(), c.Expected) << Describe(t.Lines());
    }
}

TEST(EditorStore, WriteLineExpandsTabsAndCutsBlanksWithoutARecord)
{
    TEditorHarness h({QStringLiteral("x")});
    h.Editor.WriteLine(0, QStringLiteral("\tab  "));
    EXPECT_EQ(h.Editor.Lines()[0], QStringLiteral("       ab"));
    EXPECT_EQ(h.Undo().Count(), 0);
    h.Editor.SetKeepTrailingBlanks(true);
    h.Editor.WriteLine(0, QStringLiteral("ab  "));
    EXPECT_EQ(h.Editor.Lines()[0], QStringLiteral("ab  "));
    EXPECT_EQ(h.Editor.ExpandTabs(QStringLiteral("a\tb\t")), QStringLiteral("a       b       "));
}

TEST(EditorStore, PadLineToCaretMakesTheCaretPositionReal)
{
    TEditorHarness empty;
    empty.Editor.PlaceCaret(3, 0);
    empty.Editor.PadLineToCaret();
    EXPECT_EQ(empty.Lines(), QStringList{QStringLiteral("   ")});
    ASSERT_EQ(empty.Undo().Count(), 1);
    const auto& record = dynamic_cast<const TReLineUndo&>(*empty.Undo().Current());
    EXPECT_EQ(record.Text(), QStringLiteral("\r\n"));
    EXPECT_EQ(QPoint(record.X(), record.Y()), QPoint(3, 0));
    EXPECT_TRUE(record.Attached());

    TEditorHarness beyond({QStringLiteral("ab")});
    beyond.Editor.SetCursorBeyondEOF(true);
    beyond.Editor.PlaceCaret(2, 3);
    beyond.Editor.PadLineToCaret();
    EXPECT_EQ(beyond.Lines(), (QStringList{"ab", "", "", "  "}));
    ASSERT_EQ(beyond.Undo().Count(), 3);
    const QPoint expected[] = {{2, 0}, {0, 1}, {0, 2}};
    for (int i = 0; i < 3; ++i) {
        const TUndo& item = beyond.Undo().Item(i);
        EXPECT_EQ(item.Kind(), TUndoKind::ReLine);
        EXPECT_EQ(QPoint(item.X(), item.Y()), expected[i]) << "where line break " << i << " goes";
    }
}

TEST(EditorTabs, GetTabStop)
{
    struct TCase {
        const char* Stops;
        int Column;
        bool Next;
        int Expected;
    };
    const TCase cases[] = {
        {"8 16", 0, true, 7}, {"8 16", 7, true, 15}, {"8 16", 15, true, 23}, {"8 16", 20, true, 23},
        {"8 16", 16, false, 15}, {"8 16", 20, false, 15}, {"8 16", 23, false, 15}, {"8 16", 15, false, 7},
        {"8 16", 7, false, 0}, {"8 16", 3, false, 0},
        {"3 5", 0, true, 2}, {"3 5", 4, true, 6}, {"3 5", 5, true, 6}, {"3 5", 10, false, 8},
        {"4", 3, true, 7}, {"4", 5, false, 3},
        {"", 0, true, 7}, {"", 3, false, 0},
    };
    for (const TCase& c : cases) {
        TTestEditor editor;
        editor.SetTabStops(QString::fromLatin1(c.Stops));
        EXPECT_EQ(editor.GetTabStop(c.Column, c.Next), c.Expected)
            << "\"" << c.Stops << "\" from " << c.Column << (c.Next ? " next" : " previous");
    }
    TTestEditor editor;
    EXPECT_EQ(editor.TabStops(), QStringLiteral("3 5"));
}

TEST(EditorUndoBuffer, PushDropsWhatWasUndoneAndNothingIsPushedWhileUndoing)
{
    TTestEditor editor;
    TUndoBuffer& buffer = editor.UndoBuffer();
    EXPECT_EQ(buffer.CurrentIndex(), -1);
    EXPECT_FALSE(buffer.CanUndo());
    for (int i = 0; i < 3; ++i)
        buffer.Push(std::make_unique<TCaretUndo>(editor, i, 0));
    EXPECT_EQ(buffer.CurrentIndex(), 2);
    buffer.SetCurrentIndex(0);
    buffer.Push(std::make_unique<TCaretUndo>(editor, 9, 9));
    ASSERT_EQ(buffer.Count(), 2);
    EXPECT_EQ(buffer.Current()->X(), 9);
    EXPECT_EQ(buffer.Item(0).X(), 0);

    buffer.SetUndoRunning(true);
    buffer.Push(std::make_unique<TCaretUndo>(editor, 7, 7));
    editor.SetCaret(5, 0);
    EXPECT_EQ(buffer.Count(), 2);
    buffer.SetUndoRunning(false);

    buffer.SetCurrentIndex(0);
    buffer.DropAfterCurrent();
    EXPECT_EQ(buffer.Count(), 1);
    buffer.Clear();
    EXPECT_EQ(buffer.Count(), 0);
    EXPECT_EQ(buffer.CurrentIndex(), -1);
}

TEST(EditorProperties, DefaultsOfANewEditor)
{
    TTestEditor editor;
    EXPECT_FALSE(editor.ReadOnly());
    EXPECT_TRUE(editor.InsertMode());
    EXPECT_FALSE(editor.CursorBeyondEOF());
    EXPECT_FALSE(editor.KeepTrailingBlanks());
    EXPECT_EQ(editor.GutterWidth(), 0);
    EXPECT_EQ(editor.GutterColor(), clBtnFace);
    EXPECT_TRUE(editor.RightMarginVisible());
    EXPECT_EQ(editor.RightMargin(), 80);
    EXPECT_EQ(editor.RightMarginColor(), clSilver);
    EXPECT_EQ(editor.SelForeColor(), clHighlightText);
    EXPECT_EQ(editor.SelBackColor(), clHighlight);
    EXPECT_EQ(editor.SelBlockFormat(), bfNonInclusive);
    EXPECT_EQ(editor.ScrollBars(), ssBoth);
    EXPECT_EQ(editor.BorderStyle(), bsSingle);
    EXPECT_FALSE(editor.HideCaret());
    EXPECT_TRUE(editor.BeepOnError());
    EXPECT_EQ(editor.Color(), clWindow);
    EXPECT_EQ(editor.Font().Family, QStringLiteral("Courier New"));
    EXPECT_EQ(editor.Font().Size, 10);
    EXPECT_EQ(QPoint(editor.CaretX(), editor.CaretY()), QPoint(0, 0));
    EXPECT_EQ(editor.RowCount(), 1);
    EXPECT_FALSE(editor.Completion().Enabled);
    EXPECT_EQ(editor.Completion().Interval, 800);
    EXPECT_EQ(editor.Completion().CaretChar, QStringLiteral("|"));
    EXPECT_EQ(editor.Completion().CRLF, QStringLiteral("/n"));
    EXPECT_EQ(editor.Completion().Separator, QStringLiteral("="));
    EXPECT_FALSE(editor.BracketHighlighting().Active);
}

TEST(EditorProperties, ReadOnlyAndInsertModeNotifyOnlyWhenTheyChange)
{
    TEditorHarness h;
    h.Editor.SetReadOnly(false);
    h.Editor.SetInsertMode(true);
    EXPECT_EQ(h.Statuses, 0);
    h.Editor.SetReadOnly(true);
    h.Editor.SetInsertMode(false);
    EXPECT_EQ(h.Statuses, 2);
}

TEST(EditorProperties, SelectionFormatsKeepTheRealColumnsOfALineBlock)
{
    TEditorHarness h({"abcdef", "ghijkl"});
    h.Editor.Select(bfNonInclusive, 2, 0, 3, 1);
    h.Editor.SetSelBlockFormat(bfLine);
    EXPECT_EQ(h.Editor.SelBegX(), 0);
    EXPECT_EQ(h.Editor.SelEndX(), kMaxColumn);
    h.Editor.SetSelBlockFormat(bfColumn);
    EXPECT_EQ(h.Editor.SelBegX(), 2);
    EXPECT_EQ(h.Editor.SelEndX(), 3);
    EXPECT_EQ(h.Statuses, 2);
}
