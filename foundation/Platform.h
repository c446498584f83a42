// The few operating-system services the portable modules need: atomic counters, a recursive
// lock, the thread id, a millisecond clock and sleep. Win32 on Windows, POSIX elsewhere.
#pragma once

#include "AfxTypes.h"

#ifndef _WIN32
#  include <pthread.h>
#endif

namespace platform {

// Both return the new value, like InterlockedIncrement / InterlockedDecrement.
long AtomicIncrement(long volatile* value);
long AtomicDecrement(long volatile* value);

unsigned long CurrentThreadId();

// Milliseconds since the system started, wrapping at 2^32 (timeGetTime on Windows).
unsigned long MillisecondClock();

void SleepMilliseconds(unsigned long milliseconds);

// Stops in an attached debugger to point at a usage error; without one, does nothing (a
// breakpoint nobody catches would end the process).
void BreakIntoDebugger();

// A recursive mutual-exclusion lock: a critical section on Windows, a recursive pthread
// mutex elsewhere. The holding thread may lock again; each Lock needs one Unlock.
class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void Lock();
    void Unlock();

private:
#ifdef _WIN32
    CRITICAL_SECTION m_section;
#else
    pthread_mutex_t m_mutex;
#endif
};

// Holds a lock for the lifetime of a scope; works with any type that has Lock/Unlock.
template <class LockType>
class ScopedLock {
public:
    explicit ScopedLock(LockType& lock) : m_lock(lock) { m_lock.Lock(); }
    ~ScopedLock() { m_lock.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    LockType& m_lock;
};

}  // namespace platform
