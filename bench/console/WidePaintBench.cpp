// Painting a screen of very long lines, at their start and scrolled far right, beside a screen of
// short lines: painting and colouring must cost what is visible, not the length of the lines.
#include "EditorView.h"
#include "HLEditor.h"
#include "UnitEditorFrame.h"
#include "BenchReport.h"

#include <QApplication>
#include <QImage>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kRows = 40;
constexpr int kLongLine = 200000;
constexpr int kRounds = 40;

// Milliseconds to paint the whole viewport with the view scrolled to a column.
double PaintMilliseconds(TEditorView& view, THLEditor& editor, int column)
{
    editor.ScrollBarMoved(false, column);
    QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    view.viewport()->render(&image);  // warm the font caches
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round)
        view.viewport()->render(&image);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRounds;
}

// A console whose transcript pane holds lines, its window 40 rows high.
struct TPane {
    explicit TPane(const QStringList& lines)
    {
        Frame.InitFrame();
        Frame.resize(1000, 40 * 15 + 200);
        Frame.show();
        QCoreApplication::processEvents();
        Editor = &Frame.mmResult();
        View = Frame.ResultView();
        Editor->AppendLines(lines);
    }

    TEditorFrame Frame;
    THLEditor* Editor = nullptr;
    TEditorView* View = nullptr;
};

QStringList Lines(int length)
{
    QStringList lines;
    for (int i = 0; i < kRows; ++i) {
        // A table row: "-- |", then cells of words and numbers up to the length.
        QString line = QStringLiteral("-- |");
        while (line.size() < length)
            line += QStringLiteral(" value %1 | select %2 |").arg(i).arg(line.size());
        line.truncate(length);
        lines << line;
    }
    return lines;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TPane shortLines(Lines(120));
    TPane longLines(Lines(kLongLine));
    const double reference = PaintMilliseconds(*shortLines.View, *shortLines.Editor, 0);
    const double start = PaintMilliseconds(*longLines.View, *longLines.Editor, 0);
    const double far = PaintMilliseconds(*longLines.View, *longLines.Editor, 190000);
    std::printf("paint a screen of %d rows (%d visible), transcript colours:\n", kRows,
        longLines.Editor->VisibleRows());
    bench::Figure("lines of 120 characters", reference, "ms");
    bench::Figure("lines of 200,000 characters, at column 0", start, "ms");
    bench::AtMost("  over the short lines'", start / reference, "x", 3);
    bench::Figure("lines of 200,000 characters, at column 190,000", far, "ms");
    bench::AtMost("  over the short lines'", far / reference, "x", 3);
    return bench::ExitStatus();
}
