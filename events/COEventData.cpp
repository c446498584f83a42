#include "COEventData.h"

namespace {

COEventDataAllocator& CurrentAllocator()
{
    static COEventDataAllocator current = COSystemEventDataAllocator();
    return current;
}

}  // namespace

void* COEventDataAlloc(unsigned long size) { return CurrentAllocator().allocate(size); }

void COEventDataFree(void* block)
{
    if (block != nullptr)
        CurrentAllocator().release(block);
}

COEventDataAllocator COSetEventDataAllocator(COEventDataAllocator allocator)
{
    const COEventDataAllocator previous = CurrentAllocator();
    CurrentAllocator() = allocator;
    return previous;
}
