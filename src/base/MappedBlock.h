// Memory mapped from the system in one block and unmapped when the block goes, so that what a large
// text or result held goes back to the system at once rather than staying in the allocator.
#pragma once

#include <cstddef>

class TMappedBlock {
public:
    // From this size on, a block of whole huge pages asks for them: bringing in and giving back
    // 4 KiB pages one by one costs more than the text they hold.
    static constexpr std::size_t HugePage = std::size_t(2) << 20;

    TMappedBlock() = default;
    // Maps at least size bytes (rounded up to whole pages), brought in at once: every block is
    // written through, so one call costs less than a fault per page. Throws std::bad_alloc.
    explicit TMappedBlock(std::size_t size);
    TMappedBlock(TMappedBlock&& other) noexcept;
    TMappedBlock& operator=(TMappedBlock&& other) noexcept;
    TMappedBlock(const TMappedBlock&) = delete;
    TMappedBlock& operator=(const TMappedBlock&) = delete;
    ~TMappedBlock();

    char* Data() const { return FData; }
    std::size_t Size() const { return FSize; }

    // Bytes mapped by all blocks alive in the process.
    static std::size_t MappedBytes();
    // Brings in the whole pages of [data, data + size) at once, rather than by a fault each.
    static void Prefault(char* data, std::size_t size);

private:
    char* FData = nullptr;
    std::size_t FSize = 0;
};
