// Appends a million transcript lines to an editor the way the console does and reports the time per
// line early and late, the memory per line, and the cost of painting a screen early and late.
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
    double firstWindowNs = 0;
    double lastWindowNs = 0;
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
            const double ns = std::chrono::duration<double, std::nano>(now - windowStart).count() / kWindow;
            if (i + 1 == kWindow)
                firstWindowNs = ns;
            if (i + 1 == kLines)
                lastWindowNs = ns;
            windowStart = now;
        }
    }
    editor.SetCaret(0, editor.Lines().Count() - 1);
    editor.EndUpdate();
    const long long residentAfter = ResidentBytes();

    const double textBytes = static_cast<double>(kLines) * kLineLength;  // ASCII: UTF-8 bytes = characters
    const double storeBytes = static_cast<double>(editor.Lines().MemoryBytes());
    const double target = 1.5 * kLineLength + 16;

    std::printf("editor append: %d lines of %d ASCII characters, appended as the transcript does\n", kLines,
        kLineLength);
    std::printf("  time per line, lines 1 to %d:          %8.0f ns\n", kWindow, firstWindowNs);
    std::printf("  time per line, lines %d to %d:   %8.0f ns  (flat when about equal)\n", kLines - kWindow + 1,
        kLines, lastWindowNs);
    std::printf("  store's own bytes per line:             %8.1f B   (target <= %.0f B: 1.5 x %d + 16)\n",
        storeBytes / kLines, target, kLineLength);
    std::printf("  resident memory growth per line:        %8.1f B\n",
        static_cast<double>(residentAfter - residentBefore) / kLines);
    std::printf("  UTF-8 text per line:                    %8.1f B\n", textBytes / kLines);

    const double paintTop = PaintMilliseconds(view, editor, 0);
    const double paintDeep = PaintMilliseconds(view, editor, 900000);
    std::printf("  paint one full screen (%d rows) at line 0:        %7.3f ms\n", editor.VisibleRows(), paintTop);
    std::printf("  paint one full screen (%d rows) at line 900,000:  %7.3f ms  (equal within noise)\n",
        editor.VisibleRows(), paintDeep);
    return 0;
}
