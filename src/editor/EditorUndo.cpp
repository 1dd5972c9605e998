// The undo command: which records one undo takes back together, and what taking each kind back does.
#include "Editor.h"
#include "EditorUndo.h"

#include <algorithm>

namespace {

// Keeps the buffer's undo-running flag set for a scope, so that nothing the undo does is recorded
// and an undo started from one of its notifications does nothing; cleared on errors too.
class TUndoRunning {
public:
    explicit TUndoRunning(TUndoBuffer& buffer) : FBuffer(buffer) { FBuffer.SetUndoRunning(true); }
    ~TUndoRunning() { FBuffer.SetUndoRunning(false); }
    TUndoRunning(const TUndoRunning&) = delete;
    TUndoRunning& operator=(const TUndoRunning&) = delete;

private:
    TUndoBuffer& FBuffer;
};

bool IsAttachedKind(TUndoKind kind)
{
    return kind == TUndoKind::ReLine || kind == TUndoKind::DeleteTrail;
}

// The index of the oldest record of the run that ends at the current record: going back while the
// predicate accepts a record and the one after it as neighbours.
template <class TPredicate>
int RunStart(const TUndoBuffer& buffer, TPredicate continues)
{
    int index = buffer.CurrentIndex();
    while (index > 0 && continues(buffer.Item(index - 1), buffer.Item(index)))
        --index;
    return index;
}

const QString& TextOf(const TUndo& record)
{
    return static_cast<const TInsertUndo&>(record).Text();
}

// Whether a newer record of a text kind carries on where the older one left off, so that their texts
// can be taken back as one. A caret moved without a record between them (Enter in overwrite mode, a
// click that only placed it) makes two runs, each taken back at its own place.
bool Continues(const TUndo& older, const TUndo& newer)
{
    if (older.Kind() != newer.Kind())
        return false;
    switch (newer.Kind()) {
    case TUndoKind::Insert:
    case TUndoKind::ReLine:
    case TUndoKind::InsertTab:
        return TCustomEditor::TextEnd(older.X(), older.Y(), TextOf(older)) == QPoint(newer.X(), newer.Y());
    case TUndoKind::Delete:
    case TUndoKind::DeleteTrail:
        return older.X() == newer.X() && older.Y() == newer.Y();
    case TUndoKind::Backspace:
    case TUndoKind::BackspaceUnindent: {
        const int left = older.X() - static_cast<int>(TextOf(older).size());
        if (newer.Y() == older.Y())
            return newer.X() == left;
        return left == 0 && newer.Y() == older.Y() - 1 && TextOf(newer) == QStringLiteral("\n");
    }
    case TUndoKind::Overwrite: {
        const auto& overwrite = static_cast<const TOverwriteUndo&>(older);
        return newer.Y() == older.Y() && newer.X() == older.X() + static_cast<int>(overwrite.Text().size());
    }
    default:
        return true;
    }
}

// The texts of the records from first to last, oldest first or newest first.
template <class TRecord>
QString JoinTexts(const TUndoBuffer& buffer, int first, int last, bool newestFirst)
{
    QString text;
    if (newestFirst) {
        for (int i = last; i >= first; --i)
            text += static_cast<const TRecord&>(buffer.Item(i)).Text();
    } else {
        for (int i = first; i <= last; ++i)
            text += static_cast<const TRecord&>(buffer.Item(i)).Text();
    }
    return text;
}

} // namespace

TInsertColumnUndo::TInsertColumnUndo(TCustomEditorBase& editor, int x, int y, const QString& text)
    : TInsertUndo(editor, x, y, text)
{
    // Made before the block goes in: the lines' lengths are still those before it.
    const QStringList segments = SplitAtLineBreaks(text);
    for (qsizetype k = 0; k < segments.size(); ++k) {
        const int length = editor.LineLength(y + static_cast<int>(k));
        FPadding.push_back(segments[k].isEmpty() ? 0 : std::max(x - length, 0));
    }
}

QPoint TCustomEditor::TextEnd(int column, int line, const QString& text)
{
    const qsizetype feeds = text.count(u'\n');
    if (feeds == 0)
        return QPoint(column + static_cast<int>(text.size()), line);
    return QPoint(static_cast<int>(text.size() - text.lastIndexOf(u'\n') - 1), line + static_cast<int>(feeds));
}

bool TCustomEditor::CanUndo() const
{
    return UndoBuffer().CanUndo();
}

void TCustomEditor::Undo()
{
    TUndoBuffer& buffer = UndoBuffer();
    // Inside a compound group that is still open (a played macro holding Ctrl+Z), the undo takes back
    // only what the group did so far, never the group's own begin mark or anything before it.
    const int floor = FOpenGroups.empty() ? -1 : FOpenGroups.back();
    if (buffer.UndoRunning() || buffer.Current() == nullptr || buffer.CurrentIndex() <= floor)
        return;
    TCaretHider hider(*this);
    const TSelectionState selectionBefore = FSel;
    const bool modifiedBefore = FModified;
    // Kept set through the closing notifications too, so that their handlers cannot start another undo.
    TUndoRunning running(buffer);
    // The run's changes of the text notify once, at its end, while the flag above still holds.
    THeldChanges held(*this);
    // The kind of the run being undone; none inside a compound group once its begin mark is reached.
    TUndoKind kind = buffer.Current()->Kind();
    bool hasKind = true;
    int depth = 0;
    while (buffer.CurrentIndex() > floor) {
        const TUndo* record = buffer.Current();
        const TUndoKind recordKind = record->Kind();
        const bool goesOn = (hasKind && recordKind == kind) || record->Attached() || depth > 0
            || (hasKind && kind == TUndoKind::Backspace && recordKind == TUndoKind::BackspaceUnindent);
        if (!goesOn)
            break;
        if (recordKind == TUndoKind::BeginCompound) {
            hasKind = false;
            --depth;
        } else if (recordKind == TUndoKind::EndCompound) {
            ++depth;
        }
        UndoCurrentRun();
        if (const TUndo* first = buffer.Current()) {
            if (first->Selection()) {
                InvalidateSelectedLines();
                FSel = *first->Selection();
                InvalidateSelectedLines();
            }
            FModified = first->Modified();
        }
        buffer.SetCurrentIndex(buffer.CurrentIndex() - 1);
        if (hasKind && IsAttachedKind(kind)) {
            if (const TUndo* next = buffer.Current())
                kind = next->Kind();
            else
                hasKind = false;
        }
    }
    if (FSel != selectionBefore)
        InvalidateSelectedLines();
    UpdateMetricsAndRepaint();
    const bool textChanged = ChangePending();
    held.Release();
    // Without a change of the text the Modified flag may still have come back: the status shows it.
    if (!textChanged && modifiedBefore && UpdateCount() == 0)
        NotifyStatus();
}

void TCustomEditor::Redo()
{
    UndoBuffer().DropAfterCurrent();
}

void TCustomEditor::UndoCurrentRun()
{
    TUndoBuffer& buffer = UndoBuffer();
    const int last = buffer.CurrentIndex();
    const TUndo& record = buffer.Item(last);
    const TUndoKind kind = record.Kind();
    auto sameKind = [](const TUndo& older, const TUndo& newer) { return Continues(older, newer); };

    switch (kind) {
    case TUndoKind::Caret: {
        const int first = RunStart(buffer, sameKind);
        buffer.SetCurrentIndex(first);
        PlaceCaret(buffer.Item(first).X(), buffer.Item(first).Y());
        break;
    }
    case TUndoKind::Select:
    case TUndoKind::Unselect: {
        const int first =
            RunStart(buffer, [kind](const TUndo& older, const TUndo&) {
                return older.Kind() == kind || older.Kind() == TUndoKind::Caret;
            });
        // The oldest selection record holds the selection before the run; the oldest record of any
        // kind holds the caret before it.
        for (int i = first; i <= last; ++i) {
            if (buffer.Item(i).Selection()) {
                InvalidateSelectedLines();
                FSel = *buffer.Item(i).Selection();
                InvalidateSelectedLines();
                break;
            }
        }
        buffer.SetCurrentIndex(first);
        PlaceCaret(buffer.Item(first).X(), buffer.Item(first).Y());
        break;
    }
    case TUndoKind::Insert:
    case TUndoKind::ReLine:
    case TUndoKind::InsertTab: {
        const int first = RunStart(buffer, sameKind);
        const QString text = JoinTexts<TInsertUndo>(buffer, first, last, false);
        const TUndo& oldest = buffer.Item(first);
        const QPoint end = TextEnd(oldest.X(), oldest.Y(), text);
        // The line break that made the first line of an empty store is recorded at the caret's
        // column, past the end of that line: it is taken back from the line's end, adding no blanks.
        const int from = kind == TUndoKind::ReLine ? std::min(oldest.X(), LineLength(oldest.Y())) : oldest.X();
        ChangeText(TTextChangeKind::Deletion, from, oldest.Y(), text, nullptr,
            [&] { DeleteTextRange(from, oldest.Y(), end.y(), end.x() - 1); });
        buffer.SetCurrentIndex(first);
        // Blanks put before the caret were there for the caret where it stands: taking them away
        // leaves it there.
        if (kind != TUndoKind::ReLine || text.contains(u'\n'))
            PlaceCaret(oldest.X(), oldest.Y());
        break;
    }
    case TUndoKind::InsertColumn: {
        const auto& column = static_cast<const TInsertColumnUndo&>(record);
        const QStringList segments = column.Text().split(QStringLiteral("\r\n"));
        ChangeText(TTextChangeKind::ColumnDeletion, column.X(), column.Y(), column.Text(), nullptr, [&] {
            for (qsizetype k = 0; k < segments.size(); ++k) {
                const int line = column.Y() + static_cast<int>(k);
                if (segments[k].isEmpty())
                    continue;
                // The segment went in after a surrogate pair that the column split; it comes out there,
                // with the blanks that a short line got before it.
                QString text;
                GetLineText(line, text);
                const int at = SnapColumn(text, column.X());
                DeleteColumnText(at - column.Padding(static_cast<int>(k)), line, line,
                    at + static_cast<int>(segments[k].size()) - 1);
            }
        });
        PlaceCaret(column.X(), column.Y());
        break;
    }
    case TUndoKind::Delete:
    case TUndoKind::DeleteTrail: {
        const int first = RunStart(buffer, sameKind);
        const QString text = JoinTexts<TInsertUndo>(buffer, first, last, false);
        const TUndo& oldest = buffer.Item(first);
        ChangeText(TTextChangeKind::Insertion, oldest.X(), oldest.Y(), text, nullptr,
            [&] { InsertTextAt(oldest.X(), oldest.Y(), text); });
        buffer.SetCurrentIndex(first);
        PlaceCaret(oldest.X(), oldest.Y());
        break;
    }
    case TUndoKind::Backspace: {
        const int first = RunStart(buffer, sameKind);
        const QString text = JoinTexts<TInsertUndo>(buffer, first, last, true);
        const auto& newest = static_cast<const TInsertUndo&>(record);
        // The newest record removed the characters just left of its column: one unit, or the two of a
        // surrogate pair.
        const int column = newest.X() - static_cast<int>(newest.Text().size());
        ChangeText(TTextChangeKind::Insertion, column, newest.Y(), text, nullptr,
            [&] { InsertTextAt(column, newest.Y(), text); });
        const auto& oldest = static_cast<const TInsertUndo&>(buffer.Item(first));
        buffer.SetCurrentIndex(first);
        if (oldest.Text() == QStringLiteral("\n") || oldest.Text() == QStringLiteral("\r"))
            PlaceCaret(0, oldest.Y() + 1);
        else
            PlaceCaret(oldest.X(), oldest.Y());
        break;
    }
    case TUndoKind::BackspaceUnindent: {
        const int first = RunStart(buffer, sameKind);
        const QString text = JoinTexts<TInsertUndo>(buffer, first, last, true);
        const TUndo& oldest = buffer.Item(first);
        const int column = oldest.X() - static_cast<int>(text.size());
        ChangeText(TTextChangeKind::Insertion, column, oldest.Y(), text, nullptr,
            [&] { InsertTextAt(column, oldest.Y(), text); });
        buffer.SetCurrentIndex(first);
        PlaceCaret(oldest.X(), oldest.Y());
        break;
    }
    case TUndoKind::DeleteLine: {
        const auto& deleted = static_cast<const TDeleteLineUndo&>(record);
        if (deleted.LastLine() && deleted.Y() < LineCount()) {
            ChangeText(TTextChangeKind::Replacement, 0, deleted.Y(), deleted.Text(), nullptr,
                [&] { WriteLine(deleted.Y(), deleted.Text()); });
        } else {
            const QString text = deleted.Text() + QStringLiteral("\r\n");
            ChangeText(TTextChangeKind::Insertion, 0, deleted.Y(), text, nullptr,
                [&] { InsertTextAt(0, deleted.Y(), text); });
        }
        PlaceCaret(deleted.X(), deleted.Y());
        break;
    }
    case TUndoKind::DeleteSelected: {
        const auto& deleted = static_cast<const TDeleteSelectedUndo&>(record);
        const TSelectionState& selection = *deleted.Selection();
        if (selection.SelBlockFormat == bfColumn) {
            ChangeText(TTextChangeKind::ColumnInsertion, selection.SelBegX, selection.SelBegY, deleted.Text(), nullptr,
                [&] { InsertColumnText(selection.SelBegX, selection.SelBegY, deleted.Text()); });
        } else {
            ChangeText(TTextChangeKind::Insertion, deleted.From(), selection.SelBegY, deleted.Text(), nullptr,
                [&] { InsertTextAt(deleted.From(), selection.SelBegY, deleted.Text()); });
        }
        FSel = selection;
        InvalidateSelectedLines();
        PlaceCaret(deleted.X(), deleted.Y());
        break;
    }
    case TUndoKind::Overwrite: {
        const int first = RunStart(buffer, sameKind);
        QString typed;
        QString replaced;
        for (int i = first; i <= last; ++i) {
            const auto& overwrite = static_cast<const TOverwriteUndo&>(buffer.Item(i));
            typed += overwrite.Text();
            replaced += overwrite.Replaced();
        }
        const TUndo& oldest = buffer.Item(first);
        ChangeText(TTextChangeKind::Replacement, oldest.X(), oldest.Y(), replaced, nullptr, [&] {
            DeleteTextRange(oldest.X(), oldest.Y(), oldest.Y(), oldest.X() + static_cast<int>(typed.size()) - 1);
            InsertTextAt(oldest.X(), oldest.Y(), replaced);
        });
        buffer.SetCurrentIndex(first);
        PlaceCaret(oldest.X(), oldest.Y());
        break;
    }
    case TUndoKind::Replace: {
        const auto& replace = static_cast<const TReplaceUndo&>(record);
        const QPoint end = TextEnd(replace.StartX(), replace.StartY(), replace.Text());
        ChangeText(TTextChangeKind::Replacement, replace.StartX(), replace.StartY(), replace.Replaced(), nullptr, [&] {
            DeleteTextRange(replace.StartX(), replace.StartY(), end.y(), end.x() - 1);
            InsertTextAt(replace.StartX(), replace.StartY(), replace.Replaced());
        });
        PlaceCaret(replace.X(), replace.Y());
        break;
    }
    case TUndoKind::UnindentColumn: {
        const int first = RunStart(buffer, sameKind);
        for (int i = last; i >= first; --i) {
            const auto& unindent = static_cast<const TUnindentColumnUndo&>(buffer.Item(i));
            ChangeText(TTextChangeKind::ColumnInsertion, unindent.X(), unindent.Y(), unindent.Text(), nullptr,
                [&] { InsertColumnText(unindent.X(), unindent.Y(), unindent.Text()); });
        }
        InvalidateSelectedLines();
        FSel = *buffer.Item(first).Selection();
        InvalidateSelectedLines();
        buffer.SetCurrentIndex(first);
        PlaceCaret(record.X(), record.Y());
        break;
    }
    case TUndoKind::Undo:
    case TUndoKind::BeginCompound:
    case TUndoKind::EndCompound:
        break;
    }
}
