// A search and a save through a transcript of three million lines in a shown console: how long each
// takes, and the longest time the window waited for its turn meanwhile.
#include "BenchSupport.h"
#include "EditorView.h"
#include "FindBar.h"
#include "HLEditor.h"
#include "StallMeter.h"
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
    pane.SetCaret(0, 0);
    std::printf("a transcript of %d lines, %.0f MB in its store\n", pane.LineCount(),
        static_cast<double>(pane.Lines().MemoryBytes()) / (1 << 20));

    TFindBar* bar = frame.ResultFindBar();
    frame.ResultView()->setFocus();
    bar->Open();
    for (const bool matchCase : {false, true}) {
        pane.SetCaret(0, 0);
        bar->edText->setText(QStringLiteral("FOUND HERE"));
        if (matchCase)
            bar->edText->setText(QStringLiteral("found here"));
        bar->cbMatchCase->setChecked(matchCase);
        TStallMeter meter;
        const auto start = std::chrono::steady_clock::now();
        bar->FindNext(true);
        RunUntil([bar] { return !bar->Searching(); });
        std::printf("find on the last line, letter case %s: %7.1f ms (target <= 1000 ms); longest wait of the "
                    "window %lld ms; found on line %d\n",
            matchCase ? "counts " : "ignored", MillisecondsSince(start), static_cast<long long>(meter.LongestMs()),
            pane.SelBegY());
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("transcript.txt"));
    bool ended = false;
    QObject::connect(&frame, &TEditorFrame::TranscriptSaveEnded, [&ended](bool) { ended = true; });
    TStallMeter meter;
    const auto start = std::chrono::steady_clock::now();
    frame.SaveTranscript(path);
    RunUntil([&ended] { return ended; });
    std::printf("save: %7.1f ms (target about 1000 ms); longest wait of the window %lld ms; %.0f MB written\n",
        MillisecondsSince(start), static_cast<long long>(meter.LongestMs()),
        static_cast<double>(QFileInfo(path).size()) / (1 << 20));
    std::printf("peak resident memory %ld KiB\n", PeakResidentKiB());
    return 0;
}
