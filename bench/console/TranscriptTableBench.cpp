// Time and memory to turn a large result into transcript table lines: the client layer reading the
// rows as they arrive and measuring them, then the table formatted into UTF-8, without the editor.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "ConnectionWords.h"
#include "MySQLClasses.h"
#include "Transcript.h"

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s host port user password query\n", argv[0]);
        return 2;
    }
    TMySQLDataSet dataSet;
    dataSet.SetHost(argv[1]);
    dataSet.SetPort(std::atoi(argv[2]));
    dataSet.SetUser(argv[3]);
    dataSet.SetPassword(argv[4]);
    if (!dataSet.Open()) {
        std::fprintf(stderr, "connect: %s\n", ErrorWords(dataSet).c_str());
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    TMySQLOutcome outcome = dataSet.Execute(argv[5], TResultReading::Streamed);
    if (!outcome.Rows) {
        std::fprintf(stderr, "query: %s\n", ErrorWords(outcome).c_str());
        return 1;
    }
    const auto stored = std::chrono::steady_clock::now();
    long long lines = 0, bytes = 0;
    Transcript::TTableLines table(*outcome.Rows);
    std::string line;
    while (table.Next(line)) {
        ++lines;
        bytes += static_cast<long long>(line.size());
        line.clear();
    }
    const auto done = std::chrono::steady_clock::now();

    const auto ms = [](auto a, auto b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    std::printf("the table lines alone, no editor: %lld lines, %lld bytes\n", lines, bytes);
    bench::Figure("query, read and measure", ms(start, stored), "ms");
    bench::Figure("format", ms(stored, done), "ms");
    bench::Figure("total", ms(start, done), "ms");
    bench::Figure("peak resident", bench::PeakResidentMiB(), "MiB");
    return bench::ExitStatus();
}
