#include "LineStore.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>

#include "Utf8.h"

namespace {

std::u16string_view Units(QStringView text)
{
    return {text.utf16(), static_cast<std::size_t>(text.size())};
}

std::uint32_t EncodedSize(QStringView text)
{
    return static_cast<std::uint32_t>(Utf8Size(Units(text)));
}

void Encode(QStringView text, std::uint32_t bytes, char* out)
{
    EncodeUtf8(Units(text), bytes, out, TLoneSurrogate::Keep);
}

// Decodes the store's bytes, given their length in units.
QString DecodeBytes(const char* data, std::size_t bytes, std::size_t units)
{
    if (bytes == units)
        return QString::fromLatin1(data, static_cast<qsizetype>(bytes));
    QString text(static_cast<qsizetype>(units), Qt::Uninitialized);
    DecodeOwnUtf8({data, bytes}, reinterpret_cast<char16_t*>(text.data()));
    return text;
}

} // namespace

QString TLineStore::Get(int index) const
{
    assert(index >= 0 && index < Count());
    const TEntry& entry = FIndex[index];
    if (entry.Bytes == 0)
        return QString();
    return DecodeBytes(FBlocks[entry.Block].Data() + entry.Offset, entry.Bytes, entry.Units);
}

QString TLineStore::Get(int index, int from, int count) const
{
    assert(index >= 0 && index < Count());
    const TEntry& entry = FIndex[index];
    const auto units = static_cast<qint64>(entry.Units);
    const qint64 first = std::clamp<qint64>(from, 0, units);
    const qint64 last = std::clamp<qint64>(first + std::max(count, 0), first, units);
    if (first == last)
        return QString();
    const char* data = FBlocks[entry.Block].Data() + entry.Offset;
    // An ASCII line has one byte per unit: the slice is read directly, whatever the line's length.
    if (entry.Bytes == entry.Units)
        return QString::fromLatin1(data + first, static_cast<qsizetype>(last - first));
    // Otherwise the bytes are walked by their lead bytes; a slice that starts between the halves of
    // a pair begins with the pair's second half.
    const std::string_view bytes(data, entry.Bytes);
    const TUtf8Position begin = SeekOwnUtf8(bytes, {}, static_cast<std::size_t>(first), false);
    const TUtf8Position end = SeekOwnUtf8(bytes, begin, static_cast<std::size_t>(last), true);
    QString slice = DecodeBytes(data + begin.Byte, end.Byte - begin.Byte, end.Units - begin.Units);
    return slice.mid(first - static_cast<qint64>(begin.Units), last - first);
}

QString TLineStore::Decode(std::string_view bytes)
{
    return DecodeBytes(bytes.data(), bytes.size(), OwnUtf16Length(bytes));
}

std::string_view TLineStore::Bytes(int index, int from, int count) const
{
    const std::string_view line = Bytes(index);
    const auto units = static_cast<qint64>(FIndex[index].Units);
    const qint64 first = std::clamp<qint64>(from, 0, units);
    const qint64 last = std::clamp<qint64>(first + std::max(count, 0), first, units);
    if (line.size() == static_cast<std::size_t>(units))
        return line.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first));
    // The bytes are walked by their lead bytes; a unit position inside a pair moves after it.
    const TUtf8Position begin = SeekOwnUtf8(line, {}, static_cast<std::size_t>(first), true);
    const TUtf8Position end = SeekOwnUtf8(line, begin, static_cast<std::size_t>(last), true);
    return line.substr(begin.Byte, end.Byte - begin.Byte);
}

int TLineStore::Longest() const
{
    if (!FLongestKnown) {
        FLongest = 0;
        for (const TEntry& entry : FIndex)
            FLongest = std::max(FLongest, entry.Units);
        FLongestKnown = true;
    }
    return static_cast<int>(FLongest);
}

void TLineStore::Grew(std::uint32_t units, std::uint32_t oldUnits)
{
    if (units >= FLongest)
        FLongest = units;
    else if (oldUnits == FLongest)
        FLongestKnown = false;
}

void TLineStore::Set(int index, QStringView text)
{
    assert(index >= 0 && index < Count());
    TEntry& entry = FIndex[index];
    Grew(static_cast<std::uint32_t>(text.size()), entry.Units);
    const std::uint32_t bytes = EncodedSize(text);
    if (entry.Bytes > 0 && entry.Block == FTail) {
        TBlock& tail = FBlocks[FTail];
        if (entry.Offset + entry.Bytes == tail.Used && entry.Offset + bytes <= tail.Size()) {
            Encode(text, bytes, tail.Data() + entry.Offset);
            tail.Used = entry.Offset + bytes;
            FLiveBytes = FLiveBytes - entry.Bytes + bytes;
            FUsedBytes = FUsedBytes - entry.Bytes + bytes;
            entry.Bytes = bytes;
            entry.Units = static_cast<std::uint32_t>(text.size());
            return;
        }
    }
    if (entry.Block != kNoBlock && FBlocks[entry.Block].OwnLine) {
        // A line with a block of its own is rewritten there while it fits; when it outgrows it, the
        // block is replaced by one half as large again, so that typing in a long line maps a block
        // now and then, not at every key, and leaves no garbage behind.
        TBlock& own = FBlocks[entry.Block];
        if (bytes > own.Size())
            own = TBlock(bytes + bytes / 2);
        own.OwnLine = true;
        Encode(text, bytes, own.Data());
        own.Used = bytes;
        FLiveBytes = FLiveBytes - entry.Bytes + bytes;
        FUsedBytes = FUsedBytes - entry.Bytes + bytes;
        entry.Bytes = bytes;
        entry.Units = static_cast<std::uint32_t>(text.size());
        return;
    }
    FLiveBytes -= entry.Bytes;
    entry = Store(text, bytes);
    CompactIfWasteful();
}

void TLineStore::InsertInLine(int index, int column, QStringView text)
{
    assert(index >= 0 && index < Count());
    TEntry& entry = FIndex[index];
    const std::uint32_t bytes = EncodedSize(text);
    if (entry.Block != kNoBlock && FBlocks[entry.Block].OwnLine && entry.Bytes + bytes <= FBlocks[entry.Block].Size()) {
        const auto at = static_cast<std::uint32_t>(Bytes(index, 0, column).size());
        char* data = FBlocks[entry.Block].Data();
        std::memmove(data + at + bytes, data + at, entry.Bytes - at);
        Encode(text, bytes, data + at);
        Grew(entry.Units + static_cast<std::uint32_t>(text.size()), entry.Units);
        FBlocks[entry.Block].Used = entry.Bytes + bytes;
        FLiveBytes += bytes;
        FUsedBytes += bytes;
        entry.Bytes += bytes;
        entry.Units += static_cast<std::uint32_t>(text.size());
        return;
    }
    QString line = Get(index);
    const int at = std::clamp(column, 0, static_cast<int>(line.size()));
    line.insert(at < line.size() && at > 0 && IsHighSurrogate(line[at - 1].unicode()) && IsLowSurrogate(line[at].unicode()) ? at + 1 : at,
        text);
    Set(index, line);
}

void TLineStore::Insert(int index, QStringView text)
{
    assert(index >= 0 && index <= Count());
    GrowIndex();
    Grew(static_cast<std::uint32_t>(text.size()), 0);
    const TEntry entry = Store(text, EncodedSize(text));
    FIndex.insert(FIndex.begin() + index, entry);
}

void TLineStore::Insert(int index, const QStringList& lines)
{
    assert(index >= 0 && index <= Count());
    std::vector<TEntry> entries;
    entries.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& line : lines) {
        Grew(static_cast<std::uint32_t>(line.size()), 0);
        entries.push_back(Store(line, EncodedSize(line)));
    }
    FIndex.insert(FIndex.begin() + index, entries.data(), entries.data() + entries.size());
}

int TLineStore::AppendUtf8(std::string_view line, bool willGrow)
{
    GrowIndex();
    std::string repaired;
    std::uint32_t units = 0;
    line = WellFormed(line, repaired, units);
    FIndex.push_back(StoreBytes(line, units, willGrow));
    Grew(units, 0);
    return static_cast<int>(units);
}

void TLineStore::ExtendLastUtf8(std::string_view bytes)
{
    assert(Count() > 0);
    std::string repaired;
    std::uint32_t units = 0;
    bytes = WellFormed(bytes, repaired, units);
    if (bytes.empty())
        return;
    TEntry& entry = FIndex.back();
    const std::size_t size = std::size_t(entry.Bytes) + bytes.size();
    assert(size <= UINT32_MAX);
    if (entry.Block == kNoBlock || !FBlocks[entry.Block].OwnLine) {
        // The line moves to a block of its own; its old bytes (less than a shared block) are left
        // as garbage.
        TBlock moved(static_cast<std::uint32_t>(std::clamp<std::size_t>(2 * size, kGrowingLine, UINT32_MAX)),
            TMappedBlock::TFill::OnWrite);
        moved.OwnLine = true;
        TMappedBlock::Prefault(moved.Data(), entry.Bytes);
        if (entry.Bytes > 0)
            std::memcpy(moved.Data(), FBlocks[entry.Block].Data() + entry.Offset, entry.Bytes);
        moved.Used = entry.Bytes;
        FUsedBytes += entry.Bytes;
        FBlocks.push_back(std::move(moved));
        entry.Block = static_cast<std::uint32_t>(FBlocks.size() - 1);
        entry.Offset = 0;
    }
    TBlock& own = FBlocks[entry.Block];
    if (size > own.Size())
        own.Memory.Grow(std::min<std::size_t>(2 * size, UINT32_MAX));
    // The pages of a growing line come in as its parts arrive, by one call a part rather than by
    // a fault a page; the room beyond its text stays unused address space.
    TMappedBlock::Prefault(own.Data() + entry.Bytes, bytes.size());
    std::memcpy(own.Data() + entry.Bytes, bytes.data(), bytes.size());
    own.Used = static_cast<std::uint32_t>(size);
    FLiveBytes += bytes.size();
    FUsedBytes += bytes.size();
    const std::uint32_t oldUnits = entry.Units;
    entry.Bytes = static_cast<std::uint32_t>(size);
    entry.Units += units;
    Grew(entry.Units, oldUnits);
    CompactIfWasteful();
}

void TLineStore::CutLastLineBlanks()
{
    assert(Count() > 0);
    const std::string_view line = Bytes(Count() - 1);
    const std::size_t kept = line.find_last_not_of(' ');
    const std::uint32_t cut = static_cast<std::uint32_t>(line.size() - (kept == std::string_view::npos ? 0 : kept + 1));
    if (cut == 0)
        return;
    TEntry& entry = FIndex.back();
    // Blanks at the end of their block go back to it; others become garbage.
    TBlock& block = FBlocks[entry.Block];
    if (entry.Offset + entry.Bytes == block.Used) {
        block.Used -= cut;
        FUsedBytes -= cut;
    }
    if (entry.Units == FLongest)
        FLongestKnown = false;
    entry.Bytes -= cut;
    entry.Units -= cut;
    FLiveBytes -= cut;
}

std::string_view TLineStore::WellFormed(std::string_view line, std::string& repaired, std::uint32_t& units)
{
    if (IsAscii(line)) {
        units = static_cast<std::uint32_t>(line.size());
        return line;
    }
    std::size_t counted = 0;
    line = RepairUtf8(line, repaired, counted);
    units = static_cast<std::uint32_t>(counted);
    return line;
}

void TLineStore::Remove(int index, int count)
{
    assert(index >= 0 && count >= 0 && index + count <= Count());
    if (count <= 0)
        return;
    if (count == Count()) {
        Clear();
        return;
    }
    const auto first = FIndex.begin() + index;
    for (auto it = first; it != first + count; ++it) {
        FLiveBytes -= it->Bytes;
        if (it->Units == FLongest)
            FLongestKnown = false;
    }
    FIndex.erase(first, first + count);
    CompactIfWasteful();
}

void TLineStore::Clear()
{
    FIndex.clear();
    std::vector<TBlock>().swap(FBlocks);
    FTail = kNoBlock;
    FLiveBytes = 0;
    FUsedBytes = 0;
    FLongest = 0;
    FLongestKnown = true;
}

std::size_t TLineStore::MemoryBytes() const
{
    std::size_t bytes = FIndex.capacity() * sizeof(TEntry) + FBlocks.capacity() * sizeof(TBlock);
    for (const TBlock& block : FBlocks)
        bytes += block.Size();
    return bytes;
}

TLineStore::TEntry TLineStore::Store(QStringView text, std::uint32_t bytes)
{
    TEntry entry;
    entry.Units = static_cast<std::uint32_t>(text.size());
    entry.Bytes = bytes;
    if (bytes == 0)
        return entry;
    Encode(text, bytes, Reserve(bytes, entry.Block, entry.Offset));
    FLiveBytes += bytes;
    FUsedBytes += bytes;
    return entry;
}

TLineStore::TEntry TLineStore::StoreBytes(std::string_view bytes, std::uint32_t units, bool ownBlock)
{
    TEntry entry;
    entry.Units = units;
    entry.Bytes = static_cast<std::uint32_t>(bytes.size());
    if (ownBlock) {
        // Room for the line to grow several times over before its block must.
        const auto room = static_cast<std::uint32_t>(std::clamp<std::size_t>(4 * std::size_t(entry.Bytes), kGrowingLine, UINT32_MAX));
        TBlock& own = FBlocks.emplace_back(room, TMappedBlock::TFill::OnWrite);
        TMappedBlock::Prefault(own.Data(), entry.Bytes);
        own.OwnLine = true;
        own.Used = entry.Bytes;
        entry.Block = static_cast<std::uint32_t>(FBlocks.size() - 1);
        if (!bytes.empty())
            std::memcpy(own.Data(), bytes.data(), bytes.size());
    } else if (entry.Bytes == 0) {
        return entry;
    } else {
        std::memcpy(Reserve(entry.Bytes, entry.Block, entry.Offset), bytes.data(), bytes.size());
    }
    FLiveBytes += entry.Bytes;
    FUsedBytes += entry.Bytes;
    return entry;
}

char* TLineStore::Reserve(std::uint32_t bytes, std::uint32_t& block, std::uint32_t& offset)
{
    if (FTail != kNoBlock && FBlocks[FTail].Size() - FBlocks[FTail].Used >= bytes) {
        TBlock& tail = FBlocks[FTail];
        block = FTail;
        offset = tail.Used;
        tail.Used += bytes;
        return tail.Data() + offset;
    }
    // A line longer than a block gets a block of its own, which never becomes the tail: the space
    // left in the tail is still good for the short lines that follow.
    // Blocks grow with the text up to kBlockSize, so that a pane of a few lines maps a page; a large
    // text takes a huge page at a time, which costs far less to bring in and give back than its 512
    // small pages, and leaves little unused beside the text.
    const bool hugeText = FUsedBytes >= kHugeText;
    const std::uint32_t blockSize = hugeText ? kHugePage : kBlockSize;
    const bool ownBlock = bytes > blockSize;
    const std::uint32_t grown = hugeText ? kHugePage : static_cast<std::uint32_t>(std::min<std::size_t>(FUsedBytes, kBlockSize));
    TBlock& fresh = FBlocks.emplace_back(ownBlock ? bytes : std::max(bytes, grown));
    fresh.Used = bytes;
    fresh.OwnLine = ownBlock;
    block = static_cast<std::uint32_t>(FBlocks.size() - 1);
    offset = 0;
    if (!ownBlock)
        FTail = block;
    return fresh.Data();
}

void TLineStore::Reserve(int lines)
{
    // The room is written entry by entry as lines come; a large index is huge pages, so that it
    // comes in by a fault per 2 MiB rather than per 4 KiB, without bringing it all in at once.
    if (lines > 0)
        FIndex.reserve(static_cast<std::size_t>(lines));
}

void TLineStore::GrowIndex()
{
    // Growing by half keeps the index's unused capacity below a third of it.
    FIndex.reserve(FIndex.size() + 1);
}

void TLineStore::CompactIfWasteful()
{
    const std::size_t garbage = FUsedBytes - FLiveBytes;
    if (garbage > kBlockSize && garbage > FLiveBytes / 2)
        Compact();
}

void TLineStore::Compact()
{
    std::vector<TBlock> old;
    old.swap(FBlocks);
    FTail = kNoBlock;
    FUsedBytes = 0;
    for (TEntry& entry : FIndex) {
        if (entry.Bytes == 0) {
            entry.Block = kNoBlock;
            continue;
        }
        const char* source = old[entry.Block].Data() + entry.Offset;
        std::memcpy(Reserve(entry.Bytes, entry.Block, entry.Offset), source, entry.Bytes);
        FUsedBytes += entry.Bytes;
    }
}
