// The archive fuzzer's platform allocation: as the framework's, but blocks above 64 KB fail as
// if memory had run out. Archives announce lengths up to 2 GB; this keeps the out-of-memory
// path in reach and every run fast, without mapping huge blocks.
#include "AfxMemory.h"
#include "CMemoryException.h"

#include <cstdlib>

namespace {
constexpr std::size_t kLargestBlock = 1 << 16;
}

void* AfxAllocGlobal(std::size_t bytes)
{
    void* block = bytes <= kLargestBlock ? std::malloc(bytes) : nullptr;
    if (!block)
        AfxThrowMemoryException();
    return block;
}

void AfxFreeGlobal(void* block) { std::free(block); }
