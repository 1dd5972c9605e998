#include "MappedBlock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

namespace {

std::atomic<std::size_t> gMappedBytes{0};

std::size_t PageSize()
{
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

} // namespace

TMappedBlock::TMappedBlock(std::size_t size)
{
    const std::size_t page = PageSize();
    FSize = (size + page - 1) / page * page;
    // A block of whole huge pages (the system places it on their boundary) asks for them.
    const bool huge = FSize % HugePage == 0;
    void* data = mmap(nullptr, FSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | (huge ? 0 : MAP_POPULATE),
        -1, 0);
    if (data == MAP_FAILED)
        throw std::bad_alloc();
    FData = static_cast<char*>(data);
    if (huge) {
        madvise(FData, FSize, MADV_HUGEPAGE);
        madvise(FData, FSize, MADV_POPULATE_WRITE);
    }
    gMappedBytes.fetch_add(FSize, std::memory_order_relaxed);
}

TMappedBlock::TMappedBlock(TMappedBlock&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0))
{
}

TMappedBlock& TMappedBlock::operator=(TMappedBlock&& other) noexcept
{
    if (this != &other) {
        TMappedBlock old(std::move(*this));
        FData = std::exchange(other.FData, nullptr);
        FSize = std::exchange(other.FSize, 0);
    }
    return *this;
}

TMappedBlock::~TMappedBlock()
{
    if (FData == nullptr)
        return;
    munmap(FData, FSize);
    gMappedBytes.fetch_sub(FSize, std::memory_order_relaxed);
}

std::size_t TMappedBlock::MappedBytes()
{
    return gMappedBytes.load(std::memory_order_relaxed);
}

void TMappedBlock::Prefault(char* data, std::size_t size)
{
    const auto page = static_cast<std::uintptr_t>(PageSize());
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

