// Tests of the editor's key map: the standard bindings entry by entry, look-ups, chords and copying.
#include "EditorKeyboard.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A key stroke written as in a menu: "Ctrl+Shift+Left", "Enter", "Ctrl+3".
struct TStroke
{
    TKeyCode Key = vkNone;
    TShiftState Shift = 0;
};

TStroke ParseStroke(const std::string& text)
{
    static const std::map<std::string, TKeyCode> named = {
        {"Left", vkLeft}, {"Right", vkRight}, {"Up", vkUp}, {"Down", vkDown}, {"Home", vkHome},
        {"End", vkEnd}, {"PageUp", vkPrior}, {"PageDown", vkNext}, {"Insert", vkInsert},
        {"Delete", vkDelete}, {"Backspace", vkBack}, {"Enter", vkReturn}, {"Tab", vkTab},
        {"Space", vkSpace}};
    TStroke stroke;
    std::stringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '+')) {
        if (part == "Ctrl")
            stroke.Shift |= ssCtrl;
        else if (part == "Shift")
            stroke.Shift |= ssShift;
        else if (part == "Alt")
            stroke.Shift |= ssAlt;
        else if (part.size() == 1)
            stroke.Key = static_cast<TKeyCode>(part[0]);
        else
            stroke.Key = named.at(part);
    }
    return stroke;
}

// One binding of the standard map: a single key ("Ctrl+A") or a chord whose second key works with
// and without Ctrl ("Ctrl+K, T").
struct TBinding
{
    TCommand Command;
    std::string Keys;
};

std::vector<TBinding> StandardBindings()
{
    std::vector<TBinding> bindings = {
        {cmdLeft, "Left"}, {cmdRight, "Right"}, {cmdUp, "Up"}, {cmdDown, "Down"},
        {cmdSelLeft, "Shift+Left"}, {cmdSelRight, "Shift+Right"}, {cmdSelUp, "Shift+Up"},
        {cmdSelDown, "Shift+Down"},
        {cmdColumnSelLeft, "Alt+Shift+Left"}, {cmdColumnSelRight, "Alt+Shift+Right"},
        {cmdColumnSelUp, "Alt+Shift+Up"}, {cmdColumnSelDown, "Alt+Shift+Down"},
        {cmdWordLeft, "Ctrl+Left"}, {cmdWordRight, "Ctrl+Right"}, {cmdSelWordLeft, "Ctrl+Shift+Left"},
        {cmdSelWordRight, "Ctrl+Shift+Right"},
        {cmdLineStart, "Home"}, {cmdLineStart, "Ctrl+Q, S"}, {cmdSelLineStart, "Shift+Home"},
        {cmdLineEnd, "End"}, {cmdLineEnd, "Ctrl+Q, D"}, {cmdSelLineEnd, "Shift+End"},
        {cmdTextStart, "Ctrl+Home"}, {cmdTextStart, "Ctrl+Q, R"}, {cmdSelTextStart, "Ctrl+Shift+Home"},
        {cmdTextEnd, "Ctrl+End"}, {cmdTextEnd, "Ctrl+Q, C"}, {cmdSelTextEnd, "Ctrl+Shift+End"},
        {cmdWindowTop, "Ctrl+PageUp"}, {cmdWindowTop, "Ctrl+Q, E"}, {cmdWindowTop, "Ctrl+Q, T"},
        {cmdWindowBottom, "Ctrl+PageDown"}, {cmdWindowBottom, "Ctrl+Q, U"},
        {cmdPageUp, "PageUp"}, {cmdPageDown, "PageDown"}, {cmdSelPageUp, "Shift+PageUp"},
        {cmdSelPageDown, "Shift+PageDown"},
        {cmdScrollUp, "Ctrl+Up"}, {cmdScrollDown, "Ctrl+Down"},
        {cmdSelectAll, "Ctrl+A"}, {cmdSelectWord, "Ctrl+K, T"},
        {cmdToggleInsert, "Insert"}, {cmdNewLine, "Enter"}, {cmdNewLine, "Ctrl+N"},
        {cmdBackspace, "Backspace"}, {cmdBackspace, "Shift+Backspace"},
        {cmdDeleteWordLeft, "Ctrl+Backspace"}, {cmdDelete, "Delete"},
        {cmdDeleteSelection, "Ctrl+Delete"}, {cmdDeleteWord, "Ctrl+T"}, {cmdDeleteLine, "Ctrl+Y"},
        {cmdTab, "Tab"}, {cmdBackTab, "Shift+Tab"},
        {cmdCopy, "Ctrl+Insert"}, {cmdCopy, "Ctrl+C"}, {cmdCut, "Shift+Delete"}, {cmdCut, "Ctrl+X"},
        {cmdPaste, "Shift+Insert"}, {cmdPaste, "Ctrl+V"},
        {cmdUndo, "Ctrl+Z"}, {cmdUndo, "Alt+Backspace"},
        {cmdBlockNonInclusive, "Ctrl+O, K"}, {cmdBlockInclusive, "Ctrl+O, I"},
        {cmdBlockColumn, "Ctrl+O, C"}, {cmdBlockLine, "Ctrl+O, L"},
        {cmdUpperCase, "Ctrl+K, O"}, {cmdLowerCase, "Ctrl+K, N"}, {cmdToggleCase, "Ctrl+O, U"},
        {cmdIndentBlock, "Ctrl+K, I"}, {cmdIndentBlock, "Ctrl+Shift+I"},
        {cmdUnindentBlock, "Ctrl+K, U"}, {cmdUnindentBlock, "Ctrl+Shift+U"},
        {cmdCompleteIdentifier, "Ctrl+Space"}, {cmdCompleteTemplate, "Ctrl+J"},
        {cmdRecordMacro, "Ctrl+Shift+R"}, {cmdPlayMacro, "Ctrl+Shift+P"},
    };
    for (int n = 0; n <= 9; ++n) {
        const std::string digit(1, static_cast<char>('0' + n));
        bindings.push_back({static_cast<TCommand>(cmdSetBookmark0 + n), "Ctrl+Shift+" + digit});
        bindings.push_back({static_cast<TCommand>(cmdSetBookmark0 + n), "Ctrl+K, " + digit});
        bindings.push_back({static_cast<TCommand>(cmdGotoBookmark0 + n), "Ctrl+" + digit});
        bindings.push_back({static_cast<TCommand>(cmdGotoBookmark0 + n), "Ctrl+Q, " + digit});
    }
    return bindings;
}

// The entries a binding stands for: one for a single key, two for a chord.
std::vector<TEditKey> EntriesOf(const TBinding& binding)
{
    const auto comma = binding.Keys.find(", ");
    if (comma == std::string::npos) {
        const TStroke key = ParseStroke(binding.Keys);
        return {{key.Key, vkNone, key.Shift, 0, binding.Command}};
    }
    const TStroke first = ParseStroke(binding.Keys.substr(0, comma));
    const TStroke second = ParseStroke(binding.Keys.substr(comma + 2));
    return {{first.Key, second.Key, first.Shift, ssCtrl, binding.Command},
            {first.Key, second.Key, first.Shift, 0, binding.Command}};
}

auto Fields(const TEditKey& key)
{
    return std::tuple(key.FirstKey, key.FirstShift, key.SecondKey, key.SecondShift, key.CommandCode);
}

TEST(EditorKeyboard, DefaultMapHoldsExactlyTheStandardBindings)
{
    TKeyboard keyboard;
    keyboard.LoadDefaultKeyMap();

    std::multiset<decltype(Fields(TEditKey{}))> expected;
    int singles = 0;
    int chords = 0;
    for (const TBinding& binding : StandardBindings()) {
        for (const TEditKey& entry : EntriesOf(binding)) {
            expected.insert(Fields(entry));
            (entry.SecondKey == vkNone ? singles : chords) += 1;
        }
    }
    EXPECT_EQ(singles, 79);
    EXPECT_EQ(chords, 74);

    std::multiset<decltype(Fields(TEditKey{}))> actual;
    for (const TEditKey& entry : keyboard.Keys())
        actual.insert(Fields(entry));
    EXPECT_EQ(keyboard.Keys().size(), 153u);
    EXPECT_EQ(actual, expected);
}

TEST(EditorKeyboard, EveryStandardBindingIsFoundByLookUp)
{
    TKeyboard keyboard;
    keyboard.LoadDefaultKeyMap();
    for (const TBinding& binding : StandardBindings()) {
        SCOPED_TRACE(binding.Keys);
        for (const TEditKey& entry : EntriesOf(binding)) {
            if (entry.SecondKey == vkNone) {
                EXPECT_EQ(keyboard.FindCommand(entry.FirstKey, entry.FirstShift), binding.Command);
            } else {
                EXPECT_EQ(keyboard.FindCommand(entry.FirstKey, entry.FirstShift), cmdChordPending);
                EXPECT_EQ(keyboard.FindChordCommand(entry.FirstKey, entry.FirstShift, entry.SecondKey,
                                                    entry.SecondShift),
                          binding.Command);
            }
        }
    }
}

TEST(EditorKeyboard, NoTwoEntriesCompete)
{
    TKeyboard keyboard;
    keyboard.LoadDefaultKeyMap();
    std::set<std::pair<TKeyCode, TShiftState>> singles;
    std::set<std::pair<TKeyCode, TShiftState>> chordStarts;
    std::set<std::tuple<TKeyCode, TShiftState, TKeyCode, TShiftState>> chords;
    for (const TEditKey& entry : keyboard.Keys()) {
        if (entry.SecondKey == vkNone) {
            EXPECT_TRUE(singles.insert({entry.FirstKey, entry.FirstShift}).second);
        } else {
            chordStarts.insert({entry.FirstKey, entry.FirstShift});
            EXPECT_TRUE(
                chords.insert({entry.FirstKey, entry.FirstShift, entry.SecondKey, entry.SecondShift}).second);
        }
    }
    for (const auto& start : chordStarts)
        EXPECT_FALSE(singles.contains(start));
    EXPECT_EQ(chordStarts.size(), 3u); // Ctrl+K, Ctrl+Q, Ctrl+O
}

// Keys the main window keeps for itself, and near misses that differ only in their modifiers.
TEST(EditorKeyboard, KeysOutsideTheMapFindNothing)
{
    TKeyboard keyboard;
    keyboard.LoadDefaultKeyMap();
    const char* strokes[] = {"Ctrl+Enter", "Ctrl+Shift+Up", "Ctrl+Shift+Down", "Alt+Left", "Alt+Right",
                             "Ctrl+Tab", "Shift+Enter", "Alt+A", "Ctrl+Shift+A", "Shift+3", "3", "A",
                             "Ctrl+Alt+Left", "Ctrl+Shift+Tab", "Ctrl+Shift+Delete"};
    for (const char* text : strokes) {
        SCOPED_TRACE(text);
        const TStroke stroke = ParseStroke(text);
        EXPECT_EQ(keyboard.FindCommand(stroke.Key, stroke.Shift), cmdNone);
    }
    const TStroke k = ParseStroke("Ctrl+K");
    EXPECT_EQ(keyboard.FindChordCommand(k.Key, k.Shift, 'X', 0), cmdNone);
    EXPECT_EQ(keyboard.FindChordCommand(k.Key, k.Shift, 'T', ssShift), cmdNone);
    EXPECT_EQ(keyboard.FindChordCommand(k.Key, 0, 'T', 0), cmdNone);
}

TEST(EditorKeyboard, BuildingAndClearingByHand)
{
    TKeyboard keyboard;
    EXPECT_EQ(keyboard.FindCommand(vkLeft, 0), cmdNone);

    keyboard.AddKey(cmdRight, vkLeft, 0);
    keyboard.AddKey(cmdUp, vkLeft, 0); // shadowed: the first entry wins
    keyboard.AddCtrlChord(cmdCopy, 'W', ssAlt, 'E');
    keyboard.AddChord(cmdPaste, 'W', ssAlt, 'R', ssShift);
    ASSERT_EQ(keyboard.Keys().size(), 5u);
    EXPECT_EQ(keyboard.Keys()[2], (TEditKey{'W', 'E', ssAlt, ssCtrl, cmdCopy}));
    EXPECT_EQ(keyboard.Keys()[3], (TEditKey{'W', 'E', ssAlt, 0, cmdCopy}));

    EXPECT_EQ(keyboard.FindCommand(vkLeft, 0), cmdRight);
    EXPECT_EQ(keyboard.FindCommand('W', ssAlt), cmdChordPending);
    EXPECT_EQ(keyboard.FindChordCommand('W', ssAlt, 'R', ssShift), cmdPaste);
    EXPECT_EQ(keyboard.FindChordCommand('W', ssAlt, 'R', 0), cmdNone);

    keyboard.ClearKeys();
    EXPECT_TRUE(keyboard.Keys().empty());
    EXPECT_EQ(keyboard.FindCommand(vkLeft, 0), cmdNone);

    keyboard.AddKey(cmdCut, 'Q', ssCtrl);
    keyboard.LoadDefaultKeyMap();
    EXPECT_EQ(keyboard.Keys().size(), 153u);
    EXPECT_EQ(keyboard.FindCommand('Q', ssCtrl), cmdChordPending);
}

TEST(EditorKeyboard, UnknownChordsGoToTheHandler)
{
    TKeyboard keyboard;
    keyboard.LoadDefaultKeyMap();
    std::vector<std::tuple<TKeyCode, TShiftState, TKeyCode, TShiftState>> asked;
    keyboard.SetChordHandler([&](TKeyCode k1, TShiftState s1, TKeyCode k2, TShiftState s2) {
        asked.emplace_back(k1, s1, k2, s2);
        return cmdRedo;
    });
    EXPECT_EQ(keyboard.FindChordCommand('K', ssCtrl, 'T', 0), cmdSelectWord);
    EXPECT_EQ(keyboard.FindChordCommand('K', ssCtrl, 'X', ssShift), cmdRedo);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::tuple(TKeyCode('K'), ssCtrl, TKeyCode('X'), ssShift));
}

TEST(EditorKeyboard, CopyKeepsEntriesInOrderAndStaysIndependent)
{
    TKeyboard original;
    original.AddKey(cmdLeft, vkLeft, 0);
    original.AddCtrlChord(cmdSelectWord, 'K', ssCtrl, 'T');
    original.SetChordHandler([](TKeyCode, TShiftState, TKeyCode, TShiftState) { return cmdRedo; });

    TKeyboard copy = original;
    ASSERT_EQ(copy.Keys().size(), 3u);
    for (std::size_t i = 0; i < copy.Keys().size(); ++i)
        EXPECT_EQ(copy.Keys()[i], original.Keys()[i]);
    EXPECT_EQ(copy.FindChordCommand('K', ssCtrl, 'Z', 0), cmdRedo);

    copy.ClearKeys();
    EXPECT_EQ(original.Keys().size(), 3u);

    TKeyboard assigned;
    assigned.LoadDefaultKeyMap();
    assigned = original;
    EXPECT_EQ(assigned.Keys().size(), 3u);
}

} // namespace
