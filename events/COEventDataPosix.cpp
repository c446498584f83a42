#include "COEventData.h"

#include <cstdlib>

namespace {

void* HeapAllocate(unsigned long size) { return std::malloc(size != 0 ? size : 1); }

void HeapRelease(void* block) { std::free(block); }

}  // namespace

COEventDataAllocator COSystemEventDataAllocator() { return {HeapAllocate, HeapRelease}; }
