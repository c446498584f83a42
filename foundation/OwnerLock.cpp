#include "OwnerLock.h"

void OwnerLock::Lock()
{
    m_section.Lock();
    ++depth;
    ownerThread = platform::CurrentThreadId();
}

void OwnerLock::Unlock()
{
    --depth;
    m_section.Unlock();
}
