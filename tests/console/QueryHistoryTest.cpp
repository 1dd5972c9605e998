// The query history's rules, without a console: recording, case folding, stepping back and forth.
#include "QueryHistory.h"

#include <gtest/gtest.h>

#include "LineList.h"
#include "QtPrinters.h"

namespace {

TEST(QueryHistory, ARunMovesItsEntryToTheEndAndKeepsTheFirstText)
{
    TQueryHistory history;
    EXPECT_EQ(history.Index(), -1);
    history.Record("a");
    history.Record("b");
    history.Record("A"); // the same entry as the first
    EXPECT_EQ(history.Entries(), (QStringList{"b", "a"}));
    EXPECT_EQ(history.Index(), 2);

    // Cyrillic folds too, under the user's locale.
    history.Record(QStringLiteral("Привет"));
    history.Record(QStringLiteral("ПРИВЕТ"));
    EXPECT_EQ(history.Entries(), (QStringList{"b", "a", QStringLiteral("Привет")}));
    EXPECT_EQ(history.IndexOf(QStringLiteral("пРиВеТ")), 2);
    EXPECT_EQ(history.IndexOf("c"), -1);
}

TEST(QueryHistory, BackStopsAtTheOldestAndForwardOneStepPastTheNewest)
{
    TQueryHistory history;
    // A new history: Back gives nothing; Forward gives the empty pane once.
    EXPECT_EQ(history.Back(), std::nullopt);
    EXPECT_EQ(history.Forward(), QString());
    EXPECT_EQ(history.Index(), 0);
    EXPECT_EQ(history.Forward(), std::nullopt);

    history.Record("a");
    history.Record("b");
    EXPECT_EQ(history.Back(), "b");
    EXPECT_EQ(history.Back(), "a");
    EXPECT_EQ(history.Back(), std::nullopt);
    EXPECT_EQ(history.Index(), 0);
    EXPECT_EQ(history.Forward(), "b");
    EXPECT_EQ(history.Forward(), QString());
    EXPECT_EQ(history.Forward(), std::nullopt);
    EXPECT_EQ(history.Index(), 2);

    history.Clear();
    EXPECT_TRUE(history.Entries().isEmpty());
    EXPECT_EQ(history.Index(), -1);
}

TEST(QueryHistory, TheKeyBringsBackEveryLineAsTyped)
{
    const QStringList cases[] = {
        {"SELECT 1 AS \"a, b\"", "  -- the note", "", "--", ", 2 AS two"},
        {""},
        {"\ttabbed ", "trailing  "},
    };
    for (const QStringList& lines : cases)
        EXPECT_EQ(ParseLineList(TQueryHistory::Key(lines)), lines);
}

} // namespace
