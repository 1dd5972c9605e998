// Editing at the scale of a user's worst day, each figure beside its target and a reference from the
// same run: typing in a line of 700,000 characters (against a short line), and a mouse selection
// of a million lines (against Ctrl+A, Ctrl+C of the same text):
//
//   EditorEditBench [typing|select]
#include "BenchReport.h"
#include "ConsolePane.h"
#include "EditorCommands.h"
#include "EditorView.h"
#include "HLEditor.h"

#include <QApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kLongLine = 700000;
constexpr int kShortLine = 70;
constexpr int kKeys = 200;
constexpr int kSelectLines = 1000000;

// A query pane as the console makes it, shown at a console's size.
struct TPane {
    TPane() : View(MakePane(nullptr, false, Editor))
    {
        View->resize(1000, 700);
        View->show();
        QCoreApplication::processEvents();
    }

    THLEditor* Editor = nullptr;
    std::unique_ptr<TEditorView> View;
};

double Milliseconds(TClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

struct TKeyTimes {
    double Key = 0;        // the editor's own work: the change, the highlighter, the caret
    double Repainted = 0;  // with the window repainted after it
};

// The median times of a key typed in the middle of a line of that length.
TKeyTimes KeyMilliseconds(int length)
{
    TPane pane;
    QString line;
    line.reserve(length);
    while (line.size() < length)
        line += QStringLiteral("select a, b from t where c = 'xyz'; ");
    line.truncate(length);
    pane.Editor->Lines().Assign({QStringLiteral("select 1;"), line, QStringLiteral("select 2;")});
    pane.Editor->SetCaret(500, 1);
    QCoreApplication::processEvents();
    std::vector<double> keys;
    std::vector<double> repainted;
    for (int key = 0; key < kKeys; ++key) {
        const auto start = TClock::now();
        pane.Editor->KeyPress(U'a' + key % 26);
        keys.push_back(Milliseconds(start));
        QCoreApplication::processEvents();
        repainted.push_back(Milliseconds(start));
    }
    return {bench::Median(keys), bench::Median(repainted)};
}

int Typing()
{
    std::printf("typing in a long line of the query pane (%d keys, the median)\n", kKeys);
    const TKeyTimes reference = KeyMilliseconds(kShortLine);
    const TKeyTimes typed = KeyMilliseconds(kLongLine);
    bench::Figure("a key in a line of 70 characters (reference)", reference.Key, "ms");
    bench::Figure("  the same with the window repainted", reference.Repainted, "ms");
    bench::AtMost("a key in a line of 700,000 characters", typed.Key, "ms", 1);
    bench::Figure("  the same with the window repainted", typed.Repainted, "ms");
    return bench::ExitStatus();
}

int Select()
{
    TPane pane;
    QStringList lines;
    for (int i = 0; i < 1000; ++i)
        lines << QStringLiteral("insert into t values (%1, 'some text of a row that is %2 long');").arg(i).arg(i % 97);
    pane.Editor->BeginUpdate();
    for (int i = 0; i < kSelectLines / 1000; ++i)
        pane.Editor->AppendLines(lines);
    pane.Editor->EndUpdate();
    QCoreApplication::processEvents();
    std::printf("selecting %d lines with the mouse\n", kSelectLines);

    // Shift+click on the last visible row after Ctrl+End, with the caret at the top: the whole text.
    std::vector<double> mouse;
    std::vector<double> copy;
    for (int round = 0; round < 5; ++round) {
        pane.Editor->Command(cmdTextStart);
        pane.Editor->Unselect();
        QCoreApplication::processEvents();
        pane.Editor->ScrollBarMoved(true, kSelectLines - 10);
        const QPoint cell(60 + pane.Editor->GutterWidth(), 3 * pane.Editor->LineHeight() + 2);
        const auto start = TClock::now();
        pane.Editor->MouseDown(TMouseButton::Left, ssShift, cell.x(), cell.y());
        pane.Editor->MouseUp(TMouseButton::Left, ssShift, cell.x(), cell.y());
        QCoreApplication::processEvents();
        mouse.push_back(Milliseconds(start));
        if (round == 0)
            bench::Figure("lines selected", pane.Editor->SelEndY() - pane.Editor->SelBegY() + 1, "");

        const auto copyStart = TClock::now();
        pane.Editor->Command(cmdSelectAll);
        pane.Editor->Command(cmdCopy);
        QCoreApplication::processEvents();
        copy.push_back(Milliseconds(copyStart));
    }
    bench::Figure("Ctrl+A, Ctrl+C of the same text (reference)", bench::Median(copy), "ms");
    bench::AtMost("a Shift+click selecting it, GUI time", bench::Median(mouse), "ms", 16, "a frame");
    return bench::ExitStatus();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    int status = 0;
    if (what.empty() || what == "typing")
        status |= Typing();
    if (what.empty() || what == "select")
        status |= Select();
    return status;
}
