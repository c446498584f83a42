#include "ClassVersionLink.h"

#include "MemoryPool.h"

ClassVersionLink* ClassVersionLink::s_versionLinks = nullptr;

ClassVersionLink::ClassVersionLink(short* versionVariable) : version(versionVariable), next(s_versionLinks)
{
    s_versionLinks = this;
}

void MemoryPool::ResetClassVersions()
{
    for (ClassVersionLink* link = ClassVersionLink::s_versionLinks; link; link = link->next)
        *link->version = -1;
}
