// The statements run in one console, and the position of the previous/next-query commands in them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

// Entries are whole query-pane texts in the line-list form, oldest first in the order of last use.
// Two texts that differ only in letter case under the user's locale (Cyrillic included) are one
// entry. Index is -1 for a new history; after every Record it is the entry count, one past the
// newest, which stands for an empty query pane.
class TQueryHistory {
public:
    // The key of a query pane's text: every line as typed (comments and blank lines included), in the
    // line-list form.
    static QString Key(const QStringList& lines);

    const QStringList& Entries() const { return FEntries; }
    std::int32_t Index() const { return FIndex; }
    // The entry equal to key ignoring case, or -1.
    qsizetype IndexOf(const QString& key) const;

    // A run of key: a new key is appended; a known one moves to the end and keeps the text it was
    // first stored with. The index goes past the newest entry.
    void Record(const QString& key);
    // One step toward the oldest entry: the text to load, or none when the index is already at 0 (or
    // the history is empty).
    std::optional<QString> Back();
    // One step toward the newest entry and then to the empty pane: the text to load (empty past the
    // newest), or none when the index is already there.
    std::optional<QString> Forward();
    void Clear();

    // Entries kept from an earlier run, oldest first; the index goes past the newest.
    void Load(const QStringList& entries);
    // Told every key that Record takes, to keep it beyond this run.
    void SetKeeper(std::function<void(const QString&)> keeper) { FKeeper = std::move(keeper); }

private:
    std::function<void(const QString&)> FKeeper;
    QStringList FEntries;
    std::int32_t FIndex = -1;
};
