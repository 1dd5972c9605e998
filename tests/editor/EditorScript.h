// Helpers for editor interaction tests: a compact notation for text, caret and selection, and key
// scripts run through the editor's key-down and character entry points.
//
// Notation: lines joined by "\n"; '|' is the caret, '[' and ']' the selection's start and end fields
// (SelBegX/Y and SelEndX/Y as stored, so in a column block ']' stands on the last selected column);
// '·' is a cell past the end of a line, so "ab··|" is the line "ab" with the caret at column 4.
//
// Key scripts: tokens separated by blanks. A key is written like "Ctrl+Shift+Left", "Enter", "K",
// "Ctrl+3", optionally followed by "*n" to repeat it; a quoted token ('abc', blanks allowed inside)
// types its characters one by one as key presses would.
#pragma once

#include "TestEditor.h"

#include "EditorKeyboard.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct TNotation {
    QStringList Lines;
    QPoint Caret{0, 0};
    bool Selected = false;
    QPoint SelBeg;
    QPoint SelEnd;
};

inline TNotation ParseNotation(const QString& text)
{
    TNotation result;
    const QStringList rows = text.split(u'\n');
    bool hasBegin = false;
    bool hasEnd = false;
    for (int row = 0; row < rows.size(); ++row) {
        QString line;
        int column = 0;
        for (QChar c : rows[row]) {
            if (c == u'|') {
                result.Caret = QPoint(column, row);
            } else if (c == u'[') {
                result.SelBeg = QPoint(column, row);
                hasBegin = true;
            } else if (c == u']') {
                result.SelEnd = QPoint(column, row);
                hasEnd = true;
            } else if (c == u'·') {
                ++column;
            } else {
                line += c;
                ++column;
            }
        }
        result.Lines << line;
    }
    // An empty text is no lines at all, not one empty line.
    if (result.Lines == QStringList{QString()})
        result.Lines.clear();
    result.Selected = hasBegin && hasEnd;
    return result;
}

// The editor's text, caret and selection in the notation.
inline QString Describe(const TCustomEditor& editor)
{
    const TSelectionState& sel = editor.Selection();
    const int lines = std::max(editor.LineCount(), 1);
    QStringList rows;
    for (int row = 0; row < lines; ++row) {
        QString text;
        editor.GetLineText(row, text);
        // The markers standing at each column, in a fixed order so that equal states read equally.
        std::map<int, QString> marks;
        if (sel.Selected && sel.SelEndY == row)
            marks[sel.SelEndX] += u']';
        if (editor.CaretY() == row)
            marks[editor.CaretX()] += u'|';
        if (sel.Selected && sel.SelBegY == row)
            marks[sel.SelBegX] += u'[';
        QString out;
        int column = 0;
        for (const auto& [at, mark] : marks) {
            for (; column < at; ++column)
                out += column < text.size() ? text[column] : QChar(u'·');
            out += mark;
        }
        out += text.mid(std::min<qsizetype>(column, text.size()));
        rows << out;
    }
    return rows.join(u'\n');
}

// Loads a notation into the editor: lines, caret, and (when marked) a stream selection in the
// current format. The undo buffer is emptied and the event counters are reset.
inline void Load(TEditorHarness& h, const QString& notation)
{
    const TNotation n = ParseNotation(notation);
    h.Editor.Lines().Assign(n.Lines);
    h.Editor.SetCaret(n.Caret.x(), n.Caret.y());
    if (n.Selected)
        h.Editor.Select(h.Editor.SelBlockFormat(), n.SelBeg.x(), n.SelBeg.y(), n.SelEnd.x(), n.SelEnd.y());
    h.Editor.UndoBuffer().Clear();
    h.ResetCounts();
}

// Presses one key as the view would: key down, then the character it types, if any.
inline void Press(TCustomEditor& editor, TKeyCode key, TShiftState shift, char32_t character = 0)
{
    editor.KeyDown(key, shift);
    if (character != 0)
        editor.KeyPress(character);
}

// Types one character the way a key press delivers it.
inline void TypeChar(TCustomEditor& editor, char32_t c)
{
    TKeyCode key = vkNone;
    TShiftState shift = 0;
    if (c >= U'a' && c <= U'z') {
        key = static_cast<TKeyCode>(c - U'a' + U'A');
    } else if (c >= U'A' && c <= U'Z') {
        key = static_cast<TKeyCode>(c);
        shift = ssShift;
    } else if (c >= U'0' && c <= U'9') {
        key = static_cast<TKeyCode>(c);
    } else if (c == U' ') {
        key = vkSpace;
    }
    Press(editor, key, shift, c);
}

inline void TypeText(TCustomEditor& editor, const QString& text)
{
    for (const char32_t c : text.toUcs4())
        TypeChar(editor, c);
}

inline void RunKeys(TCustomEditor& editor, const QString& script)
{
    static const std::map<QString, TKeyCode> named = {
        {"Left", vkLeft}, {"Right", vkRight}, {"Up", vkUp}, {"Down", vkDown}, {"Home", vkHome},
        {"End", vkEnd}, {"PageUp", vkPrior}, {"PageDown", vkNext}, {"Insert", vkInsert},
        {"Delete", vkDelete}, {"Backspace", vkBack}, {"Enter", vkReturn}, {"Tab", vkTab},
        {"Escape", vkEscape}, {"Space", vkSpace}};
    qsizetype i = 0;
    while (i < script.size()) {
        if (script[i] == u' ') {
            ++i;
            continue;
        }
        if (script[i] == u'\'') {
            const qsizetype close = script.indexOf(u'\'', i + 1);
            if (close < 0)
                throw std::invalid_argument("unclosed quote in key script");
            TypeText(editor, script.mid(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        qsizetype end = script.indexOf(u' ', i);
        if (end < 0)
            end = script.size();
        QString token = script.mid(i, end - i);
        i = end;
        int repeat = 1;
        if (const qsizetype star = token.indexOf(u'*'); star > 0) {
            repeat = token.mid(star + 1).toInt();
            token.truncate(star);
        }
        TShiftState shift = 0;
        const QStringList parts = token.split(u'+');
        for (qsizetype p = 0; p + 1 < parts.size(); ++p) {
            if (parts[p] == QLatin1String("Ctrl"))
                shift |= ssCtrl;
            else if (parts[p] == QLatin1String("Shift"))
                shift |= ssShift;
            else if (parts[p] == QLatin1String("Alt"))
                shift |= ssAlt;
            else
                throw std::invalid_argument("unknown modifier in key script");
        }
        const QString name = parts.back();
        TKeyCode key = vkNone;
        char32_t character = 0;
        if (const auto it = named.find(name); it != named.end())
            key = it->second;
        else if (name.size() == 1)
            key = static_cast<TKeyCode>(name[0].toUpper().unicode());
        else
            throw std::invalid_argument("unknown key in key script: " + name.toStdString());
        // What the key types, as the view's translation gives it: nothing with Ctrl or Alt.
        if ((shift & (ssCtrl | ssAlt)) == 0) {
            if (key == vkReturn)
                character = U'\r';
            else if (key == vkSpace)
                character = U' ';
            else if (name.size() == 1)
                character = (shift & ssShift) != 0 ? name[0].toUpper().unicode() : name[0].toLower().unicode();
        }
        for (int n = 0; n < repeat; ++n)
            Press(editor, key, shift, character);
    }
}

// One scripted case: a text in the notation above, keys to run on it, and the text expected after.
struct TScriptCase {
    const char* Name;
    QString Initial;
    QString Keys;
    QString Expected;
    std::function<void(TEditorHarness&)> Setup = {};
};

// Runs each case on a fresh editor, after its set-up, and compares the outcome in the notation.
inline void RunScriptCases(const std::vector<TScriptCase>& cases)
{
    for (const TScriptCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEditorHarness h;
        if (c.Setup)
            c.Setup(h);
        Load(h, c.Initial);
        RunKeys(h.Editor, c.Keys);
        EXPECT_EQ(Describe(h.Editor), c.Expected);
    }
}
