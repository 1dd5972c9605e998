// Appends a million transcript lines to an editor the way the console does and reports the time per
// line early and late, the memory per line, and the cost of painting a screen early and late.
#include "BenchReport.h"
#include "Editor.h"
#include "EditorView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kLines = 1000000;
constexpr int kWindow = 100000;  // lines per timing window
constexpr int kLineLength = 60;
constexpr int kPaintRounds = 40;
constexpr int kDistinctLines = 4096;  // a small pool, so that the source text costs no memory to speak of

// Resident memory of this process in bytes.
long long ResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}

QString TranscriptLine(int index)
{
    QString line = QStringLiteral("-- | %1 | value %2 |").arg(index, 7).arg(index % 9973, 5);
    while (line.size() < kLineLength)
        line += QChar(static_cast<char16_t>(u'a' + line.size() % 26));
    line.truncate(kLineLength);
    return line;
}

// What the transcript does: lines handed to the store's end in slices, the caret at the start of the
// last line once the slices are in.
constexpr int kSlice = 1000;  // divides kWindow

// Milliseconds to paint the whole viewport with the view scrolled to a line.
double PaintMilliseconds(TEditorView& view, TEditor& editor, int topLine)
{
    editor.ScrollBarMoved(true, topLine);
    QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    view.viewport()->render(&image);  // warm the font caches
    const auto start = TClock::now();
    for (int round = 0; round < kPaintRounds; ++round)
        view.viewport()->render(&image);
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count() / kPaintRounds;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TEditorView view;
    auto& editor = static_cast<TEditor&>(view.Editor());
    TEditorFont font;
    font.Height = 13;
    editor.SetFont(font);
    editor.SetGutterWidth(25);
    editor.SetTabStops(QStringLiteral("8 16"));
    editor.SetReadOnly(true);
    view.resize(1000, 700);
    view.show();
    QCoreApplication::processEvents();

    std::vector<QString> lines;
    for (int i = 0; i < kDistinctLines; ++i)
        lines.push_back(TranscriptLine(i));

    const long long residentBefore = ResidentBytes();
    std::vector<double> windowNs;
    editor.BeginUpdate();
    auto windowStart = TClock::now();
    QStringList slice;
    for (int i = 0; i < kLines; ++i) {
        slice << lines[i % kDistinctLines];
        if (slice.size() == kSlice) {
            editor.AppendLines(slice);
            slice.clear();
        }
        if ((i + 1) % kWindow == 0) {
            const auto now = TClock::now();
            windowNs.push_back(std::chrono::duration<double, std::nano>(now - windowStart).count() / kWindow);
            windowStart = now;
        }
    }
    editor.SetCaret(0, editor.Lines().Count() - 1);
    editor.EndUpdate();
    const long long residentAfter = ResidentBytes();

    const double textBytes = static_cast<double>(kLines) * kLineLength;  // ASCII: UTF-8 bytes = characters
    const double storeBytes = static_cast<double>(editor.Lines().MemoryBytes());
    const double target = 1.5 * kLineLength + 16;

    // Early and late are the medians of the first and last three windows, so that the one window in
    // which the index grows does not decide.
    const double early = bench::Median({windowNs.begin(), windowNs.begin() + 3});
    const double late = bench::Median({windowNs.end() - 3, windowNs.end()});
    std::printf("editor append: %d lines of %d ASCII characters, appended as the transcript does\n", kLines,
        kLineLength);
    bench::Figure("time per line, lines 1 to 300,000", early, "ns");
    bench::AtMost("time per line, lines 700,001 to 1,000,000", late, "ns", 1.5 * early, "1.5 x the first: flat");
    bench::AtMost("store's own bytes per line", storeBytes / kLines, "B", target, "1.5 x the text + 16 B");
    bench::AtMost("resident memory growth per line", static_cast<double>(residentAfter - residentBefore) / kLines,
        "B", target, "as the store's");
    bench::Figure("UTF-8 text per line", textBytes / kLines, "B");

    const double paintTop = PaintMilliseconds(view, editor, 0);
    const double paintDeep = PaintMilliseconds(view, editor, 900000);
    bench::AtMost("paint a full screen at line 0", paintTop, "ms", 16, "a frame");
    bench::AtMost("paint a full screen at line 900,000", paintDeep, "ms", std::max(2 * paintTop, paintTop + 1),
        "as at line 0, within noise");
    return bench::ExitStatus();
}
