// Raw blocks from the platform's global allocation (GlobalAlloc on Windows, malloc elsewhere).
// A failed allocation raises CMemoryException instead of returning null.
#pragma once

#include <cstddef>

void* AfxAllocGlobal(std::size_t bytes);

// Accepts null.
void AfxFreeGlobal(void* block);
