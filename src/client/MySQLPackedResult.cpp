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
        std::memcpy(at, values[i], length);
        at += length;
        printable = printable && PrintableAsciiRun(std::string_view(values[i], length)) == length;
        // A value no longer in bytes than the width cannot be wider in units: most are not measured.
        if (length > static_cast<TLength>(FWidths[i])) {
            const std::size_t units = Utf16Length(std::string_view(values[i], length));
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
