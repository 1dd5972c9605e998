// The command dispatcher and what drives it: key strokes and chords through the key map, typed
// characters, the mouse, macros, bookmarks, movement and selection, and the platform's standard edit
// requests.
#include "Editor.h"
#include "EditorUndo.h"

#include <algorithm>
#include <cassert>

namespace {

// A mouse this many pixels or more outside the client area auto-scrolls a page a tick, nearer one line.
constexpr int kAutoScrollPageDistance = 20;
// Milliseconds between two auto-scroll ticks.
constexpr int kAutoScrollInterval = 100;
// The bookmark slots 0 to 9.
constexpr int kBookmarkCount = 10;

// How far the auto-scroll moves per tick, by how far the mouse is outside the client area.
int AutoScrollStep(int y, int clientHeight, int visibleRows)
{
    if (y < -kAutoScrollPageDistance)
        return -visibleRows;
    if (y < 0)
        return -1;
    if (y > clientHeight + kAutoScrollPageDistance)
        return visibleRows;
    return 1;
}

} // namespace

TCustomEditor::TCompoundGroup::TCompoundGroup(TCustomEditor& editor) : FEditor(editor)
{
    FEditor.BeginCompound();
}

TCustomEditor::TCompoundGroup::~TCompoundGroup()
{
    FEditor.EndCompound();
}

TKeyboard TCustomEditor::DefaultKeyboard()
{
    TKeyboard keyboard;
    keyboard.LoadDefaultKeyMap();
    return keyboard;
}

std::optional<std::pair<int, int>> TCustomEditor::WordAt(const QString& line, int column)
{
    const QString text = line + u' ';
    const int size = static_cast<int>(text.size());
    if (column < 0 || column >= size)
        return std::nullopt;
    int start = column;
    if (column > 0 && IsWordSeparator(text[column]))
        start = IsWordSeparator(text[column - 1]) ? column + 1 : column - 1;
    while (start > 0 && !IsWordSeparator(text[start - 1]))
        --start;
    int end = column;
    while (end < size && !IsWordSeparator(text[end]))
        ++end;
    if (start < end)
        return std::pair(start, end);
    return std::pair(column, IsPairAt(text, column + 1) ? column + 2 : column + 1);
}

int TCustomEditor::StepColumn(int line, int column, int step) const
{
    QString text;
    GetLineText(line, text);
    int target = column + step;
    if (IsPairAt(text, target))
        target += step;
    return target;
}

// ---- Keys and characters

void TCustomEditor::KeyDown(int key, TShiftState shift)
{
    TCaretHider hider(*this);
    if (CompletionOpen()) {
        if (CompletionKeyDown(key, shift)) {
            FIgnoreKeyPress = true;
            return;
        }
    } else if (Platform() != nullptr) {
        Platform()->StopTimer(kCompletionTimer);
    }
    if ((shift & ssShift) == 0 && !FMouseSelecting)
        FSel.SelAnchored = false;

    TCommand code = cmdNone;
    if (FChordPending) {
        FIgnoreKeyPress = true;
        FChordPending = false;
        code = FKeyboard.FindChordCommand(FChordKey, FChordShift, static_cast<TKeyCode>(key), shift);
    } else {
        if (OnKeyDown)
            OnKeyDown(*this, key, shift);
        FChordKey = static_cast<TKeyCode>(key);
        FChordShift = shift;
        code = FKeyboard.FindCommand(FChordKey, shift);
        if (code == cmdChordPending)
            FIgnoreKeyPress = FChordPending = true;
        else
            FIgnoreKeyPress = code != cmdNone;
    }
    if (code != cmdNone && code != cmdChordPending)
        Command(code);
    if (code == cmdBackspace)
        CompletionCharacter(U'\b');
}

bool TCustomEditor::CompletesChord(int key, TShiftState shift) const
{
    return FChordPending
        && FKeyboard.FindChordCommand(FChordKey, FChordShift, static_cast<TKeyCode>(key), shift) != cmdNone;
}

void TCustomEditor::KeyPress(char32_t character)
{
    if (FIgnoreKeyPress || ReadOnly()) {
        FIgnoreKeyPress = false;
        return;
    }
    TCaretHider hider(*this);
    if (OnKeyPress)
        OnKeyPress(*this, character);
    TypeCharacter(character);
}

void TCustomEditor::TypeCharacter(char32_t character)
{
    if (FRecording && CompoundDepth() == 0)
        FRecordedMacro.push_back({true, character, cmdNone});
    if (ReadOnly())
        return;
    TCaretHider hider(*this);
    THeldChanges held(*this);
    InsertChar(character);
}

// ---- The dispatcher

void TCustomEditor::Command(int command)
{
    if (command < 0 || command > 0xFFFF)
        return;
    const auto code = static_cast<TCommand>(command);
    if (FRecording && code != cmdRecordMacro && code != cmdBeginCompound && CompoundDepth() == 0) {
        // A played macro is recorded as the steps it plays, so that a recorded macro never plays itself.
        if (code == cmdPlayMacro)
            FRecordedMacro.insert(FRecordedMacro.end(), FMacro.begin(), FMacro.end());
        else
            FRecordedMacro.push_back({false, U'\0', code});
    }
    TCaretHider hider(*this);
    // What the command changes notifies once, where the command has left the caret.
    THeldChanges held(*this);
    const bool outerMove = FMoveWithUndo;
    FMoveWithUndo = true;
    struct TRestore {
        bool& Flag;
        bool Value;
        ~TRestore() { Flag = Value; }
    } restore{FMoveWithUndo, outerMove};

    int x = FCaretX;
    int y = FCaretY;
    if (RunCommand(code, x, y))
        return;
    // Clamped here rather than by PlaceCaret, so that a move against an edge leaves no undo record.
    x = std::clamp(x, 0, kMaxColumn);
    y = std::max(y, 0);
    if (!CursorBeyondEOF())
        y = std::min(y, std::max(LineCount() - 1, 0));
    if (FMoveWithUndo)
        SetCaret(x, y);
    else
        PlaceCaret(x, y);
}

bool TCustomEditor::RunCommand(TCommand command, int& x, int& y)
{
    const bool readOnly = ReadOnly();
    switch (command) {
    case cmdLeft:
    case cmdRight:
        x = StepColumn(y, x, command == cmdLeft ? -1 : 1);
        Unselect();
        return false;
    case cmdSelLeft:
    case cmdSelRight:
        AnchorFirst();
        x = StepColumn(y, x, command == cmdSelLeft ? -1 : 1);
        SelectTo(x, y);
        return false;
    case cmdUp:
        --y;
        Unselect();
        return false;
    case cmdDown:
        if (y < RowCount() - 1 || CursorBeyondEOF())
            ++y;
        Unselect();
        return false;
    case cmdSelUp:
        AnchorFirst();
        --y;
        SelectTo(x, y);
        return false;
    case cmdSelDown:
        AnchorFirst();
        if (y < RowCount() - 1 || CursorBeyondEOF())
            ++y;
        SelectTo(x, y);
        return false;
    case cmdColumnSelLeft:
    case cmdColumnSelUp:
    case cmdColumnSelRight:
    case cmdColumnSelDown:
        SetSelBlockFormat(bfColumn);
        return RunCommand(static_cast<TCommand>(cmdSelLeft + (command - cmdColumnSelLeft)), x, y);
    case cmdWordLeft:
    case cmdSelWordLeft:
    case cmdDeleteWordLeft:
        return WordLeft(command, x, y);
    case cmdWordRight:
    case cmdSelWordRight:
        return WordRight(command, x, y);
    case cmdSelectWord:
        if (!FSel.Selected) {
            QString text;
            GetLineText(y, text);
            if (const auto word = WordAt(text, x)) {
                SelectWordRange(word->first, word->second, y);
                x = word->second;
            }
        }
        return false;
    case cmdWindowTop:
        y = TopRow();
        return false;
    case cmdWindowBottom:
        y = TopRow() + VisibleRows() - 1;
        return false;
    case cmdPageUp:
    case cmdPageDown: {
        const int direction = command == cmdPageUp ? -1 : 1;
        ScrollByPage(direction);
        y += direction * VisibleRows();
        Unselect();
        return false;
    }
    case cmdSelPageUp:
    case cmdSelPageDown: {
        TUpdateBatch batch(*this);
        const int direction = command == cmdSelPageUp ? -1 : 1;
        SelectTo(x, y);
        ScrollByPage(direction);
        y += direction * VisibleRows();
        if (direction > 0)
            y = std::min(y, LineCount() - 1);
        SelectTo(x, y);
        return false;
    }
    case cmdLineStart:
    case cmdLineEnd:
    case cmdTextStart:
    case cmdTextEnd:
        MoveToLineOrTextEdge(command, x, y);
        Unselect();
        return false;
    case cmdSelLineStart:
    case cmdSelLineEnd:
    case cmdSelTextStart:
    case cmdSelTextEnd:
        AnchorFirst();
        MoveToLineOrTextEdge(static_cast<TCommand>(cmdLineStart + (command - cmdSelLineStart)), x, y);
        SelectTo(x, y);
        return false;
    case cmdSelectAll:
        SetSelection(0, 0, LineCount() - 1, kMaxColumn);
        return true;
    case cmdScrollUp:
    case cmdScrollDown:
        if (command == cmdScrollUp)
            ScrollTo(LeftCol(), TopRow() - 1);
        else if (!(y == LineCount() - 1 && TopRow() == y))
            ScrollTo(LeftCol(), TopRow() + 1);
        y = std::min(std::max(y, TopRow()), std::max(LastVisibleRow(), TopRow()));
        return false;
    case cmdBlockInclusive:
        SetSelBlockFormat(bfInclusive);
        return true;
    case cmdBlockLine:
        SetSelBlockFormat(bfLine);
        return true;
    case cmdBlockColumn:
        SetSelBlockFormat(bfColumn);
        return true;
    case cmdBlockNonInclusive:
        SetSelBlockFormat(bfNonInclusive);
        return true;
    case cmdNewLine:
        if (!readOnly) {
            InsertChar(U'\r');
            return true;
        }
        if (y < LineCount() - 1) {
            ++y;
            if (LineLength(y) > 0)
                x = std::min(x, FirstNonBlank(y) - 1);
        }
        return false;
    case cmdToggleInsert:
        SetInsertMode(!InsertMode());
        return false;
    case cmdUndo:
        if (!readOnly)
            Undo();
        return true;
    case cmdRedo:
        if (!readOnly)
            Redo();
        return true;
    case cmdBeginCompound:
        BeginCompound();
        return false;
    case cmdEndCompound:
        EndCompound();
        return false;
    case cmdBeginUpdate:
        BeginUpdate();
        return false;
    case cmdEndUpdate:
        EndUpdate();
        return false;
    case cmdCompleteIdentifier:
    case cmdCompleteTemplate:
        if (!readOnly)
            OpenCompletion(command == cmdCompleteTemplate);
        return true;
    case cmdRecordMacro:
        if (FRecording)
            FMacro = std::move(FRecordedMacro);
        FRecordedMacro.clear();
        FRecording = !FRecording;
        NotifyStatus();
        return false;
    case cmdPlayMacro:
        PlayMacro();
        return true;
    default:
        break;
    }
    if (command >= cmdSetBookmark0 && command <= cmdSetBookmark9) {
        ToggleBookmark(command - cmdSetBookmark0);
        return false;
    }
    if (command >= cmdGotoBookmark0 && command <= cmdGotoBookmark9) {
        GotoBookmark(command - cmdGotoBookmark0, x, y);
        return false;
    }
    return RunEditingCommand(command, x, y);
}

void TCustomEditor::MoveToLineOrTextEdge(TCommand command, int& x, int& y)
{
    switch (command) {
    case cmdLineStart:
        x = 0;
        break;
    case cmdLineEnd:
        x = LineLength(y);
        break;
    case cmdTextStart:
        x = y = 0;
        ScrollTo(0, 0);
        break;
    case cmdTextEnd:
        y = LineCount() - 1;
        if (LineCount() > 0) {
            x = LineLength(y);
            ScrollTo(x - VisibleCols(), y - VisibleRows() / 2);
        }
        break;
    default:
        break;
    }
}

void TCustomEditor::ScrollByPage(int direction)
{
    const int rangeMax = std::max(1, RowCount() + VisibleRows() - 2);
    const int topMax = std::max(0, rangeMax - VisibleRows() + 1);
    ScrollTo(LeftCol(), std::clamp(TopRow() + direction * VisibleRows(), 0, topMax));
}

bool TCustomEditor::WordLeft(TCommand command, int& x, int& y)
{
    if (y >= LineCount())
        return true;
    QString text;
    GetLineText(y, text);
    const int length = static_cast<int>(text.size());
    if (x > length) {
        x = length;
        SelectTo(x, y);
        return false;
    }
    const int caretColumn = x;
    int i = x - 1;
    while (i >= 0 && IsWordSeparator(text[i]))
        --i;
    while (i >= 0 && !IsWordSeparator(text[i]))
        --i;
    x = i + 1;
    if (command != cmdDeleteWordLeft && x == 0 && y > 0) {
        const bool startsWithWord = length > 0 && !IsWordSeparator(text[0]);
        if (caretColumn == 0 || !startsWithWord) {
            --y;
            x = LineLength(y);
        }
    }
    if (command == cmdSelWordLeft) {
        AnchorFirst();
        SelectTo(x, y);
        return false;
    }
    Unselect();
    if (command == cmdDeleteWordLeft && x != caretColumn && !ReadOnly()) {
        {
            TCompoundGroup group(*this);
            // The word goes as the stream it is, whatever the format: a line or column format, or an
            // inclusive end, would widen what is deleted (see DeleteWord).
            PushUndo<TSelectUndo>(FCaretX, FCaretY);
            const TSelBlockFormat format = FSel.SelBlockFormat;
            FSel.SelBlockFormat = bfNonInclusive;
            SetSelection(x, y, y, caretColumn);
            DeleteSelection();
            FSel.SelBlockFormat = format;
        }
        PadLineToCaret();
        x = FCaretX;
        y = FCaretY;
    }
    return false;
}

bool TCustomEditor::WordRight(TCommand command, int& x, int& y)
{
    const int count = LineCount();
    if (y >= count) {
        if (count == 0)
            return true;
        y = count - 1;
        x = LineLength(y);
    }
    QString text;
    GetLineText(y, text);
    const int length = static_cast<int>(text.size());
    if (x < length) {
        int i = x;
        while (i < length && !IsWordSeparator(text[i]))
            ++i;
        while (i < length && IsWordSeparator(text[i]))
            ++i;
        x = i;
    } else if (y < count - 1) {
        ++y;
        GetLineText(y, text);
        x = 0;
        while (x < text.size() && IsWordSeparator(text[x]))
            ++x;
    }
    if (command == cmdSelWordRight) {
        AnchorFirst();
        SelectTo(x, y);
    } else {
        Unselect();
    }
    return false;
}

// ---- Selection steps

void TCustomEditor::AnchorFirst()
{
    if (!FSel.Selected)
        SelectTo(FCaretX, FCaretY);
}

void TCustomEditor::SelectTo(int column, int line)
{
    PushUndo<TSelectUndo>(FCaretX, FCaretY);
    FMoveWithUndo = false;
    column = std::max(column, 0);
    line = std::max(line, 0);
    const int count = LineCount();
    const TSelBlockFormat format = FSel.SelBlockFormat;
    const bool stream = format == bfInclusive || format == bfNonInclusive;
    if (line >= count) {
        line = std::max(count - 1, 0);
        if (stream)
            column = LineLength(line);
    }
    if (stream && line < count)
        column = std::min(column, LineLength(line));
    column = std::min(column, kMaxColumn);

    const TSelectionState old = FSel;
    // An anchor left on a line that has gone since (a played macro holds no key-downs to drop it)
    // comes back to the text.
    if (FSel.SelAnchored && FSel.AnchorY >= count) {
        FSel.AnchorY = std::max(count - 1, 0);
        if (stream)
            FSel.AnchorX = std::min(FSel.AnchorX, LineLength(FSel.AnchorY));
    }
    if (FSel.SelAnchored) {
        const bool anchorFirst =
            FSel.AnchorY < line || (FSel.AnchorY == line && FSel.AnchorX <= column);
        int begX = anchorFirst ? FSel.AnchorX : column;
        int begY = anchorFirst ? FSel.AnchorY : line;
        int endX = anchorFirst ? column : FSel.AnchorX;
        int endY = anchorFirst ? line : FSel.AnchorY;
        if (format == bfColumn) {
            begX = std::min(FSel.AnchorX, column);
            endX = std::max(FSel.AnchorX, column);
        }
        FSel.Selected = count > 0 && (begY < endY || (begY == endY && begX < endX));
        if (format == bfLine) {
            FSel.LineModeBegX = begX;
            FSel.LineModeEndX = endX;
            begX = 0;
            endX = kMaxColumn;
        }
        FSel.SelBegX = begX;
        FSel.SelBegY = begY;
        FSel.SelEndX = endX;
        FSel.SelEndY = endY;
    } else {
        FSel.AnchorX = column;
        FSel.AnchorY = line;
        FSel.SelBegX = FSel.SelEndX = column;
        FSel.SelBegY = FSel.SelEndY = line;
        FSel.LineModeBegX = FSel.LineModeEndX = column;
        FSel.Selected = false;
        FSel.SelAnchored = true;
    }
    if (CompoundDepth() == 0) {
        const int first = std::min({old.SelBegY, FSel.SelBegY, old.SelEndY, FSel.SelEndY});
        const int last = std::max({old.SelBegY, FSel.SelBegY, old.SelEndY, FSel.SelEndY});
        if (old.Selected || FSel.Selected)
            InvalidateLines(first, last);
        NotifySelection();
        if (OnSelectionChange)
            OnSelectionChange(*this);
    }
}

void TCustomEditor::Unselect()
{
    if (!FSel.Selected)
        return;
    // The record keeps the selection as it was, so that undoing brings it back.
    PushUndo<TUnselectUndo>(FCaretX, FCaretY);
    FMoveWithUndo = false;
    FSel.Selected = false;
    FSel.SelAnchored = false;
    InvalidateLines(FSel.SelBegY, FSel.SelEndY);
}

void TCustomEditor::SetSelection(int startColumn, int startLine, int endLine, int endColumn)
{
    PushUndo<TSelectUndo>(FCaretX, FCaretY);
    FMoveWithUndo = false;
    if (FSel.Selected)
        InvalidateSelectedLines();
    FSel.Selected = false;
    FSel.SelAnchored = false;
    startColumn = std::max(startColumn, 0);
    startLine = std::max(startLine, 0);
    if (endLine < startLine || startLine >= LineCount())
        return;
    endLine = std::min(endLine, LineCount() - 1);
    endColumn = std::min(endColumn, kMaxColumn);
    FSel.Selected = startLine != endLine || startColumn != endColumn;
    FSel.LineModeBegX = startColumn;
    FSel.LineModeEndX = endColumn;
    if (FSel.SelBlockFormat == bfLine) {
        startColumn = 0;
        endColumn = kMaxColumn;
    }
    FSel.SelBegX = startColumn;
    FSel.SelBegY = startLine;
    FSel.SelEndX = endColumn;
    FSel.SelEndY = endLine;
    if (CompoundDepth() == 0)
        InvalidateSelectedLines();
}

void TCustomEditor::InvalidateSelectedLines()
{
    if (FSel.Selected)
        InvalidateLines(FSel.SelBegY, FSel.SelEndY);
}

void TCustomEditor::SelectWordAtCaret()
{
    QString text;
    GetLineText(FCaretY, text);
    const int length = static_cast<int>(text.size());
    int contentEnd = length;
    while (contentEnd > 0 && text[contentEnd - 1] == u' ')
        --contentEnd;
    if (contentEnd == 0)
        return;
    TCaretHider hider(*this);
    int column = FCaretX;
    if (column < contentEnd) {
        while (column < length && text[column].unicode() <= 32)
            ++column;
    } else {
        column = contentEnd - 1;
        if (column > 0 && text[column].isLowSurrogate())
            --column;
    }
    if (const auto word = WordAt(text, column)) {
        SelectWordRange(word->first, word->second, FCaretY);
        SetCaret(word->second, FCaretY);
    }
}

void TCustomEditor::SelectWordRange(int start, int end, int line)
{
    // The inclusive and column formats hold the last selected column, the others the one after it.
    const bool holdsLast = FSel.SelBlockFormat == bfInclusive || FSel.SelBlockFormat == bfColumn;
    FSel.SelAnchored = false;
    SelectTo(start, line);
    SelectTo(holdsLast ? end - 1 : end, line);
}

void TCustomEditor::SelectLineAtCaret()
{
    TCaretHider hider(*this);
    const int line = FCaretY;
    FSel.SelAnchored = false;
    SelectTo(0, line);
    if (line + 1 < LineCount()) {
        SelectTo(0, line + 1);
        SetCaret(0, line + 1);
    } else {
        SelectTo(LineLength(line), line);
        SetCaret(LineLength(line), line);
    }
}

// ---- Compound groups, macros and bookmarks

void TCustomEditor::BeginCompound()
{
    ++FCompoundDepth;
    PushUndo<TBeginCompoundUndo>(FCaretX, FCaretY);
    FOpenGroups.push_back(UndoBuffer().CurrentIndex());
}

void TCustomEditor::EndCompound()
{
    assert(FCompoundDepth > 0 && !FOpenGroups.empty() && "EndCompound without BeginCompound");
    PushUndo<TEndCompoundUndo>(FCaretX, FCaretY);
    if (FCompoundDepth > 0)
        --FCompoundDepth;
    if (!FOpenGroups.empty())
        FOpenGroups.pop_back();
    // The group's changes notify once, at its end.
    ReleaseChanged();
}

void TCustomEditor::PlayMacro()
{
    // A macro that reached its own playing (by a command posted or typed from a handler) stops there.
    if (FPlayingMacro)
        return;
    FPlayingMacro = true;
    struct TReset {
        bool& Flag;
        ~TReset() { Flag = false; }
    } reset{FPlayingMacro};
    const std::vector<TMacroStep> steps = FMacro;
    TUpdateBatch batch(*this);
    TCompoundGroup group(*this);
    for (const TMacroStep& step : steps) {
        if (step.IsCharacter)
            TypeCharacter(step.Character);
        else
            Command(step.Command);
    }
}

const TCustomEditor::TBookmark& TCustomEditor::Bookmark(int index) const
{
    assert(index >= 0 && index < kBookmarkCount);
    return FBookmarks[static_cast<std::size_t>(index)];
}

void TCustomEditor::ToggleBookmark(int index)
{
    assert(index >= 0 && index < kBookmarkCount);
    TBookmark& bookmark = FBookmarks[static_cast<std::size_t>(index)];
    if (bookmark.Valid && bookmark.Y == FCaretY)
        bookmark.Valid = false;
    else
        bookmark = {FCaretX, FCaretY, true};
    InvalidateGutter();
}

void TCustomEditor::GotoBookmark(int index, int& x, int& y)
{
    assert(index >= 0 && index < kBookmarkCount);
    const TBookmark& bookmark = FBookmarks[static_cast<std::size_t>(index)];
    if (bookmark.Valid) {
        int row = TopRow();
        int column = LeftCol();
        if (bookmark.Y < TopRow() || bookmark.Y > LastVisibleRow())
            row = bookmark.Y - VisibleRows() / 2;
        if (bookmark.X < LeftCol() || bookmark.X > LastVisibleCol())
            column = bookmark.X - VisibleCols() / 2;
        ScrollTo(column, row);
        x = bookmark.X;
        y = bookmark.Y;
    }
    InvalidateGutter();
}

void TCustomEditor::InvalidateGutter()
{
    if (Platform() != nullptr)
        Platform()->Invalidate(QRect(0, 0, GutterWidth(), Platform()->ClientSize().height()));
}

// ---- The mouse

QPoint TCustomEditor::CellAt(int x, int y) const
{
    int column = LeftCol();
    if (CharWidth() > 0)
        column += RoundHalfEven(std::max(0, x - GutterWidth() - 2), CharWidth());
    column = std::max(0, std::min(column, LastVisibleCol()));
    int row = TopRow();
    if (LineHeight() > 0 && y > 0)
        row += y / LineHeight();
    if (!CursorBeyondEOF())
        row = std::min(row, std::max(LineCount() - 1, 0));
    return QPoint(column, row);
}

void TCustomEditor::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (FDoubleClicked) {
        FDoubleClicked = false;
        return;
    }
    FSel.SelAnchored = false;
    CloseCompletion(false);
    {
        TCaretHider hider(*this);
        const bool left = button == TMouseButton::Left;
        if (left && (shift & ssShift) == 0) {
            SetSelBlockFormat((shift & ssAlt) != 0 ? bfColumn : bfNonInclusive);
            Unselect();
        }
        if (Platform() != nullptr)
            Platform()->SetFocus();
        const QPoint cell = CellAt(x, y);
        if (left) {
            PushUndo<TBeginCompoundUndo>(FCaretX, FCaretY);
            if ((shift & ssShift) != 0) {
                if (FSel.Selected) {
                    const int anchorX = FSel.AnchorX;
                    const int anchorY = FSel.AnchorY;
                    Unselect();
                    SelectTo(anchorX, anchorY);
                } else {
                    SelectTo(FCaretX, FCaretY);
                }
            }
            // Without Shift this anchors the selection at the pressed cell, for a drag to extend.
            SelectTo(cell.x(), cell.y());
            SetCaret(cell.x(), cell.y());
            FMouseSelecting = true;
            FMousePos = QPoint(x, y);
        } else if (button == TMouseButton::Right) {
            SetCaret(cell.x(), cell.y());
        } else if (!ReadOnly()) {
            PastePrimarySelection(cell.x(), cell.y());
        }
    }
    if (OnMouseDown)
        OnMouseDown(*this, button, shift, x, y);
}

void TCustomEditor::MouseMove(TShiftState shift, int x, int y)
{
    TCustomEditorBase::MouseMove(shift, x, y);
    if (!FMouseSelecting)
        return;
    FMousePos = QPoint(x, y);
    const int height = Platform() != nullptr ? Platform()->ClientSize().height() : 0;
    const bool outside = y < 0 || y >= height;
    if (Platform() != nullptr) {
        if (outside && !FAutoScrolling)
            Platform()->StartTimer(kAutoScrollTimer, kAutoScrollInterval);
        else if (!outside && FAutoScrolling)
            Platform()->StopTimer(kAutoScrollTimer);
    }
    FAutoScrolling = outside;
    const QPoint cell = CellAt(x, y);
    if (cell.y() <= LastVisibleRow()) {
        TCaretHider hider(*this);
        SelectTo(cell.x(), cell.y());
        SetCaret(cell.x(), cell.y());
    }
}

void TCustomEditor::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (FMouseSelecting && button == TMouseButton::Left) {
        PushUndo<TEndCompoundUndo>(FCaretX, FCaretY);
        FMouseSelecting = false;
        OfferPrimarySelection();
    }
    StopAutoScroll();
    if (OnMouseUp)
        OnMouseUp(*this, button, shift, x, y);
    if (x >= 0 && x < GutterWidth() && OnGutterClick)
        OnGutterClick(*this, CellAt(x, y).y());
}

void TCustomEditor::DoubleClick(TShiftState /*shift*/, int x, int y)
{
    FDoubleClicked = true;
    if (OnDblClick)
        OnDblClick(*this);
    if (x >= 0 && x < GutterWidth()) {
        if (OnGutterDblClick)
            OnGutterDblClick(*this, CellAt(x, y).y());
        return;
    }
    if (FDoubleClickLine)
        SelectLineAtCaret();
    else if (LineCount() > 0)
        SelectWordAtCaret();
    OfferPrimarySelection();
}

void TCustomEditor::OfferPrimarySelection()
{
    // A click that selected nothing makes no new offer. Nothing is built here: the text is produced
    // when another program (or a middle click) asks, from what is selected then, so a mouse selection
    // of any size costs the same. Once the selection is gone there is nothing to serve.
    if (!FSel.Selected || Platform() == nullptr)
        return;
    Platform()->WritePrimarySelection(
        [owner = std::weak_ptr<TCustomEditor*>(FPrimaryOwner)]() -> std::optional<QByteArray> {
            const std::shared_ptr<TCustomEditor*> editor = owner.lock();
            if (editor == nullptr || !(*editor)->FSel.Selected || !(*editor)->SelectionLinesExist())
                return std::nullopt;
            return (*editor)->SelectionClipboardBytes();
        });
}

void TCustomEditor::PastePrimarySelection(int column, int line)
{
    QString text;
    if (Platform() == nullptr || !Platform()->ReadPrimarySelection(text))
        return;
    // The text goes where the click was, beside the selection rather than over it: it may well be
    // the selected text itself. One undo takes the whole paste back.
    TCaretHider hider(*this);
    TCompoundGroup group(*this);
    Unselect();
    SetCaret(column, line);
    PasteText(text, -1);
}

bool TCustomEditor::MouseWheel(TShiftState shift, int delta)
{
    if ((shift & ssShift) != 0)
        Command(delta <= 0 ? cmdDown : cmdUp);
    else if ((shift & ssCtrl) != 0)
        Command(delta > 0 ? cmdPageUp : cmdPageDown);
    else
        TCustomEditorBase::MouseWheel(shift, delta);
    return true;
}

void TCustomEditor::TimerFired(int id)
{
    if (id == kCompletionTimer) {
        CompletionTimerFired();
        return;
    }
    if (id != kAutoScrollTimer)
        return;
    const int height = Platform() != nullptr ? Platform()->ClientSize().height() : 0;
    const int y = FMousePos.y();
    if (!FMouseSelecting || (y >= 0 && y < height)) {
        StopAutoScroll();
        return;
    }
    TCaretHider hider(*this);
    const int column = CellAt(FMousePos.x(), 0).x();
    const int row = std::max(0, FCaretY + AutoScrollStep(y, height, VisibleRows()));
    SelectTo(column, row);
    SetCaret(column, row);
}

void TCustomEditor::StopAutoScroll()
{
    if (FAutoScrolling && Platform() != nullptr)
        Platform()->StopTimer(kAutoScrollTimer);
    FAutoScrolling = false;
}

// ---- The platform's standard edit requests

void TCustomEditor::CopyRequest()
{
    if (Platform() != nullptr)
        Platform()->PostCommand(cmdCopy);
}

void TCustomEditor::CutRequest()
{
    if (!ReadOnly() && Platform() != nullptr)
        Platform()->PostCommand(cmdCut);
}

void TCustomEditor::PasteRequest()
{
    if (!ReadOnly() && Platform() != nullptr)
        Platform()->PostCommand(cmdPaste);
}

void TCustomEditor::ClearRequest()
{
    if (!ReadOnly())
        DeleteSelection();
}

void TCustomEditor::UndoRequest()
{
    Undo();
}

void TCustomEditor::SetSelectionRange(int start, int length)
{
    TCaretHider hider(*this);
    if (start == 0 && length == -1) {
        SetSelection(0, 0, LineCount() - 1, kMaxColumn);
        return;
    }
    SetCaretOffset(start);
    SetSelectionLength(length);
}

void TCustomEditor::GetSelectionRange(int& start, int& end) const
{
    start = GetCaretOffset();
    end = FSel.Selected ? PosToOffset(FSel.SelEndX, FSel.SelEndY) : start;
}

int TCustomEditor::TextLength() const
{
    return static_cast<int>(Lines().Text().size());
}

QString TCustomEditor::Text() const
{
    return Lines().Text();
}
