// Long random sessions of keys, typed characters (Cyrillic and emoji included), clicks, carets past the
// ends of inner lines, selections from there, bulk moves and pastes of many lines, on short texts,
// texts of thousands of lines and lines past 64 KiB, in the highlighting editor: the editor's
// invariants hold after every step, its line states equal a full rescan of the text, every undo step
// gives a text the pane held, and undoing everything gives back the text.
#include "HLHarness.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_set>

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

// The shapes of text a session starts from: a few short lines, thousands of lines, or lines past the
// painted columns and past a shared block of the store.
enum class TShape { Short, Many, Long };

QStringList ShapedText(TRandom& random, TShape shape, bool keepBlanks)
{
    QStringList lines;
    if (shape == TShape::Short)
        return RandomText(random, keepBlanks);
    const int blocks = shape == TShape::Many ? 400 : 3;
    for (int i = 0; i < blocks; ++i)
        lines += RandomText(random, keepBlanks);
    if (shape == TShape::Long) {
        // Lines of 1,100 to 3,000 characters and one past 64 KiB, in the middle of the text.
        for (int k = 0; k < 3; ++k) {
            QString line;
            const int length = 1100 + random.Below(1900);
            while (line.size() < length)
                line += RandomCharacter(random);
            lines.insert(random.Below(static_cast<int>(lines.size())), line.trimmed());
        }
        lines.insert(random.Below(static_cast<int>(lines.size())),
            QString(70000, u'x') + QStringLiteral(" /* y */ 'z'"));
    }
    return lines;
}

std::size_t TextHash(const TCustomEditor& editor)
{
    return qHash(editor.Lines().Text()) ^ static_cast<std::size_t>(editor.LineCount());
}

TEST(EditorRandom, InvariantsHoldAndEveryUndoStepGivesAnEarlierText)
{
    struct TSession {
        TShape Shape;
        int Seeds;
        int Steps;
    };
    const TSession sessions[] = {{TShape::Short, 10, 200}, {TShape::Many, 1, 60}, {TShape::Long, 1, 60}};
    for (const TSession& session : sessions) {
        // Sessions with trailing blanks kept too, as the query pane keeps them.
        for (int run = 0; run < 2 * session.Seeds; ++run) {
            const unsigned seed = 1 + run % session.Seeds + 100 * static_cast<unsigned>(session.Shape);
            const bool keepBlanks = run >= session.Seeds;
            SCOPED_TRACE(::testing::Message() << "seed " << seed << (keepBlanks ? ", blanks kept" : ""));
            TRandom random(seed);
            THLHarness h;
            h.Editor.SetKeepTrailingBlanks(keepBlanks);
            const QStringList original = ShapedText(random, session.Shape, keepBlanks);
            h.Editor.Lines().Assign(original);
            h.Editor.UndoBuffer().Clear();
            // Every text the pane held, so that each undo step can be checked against them.
            std::unordered_set<std::size_t> held = {TextHash(h.Editor)};
            // Runs keys one by one, each text after a key held by the pane.
            const auto press = [&](const QString& keys) {
                for (const QString& key : keys.split(u' ')) {
                    RunKeys(h.Editor, key);
                    held.insert(TextHash(h.Editor));
                }
            };
            QStringList steps;
            for (int step = 0; step < session.Steps; ++step) {
                const int choice = random.Below(14);
                QString done;
                if (choice == 10) {
                    // A paste of many lines, in any format, which moves every line below it at once
                    // (and a later Ctrl+A with Delete, Ctrl+X or a paste over the selection removes
                    // them).
                    const QStringList block = RandomText(random, keepBlanks) + RandomText(random, keepBlanks)
                        + RandomText(random, keepBlanks) + QStringList(random.Below(16), QStringLiteral("x/*"));
                    const int formats[] = {-1, bfLine, bfColumn, bfInclusive};
                    h.Platform.ClipboardText = block.join(QStringLiteral("\r\n"));
                    h.Platform.ClipboardFormat = formats[random.Below(4)];
                    h.Platform.HasClipboardText = true;
                    press("Ctrl+V");
                    done = QStringLiteral("paste of %1 lines").arg(block.size());
                } else if (choice == 11 || choice == 12) {
                    // The caret anywhere, past the end of an inner line too (a click right of the text,
                    // or Down from a longer line), then maybe a keyboard selection from there.
                    const int line = random.Below(std::max(h.Editor.LineCount(), 1));
                    const int column = random.Below(2) ? h.Editor.LineLength(line) + random.Below(40)
                                                       : random.Below(1100);
                    h.Editor.SetCaret(column, line);
                    done = QStringLiteral("caret %1,%2").arg(column).arg(line);
                    if (choice == 12) {
                        const QString keys[] = {"Shift+Down", "Shift+Up", "Shift+Right", "Shift+End",
                                                "Alt+Shift+Down", "Shift+PageDown"};
                        done += u' ' + keys[random.Below(6)];
                        press(done.section(u' ', 2));
                    }
                } else if (choice == 13) {
                    // Bulk moves: everything cut and pasted back, or the text's ends.
                    const QString keys[] = {"Ctrl+A Ctrl+X Ctrl+V", "Ctrl+End", "Ctrl+Home", "Ctrl+A Ctrl+K O"};
                    done = keys[random.Below(4)];
                    press(done);
                } else if (choice < 4) {
                    const QString typed = RandomCharacter(random);
                    TypeText(h.Editor, typed);
                    done = "'" + typed + "'";
                } else if (choice < 9) {
                    done = kKeys[random.Below(static_cast<int>(kKeys.size()))];
                    press(done);
                } else {
                    // A click or a short drag somewhere in the first rows, maybe with Shift or Alt.
                    const TShiftState shift =
                        static_cast<TShiftState>(random.Below(2) ? 0 : (random.Below(2) ? ssShift : ssAlt));
                    const int x = random.Below(300);
                    const int y = random.Below(180);
                    h.Editor.MouseDown(TMouseButton::Left, shift, x, y);
                    if (random.Below(2))
                        h.Editor.MouseMove(shift, random.Below(300), random.Below(180));
                    h.Editor.MouseUp(TMouseButton::Left, shift, x, y);
                    done = QStringLiteral("click %1,%2").arg(x).arg(y);
                }
                steps << done;
                held.insert(TextHash(h.Editor));
                CheckInvariants(h);
                if (testing::Test::HasFailure()) {
                    ADD_FAILURE() << "after " << steps.join(u' ').toStdString() << "\n"
                                  << (session.Shape == TShape::Short ? Describe(h.Editor).toStdString() : "");
                    return;
                }
            }
            SCOPED_TRACE(steps.join(u' ').toStdString());
            int undos = 0;
            while (h.Editor.CanUndo() && undos < 100000) {
                h.Editor.Undo();
                ++undos;
                ASSERT_TRUE(held.contains(TextHash(h.Editor)))
                    << "undo step " << undos << " gave a text the pane never held:\n"
                    << (session.Shape == TShape::Short ? Describe(h.Editor).toStdString() : std::string());
            }
            EXPECT_FALSE(h.Editor.CanUndo());
            EXPECT_EQ(h.Editor.Lines().ToStringList(), original);
            CheckInvariants(h);
            if (testing::Test::HasFailure())
                return;
        }
    }
}

} // namespace
