// A search and a save through a transcript of three million lines in a shown console: how long each
// takes, and the longest time the window waited for its turn meanwhile.
#include "BenchSupport.h"
#include "EditorView.h"
#include "FindBar.h"
#include "HLEditor.h"
#include "UnitEditorFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kLines = 3000000;
constexpr int kChunk = 100000;
// A search or a save answers within this, and the window never waits longer than this for its turn.
constexpr double kFindMs = 1000;
constexpr double kSaveMs = 1500;
constexpr double kStallMs = 100;

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TEditorFrame frame;
    frame.InitFrame();
    frame.resize(1000, 700);
    frame.show();
    QCoreApplication::processEvents();
    THLEditor& pane = frame.mmResult();
    // Table rows as a large result leaves them, the last one holding what is looked for.
    for (int first = 0; first < kLines; first += kChunk) {
        QStringList lines;
        lines.reserve(kChunk);
        for (int i = first; i < first + kChunk; ++i)
            lines << QStringLiteral("-- | %1 | item %1 | 3f2a%1 | green |").arg(i);
        if (first + kChunk >= kLines)
            lines.back() = QStringLiteral("-- | the last row | found here |");
        pane.AppendLines(lines);
    }
    std::printf("a transcript of %d lines\n", pane.LineCount());

    TFindBar* bar = frame.ResultFindBar();
    frame.ResultView()->setFocus();
    bar->Open();
    for (const bool matchCase : {false, true}) {
        pane.SetCaret(0, 0);
        bar->edText->setText(matchCase ? QStringLiteral("found here") : QStringLiteral("FOUND HERE"));
        bar->cbMatchCase->setChecked(matchCase);
        bench::TStallWatch watch;
        const auto start = std::chrono::steady_clock::now();
        bar->FindNext(true);
        RunUntil([bar] { return !bar->Searching(); });
        const double took = bench::MillisecondsSince(start);
        if (pane.SelBegY() != kLines - 1)
            std::printf("  MISSED: the match on the last line was not found\n");
        bench::AtMost(matchCase ? "find on the last line, letter case counting" : "find on the last line, any case",
            took, "ms", kFindMs);
        bench::AtMost("  the window's longest wait meanwhile", watch.LongestMs(), "ms", kStallMs);
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("transcript.txt"));
    bool saved = false;
    bool ended = false;
    QObject::connect(&frame, &TEditorFrame::TranscriptSaveEnded, [&](bool ok) {
        saved = ok;
        ended = true;
    });
    bench::TStallWatch watch;
    const auto start = std::chrono::steady_clock::now();
    frame.SaveTranscript(path);
    RunUntil([&ended] { return ended; });
    const double took = bench::MillisecondsSince(start);
    if (!saved)
        std::printf("  MISSED: the save failed\n");
    bench::AtMost("save the transcript", took, "ms", kSaveMs);
    bench::AtMost("  the window's longest wait meanwhile", watch.LongestMs(), "ms", kStallMs);
    bench::Figure("  bytes written", static_cast<double>(QFileInfo(path).size()) / (1 << 20), "MiB");
    bench::Figure("peak resident memory", bench::PeakResidentMiB(), "MiB");
    return saved && pane.SelBegY() == kLines - 1 ? bench::ExitStatus() : 1;
}
