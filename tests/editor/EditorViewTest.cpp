// TEditorView on the offscreen platform: the painted frame in pixels with the panes' settings, the
// scroll bars that the core moves without scrolling twice, and the services the core asks for.
#include "Editor.h"
#include "EditorView.h"
#include "PaneGeometry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace {

// An editor that records what reaches its entry points, and can be told to fail.
class TProbeEditor : public TEditor {
public:
    void KeyDown(int key, TShiftState shift) override
    {
        Keys.push_back(key);
        Shifts.push_back(shift);
        if (FailKeys)
            throw TEditorError("List index out of bounds (7)");
    }
    void KeyPress(char32_t character) override { Characters.push_back(character); }
    void Command(int command) override { Commands.push_back(command); }
    void TimerFired(int id) override { Timers.push_back(id); }
    bool MouseWheel(TShiftState shift, int delta) override
    {
        Wheel.push_back({shift, delta});
        return TEditor::MouseWheel(shift, delta);
    }

    std::vector<int> Keys;
    std::vector<TShiftState> Shifts;
    std::vector<char32_t> Characters;
    std::vector<int> Commands;
    std::vector<int> Timers;
    std::vector<std::pair<TShiftState, int>> Wheel;
    bool FailKeys = false;
};

// A view with the panes' settings: 13-pixel "Courier New", gutter 25, margin 80, tab stops "8 16".
struct TViewHarness {
    TViewHarness()
        : View(std::make_unique<TProbeEditor>()), Editor(static_cast<TProbeEditor&>(View.Editor()))
    {
        TEditorFont font;
        font.Height = 13;
        Editor.SetFont(font);
        Editor.SetGutterWidth(25);
        Editor.SetRightMargin(80);
        Editor.SetTabStops(QStringLiteral("8 16"));
        Editor.SetColor(clNavy);
        View.resize(1000, 240);
        View.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&View));
    }

    QImage Render() { return View.viewport()->grab().toImage(); }

    TEditorView View;
    TProbeEditor& Editor;
};

// Runs the event loop until the condition holds or the time is up; true when it held.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

int Distance(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

} // namespace

TEST(EditorView, PaintsCellsMarginAndSelectionWhereThePanesNeedThem)
{
    TViewHarness h;
    h.Editor.Lines().Assign(QStringList{QString(80, QChar(u'W')), QStringLiteral("select")});
    h.Editor.SetCaretOffset(1);
    h.Editor.SetSelectionLength(2);  // columns 1 and 2 of line 0
    const QImage image = h.Render();
    const QPalette& palette = h.View.palette();
    const QColor navy(0, 0, 128);
    const QColor highlight = TEditorView::ResolveColor(clHighlight, palette);
    const QColor highlightText = TEditorView::ResolveColor(clHighlightText, palette);
    const int cw = h.Editor.CharWidth();
    const int lh = h.Editor.LineHeight();
    ASSERT_GT(cw, 4);
    ASSERT_GT(lh, 10);

    // The first cell starts at x = 28: the pixel before it is the background, the cell's own top
    // row is the background of the cell (the selection colour once the first cell is selected).
    EXPECT_EQ(QColor(image.pixel(kFirstCellX - 1, 0)), navy);
    h.Editor.SetCaretOffset(0);
    h.Editor.SetSelectionLength(1);
    const QImage first = h.Render();
    EXPECT_EQ(QColor(first.pixel(kFirstCellX, 0)), highlight);
    EXPECT_EQ(QColor(first.pixel(kFirstCellX - 1, 0)), navy);
    EXPECT_EQ(QColor(first.pixel(CellLeftX(1, cw), 0)), navy) << "the second cell is not selected";

    // The margin line stands at the left edge of column 80, right after the 80th character.
    const int margin = CellLeftX(80, cw);
    const QColor silver(192, 192, 192);
    for (const int y : {0, lh + 2, 5 * lh + 3})
        EXPECT_EQ(QColor(image.pixel(margin, y)), silver) << "y = " << y;
    EXPECT_EQ(QColor(image.pixel(margin - 1, 0)), navy);
    EXPECT_EQ(QColor(image.pixel(margin + 1, 0)), navy);
    bool inkInLastCell = false;
    for (int x = margin - cw; x < margin; ++x)
        for (int y = 0; y < lh; ++y)
            inkInLastCell |= QColor(image.pixel(x, y)) != navy;
    EXPECT_TRUE(inkInLastCell) << "the 80th W is drawn just left of the margin";

    // A selected cell has the selection's background, and its glyph the selection's text colour.
    const QRect selectedCell(CellLeftX(1, cw), 0, cw, lh);
    EXPECT_EQ(QColor(image.pixel(selectedCell.topLeft())), highlight);
    int nearestToText = 1000;
    for (int x = selectedCell.left(); x <= selectedCell.right(); ++x)
        for (int y = selectedCell.top(); y <= selectedCell.bottom(); ++y)
            nearestToText = std::min(nearestToText, Distance(image.pixel(x, y), highlightText));
    EXPECT_LT(nearestToText, 60) << "the W of a selected cell is drawn in the selection's text colour";
    EXPECT_EQ(QColor(image.pixel(CellLeftX(3, cw), 0)), navy) << "selection ends after two cells";

    // The gutter: its fill, then the background at 23, grey at 24, background 25 to 27.
    EXPECT_EQ(QColor(image.pixel(10, 30)), TEditorView::ResolveColor(clBtnFace, palette));
    EXPECT_EQ(QColor(image.pixel(23, 30)), navy);
    EXPECT_EQ(QColor(image.pixel(24, 30)), QColor(128, 128, 128));
    EXPECT_EQ(QColor(image.pixel(26, 30)), navy);
}

TEST(EditorView, TheCoreMovingAScrollBarScrollsOnce)
{
    TViewHarness h;
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("line %1").arg(i);
    h.Editor.Lines().Assign(lines);
    int scrolls = 0;
    h.Editor.OnScroll = [&](TCustomEditorBase&) { ++scrolls; };

    h.Editor.SetCaret(0, 200);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(h.View.verticalScrollBar()->value(), h.Editor.TopRow());
    EXPECT_GT(h.Editor.TopRow(), 150);

    h.Editor.SetCaret(1010, 200);
    EXPECT_EQ(scrolls, 2);
    EXPECT_EQ(h.View.horizontalScrollBar()->value(), h.Editor.LeftCol());

    // The user drags the bar: the core follows once and the caret stays.
    h.View.verticalScrollBar()->setValue(20);
    EXPECT_EQ(h.Editor.TopRow(), 20);
    EXPECT_EQ(scrolls, 3);
    EXPECT_EQ(h.Editor.CaretY(), 200);
    EXPECT_EQ(h.View.verticalScrollBar()->maximum(), 300 - 1) << "the last line can reach the top";
}

// Wheel events of any size add up; the core hears of whole steps only: a line (40 units, a third of a
// notch) without modifiers, a notch (120 units) with Shift or Ctrl. Pixel deltas count a line height
// as a line.
TEST(EditorView, WheelDeltasAddUpToWholeSteps)
{
    struct TWheel {
        QPoint Pixels;
        int Angle;
        Qt::KeyboardModifiers Modifiers;
    };
    using TCalls = std::vector<std::pair<TShiftState, int>>;
    const auto angle = [](int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return TWheel{{}, delta, modifiers};
    };
    struct TCase {
        const char* Name;
        std::vector<TWheel> Events;
        TCalls Calls;
    };
    const int line = [] {
        TViewHarness h;
        return h.Editor.LineHeight();
    }();
    const TCase cases[] = {
        {"a notch scrolls three lines at once", {angle(-120)}, {{0, -120}}},
        {"a fine wheel's small deltas add up", std::vector<TWheel>(4, angle(-30)), {{0, -40}, {0, -40}, {0, -40}}},
        {"small deltas", {angle(-30), angle(-30), angle(-30)}, {{0, -40}, {0, -40}}},
        {"a turn back counts from nought", {angle(-30), angle(30), angle(30)}, {{0, 40}}},
        {"Ctrl pages once per notch", std::vector<TWheel>(4, angle(-30, Qt::ControlModifier)), {{ssCtrl, -120}}},
        {"Ctrl, two notches in one event", {angle(240, Qt::ControlModifier)}, {{ssCtrl, 120}, {ssCtrl, 120}}},
        {"Shift moves once per notch", std::vector<TWheel>(5, angle(30, Qt::ShiftModifier)), {{ssShift, 120}}},
        {"a change of modifiers starts afresh",
         {angle(-90, Qt::ControlModifier), angle(-90), angle(-60, Qt::ControlModifier)}, {{0, -80}}},
        {"pixels: a line height is a line", {TWheel{{0, -line}, 0, {}}, TWheel{{0, -2 * line}, 0, {}}},
         {{0, -40}, {0, -80}}},
        {"pixels win over the angle", {TWheel{{0, -line}, -120, {}}}, {{0, -40}}},
        {"a sideways wheel is no step", {TWheel{{}, 0, {}}}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TViewHarness h;
        QStringList lines;
        for (int i = 0; i < 300; ++i)
            lines << QStringLiteral("line %1").arg(i);
        h.Editor.Lines().Assign(lines);
        h.Editor.SetCaret(0, 100);
        h.Editor.ScrollTo(0, 100);
        for (const TWheel& wheel : c.Events) {
            const QPointF at(50, 50);
            QWheelEvent event(at, h.View.viewport()->mapToGlobal(at), wheel.Pixels, QPoint(0, wheel.Angle),
                              Qt::NoButton, wheel.Modifiers, Qt::NoScrollPhase, false);
            QApplication::sendEvent(h.View.viewport(), &event);
            EXPECT_TRUE(event.isAccepted());
        }
        EXPECT_EQ(h.Editor.Wheel, c.Calls);
    }

    // What a user sees: twelve small events of a touchpad scroll nine lines and leave the caret.
    TViewHarness h;
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("line %1").arg(i);
    h.Editor.Lines().Assign(lines);
    for (int i = 0; i < 12; ++i) {
        const QPointF at(50, 50);
        QWheelEvent event(at, h.View.viewport()->mapToGlobal(at), {}, QPoint(0, -30), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(h.View.viewport(), &event);
    }
    EXPECT_EQ(h.Editor.TopRow(), 9);
    EXPECT_EQ(h.Editor.CaretY(), 0);
}

TEST(EditorView, KeysReachTheCoreAndItsErrorsStopAtTheView)
{
    TViewHarness h;
    h.View.setFocus();
    QSignalSpy errors(&h.View, &TEditorView::EditorError);
    QTest::keyClick(&h.View, Qt::Key_Tab);
    QTest::keyClick(&h.View, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(&h.View, Qt::Key_Shift);
    EXPECT_EQ(h.Editor.Keys, (std::vector<int>{vkTab, 'A'})) << "keys arrive translated for the key map";
    EXPECT_EQ(h.Editor.Shifts.back(), ssCtrl | ssShift);
    EXPECT_TRUE(h.View.hasFocus()) << "Tab is the editor's key, not a focus move";

    QTest::sendKeyEvent(QTest::Click, &h.View, Qt::Key_unknown, QStringLiteral("\U0001F600"), Qt::NoModifier);
    ASSERT_FALSE(h.Editor.Characters.empty());
    EXPECT_EQ(h.Editor.Characters.back(), U'\U0001F600');

    h.Editor.FailKeys = true;
    QTest::keyClick(&h.View, Qt::Key_Down);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.front().front().toString(), QStringLiteral("List index out of bounds (7)"));
}

TEST(EditorView, TheCaretBlinksThoughEveryPaintHidesAndShowsIt)
{
    if (QApplication::cursorFlashTime() <= 0)
        GTEST_SKIP() << "the platform does not blink";
    TViewHarness h;
    h.Editor.Lines().Assign(QStringList{QStringLiteral("select 1")});
    h.View.activateWindow();
    h.View.setFocus();
    ASSERT_TRUE(h.View.hasFocus());
    // The caret stands at x = 27 (its cell's left edge minus one), inverting the navy background.
    const QPoint probe(27, h.Editor.LineHeight() / 2);
    const QColor navy(0, 0, 128);
    EXPECT_TRUE(WaitFor([&] { return QColor(h.Render().pixel(probe)) != navy; }, 3000)) << "shown";
    EXPECT_TRUE(WaitFor([&] { return QColor(h.Render().pixel(probe)) == navy; }, 3000)) << "blinked off";
}

// The primary selection's data names its text without building it and builds it on each read;
// through the clipboard (its Clipboard mode: offscreen has no Selection) Qt decodes the UTF-8 bytes.
TEST(EditorView, PrimarySelectionDataBuildsTheTextOnlyWhenRead)
{
    int calls = 0;
    std::optional<QByteArray> served = QByteArray("a\r\n\xD0\xB6 \xEF\xBF\xBD");
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setMimeData(TEditorView::PrimarySelectionData([&] {
        ++calls;
        return served;
    }).release());
    const QMimeData* data = clipboard->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasText());
    EXPECT_EQ(data->formats(), QStringList{QStringLiteral("text/plain")});
    EXPECT_FALSE(data->hasFormat(TEditorView::BlockFormatMimeType()));
    EXPECT_EQ(calls, 0) << "asking what it holds builds nothing";
    EXPECT_EQ(data->data(QStringLiteral("text/plain")), *served);
    EXPECT_EQ(clipboard->text(), QStringLiteral("a\r\nж \uFFFD"));
    EXPECT_GE(calls, 2);
    served = QByteArray("now");
    EXPECT_EQ(clipboard->text(), QStringLiteral("now")) << "built again on each read";
    served.reset();
    EXPECT_TRUE(clipboard->text().isEmpty()) << "a selection that is gone serves nothing";
    EXPECT_TRUE(TEditorView::PrimarySelectionData({})->data(QStringLiteral("text/plain")).isEmpty());
    clipboard->clear();
}

// The primary selection a mouse selection offers is built when it is read, from what is selected
// then, as the UTF-8 bytes a copy gives (a lone surrogate as U+FFFD); it serves nothing once the selection or the editor is gone.
TEST(EditorView, ServesThePrimarySelectionWhenAskedFor)
{
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard->supportsSelection())
        GTEST_SKIP() << "the platform has no primary selection (offscreen); run under an X server";
    const auto primaryBytes = [&] {
        const QMimeData* data = clipboard->mimeData(QClipboard::Selection);
        return data != nullptr ? data->data(QStringLiteral("text/plain")) : QByteArray();
    };
    {
        TViewHarness h;
        h.Editor.Lines().Assign({QStringLiteral("select 'ж'"), QStringLiteral("lone ") + QChar(0xD83D) + QStringLiteral(" end"),
            QStringLiteral("x\U0001F600y")});
        h.Editor.SetCaret(0, 0);
        const int row = h.Editor.LineHeight();
        // A Shift+click past the end of the last line selects the whole text.
        QTest::mouseClick(h.View.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(900, 2 * row + row / 2));
        ASSERT_TRUE(h.Editor.Selected());
        EXPECT_EQ(primaryBytes(), QByteArray("select '\xD0\xB6'\r\nlone \xEF\xBF\xBD end\r\nx\xF0\x9F\x98\x80y"));
        EXPECT_EQ(clipboard->text(QClipboard::Selection), QStringLiteral("select 'ж'\r\nlone \uFFFD end\r\nx\U0001F600y"));

        // What is selected when it is read, not what was selected when the mouse offered it.
        h.Editor.SetSelection(0, 1, 1, 4);
        EXPECT_EQ(primaryBytes(), QByteArray("lone"));
        h.Editor.Unselect();
        EXPECT_TRUE(primaryBytes().isEmpty());
        EXPECT_TRUE(clipboard->text(QClipboard::Selection).isEmpty());

        QTest::mouseClick(h.View.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(26, row / 2));
        QTest::mouseClick(h.View.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(900, row + row / 2));
        ASSERT_TRUE(h.Editor.Selected());
        EXPECT_EQ(primaryBytes(), QByteArray("select '\xD0\xB6'\r\nlone \xEF\xBF\xBD end"));
    }
    // The clipboard still holds the offer of an editor that is gone.
    ASSERT_NE(clipboard->mimeData(QClipboard::Selection), nullptr);
    EXPECT_TRUE(clipboard->mimeData(QClipboard::Selection)->hasText());
    EXPECT_TRUE(primaryBytes().isEmpty());
}

TEST(EditorView, ServesClipboardTimersAndPostedCommands)
{
    TViewHarness h;
    h.View.WriteClipboard(QByteArrayLiteral("a\r\nb \xD0\xB6"), bfColumn);
    QString text;
    int format = -5;
    ASSERT_TRUE(h.View.ReadClipboard(text, format));
    EXPECT_EQ(text, QStringLiteral("a\r\nb ж"));
    EXPECT_EQ(format, bfColumn);
    QApplication::clipboard()->setText(QStringLiteral("from elsewhere"));
    ASSERT_TRUE(h.View.ReadClipboard(text, format));
    EXPECT_EQ(format, -1);

    h.View.PostCommand(396);
    EXPECT_TRUE(h.Editor.Commands.empty()) << "a posted command waits for the event loop";
    QCoreApplication::processEvents();
    EXPECT_EQ(h.Editor.Commands, std::vector<int>{396});

    h.View.StartTimer(kAutoScrollTimer, 5);
    ASSERT_TRUE(WaitFor([&] { return !h.Editor.Timers.empty(); }, 2000));
    h.View.StopTimer(kAutoScrollTimer);
    EXPECT_EQ(h.Editor.Timers.front(), kAutoScrollTimer);
}

TEST(EditorView, ResolvesColours)
{
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Highlight, QColor(4, 5, 6));
    EXPECT_EQ(TEditorView::ResolveColor(RGBColor(10, 20, 30), palette), QColor(10, 20, 30));
    EXPECT_EQ(TEditorView::ResolveColor(clNavy, palette), QColor(0, 0, 128));
    EXPECT_EQ(TEditorView::ResolveColor(clWindow, palette), QColor(1, 2, 3));
    EXPECT_EQ(TEditorView::ResolveColor(clHighlight, palette), QColor(4, 5, 6));
    EXPECT_EQ(TEditorView::ResolveColor(clNone, palette).alpha(), 0);
}
