// The crash record and the error report: what the handler writes reads back whole, the report
// traces an exception to its thrower, reads local files only (also of a replaced executable), names
// the open consoles without their passwords and says what to do next, the edited report is the one
// saved and sent where the build says, a password turns core dumps off, and the program's threads
// carry names and signal stacks of their own.
#include "CrashConsoles.h"
#include "CrashHandler.h"
#include "CrashRecord.h"
#include "CrashReport.h"
#include "CrashReportForm.h"
#include "ClientThread.h"
#include "UnitConnectDialog.h"

#include "ConsoleTesting.h"
#include "ModalWindows.h"
#include "QtPrinters.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <arpa/inet.h>
#include <mysql.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

using testing::HasSubstr;

namespace {

// Writes the event's record as the handler does and reads it back.
TCrashRecord WriteAndRead(const TCrashEvent& event, const TCrashEnvironment& environment = {},
                          const std::vector<TCrashConsole>& consoles = {})
{
    const int fd = memfd_create("crash-record-test", MFD_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_TRUE(WriteCrashRecord(fd, event, EnvironmentLines(environment), ConsoleLines(consoles)));
    lseek(fd, 0, SEEK_SET);
    std::optional<TCrashRecord> record = ReadCrashRecord(fd);
    close(fd);
    EXPECT_TRUE(record);
    return record.value_or(TCrashRecord{});
}

TEST(CrashRecord, ReadsBackWhatTheHandlerWrote)
{
    const std::uintptr_t frames[] = {0x1000, 0x7fffffffffff, 0x1};
    TCrashEvent event;
    event.Kind = TCrashKind::Signal;
    event.Signal = SIGSEGV;
    event.Code = -6;
    event.Address = 0xdeadbeef;
    event.Sender = 4242;
    event.Pc = 0x55aa;
    event.Frames = frames;
    event.FrameCount = std::size(frames);
    const TCrashEnvironment environment{"2.0.0.6", "Release, GCC", "6.4.2", "MariaDB Connector/C 3.3",
                                        "Debian, Linux", "/usr/bin/brindlecast"};
    const TCrashRecord record = WriteAndRead(event, environment);

    EXPECT_EQ(record.Kind, TCrashKind::Signal);
    EXPECT_EQ(record.Signal, SIGSEGV);
    EXPECT_EQ(record.Code, -6);
    EXPECT_EQ(record.Address, 0xdeadbeefu);
    EXPECT_EQ(record.Sender, 4242);
    EXPECT_EQ(record.Pc, 0x55aau);
    EXPECT_EQ(record.Frames, std::vector<std::uintptr_t>(std::begin(frames), std::end(frames)));
    EXPECT_EQ(record.Pid, getpid());
    EXPECT_EQ(record.Tid, syscall(SYS_gettid));
    EXPECT_FALSE(record.ThreadName.empty());
    EXPECT_NE(record.Anchor, 0u);
    EXPECT_EQ(record.Environment.Version, "2.0.0.6");
    EXPECT_EQ(record.Environment.System, "Debian, Linux");
    EXPECT_EQ(record.Environment.Executable, "/usr/bin/brindlecast");
    // The module map is the running process's: it names this test program.
    EXPECT_THAT(record.Maps, HasSubstr(std::string(program_invocation_name).substr(
                                 std::string(program_invocation_name).rfind('/') + 1)));
}

// Texts that come from outside (an exception's text, a host or user name) keep every character,
// however it could be taken for the record's own line breaks, separators or escapes.
TEST(CrashRecord, TextsKeepEveryCharacter)
{
    const std::string texts[] = {
        "plain",
        "",
        "кириллица и 😀",
        "two\nlines",
        "crlf\r\nend",
        "a\ttab",
        "back\\slash",
        "\\n is no line break",
        "ends with a backslash\\",
        "console a\tb\tc\td",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        TCrashEvent event;
        event.Kind = TCrashKind::Terminate;
        event.ExceptionType = text.c_str();
        event.ExceptionText = text.c_str();
        const TCrashRecord record =
            WriteAndRead(event, {text, text, text, text, text, text}, {{text, 3306, text, text}, {"h", 1, "u", ""}});
        EXPECT_EQ(record.Kind, TCrashKind::Terminate);
        EXPECT_EQ(record.ExceptionType, text);
        EXPECT_EQ(record.ExceptionText, text);
        EXPECT_EQ(record.Environment.Build, text);
        ASSERT_EQ(record.Consoles.size(), 2u);
        EXPECT_EQ(record.Consoles[0].Host, text);
        EXPECT_EQ(record.Consoles[0].User, text);
        EXPECT_EQ(record.Consoles[0].ServerVersion, text);
        EXPECT_EQ(record.Consoles[0].Port, 3306);
        EXPECT_EQ(record.Consoles[1].Host, "h");
    }
}

TEST(CrashRecord, RefusesWhatIsNoRecord)
{
    const std::string texts[] = {
        "",
        "brindlecast-crash-record 1",
        "brindlecast-crash-record 2\nkind signal\n",
        "some other file\n",
        "brindlecast-crash-record 1\nsignal eleven\n",
        "brindlecast-crash-record 1\nframe 0xzz\n",
        "brindlecast-crash-record 1\nkind explosion\n",
        "brindlecast-crash-record 1\nconsole host\tport\tuser\tversion\n",
    };
    for (const std::string& text : texts)
        EXPECT_FALSE(ParseCrashRecord(text)) << text;
}

[[gnu::noinline]] void ThrowLogicError(int& line)
{
    line = __LINE__ + 1;
    throw std::logic_error("ошибка в тесте");
}

[[gnu::noinline]] void ThrowAndRethrow(int& line)
{
    try {
        ThrowLogicError(line);
    } catch (...) {
        throw;
    }
}

[[gnu::noinline]] void ThrowFromTheLibrary(int& line)
{
    const std::vector<int> none;
    line = __LINE__ + 1;
    static_cast<void>(none.at(1));
}

// The record of an exception as the last-resort handler makes it, in its catch block.
TCrashRecord RecordOf(void (*thrower)(int&), int& line)
{
    try {
        thrower(line);
    } catch (...) {
        return RecordCurrentException();
    }
    ADD_FAILURE() << "nothing was thrown";
    return {};
}

// The stack of an exception that escaped is the thrower's, not the catcher's: the throw is the first
// frame of our own code, with its file and line, even when the exception was rethrown on its way or
// thrown inside the C++ library.
TEST(CrashReport, TracesAnExceptionToItsThrower)
{
    const struct {
        void (*Thrower)(int&);
        const char* Function;
        const char* Type;
    } cases[] = {
        {ThrowLogicError, "ThrowLogicError", "std::logic_error"},
        {ThrowAndRethrow, "ThrowLogicError", "std::logic_error"},
        {ThrowFromTheLibrary, "ThrowFromTheLibrary", "std::out_of_range"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.Function);
        int line = 0;
        const TCrashRecord record = RecordOf(item.Thrower, line);
        EXPECT_EQ(record.Kind, TCrashKind::Exception);
        const std::vector<TStackFrame> frames = SymboliseStack(record);
        const auto own = std::find_if(frames.begin(), frames.end(), [](const TStackFrame& frame) {
            // From the top of the source tree, or relative to the build directory where a compiler
            // cache made the paths relative.
            return frame.File.ends_with("tests/crash/CrashHandlingTest.cpp");
        });
        ASSERT_NE(own, frames.end()) << CrashReportText(record).toStdString();
        EXPECT_THAT(own->Function, HasSubstr(item.Function));
        EXPECT_EQ(own->Line, line);
        EXPECT_THAT(CrashReportText(record).toStdString(),
                    HasSubstr(std::string("Что случилось: исключение ") + item.Type));
    }
}

std::string FileText(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Sets an environment variable for the life of the object.
class TEnvironmentVariable {
public:
    TEnvironmentVariable(const char* name, const std::string& value)
        : FName(name)
        , FSaved(qgetenv(name))
        , FWasSet(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~TEnvironmentVariable()
    {
        if (FWasSet)
            qputenv(FName, FSaved);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    QByteArray FSaved;
    bool FWasSet;
};

// A debug-information server that takes connections into its queue and never answers.
class TSilentServer {
public:
    TSilentServer()
    {
        FSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        EXPECT_EQ(bind(FSocket, reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(listen(FSocket, 16), 0);
        getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &size);
        FUrl = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~TSilentServer() { close(FSocket); }

    const std::string& Url() const { return FUrl; }

    // Whether a connection waits in the queue.
    bool Called() const
    {
        pollfd wait = {FSocket, POLLIN, 0};
        return poll(&wait, 1, 0) > 0;
    }

private:
    int FSocket = -1;
    std::string FUrl;
};

// Symbolising reads local files only. With DEBUGINFOD_URLS naming a server that never answers, no
// module's debug information is asked for there, the client library for it is not even loaded,
// and frames in libraries without local debug information are still named from their symbols.
TEST(CrashReport, NeverAsksADebugInfoServer)
{
    TSilentServer server;
    const TEnvironmentVariable urls("DEBUGINFOD_URLS", server.Url());
    // Bounds the wait should a look-up ask the server after all.
    const TEnvironmentVariable timeout("DEBUGINFOD_TIMEOUT", "2");
    int line = 0;
    TCrashRecord record = RecordOf(ThrowLogicError, line);
    // Libraries whose debug packages are not installed.
    record.Frames.push_back(reinterpret_cast<std::uintptr_t>(&qVersion) + 1);
    record.Frames.push_back(reinterpret_cast<std::uintptr_t>(&mysql_get_client_info) + 1);
    const std::string report = CrashReportText(record).toStdString();
    EXPECT_FALSE(server.Called());
    EXPECT_THAT(FileText("/proc/self/maps"), testing::Not(HasSubstr("libdebuginfod")));
    EXPECT_THAT(report, HasSubstr("qVersion"));
    EXPECT_THAT(report, HasSubstr("mysql_get_client_info"));
    EXPECT_THAT(report, HasSubstr("ThrowLogicError"));
}

// After a package upgrade has replaced the executable, the kernel's map names it "… (deleted)" and
// the file at its path is another or none: the frames of the program's own code are still named,
// with file and line, from the file that ran.
TEST(CrashReport, NamesTheFramesOfAReplacedExecutable)
{
    int line = 0;
    TCrashRecord record = RecordOf(ThrowLogicError, line);
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string path = std::string(" ") + self + '\n';
    std::string& maps = record.Maps;
    for (std::size_t at = maps.find(path); at != std::string::npos; at = maps.find(path, at + 1))
        maps.insert(at + path.size() - 1, " (deleted)");
    ASSERT_THAT(maps, HasSubstr(" (deleted)\n"));

    const std::vector<TStackFrame> frames = SymboliseStack(record);
    const auto thrower = std::find_if(frames.begin(), frames.end(), [](const TStackFrame& frame) {
        return frame.Function.find("ThrowLogicError") != std::string::npos;
    });
    ASSERT_NE(thrower, frames.end()) << CrashReportText(record).toStdString();
    EXPECT_EQ(thrower->Line, line);
    EXPECT_EQ(thrower->Module, "CrashHandlingTest");
}

// The summary says that connections were closed only when a console was connected.
TEST(CrashReport, SummaryTellsTheTruthAboutConnections)
{
    const TCrashConsole connected{"db", 3306, "u", "10.11.6-MariaDB"};
    const TCrashConsole notConnected{"db", 3306, "u", ""};
    const struct {
        const char* What;
        TCrashKind Kind;
        std::int64_t Sender;
        std::vector<TCrashConsole> Consoles;
        const char* Summary;
    } cases[] = {
        {"a crash without consoles", TCrashKind::Signal, 0, {},
         "Brindlecast аварийно завершилась из-за внутренней ошибки."},
        {"a crash with a console not connected", TCrashKind::Signal, 0, {notConnected},
         "Brindlecast аварийно завершилась из-за внутренней ошибки."},
        {"a crash with a console connected", TCrashKind::Terminate, 0, {notConnected, connected},
         "Brindlecast аварийно завершилась из-за внутренней ошибки, и её открытые соединения закрыты."},
        {"a kill without connections", TCrashKind::Signal, 4242, {notConnected},
         "Brindlecast была остановлена другой программой."},
        {"a kill with a connection", TCrashKind::Signal, 4242, {connected},
         "Brindlecast была остановлена другой программой, и её открытые соединения закрыты."},
        {"an exception", TCrashKind::Exception, 0, {connected},
         "В Brindlecast произошла внутренняя ошибка: начатое действие не выполнено, но работу можно "
         "продолжить."},
    };
    for (const auto& item : cases) {
        TCrashRecord record;
        record.Kind = item.Kind;
        record.Signal = SIGSEGV;
        record.Code = item.Sender ? 0 : 1;
        record.Sender = item.Sender;
        record.Pid = 17;
        record.Consoles = item.Consoles;
        EXPECT_EQ(CrashSummary(record).toStdString(), item.Summary) << item.What;
    }
}

// The window says what to do next; where the build names an address, the report names it and
// "Отправить…" addresses its letter there.
TEST(CrashReport, NamesWhereTheReportGoes)
{
    const QString address = QStringLiteral("bugs@brindle.test");
    EXPECT_THAT(CrashReportText({}, address).toStdString(), HasSubstr("Куда отправить: bugs@brindle.test"));
    EXPECT_THAT(CrashReportText({}, QString()).toStdString(), testing::Not(HasSubstr("Куда отправить")));
    for (const QString& to : {address, QString()}) {
        const std::string steps = CrashNextSteps(to).toStdString();
        EXPECT_THAT(steps, HasSubstr("сохраните отчёт кнопкой «Сохранить…» и приложите файл к сообщению об ошибке"));
        EXPECT_EQ(steps.find("«Отправить…» на адрес bugs@brindle.test") != std::string::npos, !to.isEmpty());
    }
}

// The time of a failure is read elsewhere, so it carries its offset from UTC.
TEST(CrashReport, GivesTheTimeWithItsOffset)
{
    const QByteArray savedZone = qgetenv("TZ");
    const struct {
        const char* Zone;
        const char* Time;
    } cases[] = {
        {"UTC0", "Время: 2024-03-05 07:08:09 UTC+00:00"},
        {"XYZ-5:30", "Время: 2024-03-05 12:38:09 UTC+05:30"},
        {"XYZ3", "Время: 2024-03-05 04:08:09 UTC-03:00"},
    };
    for (const auto& item : cases) {
        qputenv("TZ", item.Zone);
        tzset();
        TCrashRecord record;
        record.Time = 1709622489; // 2024-03-05 07:08:09 UTC
        EXPECT_THAT(CrashReportText(record).toStdString(), HasSubstr(item.Time)) << item.Zone;
    }
    qputenv("TZ", savedZone);
    tzset();
}

// A console is listed from its connect on, with what the server reported, and goes with its frame;
// its password is nowhere in the report.
class CrashConsolesTest : public testing::Test {
protected:
    static TCrashRecord Record()
    {
        try {
            throw std::runtime_error("record");
        } catch (...) {
            return RecordCurrentException();
        }
    }
};

TEST_F(CrashConsolesTest, ListsEachConsoleWithoutItsPassword)
{
    auto frame = std::make_unique<TEditorFrame>();
    frame->InitFrame();
    ListConsoleInCrashReports(frame.get());
    frame->OpenConnection(ServerInfo());
    WaitIdle(*frame);
    ASSERT_TRUE(frame->Session().State().Opened) << frame->Session().State().ErrorText;
    TMySQLDataSet probe;
    ConfigureForTestServer(probe);
    ASSERT_TRUE(probe.Open()) << probe.ErrorText();
    const std::string version = probe.Query("SELECT VERSION()")->FetchRow()->GetValue(0);

    TCrashRecord record = Record();
    ASSERT_EQ(record.Consoles.size(), 1u);
    EXPECT_EQ(record.Consoles[0].Host, TestServer().Host);
    EXPECT_EQ(record.Consoles[0].Port, TestServer().Port);
    EXPECT_EQ(record.Consoles[0].User, TestServer().User);
    EXPECT_EQ(record.Consoles[0].ServerVersion, version);
    EXPECT_THAT(CrashReportText(record).toStdString(), testing::Not(HasSubstr(TestServer().Password)));

    frame->CloseConnection();
    WaitIdle(*frame);
    record = Record();
    ASSERT_EQ(record.Consoles.size(), 1u);
    EXPECT_EQ(record.Consoles[0].ServerVersion, "");

    frame.reset();
    EXPECT_TRUE(Record().Consoles.empty());
}

TEST(CrashReportForm, SavesTheReportAsEdited)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("report.txt"));
    TCrashReportForm form(QStringLiteral("Что-то случилось."), QStringLiteral("отчёт\nс паролем 123\n"), false);
    form.show();
    EXPECT_TRUE(form.mmReport->isReadOnly());
    form.btEdit->click();
    ASSERT_FALSE(form.mmReport->isReadOnly());
    form.mmReport->setPlainText(QStringLiteral("отчёт\nбез пароля\n"));
    form.btEdit->click();
    EXPECT_TRUE(form.mmReport->isReadOnly());

    TOnModal<QFileDialog> answer([&path](QFileDialog& dialog) {
        dialog.selectFile(path);
        static_cast<QDialog&>(dialog).accept();
    });
    form.btSave->click();
    ASSERT_EQ(answer.Calls(), 1);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), QStringLiteral("отчёт\nбез пароля\n"));
}

// "Отправить…" hands the report to the mail program with the build's address as the recipient, or
// with none where the build names none.
TEST(CrashReportForm, AddressesTheLetterWhereTheBuildSays)
{
    QTemporaryDir directory;
    const QString arguments = directory.filePath(QStringLiteral("arguments"));
    QFile script(directory.filePath(QStringLiteral("xdg-email")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\0' \"$@\" > '%1.part' && mv '%1.part' '%1'\n")
                     .arg(arguments)
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const TEnvironmentVariable path("PATH", directory.path().toStdString() + ':' + qgetenv("PATH").toStdString());

    for (const QString& address : {QStringLiteral("bugs@brindle.test"), QString()}) {
        QFile::remove(arguments);
        TCrashReportForm form(QStringLiteral("s"), QStringLiteral("отчёт"), false, address);
        form.btSend->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(arguments); }, 20000));
        QFile given(arguments);
        ASSERT_TRUE(given.open(QIODevice::ReadOnly));
        QList<QByteArray> words = given.readAll().split('\0');
        words.removeLast();
        ASSERT_GE(words.size(), 5);
        EXPECT_EQ(words[4], "отчёт");
        EXPECT_EQ(words.size() == 6 ? words[5] : QByteArray(), address.toUtf8());
        EXPECT_LE(words.size(), 6);
        EXPECT_EQ(form.lblNextSteps->text(), CrashNextSteps(address));
    }
}

// The report window closed while the mail program still starts (a slow desktop): the window goes
// without a word, and no box about a missing mail program opens from a window being destroyed.
TEST(CrashReportForm, ClosesQuietlyWhileTheMailProgramStarts)
{
    QTemporaryDir directory;
    QFile script(directory.filePath(QStringLiteral("xdg-email")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec sleep 30\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const TEnvironmentVariable path("PATH", directory.path().toStdString() + ':' + qgetenv("PATH").toStdString());

    bool boxOpened = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&boxOpened] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            boxOpened = true;
            box->close();
        }
    });
    closer.start(50);
    {
        TCrashReportForm form(QStringLiteral("s"), QStringLiteral("отчёт"), false, QStringLiteral("bugs@brindle.test"));
        form.btSend->click();
        // A user who closes the window a little later.
        QTest::qWait(300);
    }
    QTest::qWait(200);
    EXPECT_FALSE(boxOpened);
}

// After a crash the program is gone: nothing to continue, and Esc closes. After an exception Esc
// and the close box continue, so that a slip of the hand ends nothing.
TEST(CrashReportForm, ContinuesOnlyAfterAnException)
{
    for (const bool canContinue : {false, true}) {
        TCrashReportForm form(QStringLiteral("s"), QStringLiteral("r"), canContinue);
        form.show();
        EXPECT_EQ(form.btContinue->isVisible(), canContinue);
        QTimer::singleShot(0, &form, [&form] { QTest::keyClick(&form, Qt::Key_Escape); });
        EXPECT_EQ(form.exec(), canContinue ? TCrashReportForm::chContinue : TCrashReportForm::chClose);
    }
}

// A password turns core dumps off from the moment it enters the process, wherever it enters. Each
// case runs in a fresh process, since nothing turns them on again.
TEST(CoreDumps, TurnOffOnceAPasswordIsHeld)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* What;
        std::function<void()> Enter;
        int Dumpable;
    } cases[] = {
        {"nothing", [] {}, 1},
        {"an empty password", [] { TMySQLConnection().SetPassword(""); }, 1},
        {"a connection's password", [] { TMySQLConnection().SetPassword("secret"); }, 0},
        {"a character typed into the connect dialog",
         [] {
             TConnectDialog dialog;
             QTest::keyClick(dialog.Password, Qt::Key_S);
         },
         0},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.What);
        // _Exit: the child leaves without the leak check, which would change its exit code.
        EXPECT_EXIT(
            {
                item.Enter();
                std::_Exit(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0));
            },
            testing::ExitedWithCode(item.Dumpable), "");
    }
}

} // namespace

namespace {

// Each thread that runs the program's code carries a name, which reports show, and a signal stack of
// its own, so that a stack overflow on it still runs the crash handler.
TEST(OwnThreads, ClientThreadsAreNamedAndHaveASignalStack)
{
    for (const char* role : {"client", "cancel"}) {
        TClientThread thread(role);
        std::promise<std::pair<std::string, std::size_t>> seen;
        thread.Post([&seen] {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            stack_t stack = {};
            sigaltstack(nullptr, &stack);
            seen.set_value({name, stack.ss_flags & SS_DISABLE ? 0 : stack.ss_size});
        });
        const auto [name, size] = seen.get_future().get();
        EXPECT_THAT(name, testing::StartsWith(std::string(role) + ' '));
        // More than the sanitizer gives a thread of its own accord, where it does.
        EXPECT_GE(size, 128u * 1024);
    }
}

} // namespace
