// The query pane's completion against a real server: the names it reads, quoted where needed, a
// table created in the console showing after its CREATE, names read while the console is busy, and
// the list opened with Ctrl+Space, filtered by typing and taken with Enter through the real view.
#include "NameCompletion.h"

#include <cctype>

#include <QListWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "ConsoleTesting.h"
#include "EditorView.h"
#include "HLEditor.h"
#include "QtPrinters.h"
#include "TestServer.h"

namespace {

// A database for each test: ctest runs the tests of this file side by side, and the set-up of one must
// not drop the tables that another has just created.
std::string TestDatabase()
{
    std::string name = std::string("completion_") + testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name.substr(0, 64);
}

// A database of the test's own, which the test user may change.
void MakeDatabase()
{
    const std::string database = TestDatabase();
    TMySQLDataSet root;
    ConfigureForTestServer(root, true);
    ASSERT_TRUE(root.Open()) << root.ErrorText();
    const std::string user = "'" + TestServer().User + "'";
    for (const std::string& sql :
         {std::string("DROP DATABASE IF EXISTS ") + database, std::string("CREATE DATABASE ") + database,
          std::string("CREATE TABLE ") + database + ".orders (id INT, customer_id INT, total DECIMAL(10,2))",
          std::string("CREATE TABLE ") + database + ".`order items` (order_id INT, qty INT)",
          std::string("CREATE TABLE ") + database + ".`select` (`from` INT)",
          std::string("GRANT ALL PRIVILEGES ON ") + database + ".* TO " + user + "@'%'",
          std::string("GRANT ALL PRIVILEGES ON ") + database + ".* TO " + user + "@'localhost'"}) {
        root.Query(sql);
        ASSERT_EQ(root.ErrorCode(), 0u) << sql << ": " << root.ErrorText();
    }
}

class Names : public Console {
protected:
    const QString Database = QString::fromStdString(TestDatabase());

    void SetUp() override
    {
        MakeDatabase();
        Console::SetUp();
        if (HasFatalFailure())
            return;
        Run(QStringLiteral("USE ") + Database);
        WaitForNames();
    }

    // Waits until no read of names is under way and the current database's names are known.
    void WaitForNames()
    {
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return !Frame.Names().Reading() && Frame.Names().Catalog().Schema(Database) != nullptr; },
            30000));
    }

    // The entries at "|" in the text.
    QStringList Offered(const QString& marked)
    {
        const qsizetype caret = marked.indexOf(u'|');
        Type(QString(marked).remove(caret, 1));
        Frame.mmQuery().SetCaret(static_cast<int>(caret), 0);
        return Frame.Names().EntriesAtCaret();
    }

    QListWidget* List() const { return Frame.QueryView()->viewport()->findChild<QListWidget*>(); }
    bool ListShown() const { return List() != nullptr && List()->isVisible(); }
    QStringList ListItems() const
    {
        QStringList items;
        for (int i = 0; List() != nullptr && i < List()->count(); ++i)
            items << List()->item(i)->text();
        return items;
    }
};

TEST_F(Names, TheServersNamesAppearQuotedWhereNeeded)
{
    EXPECT_EQ(Offered("SELECT * FROM |").mid(0, 3), (QStringList{"`order items`", "orders", "`select`"}));
    EXPECT_TRUE(Offered("USE |").contains(Database));
    EXPECT_EQ(Offered("SELECT o.| FROM orders o"), (QStringList{"customer_id", "id", "total"}));
    EXPECT_EQ(Offered("SELECT q| FROM `order items`").value(0), "qty");
    EXPECT_EQ(Offered("SELECT s.f| FROM `select` s"), QStringList{"`from`"});
    EXPECT_EQ(Offered("INSERT INTO orders (|"), (QStringList{"customer_id", "id", "total"}));
}

TEST_F(Names, ATableCreatedInTheConsoleAppearsAfterItsCreate)
{
    Run("DROP TABLE IF EXISTS fresh_table");
    WaitForNames();
    EXPECT_EQ(Offered("SELECT * FROM fr|"), QStringList{});
    Run("CREATE TABLE fresh_table (fresh_column INT)");
    WaitForNames();
    EXPECT_EQ(Offered("SELECT * FROM fr|"), QStringList{"fresh_table"});
    EXPECT_EQ(Offered("SELECT fresh| FROM fresh_table"), QStringList{"fresh_column"});
}

TEST_F(Names, NamesAreReadWhileTheConsoleRunsAStatement)
{
    Type("SELECT SLEEP(60)");
    Frame.RunQuery();
    ASSERT_TRUE(Frame.RunningStatement());
    Frame.Names().Refresh();
    // A slow user: the window goes on for a while before the names are looked for.
    QTest::qWait(200);
    WaitForNames();
    EXPECT_TRUE(Frame.RunningStatement()) << "the names did not wait for the statement";
    EXPECT_TRUE(Frame.Names().Catalog().Schema(Database)->Tables.contains("orders"));
    Frame.CancelQuery();
    WaitIdle(Frame);
}

// Ctrl+Space, typing and Enter through the real view; a list opened before the names come shows
// the keywords and fills in.
TEST_F(Names, TheListOpensFollowsTypingAndTakesTheEntry)
{
    Frame.FocusQueryPane();
    Type("SELECT * FROM orders WHERE ");
    Frame.mmQuery().SetCaret(27, 0);
    QTest::keyClick(Frame.QueryView(), Qt::Key_Space, Qt::ControlModifier);
    ASSERT_TRUE(ListShown());
    EXPECT_EQ(ListItems().mid(0, 3), (QStringList{"customer_id", "id", "total"}));
    QTest::keyClicks(Frame.QueryView(), "to");
    EXPECT_EQ(ListItems().mid(0, 2), (QStringList{"total", "to"})) << "keywords in the case typed";
    QTest::keyClick(Frame.QueryView(), Qt::Key_Return);
    EXPECT_FALSE(ListShown());
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT * FROM orders WHERE total"});

    Type("SELECT * FROM `order items` WHERE q");
    Frame.mmQuery().SetCaret(35, 0);
    Frame.Names().Refresh();
    ASSERT_TRUE(Frame.Names().Reading());
    QTest::keyClick(Frame.QueryView(), Qt::Key_J, Qt::ControlModifier);
    ASSERT_TRUE(ListShown()) << "keywords while the names are read";
    EXPECT_FALSE(ListItems().contains("qty"));
    WaitForNames();
    QTest::qWait(200);
    EXPECT_EQ(ListItems().value(0), "qty");
    QTest::keyClick(Frame.QueryView(), Qt::Key_Escape);
    EXPECT_FALSE(ListShown());
    EXPECT_EQ(LinesOf(Frame.mmQuery()), QStringList{"SELECT * FROM `order items` WHERE q"});
}

} // namespace
