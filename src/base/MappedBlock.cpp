#include "MappedBlock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <utility>

namespace {

std::atomic<std::size_t> gMappedBytes{0};

std::size_t PageSize()
{
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

// Huge-page blocks given back and not unmapped; their pages are in and written. Shared by every
// thread: a result's chunks are freed on a session's thread, a transcript's blocks taken on the GUI
// thread. Never destroyed, so that a block freed late in the program's exit still finds it.
struct TKept {
    std::mutex Mutex;
    char* Blocks[TMappedBlock::KeptBlocks] = {};
    std::size_t Count = 0;
};

TKept& Kept()
{
    static TKept* const kept = new TKept;
    return *kept;
}

char* TakeKept()
{
    TKept& kept = Kept();
    std::lock_guard lock(kept.Mutex);
    return kept.Count > 0 ? kept.Blocks[--kept.Count] : nullptr;
}

bool Keep(char* data)
{
    TKept& kept = Kept();
    std::lock_guard lock(kept.Mutex);
    if (kept.Count == TMappedBlock::KeptBlocks)
        return false;
    kept.Blocks[kept.Count++] = data;
    return true;
}

} // namespace

TMappedBlock::TMappedBlock(std::size_t size, TFill fill)
{
    const std::size_t page = PageSize();
    FSize = (size + page - 1) / page * page;
    // A block of whole huge pages (the system places it on their boundary) asks for them.
    const bool huge = FSize % HugePage == 0;
    if (FSize == HugePage)
        FData = TakeKept();
    if (FData == nullptr) {
        const int populate = huge || fill == TFill::OnWrite ? 0 : MAP_POPULATE;
        void* data = mmap(nullptr, FSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | populate, -1, 0);
        if (data == MAP_FAILED)
            throw std::bad_alloc();
        FData = static_cast<char*>(data);
        if (huge) {
            madvise(FData, FSize, MADV_HUGEPAGE);
            if (fill == TFill::Now)
                madvise(FData, FSize, MADV_POPULATE_WRITE);
        }
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
    gMappedBytes.fetch_sub(FSize, std::memory_order_relaxed);
    if (FSize == HugePage && Keep(FData))
        return;
    munmap(FData, FSize);
}

void TMappedBlock::Grow(std::size_t size)
{
    if (size <= FSize)
        return;
    if (FData == nullptr) {
        *this = TMappedBlock(size, TFill::OnWrite);
        return;
    }
    const std::size_t page = PageSize();
    const std::size_t grown = (size + page - 1) / page * page;
    void* data = mremap(FData, FSize, grown, MREMAP_MAYMOVE);
    if (data == MAP_FAILED)
        throw std::bad_alloc();
    FData = static_cast<char*>(data);
    gMappedBytes.fetch_add(grown - FSize, std::memory_order_relaxed);
    FSize = grown;
    if (FSize >= HugePage)
        madvise(FData, FSize, MADV_HUGEPAGE);
}

std::size_t TMappedBlock::MappedBytes()
{
    return gMappedBytes.load(std::memory_order_relaxed);
}

std::size_t TMappedBlock::KeptBytes()
{
    TKept& kept = Kept();
    std::lock_guard lock(kept.Mutex);
    return kept.Count * HugePage;
}

void TMappedBlock::Prefault(char* data, std::size_t size)
{
    const auto page = static_cast<std::uintptr_t>(PageSize());
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}
