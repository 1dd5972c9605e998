// Mapped blocks: huge-page blocks kept for the next one, blocks grown in place of a copy, and the
// array built on them.
#include "MappedArray.h"
#include "MappedBlock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

// A freed huge-page block is the next one's, with its pages in; a few are kept, the rest unmapped;
// the kept ones are not counted as mapped.
TEST(MappedBlock, HugePageBlocksAreKeptForTheNext)
{
    const std::size_t mappedBefore = TMappedBlock::MappedBytes();
    const char* freed = nullptr;
    {
        TMappedBlock block(TMappedBlock::HugePage);
        std::memset(block.Data(), 'k', block.Size());
        freed = block.Data();
    }
    EXPECT_EQ(TMappedBlock::MappedBytes(), mappedBefore);
    EXPECT_GE(TMappedBlock::KeptBytes(), TMappedBlock::HugePage);
    TMappedBlock next(TMappedBlock::HugePage);
    EXPECT_EQ(next.Data(), freed);
    EXPECT_EQ(TMappedBlock::MappedBytes(), mappedBefore + TMappedBlock::HugePage);

    // Blocks of other sizes are never kept; no more than KeptBlocks huge ones are.
    {
        std::vector<TMappedBlock> many;
        for (std::size_t i = 0; i < TMappedBlock::KeptBlocks + 3; ++i)
            many.emplace_back(TMappedBlock::HugePage);
        many.emplace_back(TMappedBlock::HugePage * 2);
        many.emplace_back(4096);
    }
    EXPECT_EQ(TMappedBlock::KeptBytes(), TMappedBlock::KeptBlocks * TMappedBlock::HugePage);
}

// Growing keeps every byte, from one page to several huge pages, and leaves the count of mapped
// bytes right.
TEST(MappedBlock, GrowingKeepsTheBytes)
{
    const std::size_t mappedBefore = TMappedBlock::MappedBytes();
    {
        TMappedBlock block(100, TMappedBlock::TFill::OnWrite);
        std::size_t written = 0;
        for (const std::size_t size : {std::size_t(5000), std::size_t(3) << 20, std::size_t(9) << 20}) {
            for (; written < block.Size(); ++written)
                block.Data()[written] = static_cast<char>(written * 7);
            block.Grow(size);
            ASSERT_GE(block.Size(), size);
            for (std::size_t i = 0; i < written; ++i)
                ASSERT_EQ(block.Data()[i], static_cast<char>(i * 7)) << i;
        }
        EXPECT_EQ(TMappedBlock::MappedBytes(), mappedBefore + block.Size());
    }
    EXPECT_EQ(TMappedBlock::MappedBytes(), mappedBefore);
}

struct TEntry {
    std::uint32_t A;
    std::uint32_t B;
    bool operator==(const TEntry&) const = default;
};

// Random pushes, inserts and erases anywhere, through many growths, give what std::vector gives.
TEST(MappedArray, BehavesAsAVector)
{
    std::mt19937 random(29);
    TMappedArray<TEntry> array;
    std::vector<TEntry> expected;
    std::uint32_t next = 0;
    for (int step = 0; step < 20000; ++step) {
        const auto at = expected.empty() ? 0 : random() % (expected.size() + 1);
        switch (random() % 4) {
        case 0:
        case 1: {
            const TEntry entry{next++, static_cast<std::uint32_t>(step)};
            array.push_back(entry);
            expected.push_back(entry);
            break;
        }
        case 2: {
            std::vector<TEntry> inserted(random() % 300);
            for (TEntry& entry : inserted)
                entry = {next++, 0};
            array.insert(array.begin() + at, inserted.data(), inserted.data() + inserted.size());
            expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), inserted.begin(), inserted.end());
            break;
        }
        default: {
            const auto count = std::min<std::size_t>(random() % 200, expected.size() - at);
            array.erase(array.begin() + at, array.begin() + at + count);
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at),
                expected.begin() + static_cast<std::ptrdiff_t>(at + count));
        }
        }
        ASSERT_EQ(array.size(), expected.size()) << step;
    }
    EXPECT_TRUE(std::equal(array.begin(), array.end(), expected.begin(), expected.end()));
    // Room asked for is half as much again as the capacity at least, so the next appends find it.
    const std::size_t capacity = array.capacity();
    array.reserve(capacity + 1);
    EXPECT_GE(array.capacity(), capacity + capacity / 2);
    array.clear();
    EXPECT_EQ(array.size(), 0u);
    EXPECT_EQ(array.capacity(), 0u);
}

} // namespace
