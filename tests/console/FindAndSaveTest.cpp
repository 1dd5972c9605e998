// A console's find bars and the saving of its transcript, on consoles without a connection: what a
// search selects and tells, a search through a large transcript, and a save that fails losing nothing.
#include "UnitEditorFrame.h"

#include "EditorView.h"
#include "ClientStrings.h"
#include "FindBar.h"
#include "HLEditor.h"
#include "ModalWindows.h"
#include "QtPrinters.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A shown console whose transcript holds lines.
class Transcript : public testing::Test {
protected:
    void Show(const QStringList& lines)
    {
        Frame.InitFrame();
        Frame.resize(600, 420);
        Frame.show();
        Frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame));
        Frame.mmResult().AppendLines(lines);
    }

    // Lets the window run until the bar's search has ended.
    static void WaitForSearch(const TFindBar* bar)
    {
        ASSERT_TRUE(QTest::qWaitFor([bar] { return !bar->Searching(); }, 60000)) << "still searching";
    }

    // The pane's selection as (column, line) to (column, line), or nothing.
    static QString SelectionOf(const THLEditor& pane)
    {
        if (!pane.Selected())
            return QStringLiteral("none");
        return QStringLiteral("%1,%2-%3,%4")
            .arg(pane.SelBegX())
            .arg(pane.SelBegY())
            .arg(pane.SelEndX())
            .arg(pane.SelEndY());
    }

    static bool LineInView(const THLEditor& pane, int line)
    {
        return line >= pane.TopRow() && line <= pane.LastVisibleRow();
    }

    TEditorFrame Frame;
};

TEST_F(Transcript, TheBarOfTheFocusedPaneFindsSelectsAndTellsWhatItCameTo)
{
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("-- | row %1 |").arg(i);
    lines[40] = "mysql> select Needle";
    lines[80] = "-- | needle |";
    Show(lines);
    THLEditor& pane = Frame.mmResult();
    TFindBar* bar = Frame.ResultFindBar();

    // With the focus in the transcript, its bar opens and takes the focus; the query pane's stays shut.
    Frame.ResultView()->setFocus();
    pane.SetCaret(0, 0);
    Frame.Find();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_FALSE(Frame.QueryFindBar()->isVisible());
    EXPECT_TRUE(bar->edText->hasFocus());

    QTest::keyClicks(bar->edText, "needle");
    QTest::keyClick(bar->edText, Qt::Key_Return);
    WaitForSearch(bar);
    EXPECT_EQ(SelectionOf(pane), "14,40-20,40");
    EXPECT_TRUE(LineInView(pane, 40));
    EXPECT_EQ(bar->lblStatus->text(), "");
    EXPECT_TRUE(bar->edText->hasFocus()) << "Enter again finds the next one";

    QTest::keyClick(bar->edText, Qt::Key_Return);
    WaitForSearch(bar);
    EXPECT_EQ(SelectionOf(pane), "5,80-11,80");
    EXPECT_TRUE(LineInView(pane, 80));

    // F3 (FindNext) from the pane goes round the end and says so.
    Frame.ResultView()->setFocus();
    Frame.FindNext();
    WaitForSearch(bar);
    EXPECT_EQ(SelectionOf(pane), "14,40-20,40");
    EXPECT_EQ(bar->lblStatus->text(), "Продолжено с начала");

    QTest::keyClick(bar->edText, Qt::Key_Return, Qt::ShiftModifier);
    WaitForSearch(bar);
    EXPECT_EQ(SelectionOf(pane), "5,80-11,80") << "Shift+Enter goes back, round the start";
    EXPECT_EQ(bar->lblStatus->text(), "Продолжено с конца");

    bar->cbMatchCase->setChecked(true);
    EXPECT_EQ(bar->lblStatus->text(), "") << "a changed case says nothing of the last search";
    QTest::keyClick(bar->edText, Qt::Key_Return);
    WaitForSearch(bar);
    EXPECT_EQ(SelectionOf(pane), "5,80-11,80") << "the only lower-case match, found again";
    EXPECT_EQ(bar->lblStatus->text(), "Продолжено с начала");

    bar->edText->setText("no such text");
    QTest::keyClick(bar->edText, Qt::Key_Return);
    WaitForSearch(bar);
    EXPECT_EQ(bar->lblStatus->text(), "Не найдено");
    EXPECT_EQ(SelectionOf(pane), "5,80-11,80") << "nothing found changes nothing";

    QTest::keyClick(bar->edText, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(Frame.ResultView()->hasFocus());

    // In the query pane: its own bar, which a one-line selection fills; FindNext without a text opens it.
    Frame.mmQuery().Lines().SetText("select a, b\r\nfrom t where b = 1");
    Frame.QueryView()->setFocus();
    Frame.FindNext();
    ASSERT_TRUE(Frame.QueryFindBar()->isVisible());
    EXPECT_TRUE(Frame.QueryFindBar()->edText->hasFocus());
    Frame.mmQuery().SetCaret(0, 0);
    QTest::keyClicks(Frame.QueryFindBar()->edText, "B");
    QTest::keyClick(Frame.QueryFindBar()->edText, Qt::Key_Return);
    WaitForSearch(Frame.QueryFindBar());
    EXPECT_EQ(SelectionOf(Frame.mmQuery()), "10,0-11,0");
    QTest::keyClick(Frame.QueryFindBar()->edText, Qt::Key_Escape);
    EXPECT_TRUE(Frame.QueryView()->hasFocus());
    Frame.mmQuery().SetSelection(5, 1, 1, 6);
    Frame.Find();
    EXPECT_EQ(Frame.QueryFindBar()->edText->text(), "t");
    EXPECT_EQ(Frame.QueryFindBar()->edText->selectedText(), "t");
}

// A search through a large transcript goes in slices: the window gets its turns meanwhile, and the
// match on the last line, far past column 1,024, is selected and brought into view.
TEST_F(Transcript, ALargeTranscriptIsSearchedWhileTheWindowAnswers)
{
    QStringList lines;
    const int count = 400000;
    lines.reserve(count);
    for (int i = 0; i < count - 1; ++i)
        lines << QStringLiteral("-- | %1 | some value | another value |").arg(i);
    lines << QStringLiteral("-- |") + QString(5000, u' ') + QStringLiteral("the end |");
    Show(lines);
    lines.clear();
    THLEditor& pane = Frame.mmResult();
    TFindBar* bar = Frame.ResultFindBar();
    pane.SetCaret(0, 0);
    Frame.ResultView()->setFocus();
    Frame.Find();
    bar->edText->setText("THE END");

    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&turns] { ++turns; });
    ticker.start(0);
    QTest::keyClick(bar->edText, Qt::Key_Return);
    WaitForSearch(bar);
    ticker.stop();
    EXPECT_GT(turns, 1) << "the search held the window until it ended";
    EXPECT_EQ(SelectionOf(pane), QStringLiteral("5004,%1-5011,%1").arg(count - 1));
    EXPECT_TRUE(LineInView(pane, count - 1));
    EXPECT_TRUE(pane.LeftCol() <= 5004 && 5011 <= pane.LastVisibleCol() + 1)
        << "columns " << pane.LeftCol() << " to " << pane.LastVisibleCol();
}

// The saved file holds the transcript's lines as UTF-8, each ended by LF, and nothing is left beside it.
TEST_F(Transcript, TheSavedFileHoldsTheLines)
{
    const QStringList lines = {"mysql> select 'Жук' AS name", "-- | Жук \U0001F600 |", "", "-- 1 rows"};
    Show(lines);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("transcript.txt");
    bool ended = false;
    bool saved = false;
    QObject::connect(&Frame, &TEditorFrame::TranscriptSaveEnded, [&](bool ok) {
        ended = true;
        saved = ok;
    });
    Frame.SaveTranscript(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 30000));
    EXPECT_TRUE(saved);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), (lines.join(u'\n') + u'\n').toUtf8());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"transcript.txt"});
}

// A lone surrogate (a half of a pair, as a paste or a macro can leave one) leaves the program as
// U+FFFD whichever way it goes: copied, saved, or sent to the server.
TEST_F(Transcript, ALoneSurrogateLeavesAsTheReplacementCharacterEveryWay)
{
    const QString lone = QStringLiteral("-- high ") + QChar(0xD83D) + QStringLiteral(" low ") + QChar(0xDE00)
                       + QStringLiteral(" pair \U0001F600 end ") + QChar(0xD800);
    const QString shown = QStringLiteral("-- high \uFFFD low \uFFFD pair \U0001F600 end \uFFFD");
    Show({lone});
    const QByteArray expected = shown.toUtf8();

    EXPECT_EQ(ToClientString(lone), expected.toStdString()) << "sent";

    THLEditor& transcript = Frame.mmResult();
    transcript.SetSelection(0, 0, 0, static_cast<int>(lone.size()));
    transcript.CopySelection();
    EXPECT_EQ(QApplication::clipboard()->text(), shown) << "copied";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("transcript.txt");
    bool ended = false;
    QObject::connect(&Frame, &TEditorFrame::TranscriptSaveEnded, [&](bool) { ended = true; });
    Frame.SaveTranscript(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 30000));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), expected + '\n') << "saved";
}

// A save that cannot be made, or that fails on its way, says why and leaves the file as it was.
TEST_F(Transcript, AFailedSaveSaysWhyAndLosesNothing)
{
    QStringList lines;
    for (int i = 0; i < 5000; ++i)
        lines << QStringLiteral("-- | %1 | a row of the transcript |").arg(i);
    Show(lines);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // A folder the program may not write in: made so for a user; root writes everywhere but in /sys.
    QString readOnlyFolder = dir.filePath("read-only");
    QDir().mkdir(readOnlyFolder);
    QFile::setPermissions(readOnlyFolder, QFile::ReadOwner | QFile::ExeOwner);
    if (geteuid() == 0)
        readOnlyFolder = "/sys";

    struct TCase {
        const char* Name;
        QString Path;
        // A limit on the size of files this process writes: the disk that fills up midway.
        rlim_t SizeLimit;
        QString Reason;
    };
    const TCase cases[] = {
        {"a read-only folder", readOnlyFolder + "/transcript.txt", RLIM_INFINITY, "Permission denied"},
        {"a full disk, over a file that was there", dir.filePath("kept.txt"), 16 * 1024, "File too large"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile old(c.Path);
        if (c.SizeLimit != RLIM_INFINITY) {
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("the old contents\n");
            old.close();
        }
        const QStringList before = QDir(QFileInfo(c.Path).path()).entryList(QDir::Files);

        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit saved = limit;
        limit.rlim_cur = c.SizeLimit;
        // Past the limit a write fails rather than ending the process.
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        bool ended = false;
        const QMetaObject::Connection connection =
            QObject::connect(&Frame, &TEditorFrame::TranscriptSaveEnded, [&](bool ok) {
                ended = true;
                EXPECT_FALSE(ok);
            });
        TMessageBoxes boxes;
        Frame.SaveTranscript(c.Path);
        const bool done = QTest::qWaitFor([&] { return ended; }, 30000);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QObject::disconnect(connection);
        ASSERT_TRUE(done);

        // The message is opened over the console, not waited for.
        ASSERT_TRUE(QTest::qWaitFor([&boxes] { return !boxes.Seen().empty(); }, 5000));
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].Icon, QMessageBox::Critical);
        EXPECT_TRUE(boxes.Seen()[0].Text.contains(c.Path)) << boxes.Seen()[0].Text.toStdString();
        EXPECT_TRUE(boxes.Seen()[0].Text.contains(c.Reason)) << boxes.Seen()[0].Text.toStdString();
        EXPECT_EQ(QDir(QFileInfo(c.Path).path()).entryList(QDir::Files), before) << "a temporary file is left";
        if (c.SizeLimit != RLIM_INFINITY) {
            ASSERT_TRUE(old.open(QIODevice::ReadOnly));
            EXPECT_EQ(old.readAll(), "the old contents\n");
        }
    }
}

// Clearing the panes while a save is on its way ends the save as a failure that says why, instead of
// writing lines of the old transcript and of the new one into one file and calling it saved.
TEST_F(Transcript, ClearingDuringASaveFailsTheSave)
{
    QStringList lines;
    for (int i = 0; i < 200000; ++i)
        lines << QStringLiteral("-- | %1 | a line of the old transcript |").arg(i);
    Show(lines);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("transcript.txt");
    bool ended = false;
    bool saved = true;
    QObject::connect(&Frame, &TEditorFrame::TranscriptSaveEnded, [&](bool ok) {
        ended = true;
        saved = ok;
    });
    TMessageBoxes boxes(QMessageBox::Ok, kSlowAnswer);
    Frame.SaveTranscript(path);
    ASSERT_TRUE(Frame.SavingTranscript());
    Frame.ClearPanes();
    for (QString& line : lines)
        line.replace("old", "new");
    Frame.mmResult().AppendLines(lines);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 30000));
    EXPECT_FALSE(saved) << "a file of two transcripts was reported saved";
    ASSERT_TRUE(QTest::qWaitFor([&boxes] { return !boxes.Seen().empty() && !QApplication::activeModalWidget(); }, 5000));
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_TRUE(boxes.Seen()[0].Text.contains("протокол очищен во время сохранения")) << boxes.Seen()[0].Text.toStdString();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << "a file was left";
    EXPECT_FALSE(Frame.SavingTranscript());
}

} // namespace
