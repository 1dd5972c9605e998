// Time and memory to turn a large stored result into transcript table lines: the client layer's
// store and width pass plus the table formatting, without the editor. scripts/bench prints the
// command-line client's time on the same query beside it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "BenchSupport.h"
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
        std::fprintf(stderr, "connect: %s\n", dataSet.ErrorText().c_str());
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    auto result = dataSet.Query(argv[5]);
    if (!result) {
        std::fprintf(stderr, "query: %s\n", dataSet.ErrorText().c_str());
        return 1;
    }
    const auto stored = std::chrono::steady_clock::now();
    long long lines = 0, characters = 0;
    Transcript::TableLines(*result, [&](const QString& line) {
        ++lines;
        characters += line.size();
    });
    const auto done = std::chrono::steady_clock::now();

    const auto ms = [](auto a, auto b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    std::printf("the table lines alone, no editor: %lld lines, %lld characters\n", lines, characters);
    bench::Figure("query and store", ms(start, stored), "ms");
    bench::Figure("format", ms(stored, done), "ms");
    bench::Figure("total", ms(start, done), "ms");
    bench::Figure("peak resident", bench::PeakResidentMiB(), "MiB");
    return bench::ExitStatus();
}
