#include "COEventData.h"

#include "AfxTypes.h"

namespace {

void* GlobalAllocate(unsigned long size) { return GlobalAlloc(GMEM_FIXED, size != 0 ? size : 1); }

void GlobalRelease(void* block) { GlobalFree(block); }

}  // namespace

COEventDataAllocator COSystemEventDataAllocator() { return {GlobalAllocate, GlobalRelease}; }
