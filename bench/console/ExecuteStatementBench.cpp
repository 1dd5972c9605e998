// A large SELECT run the way the console runs it (ExecuteStatement into the transcript pane of a shown
// console, until the last line is appended), and the same statement through the client library
// alone, each in its own process so that each reports its own peak memory. The console's run also
// reports the longest stall of the GUI thread meanwhile: the longest gap between the ticks of a 1 ms
// timer. scripts/bench prints both beside the command-line client on the same query.
//
//   ExecuteStatementBench console|client host port user password database query
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <mysql.h>

#include "BenchSupport.h"
#include "HLEditor.h"
#include "UnitEditorFrame.h"

namespace {


// The reference: the statement sent, stored and every value of every row touched.
int RunClientOnly(char** argv)
{
    MYSQL* handle = mysql_init(nullptr);
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (!mysql_real_connect(handle, argv[2], argv[4], argv[5], argv[6], std::atoi(argv[3]), nullptr, 0)) {
        std::fprintf(stderr, "connect: %s\n", mysql_error(handle));
        return 1;
    }
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
    mysql_free_result(result);
    mysql_close(handle);
    std::printf("client library alone: %llu rows, %llu bytes of values; %.0f ms; peak resident %ld KiB\n",
                rows, bytes, ms, PeakResidentKiB());
    return 0;
}

int RunConsole(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TEditorFrame frame;
    frame.InitFrame();
    frame.resize(800, 600);
    frame.show();
    frame.OpenConnection({argv[2], std::atoi(argv[3]), argv[4], argv[5]});
    WaitIdle(frame);
    if (!frame.Session().State().Opened) {
        std::fprintf(stderr, "connect: %s\n", frame.Session().State().ErrorText.c_str());
        return 1;
    }
    frame.ExecuteStatement(QStringLiteral("USE ") + QString::fromUtf8(argv[6]));
    WaitIdle(frame);

    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticks;
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceTick.restart()); });

    const auto start = std::chrono::steady_clock::now();
    sinceTick.start();
    ticks.start();
    frame.ExecuteStatement(QString::fromUtf8(argv[7]));
    WaitIdle(frame);
    const double ms = MillisecondsSince(start);
    longestStall = std::max(longestStall, sinceTick.elapsed());
    ticks.stop();

    const TEditorStrings& lines = frame.mmResult().Lines();
    long long textBytes = 0;
    for (int i = 0; i < lines.Count(); ++i)
        textBytes += lines.Get(i).toUtf8().size();
    const double storeBytes = static_cast<double>(lines.MemoryBytes());
    std::printf("ExecuteStatement: %d transcript lines; %.0f ms; peak resident %ld KiB\n", lines.Count(), ms,
                PeakResidentKiB());
    std::printf("  longest GUI stall meanwhile %lld ms (target <= 100 ms)\n",
                static_cast<long long>(longestStall));
    std::printf("  transcript store %.1f MiB for %.1f MiB of UTF-8 text: %.2f x text + %.1f B a line "
                "(target <= 1.5 x text + 16 B a line)\n",
                storeBytes / 1048576.0, textBytes / 1048576.0, storeBytes / textBytes,
                (storeBytes - static_cast<double>(textBytes)) / lines.Count());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 8) {
        std::fprintf(stderr, "usage: %s console|client host port user password database query\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "client") == 0)
        return RunClientOnly(argv);
    return RunConsole(argc, argv);
}
