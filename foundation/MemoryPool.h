// The process-wide selection of the pool that class-level allocation (DObject) uses, the lock
// that serialises that allocation, and the reset of the class version registry.
#pragma once

#include "AfxExport.h"
#include <cstddef>

class BlockPool;
class Project;

class CORVANE_API MemoryPool {
public:
    // Projects have no pools of their own; kept for modules that call it.
    static void UseMemoryPoolOfProject(Project* project);

    // A pool: makes it current and returns still holding the pool lock, so that allocation on
    // other threads waits until the selection ends; selections nest on one thread. Selecting
    // the pool that is already current is a usage error: it is signalled to an attached
    // debugger and changes nothing. Null: ends the calling thread's innermost selection,
    // leaving no pool current (the outer one is not restored); nothing when that thread has
    // no selection.
    static void SelectPool(BlockPool* pool);
    // The current pool, or null; read without the lock.
    static BlockPool* CurrentPool();

    // Class-level allocation under the pool lock: from the current pool when it has block
    // allocation on, else from the global allocator. Failures raise CMemoryException.
    static void* Allocate(std::size_t size);
    // Gives p back to the current pool when the pool owns it, else to the global allocator.
    // While the pool has block allocation on and automatic delete off, it takes every pointer
    // as its own: only objects it allocated may then be freed.
    static void Deallocate(void* p);

    // Sets every registered class version variable to -1, so that each class reads its
    // version again (see ClassVersionLink).
    static void ResetClassVersions();

private:
    static BlockPool* s_currentPool;
    static int s_selectionDepth;  // selections the holder of the pool lock has made
};
