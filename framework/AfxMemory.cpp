#include "AfxMemory.h"

#include "AfxTypes.h"
#include "CMemoryException.h"

#include <cstdlib>

void* AfxAllocGlobal(std::size_t bytes)
{
#ifdef _WIN32
    void* block = GlobalAlloc(GMEM_FIXED, bytes);
#else
    void* block = std::malloc(bytes);
#endif
    if (!block)
        AfxThrowMemoryException();
    return block;
}

void AfxFreeGlobal(void* block)
{
    if (!block)
        return;
#ifdef _WIN32
    GlobalFree(block);
#else
    std::free(block);
#endif
}
