// The undo records of the editing commands: selection steps, compound marks, typing, deleting,
// tabs, column blocks, completion. The records of the text model itself are in Editor.h.
#pragma once

#include "Editor.h"

#include <QString>

#include <algorithm>
#include <vector>

// A selection step (SelectTo, SetSelection): the caret and the whole selection state before it.
class TSelectUndo : public TCaretUndo {
public:
    TSelectUndo(TCustomEditorBase& editor, int x, int y) : TCaretUndo(editor, x, y) { KeepSelection(); }
    TUndoKind Kind() const override { return TUndoKind::Select; }
};

// A selection dropped by Unselect.
class TUnselectUndo : public TSelectUndo {
public:
    using TSelectUndo::TSelectUndo;
    TUndoKind Kind() const override { return TUndoKind::Unselect; }
};

// The begin and end marks of a compound group: one undo takes back everything between them.
class TBeginCompoundUndo : public TUndo {
public:
    using TUndo::TUndo;
    TUndoKind Kind() const override { return TUndoKind::BeginCompound; }
};

class TEndCompoundUndo : public TBeginCompoundUndo {
public:
    using TBeginCompoundUndo::TBeginCompoundUndo;
    TUndoKind Kind() const override { return TUndoKind::EndCompound; }
};

// Blanks the Tab key inserted at (X, Y).
class TInsertTabUndo : public TInsertUndo {
public:
    using TInsertUndo::TInsertUndo;
    TUndoKind Kind() const override { return TUndoKind::InsertTab; }
};

// A column block inserted with its top-left cell at (X, Y): one segment per line, joined by CR LF.
// A line shorter than X gets blanks up to X before its segment; the record notes how many, so that
// undoing takes them away with the segment where trailing blanks are kept.
class TInsertColumnUndo : public TInsertUndo {
public:
    TInsertColumnUndo(TCustomEditorBase& editor, int x, int y, const QString& text);
    TUndoKind Kind() const override { return TUndoKind::InsertColumn; }
    // The blanks put before the segment of the k-th line.
    int Padding(int k) const { return k < static_cast<int>(FPadding.size()) ? FPadding[k] : 0; }

private:
    std::vector<int> FPadding;
};

// A line removed by cmdDeleteLine; (X, Y) is the caret then. The last line is emptied, not removed.
class TDeleteLineUndo : public TInsertUndo {
public:
    TDeleteLineUndo(TCustomEditorBase& editor, int x, int y, const QString& text, bool lastLine)
        : TInsertUndo(editor, x, y, text), FLastLine(lastLine)
    {
    }
    TUndoKind Kind() const override { return TUndoKind::DeleteLine; }
    bool LastLine() const { return FLastLine; }

private:
    bool FLastLine;
};

// Blanks UnindentColumns removed at column X from the lines starting at Y: what went from each line,
// the lines joined by CR LF; with the selection state before.
class TUnindentColumnUndo : public TInsertUndo {
public:
    TUnindentColumnUndo(TCustomEditorBase& editor, int x, int y, const QString& text)
        : TInsertUndo(editor, x, y, text)
    {
        KeepSelection();
    }
    TUndoKind Kind() const override { return TUndoKind::UnindentColumn; }
};

// One character removed by Backspace, (X, Y) the caret before it; LF for a line joined to the one
// above, with (X, Y) just past that line's end.
class TBackspaceUndo : public TDeleteUndo {
public:
    using TDeleteUndo::TDeleteUndo;
    TUndoKind Kind() const override { return TUndoKind::Backspace; }
};

// Blanks removed by a Backspace that unindented; (X, Y) is the caret before it.
class TBackspaceUnindentUndo : public TDeleteUndo {
public:
    using TDeleteUndo::TDeleteUndo;
    TUndoKind Kind() const override { return TUndoKind::BackspaceUnindent; }
};

// The text of a deleted selection, with the selection state before; (X, Y) is the caret then.
// A stream or line selection that starts past the end of its line is taken from the line's end, as
// its text is; From is that column.
class TDeleteSelectedUndo : public TDeleteUndo {
public:
    TDeleteSelectedUndo(TCustomEditorBase& editor, int x, int y, const QString& text)
        : TDeleteUndo(editor, x, y, text)
        , FFrom(std::min(editor.SelBegX(), editor.LineLength(editor.SelBegY())))
    {
        KeepSelection();
    }
    TUndoKind Kind() const override { return TUndoKind::DeleteSelected; }
    int From() const { return FFrom; }

private:
    int FFrom;
};

// A character typed over another at (X, Y); Replaced is empty when it was appended at the line's end.
class TOverwriteUndo : public TCaretUndo {
public:
    TOverwriteUndo(TCustomEditorBase& editor, int x, int y, const QString& text, const QString& replaced)
        : TCaretUndo(editor, x, y), FText(text), FReplaced(replaced)
    {
    }
    TUndoKind Kind() const override { return TUndoKind::Overwrite; }
    const QString& Text() const { return FText; }
    const QString& Replaced() const { return FReplaced; }

private:
    QString FText;
    QString FReplaced;
};

// A completion entry applied: Text replaced Replaced starting at (StartX, StartY); (X, Y) is the
// caret before.
class TReplaceUndo : public TCaretUndo {
public:
    TReplaceUndo(TCustomEditorBase& editor, int x, int y, int startX, int startY, const QString& replaced,
                 const QString& text)
        : TCaretUndo(editor, x, y), FStartX(startX), FStartY(startY), FReplaced(replaced), FText(text)
    {
    }
    TUndoKind Kind() const override { return TUndoKind::Replace; }
    int StartX() const { return FStartX; }
    int StartY() const { return FStartY; }
    const QString& Replaced() const { return FReplaced; }
    const QString& Text() const { return FText; }

private:
    int FStartX;
    int FStartY;
    QString FReplaced;
    QString FText;
};
