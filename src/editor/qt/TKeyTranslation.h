// Turns a Qt key press into what the editor's key map and character path expect: a key code as on a
// US layout, the Shift/Alt/Ctrl set, and the text the key types.
#pragma once

#include "EditorKeyboard.h"

#include <QString>
#include <Qt>

class QKeyEvent;

// One key press as the editor sees it. A press of a modifier alone is Ignored: the editor is not told
// of it, so it neither ends a pending chord nor types anything.
struct TTranslatedKey
{
    bool Ignored = false;
    TKeyCode Key = vkNone;
    TShiftState Shift = 0;  // no modifier
    // What the key types after its key-down: empty when it types nothing (any Ctrl or Alt combination
    // other than an AltGr character that arrives as Ctrl+Alt, control characters other than the
    // carriage return of Enter).
    QString Text;

    bool operator==(const TTranslatedKey&) const = default;
};

// The key as a US layout would name it, so that Ctrl+C, Ctrl+Z and the Ctrl+K, Ctrl+Q and Ctrl+O
// chords work under a Cyrillic layout too. `xkbKeyboard` says that the platform's keyboard is xkb's
// (X11, Wayland): its scan codes are xkb key codes, and AltGr is a modifier of its own rather than
// Ctrl+Alt. There the digit row is matched by physical key under every layout (the French row names
// its keys by symbols, the German and Russian rows shift to other symbols than the US one), and a key
// that Qt names by a non-Latin character is looked up by its position too. Elsewhere a non-Latin
// letter is looked up among the Russian, Ukrainian and Belarusian layouts' letters, and with Shift the
// shifted symbols of the US digit row name their digit (Qt reports Shift+3 as Key_NumberSign).
// Backtab is Shift+Tab; the keypad flag and Meta are ignored.
TTranslatedKey TranslateKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text,
                            quint32 nativeScanCode = 0, bool xkbKeyboard = false);

// TranslateKey on an event, with the keyboard taken for xkb's on the X11 and Wayland platforms.
TTranslatedKey TranslateKeyEvent(const QKeyEvent& event);
