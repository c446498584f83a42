#include "BlockPool.h"

#include "CMemoryException.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

BYTE* NextBlock(const BYTE* block)
{
    BYTE* next = nullptr;
    std::memcpy(&next, block, sizeof(next));
    return next;
}

void SetNextBlock(BYTE* block, BYTE* next) { std::memcpy(block, &next, sizeof(next)); }

}  // namespace

BlockPool::BlockPool(unsigned size)
    : liveCount(0), totalBytes(0), firstBlock(nullptr), lastBlock(nullptr), blockSize(size),
      usedInLast(size), blockAlloc(0), automaticDelete(0)
{
}

void* BlockPool::Allocate(unsigned size)
{
    // A 0-byte object still gets an address of its own, inside a block, as new promises.
    size = size != 0 ? size : 1;
    // Comparisons arranged so that no sum can wrap.
    if (blockSize < kLinkSize || size > blockSize - kLinkSize)
        AfxThrowMemoryException();
    if (size > blockSize - usedInLast)
        OpenBlock();
    // Counted only once the object exists: a refused request must not keep the pool from its
    // reset when the objects it did hand out are freed.
    ++liveCount;
    void* object = lastBlock + usedInLast;
    usedInLast += size;
    totalBytes += size;
    return object;
}

void BlockPool::OpenBlock()
{
    BYTE* block = static_cast<BYTE*>(std::malloc(blockSize));
    if (!block)
        AfxThrowMemoryException();
    SetNextBlock(block, nullptr);
    if (lastBlock)
        SetNextBlock(lastBlock, block);
    else
        firstBlock = block;
    lastBlock = block;
    usedInLast = kLinkSize;
}

bool BlockPool::Owns(const void* p) const
{
    if (!automaticDelete)
        return blockAlloc != 0;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
    for (const BYTE* block = firstBlock; block; block = NextBlock(block)) {
        // Unsigned, so that an address below the block wraps far beyond its end.
        if (address - reinterpret_cast<std::uintptr_t>(block) < blockSize)
            return true;
    }
    return false;
}

void BlockPool::Release()
{
    if (--liveCount == 0)
        FreeBlocks();
}

void BlockPool::FreeBlocks()
{
    for (BYTE* block = firstBlock; block;) {
        BYTE* next = NextBlock(block);
        std::free(block);
        block = next;
    }
    firstBlock = lastBlock = nullptr;
    totalBytes = 0;
    usedInLast = blockSize;
}
