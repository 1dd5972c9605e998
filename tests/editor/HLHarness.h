// The highlighting editor of the panes on a fake window, and the checks that its line states and
// selection never drift from what the text says.
#pragma once

#include "EditorScript.h"
#include "FakePlatform.h"
#include "HLEditor.h"

#include <gtest/gtest.h>

#include <vector>

// A highlighting editor with the panes' settings on a fake window.
struct THLHarness {
    THLHarness()
    {
        Platform.Client = QSize(400, 200);
        Editor.SetHighlighter(hlSql);
        Editor.SetGutterWidth(25);
        Editor.SetTabStops(QStringLiteral("8 16"));
        Editor.SetPlatform(&Platform);
    }
    ~THLHarness() { Editor.SetPlatform(nullptr); }

    void Load(const QString& notation, TSelBlockFormat format)
    {
        const TNotation n = ParseNotation(notation);
        Editor.Lines().Assign(n.Lines);
        Editor.SetSelBlockFormat(format);
        Editor.SetCaret(n.Caret.x(), n.Caret.y());
        if (n.Selected) {
            Editor.SelectTo(n.SelBeg.x(), n.SelBeg.y());
            Editor.SelectTo(n.SelEnd.x(), n.SelEnd.y());
        }
        Editor.UndoBuffer().Clear();
    }

    TFakePlatform Platform;
    THLEditor Editor;
};

// The states a fresh editor computes for the same text, walking it whole.
inline std::vector<TLongTokenType> RescannedStates(const THLEditor& editor)
{
    THLEditor fresh;
    fresh.SetHighlighter(hlSql);
    fresh.Lines().Assign(editor.Lines().ToStringList());
    std::vector<TLongTokenType> states;
    for (int line = 0; line < fresh.LineCount(); ++line)
        states.push_back(fresh.LineStateOf(line));
    return states;
}

// Every known entry of the editor's line states equals the full rescan; an undetermined one is
// computed before it is used, so it cannot show a wrong colour.
inline ::testing::AssertionResult StatesMatchRescan(const THLEditor& editor)
{
    const std::vector<TLongTokenType> expected = RescannedStates(editor);
    const std::vector<TLongTokenType>& states = editor.LineStates();
    for (std::size_t line = 0; line < expected.size(); ++line) {
        const int actual = line < states.size() ? states[line] : ltUndetermined;
        if (actual != ltUndetermined && actual != expected[line])
            return ::testing::AssertionFailure()
                << "line " << line << " has state " << actual << ", a rescan gives " << int(expected[line]);
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult SelectionIsValid(const TCustomEditor& editor)
{
    if (!editor.Selected())
        return ::testing::AssertionSuccess();
    const TSelectionState& s = editor.Selection();
    const bool valid = s.SelBegX >= 0 && s.SelBegY >= 0 && s.SelEndX >= 0 && s.SelEndY >= s.SelBegY
        && s.SelEndY < editor.LineCount() && s.SelEndX <= kMaxColumn
        && (s.SelBegY < s.SelEndY || s.SelBegX <= s.SelEndX);
    if (valid)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "selection (" << s.SelBegX << ", " << s.SelBegY << ") to ("
                                         << s.SelEndX << ", " << s.SelEndY << ")";
}

