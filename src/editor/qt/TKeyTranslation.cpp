// The key-translation layer between Qt's key events and the editor's key map.
#include "TKeyTranslation.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <array>
#include <utility>

namespace {

bool IsModifierKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

TKeyCode SpecialKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Backspace: return vkBack;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vkTab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vkReturn;
    case Qt::Key_Pause: return vkPause;
    case Qt::Key_Escape: return vkEscape;
    case Qt::Key_Space: return vkSpace;
    case Qt::Key_PageUp: return vkPrior;
    case Qt::Key_PageDown: return vkNext;
    case Qt::Key_End: return vkEnd;
    case Qt::Key_Home: return vkHome;
    case Qt::Key_Left: return vkLeft;
    case Qt::Key_Up: return vkUp;
    case Qt::Key_Right: return vkRight;
    case Qt::Key_Down: return vkDown;
    case Qt::Key_Print: return vkPrint;
    case Qt::Key_Insert: return vkInsert;
    case Qt::Key_Delete: return vkDelete;
    case Qt::Key_Menu: return vkApps;
    default:
        break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<TKeyCode>(vkF1 + (qtKey - Qt::Key_F1));
    return vkNone;
}

// The punctuation keys of a US keyboard by their unshifted symbol, and the digit row's shifted symbols.
TKeyCode UnshiftedSymbolKey(int qtKey)
{
    switch (qtKey) {
    case ';': return vkSemicolon;
    case '=': return vkEqual;
    case ',': return vkComma;
    case '-': return vkMinus;
    case '.': return vkPeriod;
    case '/': return vkSlash;
    case '`': return vkBackQuote;
    case '[': return vkLeftBracket;
    case '\\': return vkBackslash;
    case ']': return vkRightBracket;
    case '\'': return vkQuote;
    default: return vkNone;
    }
}

TKeyCode ShiftedSymbolKey(int qtKey)
{
    switch (qtKey) {
    case ')': return vk0;
    case '!': return vk0 + 1;
    case '@': return vk0 + 2;
    case '#':
    case 0x2116: // the numero sign on Shift+3 of the Russian layout
        return vk0 + 3;
    case '$': return vk0 + 4;
    case '%': return vk0 + 5;
    case '^': return vk0 + 6;
    case '&': return vk0 + 7;
    case '*': return vk0 + 8;
    case '(': return vk0 + 9;
    case ':': return vkSemicolon;
    case '+': return vkEqual;
    case '<': return vkComma;
    case '_': return vkMinus;
    case '>': return vkPeriod;
    case '?': return vkSlash;
    case '~': return vkBackQuote;
    case '{': return vkLeftBracket;
    case '|': return vkBackslash;
    case '}': return vkRightBracket;
    case '"': return vkQuote;
    default: return vkNone;
    }
}

// xkb key codes (the Linux input codes + 8) of the printable keys of the main keyboard.
constexpr quint32 XkbDigitOne = 10;
constexpr quint32 XkbDigitZero = 19;

TKeyCode KeyOfXkbScanCode(quint32 scanCode)
{
    static constexpr std::array<TKeyCode, 52> keys = {
        // 10 to 21: the digit row
        '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', vkMinus, vkEqual,
        // 22, 23: Backspace and Tab are named by Qt already
        vkNone, vkNone,
        // 24 to 35
        'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', vkLeftBracket, vkRightBracket,
        // 36, 37: Return and the left Ctrl
        vkNone, vkNone,
        // 38 to 49
        'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', vkSemicolon, vkQuote, vkBackQuote,
        // 50: the left Shift
        vkNone,
        // 51 to 61
        vkBackslash, 'Z', 'X', 'C', 'V', 'B', 'N', 'M', vkComma, vkPeriod, vkSlash};
    if (scanCode < 10 || scanCode >= 10 + keys.size())
        return vkNone;
    return keys[scanCode - 10];
}

// The Cyrillic letters of the Russian, Ukrainian and Belarusian layouts by the US key they lie on. Qt
// names a letter key by the letter's upper case.
TKeyCode KeyOfCyrillicLetter(int qtKey)
{
    static constexpr std::pair<char16_t, TKeyCode> letters[] = {
        {u'Й', 'Q'}, {u'Ц', 'W'}, {u'У', 'E'}, {u'К', 'R'}, {u'Е', 'T'}, {u'Н', 'Y'},
        {u'Г', 'U'}, {u'Ш', 'I'}, {u'Щ', 'O'}, {u'З', 'P'}, {u'Х', vkLeftBracket},
        {u'Ъ', vkRightBracket}, {u'Ї', vkRightBracket}, {u'Ф', 'A'}, {u'Ы', 'S'}, {u'І', 'S'},
        {u'В', 'D'}, {u'А', 'F'}, {u'П', 'G'}, {u'Р', 'H'}, {u'О', 'J'}, {u'Л', 'K'}, {u'Д', 'L'},
        {u'Ж', vkSemicolon}, {u'Э', vkQuote}, {u'Є', vkQuote}, {u'Я', 'Z'}, {u'Ч', 'X'},
        {u'С', 'C'}, {u'М', 'V'}, {u'И', 'B'}, {u'Т', 'N'}, {u'Ь', 'M'}, {u'Б', vkComma},
        {u'Ю', vkPeriod}, {u'Ё', vkBackQuote}, {u'Ў', 'O'}};
    for (const auto& [letter, key] : letters) {
        if (qtKey == letter)
            return key;
    }
    return vkNone;
}

TKeyCode KeyCodeOf(int qtKey, bool shift, quint32 nativeScanCode, bool xkbKeyboard)
{
    if (const TKeyCode special = SpecialKey(qtKey); special != vkNone)
        return special;
    // The digit row by its place, whatever symbol the layout and Shift put on it.
    if (xkbKeyboard && nativeScanCode >= XkbDigitOne && nativeScanCode <= XkbDigitZero)
        return KeyOfXkbScanCode(nativeScanCode);
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return static_cast<TKeyCode>(qtKey);
    if (qtKey >= 'a' && qtKey <= 'z')
        return static_cast<TKeyCode>(qtKey - 'a' + 'A');
    if (const TKeyCode symbol = UnshiftedSymbolKey(qtKey); symbol != vkNone)
        return symbol;
    if (shift) {
        if (const TKeyCode symbol = ShiftedSymbolKey(qtKey); symbol != vkNone)
            return symbol;
    }
    // A key that Qt names by a character of another script: its place on the keyboard decides.
    if (qtKey > 0x7F && qtKey < 0x110000) {
        if (xkbKeyboard) {
            if (const TKeyCode key = KeyOfXkbScanCode(nativeScanCode); key != vkNone)
                return key;
        }
        return KeyOfCyrillicLetter(qtKey);
    }
    return vkNone;
}

// Whether text is what key types without modifiers: its letter in either case, or its digit.
bool IsOwnCharacterOf(TKeyCode key, const QString& text)
{
    if (text.size() != 1 || text[0].unicode() > 0x7F)
        return false;
    const char c = static_cast<char>(text[0].toUpper().unicode());
    return ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) && c == key;
}

bool IsControlText(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 32 && c.unicode() != 127)
            return false;
    }
    return true;
}

} // namespace

TTranslatedKey TranslateKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text,
                            quint32 nativeScanCode, bool xkbKeyboard)
{
    TTranslatedKey result;
    if (IsModifierKey(qtKey)) {
        result.Ignored = true;
        return result;
    }

    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool alt = modifiers.testFlag(Qt::AltModifier);
    const bool shift = modifiers.testFlag(Qt::ShiftModifier) || qtKey == Qt::Key_Backtab;
    result.Shift = static_cast<TShiftState>((shift ? ssShift : 0) | (alt ? ssAlt : 0) | (ctrl ? ssCtrl : 0));
    result.Key = KeyCodeOf(qtKey, shift, nativeScanCode, xkbKeyboard);

    // Ctrl or Alt make a key a command, never a character. The one exception is an AltGr character on
    // a system that reports AltGr as Ctrl+Alt: it is the chord's own text, not the key's plain
    // character. Under xkb AltGr is a modifier of its own, and the text of a Ctrl+Alt chord is only
    // the key's plain character (Ctrl+Alt+2 on a French layout says "é"). A carriage return types only
    // as Enter or Shift+Enter.
    const bool altGr = ctrl && alt && !xkbKeyboard && result.Key != vkReturn
                       && !IsOwnCharacterOf(result.Key, text);
    const bool typesText = (!ctrl && !alt) || altGr;
    if (typesText && (text == QStringLiteral("\r") || !IsControlText(text)))
        result.Text = text;
    return result;
}

TTranslatedKey TranslateKeyEvent(const QKeyEvent& event)
{
    const QString platform = QGuiApplication::platformName();
    const bool xkbKeyboard = platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
    return TranslateKey(event.key(), event.modifiers(), event.text(), event.nativeScanCode(), xkbKeyboard);
}
