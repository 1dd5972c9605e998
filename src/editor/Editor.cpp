#include "Editor.h"

#include "LineList.h"

#include <algorithm>
#include <cassert>
#include <climits>

namespace {

// The lines of a whole text: a break at the very end ends the last line and starts none.
QStringList SplitText(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringList lines = SplitAtLineBreaks(text);
    const char16_t lastUnit = text.back().unicode();
    if (lastUnit == u'\r' || lastUnit == u'\n')
        lines.removeLast();
    return lines;
}

int TrailingBlanksStart(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return static_cast<int>(end);
}

QString PaddedTo(QString text, int length)
{
    if (text.size() < length)
        text.append(QString(length - text.size(), u' '));
    return text;
}

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// The lines of a list with every item that holds a line break cut into the lines it stands for.
QStringList WithoutBreaks(const QStringList& lines)
{
    if (std::none_of(lines.begin(), lines.end(), HasLineBreak))
        return lines;
    QStringList result;
    result.reserve(lines.size());
    for (const QString& line : lines)
        result.append(HasLineBreak(line) ? SplitAtLineBreaks(line) : QStringList{line});
    return result;
}

} // namespace

QStringList SplitAtLineBreaks(const QString& text)
{
    QStringList segments;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit != u'\r' && unit != u'\n')
            continue;
        segments.append(text.mid(start, i - start));
        if (unit == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    segments.append(text.mid(start));
    return segments;
}

TEditorStrings::TEditorStrings(TCustomEditor& editor) : FEditor(editor)
{
}

void TEditorStrings::CheckIndex(int index, int count) const
{
    if (index < 0 || index >= count)
        throw TEditorError(QStringLiteral("List index out of bounds (%1)").arg(index).toStdString());
}

QString TEditorStrings::Get(int index) const
{
    CheckIndex(index, Count());
    return FStore.Get(index);
}

int TEditorStrings::Length(int index) const
{
    CheckIndex(index, Count());
    return FStore.Length(index);
}

void TEditorStrings::Put(int index, const QString& text)
{
    CheckIndex(index, Count());
    if (HasLineBreak(text)) {
        const QStringList segments = SplitAtLineBreaks(text);
        Put(index, segments.front());
        for (qsizetype k = 1; k < segments.size(); ++k)
            Insert(index + static_cast<int>(k), segments[k]);
        return;
    }
    QString line = text;
    std::unique_ptr<TUndo> trail;
    if (!FEditor.KeepTrailingBlanks()) {
        const int end = TrailingBlanksStart(line);
        if (end < line.size()) {
            trail = FEditor.MakeUndo<TDeleteTrailUndo>(end, index, line.mid(end));
            line.truncate(end);
        }
    }
    FEditor.ChangeText(TTextChangeKind::Replacement, 0, index, line, std::move(trail), [&] {
        FStore.Set(index, line);
        FEditor.Touched(index, index);
        Changed();
    });
}

int TEditorStrings::Add(const QString& text)
{
    const int index = Count();
    if (HasLineBreak(text)) {
        for (const QString& segment : SplitAtLineBreaks(text))
            Add(segment);
        return index;
    }
    const QString line = FEditor.ExpandTabsAt(text, 0, index);
    FEditor.ChangeText(TTextChangeKind::Insertion, 0, index, QStringLiteral("\r\n") + line, nullptr, [&] {
        FStore.Append(line);
        FEditor.Touched(index, index);
        Changed();
    });
    return index;
}

void TEditorStrings::Insert(int index, const QString& text)
{
    CheckIndex(index, Count() + 1);
    if (HasLineBreak(text)) {
        const QStringList segments = SplitAtLineBreaks(text);
        for (qsizetype k = 0; k < segments.size(); ++k)
            Insert(index + static_cast<int>(k), segments[k]);
        return;
    }
    const QString line = FEditor.ExpandTabsAt(text, 0, index);
    FEditor.ChangeText(TTextChangeKind::Insertion, 0, index, line + QStringLiteral("\r\n"), nullptr, [&] {
        FStore.Insert(index, line);
        FEditor.Touched(index, index);
        Changed();
        FEditor.LineInserted(index);
    });
}

void TEditorStrings::Delete(int index)
{
    CheckIndex(index, Count());
    // Inside a command the command names the text; a line deleted on its own is its own text.
    const QString text = FEditor.ChangingText() ? QString() : FStore.Get(index) + QStringLiteral("\r\n");
    FEditor.ChangeText(TTextChangeKind::Deletion, 0, index, text, nullptr, [&] {
        FStore.Remove(index);
        FEditor.Touched(index, index);
        Changed();
        FEditor.LineDeleted(index);
    });
}

void TEditorStrings::Clear()
{
    if (Count() == 0)
        return;
    FEditor.ChangeText(TTextChangeKind::WholeText, 0, 0, QString(), nullptr, [&] {
        FStore.Clear();
        Changed();
    });
}

QStringList TEditorStrings::ToStringList() const
{
    QStringList lines;
    lines.reserve(Count());
    for (int i = 0; i < Count(); ++i)
        lines.append(FStore.Get(i));
    return lines;
}

void TEditorStrings::Assign(const QStringList& lines)
{
    TUpdateBatch batch(FEditor);
    LoadLines(lines);
    FEditor.UpdateMetricsAndRepaint();
}

void TEditorStrings::Assign(const TEditorStrings& source)
{
    if (&source != this)
        Assign(source.ToStringList());
}

void TEditorStrings::AddStrings(const QStringList& added)
{
    TUpdateBatch batch(FEditor);
    FEditor.UndoBuffer().Clear();
    const QStringList lines = WithoutBreaks(added);
    const int first = Count();
    const QStringList stored = FEditor.ExpandTabsInLines(lines, first);
    FEditor.ChangeText(TTextChangeKind::Insertion, 0, first, lines.join(QStringLiteral("\r\n")), nullptr, [&] {
        TUpdateBatch update(*this);
        for (const QString& line : stored)
            FStore.Append(line);
        FEditor.Touched(first, Count() - 1);
    });
}

QString TEditorStrings::Text() const
{
    QString text;
    for (int i = 0; i < Count(); ++i) {
        text += FStore.Get(i);
        text += QStringLiteral("\r\n");
    }
    return text;
}

void TEditorStrings::SetText(const QString& text)
{
    LoadLines(SplitText(text));
    FEditor.UpdateMetricsAndRepaint();
}

QString TEditorStrings::LineListText() const
{
    return FormatLineList(ToStringList());
}

void TEditorStrings::SetLineListText(const QString& text)
{
    LoadLines(ParseLineList(text));
}

void TEditorStrings::BeginUpdate()
{
    ++FUpdateCount;
}

void TEditorStrings::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0) {
        Changed();
        FEditor.ReleaseChanged();
    }
}

void TEditorStrings::Changed()
{
    if (FUpdateCount == 0)
        FEditor.LinesChanged();
}

void TEditorStrings::StoreLine(int index, const QString& text)
{
    CheckIndex(index, Count());
    FStore.Set(index, text);
    FEditor.Touched(index, index);
    Changed();
}

void TEditorStrings::InsertInLine(int index, int column, const QString& text)
{
    CheckIndex(index, Count());
    FStore.InsertInLine(index, column, text);
    FEditor.Touched(index, index);
    Changed();
}

void TEditorStrings::InsertLines(int index, const QStringList& lines)
{
    CheckIndex(index, Count() + 1);
    if (lines.isEmpty())
        return;
    FStore.Insert(index, lines);
    const int count = static_cast<int>(lines.size());
    FEditor.Touched(index, index + count - 1);
    Changed();
    for (int k = 0; k < count; ++k)
        FEditor.LineInserted(index + k);
}

void TEditorStrings::DeleteLines(int index, int count)
{
    if (count <= 0)
        return;
    CheckIndex(index, Count());
    CheckIndex(index + count - 1, Count());
    FStore.Remove(index, count);
    FEditor.Touched(index, index + count - 1);
    Changed();
    // Reported as if deleted one by one from the last, as a range is.
    for (int i = index + count - 1; i >= index; --i)
        FEditor.LineDeleted(i);
}

void TEditorStrings::LoadLines(const QStringList& loaded)
{
    const QStringList lines = WithoutBreaks(loaded);
    // A whole text replaces another: the undo records and the selection belonged to the old one.
    // Its TABs are read from its own top, which no line of the old text precedes.
    const QStringList stored = FEditor.KeepLiteralTabs() ? FEditor.ExpandTabsInLines(lines, 0) : lines;
    FEditor.ChangeText(TTextChangeKind::WholeText, 0, 0, QString(), nullptr, [&] {
        TUpdateBatch update(*this);
        FStore.Clear();
        for (const QString& line : stored)
            FStore.Append(FEditor.ExpandTabs(line));
    });
    FEditor.UndoBuffer().Clear();
    FEditor.TextReset(true);
}

TCustomEditor::TCustomEditor() : FLines(std::make_unique<TEditorStrings>(*this))
{
}

TCustomEditor::~TCustomEditor() = default;

int TCustomEditor::LineCount() const
{
    return FLines->Count();
}

int TCustomEditor::LineLength(int line) const
{
    if (line < 0 || line >= FLines->Count())
        return 0;
    return FLines->FStore.Length(line);
}

bool TCustomEditor::GetLineText(int line, QString& text) const
{
    if (line < 0 || line >= FLines->Count()) {
        text.clear();
        return false;
    }
    text = FLines->FStore.Get(line);
    return true;
}

bool TCustomEditor::GetLineSlice(int line, int from, int count, QString& text) const
{
    if (line < 0 || line >= FLines->Count()) {
        text.clear();
        return false;
    }
    text = FLines->FStore.Get(line, from, count);
    return true;
}

int TCustomEditor::LongestLineLength() const
{
    return FLines->FStore.Longest();
}

QString TCustomEditor::ExpandTabs(const QString& text) const
{
    // With literal TABs kept, a TAB reaches the store only once it was decided to be data.
    if (KeepLiteralTabs())
        return text;
    return ExpandAllTabs(text);
}

QString TCustomEditor::ExpandAllTabs(const QString& text) const
{
    if (!text.contains(u'\t'))
        return text;
    QString expanded = text;
    expanded.replace(u'\t', QString(GetTabStop(0, true), u' '));
    return expanded;
}

QString TCustomEditor::ExpandTabsAt(const QString& text, int column, int line) const
{
    if (!text.contains(u'\t'))
        return text;
    if (!KeepLiteralTabs())
        return ExpandAllTabs(text);
    return ExpandTabsOutsideLiterals(text, column, line);
}

QString TCustomEditor::ExpandTabsOutsideLiterals(const QString& text, int, int) const
{
    return ExpandAllTabs(text);
}

QStringList TCustomEditor::ExpandTabsInLines(const QStringList& lines, int line) const
{
    const auto hasTab = [](const QString& text) { return text.contains(u'\t'); };
    if (std::none_of(lines.begin(), lines.end(), hasTab))
        return lines;
    const auto hasBreak = [](const QString& text) { return text.contains(u'\n') || text.contains(u'\r'); };
    QStringList expanded;
    // One pass over the lines as one text; a line that holds a break of its own would not come back
    // as one line, so such a list has all its TABs expanded.
    if (!KeepLiteralTabs() || std::any_of(lines.begin(), lines.end(), hasBreak)) {
        expanded.reserve(lines.size());
        for (const QString& text : lines)
            expanded << ExpandAllTabs(text);
        return expanded;
    }
    expanded = ExpandTabsAt(lines.join(u'\n'), 0, line).split(u'\n');
    assert(expanded.size() == lines.size());
    return expanded;
}

QString TCustomEditor::EditedLine(const QString& text) const
{
    QString line = ExpandTabs(text);
    if (!KeepTrailingBlanks())
        line.truncate(TrailingBlanksStart(line));
    return line;
}

std::string_view TCustomEditor::EditedLine(std::string_view line, std::string& scratch, bool whole) const
{
    std::string_view edited = line;
    if (line.find('\t') != std::string_view::npos) {
        const std::string blanks(static_cast<std::size_t>(GetTabStop(0, true)), ' ');
        scratch.clear();
        for (const char c : line) {
            if (c == '\t')
                scratch += blanks;
            else
                scratch += c;
        }
        edited = scratch;
    }
    if (whole && !KeepTrailingBlanks()) {
        const std::size_t end = edited.find_last_not_of(' ');
        edited = edited.substr(0, end == std::string_view::npos ? 0 : end + 1);
    }
    return edited;
}

int TCustomEditor::SnapColumn(const QString& text, int column)
{
    return IsPairAt(text, column) ? column + 1 : column;
}

void TCustomEditor::InsertText(const QString& rawText)
{
    // Tabs are expanded before the caret's end is counted, so that the caret ends after the blanks
    // they become and the undo record holds the text as stored.
    const QString text = ExpandTabsAt(rawText, FCaretX, FCaretY);
    TCaretHider hider(*this);
    // A caret below the last line (in an empty store, say) first gets its line, as a change of its own.
    if (FCaretY >= LineCount()) {
        const int first = LineCount();
        ChangeText(TTextChangeKind::Insertion, 0, first, QStringLiteral("\r\n").repeated(FCaretY + 1 - first), nullptr, [&] {
            while (FCaretY >= LineCount())
                FLines->Add(QString());
        });
    }
    // The text then notifies once the caret stands after it.
    THeldChanges held(*this);
    // Blanks up to a caret past the end of its line stay where trailing blanks are kept: made real
    // first, they are recorded, and the undo takes them away with the text.
    if (KeepTrailingBlanks())
        PadLineToCaret();
    const int line = FCaretY;
    int column = FCaretX;
    if (column < LineLength(line)) {
        QString current;
        GetLineText(line, current);
        column = SnapColumn(current, column);
    }
    ChangeText(TTextChangeKind::Insertion, column, line, text, MakeUndo<TInsertUndo>(column, line, text),
        [&] { InsertTextAt(column, line, text); });
    // Only LF counts for the end: a lone CR breaks the line in the store but not here.
    const qsizetype feeds = text.count(u'\n');
    if (feeds == 0)
        PlaceCaret(column + static_cast<int>(text.size()), line);
    else
        PlaceCaret(static_cast<int>(text.size() - text.lastIndexOf(u'\n') - 1), line + static_cast<int>(feeds));
}

void TCustomEditor::ClearLines()
{
    FLines->Clear();
    UndoBuffer().Clear();
    TextReset(true);
}

void TCustomEditor::Touched(int first, int last)
{
    assert(FChangeDepth > 0 && "the store changes only inside ChangeText");
    FChangeFirst = std::min(FChangeFirst, first);
    FChangeLast = std::max(FChangeLast, last);
}

void TCustomEditor::ChangeText(TTextChangeKind kind, int column, int line, const QString& text,
    std::unique_ptr<TUndo> undo, const std::function<void()>& apply)
{
    if (undo != nullptr && RecordsUndo())
        UndoBuffer().Push(std::move(undo));
    if (FChangeDepth == 0) {
        FLineGoingOn = -1;
        FChangeFirst = INT_MAX;
        FChangeLast = -1;
        FChangeLinesBefore = LineCount();
    }
    {
        struct TDepth {
            int& Depth;
            explicit TDepth(int& depth) : Depth(depth) { ++Depth; }
            ~TDepth() { --Depth; }
            TDepth(const TDepth&) = delete;
            TDepth& operator=(const TDepth&) = delete;
        } depth(FChangeDepth);
        apply();
    }
    if (FChangeDepth > 0)
        return;
    TTextChange change;
    change.Kind = kind;
    change.Column = column;
    change.Text = text;
    change.LineDelta = LineCount() - FChangeLinesBefore;
    if (kind == TTextChangeKind::WholeText) {
        change.Line = 0;
        change.LastLine = std::max(LineCount() - 1, 0);
    } else if (kind == TTextChangeKind::Appended) {
        change.Line = line;
        change.LastLine = LineCount() - 1;
    } else {
        change.Line = FChangeFirst != INT_MAX ? FChangeFirst : line;
        change.LastLine = std::max(FChangeLast, change.Line);
    }
    NotifyTextChanged(change);
    TextChanged();
}

bool TCustomEditor::ChangesHeld() const
{
    return TCustomEditorBase::ChangesHeld() || FChangeDepth > 0 || FLines->FUpdateCount > 0;
}

void TCustomEditor::AppendLines(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    const QStringList incoming = ExpandTabsInLines(lines, LineCount());
    AppendToStore([&] {
        for (const QString& line : incoming)
            FLines->FStore.Append(EditedLine(line));
    });
}

void TCustomEditor::AppendUtf8Lines(std::string_view bytes, std::span<const std::size_t> lineEnds,
    bool firstContinues, bool lastGoesOn)
{
    if (lineEnds.empty())
        return;
    const bool grows = firstContinues && FLineGoingOn >= 0 && FLineGoingOn == FLines->Count() - 1;
    AppendToStore(
        [&] {
            TLineStore& store = FLines->FStore;
            std::string scratch;
            std::size_t start = 0;
            for (std::size_t i = 0; i < lineEnds.size(); ++i) {
                // Ends that run backwards or past the bytes give empty or cut lines, never a wild read.
                const std::size_t end = std::clamp(lineEnds[i], start, bytes.size());
                const bool part = lastGoesOn && i + 1 == lineEnds.size();
                const bool rest = grows && i == 0;
                const std::string_view line = EditedLine(bytes.substr(start, end - start), scratch, !part && !rest);
                if (rest) {
                    store.ExtendLastUtf8(line);
                    if (!part && !KeepTrailingBlanks())
                        store.CutLastLineBlanks();
                } else {
                    store.AppendUtf8(line, part);
                }
                start = end;
            }
            // Known before the change is reported, so that the highlighter leaves the part alone.
            FLineGoingOn = lastGoesOn ? store.Count() - 1 : -1;
        },
        grows);
}

void TCustomEditor::AppendToStore(const std::function<void()>& store, bool lastGrows)
{
    // One change of the text for the whole batch: the highlighter walks the new lines' bytes once,
    // in the store, whichever way they came.
    const int first = lastGrows ? FLines->Count() - 1 : FLines->Count();
    ChangeText(TTextChangeKind::Appended, 0, first, QString(), nullptr, [&] {
        TRaisedUpdate raised(*this);
        TUpdateBatch update(*FLines);
        store();
    });
    UpdateScrollRanges();
}

void TCustomEditor::InsertTextAt(int column, int line, const QString& text)
{
    line = std::max(line, 0);
    column = std::max(column, 0);
    ChangeText(TTextChangeKind::Insertion, column, line, text, nullptr, [&] {
        while (line >= FLines->Count())
            FLines->Add(QString());
        TRaisedUpdate raised(*this);
        TUpdateBatch update(*FLines);
        const QString current = FLines->FStore.Get(line);
        column = SnapColumn(current, column);
        const QString head = PaddedTo(current.left(column), column);
        const QString tail = current.mid(column);
        const QStringList segments = SplitAtLineBreaks(text);
        if (segments.size() == 1) {
            WriteLine(line, head + segments.front() + tail);
            return;
        }
        WriteLine(line, head + segments.front());
        // The new lines go in at once, so that the lines below move once whatever their number; the
        // last is inserted in the form WriteLine would give it.
        QStringList inserted;
        inserted.reserve(segments.size() - 1);
        for (qsizetype k = 1; k + 1 < segments.size(); ++k)
            inserted << ExpandTabs(segments[k]);
        inserted << EditedLine(segments.back() + tail);
        FLines->InsertLines(line + 1, inserted);
    });
}

void TCustomEditor::DeleteTextRange(int firstColumn, int firstLine, int lastLine, int lastColumn)
{
    if (firstLine < 0) {
        firstLine = 0;
        firstColumn = 0;
    }
    const int count = FLines->Count();
    if (firstLine >= count)
        return;
    bool toLineEnd = false;
    if (lastLine >= count) {
        lastLine = count - 1;
        toLineEnd = true;
    }
    if (lastLine < firstLine)
        return;
    firstColumn = std::max(firstColumn, 0);

    // Called on its own, the range's text is not known: the change counts as a replacement, which a
    // highlighter always rescans.
    ChangeText(TTextChangeKind::Replacement, firstColumn, firstLine, QString(), nullptr, [&] {
        TRaisedUpdate raised(*this);
        TUpdateBatch update(*FLines);
        const QString first = FLines->FStore.Get(firstLine);
        const int start = SnapColumn(first, firstColumn);
        const QString head = PaddedTo(first.left(start), start);
        const QString last = lastLine == firstLine ? first : FLines->FStore.Get(lastLine);
        const int lastSize = static_cast<int>(last.size());
        int end = toLineEnd ? lastSize : std::clamp(lastColumn + 1, 0, lastSize);
        end = SnapColumn(last, end);
        // A range that ends before it starts removes nothing rather than repeating text.
        if (lastLine == firstLine)
            end = std::max(end, std::min(start, lastSize));
        const QString tail = last.mid(end);
        FLines->DeleteLines(firstLine + 1, lastLine - firstLine);
        WriteLine(firstLine, head + tail);
    });
}

void TCustomEditor::InsertColumnText(int column, int line, const QString& text)
{
    line = std::max(line, 0);
    column = std::max(column, 0);
    ChangeText(TTextChangeKind::ColumnInsertion, column, line, text, nullptr, [&] {
        TRaisedUpdate raised(*this);
        TUpdateBatch update(*FLines);
        const QStringList segments = SplitAtLineBreaks(text);
        for (qsizetype k = 0; k < segments.size(); ++k) {
            const int index = line + static_cast<int>(k);
            while (index >= FLines->Count())
                FLines->Add(QString());
            const QString current = FLines->FStore.Get(index);
            // Nothing goes onto a line that ends before the column: no blanks are put there for it.
            if (segments[k].isEmpty() && current.size() <= column)
                continue;
            const int at = SnapColumn(current, column);
            WriteLine(index, PaddedTo(current.left(at), at) + segments[k] + current.mid(at));
        }
    });
}

void TCustomEditor::DeleteColumnText(int firstColumn, int firstLine, int lastLine, int lastColumn)
{
    if (firstLine < 0) {
        firstLine = 0;
        firstColumn = 0;
    }
    const int count = FLines->Count();
    if (firstLine >= count)
        return;
    lastLine = std::min(lastLine, count - 1);
    firstColumn = std::max(firstColumn, 0);

    ChangeText(TTextChangeKind::Replacement, firstColumn, firstLine, QString(), nullptr, [&] {
        TRaisedUpdate raised(*this);
        TUpdateBatch update(*FLines);
        for (int index = firstLine; index <= lastLine; ++index) {
            const QString current = FLines->FStore.Get(index);
            const int size = static_cast<int>(current.size());
            const int start = SnapColumn(current, std::min(firstColumn, size));
            const int end = SnapColumn(current, std::clamp(lastColumn + 1, start, size));
            WriteLine(index, current.left(start) + current.mid(end));
        }
    });
}

void TCustomEditor::WriteLine(int index, const QString& text)
{
    ChangeText(TTextChangeKind::Replacement, 0, index, text, nullptr, [&] {
        TRaisedUpdate raised(*this);
        FLines->StoreLine(index, EditedLine(text));
    });
}

void TCustomEditor::PadLineToCaret()
{
    // When the caret's place exists already the store is not touched at all: no change event, so
    // typing records the Modified flag as it was before the keystroke and undo can restore it.
    if (FCaretY < FLines->Count() && LineLength(FCaretY) >= FCaretX)
        return;
    ChangeText(TTextChangeKind::Insertion, FCaretX, FCaretY, QString(), nullptr, [&] {
        TRaisedUpdate raised(*this);
        TUpdateBatch update(*FLines);
        bool firstBreak = true;
        while (FLines->Count() <= FCaretY) {
            const int count = FLines->Count();
            // The record says where the line break goes: at the end of the store's last line.
            const int x = firstBreak ? (count > 0 ? LineLength(count - 1) : FCaretX) : 0;
            PushUndo<TReLineUndo>(x, std::max(count - 1, 0), QStringLiteral("\r\n"));
            FLines->Add(QString());
            firstBreak = false;
        }
        SetCaretY(FCaretY);
        PadLineTo(FCaretX, FCaretY);
    });
}

void TCustomEditor::PadLineTo(int column, int line)
{
    if (line < 0 || line >= FLines->Count())
        return;
    const int length = LineLength(line);
    if (length >= column)
        return;
    const QString blanks(column - length, u' ');
    // Where trailing blanks are kept, no later write cuts these again: they are recorded, attached to
    // the change that needs them, so that undoing it takes them away too.
    ChangeText(TTextChangeKind::Insertion, length, line, blanks,
        KeepTrailingBlanks() ? MakeUndo<TReLineUndo>(length, line, blanks) : nullptr, [&] {
            TRaisedUpdate raised(*this);
            FLines->StoreLine(line, FLines->FStore.Get(line) + blanks);
        });
}
