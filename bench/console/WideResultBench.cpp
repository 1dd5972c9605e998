// Wide values through a console shown in its window, beside the command-line client on the same
// statements, in alternating runs: one 16,000,000-character value, 400 rows each holding a
// 500,000-character value, and a trivial statement before and after the huge value, whose cost must
// not change. The console's runs also give the GUI thread's longest stall, and the huge value's the
// memory it took: the console's peak resident memory while it ran, above what the console held
// before, beside the whole peak of the command-line client.
//
//   WideResultBench host port user password database [runs]
#include "BenchSupport.h"
#include "HLEditor.h"
#include "UnitEditorFrame.h"

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace bench;

const char* const kHuge = "SELECT REPEAT('x', 16000000) AS v";
const char* const kWide = "SELECT seq, REPEAT('x', 500000) AS v FROM seq_1_to_400";

struct TRun {
    double Ms = 0;
    double StallMs = 0;
    double PeakMiB = 0; // above the resident memory before the statement
};

// A statement run as the user runs it, transcript included, watching the GUI thread meanwhile.
TRun Run(TEditorFrame& frame, const QString& sql)
{
    ResetPeakResident();
    const double before = ResidentMiB();
    TStallWatch watch;
    TRun run;
    run.Ms = Milliseconds([&] {
        frame.ExecuteStatement(sql);
        WaitIdle(frame);
    });
    run.StallMs = watch.LongestMs();
    run.PeakMiB = PeakResidentMiB() - before;
    return run;
}

// The median of a few runs of a trivial statement.
double TrivialStatement(TEditorFrame& frame)
{
    std::vector<double> runs;
    for (int i = 0; i < 21; ++i)
        runs.push_back(Run(frame, QStringLiteral("SELECT 1")).Ms);
    return Median(runs);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s host port user password database [runs]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 6 ? std::max(1, std::atoi(argv[6])) : 5;
    const auto reference = [&](const char* sql) {
        return RunChild(ReferenceClient(argv[1], argv[2], argv[3], argv[4], argv[5], sql));
    };

    std::vector<double> hugeMs, hugeStall, hugePeak, hugeReference, hugeReferencePeak, wideMs, wideStall, wideReference, before, after;
    for (int run = 0; run < runs; ++run) {
        {
            TEditorFrame frame;
            if (!OpenShownConsole(frame, argv[1], argv[2], argv[3], argv[4], argv[5]))
                return 1;
            before.push_back(TrivialStatement(frame));
            const TRun huge = Run(frame, QString::fromLatin1(kHuge));
            hugeMs.push_back(huge.Ms);
            hugeStall.push_back(huge.StallMs);
            hugePeak.push_back(huge.PeakMiB);
            after.push_back(TrivialStatement(frame));
        }
        const TChildRun hugeReferenceRun = reference(kHuge);
        hugeReference.push_back(hugeReferenceRun.WallMs);
        hugeReferencePeak.push_back(hugeReferenceRun.PeakMiB);
        {
            TEditorFrame frame;
            if (!OpenShownConsole(frame, argv[1], argv[2], argv[3], argv[4], argv[5]))
                return 1;
            const TRun wide = Run(frame, QString::fromLatin1(kWide));
            wideMs.push_back(wide.Ms);
            wideStall.push_back(wide.StallMs);
        }
        wideReference.push_back(reference(kWide).WallMs);
    }

    std::printf("wide values through a shown console, beside mariadb --table (medians of %d alternating runs):\n",
        runs);
    Figure("one 16,000,000-character value: mariadb --table", Median(hugeReference), "ms");
    Figure("one 16,000,000-character value: the console", Median(hugeMs), "ms");
    AtMost("  the console's time over mariadb --table's", Median(hugeMs) / Median(hugeReference), "x", 1.5);
    AtMost("  the GUI thread's longest stall meanwhile", Median(hugeStall), "ms", 50);
    Figure("  mariadb --table's peak resident memory", Median(hugeReferencePeak), "MiB");
    AtMost("  the console's peak memory above its own before", Median(hugePeak), "MiB",
        2 * Median(hugeReferencePeak), "2 x mariadb --table's");
    Figure("400 values of 500,000 characters: mariadb --table", Median(wideReference), "ms");
    Figure("400 values of 500,000 characters: the console", Median(wideMs), "ms");
    AtMost("  the GUI thread's longest stall meanwhile", Median(wideStall), "ms", 50);
    const double fresh = Median(before);
    Figure("SELECT 1 on a fresh console", fresh, "ms");
    AtMost("SELECT 1 after the huge value", Median(after), "ms", std::max(1.5 * fresh, fresh + 1),
        "1.5 x the fresh console's, at least 1 ms more");
    return ExitStatus();
}
