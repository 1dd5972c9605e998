// The editor's large operations, each beside its target: deleting, undoing and pasting half a million
// lines in the middle of a million-line pane; the first paint far below a change; Select All + Copy
// of a three-million-line transcript; the memory given back when a transcript is cleared; and the
// editor's share of a result with huge values (appending and painting them, with the GUI's longest
// stall). Each scenario runs in its own process, so that each measures its own memory:
//
//   EditorBulkBench edits|farpaint|copy|memory|wide [runs]
#include "BenchReport.h"
#include "ConsolePane.h"
#include "EditorView.h"
#include "HLEditor.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace bench;

constexpr int kPaneLines = 1000000;
constexpr int kHalf = 500000;
constexpr int kTranscriptLines = 3000000;
constexpr int kSlice = 1000;

// A pane as the console makes it, shown at a console's size.
struct TPane {
    explicit TPane(bool readOnly) : View(MakePane(nullptr, readOnly, Editor))
    {
        View->resize(1000, 700);
        View->show();
        QCoreApplication::processEvents();
    }
    // Paints the whole viewport now, as the window would.
    void Paint()
    {
        QImage image(View->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        View->viewport()->render(&image);
    }

    THLEditor* Editor = nullptr;
    std::unique_ptr<TEditorView> View;
};

// A line of the query pane: SQL of about 60 characters, with comments and strings now and then.
QString QueryLine(int index)
{
    static const char* const kLines[] = {
        "select id, name, amount from orders where customer_id = %1",
        "  and created > '2024-01-01' -- the new ones, %1",
        "update stock set count = count - 1 where item = %1;",
        "insert into log (event, at) values ('it''s %1', now());",
        "/* a note about %1 */ delete from carts where age > 30;",
    };
    return QString::fromLatin1(kLines[index % std::size(kLines)]).arg(index);
}

// A line of a result table as the transcript writes it.
QString TableLine(int index)
{
    return QStringLiteral("-- | %1 | item %2 | %3 | green |").arg(index, 7).arg(index, -9).arg(index * 7, 9);
}

QStringList Lines(int count, QString (*make)(int))
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines << make(i);
    return lines;
}

// Appends lines to a transcript the way the console does: slices inside one batch.
void AppendTranscript(THLEditor& editor, int count, int offset)
{
    TUpdateBatch batch(editor);
    QStringList slice;
    for (int i = 0; i < count; ++i) {
        slice << TableLine(offset + i);
        if (slice.size() == kSlice) {
            editor.AppendLines(slice);
            slice.clear();
        }
    }
    editor.AppendLines(slice);
    editor.SetCaret(0, editor.Lines().Count() - 1);
}

std::size_t TextBytes(const THLEditor& editor)
{
    std::size_t bytes = 0;
    for (int i = 0; i < editor.LineCount(); ++i)
        bytes += static_cast<std::size_t>(editor.LineLength(i));  // the lines are ASCII
    return bytes;
}

int Edits(int runs)
{
    std::printf("in a %d-line query pane, %d lines in the middle (medians of %d runs):\n", kPaneLines, kHalf, runs);
    const QStringList text = Lines(kPaneLines, QueryLine);
    QStringList pasted = Lines(kHalf, TableLine);
    const QString clip = pasted.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    pasted.clear();
    std::vector<double> deletes, undos, pastes;
    for (int run = 0; run < runs; ++run) {
        TPane pane(false);
        THLEditor& editor = *pane.Editor;
        editor.Lines().Assign(text);
        pane.Paint();
        editor.SetCaret(0, kHalf / 2);
        editor.SetSelection(0, kHalf / 2, kHalf / 2 + kHalf, 0);
        deletes.push_back(Milliseconds([&] {
            editor.DeleteSelection();
            pane.Paint();
        }));
        if (editor.LineCount() != kPaneLines - kHalf)
            std::printf("  wrong line count after the deletion: %d\n", editor.LineCount());
        undos.push_back(Milliseconds([&] {
            editor.Undo();
            pane.Paint();
        }));
        if (editor.LineCount() != kPaneLines || editor.Lines().Get(kHalf) != text[kHalf])
            std::printf("  the undo did not bring the text back\n");
        QApplication::clipboard()->setText(clip);
        editor.Unselect();
        editor.SetCaret(0, kPaneLines / 2);
        pastes.push_back(Milliseconds([&] {
            editor.PasteClipboard();
            pane.Paint();
        }));
        if (editor.LineCount() != kPaneLines + kHalf)
            std::printf("  wrong line count after the paste: %d\n", editor.LineCount());
    }
    AtMost("delete the middle 500,000 lines", Median(deletes), "ms", 1000);
    AtMost("undo that deletion", Median(undos), "ms", 1000);
    AtMost("paste 500,000 lines into the middle", Median(pastes), "ms", 1000);
    return ExitStatus();
}

int FarPaint(int runs)
{
    std::printf("in a %d-line query pane, the first paint far below a change that ends its rescan at the "
                "limit (medians of %d runs):\n",
        kPaneLines, runs);
    TPane pane(false);
    THLEditor& editor = *pane.Editor;
    editor.Lines().Assign(Lines(kPaneLines, QueryLine));
    std::vector<double> paints;
    for (int run = 0; run < runs; ++run) {
        editor.ScrollBarMoved(true, 0);
        pane.Paint();
        // Opening a comment near the top (and closing it again in the next run) changes the state of
        // every line below: the rescan stops at its limit, leaving the rest undetermined.
        editor.SetCaret(0, 10);
        if (run % 2 == 0)
            editor.InsertText(QStringLiteral("/*"));
        else
            editor.DeleteTextRange(0, 10, 10, 1);
        const int far = kPaneLines - 100000 - run * 1000;
        paints.push_back(Milliseconds([&] {
            editor.ScrollBarMoved(true, far);
            pane.Paint();
        }));
    }
    AtMost("first paint at line 900,000 after a change at line 10", Median(paints), "ms", 16);
    return ExitStatus();
}

int Copy(int runs)
{
    std::printf("Select All + Copy of a %d-line transcript (medians of %d runs):\n", kTranscriptLines, runs);
    TPane pane(true);
    THLEditor& editor = *pane.Editor;
    AppendTranscript(editor, kTranscriptLines, 0);
    pane.Paint();
    const double textMiB = static_cast<double>(TextBytes(editor)) / 1048576.0;
    std::vector<double> times, peaks;
    for (int run = 0; run < runs; ++run) {
        QApplication::clipboard()->clear();
        QCoreApplication::processEvents();
        ResetPeakResident();
        const double before = ResidentMiB();
        times.push_back(Milliseconds([&] {
            editor.Command(cmdSelectAll);
            editor.CopySelection();
        }));
        peaks.push_back(PeakResidentMiB() - before);
        const QMimeData* data = QApplication::clipboard()->mimeData();
        if (data == nullptr || !data->hasText())
            std::printf("  nothing was copied\n");
    }
    Figure("the transcript's text", textMiB, "MiB");
    AtMost("Select All + Copy", Median(times), "ms", 1000, "the GUI thread stalls as long");
    AtMost("memory taken meanwhile, over the text's size", Median(peaks) / textMiB, "x", 2);
    return ExitStatus();
}

int Memory()
{
    std::printf("memory given back by clearing a transcript of three 1,000,000-line results:\n");
    TPane pane(true);
    THLEditor& editor = *pane.Editor;
    pane.Paint();
    const double before = ResidentMiB();
    for (int statement = 0; statement < 3; ++statement) {
        AppendTranscript(editor, 1000000, statement * 1000000);
        pane.Paint();
    }
    const double full = ResidentMiB();
    editor.ClearLines();
    pane.Paint();
    QCoreApplication::processEvents();
    const double after = ResidentMiB();
    Figure("resident before the results", before, "MiB");
    Figure("resident with the results", full, "MiB");
    AtMost("resident after Clear, over the figure before", after - before, "MiB", 20);
    return ExitStatus();
}

// The editor's share of results with huge values: appending the transcript lines and painting them,
// as text (a string per line) and as the UTF-8 bytes a result arrives in. Each step is one turn of
// the GUI thread, so the longest step is the longest stall.
int Wide(int runs)
{
    std::printf("the editor's share of huge values (medians of %d runs):\n", runs);
    const QString huge = QStringLiteral("-- | ") + QString(16000000, u'x') + QStringLiteral(" |");
    const QString wide = QStringLiteral("-- | ") + QString(500000, u'x') + QStringLiteral(" |");
    const std::string hugeBytes = huge.toStdString();
    const std::string wideBytes = wide.toStdString();
    // One line in a batch, a line at a time, as a table's rows come.
    const auto append = [](THLEditor& editor, const QString& line, const std::string& bytes, bool asBytes) {
        if (asBytes) {
            const std::size_t end = bytes.size();
            editor.AppendUtf8Lines(bytes, std::span(&end, 1));
        } else {
            editor.AppendLines({line});
        }
    };
    for (const bool asBytes : {false, true}) {
        std::vector<double> hugeSteps, wideSteps;
        for (int run = 0; run < runs; ++run) {
            {
                TPane pane(true);
                double longest = Milliseconds([&] { append(*pane.Editor, huge, hugeBytes, asBytes); });
                longest = std::max(longest, Milliseconds([&] { pane.Paint(); }));
                hugeSteps.push_back(longest);
            }
            {
                TPane pane(true);
                double longest = 0;
                for (int row = 0; row < 400; ++row) {
                    longest = std::max(longest, Milliseconds([&] { append(*pane.Editor, wide, wideBytes, asBytes); }));
                    if (row % 20 == 19)
                        longest = std::max(longest, Milliseconds([&] { pane.Paint(); }));
                }
                wideSteps.push_back(longest);
            }
        }
        std::printf(asBytes ? " appended as UTF-8 bytes:\n" : " appended as text:\n");
        AtMost("one 16,000,000-character line: longest step", Median(hugeSteps), "ms", 100);
        AtMost("400 lines of 500,000 characters: longest step", Median(wideSteps), "ms", 100);
    }
    return ExitStatus();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* scenario = argc > 1 ? argv[1] : "";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (std::strcmp(scenario, "edits") == 0)
        return Edits(runs);
    if (std::strcmp(scenario, "farpaint") == 0)
        return FarPaint(runs);
    if (std::strcmp(scenario, "copy") == 0)
        return Copy(runs);
    if (std::strcmp(scenario, "memory") == 0)
        return Memory();
    if (std::strcmp(scenario, "wide") == 0)
        return Wide(runs);
    std::fprintf(stderr, "usage: %s edits|farpaint|copy|memory|wide [runs]\n", argv[0]);
    return 2;
}
