// What the program keeps between runs: each kind of state read back by a fresh store (a restart),
// password statements left out of the history, the files' modes, a damaged file, two processes
// writing at once, and the setting turned off.
#include "KeptState.h"
#include "QueryHistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kChildDirVariable = "BRINDLECAST_KEPT_CHILD";
constexpr int kChildEntries = 60;

class KeptStateTest : public testing::Test {
protected:
    TKeptState Store() const { return TKeptState(FDir.path() + "/config", FDir.path() + "/data"); }

    std::vector<QString> Messages;
    TKeptState StoreWithMessages()
    {
        TKeptState store = Store();
        store.SetProblemHandler([this](const QString& message) { Messages.push_back(message); });
        return store;
    }

    QTemporaryDir FDir;
};

int Mode(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return static_cast<int>(info.st_mode & 07777);
}

TRecentConnection Connection(const std::string& host, std::int32_t port, const std::string& user,
                             TTlsMode mode = TTlsMode::WhenOffered)
{
    return {host, port, user, mode, ""};
}

TEST(KeptStatePasswords, StatementsThatMayCarryAPasswordAreRecognised)
{
    const struct {
        const char* Statement;
        bool Carries;
    } cases[] = {
        {"CREATE USER bob IDENTIFIED BY 'secret'", true},
        {"create user bob@localhost", true},
        {"CREATE OR REPLACE USER bob", true},
        {"alter\n  user bob identified by 'x'", true},
        {"ALTER /* c */ USER bob", true},
        {"GRANT ALL ON *.* TO bob IDENTIFIED BY 'x'", true},
        {"grant select on db.* to bob identified via ed25519 using password('x')", true},
        {"SET PASSWORD = PASSWORD('x')", true},
        {"set password for bob = 'hash'", true},
        {"SELECT PASSWORD ('x')", true},
        {"CHANGE MASTER TO MASTER_PASSWORD='x'", true},
        {"select * from users", false},
        {"create table user (id int)", false},
        {"select password from accounts", false},
        {"alter table users add column x int", false},
        {"GRANT SELECT ON db.* TO bob", false},
        {"select 'created' as user", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TKeptState::CarriesPassword(QString::fromUtf8(c.Statement)), c.Carries) << c.Statement;
}

TEST_F(KeptStateTest, HistoryOutlivesTheStoreWithoutPasswordsNewestKept)
{
    {
        TKeptState store = Store();
        TQueryHistory history;
        store.AttachHistory(history, TConnectionInfo{"db", 3306, "ann", "pw"});
        history.Record("select 1");
        history.Record("CREATE USER x IDENTIFIED BY 'topsecret'");
        history.Record("select 2");
        history.Record("SELECT 1"); // one entry with "select 1", moved to the end
    }
    TKeptState store = Store();
    EXPECT_EQ(store.History("db", 3306, "ann"), QStringList({"select 2", "select 1"}));
    EXPECT_TRUE(store.History("db", 3306, "bob").isEmpty()) << "another user's history";
    EXPECT_TRUE(store.History("db", 3307, "ann").isEmpty()) << "another port's history";
    QFile file(store.HistoryFile("db", 3306, "ann"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("topsecret"));

    // A console started again sees what was kept, and its index stands past the newest.
    TQueryHistory again;
    store.AttachHistory(again, TConnectionInfo{"db", 3306, "ann", ""});
    EXPECT_EQ(again.Back(), QString("select 1"));

    for (int i = 0; i < TKeptState::HistoryLimit + 5; ++i)
        store.KeepHistoryEntry("db", 1, "ann", QString("select %1").arg(i));
    const QStringList kept = store.History("db", 1, "ann");
    ASSERT_EQ(kept.size(), TKeptState::HistoryLimit);
    EXPECT_EQ(kept.front(), "select 5");
    EXPECT_EQ(kept.back(), QString("select %1").arg(TKeptState::HistoryLimit + 4));
}

TEST_F(KeptStateTest, RecentConnectionsNewestFirstOnePerAccountAtMostTwenty)
{
    {
        TKeptState store = Store();
        store.RememberConnection(Connection("a", 3306, "ann"));
        store.RememberConnection(Connection("b", 3306, "bob"));
        store.RememberConnection(Connection("a", 3306, "ann", TTlsMode::Verified));
    }
    TKeptState store = Store();
    std::vector<TRecentConnection> recent = store.RecentConnections();
    ASSERT_EQ(recent.size(), 2u);
    EXPECT_EQ(recent[0].Host, "a");
    EXPECT_EQ(recent[0].TlsMode, TTlsMode::Verified);
    EXPECT_EQ(recent[1].Host, "b");

    store.ForgetConnection(recent[0]);
    recent = store.RecentConnections();
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0].User, "bob");

    for (int i = 0; i < 25; ++i)
        store.RememberConnection(Connection("h" + std::to_string(i), 3306, "u"));
    recent = store.RecentConnections();
    ASSERT_EQ(recent.size(), static_cast<std::size_t>(TKeptState::RecentLimit));
    EXPECT_EQ(recent.front().Host, "h24");
    EXPECT_EQ(recent.back().Host, "h5");
}

TEST_F(KeptStateTest, TrustedFingerprintsPerHostAndPortReplaced)
{
    Store().TrustFingerprint("db", 3306, "AA:BB");
    Store().TrustFingerprint("db", 3307, "CC:DD");
    EXPECT_EQ(Store().TrustedFingerprint("db", 3306), "AA:BB");
    EXPECT_EQ(Store().TrustedFingerprint("db", 3307), "CC:DD");
    EXPECT_EQ(Store().TrustedFingerprint("other", 3306), "");
    Store().TrustFingerprint("db", 3306, "EE:FF");
    EXPECT_EQ(Store().TrustedFingerprint("db", 3306), "EE:FF");
}

TEST_F(KeptStateTest, FilesAreTheOwnersAloneAndWrittenWhole)
{
    TKeptState store = Store();
    store.RememberConnection(Connection("a", 3306, "ann"));
    store.TrustFingerprint("a", 3306, "AA");
    store.KeepHistoryEntry("a", 3306, "ann", "select 1");
    store.KeepWindowGeometry("geometry");
    for (const QString& file : {store.SettingsFile(), store.ConnectionsFile(), store.TrustedFile(),
                                store.HistoryFile("a", 3306, "ann")})
        EXPECT_EQ(Mode(file), 0600) << file.toStdString();
    for (const QString& folder : {FDir.path() + "/config", store.HistoryFolder()})
        EXPECT_EQ(Mode(folder), 0700) << folder.toStdString();
    // Nothing but the files and their lock files: no temporary one is left behind.
    for (const QString& name : QDir(FDir.path() + "/config").entryList(QDir::Files))
        EXPECT_TRUE(name.endsWith(".json") || name.endsWith(".lock")) << name.toStdString();
    EXPECT_EQ(Store().WindowGeometry(), "geometry");
}

TEST_F(KeptStateTest, ADamagedFileIsSetAsideWithAMessageAndStartedAfresh)
{
    TKeptState store = StoreWithMessages();
    store.RememberConnection(Connection("a", 3306, "ann"));
    for (const QByteArray& damage : {QByteArray("{\"recent\": [tr"), QByteArray("[1, 2]"), QByteArray("\xff\xfe")}) {
        SCOPED_TRACE(damage.toStdString());
        Messages.clear();
        {
            QFile file(store.ConnectionsFile());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(damage);
        }
        EXPECT_TRUE(store.RecentConnections().empty());
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_TRUE(Messages[0].contains("повреждён и отложен")) << Messages[0].toStdString();
        EXPECT_FALSE(QFile::exists(store.ConnectionsFile()));
        const QStringList aside =
            QDir(QFileInfo(store.ConnectionsFile()).absolutePath()).entryList({"connections.json.damaged-*"});
        ASSERT_FALSE(aside.isEmpty());
        store.RememberConnection(Connection("b", 3306, "bob"));
        ASSERT_EQ(store.RecentConnections().size(), 1u);
        for (const QString& name : aside)
            QFile::remove(QFileInfo(store.ConnectionsFile()).absolutePath() + "/" + name);
    }
    // A damaged setting leaves keeping on, as it is by default.
    QFile settings(store.SettingsFile());
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("{{{");
    settings.close();
    EXPECT_TRUE(store.Enabled());
}

TEST_F(KeptStateTest, TurningItOffRemovesWhatWasKeptAndKeepsNothingMore)
{
    TKeptState store = Store();
    store.RememberConnection(Connection("a", 3306, "ann"));
    store.TrustFingerprint("a", 3306, "AA");
    store.KeepHistoryEntry("a", 3306, "ann", "select 1");
    store.KeepWindowGeometry("geometry");
    store.SetEnabled(false);

    TKeptState restarted = Store();
    EXPECT_FALSE(restarted.Enabled());
    EXPECT_FALSE(QFile::exists(store.ConnectionsFile()));
    EXPECT_FALSE(QFile::exists(store.TrustedFile()));
    EXPECT_FALSE(QFileInfo::exists(store.HistoryFolder()));
    QFile settings(store.SettingsFile());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_FALSE(settings.readAll().contains("window"));

    restarted.RememberConnection(Connection("a", 3306, "ann"));
    restarted.KeepHistoryEntry("a", 3306, "ann", "select 1");
    restarted.TrustFingerprint("a", 3306, "AA");
    EXPECT_FALSE(QFile::exists(store.ConnectionsFile()));
    EXPECT_FALSE(QFile::exists(store.TrustedFile()));
    EXPECT_FALSE(QFileInfo::exists(store.HistoryFolder()));

    restarted.SetEnabled(true);
    restarted.RememberConnection(Connection("a", 3306, "ann"));
    EXPECT_EQ(Store().RecentConnections().size(), 1u);
}

// The child of the test below: writes its entries and the connection it is given, one at a time.
TEST(KeptStateChild, WriteEntries)
{
    const char* dir = std::getenv(kChildDirVariable);
    if (!dir)
        GTEST_SKIP() << "run by TwoProcessesWritingAtOnceLoseNothing";
    // The lock file names the program that holds it, as the program itself does: a holder whose
    // name cannot be matched would be taken for one that died.
    int argc = 1;
    std::string self = "KeptStateTest";
    char* argv[] = {self.data(), nullptr};
    QCoreApplication application(argc, argv);
    const QString name = QString::fromLocal8Bit(std::getenv("BRINDLECAST_KEPT_NAME"));
    TKeptState store(QString::fromLocal8Bit(dir) + "/config", QString::fromLocal8Bit(dir) + "/data");
    for (int i = 0; i < kChildEntries; ++i) {
        store.KeepHistoryEntry("db", 3306, "ann", QString("select '%1', %2").arg(name).arg(i));
        if (i % 10 == 0)
            store.RememberConnection(Connection(name.toStdString() + std::to_string(i), 3306, "ann"));
    }
}

TEST_F(KeptStateTest, TwoProcessesWritingAtOnceLoseNothing)
{
    std::vector<pid_t> children;
    for (const char* name : {"one", "two"}) {
        const std::string filter = "--gtest_filter=KeptStateChild.WriteEntries";
        const std::string dirVariable = std::string(kChildDirVariable) + "=" + FDir.path().toStdString();
        const std::string nameVariable = std::string("BRINDLECAST_KEPT_NAME=") + name;
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);
        environment.push_back(dirVariable);
        environment.push_back(nameVariable);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string self = QFile::symLinkTarget("/proc/self/exe").toStdString();
        char* argv[] = {self.data(), const_cast<char*>(filter.c_str()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const QStringList kept = Store().History("db", 3306, "ann");
    EXPECT_EQ(kept.size(), 2 * kChildEntries);
    for (const char* name : {"one", "two"}) {
        for (int i = 0; i < kChildEntries; ++i)
            EXPECT_TRUE(kept.contains(QString("select '%1', %2").arg(name).arg(i))) << name << i;
    }
    EXPECT_EQ(Store().RecentConnections().size(), 2u * (kChildEntries / 10));
}

} // namespace
