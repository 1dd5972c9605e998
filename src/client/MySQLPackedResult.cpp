#include "MySQLPackedResult.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "Utf8.h"

namespace {

// A row is a byte that tells whether all its values are printable ASCII, then each value: its
// length, then its bytes.
using TLength = std::uint32_t;

constexpr std::size_t kFirstChunkBytes = std::size_t(64) << 10;

// What a value's bytes hold, found while they are copied.
struct TScan {
    bool Printable; // every byte printable ASCII (0x20 to 0x7E)
    bool Ascii;     // every byte below 0x80: as many UTF-16 units as bytes
};

// For a word of bytes: bits set in it when some byte is below 0x20 or above 0x7E (any byte's high
// bit set counts), and the high bits of its bytes. A borrow or a carry crosses into the next byte
// only from a byte that is already flagged, so "any" is exact.
template <class TWord>
struct TWordScan {
    static constexpr TWord Ones = static_cast<TWord>(~TWord(0)) / 0xFF;
    static constexpr TWord Highs = Ones * 0x80;
    static TWord NotPrintable(TWord word)
    {
        const TWord below = (word - Ones * 0x20) & ~word & Highs;
        const TWord above = ((word + Ones * 0x01) | word) & Highs;
        return below | above;
    }
};

// Copies up to two words that may overlap in the middle, scanning what they hold.
template <class TWord>
void CopyScanTwoWords(char* to, const char* from, std::size_t size, TWord& notPrintable, TWord& high)
{
    TWord head, tail;
    std::memcpy(&head, from, sizeof head);
    std::memcpy(&tail, from + size - sizeof tail, sizeof tail);
    std::memcpy(to, &head, sizeof head);
    std::memcpy(to + size - sizeof tail, &tail, sizeof tail);
    notPrintable |= TWordScan<TWord>::NotPrintable(head) | TWordScan<TWord>::NotPrintable(tail);
    high |= (head | tail) & TWordScan<TWord>::Highs;
}

// Copies a value into a row and tells what it holds, in one walk over its bytes: most values are a
// few bytes, copied and scanned a word or two at a time without a call to the library.
TScan CopyAndScan(char* to, const char* from, std::size_t size)
{
    std::uint64_t notPrintable = 0, high = 0;
    if (size >= 8) {
        std::size_t at = 0;
        for (; size - at > 16; at += 8) {
            std::uint64_t word;
            std::memcpy(&word, from + at, sizeof word);
            std::memcpy(to + at, &word, sizeof word);
            notPrintable |= TWordScan<std::uint64_t>::NotPrintable(word);
            high |= word & TWordScan<std::uint64_t>::Highs;
        }
        CopyScanTwoWords<std::uint64_t>(to + at, from + at, size - at, notPrintable, high);
    } else if (size >= 4) {
        std::uint32_t notPrintable32 = 0, high32 = 0;
        CopyScanTwoWords<std::uint32_t>(to, from, size, notPrintable32, high32);
        notPrintable = notPrintable32;
        high = high32;
    } else {
        for (std::size_t i = 0; i < size; ++i) {
            const auto c = static_cast<unsigned char>(from[i]);
            to[i] = static_cast<char>(c);
            notPrintable |= c < 0x20 || c > 0x7E;
            high |= c & 0x80;
        }
    }
    return {notPrintable == 0, high == 0};
}

} // namespace

TMySQLPackedResult::TMySQLPackedResult(std::vector<std::string> names, std::size_t chunkBytes)
    : FNames(std::move(names)), FWidths(FNames.size(), 0), FChunkBytes(chunkBytes)
{
}

TMySQLPackedResult::~TMySQLPackedResult() = default;

void TMySQLPackedResult::AddRow(const char* const* values, const unsigned long* lengths)
{
    const std::size_t columns = FNames.size();
    std::size_t rowBytes = 1 + columns * sizeof(TLength);
    for (std::size_t i = 0; i < columns; ++i) {
        if (values[i])
            rowBytes += lengths[i];
    }
    // A row never spans two chunks, so that taking it is one walk through one chunk. Chunks grow
    // with the result up to FChunkBytes, so that a small result maps little.
    if (FChunks.empty() || FChunks.back().Memory.Size() - FChunks.back().Used < rowBytes) {
        const std::size_t grown = FChunks.empty() ? kFirstChunkBytes : FChunks.back().Memory.Size() * 2;
        std::size_t size = std::max(std::min(grown, FChunkBytes), rowBytes);
        // A chunk past a huge page is whole huge pages (the block rounds the rest to pages).
        if (size > TMappedBlock::HugePage)
            size = (size + TMappedBlock::HugePage - 1) / TMappedBlock::HugePage * TMappedBlock::HugePage;
        FChunks.emplace_back(size);
        FHeldBytes += FChunks.back().Memory.Size();
    }
    TChunk& chunk = FChunks.back();
    char* const row = chunk.Memory.Data() + chunk.Used;
    char* at = row + 1;
    bool printable = true;
    for (std::size_t i = 0; i < columns; ++i) {
        const TLength length = values[i] ? static_cast<TLength>(lengths[i]) : 0;
        std::memcpy(at, &length, sizeof length);
        at += sizeof length;
        if (length == 0)
            continue;
        const TScan scan = CopyAndScan(at, values[i], length);
        at += length;
        printable = printable && scan.Printable;
        // A value no longer in bytes than the width cannot be wider in units: most are not measured.
        if (length > static_cast<TLength>(FWidths[i])) {
            const std::size_t units = scan.Ascii ? length : Utf16Length(std::string_view(values[i], length));
            FWidths[i] = static_cast<std::int32_t>(
                std::max<std::size_t>(static_cast<std::size_t>(FWidths[i]),
                                      std::min<std::size_t>(units, std::numeric_limits<std::int32_t>::max())));
        }
    }
    *row = printable ? 1 : 0;
    chunk.Used += rowBytes;
    ++FRowCount;
}

bool TMySQLPackedResult::TakeRow(std::vector<std::string_view>& values)
{
    if (FTaken == FRowCount) {
        // The last row's views have been used: nothing is held any more.
        FChunks.clear();
        FHeldBytes = 0;
        return false;
    }
    while (FReadOffset == FChunks.front().Used && FChunks.size() > 1) {
        FHeldBytes -= FChunks.front().Memory.Size();
        FChunks.pop_front();
        FReadOffset = 0;
    }
    const char* at = FChunks.front().Memory.Data() + FReadOffset;
    FTakenPrintable = *at++ != 0;
    values.resize(FNames.size());
    for (std::string_view& value : values) {
        TLength length;
        std::memcpy(&length, at, sizeof length);
        at += sizeof length;
        value = std::string_view(at, length);
        at += length;
    }
    FReadOffset = static_cast<std::size_t>(at - FChunks.front().Memory.Data());
    ++FTaken;
    return true;
}
