// Tests of the key-translation layer: Qt key presses as the editor's key map and character path see them.
#include "TKeyTranslation.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string_view>

// Found by GoogleTest through the argument's namespace, so it stays outside the anonymous one.
void PrintTo(const TTranslatedKey& key, std::ostream* os)
{
    *os << "{ignored " << key.Ignored << ", key " << key.Key << ", shift " << int(key.Shift) << ", text ";
    PrintTo(key.Text, os);
    *os << '}';
}

namespace {

struct TTranslationCase
{
    const char* Name;
    int QtKey;
    Qt::KeyboardModifiers Modifiers;
    QString Text;
    TTranslatedKey Expected;
    quint32 ScanCode = 0;
    bool XkbScanCodes = false;
};

constexpr Qt::KeyboardModifiers None = Qt::NoModifier;
constexpr Qt::KeyboardModifiers Shift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers Ctrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers Alt = Qt::AltModifier;
constexpr Qt::KeyboardModifiers CtrlShift = Qt::ControlModifier | Qt::ShiftModifier;

TTranslatedKey Key(TKeyCode key, TShiftState shift, QString text = {})
{
    return {false, key, shift, std::move(text)};
}

TEST(KeyTranslation, Table)
{
    const TTranslationCase cases[] = {
        {"plain letter types", Qt::Key_A, None, "a", Key('A', 0, "a")},
        {"shifted letter types", Qt::Key_A, Shift, "A", Key('A', ssShift, "A")},
        {"Ctrl+C types nothing", Qt::Key_C, Ctrl, "\x03", Key('C', ssCtrl)},
        {"Alt+X types nothing", Qt::Key_X, Alt, "x", Key('X', ssAlt)},
        {"Ctrl+Alt types as AltGr", Qt::Key_Q, Ctrl | Alt, "@", Key('Q', ssCtrl | ssAlt, "@")},
        {"Ctrl+Alt with the key's own letter types nothing", Qt::Key_Q, Ctrl | Alt, "q", Key('Q', ssCtrl | ssAlt)},
        {"Ctrl+Alt with the key's own digit types nothing", Qt::Key_1, Ctrl | Alt, "1", Key('1', ssCtrl | ssAlt)},
        // Under xkb AltGr is a modifier of its own; Ctrl+Alt only repeats the key's plain character.
        {"xkb AltGr types", Qt::Key_At, Qt::GroupSwitchModifier, "@", Key(vkNone, 0, "@"), 24, true},
        {"xkb Russian Ctrl+Alt+ES types nothing", 0x0421, Ctrl | Alt, QString(QChar(0x0441)),
         Key('C', ssCtrl | ssAlt), 54, true},
        {"xkb Ctrl+Alt+Return types nothing", Qt::Key_Return, Ctrl | Alt, "\r", Key(vkReturn, ssCtrl | ssAlt), 36, true},
        {"Enter types a carriage return", Qt::Key_Return, None, "\r", Key(vkReturn, 0, "\r")},
        {"Shift+Enter too", Qt::Key_Return, Shift, "\r", Key(vkReturn, ssShift, "\r")},
        {"Ctrl+Return types nothing", Qt::Key_Return, Ctrl, "\r", Key(vkReturn, ssCtrl)},
        {"Ctrl+Return with line feed text", Qt::Key_Return, Ctrl, "\n", Key(vkReturn, ssCtrl)},
        {"keypad Enter is Enter", Qt::Key_Enter, Qt::KeypadModifier, "\r", Key(vkReturn, 0, "\r")},
        {"keypad flag ignored", Qt::Key_Left, Qt::KeypadModifier | Shift, "", Key(vkLeft, ssShift)},
        {"keypad digit", Qt::Key_7, Qt::KeypadModifier, "7", Key('7', 0, "7")},
        {"Meta ignored", Qt::Key_Home, Qt::MetaModifier, "", Key(vkHome, 0)},
        {"Tab types nothing", Qt::Key_Tab, None, "\t", Key(vkTab, 0)},
        {"Backtab is Shift+Tab", Qt::Key_Backtab, Shift, "", Key(vkTab, ssShift)},
        {"Backtab without the flag", Qt::Key_Backtab, None, "", Key(vkTab, ssShift)},
        {"Ctrl+Shift+Tab", Qt::Key_Backtab, CtrlShift, "", Key(vkTab, ssCtrl | ssShift)},
        {"Escape types nothing", Qt::Key_Escape, None, "\x1b", Key(vkEscape, 0)},
        {"Delete types nothing", Qt::Key_Delete, None, "\x7f", Key(vkDelete, 0)},
        {"Backspace", Qt::Key_Backspace, None, "\b", Key(vkBack, 0)},
        {"Alt+Backspace", Qt::Key_Backspace, Alt, "", Key(vkBack, ssAlt)},
        {"Alt+Shift+Right", Qt::Key_Right, Alt | Shift, "", Key(vkRight, ssAlt | ssShift)},
        {"PageUp", Qt::Key_PageUp, Ctrl, "", Key(vkPrior, ssCtrl)},
        {"PageDown", Qt::Key_PageDown, None, "", Key(vkNext, 0)},
        {"Ctrl+Space", Qt::Key_Space, Ctrl, " ", Key(vkSpace, ssCtrl)},
        {"Space types", Qt::Key_Space, None, " ", Key(vkSpace, 0, " ")},
        {"F5", Qt::Key_F5, None, "", Key(vkF1 + 4, 0)},
        {"Ctrl+3", Qt::Key_3, Ctrl, "3", Key('3', ssCtrl)},
        {"Ctrl+Shift+3 from the number sign", Qt::Key_NumberSign, CtrlShift, "#", Key('3', ssCtrl | ssShift)},
        {"Ctrl+Shift+0 from the right parenthesis", Qt::Key_ParenRight, CtrlShift, ")",
         Key('0', ssCtrl | ssShift)},
        {"Ctrl+Shift+2 from the at sign", Qt::Key_At, CtrlShift, "@", Key('2', ssCtrl | ssShift)},
        {"Ctrl+Shift+3 from the numero sign", 0x2116, CtrlShift, QString(QChar(0x2116)),
         Key('3', ssCtrl | ssShift)},
        {"Shift+3 types the number sign", Qt::Key_NumberSign, Shift, "#", Key('3', ssShift, "#")},
        {"an unshifted number sign is no digit", Qt::Key_NumberSign, Ctrl, "#", Key(vkNone, ssCtrl)},
        {"punctuation", Qt::Key_Semicolon, None, ";", Key(vkSemicolon, 0, ";")},
        {"shifted punctuation", Qt::Key_Colon, Shift, ":", Key(vkSemicolon, ssShift, ":")},
        // Under a Cyrillic layout Qt names a letter key by its Cyrillic capital.
        {"Cyrillic Ctrl+ES is Ctrl+C", 0x0421, Ctrl, "\x03", Key('C', ssCtrl)},
        {"Cyrillic Ctrl+YA is Ctrl+Z", 0x042F, Ctrl, "", Key('Z', ssCtrl)},
        {"Cyrillic Ctrl+EL is Ctrl+K", 0x041B, Ctrl, "", Key('K', ssCtrl)},
        {"Cyrillic IE types and is T", 0x0415, None, QString(QChar(0x0435)), Key('T', 0, QString(QChar(0x0435)))},
        {"Cyrillic Ctrl+SHORT I is Ctrl+Q", 0x0419, Ctrl, "", Key('Q', ssCtrl)},
        {"Cyrillic Ctrl+SHCHA is Ctrl+O", 0x0429, Ctrl, "", Key('O', ssCtrl)},
        {"Ukrainian I is S", 0x0406, None, QString(QChar(0x0456)), Key('S', 0, QString(QChar(0x0456)))},
        {"Cyrillic IO is the back quote key", 0x0401, Shift, QString(QChar(0x0401)),
         Key(vkBackQuote, ssShift, QString(QChar(0x0401)))},
        {"a Greek letter by its xkb scan code", 0x03A7, Ctrl, "", Key('X', ssCtrl), 53, true},
        {"scan codes are not read on other platforms", 0x03A7, Ctrl, "", Key(vkNone, ssCtrl), 53, false},
        {"a Cyrillic letter by its scan code", 0x0415, None, QString(QChar(0x0435)),
         Key('T', 0, QString(QChar(0x0435))), 28, true},
        {"a digit-row scan code", 0x00E9, Ctrl, "", Key('2', ssCtrl), 11, true},
        {"an emoji key types the whole pair", 0x1F600, None, QString::fromUtf16(u"\U0001F600"),
         Key(vkNone, 0, QString::fromUtf16(u"\U0001F600"))},
    };
    for (const TTranslationCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TranslateKey(c.QtKey, c.Modifiers, c.Text, c.ScanCode, c.XkbScanCodes), c.Expected);
    }
}

// The digit row as X11 delivers it through Qt's xcb platform (measured under Xvfb with setxkbmap):
// per layout and chord, the Qt key and the text of the keys with xkb key codes 10 to 19. Whatever
// the layout names them, they are the digits 1 to 9 and 0, and none of these chords types anything.
TEST(KeyTranslation, TheDigitRowByPhysicalKeyUnderEveryLayout)
{
    using namespace std::literals;
    // What Ctrl+digit gives on the US, Russian and German layouts: the digit, and xkb's control
    // characters for the keys that have one.
    constexpr auto usKeys = u"1234567890"sv;
    constexpr auto usCtrlTexts = u"1\0\x1b\x1c\x1d\x1e\x1f\x7f" u"90"sv;
    struct TRow {
        const char* Layout;
        Qt::KeyboardModifiers Modifiers;
        std::u16string_view QtKeys;
        std::u16string_view Texts;
    };
    const TRow rows[] = {
        {"us", Ctrl, usKeys, usCtrlTexts},
        {"us", CtrlShift, u"!@#$%^&*()"sv, u"!\0#$%\x1e" u"&*()"sv},
        {"us", Ctrl | Alt, usKeys, usCtrlTexts},
        {"ru", Ctrl, usKeys, usCtrlTexts},
        {"ru", CtrlShift, u"!\"\u2116;%:?*()"sv, u"!\"\u2116;%:?*()"sv},
        {"ru", Ctrl | Alt, usKeys, usCtrlTexts},
        {"de", Ctrl, usKeys, usCtrlTexts},
        {"de", CtrlShift, u"!\"\u00a7$%&/()="sv, u"!\"\u00a7$%&\x1f" u"()="sv},
        {"de", Ctrl | Alt, usKeys, usCtrlTexts},
        // French names the unshifted row by its symbols (Qt's key of a letter is its capital).
        {"fr", Ctrl, u"&\u00c9\"'(-\u00c8_\u00c7\u00c0"sv, u"&\u00e9\"'(-\u00e8\x1f" u"\u00e7\u00e0"sv},
        {"fr", CtrlShift, usKeys, usCtrlTexts},
        {"fr", Ctrl | Alt, u"&\u00c9\"'(-\u00c8_\u00c7\u00c0"sv, u"&\u00e9\"'(-\u00e8\x1f" u"\u00e7\u00e0"sv},
    };
    for (const TRow& row : rows) {
        ASSERT_EQ(row.QtKeys.size(), 10u) << row.Layout;
        ASSERT_EQ(row.Texts.size(), 10u) << row.Layout;
        const auto shift = static_cast<TShiftState>((row.Modifiers.testFlag(Qt::ShiftModifier) ? ssShift : 0)
                                                    | (row.Modifiers.testFlag(Qt::AltModifier) ? ssAlt : 0) | ssCtrl);
        for (int i = 0; i < 10; ++i) {
            const TKeyCode digit = i == 9 ? '0' : static_cast<TKeyCode>('1' + i);
            SCOPED_TRACE(testing::Message() << row.Layout << " modifiers " << int(row.Modifiers) << " digit "
                                            << char(digit));
            const TTranslatedKey translated = TranslateKey(row.QtKeys[i], row.Modifiers,
                                                           QString(QChar(row.Texts[i])), 10 + i, true);
            EXPECT_EQ(translated, Key(digit, shift));
        }
    }
}

TEST(KeyTranslation, ModifierPressesAloneAreIgnored)
{
    const int keys[] = {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_AltGr,
                        Qt::Key_CapsLock, Qt::Key_NumLock, Qt::Key_Super_L, Qt::Key_Hyper_R};
    for (int key : keys) {
        SCOPED_TRACE(key);
        const TTranslatedKey result = TranslateKey(key, Qt::ControlModifier | Qt::ShiftModifier, {});
        EXPECT_TRUE(result.Ignored);
        EXPECT_TRUE(result.Text.isEmpty());
    }
    EXPECT_FALSE(TranslateKey(Qt::Key_A, Qt::NoModifier, "a").Ignored);
}

} // namespace
