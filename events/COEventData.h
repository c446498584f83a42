// Blocks that travel with posted events. They come from the process's global allocator
// (GlobalAlloc on Windows), so a handler that accepts a posted record can free its block with
// the matching deallocator, whichever module the handler lives in.
#pragma once

// A null block from COEventDataAlloc means the allocation failed.
void* COEventDataAlloc(unsigned long size);

// Frees a block from COEventDataAlloc; null is ignored.
void COEventDataFree(void* block);

// The allocator pair behind the two functions above. Replaceable so that a process (a test, a
// leak check) can watch every posted block being created and freed; install it before any
// thread posts and restore the previous pair afterwards.
struct COEventDataAllocator {
    void* (*allocate)(unsigned long size);
    void (*release)(void* block);
};

// The global allocator of the platform.
COEventDataAllocator COSystemEventDataAllocator();

// Installs `allocator` and returns the pair that was in use.
COEventDataAllocator COSetEventDataAllocator(COEventDataAllocator allocator);
