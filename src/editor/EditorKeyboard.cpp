// The editor's key map and its standard bindings.
#include "EditorKeyboard.h"

void TKeyboard::AddKey(TCommand command, TKeyCode key, TShiftState shift)
{
    FKeys.push_back({key, vkNone, shift, 0, command});
}

void TKeyboard::AddChord(TCommand command, TKeyCode firstKey, TShiftState firstShift, TKeyCode secondKey,
                         TShiftState secondShift)
{
    FKeys.push_back({firstKey, secondKey, firstShift, secondShift, command});
}

void TKeyboard::AddCtrlChord(TCommand command, TKeyCode firstKey, TShiftState firstShift, TKeyCode secondKey)
{
    AddChord(command, firstKey, firstShift, secondKey, ssCtrl);
    AddChord(command, firstKey, firstShift, secondKey, 0);
}

void TKeyboard::ClearKeys()
{
    FKeys.clear();
}

void TKeyboard::LoadDefaultKeyMap()
{
    constexpr TShiftState shiftAlt = ssShift | ssAlt;
    constexpr TShiftState ctrlShift = ssCtrl | ssShift;
    auto letter = [](char c) { return static_cast<TKeyCode>(c); };

    ClearKeys();
    FKeys.reserve(153);

    AddKey(cmdLeft, vkLeft, 0);
    AddKey(cmdRight, vkRight, 0);
    AddKey(cmdUp, vkUp, 0);
    AddKey(cmdDown, vkDown, 0);
    AddKey(cmdSelLeft, vkLeft, ssShift);
    AddKey(cmdSelRight, vkRight, ssShift);
    AddKey(cmdSelUp, vkUp, ssShift);
    AddKey(cmdSelDown, vkDown, ssShift);
    AddKey(cmdColumnSelLeft, vkLeft, shiftAlt);
    AddKey(cmdColumnSelRight, vkRight, shiftAlt);
    AddKey(cmdColumnSelUp, vkUp, shiftAlt);
    AddKey(cmdColumnSelDown, vkDown, shiftAlt);
    AddKey(cmdWordLeft, vkLeft, ssCtrl);
    AddKey(cmdWordRight, vkRight, ssCtrl);
    AddKey(cmdSelWordLeft, vkLeft, ctrlShift);
    AddKey(cmdSelWordRight, vkRight, ctrlShift);

    AddKey(cmdLineStart, vkHome, 0);
    AddCtrlChord(cmdLineStart, letter('Q'), ssCtrl, letter('S'));
    AddKey(cmdSelLineStart, vkHome, ssShift);
    AddKey(cmdLineEnd, vkEnd, 0);
    AddCtrlChord(cmdLineEnd, letter('Q'), ssCtrl, letter('D'));
    AddKey(cmdSelLineEnd, vkEnd, ssShift);
    AddKey(cmdTextStart, vkHome, ssCtrl);
    AddCtrlChord(cmdTextStart, letter('Q'), ssCtrl, letter('R'));
    AddKey(cmdSelTextStart, vkHome, ctrlShift);
    AddKey(cmdTextEnd, vkEnd, ssCtrl);
    AddCtrlChord(cmdTextEnd, letter('Q'), ssCtrl, letter('C'));
    AddKey(cmdSelTextEnd, vkEnd, ctrlShift);

    AddKey(cmdWindowTop, vkPrior, ssCtrl);
    AddCtrlChord(cmdWindowTop, letter('Q'), ssCtrl, letter('E'));
    AddCtrlChord(cmdWindowTop, letter('Q'), ssCtrl, letter('T'));
    AddKey(cmdWindowBottom, vkNext, ssCtrl);
    AddCtrlChord(cmdWindowBottom, letter('Q'), ssCtrl, letter('U'));

    AddKey(cmdPageUp, vkPrior, 0);
    AddKey(cmdPageDown, vkNext, 0);
    AddKey(cmdSelPageUp, vkPrior, ssShift);
    AddKey(cmdSelPageDown, vkNext, ssShift);
    AddKey(cmdScrollUp, vkUp, ssCtrl);
    AddKey(cmdScrollDown, vkDown, ssCtrl);

    AddKey(cmdSelectAll, letter('A'), ssCtrl);
    AddCtrlChord(cmdSelectWord, letter('K'), ssCtrl, letter('T'));

    AddKey(cmdToggleInsert, vkInsert, 0);
    AddKey(cmdNewLine, vkReturn, 0);
    AddKey(cmdNewLine, letter('N'), ssCtrl);

    AddKey(cmdBackspace, vkBack, 0);
    AddKey(cmdBackspace, vkBack, ssShift);
    AddKey(cmdDeleteWordLeft, vkBack, ssCtrl);
    AddKey(cmdDelete, vkDelete, 0);
    AddKey(cmdDeleteSelection, vkDelete, ssCtrl);
    AddKey(cmdDeleteWord, letter('T'), ssCtrl);
    AddKey(cmdDeleteLine, letter('Y'), ssCtrl);

    AddKey(cmdTab, vkTab, 0);
    AddKey(cmdBackTab, vkTab, ssShift);

    AddKey(cmdCopy, vkInsert, ssCtrl);
    AddKey(cmdCopy, letter('C'), ssCtrl);
    AddKey(cmdCut, vkDelete, ssShift);
    AddKey(cmdCut, letter('X'), ssCtrl);
    AddKey(cmdPaste, vkInsert, ssShift);
    AddKey(cmdPaste, letter('V'), ssCtrl);

    AddKey(cmdUndo, letter('Z'), ssCtrl);
    AddKey(cmdUndo, vkBack, ssAlt);

    for (int n = 0; n <= 9; ++n) {
        const auto digit = static_cast<TKeyCode>(vk0 + n);
        AddKey(static_cast<TCommand>(cmdSetBookmark0 + n), digit, ctrlShift);
        AddCtrlChord(static_cast<TCommand>(cmdSetBookmark0 + n), letter('K'), ssCtrl, digit);
    }
    for (int n = 0; n <= 9; ++n) {
        const auto digit = static_cast<TKeyCode>(vk0 + n);
        AddKey(static_cast<TCommand>(cmdGotoBookmark0 + n), digit, ssCtrl);
        AddCtrlChord(static_cast<TCommand>(cmdGotoBookmark0 + n), letter('Q'), ssCtrl, digit);
    }

    AddCtrlChord(cmdBlockNonInclusive, letter('O'), ssCtrl, letter('K'));
    AddCtrlChord(cmdBlockInclusive, letter('O'), ssCtrl, letter('I'));
    AddCtrlChord(cmdBlockColumn, letter('O'), ssCtrl, letter('C'));
    AddCtrlChord(cmdBlockLine, letter('O'), ssCtrl, letter('L'));

    AddCtrlChord(cmdUpperCase, letter('K'), ssCtrl, letter('O'));
    AddCtrlChord(cmdLowerCase, letter('K'), ssCtrl, letter('N'));
    AddCtrlChord(cmdToggleCase, letter('O'), ssCtrl, letter('U'));

    AddCtrlChord(cmdIndentBlock, letter('K'), ssCtrl, letter('I'));
    AddKey(cmdIndentBlock, letter('I'), ctrlShift);
    AddCtrlChord(cmdUnindentBlock, letter('K'), ssCtrl, letter('U'));
    AddKey(cmdUnindentBlock, letter('U'), ctrlShift);

    AddKey(cmdCompleteIdentifier, vkSpace, ssCtrl);
    AddKey(cmdCompleteTemplate, letter('J'), ssCtrl);

    AddKey(cmdRecordMacro, letter('R'), ctrlShift);
    AddKey(cmdPlayMacro, letter('P'), ctrlShift);
}

TCommand TKeyboard::FindCommand(TKeyCode key, TShiftState shift) const
{
    for (const TEditKey& entry : FKeys) {
        if (entry.FirstKey == key && entry.FirstShift == shift)
            return entry.SecondKey == vkNone ? entry.CommandCode : cmdChordPending;
    }
    return cmdNone;
}

TCommand TKeyboard::FindChordCommand(TKeyCode firstKey, TShiftState firstShift, TKeyCode secondKey,
                                     TShiftState secondShift) const
{
    for (const TEditKey& entry : FKeys) {
        if (entry.FirstKey == firstKey && entry.FirstShift == firstShift && entry.SecondKey == secondKey
            && entry.SecondShift == secondShift)
            return entry.CommandCode;
    }
    if (FChordHandler)
        return FChordHandler(firstKey, firstShift, secondKey, secondShift);
    return cmdNone;
}
