// Wide values through the console: many rows each holding one very long value, and one huge value
// followed by a trivial statement, whose cost must not change after the huge one.
//
//   WideResultBench host port user password database
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>

#include "BenchSupport.h"
#include "HLEditor.h"
#include "UnitEditorFrame.h"

namespace {

// Milliseconds that ExecuteStatement takes for a statement, transcript included.
double Run(TEditorFrame& frame, const QString& sql)
{
    const auto start = std::chrono::steady_clock::now();
    frame.ExecuteStatement(sql);
    WaitIdle(frame);
    return MillisecondsSince(start);
}

// The mean of a few runs of a trivial statement.
double TrivialStatement(TEditorFrame& frame)
{
    constexpr int kRounds = 20;
    double total = 0;
    for (int i = 0; i < kRounds; ++i)
        total += Run(frame, QStringLiteral("SELECT 1"));
    return total / kRounds;
}

void Open(TEditorFrame& frame, char** argv)
{
    frame.InitFrame();
    frame.OpenConnection({argv[1], std::atoi(argv[2]), argv[3], argv[4]});
    WaitIdle(frame);
    frame.ExecuteStatement(QStringLiteral("USE ") + QString::fromUtf8(argv[5]));
    WaitIdle(frame);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s host port user password database\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    {
        TEditorFrame frame;
        Open(frame, argv);
        const double ms = Run(frame, QStringLiteral("SELECT seq, REPEAT('x', 500000) AS v FROM seq_1_to_400"));
        std::printf("400 rows each with a 500,000-character value: %.0f ms; %d transcript lines; "
                    "peak resident %ld KiB\n",
            ms, frame.mmResult().Lines().Count(), PeakResidentKiB());
    }
    {
        TEditorFrame fresh;
        Open(fresh, argv);
        const double before = TrivialStatement(fresh);
        const double huge = Run(fresh, QStringLiteral("SELECT REPEAT('x', 16000000) AS v"));
        const double after = TrivialStatement(fresh);
        std::printf("a 16,000,000-character value: %.0f ms; SELECT 1 on a fresh console %.2f ms, "
                    "after the huge value %.2f ms (equal within noise)\n",
            huge, before, after);
    }
    return 0;
}
