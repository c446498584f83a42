#include "MemoryPool.h"

#include "BlockPool.h"
#include "CMemoryException.h"
#include "Platform.h"

#include <new>

namespace {

// Made at its first use, so that objects created during static initialisation find it, and
// never destroyed, so that objects freed while the process exits still do.
platform::RecursiveLock& PoolLock()
{
    static platform::RecursiveLock* const s_poolLock = new platform::RecursiveLock;
    return *s_poolLock;
}

void* GlobalAllocate(std::size_t size)
{
    void* object = ::operator new(size, std::nothrow);
    if (!object)
        AfxThrowMemoryException();
    return object;
}

}  // namespace

BlockPool* MemoryPool::s_currentPool = nullptr;
int MemoryPool::s_selectionDepth = 0;

void MemoryPool::UseMemoryPoolOfProject(Project*) {}

BlockPool* MemoryPool::CurrentPool() { return s_currentPool; }

void MemoryPool::SelectPool(BlockPool* pool)
{
    platform::RecursiveLock& lock = PoolLock();
    lock.Lock();
    if (pool) {
        if (pool == s_currentPool) {
            platform::BreakIntoDebugger();
            lock.Unlock();
            return;
        }
        s_currentPool = pool;
        ++s_selectionDepth;
        return;  // the selection keeps the lock
    }
    // A selection holds the lock, so a thread that got it while selections are counted is
    // the one that made them; any other thread has none to end.
    if (s_selectionDepth > 0) {
        s_currentPool = nullptr;
        --s_selectionDepth;
        lock.Unlock();
    }
    lock.Unlock();
}

void* MemoryPool::Allocate(std::size_t size)
{
    platform::ScopedLock<platform::RecursiveLock> hold(PoolLock());
    BlockPool* pool = s_currentPool;
    if (!pool || !pool->blockAlloc)
        return GlobalAllocate(size);
    return pool->Allocate(static_cast<unsigned>(size));  // size_t is 32 bits here
}

void MemoryPool::Deallocate(void* p)
{
    if (!p)
        return;
    platform::ScopedLock<platform::RecursiveLock> hold(PoolLock());
    BlockPool* pool = s_currentPool;
    if (pool && pool->Owns(p))
        pool->Release();
    else
        ::operator delete(p);
}
