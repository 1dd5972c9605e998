// LOAD DATA LOCAL INFILE: a server that asks for a file other than those the request was given (it
// gets none), and a named file loaded into the real server.
#include "LocalInfile.h"
#include "MySQLClasses.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "NetworkPeers.h"
#include "TestServer.h"

namespace {

using TNames = std::vector<std::string>;

class LocalFiles : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/brindlecast-infile.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Dir = pattern;
        Secret = Dir + "/secret.txt";
        std::ofstream(Secret) << "the secret content\n";
        Rows = Dir + "/rows.csv";
        std::ofstream(Rows) << "1,один\n2,two\n3,три\n";
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }

    std::string Dir, Secret, Rows;
};

// A server asks for a file: it gets it only when the statement names exactly that file in a LOAD
// DATA LOCAL INFILE. Otherwise the statement fails with the refusal and not a byte goes.
TEST_F(LocalFiles, AServerGetsOnlyTheFileTheStatementNames)
{
    struct TCase {
        const char* Name;
        std::string Sql;
        TNames Names; // what the console found named in the request
        bool Sent;
    };
    const TCase cases[] = {
        {"after SELECT 1", "SELECT 1", {}, false},
        {"after a statement naming another file", "LOAD DATA LOCAL INFILE '" + Rows + "' INTO TABLE t", {Rows}, false},
        {"the file the statement names", "LOAD DATA LOCAL INFILE '" + Secret + "' INTO TABLE t", {Secret}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeServer::TScript script;
        script.FileRequest = Secret;
        TFakeServer server(script);
        TMySQLDataSet dataSet;
        dataSet.SetHost("127.0.0.1");
        dataSet.SetPort(server.Port());
        ASSERT_TRUE(dataSet.Open()) << dataSet.ErrorText();
        dataSet.SetLocalFiles(c.Names);
        EXPECT_EQ(dataSet.Query(c.Sql), nullptr);
        if (c.Sent) {
            EXPECT_EQ(dataSet.ErrorCode(), 0u) << dataSet.ErrorText();
        } else {
            EXPECT_EQ(dataSet.ErrorCode(), LocalInfile::RefusedCode);
            ASSERT_TRUE(dataSet.Refusal());
            EXPECT_EQ(dataSet.Refusal()->Kind, TClientRefusal::TKind::FileNotNamed);
            EXPECT_EQ(dataSet.Refusal()->File, Secret);
        }
        // The connection goes on; the names went with the request.
        EXPECT_EQ(dataSet.Query("SELECT 2"), nullptr);
        dataSet.Close();
        server.Stop();
        EXPECT_EQ(server.FileBytes(), c.Sent ? "the secret content\n" : "");
        if (!c.Sent) {
            EXPECT_EQ(server.Received().find("secret content"), std::string::npos);
        }
    }
}

TEST_F(LocalFiles, ANamedFileLoadsItsRowsIntoTheServer)
{
    TMySQLDataSet dataSet;
    ConfigureForTestServer(dataSet);
    ASSERT_TRUE(dataSet.Open()) << dataSet.ErrorText();
    dataSet.Query("USE brindle");
    dataSet.Query("CREATE TEMPORARY TABLE loaded (id INT, name VARCHAR(10))");
    ASSERT_EQ(dataSet.ErrorCode(), 0u) << dataSet.ErrorText();
    dataSet.SetLocalFiles({Rows});
    dataSet.Query("/* the rows */ load data local infile '" + Rows
                  + "' INTO TABLE loaded CHARACTER SET utf8mb4 FIELDS TERMINATED BY ','");
    ASSERT_EQ(dataSet.ErrorCode(), 0u) << dataSet.ErrorText();
    EXPECT_EQ(dataSet.AffectedRows(), 3);
    auto result = dataSet.Query("SELECT GROUP_CONCAT(name ORDER BY id) FROM loaded");
    ASSERT_NE(result, nullptr) << dataSet.ErrorText();
    EXPECT_EQ(result->FetchRow()->GetValue(0), "один,two,три");

    // A named file that cannot be read fails the statement with the reason.
    dataSet.SetLocalFiles({Dir + "/missing.csv"});
    dataSet.Query("LOAD DATA LOCAL INFILE '" + Dir + "/missing.csv' INTO TABLE loaded");
    EXPECT_EQ(dataSet.ErrorCode(), LocalInfile::RefusedCode);
    ASSERT_TRUE(dataSet.Refusal());
    EXPECT_EQ(dataSet.Refusal()->Kind, TClientRefusal::TKind::FileNotOpened);
    EXPECT_EQ(dataSet.Refusal()->File, Dir + "/missing.csv");
    EXPECT_EQ(dataSet.Refusal()->Errno, ENOENT);

    // The next statement forgets the refusal.
    dataSet.Query("SELECT 1");
    EXPECT_EQ(dataSet.ErrorCode(), 0u);
    EXPECT_FALSE(dataSet.Refusal());
}

} // namespace
