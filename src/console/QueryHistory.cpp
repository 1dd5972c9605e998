#include "QueryHistory.h"

#include <QCollator>

#include "LineList.h"

QString TQueryHistory::Key(const QStringList& lines)
{
    return FormatLineList(lines);
}

qsizetype TQueryHistory::IndexOf(const QString& key) const
{
    // The same text again, as when a statement is run once more, is found by comparing bytes; the
    // collation, which reads a long entry character by character, is asked only after.
    if (const qsizetype same = FEntries.lastIndexOf(key); same >= 0)
        return same;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (qsizetype i = 0; i < FEntries.size(); ++i) {
        if (collator.compare(FEntries[i], key) == 0)
            return i;
    }
    return -1;
}

void TQueryHistory::Record(const QString& key)
{
    const qsizetype found = IndexOf(key);
    if (found < 0)
        FEntries.append(key);
    else
        FEntries.move(found, FEntries.size() - 1);
    FIndex = static_cast<std::int32_t>(FEntries.size());
    if (FKeeper)
        FKeeper(key);
}

void TQueryHistory::Load(const QStringList& entries)
{
    FEntries = entries;
    FIndex = FEntries.isEmpty() ? -1 : static_cast<std::int32_t>(FEntries.size());
}

std::optional<QString> TQueryHistory::Back()
{
    if (FIndex <= 0)
        return std::nullopt;
    --FIndex;
    return FEntries[FIndex];
}

std::optional<QString> TQueryHistory::Forward()
{
    if (FEntries.size() <= FIndex)
        return std::nullopt;
    ++FIndex;
    return FIndex < FEntries.size() ? FEntries[FIndex] : QString();
}

void TQueryHistory::Clear()
{
    FEntries.clear();
    FIndex = -1;
}
