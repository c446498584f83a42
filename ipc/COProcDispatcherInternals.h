// Helpers shared by the files of COProcDispatcher; not part of its interface.
#pragma once

#include "COEventData.h"
#include "COProcDispatcher.h"
#include "Platform.h"

#include <cstddef>

// One delivery turn. A receiver may destroy the member (the destructor then marks the turn) or
// throw: either way nothing of the turn is left behind in the member.
class COProcDispatcher::DeliveryTurn {
public:
    explicit DeliveryTurn(COProcDispatcher& member) : m_member(member), m_outer(member.m_delivery)
    {
        member.m_delivery = this;
    }
    ~DeliveryTurn()
    {
        if (!destroyed)
            m_member.m_delivery = m_outer;
        else if (m_outer != nullptr)
            m_outer->destroyed = true;
    }
    DeliveryTurn(const DeliveryTurn&) = delete;
    DeliveryTurn& operator=(const DeliveryTurn&) = delete;

    bool destroyed = false;

private:
    COProcDispatcher& m_member;
    DeliveryTurn* m_outer;
};

namespace group {

using Header = COProcDispatcher::Header;
using QueueDirectory = COProcDispatcher::QueueDirectory;
using EventQueueBlock = COProcDispatcher::EventQueueBlock;
using EventSlot = COProcDispatcher::EventSlot;
using QueueEntry = COProcDispatcher::QueueEntry;

constexpr long kHeaderSize = static_cast<long>(sizeof(Header));

// Shared fields are read once for each decision: another process may change them meanwhile.
template <class T>
T ReadShared(const T& field)
{
    return *static_cast<const volatile T*>(&field);
}

inline long Increment(long& field) { return platform::AtomicIncrement(&field); }
inline long Decrement(long& field) { return platform::AtomicDecrement(&field); }

// A fresh block's header, left locked (lock word 0) for its creator to finish filling it.
void InitHeader(Header& header, long size, long index, long refs);
void InitQueueBlock(EventQueueBlock& block, long slots, long index);

// The first slot among `slots` that is free (`wantFree`) or occupied; -1 if none.
long SlotWithCode(const EventQueueBlock* block, long slots, bool wantFree);

inline long DataIndex(const COEvent& event) { return CODataToValue(event.data); }

// Maps block `index` and keeps the view only when `passes(view, mapped length)`; otherwise the
// view goes at once and the result is null.
template <class Block, class Check>
Block* MapChecked(SharedMemoryHeap& heap, long index, SharedBlock** record, Check passes)
{
    auto* block = static_cast<Block*>(heap.Map(index, record));
    if (block != nullptr && passes(block, (*record)->length))
        return block;
    heap.Release(*record);
    *record = nullptr;
    return nullptr;
}

}  // namespace group
