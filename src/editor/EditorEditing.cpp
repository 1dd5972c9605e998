// The commands that change the text: typing, Enter, deleting, tabs, block indent, case conversion,
// and the clipboard with the selection's block format.
#include "Editor.h"
#include "EditorUndo.h"
#include "MappedBlock.h"
#include "Utf8.h"

#include <QLocale>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

// The characters whose runs start a smart tab stop.
bool IsTabWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'_';
}

// The units one character takes at a column: 2 for a surrogate pair, else 1 (0 past the end).
int CharacterSize(const QString& text, int column)
{
    if (column >= text.size())
        return 0;
    return IsPairAt(text, column + 1) ? 2 : 1;
}

QString TrimmedRight(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return text.left(end);
}

int LeadingBlanks(const QString& text)
{
    int count = 0;
    while (count < text.size() && text[count] == u' ')
        ++count;
    return count;
}

QString WithLineBreaks(const QString& text)
{
    // One pass, and none at all when every break is a CR LF already (text copied from an editor):
    // a pasted text of millions of lines is neither copied nor moved for its breaks.
    const qsizetype size = text.size();
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    qsizetype lone = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (units[i] == u'\r' && (i + 1 == size || units[i + 1] != u'\n'))
            ++lone;
        else if (units[i] == u'\n' && (i == 0 || units[i - 1] != u'\r'))
            ++lone;
    }
    if (lone == 0)
        return text;
    QString result;
    result.reserve(size + lone);
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (units[i] != u'\r' && units[i] != u'\n')
            continue;
        result.append(QStringView(units + start, i - start));
        result.append(kLineBreak);
        if (units[i] == u'\r' && i + 1 < size && units[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    result.append(QStringView(units + start, size - start));
    return result;
}

QString ToggledCase(const QString& text, const QLocale& locale)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype size = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
        const QString character = text.mid(i, size);
        const char32_t code = character.toUcs4().value(0);
        result += QChar::isUpper(code) ? locale.toLower(character) : locale.toUpper(character);
        i += size;
    }
    return result;
}

} // namespace

// ---- Typing

void TCustomEditor::InsertChar(char32_t character)
{
    if (character == U'\r') {
        NewLine();
        return;
    }
    if (character < 32 || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return;
    // The caret cannot pass the last column: a character typed there would push the one before it
    // along and come out in reverse order.
    if (FCaretX + (character > 0xFFFF ? 2 : 1) > kMaxColumn) {
        if (BeepOnError() && Platform() != nullptr)
            Platform()->Beep();
        return;
    }
    const bool letterOrDigit = ContinuesCompletionWord(character);
    if (!letterOrDigit)
        CompletionCharacter(character);

    TCaretHider hider(*this);
    FMoveWithUndo = false;
    // A character typed over a selection replaces it in one step, which one undo takes back whole.
    std::optional<TCompoundGroup> group;
    if (FSel.Selected)
        group.emplace(*this);
    DeleteSelectedIfAny();
    PadLineToCaret();
    const QString typed = QString::fromUcs4(&character, 1);
    const int y = FCaretY;
    // Typing into a line that an edit would write as it stands (no blanks to cut) goes straight into
    // the store, without a copy of the whole line: a key in a long line costs what it moves.
    const std::string_view bytes = LineBytes(y);
    if (InsertMode() && bytes.find('\t') == std::string_view::npos
        && (KeepTrailingBlanks() || (character != U' ' && (bytes.empty() || bytes.back() != ' ')))) {
        QString around;
        GetLineSlice(y, FCaretX - 1, 2, around);
        const bool inPair = FCaretX > 0 && around.size() == 2 && around[0].isHighSurrogate() && around[1].isLowSurrogate();
        const int x = inPair ? FCaretX + 1 : FCaretX;
        const int after = x + static_cast<int>(typed.size());
        ChangeText(TTextChangeKind::Insertion, after, y, typed, MakeUndo<TInsertUndo>(x, y, typed),
            [&] {
                TRaisedUpdate raised(*this);
                FLines->InsertInLine(y, x, typed);
            });
        PlaceCaret(after, y);
        group.reset();
        if (letterOrDigit)
            CompletionCharacter(character);
        return;
    }
    QString line;
    GetLineText(y, line);
    const int x = SnapColumn(line, FCaretX);
    const int after = x + static_cast<int>(typed.size());
    if (InsertMode()) {
        ChangeText(TTextChangeKind::Insertion, after, y, typed, MakeUndo<TInsertUndo>(x, y, typed), [&] {
            line.insert(x, typed);
            WriteLine(y, line);
        });
    } else {
        // A character typed over another removes that one: the change is a replacement, which a
        // highlighter rescans whatever the characters.
        const int replacedSize = CharacterSize(line, x);
        const QString replaced = line.mid(x, replacedSize);
        ChangeText(replaced.isEmpty() ? TTextChangeKind::Insertion : TTextChangeKind::Replacement, after, y, typed,
            MakeUndo<TOverwriteUndo>(x, y, typed, replaced), [&] {
                line.replace(x, replacedSize, typed);
                WriteLine(y, line);
            });
    }
    PlaceCaret(after, y);
    group.reset();

    if (letterOrDigit)
        CompletionCharacter(character);
}

void TCustomEditor::NewLine()
{
    TCaretHider hider(*this);
    FMoveWithUndo = false;
    if (!InsertMode()) {
        {
            std::optional<TCompoundGroup> group;
            if (FSel.Selected)
                group.emplace(*this);
            DeleteSelectedIfAny();
        }
        const int y = FCaretY;
        while (LineCount() <= y)
            Lines().Add(QString());
        const bool appended = y + 1 >= LineCount();
        if (appended) {
            // The break is recorded at the end of the line, so that undoing it joins nothing else; the
            // caret record before it brings the caret back to where it stood.
            TCompoundGroup group(*this);
            PushUndo<TCaretUndo>(FCaretX, FCaretY);
            const int end = LineLength(y);
            ChangeText(TTextChangeKind::Insertion, end, y, kLineBreak, MakeUndo<TInsertUndo>(end, y, kLineBreak),
                [&] { Lines().Add(QString()); });
            UpdateMetrics();
        }
        int x = FCaretX;
        if (LineLength(y + 1) > 0)
            x = std::min(x, FirstNonBlank(y + 1) - 1);
        // Without a line added the key only moves the caret, and the move is undone like any other.
        if (appended)
            PlaceCaret(x, y + 1);
        else
            SetCaret(x, y + 1);
        return;
    }

    int indent = 0;
    int y = 0;
    {
        TUpdateBatch batch(*this);
        std::optional<TCompoundGroup> group;
        if (FSel.Selected)
            group.emplace(*this);
        DeleteSelectedIfAny();
        // The break goes in at the caret, or at the end of the line when the caret stands past it:
        // the cells between were never typed, and no blanks are stored for them.
        AppendLinesThrough(FCaretY);
        y = FCaretY;
        QString line;
        GetLineText(y, line);
        const int caretX = FCaretX;
        const int x = std::min(SnapColumn(line, caretX), static_cast<int>(line.size()));
        // The undo brings the caret back to where it stood, past the end too.
        if (x < caretX) {
            if (!group)
                group.emplace(*this);
            PushUndo<TCaretUndo>(caretX, y);
        }
        ChangeText(TTextChangeKind::Insertion, x - 1, y, kLineBreak, MakeUndo<TInsertUndo>(x, y, kLineBreak), [&] {
            const QString head = line.left(x);
            const QString tail = line.mid(x);
            Lines().Insert(y + 1, tail);
            WriteLine(y, head);
            if (AutoIndent() && ((!head.isEmpty() && head[0] == u' ') || (head.isEmpty() && caretX >= 1)))
                indent = GetAutoIndentColumn(y + 1);
            // The indentation is stored only in front of text; on a line left empty the caret stands
            // at it, and typing there puts the blanks in with what is typed.
            if (indent > 0 && !tail.isEmpty()) {
                const QString blanks(indent, u' ');
                PushUndo<TInsertUndo>(0, y + 1, blanks);
                WriteLine(y + 1, blanks + tail);
            }
        });
        UpdateMetrics();
    }
    InvalidateAll();
    PlaceCaret(indent, y + 1);
}

int TCustomEditor::GetAutoIndentColumn(int line) const
{
    for (int above = std::min(line, LineCount()) - 1; above >= 1; --above) {
        QString text;
        GetLineText(above, text);
        if (!TrimmedRight(text).isEmpty())
            return LeadingBlanks(text);
    }
    return 0;
}

// ---- Deleting

void TCustomEditor::Backspace(int& x, int& y)
{
    if (FSel.Selected) {
        {
            TCompoundGroup group(*this);
            DeleteSelection();
        }
        x = FCaretX;
        y = FCaretY;
        return;
    }
    FMoveWithUndo = false;
    if (FCaretX == 0) {
        if (FCaretY == 0 || FCaretY >= LineCount())
            return;
        {
            TUpdateBatch batch(*this);
            const int line = FCaretY;
            const int end = LineLength(line - 1);
            ChangeText(TTextChangeKind::Deletion, end, line - 1, kLineBreak,
                MakeUndo<TBackspaceUndo>(end + 1, line - 1, QStringLiteral("\n")), [&] {
                    // The caret leaves the joined line first, so that the store's change does not
                    // move it with an undo record of its own.
                    PlaceCaret(end, line - 1);
                    DeleteTextRange(end, line - 1, line, -1);
                });
            x = end;
            y = line - 1;
            UpdateMetrics();
        }
        InvalidateAll();
        return;
    }
    QString line;
    GetLineText(FCaretY, line);
    const int column = SnapColumn(line, FCaretX);
    int target = BackSpaceUnindents() ? GetBackspaceStop(column, FCaretY) : column - 1;
    // Past the end of the line there is nothing to remove: the caret only steps back, and what lies
    // between it and the text stays unstored. An unindent from there takes the blanks the line has.
    if (target >= line.size()) {
        FMoveWithUndo = true;
        x = target;
        y = FCaretY;
        return;
    }
    const int end = std::min(column, static_cast<int>(line.size()));
    if (target == end - 1 && IsPairAt(line, end - 1))
        --target;
    target = std::clamp(target, 0, end - 1);
    const QString removed = line.mid(target, end - target);
    const bool oneCharacter = removed.size() == 1 || (removed.size() == 2 && IsPairAt(line, end - 1));
    ChangeText(TTextChangeKind::Deletion, end, FCaretY, removed,
        oneCharacter ? MakeUndo<TBackspaceUndo>(end, FCaretY, removed)
                     : MakeUndo<TBackspaceUnindentUndo>(end, FCaretY, removed),
        [&] { DeleteTextRange(target, FCaretY, FCaretY, end - 1); });
    x = target;
    y = FCaretY;
}

int TCustomEditor::GetBackspaceStop(int column, int line) const
{
    QString text;
    GetLineText(line, text);
    const QString content = TrimmedRight(text);
    for (int i = 0; i < std::min<int>(column, static_cast<int>(content.size())); ++i) {
        if (content[i] != u' ')
            return column - 1;
    }
    if (column < content.size() && content[column] == u' ')
        return column - 1;

    // The indentations of the lines above, nearest first: each one left of the last one found.
    int best = 0;
    int limit = column;
    const int lines = 2 * VisibleRows();
    for (int above = line - 1, seen = 0; above >= 0 && seen < lines; --above, ++seen) {
        GetLineText(above, text);
        const int first = LeadingBlanks(text);
        if (first >= text.size())
            continue;
        if (first < limit) {
            best = std::max(best, first);
            limit = first + 1;
        }
        if (first == 0)
            break;
    }
    return best;
}

void TCustomEditor::DeleteAtCaret(int& x, int& y)
{
    if (LineCount() == 0)
        Lines().Add(QString());
    if (FSel.Selected) {
        DeleteSelection();
        x = FCaretX;
        y = FCaretY;
        return;
    }
    FMoveWithUndo = false;
    QString line;
    GetLineText(FCaretY, line);
    const int column = SnapColumn(line, FCaretX);
    if (column < line.size()) {
        const QString removed = line.mid(column, CharacterSize(line, column));
        ChangeText(TTextChangeKind::Deletion, column, FCaretY, removed, MakeUndo<TDeleteUndo>(column, FCaretY, removed),
            [&] { DeleteTextRange(column, FCaretY, FCaretY, column + static_cast<int>(removed.size()) - 1); });
        x = column;
    } else if (FCaretY + 1 < LineCount()) {
        // The join puts blanks up to the caret first; where they stay, they are recorded as padding
        // so that the undo takes them away again.
        if (KeepTrailingBlanks())
            PadLineToCaret();
        ChangeText(TTextChangeKind::Deletion, FCaretX, FCaretY, kLineBreak,
            MakeUndo<TDeleteUndo>(FCaretX, FCaretY, kLineBreak),
            [&] { DeleteTextRange(FCaretX, FCaretY, FCaretY + 1, -1); });
        UpdateMetrics();
    }
}

void TCustomEditor::DeleteLine()
{
    const int y = FCaretY;
    const int count = LineCount();
    if (y >= count)
        return;
    QString line;
    GetLineText(y, line);
    const bool last = y == count - 1;
    if (last && line.isEmpty())
        return;
    {
        TUpdateBatch batch(*this);
        // A selection would point at the wrong lines once this one is gone: it is dropped, and comes
        // back with the line in the same undo step.
        std::optional<TCompoundGroup> group;
        if (FSel.Selected) {
            group.emplace(*this);
            Unselect();
        }
        ChangeText(TTextChangeKind::Deletion, 0, y, line, MakeUndo<TDeleteLineUndo>(FCaretX, y, line, last), [&] {
            if (last)
                WriteLine(y, QString());
            else
                Lines().Delete(y);
        });
        PlaceCaret(0, y);
    }
    InvalidateAll();
}

void TCustomEditor::DeleteWord()
{
    TCompoundGroup group(*this);
    TUpdateBatch batch(*this);
    // The records below hold the stream format; this one holds the user's, for the undo to end with.
    PushUndo<TSelectUndo>(FCaretX, FCaretY);
    const TSelBlockFormat format = FSel.SelBlockFormat;
    FSel.SelBlockFormat = bfNonInclusive;
    Command(cmdSelWordRight);
    // The word goes as the stream it was selected as; the user's format comes back afterwards, so that
    // a line or column format cannot widen what is deleted.
    Command(cmdDeleteSelection);
    FSel.SelBlockFormat = format;
}

// ---- Tabs and block indent

void TCustomEditor::Tab(bool next, int& x, int& y)
{
    const int stop = GetSmartTabStop(FCaretX, FCaretY, next);
    x = stop;
    if (ReadOnly())
        return;
    std::optional<TCompoundGroup> group;
    if (next && FSel.Selected && InsertMode()) {
        group.emplace(*this);
        DeleteSelection();
    }
    y = FCaretY;
    // Only an insertion makes the caret's place real: a key that merely moves the caret leaves no
    // padding blanks behind, which no undo would take away again.
    if (next && InsertMode()) {
        PadLineToCaret();
        QString line;
        GetLineText(FCaretY, line);
        const int column = SnapColumn(line, FCaretX);
        // Inside a quoted string or name the key types a TAB, which is data there.
        const bool literal = ExpandTabsAt(QStringLiteral("\t"), column, FCaretY) == u"\t";
        if (literal)
            x = column + 1;
        if (stop > column || literal) {
            FMoveWithUndo = false;
            const QString blanks = literal ? QStringLiteral("\t") : QString(stop - column, u' ');
            ChangeText(TTextChangeKind::Insertion, column, FCaretY, blanks,
                MakeUndo<TInsertTabUndo>(column, FCaretY, blanks), [&] { InsertTextAt(column, FCaretY, blanks); });
        }
    }
}

int TCustomEditor::GetSmartTabStop(int column, int line, bool next) const
{
    if (!next)
        return GetTabStop(column, false);
    if (SmartTab()) {
        int best = INT_MAX;
        auto consider = [&](int stop) {
            if (stop > column && stop <= kMaxColumn)
                best = std::min(best, stop);
        };
        // p is the 1-based running position: a line further up only adds stops beyond the lines
        // below it.
        int p = 1;
        const int lines = 2 * VisibleRows();
        for (int above = line - 1, seen = 0; above >= 0 && seen < lines && p - 1 <= kMaxColumn - 1;
             --above, ++seen) {
            QString text;
            GetLineText(above, text);
            const QString content = TrimmedRight(text);
            const int length = static_cast<int>(content.size());
            if (p < length)
                consider(length);
            for (int q = p - 1; q < length;) {
                if (IsTabWordChar(content[q])) {
                    consider(q);
                    while (q < length && IsTabWordChar(content[q]))
                        ++q;
                } else {
                    ++q;
                }
            }
            p = std::max(p, length + 1);
        }
        if (best != INT_MAX)
            return best;
    }
    return GetTabStop(column, true);
}

void TCustomEditor::IndentBlock(bool indent)
{
    if (!FSel.Selected)
        return;
    // The block moves with its text; a selection record first lets the undo put back the selection
    // and the caret exactly as they were.
    TCompoundGroup group(*this);
    PushUndo<TSelectUndo>(FCaretX, FCaretY);
    if (FSel.SelBlockFormat == bfColumn) {
        if (indent)
            IndentColumns(FSel.SelBegX, FSel.SelBegY, FSel.SelEndY);
        else
            UnindentColumns(FSel.SelBegX, FSel.SelBegY, FSel.SelEndY);
        return;
    }
    const int first = FSel.SelBegY;
    int last = FSel.SelEndY;
    if (FSel.SelEndX == 0 && last > first)
        --last;
    const int firstBefore = FirstNonBlank(first);
    const int lastBefore = FirstNonBlank(last);
    if (indent)
        IndentColumns(0, first, last);
    else
        UnindentColumns(0, first, last);
    const int firstChange = FirstNonBlank(first) - firstBefore;
    const int lastChange = FirstNonBlank(last) - lastBefore;
    // A line block keeps running from column 0 to the end; its real columns move instead.
    int& begX = FSel.SelBlockFormat == bfLine ? FSel.LineModeBegX : FSel.SelBegX;
    int& endX = FSel.SelBlockFormat == bfLine ? FSel.LineModeEndX : FSel.SelEndX;
    const bool endMoves = endX > 0;
    begX = std::clamp(begX + firstChange, 0, kMaxColumn);
    if (endMoves)
        endX = std::clamp(endX + lastChange, 0, kMaxColumn);
    // Unindenting may pull a one-line selection's end onto its start: nothing is selected then.
    if (FSel.SelBlockFormat != bfLine && FSel.SelBegY == FSel.SelEndY && FSel.SelBegX >= FSel.SelEndX)
        FSel.Selected = false;
    if (FCaretY == last && endMoves)
        PlaceCaret(FCaretX + lastChange, FCaretY);
    else if (FCaretY == first)
        PlaceCaret(FCaretX + firstChange, FCaretY);
    InvalidateSelectedLines();
}

void TCustomEditor::IndentColumns(int column, int firstLine, int lastLine)
{
    firstLine = std::max(firstLine, 0);
    lastLine = std::min(lastLine, LineCount() - 1);
    if (lastLine < firstLine)
        return;
    QStringList blanks;
    for (int line = firstLine; line <= lastLine; ++line)
        blanks << QStringLiteral("  ");
    const QString text = blanks.join(kLineBreak);
    ChangeText(TTextChangeKind::ColumnInsertion, column, firstLine, text,
        MakeUndo<TInsertColumnUndo>(column, firstLine, text), [&] { InsertColumnText(column, firstLine, text); });
    if (UpdateCount() == 0)
        InvalidateAll();
}

void TCustomEditor::UnindentColumns(int column, int firstLine, int lastLine)
{
    firstLine = std::max(firstLine, 0);
    lastLine = std::min(lastLine, LineCount() - 1);
    if (lastLine < firstLine || column < 0)
        return;
    QStringList removed;
    bool any = false;
    for (int line = firstLine; line <= lastLine; ++line) {
        QString text;
        GetLineText(line, text);
        int count = 0;
        while (count < 2 && column + count < text.size() && text[column + count] == u' ')
            ++count;
        removed << QString(count, u' ');
        any = any || count > 0;
    }
    if (!any)
        return;
    const QString text = removed.join(kLineBreak);
    ChangeText(TTextChangeKind::ColumnDeletion, column, firstLine, text,
        MakeUndo<TUnindentColumnUndo>(column, firstLine, text), [&] {
            TRaisedUpdate raised(*this);
            for (int line = firstLine; line <= lastLine; ++line) {
                const int count = static_cast<int>(removed[line - firstLine].size());
                if (count > 0)
                    DeleteColumnText(column, line, line, column + count - 1);
            }
        });
    if (UpdateCount() == 0)
        InvalidateAll();
}

// ---- Selection and clipboard

void TCustomEditor::AppendLinesThrough(int line)
{
    if (LineCount() > line)
        return;
    // Each appended line gets an attached line-break record, as PadLineToCaret gives it, so that
    // undoing a column block below the text removes the lines it added.
    ChangeText(TTextChangeKind::Insertion, 0, LineCount(), kLineBreak, nullptr, [&] {
        bool first = true;
        while (LineCount() <= line) {
            const int count = LineCount();
            PushUndo<TReLineUndo>(first && count > 0 ? LineLength(count - 1) : 0, std::max(count - 1, 0), kLineBreak);
            Lines().Add(QString());
            first = false;
        }
    });
}

bool TCustomEditor::SelectionLinesExist() const
{
    return FSel.SelBegY >= 0 && FSel.SelEndY < LineCount() && FSel.SelBegY <= FSel.SelEndY;
}

QByteArray TCustomEditor::SelectionBytes()
{
    if (!FSel.Selected)
        return {};
    if (!SelectionLinesExist()) {
        if (BeepOnError() && Platform() != nullptr)
            Platform()->Beep();
        return {};
    }
    // The columns of each line that the selection covers; the store's slices move a column between
    // the halves of a pair to after the pair, as everywhere in the editor.
    const TLineStore& store = FLines->FStore;
    const int endColumn = FSel.SelBlockFormat == bfInclusive ? FSel.SelEndX + 1 : FSel.SelEndX;
    const auto slice = [&](int line) {
        const int size = store.Length(line);
        if (FSel.SelBlockFormat == bfColumn) {
            const int from = std::min(FSel.SelBegX, size);
            return store.Bytes(line, from, std::clamp(FSel.SelEndX + 1, from, size) - from);
        }
        const int from = line == FSel.SelBegY ? std::min(FSel.SelBegX, size) : 0;
        const int to = line == FSel.SelEndY ? std::clamp(endColumn, from, size) : size;
        return store.Bytes(line, from, to - from);
    };
    // Measured first, then written once: a selection of millions of lines costs one buffer of its
    // own size and no string per line.
    std::size_t size = 2 * static_cast<std::size_t>(FSel.SelEndY - FSel.SelBegY);
    for (int line = FSel.SelBegY; line <= FSel.SelEndY; ++line)
        size += slice(line).size();
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    char* out = bytes.data();
    TMappedBlock::Prefault(out, size);
    for (int line = FSel.SelBegY; line <= FSel.SelEndY; ++line) {
        if (line > FSel.SelBegY) {
            *out++ = '\r';
            *out++ = '\n';
        }
        const std::string_view part = slice(line);
        if (!part.empty())
            std::memcpy(out, part.data(), part.size());
        out += part.size();
    }
    return bytes;
}

QString TCustomEditor::SelectedText()
{
    const QByteArray bytes = SelectionBytes();
    return TLineStore::Decode(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QByteArray TCustomEditor::SelectionClipboardBytes()
{
    QByteArray bytes = SelectionBytes();
    ReplaceLoneSurrogates(bytes.data(), static_cast<std::size_t>(bytes.size()));
    return bytes;
}

void TCustomEditor::CopySelection()
{
    if (Platform() == nullptr)
        return;
    Platform()->WriteClipboard(SelectionClipboardBytes(), FSel.SelBlockFormat);
}

void TCustomEditor::DeleteSelectedIfAny()
{
    if (FSel.Selected)
        DeleteSelection();
}

void TCustomEditor::DeleteSelection()
{
    if (!FSel.Selected)
        return;
    TCaretHider hider(*this);
    FMoveWithUndo = false;
    if (!SelectionLinesExist()) {
        // A selection left behind by ClearLines: reading it beeps, and it deletes nothing.
        SelectedText();
        FSel.Selected = false;
        FSel.SelAnchored = false;
        return;
    }
    {
        TUpdateBatch batch(*this);
        const QString text = SelectedText();
        // The record keeps the selection as it is, before it is dropped.
        std::unique_ptr<TUndo> undo = MakeUndo<TDeleteSelectedUndo>(FCaretX, FCaretY, text);
        FSel.Selected = false;
        FSel.SelAnchored = false;
        const int begX = FSel.SelBegX;
        const int begY = FSel.SelBegY;
        if (FSel.SelBlockFormat == bfColumn) {
            ChangeText(TTextChangeKind::ColumnDeletion, begX, begY, text, std::move(undo),
                [&] { DeleteColumnText(begX, begY, FSel.SelEndY, FSel.SelEndX); });
            PlaceCaret(begX, FCaretY);
        } else {
            const int lastColumn = FSel.SelBlockFormat == bfInclusive ? FSel.SelEndX : FSel.SelEndX - 1;
            // What goes is the selected text: a start past the end of its line stands for the line's
            // end, and no blanks are put in to reach it.
            const int from = std::min(begX, LineLength(begY));
            ChangeText(TTextChangeKind::Deletion, from, begY, text, std::move(undo), [&] {
                // The caret leaves the lines that go before they go (see Backspace).
                PlaceCaret(from, begY);
                DeleteTextRange(from, begY, FSel.SelEndY, lastColumn);
            });
            PlaceCaret(from, begY);
        }
    }
}

void TCustomEditor::PasteClipboard()
{
    QString text;
    int format = -1;
    if (Platform() != nullptr && Platform()->ReadClipboard(text, format))
        PasteText(text, format);
}

void TCustomEditor::PasteText(QString text, int format)
{
    TCaretHider hider(*this);
    FMoveWithUndo = false;
    TUpdateBatch batch(*this);
    text = ExpandTabsAt(WithLineBreaks(text), FSel.Selected ? FSel.SelBegX : FCaretX, FSel.Selected ? FSel.SelBegY : FCaretY);
    // The caret record at the start of the group brings the caret back to where it stood, also when
    // the paste appended lines below the text.
    TCompoundGroup group(*this);
    PushUndo<TCaretUndo>(FCaretX, FCaretY);
    // A stream or line selection leaves the caret where it started (at most at its line's end); a
    // column block is replaced at its corner.
    int targetX = FCaretX;
    int targetY = FCaretY;
    if (FSel.Selected) {
        const bool column = FSel.SelBlockFormat == bfColumn && SelectionLinesExist();
        const QPoint corner(FSel.SelBegX, FSel.SelBegY);
        DeleteSelection();
        targetX = column ? corner.x() : FCaretX;
        targetY = column ? corner.y() : FCaretY;
    }
    const bool knownFormat = format >= bfInclusive && format <= bfNonInclusive;
    SetSelBlockFormat(knownFormat ? static_cast<TSelBlockFormat>(format) : bfNonInclusive);
    QPoint end;
    if (FSel.SelBlockFormat == bfLine) {
        // Whole lines go in above the target's line, at column 0: nothing is padded for them.
        targetX = 0;
        AppendLinesThrough(targetY);
    } else if (FSel.SelBlockFormat != bfColumn) {
        // A stream goes in where the caret stands, past the end of its line too, as typing does.
        AppendLinesThrough(targetY);
        PadLineTo(targetX, targetY);
    }
    QString line;
    GetLineText(targetY, line);
    targetX = SnapColumn(line, targetX);
    if (FSel.SelBlockFormat == bfColumn) {
        AppendLinesThrough(targetY + static_cast<int>(text.count(kLineBreak)));
        ChangeText(TTextChangeKind::ColumnInsertion, targetX, targetY, text,
            MakeUndo<TInsertColumnUndo>(targetX, targetY, text), [&] { InsertColumnText(targetX, targetY, text); });
        end = QPoint(FCaretX, targetY + static_cast<int>(text.count(kLineBreak)));
    } else {
        if (FSel.SelBlockFormat == bfLine && !text.endsWith(u'\n'))
            text += kLineBreak;
        ChangeText(TTextChangeKind::Insertion, targetX, targetY, text, MakeUndo<TInsertUndo>(targetX, targetY, text),
            [&] { InsertTextAt(targetX, targetY, text); });
        end = TextEnd(targetX, targetY, text);
    }
    PlaceCaret(end.x(), end.y());
}

void TCustomEditor::ReplaceSelection(const QString& text)
{
    TCaretHider hider(*this);
    FMoveWithUndo = false;
    TUpdateBatch batch(*this);
    TCompoundGroup group(*this);
    // A column block goes back in at the block's corner; other text at the caret, which deleting a
    // stream or line selection has put at its start.
    const bool column = FSel.SelBlockFormat == bfColumn && FSel.Selected && SelectionLinesExist();
    const int cornerX = FSel.SelBegX;
    const int cornerY = FSel.SelBegY;
    DeleteSelectedIfAny();
    const int startX = column ? cornerX : FCaretX;
    const int startY = column ? cornerY : FCaretY;
    QPoint end;
    if (column) {
        AppendLinesThrough(startY + static_cast<int>(text.count(kLineBreak)));
        ChangeText(TTextChangeKind::ColumnInsertion, startX, startY, text,
            MakeUndo<TInsertColumnUndo>(startX, startY, text), [&] { InsertColumnText(startX, startY, text); });
        int width = 0;
        const QStringList segments = text.split(kLineBreak);
        for (const QString& segment : segments)
            width = std::max(width, static_cast<int>(segment.size()));
        end = QPoint(startX + width - 1, startY + static_cast<int>(segments.size()) - 1);
    } else {
        InsertText(text);
        end = QPoint(FCaretX, FCaretY);
        // An inclusive selection ends on its last character; one that ended on an empty line (its
        // text ends with the break) ends at that line's column 0 again.
        if (FSel.SelBlockFormat == bfInclusive)
            end.rx() = std::max(end.x() - 1, 0);
    }
    // A column block without a single character (its lines held nothing in those columns) is empty.
    const bool empty = text.isEmpty() || (column && end.x() < startX);
    if (!empty)
        SetSelection(startX, startY, end.y(), end.x());
}

void TCustomEditor::ConvertCase(TCommand command)
{
    const QString text = SelectedText();
    const QLocale locale;
    QString converted;
    if (command == cmdUpperCase)
        converted = locale.toUpper(text);
    else if (command == cmdLowerCase)
        converted = locale.toLower(text);
    else
        converted = ToggledCase(text, locale);
    ReplaceSelection(converted);
}

bool TCustomEditor::RunEditingCommand(TCommand command, int& x, int& y)
{
    const bool readOnly = ReadOnly();
    switch (command) {
    case cmdBackspace:
        if (!readOnly)
            Backspace(x, y);
        return readOnly;
    case cmdDelete:
        if (!readOnly)
            DeleteAtCaret(x, y);
        return readOnly;
    case cmdDeleteLine:
        if (!readOnly)
            DeleteLine();
        return true;
    case cmdDeleteWord:
        if (!readOnly)
            DeleteWord();
        return true;
    case cmdTab:
    case cmdBackTab:
        Tab(command == cmdTab, x, y);
        return false;
    case cmdIndentBlock:
    case cmdUnindentBlock:
        if (!readOnly)
            IndentBlock(command == cmdIndentBlock);
        return true;
    case cmdDeleteSelection:
        if (!readOnly && FSel.Selected) {
            DeleteSelection();
            x = FCaretX;
            y = FCaretY;
        }
        return false;
    case cmdCopy:
        CopySelection();
        return false;
    case cmdCut:
        if (!readOnly) {
            CopySelection();
            DeleteSelection();
            x = FCaretX;
            y = FCaretY;
        }
        return false;
    case cmdPaste:
        if (!readOnly) {
            PasteClipboard();
            x = FCaretX;
            y = FCaretY;
        }
        return false;
    case cmdUpperCase:
    case cmdLowerCase:
    case cmdToggleCase:
        if (!readOnly) {
            ConvertCase(command);
            x = FCaretX;
            y = FCaretY;
        }
        return false;
    default:
        return false;
    }
}
