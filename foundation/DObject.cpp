#include "DObject.h"

#include "BlockPool.h"
#include "MemoryPool.h"

int DObject::s_memSaved = 0;

DObject::DObject() = default;

DObject::~DObject() = default;

void* DObject::operator new(std::size_t size) { return MemoryPool::Allocate(size); }

void DObject::operator delete(void* p) { MemoryPool::Deallocate(p); }

void DObject::SetBlockAlloc(int on)
{
    if (BlockPool* pool = MemoryPool::CurrentPool())
        pool->blockAlloc = on;
}

int DObject::GetBlockAlloc()
{
    BlockPool* pool = MemoryPool::CurrentPool();
    return pool ? pool->blockAlloc : 0;
}

void DObject::SetAutomaticDelete(int on)
{
    if (BlockPool* pool = MemoryPool::CurrentPool())
        pool->automaticDelete = on;
}

void DObject::SetMemSaved(int saved) { s_memSaved = saved; }

int DObject::MemSaved() { return s_memSaved; }

void DObject::Kill() { delete this; }
