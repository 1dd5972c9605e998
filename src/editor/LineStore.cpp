#include "LineStore.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>

#include "Utf8.h"

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr std::string_view kReplacementBytes = "\xEF\xBF\xBD";

// Whether eight bytes are all ASCII.
bool AsciiWord(const char* p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ULL) == 0;
}

bool IsAsciiBytes(std::string_view bytes)
{
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    for (; end - p >= 8; p += 8)
        if (!AsciiWord(p))
            return false;
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}

bool IsHigh(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLow(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The encoded size of a text: a pair of surrogates takes four bytes as in UTF-8, a lone surrogate the
// three bytes its value would take.
// Whether every unit is ASCII, so that the text is stored one byte a unit: the common case, which
// the two loops below then pass through in tight, vectorisable form.
bool IsAscii(const char16_t* units, qsizetype count)
{
    char16_t high = 0;
    for (qsizetype i = 0; i < count; ++i)
        high |= units[i];
    return high < 0x80;
}

std::uint32_t EncodedSize(QStringView text)
{
    const char16_t* units = text.utf16();
    const qsizetype count = text.size();
    if (IsAscii(units, count))
        return static_cast<std::uint32_t>(count);
    std::size_t bytes = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80)
            bytes += 1;
        else if (unit < 0x800)
            bytes += 2;
        else if (IsHigh(unit) && i + 1 < count && IsLow(units[i + 1])) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return static_cast<std::uint32_t>(bytes);
}

void Encode(QStringView text, std::uint32_t bytes, char* out)
{
    const char16_t* units = text.utf16();
    const qsizetype count = text.size();
    if (bytes == count) {
        for (qsizetype i = 0; i < count; ++i)
            out[i] = static_cast<char>(units[i]);
        return;
    }
    auto* p = reinterpret_cast<unsigned char*>(out);
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            *p++ = static_cast<unsigned char>(unit);
        } else if (unit < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | (unit >> 6));
            *p++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        } else if (IsHigh(unit) && i + 1 < count && IsLow(units[i + 1])) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10)
                + (static_cast<char32_t>(units[i + 1]) - 0xDC00);
            *p++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
            *p++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            ++i;
        } else {
            *p++ = static_cast<unsigned char>(0xE0 | (unit >> 12));
            *p++ = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        }
    }
}

// Decodes what Encode wrote; the bytes are our own, so they need no checking.
QString DecodeBytes(const char* data, std::size_t bytes, std::size_t units)
{
    if (bytes == units)
        return QString::fromLatin1(data, static_cast<qsizetype>(bytes));
    QString text(static_cast<qsizetype>(units), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + bytes;
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            *out++ = lead;
            p += 1;
        } else if (lead < 0xE0) {
            *out++ = static_cast<char16_t>(((lead & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if (lead < 0xF0) {
            *out++ = static_cast<char16_t>(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else {
            const char32_t cp = (static_cast<char32_t>(lead & 0x07) << 18) | ((p[1] & 0x3F) << 12)
                | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            p += 4;
        }
    }
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
    // Otherwise the bytes before the slice are walked by their lead bytes; a slice that starts
    // between the halves of a pair begins with the pair's second half.
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + entry.Bytes;
    qint64 unit = 0;
    while (p < end) {
        const unsigned char lead = *p;
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const int width = length == 4 ? 2 : 1;
        if (unit + width > first)
            break;
        unit += width;
        p += length;
    }
    const auto* stop = p;
    qint64 stopUnit = unit;
    while (stop < end && stopUnit < last) {
        const unsigned char lead = *stop;
        stopUnit += lead >= 0xF0 ? 2 : 1;
        stop += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    }
    QString slice = DecodeBytes(reinterpret_cast<const char*>(p), static_cast<std::uint32_t>(stop - p),
        static_cast<std::uint32_t>(stopUnit - unit));
    return slice.mid(first - unit, last - first);
}

QString TLineStore::Decode(std::string_view bytes)
{
    std::size_t units = 0;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // Every lead byte starts a unit, a four-byte one a pair.
        units += (byte & 0xC0) != 0x80;
        units += byte >= 0xF0;
    }
    return DecodeBytes(bytes.data(), bytes.size(), units);
}

void TLineStore::ReplaceLoneSurrogates(QByteArray& bytes)
{
    // A lone surrogate is stored as ED A0..BF xx; no well-formed sequence starts that way. U+FFFD
    // takes as many bytes, so the text keeps its length.
    qsizetype at = bytes.indexOf('\xED');
    if (at < 0)
        return;
    const qsizetype size = bytes.size();
    char* data = bytes.data();
    for (; at + 2 < size; ++at) {
        if (static_cast<unsigned char>(data[at]) == 0xED && static_cast<unsigned char>(data[at + 1]) >= 0xA0) {
            std::memcpy(data + at, kReplacementBytes.data(), kReplacementBytes.size());
            at += 2;
        }
    }
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
    std::size_t begin = line.size();
    std::size_t end = line.size();
    qint64 unit = 0;
    for (std::size_t at = 0; at < line.size();) {
        if (unit >= first && begin == line.size())
            begin = at;
        if (unit >= last) {
            end = at;
            break;
        }
        const auto lead = static_cast<unsigned char>(line[at]);
        unit += lead >= 0xF0 ? 2 : 1;
        at += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    }
    return line.substr(begin, end - std::min(begin, end));
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
    line.insert(at < line.size() && at > 0 && IsHigh(line[at - 1].unicode()) && IsLow(line[at].unicode()) ? at + 1 : at,
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
    if (IsAsciiBytes(line)) {
        units = static_cast<std::uint32_t>(line.size());
        return line;
    }
    units = 0;
    std::size_t copied = 0;
    for (std::size_t at = 0; at < line.size();) {
        if (static_cast<unsigned char>(line[at]) < 0x80) {
            ++at;
            ++units;
            continue;
        }
        const std::size_t start = at;
        const char32_t cp = NextCodePoint(line, at);
        units += cp >= 0x10000 ? 2 : 1;
        // An ill-formed sequence reads as U+FFFD too, but never as its three bytes.
        if (cp != kReplacementCharacter || line.substr(start, at - start) == kReplacementBytes)
            continue;
        // Only a line that needs repair is copied.
        repaired.append(line.substr(copied, start - copied));
        repaired.append(kReplacementBytes);
        copied = at;
    }
    if (copied != 0) {
        repaired.append(line.substr(copied));
        line = repaired;
    }
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
