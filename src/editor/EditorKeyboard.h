// The editor's key map: key codes, modifier sets, and the table that turns key strokes and two-key
// chords into command codes.
#pragma once

#include "EditorCommands.h"
#include "EditorTypes.h"

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

// Modifiers are TShiftState sets of ssShift, ssAlt and ssCtrl; 0 is no modifier.

// A key as the key map knows it: the key's code on a US layout, whatever layout is active. Letters
// and the digits of the main keyboard use their upper-case ASCII codes ('A', '0').
using TKeyCode = std::uint16_t;

inline constexpr TKeyCode vkNone = 0;
inline constexpr TKeyCode vkBack = 8;
inline constexpr TKeyCode vkTab = 9;
inline constexpr TKeyCode vkReturn = 13;
inline constexpr TKeyCode vkPause = 19;
inline constexpr TKeyCode vkEscape = 27;
inline constexpr TKeyCode vkSpace = 32;
inline constexpr TKeyCode vkPrior = 33;
inline constexpr TKeyCode vkNext = 34;
inline constexpr TKeyCode vkEnd = 35;
inline constexpr TKeyCode vkHome = 36;
inline constexpr TKeyCode vkLeft = 37;
inline constexpr TKeyCode vkUp = 38;
inline constexpr TKeyCode vkRight = 39;
inline constexpr TKeyCode vkDown = 40;
inline constexpr TKeyCode vkPrint = 44;
inline constexpr TKeyCode vkInsert = 45;
inline constexpr TKeyCode vkDelete = 46;
inline constexpr TKeyCode vk0 = 48;
inline constexpr TKeyCode vk9 = 57;
inline constexpr TKeyCode vkA = 65;
inline constexpr TKeyCode vkZ = 90;
inline constexpr TKeyCode vkApps = 93;
inline constexpr TKeyCode vkF1 = 112;
inline constexpr TKeyCode vkF24 = 135;
// The punctuation keys of the main keyboard, named by their unshifted US symbols.
inline constexpr TKeyCode vkSemicolon = 186;
inline constexpr TKeyCode vkEqual = 187;
inline constexpr TKeyCode vkComma = 188;
inline constexpr TKeyCode vkMinus = 189;
inline constexpr TKeyCode vkPeriod = 190;
inline constexpr TKeyCode vkSlash = 191;
inline constexpr TKeyCode vkBackQuote = 192;
inline constexpr TKeyCode vkLeftBracket = 219;
inline constexpr TKeyCode vkBackslash = 220;
inline constexpr TKeyCode vkRightBracket = 221;
inline constexpr TKeyCode vkQuote = 222;

// One binding of the key map: a single key (SecondKey 0) or a two-key chord. Modifiers match exactly,
// so Ctrl+Enter is not Enter.
struct TEditKey
{
    TKeyCode FirstKey = vkNone;
    TKeyCode SecondKey = vkNone;
    TShiftState FirstShift = 0;
    TShiftState SecondShift = 0;
    TCommand CommandCode = cmdNone;

    bool operator==(const TEditKey&) const = default;
};

// The ordered list of bindings of one editor, plus an optional answer for chords the list does not
// know. Copying a map copies its entries in their order and its handler.
class TKeyboard
{
public:
    using TChordHandler = std::function<TCommand(TKeyCode firstKey, TShiftState firstShift,
                                                 TKeyCode secondKey, TShiftState secondShift)>;

    void AddKey(TCommand command, TKeyCode key, TShiftState shift);
    void AddChord(TCommand command, TKeyCode firstKey, TShiftState firstShift, TKeyCode secondKey,
                  TShiftState secondShift);
    // The chord twice: its second key pressed with Ctrl, then with no modifier.
    void AddCtrlChord(TCommand command, TKeyCode firstKey, TShiftState firstShift, TKeyCode secondKey);
    void ClearKeys();
    // Empties the map and fills it with the editor's standard bindings.
    void LoadDefaultKeyMap();

    // The command of the first entry whose first key and modifiers match: cmdChordPending when that
    // entry is a chord, cmdNone when nothing matches.
    TCommand FindCommand(TKeyCode key, TShiftState shift) const;
    // The command of the first chord entry matching all four; otherwise the handler's answer, or
    // cmdNone without a handler.
    TCommand FindChordCommand(TKeyCode firstKey, TShiftState firstShift, TKeyCode secondKey,
                              TShiftState secondShift) const;

    std::span<const TEditKey> Keys() const { return FKeys; }
    const TChordHandler& ChordHandler() const { return FChordHandler; }
    void SetChordHandler(TChordHandler handler) { FChordHandler = std::move(handler); }

private:
    std::vector<TEditKey> FKeys;
    TChordHandler FChordHandler;
};
