// The client layer against a real server: connecting, statements, stored results and rows, and
// ending a wait for the server from another thread.
#include "MySQLClasses.h"

#include <chrono>
#include <future>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "NetworkPeers.h"
#include "TestServer.h"

namespace {

void Configure(TMySQLCustomDataSet& dataSet, const std::string& password = TestServer().Password)
{
    ConfigureForTestServer(dataSet);
    dataSet.SetPassword(password);
}

// A data set connected to the test server with "brindle" as its database.
class Connected : public testing::Test {
protected:
    void SetUp() override
    {
        Configure(DataSet);
        ASSERT_TRUE(DataSet.Open()) << DataSet.ErrorText();
        Run("USE brindle");
    }

    // Runs a statement that must succeed; returns its result set, if it has one.
    std::shared_ptr<IMySQLQueryResult> Run(const std::string& sql)
    {
        auto result = DataSet.Query(sql);
        EXPECT_EQ(DataSet.ErrorCode(), 0u) << sql << ": " << DataSet.ErrorText();
        return result;
    }

    std::vector<std::vector<std::string>> Rows(const std::string& sql)
    {
        std::vector<std::vector<std::string>> rows;
        auto result = Run(sql);
        if (!result)
            return rows;
        while (auto row = result->FetchRow()) {
            rows.emplace_back();
            for (int i = 0; i < result->GetFieldCount(); ++i)
                rows.back().push_back(row->GetValue(i));
        }
        return rows;
    }

    TMySQLDataSet DataSet;
};

TEST(MySQLConnection, StartsWithDefaults)
{
    TMySQLConnection connection;
    EXPECT_EQ(connection.Host(), "localhost");
    EXPECT_EQ(connection.Port(), 3306);
    EXPECT_EQ(connection.User(), "");
    EXPECT_EQ(connection.Password(), "");
    EXPECT_EQ(connection.OwnedByDataSet(), 0);
    EXPECT_EQ(connection.Handle(), nullptr);

    TMySQLDataSet dataSet;
    ASSERT_NE(dataSet.Connection(), nullptr);
    EXPECT_EQ(dataSet.Connection()->OwnedByDataSet(), 1);
    EXPECT_EQ(dataSet.Host(), "localhost");
    EXPECT_EQ(dataSet.Port(), 3306);
    EXPECT_EQ(dataSet.User(), "");
    EXPECT_FALSE(dataSet.Connected());
}

TEST(MySQLConnection, FailuresGiveFalseAndTheLibrarysError)
{
    struct TCase {
        const char* Name;
        std::string Host;
        std::int32_t Port;
        std::string Password;
        std::uint32_t Code;
    };
    const TCase cases[] = {
        {"closed port", "127.0.0.1", 1, TestServer().Password, 2002},
        {"wrong password", TestServer().Host, TestServer().Port, "wrong", 1045},
    };
    for (const auto& c : cases) {
        TMySQLConnection connection;
        connection.SetHost(c.Host);
        connection.SetPort(c.Port);
        connection.SetUser(TestServer().User);
        connection.SetPassword(c.Password);
        EXPECT_FALSE(connection.Connect()) << c.Name;
        EXPECT_EQ(connection.GetErrorCode(), c.Code) << c.Name;
        EXPECT_FALSE(connection.GetErrorText().empty()) << c.Name;
        // A later attempt replaces the failed handle.
        connection.SetHost(TestServer().Host);
        connection.SetPort(TestServer().Port);
        connection.SetPassword(TestServer().Password);
        EXPECT_TRUE(connection.Connect()) << c.Name << ": " << connection.GetErrorText();
        EXPECT_EQ(connection.GetErrorCode(), 0u);
        connection.Disconnect();
        EXPECT_EQ(connection.Handle(), nullptr);
    }
}

TEST(MySQLDataSet, OpenAppliesTheDefaultPortAndKeepsIt)
{
    TMySQLDataSet dataSet;
    Configure(dataSet);
    dataSet.SetPort(0);
    dataSet.Open();
    EXPECT_EQ(dataSet.Port(), 3306);
    EXPECT_EQ(dataSet.Connection()->Port(), 3306);
}

TEST(MySQLDataSet, EventsFollowOpenAndClose)
{
    TMySQLDataSet dataSet;
    Configure(dataSet);
    std::vector<std::string> events;
    dataSet.OnConnect = [&](TMySQLCustomDataSet& sender) {
        EXPECT_EQ(&sender, &dataSet);
        events.push_back("connect");
    };
    dataSet.OnDisconnect = [&](TMySQLCustomDataSet&) { events.push_back("disconnect"); };

    dataSet.Close(); // not connected: nothing
    EXPECT_TRUE(dataSet.Open());
    EXPECT_TRUE(dataSet.Connected());
    dataSet.Close();
    EXPECT_FALSE(dataSet.Connected());
    dataSet.Close();
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "disconnect"}));

    // A failed Open fires nothing and leaves the data set usable: a query answers with an error.
    dataSet.SetPassword("wrong");
    EXPECT_FALSE(dataSet.Open());
    EXPECT_EQ(dataSet.ErrorCode(), 1045u);
    EXPECT_EQ(dataSet.Query("SELECT 1"), nullptr);
    EXPECT_NE(dataSet.ErrorCode(), 0u);
    EXPECT_FALSE(dataSet.ErrorText().empty());
    EXPECT_EQ(events.size(), 2u);
}

TEST(MySQLDataSet, QueryWithoutAnyHandleIsAnError)
{
    TMySQLDataSet dataSet;
    EXPECT_EQ(dataSet.Query("SELECT 1"), nullptr);
    EXPECT_NE(dataSet.ErrorCode(), 0u);
    EXPECT_FALSE(dataSet.ErrorText().empty());
}

TEST(MySQLDataSet, ConnectionOwnership)
{
    TMySQLConnection external;
    {
        TMySQLDataSet dataSet;
        TMySQLConnection* own = dataSet.Connection();
        dataSet.SetConnection(own); // its own again: nothing changes
        EXPECT_EQ(dataSet.Connection(), own);

        dataSet.SetConnection(&external); // the own one is freed (the sanitizer sees a leak if not)
        EXPECT_EQ(dataSet.Connection(), &external);
        EXPECT_EQ(external.OwnedByDataSet(), 0);
        dataSet.SetHost("example");
        EXPECT_EQ(external.Host(), "example");

        dataSet.SetConnection(nullptr); // a fresh own connection with the defaults
        ASSERT_NE(dataSet.Connection(), nullptr);
        EXPECT_NE(dataSet.Connection(), &external);
        EXPECT_EQ(dataSet.Connection()->OwnedByDataSet(), 1);
        EXPECT_EQ(dataSet.Host(), "localhost");
        EXPECT_EQ(dataSet.Port(), 3306);

        dataSet.SetConnection(&external);
    }
    // The data set is gone; the connection it was given is still its supplier's.
    EXPECT_EQ(external.Host(), "example");
}

TEST_F(Connected, OnQueryMayReplaceTheText)
{
    DataSet.OnQuery = [](TMySQLCustomDataSet&, std::string& query) {
        EXPECT_EQ(query, "SELECT 1");
        query = "SELECT 2 AS two";
    };
    auto result = Run("SELECT 1");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->GetFieldName(0), "two");
    EXPECT_EQ(result->FetchRow()->GetValue(0), "2");
}

TEST_F(Connected, StatementsWithoutResultSetsAndFailures)
{
    Run("CREATE TEMPORARY TABLE t (a INT)");
    EXPECT_EQ(Run("INSERT INTO t VALUES (1), (2), (3)"), nullptr);
    EXPECT_EQ(DataSet.ErrorCode(), 0u);
    EXPECT_EQ(DataSet.AffectedRows(), 3);
    EXPECT_EQ(Run("UPDATE t SET a = a + 1 WHERE a > 5"), nullptr);
    EXPECT_EQ(DataSet.AffectedRows(), 0);

    EXPECT_EQ(DataSet.Query("SELECT * FROM no_such_table"), nullptr);
    EXPECT_EQ(DataSet.ErrorCode(), 1146u);
    EXPECT_NE(DataSet.ErrorText().find("no_such_table"), std::string::npos) << DataSet.ErrorText();
    EXPECT_EQ(DataSet.Query("SELEC 1"), nullptr);
    EXPECT_EQ(DataSet.ErrorCode(), 1064u);

    // An empty result set is still a result.
    auto empty = Run("SELECT a FROM t WHERE a > 100");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetRowCount(), 0);
    EXPECT_EQ(empty->FetchRow(), nullptr);
}

TEST_F(Connected, ValuesAndLookUpByName)
{
    auto result = Run("SELECT NULL AS n, '' AS e, 'x' AS Name, 'first' AS d, 'second' AS d");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->GetRowCount(), 1);
    EXPECT_EQ(result->GetFieldCount(), 5);
    auto row = result->FetchRow();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetValue(0), "");
    EXPECT_EQ(row->GetValue(1), "");

    struct TCase {
        const char* Name;
        int Index;
        const char* Value;
    };
    const TCase cases[] = {
        {"Name", 2, "x"},
        {"name", -1, ""}, // letter case matters
        {"missing", -1, ""},
        {"d", 3, "first"}, // the first of two
    };
    for (const auto& c : cases) {
        EXPECT_EQ(result->GetFieldIndex(c.Name), c.Index) << c.Name;
        EXPECT_EQ(row->GetValueByName(c.Name), c.Value) << c.Name;
    }

    EXPECT_EQ(result->GetFieldName(4), "d");
    EXPECT_STREQ(result->GetField(2)->name, "Name");
    EXPECT_EQ(result->GetField(2)->name_length, 4u);
    EXPECT_EQ(result->GetFields(), result->GetField(0));
    EXPECT_EQ(result->GetField(3)->max_length, 5u);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(result->FetchRow(), nullptr);
}

TEST_F(Connected, TextRoundTripsByteForByte)
{
    Run("CREATE TEMPORARY TABLE u (v VARCHAR(100) CHARACTER SET utf8mb4)");
    const std::string values[] = {
        "Привет, мир",
        "\xF0\x9F\x98\x80 emoji \xF0\x9F\x8D\xBA",
        "tab\tand\r\nbreaks",
    };
    for (const auto& v : values)
        Run("INSERT INTO u VALUES ('" + v + "')");
    const auto rows = Rows("SELECT v FROM u");
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(rows[i][0], values[i]);

    // A zero byte does not cut the value short.
    const auto zero = Rows("SELECT CONCAT('a', CHAR(0), 'b')");
    ASSERT_EQ(zero.size(), 1u);
    EXPECT_EQ(zero[0][0], std::string("a\0b", 3));
}

TEST_F(Connected, ManyRowsWalkInOrder)
{
    auto result = Run("SELECT seq FROM seq_1_to_10000");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->GetRowCount(), 10000);
    int expected = 1;
    while (auto row = result->FetchRow()) {
        ASSERT_EQ(row->GetValue(0), std::to_string(expected));
        ++expected;
    }
    EXPECT_EQ(expected, 10001);
    EXPECT_EQ(result->FetchRow(), nullptr);
}

// Rows read as they arrive: packed whole, in order, NULL as empty, widths in characters.
TEST_F(Connected, StreamedRowsArePackedAndMeasured)
{
    TMySQLOutcome outcome = DataSet.Execute("SELECT 'abc' AS a, NULL AS n, CONCAT('a', CHAR(0), 'b') AS z "
                                            "UNION ALL SELECT 'Привет', NULL, '' "
                                            "UNION ALL SELECT '\xF0\x9F\x98\x80\xF0\x9F\x98\x80x', NULL, 'c'",
                                            TResultReading::Streamed);
    ASSERT_EQ(outcome.ErrorCode, 0u) << outcome.ErrorText;
    ASSERT_NE(outcome.Rows, nullptr);
    EXPECT_EQ(outcome.Result, nullptr);
    TMySQLPackedResult& rows = *outcome.Rows;
    ASSERT_EQ(rows.FieldCount(), 3);
    EXPECT_EQ(rows.FieldName(0), "a");
    EXPECT_EQ(rows.RowCount(), 3);
    EXPECT_EQ(rows.ColumnWidth(0), 6); // "Привет"; the emoji pairs count 2 + 2 + 1 = 5
    EXPECT_EQ(rows.ColumnWidth(1), 0);
    EXPECT_EQ(rows.ColumnWidth(2), 3);

    std::vector<std::vector<std::string>> taken;
    for (std::vector<std::string_view> values; rows.TakeRow(values);)
        taken.emplace_back(values.begin(), values.end());
    const std::vector<std::vector<std::string>> expected = {
        {"abc", "", std::string("a\0b", 3)},
        {"Привет", "", ""},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80x", "", "c"},
    };
    EXPECT_EQ(taken, expected);
    std::vector<std::string_view> values;
    EXPECT_FALSE(rows.TakeRow(values));
    EXPECT_EQ(rows.HeldBytes(), 0u);
}

// A result that fails after some of its rows were sent (an error, a kill) gives the error alone, and
// the connection takes the next statement.
TEST_F(Connected, AStreamedResultThatFailsMidwayGivesTheErrorAlone)
{
    const std::string failing = "SELECT seq, REPEAT('x', 100) AS pad, IF(seq < 3000, seq, (SELECT seq UNION SELECT seq + 1)) AS v "
                                "FROM seq_1_to_5000";
    for (const TResultReading reading : {TResultReading::Streamed, TResultReading::Skipped}) {
        const TMySQLOutcome outcome = DataSet.Execute(failing, reading);
        EXPECT_EQ(outcome.ErrorCode, 1242u) << outcome.ErrorText; // subquery returns more than one row
        EXPECT_EQ(outcome.Rows, nullptr);
        EXPECT_FALSE(DataSet.MoreOutcomes());
        EXPECT_EQ(Rows("SELECT 7").at(0).at(0), "7");
    }
}

TEST_F(Connected, RowsAndResultsOutliveWhatMadeThem)
{
    std::shared_ptr<IMySQLRow> row;
    {
        auto result = Run("SELECT 'kept' AS k");
        ASSERT_NE(result, nullptr);
        row = result->FetchRow();
    }
    EXPECT_EQ(row->GetValueByName("k"), "kept");

    auto result = Run("SELECT 1 AS one");
    DataSet.Close();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->GetFieldName(0), "one");
    EXPECT_EQ(result->FetchRow()->GetValueByName("one"), "1");
}

TEST_F(Connected, ACallWithSeveralResultsLeavesNothingPending)
{
    Run("CREATE OR REPLACE PROCEDURE two_results() BEGIN SELECT 1 AS a; SELECT 2 AS b, 3 AS c; END");
    auto result = Run("CALL two_results()");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->GetFieldName(0), "a");
    EXPECT_EQ(result->FetchRow()->GetValue(0), "1");

    const auto rows = Rows("SELECT 42");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "42");
}

TEST_F(Connected, AKilledConnectionFailsAndCanBeReopened)
{
    const std::string id = Rows("SELECT CONNECTION_ID()").at(0).at(0);

    TMySQLDataSet killer;
    Configure(killer);
    ASSERT_TRUE(killer.Open()) << killer.ErrorText();
    killer.Query("KILL " + id);
    ASSERT_EQ(killer.ErrorCode(), 0u) << killer.ErrorText();

    EXPECT_EQ(DataSet.Query("SELECT 1"), nullptr);
    EXPECT_NE(DataSet.ErrorCode(), 0u);
    EXPECT_FALSE(DataSet.ErrorText().empty());

    DataSet.Close();
    ASSERT_TRUE(DataSet.Open()) << DataSet.ErrorText();
    EXPECT_EQ(Rows("SELECT 7").at(0).at(0), "7");
}

// Interrupt ends a statement that waits for the server, from another thread, at once; the
// connection is then lost until it is opened again.
TEST_F(Connected, InterruptEndsAStatementAndLosesTheConnection)
{
    using namespace std::chrono;
    auto interrupt = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(milliseconds(300));
        DataSet.Connection()->Interrupt();
    });
    const auto start = steady_clock::now();
    EXPECT_EQ(DataSet.Query("SELECT SLEEP(20)"), nullptr);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start);
    interrupt.get();
    std::printf("a statement interrupted after 300 ms returned after %lld ms\n",
                static_cast<long long>(took.count()));
    EXPECT_LT(took, seconds(10));
    EXPECT_EQ(DataSet.ErrorCode(), 2013u) << DataSet.ErrorText(); // lost connection
    EXPECT_EQ(DataSet.Query("SELECT 1"), nullptr);
    EXPECT_NE(DataSet.ErrorCode(), 0u);

    // Still interrupted, a connect fails at once; cleared, it succeeds.
    DataSet.Close();
    EXPECT_FALSE(DataSet.Open());
    DataSet.Connection()->ClearInterrupt();
    ASSERT_TRUE(DataSet.Open()) << DataSet.ErrorText();
    EXPECT_EQ(Rows("SELECT 7").at(0).at(0), "7");
}

TEST(MySQLConnection, InterruptEndsAConnectToAPeerThatNeverGreets)
{
    using namespace std::chrono;
    TSilentPeer peer;
    TMySQLConnection connection;
    connection.SetHost("127.0.0.1");
    connection.SetPort(peer.Port());
    auto interrupt = std::async(std::launch::async, [&connection] {
        std::this_thread::sleep_for(milliseconds(300));
        connection.Interrupt();
    });
    const auto start = steady_clock::now();
    EXPECT_FALSE(connection.Connect());
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start);
    interrupt.get();
    EXPECT_GE(took, milliseconds(250)) << "the connect did not wait for the greeting";
    EXPECT_LT(took, seconds(5)) << "the connect waited for its time-out";
    EXPECT_NE(connection.GetErrorCode(), 0u);
}

} // namespace
