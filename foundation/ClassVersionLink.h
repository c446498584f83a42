// The process-wide registry of class version variables: serialisable classes of the DObject
// family register the 16-bit version they read from archives, one static link per class, so
// that MemoryPool::ResetClassVersions can make them all read their version again.
#pragma once

#include "AfxExport.h"

class CORVANE_API ClassVersionLink {
public:
    // Run during static initialisation; puts the link at the front of the registry.
    explicit ClassVersionLink(short* version);
    ClassVersionLink(const ClassVersionLink&) = delete;
    ClassVersionLink& operator=(const ClassVersionLink&) = delete;

    short* version;
    ClassVersionLink* next;

    // The first link; the registry grows at the front and never shrinks.
    static ClassVersionLink* s_versionLinks;
};
