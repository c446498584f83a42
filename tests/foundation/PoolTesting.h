// A pool selected for the life of a scope, with block allocation switched on.
#pragma once

#include "BlockPool.h"
#include "DObject.h"
#include "MemoryPool.h"

class PoolSelection {
public:
    explicit PoolSelection(BlockPool& pool, int automaticDelete = 0)
    {
        MemoryPool::SelectPool(&pool);
        DObject::SetBlockAlloc(1);
        DObject::SetAutomaticDelete(automaticDelete);
    }
    ~PoolSelection() { MemoryPool::SelectPool(nullptr); }
    PoolSelection(const PoolSelection&) = delete;
    PoolSelection& operator=(const PoolSelection&) = delete;
};

inline BYTE* Block(const void* p) { return static_cast<BYTE*>(const_cast<void*>(p)); }
