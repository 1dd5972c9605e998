// A large SELECT run the way the console runs it (ExecuteStatement into the transcript pane of a shown
// console, until the last line is appended), beside the same statement through the client library
// alone (stored, every value of every row touched) and beside `mariadb --table`. Each runs in a
// process of its own, so that each reports its own peak memory; `compare` runs the three in turn,
// again and again, and prints the medians beside the targets. The console's run also reports the
// longest stall of the GUI thread meanwhile.
//
//   ExecuteStatementBench compare host port user password database query [runs]
//   ExecuteStatementBench console|client host port user password database query
#include "BenchSupport.h"
#include "HLEditor.h"
#include "UnitEditorFrame.h"

#include <QApplication>

#include <mysql.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace bench;

// The reference: the statement sent, stored and every value of every row touched, over TLS where the
// server offers it, as the console's connection and mariadb --table go.
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
    MYSQL_RES* result = mysql_store_result(handle);
    const unsigned columns = mysql_num_fields(result);
    unsigned long long rows = 0, bytes = 0;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        for (unsigned i = 0; i < columns; ++i)
            bytes += row[i] ? lengths[i] : 0;
        ++rows;
    }
    const double ms = MillisecondsSince(start);
    const double cpu = CpuMs() - cpuStart;
    mysql_free_result(result);
    const char* cipher = mysql_get_ssl_cipher(handle);
    std::printf("client library alone: %llu rows, %llu bytes of values, %s\n", rows, bytes,
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

int Compare(int argc, char** argv)
{
    const int runs = argc > 8 ? std::max(1, std::atoi(argv[8])) : 5;
    const auto self = [&](const char* mode) {
        return RunChild({"/proc/self/exe", mode, argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]});
    };
    std::vector<double> clientWall, clientCpu, clientPeak, consoleWall, consoleCpu, consolePeak, stalls,
        referenceWall, referencePeak, storePerLine, textPerLine, afterClear;
    double rows = 0;
    for (int run = 0; run < runs; ++run) {
        const TChildRun client = self("client");
        const TChildRun console = self("console");
        const TChildRun reference = RunChild(ReferenceClient(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]));
        if (client.Status != 0 || console.Status != 0 || reference.Status != 0) {
            std::fprintf(stderr, "a run failed: client %d, console %d, mariadb %d\n", client.Status, console.Status,
                reference.Status);
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
    }
    std::printf("a SELECT of %.0f rows run by the console, beside the client library alone and mariadb --table "
                "(medians of %d alternating runs):\n",
        rows, runs);
    Figure("client library alone (store + walk): wall", Median(clientWall), "ms");
    Figure("client library alone: CPU", Median(clientCpu), "ms");
    Figure("mariadb --table: wall, from start to exit", Median(referenceWall), "ms");
    Figure("mariadb --table: peak resident", Median(referencePeak), "MiB");
    Figure("console: wall", Median(consoleWall), "ms");
    AtMost("  console wall over the library's", Median(consoleWall) / Median(clientWall), "x", 1.1);
    AtMost("  console CPU over the library's", Median(consoleCpu) / Median(clientCpu), "x", 1.5);
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
        std::fprintf(stderr, "usage: %s compare|console|client host port user password database query [runs]\n",
            argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "compare") == 0)
        return Compare(argc, argv);
    if (std::strcmp(argv[1], "client") == 0)
        return RunClientOnly(argv);
    return RunConsole(argc, argv);
}
