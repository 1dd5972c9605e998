// A large SELECT run the way the console runs it (ExecuteStatement into the transcript pane of a shown
// console, until the last line is appended), beside the same statement through the client library
// alone (read as it arrives, every value of every row touched once: the fastest a client can read),
// beside `mariadb --quick --batch` writing to /dev/null (the floor) and beside `mariadb --table` (the
// reference for memory). Each runs in a process of its own, so that each reports its own peak
// memory; `compare` runs them in turn, again and again, and prints the medians beside the targets;
// the console's wall time is held to wallLimit times the library's (default 1.10). The console's run
// also reports the longest stall of the GUI thread meanwhile. `repeated` runs the statement three
// times in one console and holds the third statement's longest stall to the first's + 10 ms: no
// turn may cost more because the transcript is longer.
//
//   ExecuteStatementBench compare host port user password database query [runs [wallLimit]]
//   ExecuteStatementBench repeated host port user password database query [runs]
//   ExecuteStatementBench console|console3|client host port user password database query
#include "BenchSupport.h"
#include "HLEditor.h"
#include "UnitEditorFrame.h"

#include <QApplication>

#include <mysql.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace bench;

// The reference: the statement sent, its rows read as they arrive (as the console reads them) and
// every value of every row touched once, over TLS where the server offers it, as the console's
// connection and mariadb --table go.
int RunClientOnly(char** argv)
{
    MYSQL* handle = mysql_init(nullptr);
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const my_bool useTls = 1;
    mysql_optionsv(handle, MYSQL_OPT_SSL_ENFORCE, &useTls);
    if (!mysql_real_connect(handle, argv[2], argv[4], argv[5], argv[6], std::atoi(argv[3]), nullptr, 0)) {
        std::fprintf(stderr, "connect: %s\n", mysql_error(handle));
        return 1;
    }
    const double cpuStart = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    if (mysql_query(handle, argv[7]) != 0) {
        std::fprintf(stderr, "query: %s\n", mysql_error(handle));
        return 1;
    }
    MYSQL_RES* result = mysql_use_result(handle);
    const unsigned columns = mysql_num_fields(result);
    unsigned long long rows = 0, bytes = 0;
    unsigned touched = 0;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        for (unsigned i = 0; i < columns; ++i) {
            if (row[i] && lengths[i] > 0) {
                bytes += lengths[i];
                touched += static_cast<unsigned char>(row[i][0]) + static_cast<unsigned char>(row[i][lengths[i] - 1]);
            }
        }
        ++rows;
    }
    if (mysql_errno(handle) != 0) {
        std::fprintf(stderr, "fetch: %s\n", mysql_error(handle));
        return 1;
    }
    const double ms = MillisecondsSince(start);
    const double cpu = CpuMs() - cpuStart;
    mysql_free_result(result);
    const char* cipher = mysql_get_ssl_cipher(handle);
    std::printf("client library alone: %llu rows, %llu bytes of values (%u), %s\n", rows, bytes, touched,
        cipher ? cipher : "without TLS");
    mysql_close(handle);
    PrintFigures({{"wall", ms}, {"cpu", cpu}, {"peak", PeakResidentMiB()}, {"rows", static_cast<double>(rows)}});
    return 0;
}

int RunConsole(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TEditorFrame frame;
    if (!OpenShownConsole(frame, argv[2], argv[3], argv[4], argv[5], argv[6]))
        return 1;

    const double residentBefore = ResidentMiB();
    TStallWatch watch;
    const double cpuStart = CpuMs();
    const double ms = Milliseconds([&] {
        frame.ExecuteStatement(QString::fromUtf8(argv[7]));
        WaitIdle(frame);
    });
    const double cpu = CpuMs() - cpuStart;
    const double stall = watch.LongestMs();

    const TEditorStrings& lines = frame.mmResult().Lines();
    double textBytes = 0;
    for (int i = 0; i < lines.Count(); ++i)
        textBytes += static_cast<double>(frame.mmResult().LineBytes(i).size());
    const double storeBytes = static_cast<double>(lines.MemoryBytes());
    const double count = lines.Count();
    std::printf("console: %.0f transcript lines\n", count);
    const double peak = PeakResidentMiB();
    // "Очистить": what the statement took must go back.
    frame.ClearPanes();
    QCoreApplication::processEvents();
    PrintFigures({{"wall", ms}, {"cpu", cpu}, {"peak", peak}, {"stall", stall},
        {"storeperline", storeBytes / count}, {"textperline", textBytes / count},
        {"afterclear", ResidentMiB() - residentBefore}});
    return 0;
}

// The statement three times in one console; each one's longest stall of the GUI thread.
int RunConsoleThrice(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TEditorFrame frame;
    if (!OpenShownConsole(frame, argv[2], argv[3], argv[4], argv[5], argv[6]))
        return 1;
    std::map<std::string, double> figures;
    for (int statement = 1; statement <= 3; ++statement) {
        TStallWatch watch;
        frame.ExecuteStatement(QString::fromUtf8(argv[7]));
        WaitIdle(frame);
        figures["stall" + std::to_string(statement)] = watch.LongestMs();
    }
    PrintFigures(figures);
    return 0;
}

int Repeated(int argc, char** argv)
{
    const int runs = argc > 8 ? std::max(1, std::atoi(argv[8])) : 3;
    std::vector<double> stalls[3];
    for (int run = 0; run < runs; ++run) {
        const TChildRun console =
            RunChild({"/proc/self/exe", "console3", argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]});
        if (console.Status != 0) {
            std::fprintf(stderr, "a run failed: %d\n", console.Status);
            return 1;
        }
        for (int i = 0; i < 3; ++i)
            stalls[i].push_back(console.Figures.at("stall" + std::to_string(i + 1)));
    }
    std::printf("the statement three times in one console (medians of %d runs):\n", runs);
    Figure("the GUI thread's longest stall: first statement", Median(stalls[0]), "ms");
    Figure("  second statement", Median(stalls[1]), "ms");
    AtMost("  third statement", Median(stalls[2]), "ms", Median(stalls[0]) + 10, "the first's + 10 ms");
    return ExitStatus();
}

int Compare(int argc, char** argv)
{
    const int runs = argc > 8 ? std::max(1, std::atoi(argv[8])) : 5;
    const double wallLimit = argc > 9 ? std::atof(argv[9]) : 1.10;
    const auto self = [&](const char* mode) {
        return RunChild({"/proc/self/exe", mode, argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]});
    };
    std::vector<double> clientWall, clientCpu, clientPeak, consoleWall, consoleCpu, consolePeak, stalls,
        referenceWall, referencePeak, floorWall, floorCpu, storePerLine, textPerLine, afterClear;
    double rows = 0;
    for (int run = 0; run < runs; ++run) {
        const TChildRun client = self("client");
        const TChildRun console = self("console");
        const TChildRun reference = RunChild(ReferenceClient(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]));
        const TChildRun floor = RunChild(FloorClient(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]), true);
        if (client.Status != 0 || console.Status != 0 || reference.Status != 0 || floor.Status != 0) {
            std::fprintf(stderr, "a run failed: client %d, console %d, mariadb --table %d, mariadb --batch %d\n",
                client.Status, console.Status, reference.Status, floor.Status);
            return 1;
        }
        rows = client.Figures.at("rows");
        clientWall.push_back(client.Figures.at("wall"));
        clientCpu.push_back(client.Figures.at("cpu"));
        clientPeak.push_back(client.Figures.at("peak"));
        consoleWall.push_back(console.Figures.at("wall"));
        consoleCpu.push_back(console.Figures.at("cpu"));
        consolePeak.push_back(console.Figures.at("peak"));
        stalls.push_back(console.Figures.at("stall"));
        textPerLine.push_back(console.Figures.at("textperline"));
        storePerLine.push_back(console.Figures.at("storeperline"));
        afterClear.push_back(console.Figures.at("afterclear"));
        referenceWall.push_back(reference.WallMs);
        referencePeak.push_back(reference.PeakMiB);
        floorWall.push_back(floor.WallMs);
        floorCpu.push_back(floor.CpuMs);
    }
    std::printf("a SELECT of %.0f rows run by the console, beside the client library alone and the command-line "
                "client (medians of %d alternating runs):\n",
        rows, runs);
    Figure("client library alone (streamed, every value touched): wall", Median(clientWall), "ms");
    Figure("client library alone: CPU", Median(clientCpu), "ms");
    Figure("mariadb --quick --batch > /dev/null: wall, start to exit", Median(floorWall), "ms");
    Figure("mariadb --quick --batch > /dev/null: CPU", Median(floorCpu), "ms");
    Figure("mariadb --table: wall, from start to exit", Median(referenceWall), "ms");
    Figure("mariadb --table: peak resident", Median(referencePeak), "MiB");
    Figure("console: wall", Median(consoleWall), "ms");
    Figure("console: CPU", Median(consoleCpu), "ms");
    Figure("  console wall over mariadb --quick --batch's", Median(consoleWall) / Median(floorWall), "x");
    AtMost("  console wall over the library's", Median(consoleWall) / Median(clientWall), "x", wallLimit);
    AtMost("  console CPU over the library's", Median(consoleCpu) / Median(clientCpu), "x", 2.0);
    AtMost("  console peak resident", Median(consolePeak), "MiB", Median(referencePeak), "mariadb --table's");
    AtMost("  the GUI thread's longest stall meanwhile", Median(stalls), "ms", 100);
    AtMost("  transcript store per line", Median(storePerLine), "B", 1.5 * Median(textPerLine) + 16,
        "1.5 x its UTF-8 text + 16 B");
    AtMost("  resident after Clear, over the figure before the statement", Median(afterClear), "MiB", 20);
    return ExitStatus();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 8) {
        std::fprintf(stderr,
            "usage: %s compare|repeated|console|console3|client host port user password database query "
            "[runs [wallLimit]]\n",
            argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "compare") == 0)
        return Compare(argc, argv);
    if (std::strcmp(argv[1], "repeated") == 0)
        return Repeated(argc, argv);
    if (std::strcmp(argv[1], "console3") == 0)
        return RunConsoleThrice(argc, argv);
    if (std::strcmp(argv[1], "client") == 0)
        return RunClientOnly(argv);
    return RunConsole(argc, argv);
}
