// Base of objects whose allocation goes through the current memory pool (MemoryPool,
// BlockPool) instead of straight to the global allocator, also when the framework creates one
// by class name. Its run-time class is CObject's.
#pragma once

#include "AfxExport.h"
#include "CObject.h"

#include <cstddef>

class CORVANE_API DObject : public CObject {
public:
    DObject();
    // Does nothing itself; deleting frees through DObject::operator delete.
    ~DObject() override;

    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    // Block allocation of the current pool; without a current pool they do nothing and
    // GetBlockAlloc answers 0. No lock: meant for the thread that selected the pool.
    static void SetBlockAlloc(int on);
    static int GetBlockAlloc();
    static void SetAutomaticDelete(int on);

    // A flag kept for modules that set and read it; nothing else looks at it.
    static void SetMemSaved(int saved);
    static int MemSaved();

    // Deletes the object through its virtual destructor.
    void Kill();

private:
    static int s_memSaved;
};
