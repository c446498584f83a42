// The queue chain: a producer's put (with growth and the views it keeps pending), a consumer's
// take, and the trimming of empty blocks from the end of the own chain.
//
// Every link of a chain is a heap index written by other processes. Blocks are numbered in the
// order they were made, so a sound chain only ever counts upwards, and no queue but the own one
// can lead into a block of the own chain; a link that breaks either rule is spoilt and cut. The
// views of the own chain live as long as the member (or until trimmed) and are never kept as
// pending views.
#include "COProcDispatcherInternals.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace group;

namespace {

// What the consumer writes into `next`: the view's address on 32-bit, its low half (never 0) on
// 64-bit. Other processes only test the field for zero; the real view is kept in the process.
unsigned long NextToken(const void* view)
{
    const auto token = static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(view));
    return token != 0 ? token : 1;
}

void CutAfter(EventQueueBlock* block)
{
    block->nextIndex = 0;
    block->next = 0;
}

}  // namespace

// ---- producer side ----

bool COProcDispatcher::IsOwnChainBlock(long index) const
{
    return index == m_ownQueueIndex || m_attachedBlocks.count(index) != 0;
}

COProcDispatcher::EventQueueBlock* COProcDispatcher::MapQueueBlock(long index, long* slots, bool* held)
{
    *slots = 0;
    *held = false;
    if (index <= 0)
        return nullptr;
    if (index == m_ownQueueIndex && m_ownQueue != nullptr) {
        // This member keeps its own first block mapped for good: no fresh view is needed.
        if (!LockShared(m_ownQueue->header)) {
            *held = true;
            return nullptr;
        }
        *slots = CheckQueueBlock(m_ownQueue, m_queueHeap->GetLength(m_ownQueue));
        if (*slots != 0)
            return m_ownQueue;
        Unlock(m_ownQueue->header);
        return nullptr;
    }
    SharedBlock* record = nullptr;
    // Checked before locking: a block that has ceased to exist reads as zeros, and a zero lock
    // word means "held".
    auto* block = MapChecked<EventQueueBlock>(*m_queueHeap, index, &record, IsUsableQueueBlock);
    if (block == nullptr)
        return nullptr;
    if (!LockShared(block->header)) {
        *held = true;
        m_queueHeap->Release(record);
        return nullptr;
    }
    *slots = CheckQueueBlock(block, record->length);
    if (*slots == 0) {
        Unlock(block->header);
        m_queueHeap->Release(record);
        return nullptr;
    }
    return block;
}

void COProcDispatcher::ReleaseQueueBlock(EventQueueBlock* block)
{
    if (block != m_ownQueue)
        m_queueHeap->Free(block);
}

void COProcDispatcher::KeepPending(EventQueueBlock* block, long index, long queueIndex)
{
    // One view per block is enough to keep it alive; a put into a block already kept made a
    // second view, which goes at once. The key is the index this member mapped, never what the
    // block says of itself.
    if (block == m_ownQueue || !m_pendingBlocks.emplace(index, PendingBlock{block, queueIndex}).second)
        ReleaseQueueBlock(block);
}

void COProcDispatcher::DropPendingBlock(long index)
{
    // A block cut off its chain will never be attached: keeping it would only hold a view.
    if (const auto pending = m_pendingBlocks.find(index); pending != m_pendingBlocks.end()) {
        m_queueHeap->Free(pending->second.block);
        m_pendingBlocks.erase(pending);
    }
}

void COProcDispatcher::DropPendingBlocksOf(long queueIndex)
{
    for (auto it = m_pendingBlocks.begin(); it != m_pendingBlocks.end();) {
        if (it->second.queueIndex == queueIndex) {
            m_queueHeap->Free(it->second.block);
            it = m_pendingBlocks.erase(it);
        } else {
            ++it;
        }
    }
}

bool COProcDispatcher::PutEventInOneQueue(long queueIndex, COEvent* event)
{
    long slots = 0;
    bool held = false;
    EventQueueBlock* block = MapQueueBlock(queueIndex, &slots, &held);
    if (block == nullptr)
        return held;  // a queue held by a live stranger is skipped, not dropped
    long blockIndex = queueIndex;
    bool unattached = false;
    for (;;) {
        const long free = SlotWithCode(block, slots, true);
        if (free >= 0) {
            AddRefEventData(event);
            Slots(block)[free] = ToSlot(*event);
            Unlock(block->header);
            if (unattached)
                KeepPending(block, blockIndex, queueIndex);
            else
                ReleaseQueueBlock(block);
            return true;
        }
        const long nextIndex = static_cast<long>(ReadShared(block->nextIndex));
        if (nextIndex == 0)
            break;
        long nextSlots = 0;
        const bool sound = nextIndex > blockIndex && (queueIndex == m_ownQueueIndex || !IsOwnChainBlock(nextIndex));
        EventQueueBlock* next = sound ? MapQueueBlock(nextIndex, &nextSlots, &held) : nullptr;
        if (held) {
            Unlock(block->header);
            ReleaseQueueBlock(block);
            return true;
        }
        if (next == nullptr) {
            // The next block has ceased to exist (or cannot be used): cut it off, append anew.
            CutAfter(block);
            DropPendingBlock(nextIndex);
            break;
        }
        if (ReadShared(block->next) == 0)
            unattached = true;
        Unlock(block->header);
        ReleaseQueueBlock(block);
        block = next;
        blockIndex = nextIndex;
        slots = nextSlots;
    }
    AppendQueueBlock(block, slots, queueIndex, event);
    return true;
}

void COProcDispatcher::AppendQueueBlock(EventQueueBlock* last, long lastSlots, long queueIndex, COEvent* event)
{
    const long slots = std::clamp(2 * lastSlots, kFirstBlockSlots, kMaxBlockSlots);
    auto* block = static_cast<EventQueueBlock*>(m_queueHeap->Alloc(QueueBlockSize(slots)));
    if (block != nullptr) {
        const long index = m_queueHeap->GetIndex(block);
        InitQueueBlock(*block, slots, index);
        last->nextIndex = static_cast<unsigned long>(index);
        AddRefEventData(event);
        Slots(block)[0] = ToSlot(*event);
        m_pendingBlocks.emplace(index, PendingBlock{block, queueIndex});
        Unlock(block->header);
    }
    // Without a new block this queue misses the event; the others still get it.
    Unlock(last->header);
    ReleaseQueueBlock(last);
}

void COProcDispatcher::FreeEventBlocks()
{
    for (auto it = m_pendingBlocks.begin(); it != m_pendingBlocks.end();) {
        if (ReadShared(it->second.block->header.refs) > 0) {
            m_queueHeap->Free(it->second.block);
            it = m_pendingBlocks.erase(it);
        } else {
            ++it;
        }
    }
}

// ---- consumer side ----

bool COProcDispatcher::RemoveEventFromQueue(COEvent* event)
{
    if (m_ownQueue == nullptr) {
        // A member whose queue could not be made still lets go of the blocks it appended to
        // others' queues once their consumers have attached them.
        FreeEventBlocks();
        return false;
    }
    if (!LockShared(m_ownQueue->header))
        return false;
    const long slots = CheckQueueBlock(m_ownQueue, m_queueHeap->GetLength(m_ownQueue));
    if (slots == 0 || ReadShared(Slots(m_ownQueue)[0].code) == 0) {
        const bool hasNext = ReadShared(m_ownQueue->nextIndex) != 0;
        Unlock(m_ownQueue->header);
        if (hasNext)
            RemoveFreeEventQueueBlocks();
        FreeEventBlocks();
        return false;
    }
    // Every later event moves one slot toward the front, across the chain. A block that stays
    // held would leave a hole before its events, which the next put fills out of order: so every
    // block the move reaches is locked before anything moves, and one that stays held ends the
    // turn with nothing taken.
    std::vector<TakenBlock> blocks{{m_ownQueue, slots}};
    const bool locked = LockTakenBlocks(blocks);
    if (locked) {
        *event = ToEvent(Slots(m_ownQueue)[0]);
        MoveEventsForward(blocks);
    }
    for (const TakenBlock& taken : blocks)
        Unlock(taken.block->header);
    return locked;
}

bool COProcDispatcher::LockTakenBlocks(std::vector<TakenBlock>& blocks)
{
    for (;;) {
        const TakenBlock last = blocks.back();
        // Events fill a chain from its front: none lies behind a block whose last slot is free.
        if (ReadShared(Slots(last.block)[last.slots - 1].code) == 0)
            return true;
        EventQueueBlock* next = GetNextEventQueueBlock(last.block);
        if (next == nullptr)
            return true;
        if (!LockShared(next->header))
            return false;
        const long nextSlots = CheckQueueBlock(next, m_queueHeap->GetLength(next));
        if (nextSlots == 0) {
            // Spoilt while attached: cut it off like a block that has ceased to exist.
            Unlock(next->header);
            CutAfter(last.block);
            DetachBlock(next);
            return true;
        }
        blocks.push_back(TakenBlock{next, nextSlots});
    }
}

void COProcDispatcher::MoveEventsForward(const std::vector<TakenBlock>& blocks)
{
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EventSlot* slots = Slots(blocks[i].block);
        const long last = blocks[i].slots - 1;
        std::memmove(slots, slots + 1, sizeof(EventSlot) * static_cast<std::size_t>(last));
        if (i + 1 < blocks.size())
            slots[last] = Slots(blocks[i + 1].block)[0];
        else
            std::memset(&slots[last], 0, sizeof(EventSlot));
    }
}

COProcDispatcher::EventQueueBlock* COProcDispatcher::GetNextEventQueueBlock(EventQueueBlock* block)
{
    const long index = static_cast<long>(ReadShared(block->nextIndex));
    if (index == 0)
        return nullptr;
    // A chain only counts upwards (see PutEventInOneQueue).
    if (index > KnownIndex(block)) {
        if (const auto attached = m_attachedBlocks.find(index); attached != m_attachedBlocks.end())
            return attached->second;
        SharedBlock* record = nullptr;
        if (auto* next = MapChecked<EventQueueBlock>(*m_queueHeap, index, &record, IsUsableQueueBlock)) {
            block->next = NextToken(next);
            Increment(next->header.refs);
            m_attachedBlocks.emplace(index, next);
            return next;
        }
    }
    CutAfter(block);
    return nullptr;
}

long COProcDispatcher::KnownIndex(const EventQueueBlock* block) const
{
    for (const auto& [index, attached] : m_attachedBlocks) {
        if (attached == block)
            return index;
    }
    return m_ownQueueIndex;
}

void COProcDispatcher::DetachBlock(EventQueueBlock* block)
{
    for (auto it = m_attachedBlocks.begin(); it != m_attachedBlocks.end(); ++it) {
        if (it->second == block) {
            m_attachedBlocks.erase(it);
            break;
        }
    }
    m_queueHeap->Free(block);
}

bool COProcDispatcher::CollectEventQueueBlocks(std::vector<EventQueueBlock*>& blocks)
{
    EventQueueBlock* block = m_ownQueue;
    if (!LockShared(block->header))
        return false;
    blocks.push_back(block);
    while (EventQueueBlock* next = GetNextEventQueueBlock(block)) {
        if (!LockShared(next->header))
            return false;
        blocks.push_back(next);
        block = next;
    }
    return true;
}

void COProcDispatcher::RemoveFreeEventQueueBlocks()
{
    std::vector<EventQueueBlock*> chain;
    // Only a whole chain can be trimmed from its end.
    bool eventSeen = !CollectEventQueueBlocks(chain);
    while (!chain.empty()) {
        EventQueueBlock* block = chain.back();
        chain.pop_back();
        if (!eventSeen)
            eventSeen = SlotWithCode(block, CheckQueueBlock(block, m_queueHeap->GetLength(block)), false) >= 0;
        Unlock(block->header);
        if (!eventSeen && !chain.empty()) {
            CutAfter(chain.back());
            DetachBlock(block);
        }
    }
}
