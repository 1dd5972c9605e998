#include "Editor.h"

#include "LineList.h"

#include <algorithm>
#include <exception>

namespace {

// Cuts a text at its line breaks (CR LF, a lone CR or a lone LF): n breaks give n + 1 segments.
QStringList SplitSegments(const QString& text)
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

// The lines of a whole text: a break at the very end ends the last line and starts none.
QStringList SplitText(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringList lines = SplitSegments(text);
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

// Keeps a list update open for a scope; its end runs the change event, whose errors propagate
// unless another error is unwinding already.
class TListUpdate {
public:
    explicit TListUpdate(TEditorStrings& lines) : FLines(lines), FUncaught(std::uncaught_exceptions())
    {
        FLines.BeginUpdate();
    }
    ~TListUpdate() noexcept(false)
    {
        if (std::uncaught_exceptions() == FUncaught) {
            FLines.EndUpdate();
            return;
        }
        try {
            FLines.EndUpdate();
        } catch (...) {
            // The error already unwinding is the one to report.
        }
    }
    TListUpdate(const TListUpdate&) = delete;
    TListUpdate& operator=(const TListUpdate&) = delete;

private:
    TEditorStrings& FLines;
    int FUncaught;
};

} // namespace

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
    QString line = text;
    if (!FEditor.KeepTrailingBlanks()) {
        const int end = TrailingBlanksStart(line);
        if (end < line.size()) {
            FEditor.PushUndo<TDeleteTrailUndo>(end, index, line.mid(end));
            line.truncate(end);
        }
    }
    FStore.Set(index, line);
    Changed();
}

int TEditorStrings::Add(const QString& text)
{
    FStore.Append(FEditor.ExpandTabs(text));
    Changed();
    return Count() - 1;
}

void TEditorStrings::Insert(int index, const QString& text)
{
    CheckIndex(index, Count() + 1);
    FStore.Insert(index, FEditor.ExpandTabs(text));
    Changed();
    FEditor.LineInserted(index);
}

void TEditorStrings::Delete(int index)
{
    CheckIndex(index, Count());
    FStore.Remove(index);
    Changed();
    FEditor.LineDeleted(index);
}

void TEditorStrings::Clear()
{
    if (Count() == 0)
        return;
    FStore.Clear();
    Changed();
    // A highlighter keeps state per line; it must not paint a later text with the old one's.
    if (FUpdateCount == 0)
        FEditor.NotifyTextChanged(0, 0, QString(), 0);
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
    TCustomEditor::TUpdateScope batch(FEditor);
    FEditor.UndoBuffer().Clear();
    LoadLines(lines);
    FEditor.TextReset(true);
    FEditor.NotifyTextChanged(0, 0, QString(), 0);
    FEditor.UpdateMetricsAndRepaint();
}

void TEditorStrings::Assign(const TEditorStrings& source)
{
    if (&source != this)
        Assign(source.ToStringList());
}

void TEditorStrings::AddStrings(const QStringList& lines)
{
    TCustomEditor::TUpdateScope batch(FEditor);
    FEditor.UndoBuffer().Clear();
    TListUpdate update(*this);
    for (const QString& line : lines)
        FStore.Append(FEditor.ExpandTabs(line));
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
    if (FEditor.UpdateCount() == 0)
        FEditor.UndoBuffer().Clear();
    LoadLines(SplitText(text));
    FEditor.TextReset(true);
    FEditor.NotifyTextChanged(0, 0, QString(), 0);
    FEditor.UpdateMetricsAndRepaint();
}

QString TEditorStrings::LineListText() const
{
    return FormatLineList(ToStringList());
}

void TEditorStrings::SetLineListText(const QString& text)
{
    LoadLines(ParseLineList(text));
    FEditor.NotifyTextChanged(0, 0, QString(), 0);
}

void TEditorStrings::BeginUpdate()
{
    ++FUpdateCount;
}

void TEditorStrings::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
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
    Changed();
}

void TEditorStrings::LoadLines(const QStringList& lines)
{
    TListUpdate update(*this);
    FStore.Clear();
    for (const QString& line : lines)
        FStore.Append(FEditor.ExpandTabs(line));
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
    if (!text.contains(u'\t'))
        return text;
    QString expanded = text;
    expanded.replace(u'\t', QString(GetTabStop(0, true), u' '));
    return expanded;
}

QString TCustomEditor::EditedLine(const QString& text) const
{
    QString line = ExpandTabs(text);
    if (!KeepTrailingBlanks())
        line.truncate(TrailingBlanksStart(line));
    return line;
}

int TCustomEditor::SnapColumn(const QString& text, int column)
{
    return IsPairAt(text, column) ? column + 1 : column;
}

void TCustomEditor::InsertText(const QString& rawText)
{
    // Tabs are expanded before the caret's end is counted, so that the caret ends after the blanks
    // they become and the undo record holds the text as stored.
    const QString text = ExpandTabs(rawText);
    TCaretHider hider(*this);
    const int line = FCaretY;
    int column = FCaretX;
    if (column < LineLength(line)) {
        QString current;
        GetLineText(line, current);
        column = SnapColumn(current, column);
    }
    PushUndo<TInsertUndo>(column, line, text);
    InsertTextAt(column, line, text);
    NotifyTextChanged(column, line, text, 1);
    // Only LF counts for the end: a lone CR breaks the line in the store but not here.
    const qsizetype feeds = text.count(u'\n');
    if (feeds == 0)
        PlaceCaret(column + static_cast<int>(text.size()), line);
    else
        PlaceCaret(static_cast<int>(text.size() - text.lastIndexOf(u'\n') - 1), line + static_cast<int>(feeds));
    NotifyChanged();
}

void TCustomEditor::ClearLines()
{
    FLines->Clear();
}

void TCustomEditor::AppendLines(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    const int first = FLines->Count();
    QStringList stored;
    stored.reserve(lines.size());
    {
        TRaisedUpdate raised(*this);
        TListUpdate update(*FLines);
        for (const QString& line : lines) {
            stored << EditedLine(line);
            FLines->FStore.Append(stored.back());
        }
    }
    LinesAppended(first, stored);
    if (UpdateCount() == 0) {
        InvalidateLines(first, FLines->Count() - 1);
        UpdateScrollRanges();
    }
}

void TCustomEditor::InsertTextAt(int column, int line, const QString& text)
{
    line = std::max(line, 0);
    column = std::max(column, 0);
    while (line >= FLines->Count())
        FLines->Add(QString());
    TRaisedUpdate raised(*this);
    TListUpdate update(*FLines);
    const QString current = FLines->FStore.Get(line);
    column = SnapColumn(current, column);
    const QString head = PaddedTo(current.left(column), column);
    const QString tail = current.mid(column);
    const QStringList segments = SplitSegments(text);
    if (segments.size() == 1) {
        WriteLine(line, head + segments.front() + tail);
        return;
    }
    WriteLine(line, head + segments.front());
    const int last = static_cast<int>(segments.size()) - 1;
    for (int k = 1; k < last; ++k)
        FLines->Insert(line + k, segments[k]);
    // The last line is inserted in the form WriteLine would give it.
    FLines->Insert(line + last, EditedLine(segments.back() + tail));
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

    TRaisedUpdate raised(*this);
    TListUpdate update(*FLines);
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
    for (int i = lastLine; i > firstLine; --i)
        FLines->Delete(i);
    WriteLine(firstLine, head + tail);
}

void TCustomEditor::InsertColumnText(int column, int line, const QString& text)
{
    line = std::max(line, 0);
    column = std::max(column, 0);
    TRaisedUpdate raised(*this);
    TListUpdate update(*FLines);
    const QStringList segments = SplitSegments(text);
    for (qsizetype k = 0; k < segments.size(); ++k) {
        const int index = line + static_cast<int>(k);
        while (index >= FLines->Count())
            FLines->Add(QString());
        const QString current = FLines->FStore.Get(index);
        const int at = SnapColumn(current, column);
        WriteLine(index, PaddedTo(current.left(at), at) + segments[k] + current.mid(at));
    }
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

    TRaisedUpdate raised(*this);
    TListUpdate update(*FLines);
    for (int index = firstLine; index <= lastLine; ++index) {
        const QString current = FLines->FStore.Get(index);
        const int size = static_cast<int>(current.size());
        const int start = SnapColumn(current, std::min(firstColumn, size));
        const int end = SnapColumn(current, std::clamp(lastColumn + 1, start, size));
        WriteLine(index, current.left(start) + current.mid(end));
    }
}

void TCustomEditor::WriteLine(int index, const QString& text)
{
    TRaisedUpdate raised(*this);
    FLines->StoreLine(index, EditedLine(text));
}

void TCustomEditor::PadLineToCaret()
{
    // When the caret's place exists already the store is not touched at all: no change event, so
    // typing records the Modified flag as it was before the keystroke and undo can restore it.
    if (FCaretY < FLines->Count() && LineLength(FCaretY) >= FCaretX)
        return;
    TRaisedUpdate raised(*this);
    TListUpdate update(*FLines);
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
    const int length = LineLength(FCaretY);
    if (length < FCaretX)
        FLines->StoreLine(FCaretY, PaddedTo(FLines->FStore.Get(FCaretY), FCaretX));
}
