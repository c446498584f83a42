// A recursive lock that remembers which thread acquired it last and how deep it is held.
#pragma once

#include "AfxExport.h"
#include "Platform.h"

class CORVANE_API OwnerLock {
public:
    OwnerLock() = default;
    OwnerLock(const OwnerLock&) = delete;
    OwnerLock& operator=(const OwnerLock&) = delete;

    void Lock();
    void Unlock();

    // Changed only while the lock is held. ownerThread is set on every acquisition and never
    // cleared, so after Unlock it still names the last holder.
    DWORD ownerThread = 0;
    int depth = 0;

private:
    platform::RecursiveLock m_section;
};
