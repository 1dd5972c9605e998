// Memory mapped from the system in one block and unmapped when the block goes, so that what a large
// text or result held goes back to the system at once rather than staying in the allocator.
#pragma once

#include <cstddef>

// A block of whole pages of its own. Blocks of exactly one huge page (the chunks of a result, the
// blocks of a large text) are not unmapped when they go but kept, a few of them, for the next such
// block: a result's chunks, freed as its table is written, become the transcript's blocks without
// being zeroed again, and no unmap flushes the other threads' address translations meanwhile.
class TMappedBlock {
public:
    // From this size on, a block of whole huge pages asks for them: bringing in and giving back
    // 4 KiB pages one by one costs more than the text they hold.
    static constexpr std::size_t HugePage = std::size_t(2) << 20;
    // Huge-page blocks kept for reuse, at most (they count in the process's resident memory).
    static constexpr std::size_t KeptBlocks = 4;

    // Whether a new block's pages are brought in at once, or by a fault each when first written.
    enum class TFill { Now, OnWrite };

    TMappedBlock() = default;
    // Maps at least size bytes (rounded up to whole pages), brought in at once: every block is
    // written through, so one call costs less than a fault per page. A block's bytes are undefined
    // (a kept block holds what it held). Throws std::bad_alloc.
    explicit TMappedBlock(std::size_t size, TFill fill = TFill::Now);
    TMappedBlock(TMappedBlock&& other) noexcept;
    TMappedBlock& operator=(TMappedBlock&& other) noexcept;
    TMappedBlock(const TMappedBlock&) = delete;
    TMappedBlock& operator=(const TMappedBlock&) = delete;
    ~TMappedBlock();

    char* Data() const { return FData; }
    std::size_t Size() const { return FSize; }

    // Makes the block at least size bytes, keeping its bytes: the system moves its pages to a larger
    // place rather than copying them, so the cost does not grow with the size. New pages come in by a
    // fault each. Data() may change. Throws std::bad_alloc.
    void Grow(std::size_t size);

    // Bytes mapped by all blocks alive in the process (kept blocks not counted).
    static std::size_t MappedBytes();
    // Bytes of huge-page blocks kept for reuse.
    static std::size_t KeptBytes();
    // Brings in the whole pages of [data, data + size) at once, rather than by a fault each.
    static void Prefault(char* data, std::size_t size);

private:
    char* FData = nullptr;
    std::size_t FSize = 0;
};
