// The editor in its Qt view on the offscreen platform: real key events through the translation layer
// to the key map (chords, Cyrillic layouts, Ctrl+Shift+digit, Backtab), the mouse, and copy and paste
// through Qt's real clipboard with the block-format byte.
#include "Editor.h"
#include "EditorView.h"
#include "PaneGeometry.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>

namespace {

struct TPane {
    TPane() : View(std::make_unique<TEditor>()), Editor(static_cast<TEditor&>(View.Editor()))
    {
        TEditorFont font;
        font.Height = 13;
        Editor.SetFont(font);
        Editor.SetGutterWidth(25);
        Editor.SetTabStops(QStringLiteral("8 16"));
        View.resize(600, 240);
        View.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&View));
        View.activateWindow();
        View.setFocus();
    }

    void Load(const QStringList& lines, int x, int y)
    {
        Editor.Lines().Assign(lines);
        Editor.SetCaret(x, y);
    }
    QStringList Lines() const { return Editor.Lines().ToStringList(); }
    QPoint Caret() const { return QPoint(Editor.CaretX(), Editor.CaretY()); }

    // One key as a keyboard delivers it: Qt's key code, the text it types, the modifiers.
    void Key(int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::sendKeyEvent(QTest::Click, &View, static_cast<Qt::Key>(key), text, modifiers);
    }
    void Type(const QString& text)
    {
        for (const QChar c : text)
            Key(c.toUpper().unicode(), QString(c));
    }

    TEditorView View;
    TEditor& Editor;
};

constexpr Qt::KeyboardModifiers Ctrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers Shift = Qt::ShiftModifier;

TEST(EditorViewKeys, ChordsUnderACyrillicLayout)
{
    TPane pane;
    pane.Load({"select abc from t"}, 8, 0);
    // Ctrl+K, then T: with a Cyrillic layout Qt names the keys by their letters, Л and Е.
    pane.Key(0x041B, QString(QChar(0x0B)), Ctrl);
    EXPECT_TRUE(pane.Editor.ChordPending());
    pane.Key(0x0415, QString(QChar(0x0435)));
    EXPECT_EQ(pane.Editor.SelectedText(), QStringLiteral("abc"));
    EXPECT_EQ(pane.Lines(), QStringList{"select abc from t"}) << "the chord's second key types nothing";

    // Ctrl+C by the key of С copies.
    QApplication::clipboard()->clear();
    pane.Key(0x0421, QString(QChar(0x03)), Ctrl);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("abc"));

    // Ctrl+K, X: swallowed, not typed.
    pane.Key(Qt::Key_End);
    pane.Key(Qt::Key_K, {}, Ctrl);
    pane.Key(Qt::Key_X, QStringLiteral("x"));
    EXPECT_EQ(pane.Lines(), QStringList{"select abc from t"});
    EXPECT_FALSE(pane.Editor.ChordPending());
}

TEST(EditorViewKeys, AModifierAloneLeavesAChordPending)
{
    TPane pane;
    pane.Load({"one two"}, 1, 0);
    pane.Key(Qt::Key_K, {}, Ctrl);
    QTest::keyPress(&pane.View, Qt::Key_Shift);
    QTest::keyRelease(&pane.View, Qt::Key_Shift);
    EXPECT_TRUE(pane.Editor.ChordPending());
    pane.Key(Qt::Key_T, {}, Ctrl);
    EXPECT_EQ(pane.Editor.SelectedText(), QStringLiteral("one"));
}

TEST(EditorViewKeys, ShiftedDigitsTabsAndEnter)
{
    TPane pane;
    pane.Load({"a", "b", "c"}, 0, 1);
    // Qt reports Ctrl+Shift+3 as the number sign.
    pane.Key(Qt::Key_NumberSign, QStringLiteral("#"), Ctrl | Shift);
    EXPECT_TRUE(pane.Editor.Bookmark(3).Valid);
    EXPECT_EQ(pane.Lines(), (QStringList{"a", "b", "c"}));
    pane.Key(Qt::Key_Down);
    pane.Key(Qt::Key_3, QStringLiteral("3"), Ctrl);
    EXPECT_EQ(pane.Caret(), QPoint(0, 1));

    pane.Load({"xxxxxxxxxxxxxxxxxxxxy"}, 20, 0);
    pane.Key(Qt::Key_Backtab, {}, Shift);
    EXPECT_EQ(pane.Caret(), QPoint(15, 0)) << "Shift+Tab arrives as Backtab";
    pane.Key(Qt::Key_Tab, QStringLiteral("\t"));
    EXPECT_EQ(pane.Lines(), QStringList{"xxxxxxxxxxxxxxx        xxxxxy"});
    EXPECT_TRUE(pane.View.hasFocus()) << "Tab stays in the editor";

    pane.Load({"ab"}, 2, 0);
    pane.Key(Qt::Key_Return, QStringLiteral("\r"), Ctrl);
    EXPECT_EQ(pane.Lines(), QStringList{"ab"}) << "Ctrl+Return types no line break";
    pane.Key(Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(pane.Lines(), (QStringList{"ab", ""}));
    pane.Key(Qt::Key_Home, {}, Qt::KeypadModifier | Ctrl);
    EXPECT_EQ(pane.Caret(), QPoint(0, 0)) << "the keypad flag is ignored";
}

TEST(EditorViewKeys, CyrillicTypingAndMacros)
{
    TPane pane;
    pane.Load({}, 0, 0);
    pane.Key(Qt::Key_R, {}, Ctrl | Shift);
    pane.Type(QStringLiteral("Жук"));
    pane.Key(Qt::Key_R, {}, Ctrl | Shift);
    EXPECT_EQ(pane.Lines(), QStringList{"Жук"});
    pane.Key(Qt::Key_P, {}, Ctrl | Shift);
    EXPECT_EQ(pane.Lines(), QStringList{"ЖукЖук"});
    pane.Key(Qt::Key_Z, {}, Ctrl);
    EXPECT_EQ(pane.Lines(), QStringList{"Жук"});
}

TEST(EditorViewKeys, MouseClicksAndDoubleClicks)
{
    TPane pane;
    pane.Load({"select abc from t", "x"}, 0, 1);
    const int cell = pane.Editor.CharWidth();
    const int line = pane.Editor.LineHeight();
    QWidget* viewport = pane.View.viewport();
    const QPoint onAbc(CellLeftX(8, cell) + cell / 4, line / 2);
    // A double click as Qt delivers it: press, release, double-click event, release.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, onAbc);
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, onAbc);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, onAbc);
    EXPECT_EQ(pane.Editor.SelectedText(), QStringLiteral("abc"));
    // The next click is a click again.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(CellLeftX(2, cell) + cell / 4, line + line / 2));
    EXPECT_FALSE(pane.Editor.Selected());
    EXPECT_EQ(pane.Caret(), QPoint(2, 1));
}

TEST(EditorViewKeys, ClipboardRoundTripsWithTheBlockFormat)
{
    TPane pane;
    pane.Load({"abcdefgh", "abcdefgh", "xy"}, 5, 0);
    // A column block of columns 5 and 6 on two lines.
    pane.Key(Qt::Key_Right, {}, Qt::AltModifier | Shift);
    pane.Key(Qt::Key_Down, {}, Qt::AltModifier | Shift);
    pane.Key(Qt::Key_C, {}, Ctrl);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->text(), QStringLiteral("fg\r\nfg"));
    ASSERT_TRUE(data->hasFormat(QStringLiteral("application/x-brindlecast-block-type")));
    EXPECT_EQ(data->data(QStringLiteral("application/x-brindlecast-block-type")), QByteArray(1, char(bfColumn)));

    pane.Key(Qt::Key_PageDown);
    pane.Key(Qt::Key_End);
    pane.Key(Qt::Key_O, {}, Ctrl);
    pane.Key(Qt::Key_K);
    ASSERT_EQ(pane.Editor.SelBlockFormat(), bfNonInclusive);
    pane.Key(Qt::Key_V, {}, Ctrl);
    EXPECT_EQ(pane.Lines(), (QStringList{"abcdefgh", "abcdefgh", "xyfg", "  fg"}));
    EXPECT_EQ(pane.Editor.SelBlockFormat(), bfColumn) << "the format came with the text";

    // Text from another program: no block byte, LF line breaks.
    QApplication::clipboard()->setText(QStringLiteral("p\nq"));
    pane.Load({"12"}, 1, 0);
    pane.Key(Qt::Key_Insert, {}, Shift);
    EXPECT_EQ(pane.Lines(), (QStringList{"1p", "q2"}));
    EXPECT_EQ(pane.Editor.SelBlockFormat(), bfNonInclusive);

    // A stream copied goes out with CR LF and its byte.
    pane.Key(Qt::Key_A, {}, Ctrl);
    pane.Key(Qt::Key_Insert, {}, Ctrl);
    data = QApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text(), QStringLiteral("1p\r\nq2"));
    EXPECT_EQ(data->data(QStringLiteral("application/x-brindlecast-block-type")),
              QByteArray(1, char(bfNonInclusive)));

    // A line block pastes above the caret's line.
    pane.Key(Qt::Key_O, {}, Ctrl);
    pane.Key(Qt::Key_L);
    pane.Key(Qt::Key_C, {}, Ctrl);
    pane.Load({"z"}, 0, 0);
    pane.Key(Qt::Key_V, {}, Ctrl);
    EXPECT_EQ(pane.Lines(), (QStringList{"1p", "q2", "z"}));
}

TEST(EditorViewKeys, EditRequestsArePostedToTheView)
{
    TPane pane;
    pane.Load({"hello"}, 0, 0);
    pane.Editor.SetSelectionRange(1, 3);
    pane.Editor.CopyRequest();
    QApplication::clipboard()->clear();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("ell"));
    pane.Editor.CutRequest();
    QCoreApplication::processEvents();
    EXPECT_EQ(pane.Lines(), QStringList{"ho"});
    pane.Editor.PasteRequest();
    QCoreApplication::processEvents();
    EXPECT_EQ(pane.Lines(), QStringList{"hello"});
}

} // namespace
