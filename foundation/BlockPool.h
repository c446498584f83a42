// A block allocator for class-level allocation (DObject): it carves objects out of blocks of a
// fixed size with no per-object overhead, counts the objects it handed out, and gives all of
// its blocks back at once when the last of them is freed. A block is blockSize bytes from
// malloc: a link word to the next block, then objects packed back to back, each exactly the
// requested size, unaligned.
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"

#include <cstddef>

class CORVANE_API BlockPool {
public:
    // The first allocation opens a block. Block allocation and automatic delete start off.
    explicit BlockPool(unsigned blockSize);

    // Carves size bytes from the last block, opening a new block when they do not fit.
    // Raises CMemoryException for more than blockSize - kLinkSize bytes or when no block can be had.
    void* Allocate(unsigned size);
    // Whether a freed pointer is this pool's: with automaticDelete, when it lies in one of the
    // blocks; otherwise whenever block allocation is on.
    bool Owns(const void* p) const;
    // Counts one of the pool's objects out; the last one gives every block back.
    void Release();

    // The pool's fields, in this order, each 32 bits.
    long liveCount;          // counted allocations not yet freed
    unsigned long totalBytes;  // bytes handed out since the last reset
    BYTE* firstBlock;        // first block of the chain, or null
    BYTE* lastBlock;         // the block allocations are carved from, or null
    unsigned blockSize;      // size of every block, link word included
    unsigned usedInLast;     // offset of the next free byte in lastBlock
    int blockAlloc;          // block allocation switched on
    int automaticDelete;     // ownership decided by address

    // Where objects start in a block, after the link word (4 bytes in the 32-bit product).
    static constexpr unsigned kLinkSize = sizeof(BYTE*);

private:
    void OpenBlock();
    void FreeBlocks();
};

#ifndef _WIN64
// The 64-bit Windows test build keeps the field order with wider pointers.
static_assert(sizeof(BlockPool) == 32, "BlockPool is eight 32-bit fields");
static_assert(offsetof(BlockPool, totalBytes) == 4 && offsetof(BlockPool, firstBlock) == 8 &&
                  offsetof(BlockPool, lastBlock) == 12 && offsetof(BlockPool, blockSize) == 16 &&
                  offsetof(BlockPool, usedInLast) == 20 && offsetof(BlockPool, blockAlloc) == 24 &&
                  offsetof(BlockPool, automaticDelete) == 28,
              "BlockPool field order");
#endif
