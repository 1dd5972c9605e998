// The highlighting editor of the console panes: colour classes, the colouring of a line by its SQL
// tokens, the per-line states that carry a block comment into the lines below, and the console scheme.
#pragma once

#include "Editor.h"
#include "HLParser.h"

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>
#include <QStringView>

// The colours and style of one class of tokens.
struct TSymbolColor {
    TFontStyles Style = 0;
    TColor ForeColor = clWindowText;
    TColor BackColor = clWindow;

    bool operator==(const TSymbolColor&) const = default;
};

// The colour classes of a highlighting editor. Copying a TColors copies every class.
struct TColors {
    TSymbolColor Comment{fsItalic, clOlive, clWindow};
    TSymbolColor Number{0, clNavy, clWindow};
    TSymbolColor Strings{0, clPurple, clWindow};
    TSymbolColor Symbol{0, clBlue, clWindow};
    TSymbolColor Reserved{fsBold, clWindowText, clWindow};
    TSymbolColor Identifier;
    TSymbolColor Preproc{0, clGreen, clWindow};
    TSymbolColor FunctionCall;
    TSymbolColor Declaration;
    TSymbolColor Statement{fsBold, clWindowText, clWindow};
    TSymbolColor PlainText;

    bool operator==(const TColors&) const = default;
};

// The language whose rules colour the text. Only hlSql has rules here; the others between hlPascal
// and hlCSharp paint as plain text, and hlSyntaxHighlighter hands every line to a TEditorHighlighter.
enum THighlighter : std::uint8_t {
    hlNone = 0,
    hlPascal = 1,
    hlCBuilder = 2,
    hlSql = 3,
    hlPython = 4,
    hlJava = 5,
    hlJScript = 6,
    hlVB = 7,
    hlHtml = 8,
    hlPerl = 9,
    hlIni = 10,
    hlCocoR = 11,
    hlPhp = 12,
    hlNQC = 13,
    hlCSharp = 14,
    hlSyntaxHighlighter = 15,
};

// What a line inherits from the lines above it.
using TLongTokenType = std::uint8_t;
constexpr TLongTokenType ltNone = 0;
// Inside a block comment opened on an earlier line.
constexpr TLongTokenType ltBlockComment = 2;
// On a line that continues a "#" line ending in a backslash.
constexpr TLongTokenType ltContinuation = 6;
// Not known; computed again before the line is coloured.
constexpr TLongTokenType ltUndetermined = 255;

class THLEditor;

// A highlighter supplied from outside, used by the editors that select it (hlSyntaxHighlighter).
// Destroying it makes every editor still using it drop it, which selects hlNone there.
class TEditorHighlighter {
public:
    TEditorHighlighter() = default;
    virtual ~TEditorHighlighter();
    TEditorHighlighter(const TEditorHighlighter&) = delete;
    TEditorHighlighter& operator=(const TEditorHighlighter&) = delete;

    // Colours the cells of a line that begins in `state`: cell c (1-based) is column c; the cells of
    // the painted columns exist (others are dropped) and hold the editor's defaults.
    virtual void ColorLine(THLEditor& editor, QStringView line, int index, TLongTokenType state,
        TLineAttrs& attrs) = 0;
    // The state at the start of the next line.
    virtual TLongTokenType NextLineState(QStringView line, TLongTokenType state) = 0;
    // Whether a change of the text can change any line's state. Changes that add or remove lines
    // are rescanned whatever the answer.
    virtual bool NeedsRescan(const TTextChange& change) = 0;

private:
    friend class THLEditor;

    std::vector<THLEditor*> FEditors;
};

// The editor with syntax colouring. Painting a line needs only that line and its state in
// LineStates, the state at the start of every line; a change rescans the states only when its text
// can open or close a block comment, and then at most 5000 lines, leaving the lines beyond marked
// undetermined until they are painted, when the walk goes on from the last line whose state is known.
class THLEditor : public TEditor {
public:
    using TOnReservedWord = std::function<void(THLEditor& sender, const QString& token, bool& reserved)>;

    // Rescans walk at most this many lines past their first line.
    static constexpr int RescanLineLimit = 5000;
    // LineStates grows in steps of this many entries.
    static constexpr int LineStatesGrowth = 65536;
    // Colouring reads a line's tokens up to this column at most; the columns past it take the class
    // of the token that runs across it (a transcript line stays a comment to its end).
    static constexpr int ColorBound = 4096;
    // How far past the last painted column tokens are read, longer than any keyword.
    static constexpr int TokenLookAhead = 64;

    THLEditor();
    ~THLEditor() override;

    // Selecting a language selects its scanner style, rescans and repaints.
    THighlighter Highlighter() const { return FHighlighter; }
    void SetHighlighter(THighlighter value);

    // The classes may be changed in place (as the console does with the comment style); that does
    // not repaint, nor does SetColors.
    TColors& Colors() { return FColors; }
    const TColors& Colors() const { return FColors; }
    void SetColors(const TColors& value) { FColors = value; }

    // Switching highlighting or LongTokens back on rescans the whole text, since no change was
    // rescanned while either was off.
    bool SyntaxHighlighting() const { return FSyntaxHighlighting; }
    void SetSyntaxHighlighting(bool value);
    // Off: every line starts in state 0, so a block comment colours only the rest of its own line.
    bool LongTokens() const { return FLongTokens; }
    void SetLongTokens(bool value);

    // Setting a highlighter selects hlSyntaxHighlighter; clearing it while that is selected
    // selects hlNone. The highlighter must outlive the setting or detach itself by being destroyed.
    TEditorHighlighter* SyntaxHighlighter() const { return FSyntaxHighlighter; }
    void SetSyntaxHighlighter(TEditorHighlighter* value);

    // Decides which tokens are keywords in place of the SQL keyword set.
    TOnReservedWord OnReservedWord;
    // Asks OnReservedWord about a token (reserved is false on entry); false when no handler is set.
    virtual bool AskReservedWord(const QString& token, bool& reserved);
    virtual bool HasReservedWordHandler() const;

    // The state at the start of each line; the array is longer than the text and never shrinks.
    const std::vector<TLongTokenType>& LineStates() const { return FLineStates; }
    // Recomputes states from line `from` (-1: the whole text); true when an entry changed.
    bool RescanLineStates(int from);
    // The state at the start of a line, computed first when it is undetermined or not yet known.
    TLongTokenType LineStateOf(int line);
    // The 1-based column where the construct carried into the line being coloured ends: for a block
    // comment the "/" of its first "*/", otherwise (or without one) the line's length.
    int LongTokenEnd() const;

    // Takes over the source's language, colour classes, selection, background and margin colours and
    // the highlighting switch, then rescans and repaints.
    void Assign(const THLEditor& source);

    void FillLineAttrs(int line, int firstColumn, int lastColumn) override;
    void NotifyTextChanged(const TTextChange& change) override;

protected:
    // Reads the text as the server does, from the top through the insertion point and the inserted
    // text: a TAB inside a quoted string or a backquoted name stays, any other becomes blanks.
    QString ExpandTabsOutsideLiterals(const QString& text, int column, int line) const override;

    // The line being coloured, its index and its state at its start.
    const QString& CurrentLine() const { return FCurrentLine; }
    int CurrentLineIndex() const { return FCurrentLineIndex; }
    TLongTokenType CurrentLineState() const { return FCurrentLineState; }

private:
    friend class TEditorHighlighter;

    void SelectScannerStyle();
    bool KeepsLineStates() const;
    // The state after a line of the text that starts in `state`.
    TLongTokenType StateAfterLine(int line, TLongTokenType state);
    bool IsTrigger(const QString& text) const;
    // Whether lines first..last, which a change altered without adding or removing lines, now end
    // in another state than the one the line after them starts in.
    bool CarriesOtherState(int first, int last);
    // Lines were added (delta > 0) or removed after line `first`: the states of the lines below
    // move with their lines.
    void MoveLineStates(int first, int delta);
    // Walks lines appended after the last one from the state the line before them ends in; with
    // firstGrew, the first of them is the old last line, grown, whose own state still holds.
    void ScanAppendedLines(int first, int count, bool firstGrew = false);
    const TSymbolColor& TokenClass(const QString& token);
    void FillCells(TLineAttrs& attrs, int first, int last, const TSymbolColor& color) const;
    void FillLine(TLineAttrs& attrs, int length, const TSymbolColor& color) const;
    void ColorTokens(TLineAttrs& attrs, qsizetype from);

    TIParser FParser;
    THighlighter FHighlighter = hlPascal;
    TColors FColors;
    bool FLongTokens = true;
    bool FSyntaxHighlighting = true;
    TEditorHighlighter* FSyntaxHighlighter = nullptr;
    std::vector<TLongTokenType> FLineStates;
    // Where the last AppendLines ended: the line after it, the length of its last line, and the
    // state after that line. Any other change of the text forgets it.
    struct TAppendEnd {
        int Line = -1;
        int Length = 0;
        TLongTokenType State = ltNone;
    };
    TAppendEnd FAppendEnd;
    QString FCurrentLine;  // the line being coloured, up to the columns that colouring reads
    int FCurrentLineLength = 0;  // its whole length
    int FCurrentLineIndex = -1;
    TLongTokenType FCurrentLineState = ltNone;
};

// Gives an editor the colours of the console panes: yellow, white and red tokens on navy, comments
// silver (italic, as a pane starts; the console's set-up makes them upright), selections in the
// system highlight colours and a silver right margin.
void ApplyConsoleColorScheme(THLEditor& editor);
