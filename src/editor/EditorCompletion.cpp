// The completion drop-down's behaviour: opening in identifier or template mode, the keys and
// characters it takes while open, the timer that opens it, and applying an entry.
#include "Editor.h"
#include "EditorUndo.h"

#include <algorithm>

QString TCustomEditor::CompletionEntryName(const QString& entry) const
{
    const qsizetype separator = FCompletion.Separator.isEmpty() ? -1 : entry.indexOf(FCompletion.Separator);
    return separator < 0 ? entry : entry.left(separator);
}

QString TCustomEditor::CompletionEntryText(const QString& entry) const
{
    const qsizetype separator = FCompletion.Separator.isEmpty() ? -1 : entry.indexOf(FCompletion.Separator);
    return separator < 0 ? entry : entry.mid(separator + FCompletion.Separator.size());
}

std::pair<int, int> TCustomEditor::CompletionWordRange() const
{
    QString text;
    GetLineText(FCaretY, text);
    // Past the end of the line the caret stands after blanks: the word there is empty.
    const int column = FCaretX;
    if (column > text.size())
        return {column, column};
    int start = column;
    while (start > 0 && !IsWordSeparator(text[start - 1]))
        --start;
    int end = column;
    while (end < text.size() && !IsWordSeparator(text[end]))
        ++end;
    return {start, end};
}

QString TCustomEditor::CompletionWord() const
{
    QString text;
    GetLineText(FCaretY, text);
    const auto [start, end] = CompletionWordRange();
    return text.mid(start, end - start);
}

int TCustomEditor::CompletionMatch(const QString& word) const
{
    for (qsizetype i = 0; i < FCompletionEntries.size(); ++i) {
        if (CompletionEntryName(FCompletionEntries[i]).startsWith(word, Qt::CaseInsensitive))
            return static_cast<int>(i);
    }
    return -1;
}

bool TCustomEditor::CompletionOpen() const
{
    return Platform() != nullptr && Platform()->CompletionListVisible();
}

void TCustomEditor::OpenCompletion(bool templates)
{
    if (ReadOnly() || Platform() == nullptr)
        return;
    CloseCompletion(false);
    bool cancel = false;
    const TCompletion::TOnCompletion& event =
        templates ? FCompletion.OnCompletionTemplate : FCompletion.OnCompletionIdentifier;
    if (event)
        event(*this, cancel);
    if (cancel)
        return;

    const QString word = CompletionWord();
    QStringList entries;
    if (templates) {
        for (const QString& entry : FCompletion.Templates) {
            if (CompletionEntryName(entry).startsWith(word, Qt::CaseInsensitive))
                entries << entry;
        }
        if (entries.isEmpty())
            entries = FCompletion.Templates;
    } else {
        entries = FCompletion.Identifiers;
    }
    if (entries.isEmpty())
        return;
    FCompletionEntries = entries;
    FCompletionTemplates = templates;

    FCompletionCell = QRect(TextLeft() + 1 + (FCaretX - LeftCol()) * CharWidth(), (FCaretY - TopRow()) * LineHeight(),
                            CharWidth(), LineHeight());
    ShowCompletionEntries(word);
}

void TCustomEditor::ShowCompletionEntries(const QString& word)
{
    QStringList names;
    names.reserve(FCompletionEntries.size());
    for (const QString& entry : FCompletionEntries)
        names << CompletionEntryName(entry);
    const int current = std::max(CompletionMatch(word), 0);
    const int rows = std::min<int>(static_cast<int>(FCompletionEntries.size()), FCompletion.DropDownCount);
    const int width = FCompletion.DropDownWidth > 0 ? FCompletion.DropDownWidth : Platform()->ClientSize().width();
    Platform()->ShowCompletionList(names, current, FCompletionCell, rows, width, FCompletion.ItemHeight);
}

void TCustomEditor::RefreshCompletion()
{
    if (!CompletionOpen() || FCompletionTemplates || !FCompletion.OnCompletionIdentifier)
        return;
    bool cancel = false;
    FCompletion.OnCompletionIdentifier(*this, cancel);
    if (cancel || FCompletion.Identifiers.isEmpty()) {
        Platform()->HideCompletionList();
        return;
    }
    FCompletionEntries = FCompletion.Identifiers;
    ShowCompletionEntries(CompletionWord());
}

bool TCustomEditor::ContinuesCompletionWord(char32_t character)
{
    if (IsAsciiLetterOrDigit(character) || character == U'_' || character == U'$')
        return true;
    return character > 127 && QChar::isLetterOrNumber(character);
}

void TCustomEditor::CloseCompletion(bool apply)
{
    if (!CompletionOpen())
        return;
    const int index = Platform()->CompletionIndex();
    Platform()->HideCompletionList();
    if (apply && index >= 0 && index < FCompletionEntries.size())
        ApplyCompletion(FCompletionEntries[index]);
}

bool TCustomEditor::CompletionKeyDown(int key, TShiftState /*shift*/)
{
    const int count = static_cast<int>(FCompletionEntries.size());
    const int page = std::max(FCompletion.DropDownCount, 1);
    const int index = Platform()->CompletionIndex();
    int target = index;
    switch (key) {
    case vkReturn:
    case vkTab:
        CloseCompletion(true);
        return true;
    case vkEscape:
        CloseCompletion(false);
        return true;
    case vkUp:
        target = index - 1;
        break;
    case vkDown:
        target = index + 1;
        break;
    case vkPrior:
        target = index - page;
        break;
    case vkNext:
        target = index + page;
        break;
    case vkHome:
        target = 0;
        break;
    case vkEnd:
        target = count - 1;
        break;
    default:
        return false;
    }
    Platform()->SetCompletionIndex(std::clamp(target, 0, std::max(count - 1, 0)));
    return true;
}

void TCustomEditor::CompletionCharacter(char32_t character)
{
    if (Platform() == nullptr)
        return;
    if (CompletionOpen()) {
        if (ContinuesCompletionWord(character) || character == U'\b') {
            if (!FCompletionTemplates && FCompletion.OnCompletionIdentifier) {
                RefreshCompletion();
                return;
            }
            const int match = CompletionMatch(CompletionWord());
            if (match >= 0)
                Platform()->SetCompletionIndex(match);
        } else {
            CloseCompletion(true);
        }
        return;
    }
    if (FCompletion.Enabled && !IsAsciiLetterOrDigit(character))
        Platform()->StartTimer(kCompletionTimer, FCompletion.Interval);
}

void TCustomEditor::CompletionTimerFired()
{
    if (Platform() != nullptr)
        Platform()->StopTimer(kCompletionTimer);
    if (!CompletionOpen())
        OpenCompletion(false);
}

void TCustomEditor::ApplyCompletion(const QString& entry)
{
    QString line;
    GetLineText(FCaretY, line);
    const auto [start, end] = CompletionWordRange();
    const QString oldWord = line.mid(start, end - start);
    QString text = CompletionEntryText(entry);
    int caretOffset = -1;
    if (FCompletionTemplates) {
        if (!FCompletion.CRLF.isEmpty())
            text.replace(FCompletion.CRLF, QStringLiteral("\r\n") + QString(start, u' '));
        if (!FCompletion.CaretChar.isEmpty()) {
            caretOffset = static_cast<int>(text.indexOf(FCompletion.CaretChar));
            if (caretOffset >= 0)
                text.remove(caretOffset, FCompletion.CaretChar.size());
        }
    } else if (FCompletion.OnCompletionApply) {
        FCompletion.OnCompletionApply(*this, oldWord, text);
    }

    TCaretHider hider(*this);
    const int y = FCaretY;
    {
        TUpdateBatch batch(*this);
        ChangeText(TTextChangeKind::Replacement, start, y, text,
            MakeUndo<TReplaceUndo>(FCaretX, y, start, y, oldWord, text), [&] {
                if (end > start)
                    DeleteTextRange(start, y, y, end - 1);
                InsertTextAt(start, y, text);
            });
        const QPoint caret = TextEnd(start, y, caretOffset >= 0 ? text.left(caretOffset) : text);
        PlaceCaret(caret.x(), caret.y());
    }
}
