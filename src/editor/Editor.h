// The editor with its line store: TEditorStrings, the text operations of TCustomEditor, the undo
// records of text changes, the completion and bracket settings, and TEditor, the published editor.
#pragma once

#include "EditorCommon.h"
#include "EditorKeyboard.h"
#include "LineStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TCustomEditor;

// Cuts a text at its line breaks (CR LF, a lone CR or a lone LF): n breaks give n + 1 segments.
QStringList SplitAtLineBreaks(const QString& text);

// Text was inserted at (X, Y); undoing removes it again.
class TInsertUndo : public TCaretUndo {
public:
    TInsertUndo(TCustomEditorBase& editor, int x, int y, const QString& text)
        : TCaretUndo(editor, x, y), FText(text)
    {
    }
    TUndoKind Kind() const override { return TUndoKind::Insert; }
    const QString& Text() const { return FText; }

private:
    QString FText;
};

// What PadLineToCaret added so that the caret's place exists: a line break, or, where trailing blanks
// are kept, the blanks up to the caret. It goes with its neighbours.
class TReLineUndo : public TInsertUndo {
public:
    using TInsertUndo::TInsertUndo;
    TUndoKind Kind() const override { return TUndoKind::ReLine; }
    bool Attached() const override { return true; }
};

// Text was deleted at (X, Y); undoing inserts it there again.
class TDeleteUndo : public TInsertUndo {
public:
    using TInsertUndo::TInsertUndo;
    TUndoKind Kind() const override { return TUndoKind::Delete; }
};

// Trailing blanks cut when an item of the store was written; (X, Y) is where they stood.
class TDeleteTrailUndo : public TDeleteUndo {
public:
    using TDeleteUndo::TDeleteUndo;
    TUndoKind Kind() const override { return TUndoKind::DeleteTrail; }
    bool Attached() const override { return true; }
};

// The lines of an editor: a string list over a compact TLineStore, tied to its editor. Adding,
// inserting and loading expand tabs; writing an item cuts trailing blanks (recording them for undo);
// an item that holds a line break (CR LF, a lone CR or a lone LF) is the lines it separates, as in a
// whole text: no line of the store holds a CR or LF, which no edit and its undo could keep;
// every change outside the list's own update runs the editor's LinesChanged, and an update runs it
// once at its end. Reading an index outside the list throws TEditorError.
class TEditorStrings {
public:
    explicit TEditorStrings(TCustomEditor& editor);
    TEditorStrings(const TEditorStrings&) = delete;
    TEditorStrings& operator=(const TEditorStrings&) = delete;

    int Count() const { return FStore.Count(); }
    QString Get(int index) const;
    QString operator[](int index) const { return Get(index); }
    // The length of a line in UTF-16 units.
    int Length(int index) const;
    void Put(int index, const QString& text);
    int Add(const QString& text);
    void Insert(int index, const QString& text);
    void Delete(int index);
    void Clear();

    // Copies of the whole list. Assigning and adding a batch run inside the editor's BeginUpdate /
    // EndUpdate and empty its undo buffer; assigning also resets the text.
    QStringList ToStringList() const;
    void Assign(const QStringList& lines);
    void Assign(const TEditorStrings& source);
    void AddStrings(const QStringList& lines);

    // The whole text: each line followed by CR LF. Setting it splits at CR LF, lone CR and lone LF.
    QString Text() const;
    void SetText(const QString& text);

    // The line-list form (see LineList.h). Loading always runs LinesChanged once, leaves the undo
    // buffer alone, and tells the editor that the whole text changed.
    QString LineListText() const;
    void SetLineListText(const QString& text);

    void BeginUpdate();
    void EndUpdate();

    // Bytes the store holds, for measuring.
    std::size_t MemoryBytes() const { return FStore.MemoryBytes(); }
    // Makes room for this many lines in all, for an append whose size is known ahead; the text
    // does not change.
    void Reserve(int lines) { FStore.Reserve(lines); }

private:
    friend class TCustomEditor;

    void CheckIndex(int index, int count) const;
    void Changed();
    // Stores a line as it is: no tabs expanded, no blanks cut, no undo record. Only inside a change of
    // the text (TCustomEditor::ChangeText), which reports it.
    void StoreLine(int index, const QString& text);
    // Inserts text at a column of a line as it is; only inside a change.
    void InsertInLine(int index, int column, const QString& text);
    // Inserts lines as they are before index, or deletes count lines from index, moving the lines
    // below once; each line still fires its OnLineInserted / OnLineDeleted. Only inside a change.
    void InsertLines(int index, const QStringList& lines);
    void DeleteLines(int index, int count);
    void LoadLines(const QStringList& lines);

    TCustomEditor& FEditor;
    TLineStore FStore;
    int FUpdateCount = 0;
};

// Settings of the completion drop-down. Stored here; what they do comes with the editing commands.
class TCompletion {
public:
    enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
    using TOnCompletion = std::function<void(TCustomEditorBase& sender, bool& cancel)>;
    using TOnCompletionApply =
        std::function<void(TCustomEditorBase& sender, const QString& oldString, QString& newString)>;
    using TOnCompletionDrawItem = std::function<void(
        TCustomEditorBase& sender, IEditorCanvas& canvas, int index, const QRect& rect, bool selected)>;
    using TOnCompletionMeasureItem = std::function<void(TCustomEditorBase& sender, int index, int& height)>;

    QStringList Identifiers;
    QStringList Templates;
    bool Enabled = false;
    int Interval = 800;
    int DropDownCount = 6;
    int DropDownWidth = 300;
    int ItemHeight = 13;
    TListBoxStyle ListBoxStyle = lbStandard;
    QString CaretChar = QStringLiteral("|");
    QString CRLF = QStringLiteral("/n");
    QString Separator = QStringLiteral("=");

    TOnCompletion OnCompletionIdentifier;
    TOnCompletion OnCompletionTemplate;
    TOnCompletionDrawItem OnCompletionDrawItem;
    TOnCompletionMeasureItem OnCompletionMeasureItem;
    TOnCompletionApply OnCompletionApply;
};

// Settings of bracket highlighting, off by default; stored here, applied by the editing commands.
class TBracketHighlighting {
public:
    bool Active = false;
    TColor BorderColor = clGray;
    TColor Color = clNone;
    TColor FontColor = clNone;
    bool ShowBetweenHighlighting = false;
    bool CaseSensitiveWordPairs = false;
    QStringList WordPairs = {QStringLiteral("()"), QStringLiteral("[]"), QStringLiteral("{}")};
    QString StringChars = QStringLiteral("'\"");
    QString StringEscape = QStringLiteral("\\");
    QStringList CommentPairs = {QStringLiteral("/* */")};
};

// The editor over its line store: the store operations that every editing command rests on, and
// InsertText / ClearLines for the program. Store operations never split a surrogate pair: a column
// between its two halves counts as the column after the pair.
class TCustomEditor : public TCustomEditorBase {
public:
    TCustomEditor();
    ~TCustomEditor() override;

    TEditorStrings& Lines() { return *FLines; }
    const TEditorStrings& Lines() const { return *FLines; }

    // Inserts at the caret as one undoable step and puts the caret after the text; works on a
    // read-only editor too.
    void InsertText(const QString& text);
    // Removes every line in one step: no OnLineDeleted, no undo record. Like every load of a whole
    // text it empties the undo buffer and drops the selection, so that undo never applies the records
    // of an earlier text.
    void ClearLines();
    // Adds lines after the last one, in the form an edit gives them (tabs expanded, trailing blanks
    // cut unless KeepTrailingBlanks), with no undo record and without
    // touching the last line or the caret: the transcript's way of writing, whatever the lengths.
    // The appended lines are repainted (at the end of the batch inside one).
    void AppendLines(const QStringList& lines);
    // The same for lines given as UTF-8 bytes, the way a result arrives: line i is
    // bytes[lineEnds[i - 1] .. lineEnds[i]) (line 0 starts at 0), its break not included. The bytes
    // are stored as they are, without a string per line; an ill-formed sequence becomes U+FFFD.
    // A huge line may come in parts over several calls: lastGoesOn says that the last line is a
    // part, and firstContinues that the first line is the rest of the one before. The rest joins
    // that line only while it is still the last line and nothing else changed the text since;
    // otherwise it is a line of its own. Trailing blanks are cut when the line is complete.
    void AppendUtf8Lines(std::string_view bytes, std::span<const std::size_t> lineEnds, bool firstContinues = false,
        bool lastGoesOn = false);
    // The last line while it is a part whose rest is still to come (see AppendUtf8Lines); -1 otherwise.
    int LineGoingOn() const { return FLineGoingOn; }
    // A line's bytes as the store holds them (UTF-8), valid until the text next changes; empty for a
    // line that does not exist. Inline: walks over a million lines read them one by one.
    std::string_view LineBytes(int line) const
    {
        if (line < 0 || line >= FLines->Count())
            return {};
        return FLines->FStore.Bytes(line);
    }

    void InsertTextAt(int column, int line, const QString& text);
    // Removes from (firstColumn, firstLine) to lastColumn of lastLine, lastColumn included; -1 keeps
    // the whole last line, so that only the line breaks go.
    void DeleteTextRange(int firstColumn, int firstLine, int lastLine, int lastColumn);
    void InsertColumnText(int column, int line, const QString& text);
    void DeleteColumnText(int firstColumn, int firstLine, int lastLine, int lastColumn);
    // Writes a line as an edit does: tabs expanded, trailing blanks cut unless KeepTrailingBlanks.
    void WriteLine(int index, const QString& text);

    // The one way the text changes. Pushes the undo record (when one is given and records are kept),
    // runs the store change, and reports it through NotifyTextChanged: the lines it touched and the
    // number of lines it added or removed are measured here, so a command says only what kind of
    // change it makes, where, and with which text. Changes made inside another one (the store
    // operations a command uses) are reported as part of it, once, at its end. Then it raises
    // NotifyChanged, or leaves it to whatever holds notifications (a batch, a compound group, the
    // lines' own update, a command or an undo), so that no caller raises it by hand.
    void ChangeText(TTextChangeKind kind, int column, int line, const QString& text,
        std::unique_ptr<TUndo> undo, const std::function<void()>& apply);
    // Whether a change of the text is being made.
    bool ChangingText() const { return FChangeDepth > 0; }
    void PadLineToCaret() override;
    // Blanks up to a column of a line shorter than that, for a change that needs the column to exist;
    // where trailing blanks are kept they are recorded to go with that change on undo.
    void PadLineTo(int column, int line);
    // The form of a text that an edit stores again: TABs become blanks, unless KeepLiteralTabs is on,
    // when every TAB in it was kept on purpose and stays.
    QString ExpandTabs(const QString& text) const;
    // The form of a new text inserted at (column, line), its lines separated by LF (CR LF or a lone
    // CR also break): TABs become blanks, except with KeepLiteralTabs those inside quoted strings and
    // names, read from the top of the text through the insertion point and the inserted text.
    QString ExpandTabsAt(const QString& text, int column, int line) const;

    int LineCount() const override;
    int LineLength(int line) const override;
    bool GetLineText(int line, QString& text) const override;
    bool GetLineSlice(int line, int from, int count, QString& text) const override;
    int LongestLineLength() const override;

    TCompletion& Completion() { return FCompletion; }
    void SetCompletion(const TCompletion& value) { FCompletion = value; }
    TBracketHighlighting& BracketHighlighting() { return FBracketHighlighting; }
    void SetBracketHighlighting(const TBracketHighlighting& value) { FBracketHighlighting = value; }

    // ---- Undo (EditorUndo.cpp)

    // Takes back the newest step: a run of records of one kind, a whole compound group, and the
    // attached records beside them. Nothing while an undo runs or when nothing is left to undo.
    void Undo();
    // Forgets what was undone, so that it can no longer be got back; changes nothing else.
    void Redo();
    bool CanUndo() const;

    // ---- Keys, commands, mouse (EditorDispatch.cpp)

    // One step of a recorded macro: a command, or a character typed.
    struct TMacroStep {
        bool IsCharacter = false;
        char32_t Character = 0;
        TCommand Command = cmdNone;

        bool operator==(const TMacroStep&) const = default;
    };
    struct TBookmark {
        int X = 0;
        int Y = 0;
        bool Valid = false;
    };
    using TKeyEvent = std::function<void(TCustomEditorBase& sender, int& key, TShiftState shift)>;
    using TKeyPressEvent = std::function<void(TCustomEditorBase& sender, char32_t& character)>;
    using TMouseEvent =
        std::function<void(TCustomEditorBase& sender, TMouseButton button, TShiftState shift, int x, int y)>;
    using TOnGutterClick = std::function<void(TCustomEditorBase& sender, int line)>;

    TKeyboard& Keyboard() { return FKeyboard; }
    const TKeyboard& Keyboard() const { return FKeyboard; }
    bool ChordPending() const { return FChordPending; }
    // Whether the key, pressed now, completes the pending chord into a command of the key map.
    bool CompletesChord(int key, TShiftState shift) const;
    bool IgnoreKeyPress() const { return FIgnoreKeyPress; }

    // The key-down entry: completion keys, chords, the key map, then the command.
    void KeyDown(int key, TShiftState shift) override;
    // The character entry: drops the character that follows a command key, or any on a read-only
    // editor; else it is typed (and recorded when a macro is being recorded).
    void KeyPress(char32_t character) override;
    // The dispatcher: runs a command code, records it in a macro being recorded, and moves the caret
    // where the command leaves it. Codes without a meaning do nothing.
    void Command(int command) override;
    // The character step of the dispatcher: recorded like a command, typed unless read-only.
    void TypeCharacter(char32_t character);

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void DoubleClick(TShiftState shift, int x, int y) override;
    bool MouseWheel(TShiftState shift, int delta) override;
    void TimerFired(int id) override;
    // The cell under a point of the client area, as a mouse click picks it.
    QPoint CellAt(int x, int y) const;
    bool MouseSelecting() const { return FMouseSelecting; }
    // A middle click: the primary selection goes in at the cell (not on a read-only editor).
    void PastePrimarySelection(int column, int line);

    // Selection steps. SelectTo extends from the anchor, or anchors when none is held; Unselect
    // drops the selection; SetSelection sets one directly in the current format.
    void SelectTo(int column, int line);
    void Unselect();
    void SetSelection(int startColumn, int startLine, int endLine, int endColumn);
    void SelectWordAtCaret();
    bool DoubleClickLine() const { return FDoubleClickLine; }
    void SetDoubleClickLine(bool value) { FDoubleClickLine = value; }

    const TBookmark& Bookmark(int index) const;
    bool Recording() const { return FRecording; }
    const std::vector<TMacroStep>& Macro() const { return FMacro; }

    // The platform's standard edit requests. Copy, cut and paste are posted as commands (cut and
    // paste not on a read-only editor); clear deletes the selection unless read-only; undo runs at
    // once, on a read-only editor too. A selection range of 0 and -1 selects everything.
    void CopyRequest();
    void CutRequest();
    void PasteRequest();
    void ClearRequest();
    void UndoRequest();
    void SetSelectionRange(int start, int length);
    void GetSelectionRange(int& start, int& end) const;
    int TextLength() const;
    QString Text() const;

    // ---- Editing (EditorEditing.cpp)

    // Types a character at the caret: the selection goes first, insert or overwrite mode, CR is Enter
    // with auto-indent, other characters below 32 are ignored. A surrogate pair is one character.
    void InsertChar(char32_t character) override;
    int GetSmartTabStop(int column, int line, bool next) const override;
    int GetBackspaceStop(int column, int line) const override;
    int GetAutoIndentColumn(int line) const override;
    // Two blanks in or out at a column of every line from firstLine to lastLine.
    void IndentColumns(int column, int firstLine, int lastLine);
    void UnindentColumns(int column, int firstLine, int lastLine);

    // The selected text per format, lines joined by CR LF; empty (with a beep) when the selection's
    // lines no longer exist.
    QString SelectedText();
    // Puts the selected text on the clipboard as UTF-8, built once in one buffer whatever its size,
    // with the selection format beside it.
    void CopySelection();
    void DeleteSelection();
    void DeleteSelectedIfAny();
    // Pastes the clipboard at the caret, or over the selection, in the format the clipboard names.
    void PasteClipboard();
    // Pastes a text as the clipboard would hold it, with its block format (-1: none, a stream).
    void PasteText(QString text, int format);
    // Puts text in place of the selection (or at the caret) as one undo step and selects it.
    void ReplaceSelection(const QString& text);

    bool SmartTab() const { return FSmartTab; }
    void SetSmartTab(bool value) { FSmartTab = value; }
    bool BackSpaceUnindents() const { return FBackSpaceUnindents; }
    void SetBackSpaceUnindents(bool value) { FBackSpaceUnindents = value; }
    bool AutoIndent() const { return FAutoIndent; }
    void SetAutoIndent(bool value) { FAutoIndent = value; }

    // ---- Completion (EditorCompletion.cpp)

    bool CompletionOpen() const;
    void OpenCompletion(bool templates);
    // Closes the drop-down, applying its current entry when asked to.
    void CloseCompletion(bool apply);
    // An open identifier list whose entries the owner gives (OnCompletionIdentifier) asks for them
    // again and shows what it gets in the same place, closing when nothing is left: so the list
    // follows typing, and fills in when the owner learns more names. Nothing when no list is open.
    void RefreshCompletion();
    // A character that goes on with the word being completed: ASCII letters and digits, "_", "$",
    // and letters and digits beyond ASCII (names are written in any script).
    static bool ContinuesCompletionWord(char32_t character);

    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnDblClick;
    TOnGutterClick OnGutterClick;
    TOnGutterClick OnGutterDblClick;

    // The end of a text inserted at (column, line), by the rule of InsertText: only LF counts.
    static QPoint TextEnd(int column, int line, const QString& text);

protected:
    // Every TAB of a text as blanks.
    QString ExpandAllTabs(const QString& text) const;
    // ExpandTabsAt with KeepLiteralTabs on; an editor that knows no quoting expands every TAB.
    virtual QString ExpandTabsOutsideLiterals(const QString& text, int column, int line) const;
    // ExpandTabsAt over lines that go in as whole lines from `line` on.
    QStringList ExpandTabsInLines(const QStringList& lines, int line) const;
    // The form a line takes when an edit writes it.
    QString EditedLine(const QString& text) const;
    // The same for a line of UTF-8 bytes; `scratch` holds the result when it differs from the line.
    // A part of a line (whole false) keeps its trailing blanks: the rest may follow them.
    std::string_view EditedLine(std::string_view line, std::string& scratch, bool whole = true) const;
    // Moves a column that falls between the halves of a surrogate pair to after the pair.
    static int SnapColumn(const QString& text, int column);
    // The word around a column of a line, with one blank appended to the line: (start, end), end
    // excluded; a single character when the column is on separators.
    static std::optional<std::pair<int, int>> WordAt(const QString& line, int column);

    // A compound undo group for a scope.
    class TCompoundGroup {
    public:
        explicit TCompoundGroup(TCustomEditor& editor);
        ~TCompoundGroup();
        TCompoundGroup(const TCompoundGroup&) = delete;
        TCompoundGroup& operator=(const TCompoundGroup&) = delete;

    private:
        TCustomEditor& FEditor;
    };

protected:
    bool ChangesHeld() const override;

private:
    friend class TEditorStrings;

    // Lines first..last of the store were written, inserted or removed inside the change being made.
    void Touched(int first, int last);
    // The change that appends lines after the last one (or from the last one on, when it grows):
    // `store` adds them to the store.
    void AppendToStore(const std::function<void()>& store, bool lastGrows = false);

    std::unique_ptr<TEditorStrings> FLines;
    int FChangeDepth = 0;
    int FChangeFirst = 0;
    int FChangeLast = 0;
    int FChangeLinesBefore = 0;
    // The last line, when it was appended as a part whose rest is still to come; -1 otherwise.
    int FLineGoingOn = -1;
    // The index of the begin mark of each compound group still open, innermost last.
    std::vector<int> FOpenGroups;
    TCompletion FCompletion;
    TBracketHighlighting FBracketHighlighting;
    static TKeyboard DefaultKeyboard();
    bool RunCommand(TCommand command, int& x, int& y);
    bool RunEditingCommand(TCommand command, int& x, int& y);
    int StepColumn(int line, int column, int step) const;
    void MoveToLineOrTextEdge(TCommand command, int& x, int& y);
    void ScrollByPage(int direction);
    bool WordLeft(TCommand command, int& x, int& y);
    bool WordRight(TCommand command, int& x, int& y);
    void AnchorFirst();
    // Selects columns start..end - 1 of a line as a word, in the current format.
    void SelectWordRange(int start, int end, int line);
    void InvalidateSelectedLines();
    void SelectLineAtCaret();
    void BeginCompound();
    void EndCompound();
    void PlayMacro();
    void ToggleBookmark(int index);
    void GotoBookmark(int index, int& x, int& y);
    void InvalidateGutter();
    void StopAutoScroll();
    // A selection the mouse made becomes the primary selection.
    void OfferPrimarySelection();
    void UndoCurrentRun();

    void NewLine();
    void Backspace(int& x, int& y);
    void DeleteAtCaret(int& x, int& y);
    void DeleteLine();
    void DeleteWord();
    void Tab(bool next, int& x, int& y);
    void IndentBlock(bool indent);
    void ConvertCase(TCommand command);
    bool SelectionLinesExist() const;
    // The selected text as the store's bytes (see TLineStore::Bytes), lines joined by CR LF.
    QByteArray SelectionBytes();
    // The selection as a copy puts it on the clipboard: UTF-8 with every lone surrogate replaced.
    QByteArray SelectionClipboardBytes();

    QString CompletionEntryName(const QString& entry) const;
    QString CompletionEntryText(const QString& entry) const;
    std::pair<int, int> CompletionWordRange() const;
    QString CompletionWord() const;
    int CompletionMatch(const QString& word) const;
    bool CompletionKeyDown(int key, TShiftState shift);
    void CompletionCharacter(char32_t character);
    void CompletionTimerFired();
    void ApplyCompletion(const QString& entry);
    void ShowCompletionEntries(const QString& word);

    TKeyboard FKeyboard = DefaultKeyboard();
    bool FChordPending = false;
    bool FIgnoreKeyPress = false;
    TKeyCode FChordKey = vkNone;
    TShiftState FChordShift = 0;
    // Cleared by a selection step or a text change: the command then ends with PlaceCaret.
    bool FMoveWithUndo = true;
    bool FMouseSelecting = false;
    bool FDoubleClicked = false;
    bool FAutoScrolling = false;
    QPoint FMousePos;
    bool FDoubleClickLine = false;
    std::array<TBookmark, 10> FBookmarks{};
    bool FRecording = false;
    bool FPlayingMacro = false;
    std::vector<TMacroStep> FRecordedMacro;
    std::vector<TMacroStep> FMacro;
    bool FSmartTab = true;
    bool FBackSpaceUnindents = true;
    bool FAutoIndent = true;
    QStringList FCompletionEntries;
    bool FCompletionTemplates = false;
    QRect FCompletionCell; // where the open list stands
    // Lives as long as the editor: a primary selection offer the clipboard keeps after the editor is
    // gone finds it expired and serves nothing.
    std::shared_ptr<TCustomEditor*> FPrimaryOwner = std::make_shared<TCustomEditor*>(this);
    void AppendLinesThrough(int line);
};

// The editor the panes use (through the highlighting editor that derives from it).
class TEditor : public TCustomEditor {
public:
    TEditor() = default;
};
