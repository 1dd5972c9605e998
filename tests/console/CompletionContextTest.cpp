// What the completion list offers at a caret: statement texts against the names of a small fixed
// catalogue, the quoting of names, and which statements make the names stale.
#include "CompletionContext.h"
#include "SchemaNames.h"

#include <gtest/gtest.h>

#include "QtPrinters.h"

namespace {

TNameCatalog Catalog()
{
    auto shop = std::make_shared<TSchemaNames>();
    shop->Tables = {"customers", "order items", "orders", "select"};
    shop->Columns["customers"] = {"id", "name", "email"};
    shop->Columns["orders"] = {"id", "customer_id", "total"};
    shop->Columns["order items"] = {"order_id", "qty"};
    shop->Columns["select"] = {"from"};
    shop->Functions = {"order_total"};
    shop->Procedures = {"archive_orders"};
    auto archive = std::make_shared<TSchemaNames>();
    archive->Tables = {"old_orders"};
    archive->Columns["old_orders"] = {"id", "archived_at"};
    TNameCatalog catalog;
    catalog.Databases = QStringList{"archive", "my db", "shop"};
    catalog.Schemas["shop"] = shop;
    catalog.Schemas["archive"] = archive;
    return catalog;
}

// The entries offered where "|" stands in the text.
QStringList Offered(const QString& marked, const TNameCatalog& catalog, QString* missing = nullptr)
{
    const qsizetype caret = marked.indexOf(u'|');
    QString text = marked;
    text.remove(caret, 1);
    const TCompletionOffer offer = OfferNames(AnalyzeCompletion(text, caret), catalog, QStringLiteral("shop"));
    if (missing != nullptr)
        *missing = offer.MissingSchemas.join(u',') + (offer.MissingDatabases ? QStringLiteral("+databases") : QString());
    return offer.Entries;
}

TEST(CompletionContext, NamesOfferedByPlaceInTheStatement)
{
    struct TCase {
        const char* Name;
        const char* Text;
        QStringList Entries;
        // Only the first entries are given: keywords follow them.
        bool Leading = false;
    };
    const TCase cases[] = {
        {"after FROM: tables, then databases", "SELECT * FROM |",
         {"customers", "`order items`", "orders", "`select`", "archive", "`my db`", "shop"}},
        {"filtered by the word, any case", "select * from OR|", {"`order items`", "orders"}},
        {"after a comma of the FROM list", "SELECT * FROM orders o, c|", {"customers"}},
        {"after JOIN", "SELECT * FROM orders o JOIN cu|", {"customers"}},
        {"after UPDATE", "UPDATE o| SET", {"`order items`", "orders"}},
        {"after INSERT INTO", "INSERT INTO cus|", {"customers"}},
        {"after TABLE", "ALTER TABLE c|", {"customers"}},
        {"after USE: databases", "USE |", {"archive", "`my db`", "shop"}},
        {"after CALL: procedures", "CALL |", {"archive_orders"}},
        {"columns of the statement's tables, then keywords and functions", "SELECT N| FROM customers",
         {"name", "NAMES", "NATIONAL", "NATURAL", "NCHAR", "NEW", "NO", "NOAUTO", "NOT", "NOW"}, true},
        {"alias.: the aliased table's columns", "SELECT o.| FROM orders o JOIN customers c ON c.id = o.customer_id",
         {"customer_id", "id", "total"}},
        {"alias. filtered, alias after AS", "SELECT c.e| FROM orders AS o, customers AS c", {"email"}},
        {"table.: columns of a table without alias", "SELECT customers.n| FROM customers", {"name"}},
        {"table. of the current database, not in the statement", "SELECT orders.t|", {"total"}},
        {"db.: the tables of that database", "SELECT * FROM archive.|", {"old_orders"}},
        {"db.table.: its columns", "SELECT archive.old_orders.a| FROM archive.old_orders", {"archived_at"}},
        {"columns of a table of another database", "SELECT arch| FROM archive.old_orders", {"archived_at"}},
        {"INSERT INTO t (: the columns of t alone", "INSERT INTO orders (id, |", {"customer_id", "id", "total"}},
        {"a quoted table's columns", "SELECT q| FROM `order items`", {"qty", "quarter"}, true},
        {"a reserved name is quoted", "SELECT f| FROM `select`", {"`from`", "false"}, true},
        {"a backquote typed: names only, all quoted", "SELECT * FROM `or|", {"`order items`", "`orders`"}},
        {"keywords at the start, case as typed", "sel|", {"select"}},
        {"upper case typed", "SEL|", {"SELECT"}},
        {"capitalized typed", "Sel|", {"Select"}},
        {"nothing typed: the case of the last keyword", "select * from orders where |",
         {"customer_id", "id", "total", "order_total", "abs"}, true},
        {"nothing typed, upper case before", "SELECT * FROM orders WHERE |", {"customer_id", "id", "total", "order_total", "ABS"}, true},
        {"only the statement around the caret", "SELECT * FROM customers; SELECT e| FROM orders; SELECT 1",
         {"echo", "edit"}, true},
        {"inside a string", "SELECT * FROM orders WHERE x = 'fr|", {}},
        {"inside a closed string", "SELECT 'a fr|om' FROM orders", {}},
        {"a string with an escaped quote is still open", "SELECT 'it\\'s fr|", {}},
        {"inside a double-quoted string", "SELECT \"fr|", {}},
        {"inside a line comment", "SELECT 1 -- from or|\nFROM orders", {}},
        {"inside a # comment", "SELECT 1 # or|", {}},
        {"inside a block comment", "SELECT /* from or| */ 1", {}},
        {"after a closed comment", "SELECT * FROM /* c */ cu|", {"customers"}},
        {"a user variable", "SELECT @or|", {}},
        {"a number", "SELECT 1|", {}},
        {"a name holding a blank, being typed inside its quotes", "SELECT * FROM `order i|", {}},
    };
    const TNameCatalog catalog = Catalog();
    for (const TCase& c : cases) {
        const QStringList offered = Offered(QString::fromUtf8(c.Text), catalog);
        if (c.Leading) {
            EXPECT_GT(offered.size(), c.Entries.size()) << c.Name;
            EXPECT_EQ(offered.mid(0, c.Entries.size()), c.Entries) << c.Name;
        } else {
            EXPECT_EQ(offered, c.Entries) << c.Name;
        }
    }
}

TEST(CompletionContext, NamesNotReadYetAreAskedFor)
{
    TNameCatalog catalog = Catalog();
    QString missing;
    EXPECT_EQ(Offered("SELECT * FROM other.|", catalog, &missing), QStringList{});
    EXPECT_EQ(missing, "") << "a database the server does not have is never read";
    catalog.Databases->append("other");
    EXPECT_EQ(Offered("SELECT * FROM other.|", catalog, &missing), QStringList{});
    EXPECT_EQ(missing, "other");
    catalog.Databases.reset();
    catalog.Schemas.clear();
    EXPECT_EQ(Offered("SELECT * FROM |", catalog, &missing), QStringList{});
    EXPECT_EQ(missing, "shop+databases");
    EXPECT_EQ(Offered("SELECT NULL| FROM orders", catalog, &missing), (QStringList{"NULL", "NULLIF"}))
        << "keywords while the names are on their way";
    EXPECT_EQ(missing, "shop");
}

TEST(CompletionContext, NamesAreQuotedWhereTheServerNeedsIt)
{
    struct TCase {
        const char* Name;
        QString Written;
    };
    const TCase cases[] = {
        {"orders", "orders"},
        {"Заказы", "Заказы"},
        {"order items", "`order items`"},
        {"select", "`select`"},
        {"Select", "`Select`"},
        {"2024_sales", "`2024_sales`"},
        {"a`b", "`a``b`"},
        {"a-b", "`a-b`"},
        {"a=b", "`a=b`"},
        {"total$", "total$"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(QuoteName(QString::fromUtf8(c.Name)), c.Written) << c.Name;
}

TEST(CompletionContext, StatementsThatChangeNames)
{
    EXPECT_TRUE(ChangesNames(u"CREATE TABLE t (a INT)"));
    EXPECT_TRUE(ChangesNames(u"select 1; drop view v"));
    EXPECT_TRUE(ChangesNames(u"-- note\nAlter table t add b int"));
    EXPECT_TRUE(ChangesNames(u"RENAME TABLE a TO b"));
    EXPECT_TRUE(ChangesNames(u"DELIMITER //\nCREATE PROCEDURE p() BEGIN SELECT 1; END //"));
    EXPECT_FALSE(ChangesNames(u"SELECT 'create table x'"));
    EXPECT_FALSE(ChangesNames(u"INSERT INTO drop_log VALUES (1)"));
    EXPECT_FALSE(ChangesNames(u"/* create */ SELECT 1"));
}

// A script's statements, cut out already: only the first word counts, wherever comments and the
// version markers of a dump put it.
TEST(CompletionContext, ScriptStatementsThatChangeNames)
{
    const struct {
        const char16_t* Statement;
        bool Changes;
    } cases[] = {
        {u"CREATE TABLE t (a INT)", true},
        {u"-- note\n  /* a\n comment */ drop view v", true},
        {u"/*!50003 CREATE*/ /*!50017 DEFINER=`root`@`%`*/ /*!50003 TRIGGER tr BEFORE INSERT ON t FOR EACH ROW SET @a = 1 */", true},
        {u"# note\nRename table a to b", true},
        {u"INSERT INTO drop_log VALUES ('create table x'); DROP TABLE t", false},
        {u"(SELECT 1) UNION (SELECT 2)", false},
        {u"/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */", false},
        {u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatementChangesNames(QStringView(c.Statement)), c.Changes) << QString::fromUtf16(c.Statement).toStdString();
}

} // namespace
