// The editor base: caret, selection, view and painting frame, update batching, change notifications
// and the undo buffer with its base records. The line store and the text operations are in Editor.h.
#pragma once

#include "EditorPlatform.h"
#include "EditorTypes.h"

#include <QPoint>
#include <QRect>
#include <QString>

#include <cassert>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// How a painted cell shows a TAB that the text holds (one kept inside a quoted literal).
inline constexpr char16_t kTabMark = u'\u2192';

class TCustomEditorBase;

// The characters that end a word for word movement, word selection and double clicks.
bool IsWordSeparator(QChar ch);

// True when column lies between the two halves of a surrogate pair of text, which no operation
// splits: such a column counts as the one after the pair.
bool IsPairAt(const QString& text, int column);

// The ASCII digits and letters, the characters that continue a completion word.
bool IsAsciiLetterOrDigit(char32_t c);

// n / d rounded to the nearest integer, a half to the even neighbour; n >= 0, d > 0.
int RoundHalfEven(int n, int d);

// What a change of the text did. The values are the kinds a change is reported with since the first
// version of the editor; Appended is the transcript's way of writing (lines after the last one, no undo).
enum class TTextChangeKind : std::uint8_t {
    WholeText = 0,
    Insertion = 1,
    Deletion = 2,
    ColumnInsertion = 3,
    ColumnDeletion = 4,
    Replacement = 5,
    Appended = 6,
};

// One change of the text as it is reported after the store has changed: where it happened (for a
// typed character, the caret after it), the inserted or removed text, the first and last line it
// touched, and how many lines it added (above 0) or removed (below 0). Lines after the touched ones
// moved by LineDelta and are otherwise as they were.
struct TTextChange {
    TTextChangeKind Kind = TTextChangeKind::WholeText;
    int Column = 0;
    int Line = 0;
    QString Text;
    int LineDelta = 0;
    int LastLine = 0;
};

// A BeginUpdate / EndUpdate pair for a scope, on an editor or on its line store. Errors from the
// EndUpdate propagate, except while another error unwinds already: that one is the one to report.
template <class TTarget>
class TUpdateBatch {
public:
    explicit TUpdateBatch(TTarget& target) : FTarget(target), FUncaught(std::uncaught_exceptions())
    {
        FTarget.BeginUpdate();
    }
    ~TUpdateBatch() noexcept(false)
    {
        if (std::uncaught_exceptions() == FUncaught) {
            FTarget.EndUpdate();
            return;
        }
        try {
            FTarget.EndUpdate();
        } catch (...) {
        }
    }
    TUpdateBatch(const TUpdateBatch&) = delete;
    TUpdateBatch& operator=(const TUpdateBatch&) = delete;

private:
    TTarget& FTarget;
    int FUncaught;
};

// The class of an undo record, so that the undo command can take back a run of records of one kind.
enum class TUndoKind {
    Undo,
    Caret,
    Select,
    Unselect,
    BeginCompound,
    EndCompound,
    Insert,
    ReLine,
    InsertTab,
    InsertColumn,
    Delete,
    DeleteLine,
    UnindentColumn,
    DeleteTrail,
    Backspace,
    BackspaceUnindent,
    DeleteSelected,
    Overwrite,
    Replace,
};

// One step that the undo command can take back. Every record keeps its editor (which owns the buffer
// holding the record, so it outlives it), the editor's Modified flag as it was when the record was
// made, and a position: the caret's for caret records, where the text went or came from for text
// records. Records of selection changes also keep a snapshot of the whole selection state.
class TUndo {
public:
    TUndo(TCustomEditorBase& editor, int x, int y);
    virtual ~TUndo() = default;
    TUndo(const TUndo&) = delete;
    TUndo& operator=(const TUndo&) = delete;

    virtual TUndoKind Kind() const { return TUndoKind::Undo; }
    // Attached records go with whatever is undone next to them.
    virtual bool Attached() const { return false; }

    TCustomEditorBase& Editor() const { return *FEditor; }
    bool Modified() const { return FModified; }
    int X() const { return FX; }
    int Y() const { return FY; }
    const std::optional<TSelectionState>& Selection() const { return FSelection; }

protected:
    void KeepSelection();

private:
    TCustomEditorBase* FEditor;
    bool FModified;
    int FX;
    int FY;
    std::optional<TSelectionState> FSelection;
};

// The caret as it was before SetCaret moved it.
class TCaretUndo : public TUndo {
public:
    using TUndo::TUndo;
    TUndoKind Kind() const override { return TUndoKind::Caret; }
};

// The records of one editor in the order they were made, and the current one (-1: none). Pushing
// drops the records after the current one first, so an edit after an undo discards what was undone.
// While an undo runs nothing is pushed. There is no size limit.
class TUndoBuffer {
public:
    void Push(std::unique_ptr<TUndo> record);
    void Clear();
    // Drops every record after the current one.
    void DropAfterCurrent();

    int Count() const { return static_cast<int>(FRecords.size()); }
    int CurrentIndex() const { return FCurrent; }
    void SetCurrentIndex(int index)
    {
        assert(index >= -1 && index < Count());
        FCurrent = index;
    }
    TUndo* Current() const { return FCurrent >= 0 ? FRecords[FCurrent].get() : nullptr; }
    TUndo& Item(int index) const
    {
        assert(index >= 0 && index < Count());
        return *FRecords[index];
    }
    bool CanUndo() const { return FCurrent >= 0; }

    bool UndoRunning() const { return FUndoRunning; }
    void SetUndoRunning(bool running) { FUndoRunning = running; }

private:
    std::vector<std::unique_ptr<TUndo>> FRecords;
    int FCurrent = -1;
    bool FUndoRunning = false;
};

// Timer ids the editor starts through its platform.
constexpr int kAutoScrollTimer = 1;
constexpr int kCompletionTimer = 2;

// The part of the editor that knows no line store: caret, selection state, scroll position and cell
// metrics, update batching, notifications and events, the undo buffer, and painting the lines it
// reads through the store queries that TCustomEditor implements.
//
// The editor works without a window, but computes no metrics then; the window (TEditorPlatform) is
// attached with SetPlatform and must outlive the attachment. Every platform call goes through it.
class TCustomEditorBase {
public:
    using TNotifyEvent = std::function<void(TCustomEditorBase& sender)>;
    using TLineChangeEvent = std::function<void(TCustomEditorBase& sender, int line)>;
    using TOnPaintGutter = std::function<void(TCustomEditorBase& sender, IEditorCanvas& canvas)>;
    using TGetLineAttrEvent =
        std::function<void(TCustomEditorBase& sender, QString& line, int index, TLineAttrs& attrs)>;

    TCustomEditorBase();
    virtual ~TCustomEditorBase();
    TCustomEditorBase(const TCustomEditorBase&) = delete;
    TCustomEditorBase& operator=(const TCustomEditorBase&) = delete;

    // Attaches the window (null detaches it). Attaching does what creating the window does: the
    // read-only flag, UpdateMetrics and a full repaint.
    void SetPlatform(TEditorPlatform* platform);
    TEditorPlatform* Platform() const { return FPlatform; }

    // Batching: painting waits until the outermost EndUpdate, which refreshes metrics, status and
    // the whole client area. An EndUpdate without a BeginUpdate throws TEditorError.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    // Caret. SetCaret records the old caret for undo and notifies the status outside a batch;
    // PlaceCaret only clamps, scrolls the caret into view and notifies when it moved.
    int CaretX() const { return FCaretX; }
    int CaretY() const { return FCaretY; }
    void SetCaret(int column, int line);
    void SetCaretX(int column);
    void SetCaretY(int line);
    void PlaceCaret(int column, int line);

    // Offsets count every character and 2 for each line break.
    int PosToOffset(int column, int line) const;
    QPoint OffsetToPos(int offset) const;  // x = column, y = line; (-1, -1) outside the text
    int GetCaretOffset() const;
    void SetCaretOffset(int offset);
    void SetSelectionLength(int length);

    // Selection state.
    const TSelectionState& Selection() const { return FSel; }
    bool Selected() const { return FSel.Selected; }
    bool SelAnchored() const { return FSel.SelAnchored; }
    TSelBlockFormat SelBlockFormat() const { return FSel.SelBlockFormat; }
    // Switching the format keeps the real columns while bfLine is in force and puts them back after.
    void SetSelBlockFormat(TSelBlockFormat format);
    int SelBegX() const { return FSel.SelBegX; }
    int SelBegY() const { return FSel.SelBegY; }
    int SelEndX() const { return FSel.SelEndX; }
    int SelEndY() const { return FSel.SelEndY; }
    int AnchorX() const { return FSel.AnchorX; }
    int AnchorY() const { return FSel.AnchorY; }

    // View state and metrics.
    int CharWidth() const { return FCharWidth; }
    int LineHeight() const { return FLineHeight; }
    int LeftCol() const { return FLeftCol; }
    int TopRow() const { return FTopRow; }
    int VisibleCols() const { return FVisibleCols; }
    int VisibleRows() const { return FVisibleRows; }
    int LastVisibleCol() const { return FLastVisibleCol; }
    int LastVisibleRow() const { return FLastVisibleRow; }
    int RowCount() const { return FRowCount; }
    void ScrollTo(int column, int row);
    virtual void ScrollView(bool vertical, int position);
    virtual void UpdateMetrics();
    virtual void UpdateMetricsAndRepaint();

    // Notifications. NotifyChanged (OnChange, then the status) follows each change of the text once,
    // raised by the change itself; see TextChanged.
    virtual void NotifyChanged();
    virtual void NotifyStatus();
    virtual void NotifySelection() {}
    // After a change of the text. The base repaints the touched lines, or everything when lines came
    // or went; a highlighter also moves its line states with their lines and rescans.
    virtual void NotifyTextChanged(const TTextChange& change);

    // Store queries. FirstNonBlank is 1-based and length + 1 for a line of blanks.
    virtual int LineCount() const = 0;
    virtual int LineLength(int line) const = 0;
    // False and an empty text for a line that does not exist.
    virtual bool GetLineText(int line, QString& text) const = 0;
    // Units from..from + count - 1 of a line, cut at its end: what painting reads of a long line.
    virtual bool GetLineSlice(int line, int from, int count, QString& text) const;
    // The length of the longest line, which bounds the horizontal scroll range.
    virtual int LongestLineLength() const { return 0; }
    virtual int FirstNonBlank(int line) const;

    // Tab stops from TabStops; next: the first stop after the column, else the last one before it.
    virtual int GetTabStop(int column, bool next) const;
    // Hooks of the editing commands; these base versions use no neighbouring lines.
    virtual int GetSmartTabStop(int column, int line, bool next) const;
    virtual int GetBackspaceStop(int column, int line) const;
    virtual int GetAutoIndentColumn(int line) const;

    virtual void LinesChanged();
    virtual void PadLineToCaret() {}
    virtual void TextReset(bool dropSelection);
    virtual void LineInserted(int line);
    virtual void LineDeleted(int line);

    // Line attributes: GetLineAttrs sets the defaults (font colour, Color, font style, no frame),
    // then runs FillLineAttrs (a highlighter's hook), OnGetLineAttr and DecorateLineAttrs.
    virtual const TLineAttrs& GetLineAttrs(int line, int firstColumn, int lastColumn);
    virtual void FillLineAttrs(int /*line*/, int /*firstColumn*/, int /*lastColumn*/) {}
    virtual void DecorateLineAttrs(int line, int firstColumn, int lastColumn);
    virtual void ApplyBracketAttrs(int /*line*/) {}
    virtual void UpdateBracketMarks() {}

    // Painting: the platform hands over a canvas and the clip rectangle of its paint request.
    void Paint(IEditorCanvas& canvas, const QRect& clip);
    // Paints the cells of a line from fromColumn to toColumn; column ends one past the last cell.
    virtual void PaintLine(IEditorCanvas& canvas, int line, int fromColumn, int& column, int toColumn);

    // Entry points of the window. Keys and characters come translated by the view; what the
    // commands do comes with the key map.
    virtual void KeyDown(int /*key*/, TShiftState /*shift*/) {}
    virtual void KeyPress(char32_t /*character*/) {}
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoubleClick(TShiftState shift, int x, int y);
    // True: the wheel message was handled (it always is).
    virtual bool MouseWheel(TShiftState shift, int delta);
    virtual void FocusIn();
    virtual void FocusOut();
    virtual void Resized();
    virtual void TimerFired(int /*id*/) {}
    // The user moved a scroll bar (line, page or thumb): the view follows, the caret stays.
    virtual void ScrollBarMoved(bool vertical, int position);
    virtual void PostedCommand(int command);
    virtual void Command(int /*command*/) {}
    virtual void InsertChar(char32_t /*character*/) {}

    // Properties, with the defaults of a new editor.
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    bool InsertMode() const { return FInsertMode; }
    void SetInsertMode(bool value);
    bool CursorBeyondEOF() const { return FCursorBeyondEOF; }
    void SetCursorBeyondEOF(bool value) { FCursorBeyondEOF = value; }
    bool KeepTrailingBlanks() const { return FKeepTrailingBlanks; }
    void SetKeepTrailingBlanks(bool value) { FKeepTrailingBlanks = value; }
    // On: a TAB typed or inserted inside a quoted string or name stays a TAB, since it is data there;
    // elsewhere a TAB still becomes blanks. TABs already in the text are never expanded again.
    bool KeepLiteralTabs() const { return FKeepLiteralTabs; }
    void SetKeepLiteralTabs(bool value) { FKeepLiteralTabs = value; }
    const QString& TabStops() const { return FTabStops; }
    void SetTabStops(const QString& value);
    int GutterWidth() const { return FGutterWidth; }
    void SetGutterWidth(int value);
    TColor GutterColor() const { return FGutterColor; }
    void SetGutterColor(TColor value);
    bool RightMarginVisible() const { return FRightMarginVisible; }
    void SetRightMarginVisible(bool value);
    int RightMargin() const { return FRightMargin; }
    void SetRightMargin(int value);
    TColor RightMarginColor() const { return FRightMarginColor; }
    void SetRightMarginColor(TColor value);
    TColor SelForeColor() const { return FSelForeColor; }
    void SetSelForeColor(TColor value);
    TColor SelBackColor() const { return FSelBackColor; }
    void SetSelBackColor(TColor value);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    bool HideCaret() const { return FHideCaret; }
    void SetHideCaret(bool value);
    bool BeepOnError() const { return FBeepOnError; }
    void SetBeepOnError(bool value) { FBeepOnError = value; }
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    const TEditorFont& Font() const { return FFont; }
    void SetFont(const TEditorFont& value);

    bool Modified() const { return FModified; }
    void SetModified(bool value) { FModified = value; }
    int CompoundDepth() const { return FCompoundDepth; }

    TUndoBuffer& UndoBuffer() { return FUndoBuffer; }
    const TUndoBuffer& UndoBuffer() const { return FUndoBuffer; }

    // Events; each runs only when set.
    TNotifyEvent OnChange;
    TNotifyEvent OnChangeStatus;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnScroll;
    TLineChangeEvent OnLineInserted;
    TLineChangeEvent OnLineDeleted;
    TOnPaintGutter OnPaintGutter;
    TGetLineAttrEvent OnGetLineAttr;

protected:
    // Keeps the caret hidden while an operation runs; the outermost one shows it again.
    class TCaretHider {
    public:
        explicit TCaretHider(TCustomEditorBase& editor) : FEditor(editor) { FEditor.BeginCaretHide(); }
        ~TCaretHider() { FEditor.EndCaretHide(); }
        TCaretHider(const TCaretHider&) = delete;
        TCaretHider& operator=(const TCaretHider&) = delete;

    private:
        TCustomEditorBase& FEditor;
    };

    // Raises UpdateCount for a scope without the refresh of EndUpdate: the store operations change
    // lines one by one without a repaint each, and leave the refresh to the command around them.
    class TRaisedUpdate {
    public:
        explicit TRaisedUpdate(TCustomEditorBase& editor) : FEditor(editor) { ++FEditor.FUpdateCount; }
        ~TRaisedUpdate() { --FEditor.FUpdateCount; }
        TRaisedUpdate(const TRaisedUpdate&) = delete;
        TRaisedUpdate& operator=(const TRaisedUpdate&) = delete;

    private:
        TCustomEditorBase& FEditor;
    };

    // Holds the notification of changes of the text for a scope (a command, an undo), so that all it
    // changes raises one NotifyChanged, after it has placed the caret; the last hold to go raises it.
    class THeldChanges {
    public:
        explicit THeldChanges(TCustomEditorBase& editor) : FEditor(editor), FUncaught(std::uncaught_exceptions())
        {
            ++FEditor.FChangeHolds;
        }
        ~THeldChanges() noexcept(false)
        {
            // While an error unwinds, the held notification waits for the next hold to end.
            if (std::uncaught_exceptions() == FUncaught)
                Release();
            else if (!FReleased)
                --FEditor.FChangeHolds;
        }
        THeldChanges(const THeldChanges&) = delete;
        THeldChanges& operator=(const THeldChanges&) = delete;

        // Lets go before the scope ends.
        void Release()
        {
            if (FReleased)
                return;
            FReleased = true;
            --FEditor.FChangeHolds;
            FEditor.ReleaseChanged();
        }

    private:
        TCustomEditorBase& FEditor;
        int FUncaught;
        bool FReleased = false;
    };

    // A change of the text was made: NotifyChanged runs now, or, while notifications are held,
    // once the last hold lets go, so that a compound edit notifies once.
    void TextChanged();
    // Raises the notification that a held change left, once nothing holds it any more; whether it did.
    bool ReleaseChanged();
    // Whether notifications of changes wait: inside a compound group or a hold (and what a subclass
    // adds). A batch defers painting only: its changes notify as they are made.
    virtual bool ChangesHeld() const { return FCompoundDepth > 0 || FChangeHolds > 0; }
    // Whether a held change still waits for its notification.
    bool ChangePending() const { return FChangePending; }

    // Whether undo records are kept: not while an undo runs, and never in a read-only editor, whose
    // records could not be undone by the user anyway.
    bool RecordsUndo() const { return !FReadOnly && !FUndoBuffer.UndoRunning(); }
    template <class TRecord, class... TArgs>
    void PushUndo(TArgs&&... args)
    {
        if (RecordsUndo())
            FUndoBuffer.Push(std::make_unique<TRecord>(*this, std::forward<TArgs>(args)...));
    }
    // A record to hand to a change of the text; none when records are not kept.
    template <class TRecord, class... TArgs>
    std::unique_ptr<TUndo> MakeUndo(TArgs&&... args)
    {
        if (!RecordsUndo())
            return nullptr;
        return std::make_unique<TRecord>(*this, std::forward<TArgs>(args)...);
    }

    void BeginCaretHide();
    void EndCaretHide();
    void MoveSystemCaret();
    void InvalidateAll();
    void InvalidateLines(int firstLine, int lastLine);
    void UpdateScrollRanges();
    // The horizontal bar's range for a view whose first column is leftColumn.
    void SetHorizontalScrollRange(int leftColumn);
    // The text area: right of the gutter, the whole client height.
    int TextLeft() const { return FGutterWidth + 2; }
    int CellLeft(int column) const { return TextLeft() + 1 + (column - FLeftCol) * FCharWidth; }
    void RecomputeLastVisible();
    // A column of a line as an edge of the selection: one between the two halves of a surrogate pair
    // stands after the pair, as it does for copying and deleting the selection, so that what is
    // highlighted is what they take.
    int SelectionEdge(int line, int column) const;
    // Whether a selection of a stream or line format covers the line without ending on it.
    bool SelectionRunsPastLine(int line) const;

    TLineAttrs& LineAttrs() { return FLineAttrs; }

    TSelectionState FSel;
    int FCaretX = 0;
    int FCaretY = 0;
    int FCompoundDepth = 0;
    bool FModified = false;

private:
    void PaintGutter(IEditorCanvas& canvas);
    void PaintRightMargin(IEditorCanvas& canvas, int height);
    void ParseTabStops();

    TEditorPlatform* FPlatform = nullptr;
    int FUpdateCount = 0;
    int FChangeHolds = 0;
    bool FChangePending = false;
    int FCaretHideCount = 0;
    bool FCaretCreated = false;
    int FCaretHeight = 0;
    bool FFullRepaint = true;

    int FCharWidth = 0;
    int FLineHeight = 0;
    int FLeftCol = 0;
    int FTopRow = 0;
    int FVisibleCols = 0;
    int FVisibleRows = 0;
    int FLastVisibleCol = -1;
    int FLastVisibleRow = -1;
    int FRowCount = 1;

    bool FReadOnly = false;
    bool FInsertMode = true;
    bool FCursorBeyondEOF = false;
    bool FKeepTrailingBlanks = false;
    bool FKeepLiteralTabs = false;
    QString FTabStops = QStringLiteral("3 5");
    std::vector<int> FTabStopColumns;  // 0-based, ascending
    int FGutterWidth = 0;
    TColor FGutterColor = clBtnFace;
    bool FRightMarginVisible = true;
    int FRightMargin = 80;
    TColor FRightMarginColor = clSilver;
    TColor FSelForeColor = clHighlightText;
    TColor FSelBackColor = clHighlight;
    TScrollStyle FScrollBars = ssBoth;
    TBorderStyle FBorderStyle = bsSingle;
    bool FHideCaret = false;
    bool FBeepOnError = true;
    TColor FColor = clWindow;
    TEditorFont FFont;

    TUndoBuffer FUndoBuffer;
    TLineAttrs FLineAttrs;
};
