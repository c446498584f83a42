// A standard-library allocator over the framework's global allocation, so that containers
// inside framework classes report exhausted memory the framework's way (CMemoryException).
#pragma once

#include "AfxMemory.h"
#include "CMemoryException.h"

#include <cstddef>
#include <cstdint>

template <class T>
struct AfxAllocator {
    using value_type = T;

    AfxAllocator() = default;
    template <class U>
    AfxAllocator(const AfxAllocator<U>&) {}

    T* allocate(std::size_t count)
    {
        if (count > SIZE_MAX / sizeof(T))
            AfxThrowMemoryException();
        return static_cast<T*>(AfxAllocGlobal(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t) { AfxFreeGlobal(block); }
};

template <class T, class U>
bool operator==(const AfxAllocator<T>&, const AfxAllocator<U>&) { return true; }
template <class T, class U>
bool operator!=(const AfxAllocator<T>&, const AfxAllocator<U>&) { return false; }
