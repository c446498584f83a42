// The few operating-system services the portable modules need: atomic counters, a recursive
// lock, the thread id, a millisecond clock and sleep. Win32 on Windows, POSIX elsewhere. Exported
// with the classes whose headers include it, so that a module can link all it declares.
#pragma once

#include "AfxExport.h"
#include "AfxTypes.h"

#ifndef _WIN32
#  include <pthread.h>
#endif

namespace platform {

// Both return the new value, like InterlockedIncrement / InterlockedDecrement.
CORVANE_API long AtomicIncrement(long volatile* value);
CORVANE_API long AtomicDecrement(long volatile* value);

CORVANE_API unsigned long CurrentThreadId();

// Milliseconds since the system started, wrapping at 2^32 (timeGetTime on Windows).
CORVANE_API unsigned long MillisecondClock();

CORVANE_API void SleepMilliseconds(unsigned long milliseconds);

// Stops in an attached debugger to point at a usage error; without one, does nothing (a
// breakpoint nobody catches would end the process).
CORVANE_API void BreakIntoDebugger();

// A recursive mutual-exclusion lock: a critical section on Windows, a recursive pthread
// mutex elsewhere. The holding thread may lock again; each Lock needs one Unlock.
class CORVANE_API RecursiveLock {
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
