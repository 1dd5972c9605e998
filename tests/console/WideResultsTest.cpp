// Wide and long outcomes through the console against a real server: every transcript line comes out
// whole however long it is, the statements after it too, and the lines can be reached and copied.
#include "UnitEditorFrame.h"

#include <QApplication>
#include <QClipboard>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "ConsoleTesting.h"
#include "EditorView.h"
#include "HLEditor.h"
#include "QtPrinters.h"

namespace {

// The table of one column named name whose one row holds value, as the transcript draws it.
QStringList OneCellTable(const QString& name, const QString& value)
{
    const qsizetype width = std::max(name.size(), value.size());
    const QString border = "-- +" + QString(width + 2, u'-') + "+";
    return {border, "-- | " + name.leftJustified(width + 1) + "|", border,
        "-- | " + value.leftJustified(width + 1) + "|", border, "-- 1 rows"};
}

class WideResults : public Console {
protected:
    // Runs a statement as typed into the query pane and returns the transcript lines it wrote.
    QStringList RunLines(const QString& text)
    {
        const int mark = Mark();
        Run(text);
        return Since(mark);
    }
};

TEST_F(WideResults, LinesOfEveryWidthComeOutWholeAndSoDoesTheNextStatement)
{
    // A row line is the value and seven characters: "-- | ", " |".
    for (const int width : {1023, 1024, 1025, 5000, 300000}) {
        const int repeat = width - 7;
        const QString sql = QStringLiteral("SELECT REPEAT('x', %1) AS v").arg(repeat);
        QStringList expected = {"mysql> " + sql};
        expected += OneCellTable("v", QString(repeat, u'x'));
        EXPECT_EQ(RunLines(sql), expected) << "lines " << width << " wide";
        EXPECT_EQ(Frame.mmResult().Lines().Length(Frame.mmResult().Lines().Count() - 3), width);

        QStringList after = {"mysql> SELECT 1 AS n"};
        after += OneCellTable("n", "1");
        EXPECT_EQ(RunLines("SELECT 1 AS n"), after) << "after lines " << width << " wide";
        EXPECT_EQ(Frame.mmResult().CaretY(), Frame.mmResult().Lines().Count() - 1);
        EXPECT_EQ(Frame.mmResult().CaretX(), 0);
    }
}

TEST_F(WideResults, HugeValuesComeInPartsAndReadAsWhole)
{
    // Lines of several parts go to the pane in parts: characters of two to four bytes never cut,
    // the header's and borders' blanks and dashes too, and the statement after them is as usual.
    const int repeat = 200000;
    const QString unit = QString::fromUtf8("a\xD0\xB6\xE2\x82\xAC\xF0\x9F\x98\x80");
    const QString sql = QStringLiteral("SELECT REPEAT('%1', %2) AS v").arg(unit).arg(repeat);
    QStringList expected = {"mysql> " + sql};
    expected += OneCellTable("v", unit.repeated(repeat));
    EXPECT_EQ(RunLines(sql), expected);
    QStringList after = {"mysql> SELECT 1 AS n"};
    after += OneCellTable("n", "1");
    EXPECT_EQ(RunLines("SELECT 1 AS n"), after);

    // Shown vertically: the value's line in parts, its blanks at the end cut once it is complete
    // as any line's are.
    EXPECT_EQ(RunLines("SELECT REPEAT('y', 2500000) AS v, CONCAT('z', REPEAT(' ', 3000000)) AS w\\G"),
        (QStringList{"mysql> SELECT REPEAT('y', 2500000) AS v, CONCAT('z', REPEAT(' ', 3000000)) AS w\\G",
            "-- *************************** 1. row ***************************", "-- v: " + QString(2500000, u'y'),
            "-- w: z"}));
}

TEST_F(WideResults, ALongStatementLineIsEchoedWhole)
{
    const QString sql = "SELECT '" + QString(1100, u'a') + "' AS s";
    const QStringList lines = RunLines(sql);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.front(), "mysql> " + sql);
    EXPECT_EQ(lines.size(), 7);
}

TEST_F(WideResults, ThreeHundredColumnsGoThroughThePane)
{
    QStringList columns;
    QString border = "-- +";
    QString header = "-- |";
    QString row = "-- |";
    for (int i = 1; i <= 300; ++i) {
        const QString name = QStringLiteral("c%1").arg(i);
        columns << QStringLiteral("%1 AS %2").arg(i).arg(name);
        border += QString(name.size() + 2, u'-') + "+";
        header += " " + name + " |";
        row += " " + QString::number(i).leftJustified(name.size()) + " |";
    }
    const QString sql = "SELECT " + columns.join(", ");
    const QStringList expected = {"mysql> " + sql, border, header, border, row, border, "-- 1 rows"};
    EXPECT_EQ(RunLines(sql), expected);
}

TEST_F(WideResults, NamesAndErrorsWithLineBreaksKeepEveryLineAComment)
{
    // A name with a line break is escaped like a value: measured raw, shown escaped.
    EXPECT_EQ(RunLines("SELECT 1 AS 'a\\nb'"),
        (QStringList{"mysql> SELECT 1 AS 'a\\nb'", "-- +-----+", "-- | a\\nb|", "-- +-----+", "-- | 1   |",
            "-- +-----+", "-- 1 rows"}));
    EXPECT_EQ(RunLines("SELECT 1 AS 'a\\tb'").at(2), "-- | a\\tb|");

    // The server's error text quotes the value with its line break: each line is a comment line.
    RunLines("CREATE TEMPORARY TABLE d (v VARCHAR(10) PRIMARY KEY)");
    RunLines("INSERT INTO d VALUES ('a\\nb')");
    const QStringList lines = RunLines("INSERT INTO d VALUES ('a\\nb')");
    const QStringList expected = {
        "mysql> INSERT INTO d VALUES ('a\\nb')", "-- Duplicate entry 'a", "-- b' for key 'PRIMARY'"};
    EXPECT_EQ(lines, expected);
}

TEST_F(WideResults, ACallThatSendsAResultAndThenFailsShowsBoth)
{
    RunLines("CREATE OR REPLACE PROCEDURE half_done() BEGIN SELECT 7 AS n; "
        "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'failed after its result'; END");
    QStringList expected = {"mysql> CALL half_done()"};
    expected += OneCellTable("n", "7");
    expected += "-- failed after its result";
    EXPECT_EQ(RunLines("CALL half_done()"), expected);
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"CALL half_done()"}) << "a failure keeps the statement";
    // The connection is in step for the next statement.
    QStringList after = {"mysql> SELECT 2 AS n"};
    after += OneCellTable("n", "2");
    EXPECT_EQ(RunLines("SELECT 2 AS n"), after);
}

TEST_F(WideResults, AWideRowIsCopiedWholeThroughTheClipboard)
{
    RunLines("SELECT REPEAT('w', 5000) AS v");
    THLEditor& transcript = Frame.mmResult();
    const int row = transcript.Lines().Count() - 3;
    const QString line = transcript.Lines().Get(row);
    ASSERT_EQ(line.size(), 5007);
    transcript.SetCaret(0, row);
    transcript.SetSelection(0, row, row, line.size());
    transcript.CopySelection();
    EXPECT_EQ(QApplication::clipboard()->text(), line);

    // End reaches the end of the line, and the view follows the caret there.
    transcript.SetCaret(0, row);
    transcript.Command(cmdLineEnd);
    EXPECT_EQ(transcript.CaretX(), 5007);
    EXPECT_GT(transcript.LeftCol(), 5007 - transcript.VisibleCols());
    EXPECT_LE(transcript.LeftCol(), 5007);
}

} // namespace
