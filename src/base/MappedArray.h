// An array of plain values in memory mapped for it alone, grown without copying what it holds.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "MappedBlock.h"

// The part of std::vector that an index of millions of entries needs, for trivially copyable values.
// Growing moves the mapping's pages to a larger place (TMappedBlock::Grow) instead of copying the
// entries, so that making room costs the same for a large array as for a small one; the capacity
// still grows geometrically, so that growing is rare. Clear gives the memory back to the system.
template <class T>
class TMappedArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    using iterator = T*;
    using const_iterator = const T*;

    TMappedArray() = default;
    TMappedArray(const TMappedArray&) = delete;
    TMappedArray& operator=(const TMappedArray&) = delete;

    std::size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    std::size_t capacity() const { return FMemory.Size() / sizeof(T); }
    T* data() { return reinterpret_cast<T*>(FMemory.Data()); }
    const T* data() const { return reinterpret_cast<const T*>(FMemory.Data()); }
    T& operator[](std::size_t index) { return data()[index]; }
    const T& operator[](std::size_t index) const { return data()[index]; }
    T* begin() { return data(); }
    T* end() { return data() + FSize; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + FSize; }
    T& back() { return data()[FSize - 1]; }

    // Makes room for count entries in all: exactly that much (rounded up to whole pages) when it is
    // more than half as much again as the capacity, else half as much again.
    void reserve(std::size_t count)
    {
        if (count <= capacity())
            return;
        FMemory.Grow(std::max(count, capacity() + capacity() / 2) * sizeof(T));
    }
    void push_back(const T& value)
    {
        reserve(FSize + 1);
        data()[FSize++] = value;
    }
    T* insert(T* at, const T& value) { return insert(at, &value, &value + 1); }
    // Inserts [first, last), which must not lie inside this array.
    T* insert(T* at, const T* first, const T* last)
    {
        const auto index = static_cast<std::size_t>(at - data());
        const auto count = static_cast<std::size_t>(last - first);
        assert(index <= FSize);
        if (count == 0)
            return at;
        reserve(FSize + count);
        T* const to = data() + index;
        std::memmove(to + count, to, (FSize - index) * sizeof(T));
        std::memcpy(to, first, count * sizeof(T));
        FSize += count;
        return to;
    }
    T* erase(T* first, T* last)
    {
        const auto count = static_cast<std::size_t>(last - first);
        if (count == 0)
            return first;
        std::memmove(first, last, static_cast<std::size_t>(end() - last) * sizeof(T));
        FSize -= count;
        return first;
    }
    // Empties the array and gives its memory back.
    void clear()
    {
        FMemory = TMappedBlock();
        FSize = 0;
    }

private:
    TMappedBlock FMemory;
    std::size_t FSize = 0;
};
