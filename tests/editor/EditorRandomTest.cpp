// Long random sessions of keys, typed characters (Cyrillic and emoji included), clicks and pastes of
// many lines on random texts in the highlighting editor: the editor's invariants hold after every
// step, its line states equal a full rescan of the text, and undoing everything gives back the text.
#include "HLHarness.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const QStringList kKeys = {
    "Left", "Right", "Up", "Down", "Home", "End", "Ctrl+Home", "Ctrl+End", "PageUp", "PageDown",
    "Ctrl+Left", "Ctrl+Right", "Ctrl+Up", "Ctrl+Down", "Ctrl+PageUp", "Ctrl+PageDown",
    "Shift+Left", "Shift+Right", "Shift+Up", "Shift+Down", "Shift+Home", "Shift+End", "Ctrl+Shift+Left",
    "Ctrl+Shift+Right", "Ctrl+Shift+Home", "Ctrl+Shift+End", "Shift+PageDown", "Shift+PageUp",
    "Alt+Shift+Left", "Alt+Shift+Right", "Alt+Shift+Up", "Alt+Shift+Down",
    "Enter", "Enter", "Tab", "Shift+Tab", "Backspace", "Backspace", "Delete", "Delete", "Ctrl+Y", "Ctrl+T",
    "Ctrl+Backspace", "Ctrl+Delete", "Insert", "Ctrl+A", "Ctrl+K T", "Ctrl+K I", "Ctrl+K U", "Ctrl+K O",
    "Ctrl+K N", "Ctrl+O U", "Ctrl+O L", "Ctrl+O C", "Ctrl+O I", "Ctrl+O K", "Ctrl+C", "Ctrl+X", "Ctrl+V",
    "Ctrl+V", "Ctrl+Z", "Ctrl+Shift+R", "Ctrl+Shift+P", "Ctrl+Shift+4", "Ctrl+4", "Ctrl+N",
};

const QString kAlphabet = QStringLiteral("abcxyzABC019 _,.;()'\"-*/#\\жЖёщЪ") + QStringLiteral("\U0001F600");

struct TRandom {
    explicit TRandom(unsigned seed) : Engine(seed) {}
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(Engine); }
    std::mt19937 Engine;
};

QString RandomCharacter(TRandom& random)
{
    const QList<uint> codes = kAlphabet.toUcs4();
    const char32_t code = codes[random.Below(static_cast<int>(codes.size()))];
    return QString::fromUcs4(&code, 1);
}

// Lines end in blanks only where the editor keeps them.
QStringList RandomText(TRandom& random, bool keepBlanks)
{
    QStringList lines;
    const int count = 1 + random.Below(8);
    for (int i = 0; i < count; ++i) {
        QString line;
        const int length = random.Below(24);
        for (int k = 0; k < length; ++k)
            line += RandomCharacter(random);
        while (!keepBlanks && line.endsWith(u' '))
            line.chop(1);
        lines << line;
    }
    return lines;
}

bool HasSplitPair(const QString& line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i].isHighSurrogate()) {
            if (i + 1 >= line.size() || !line[i + 1].isLowSurrogate())
                return true;
            ++i;
        } else if (line[i].isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

void CheckInvariants(const THLHarness& h)
{
    const THLEditor& e = h.Editor;
    const int count = e.LineCount();
    EXPECT_GE(count, 0);
    EXPECT_GE(e.CaretX(), 0);
    EXPECT_LE(e.CaretX(), kMaxColumn);
    EXPECT_GE(e.CaretY(), 0);
    EXPECT_LE(e.CaretY(), std::max(count - 1, 0));
    EXPECT_EQ(e.UpdateCount(), 0) << "every batch was closed";
    EXPECT_EQ(e.CompoundDepth(), 0) << "every compound group was closed";
    EXPECT_FALSE(e.UndoBuffer().UndoRunning());
    if (e.Selected()) {
        const TSelectionState& s = e.Selection();
        EXPECT_GE(s.SelBegY, 0);
        EXPECT_LT(s.SelEndY, count);
        EXPECT_LE(s.SelBegY, s.SelEndY);
        EXPECT_GE(s.SelBegX, 0);
        EXPECT_LE(s.SelEndX, kMaxColumn);
        if (s.SelBlockFormat == bfColumn) {
            EXPECT_LE(s.SelBegX, s.SelEndX);
        } else if (s.SelBegY == s.SelEndY) {
            EXPECT_LT(s.SelBegX, s.SelEndX);
        }
    }
    EXPECT_TRUE(SelectionIsValid(e));
    EXPECT_TRUE(StatesMatchRescan(e));
    for (int i = 0; i < count; ++i) {
        QString line;
        e.GetLineText(i, line);
        EXPECT_FALSE(HasSplitPair(line)) << "line " << i;
    }
}

TEST(EditorRandom, InvariantsHoldAndUndoRestoresTheText)
{
    // Sessions with trailing blanks kept too, as the query pane keeps them.
    for (unsigned session = 0; session < 80; ++session) {
        const unsigned seed = 1 + session % 40;
        const bool keepBlanks = session >= 40;
        SCOPED_TRACE(::testing::Message() << "seed " << seed << (keepBlanks ? ", blanks kept" : ""));
        TRandom random(seed);
        THLHarness h;
        h.Editor.SetKeepTrailingBlanks(keepBlanks);
        const QStringList original = RandomText(random, keepBlanks);
        h.Editor.Lines().Assign(original);
        h.Editor.UndoBuffer().Clear();
        QStringList steps;
        for (int step = 0; step < 500; ++step) {
            const int choice = random.Below(11);
            QString done;
            if (choice == 10) {
                // A paste of many lines, in any format, which moves every line below it at once (and
                // a later Ctrl+A with Delete, Ctrl+X or a paste over the selection removes them).
                const QStringList block = RandomText(random, keepBlanks) + RandomText(random, keepBlanks)
                    + RandomText(random, keepBlanks) + QStringList(random.Below(16), QStringLiteral("x/*"));
                const int formats[] = {-1, bfLine, bfColumn, bfInclusive};
                h.Platform.ClipboardText = block.join(QStringLiteral("\r\n"));
                h.Platform.ClipboardFormat = formats[random.Below(4)];
                h.Platform.HasClipboardText = true;
                RunKeys(h.Editor, "Ctrl+V");
                done = QStringLiteral("paste of %1 lines").arg(block.size());
            } else if (choice < 4) {
                const QString typed = RandomCharacter(random);
                TypeText(h.Editor, typed);
                done = "'" + typed + "'";
            } else if (choice < 9) {
                done = kKeys[random.Below(static_cast<int>(kKeys.size()))];
                RunKeys(h.Editor, done);
            } else {
                // A click or a short drag somewhere in the first rows, maybe with Shift or Alt.
                const TShiftState shift = static_cast<TShiftState>(random.Below(2) ? 0 : (random.Below(2) ? ssShift : ssAlt));
                const int x = random.Below(300);
                const int y = random.Below(180);
                h.Editor.MouseDown(TMouseButton::Left, shift, x, y);
                if (random.Below(2))
                    h.Editor.MouseMove(shift, random.Below(300), random.Below(180));
                h.Editor.MouseUp(TMouseButton::Left, shift, x, y);
                done = QStringLiteral("click %1,%2").arg(x).arg(y);
            }
            steps << done;
            SCOPED_TRACE(steps.mid(std::max<qsizetype>(0, steps.size() - 12)).join(u' ').toStdString());
            SCOPED_TRACE(Describe(h.Editor).toStdString());
            CheckInvariants(h);
            if (testing::Test::HasFailure())
                return;
        }
        int undos = 0;
        while (h.Editor.CanUndo() && undos < 100000) {
            h.Editor.Undo();
            ++undos;
        }
        SCOPED_TRACE(steps.join(u' ').toStdString());
        EXPECT_FALSE(h.Editor.CanUndo());
        EXPECT_EQ(h.Editor.Lines().ToStringList(), original);
        CheckInvariants(h);
        if (testing::Test::HasFailure())
            return;
    }
}

} // namespace
