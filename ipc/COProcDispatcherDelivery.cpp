// How an event enters the group (its data copied once into the event-data heap) and how a member
// delivers what arrived in its own queue to its local receivers.
#include "COProcDispatcherInternals.h"

#include "CommonObjectEventManager.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

using namespace group;

// ---- event data ----

// A view of the event's data block that belongs to the caller alone: no Free or Release of the
// heap (a receiver's staticUnrefSharedMemory included) and no end of the heap can take it away.
SharedBlock COProcDispatcher::MapDataBlock(const COEvent& event)
{
    SharedBlock block;
    const long index = DataIndex(event);
    if (s_eventDataHeap == nullptr || event.dataSize <= 0 || index < 0)
        return block;
    block = s_eventDataHeap->MapUnlisted(index);
    if (CheckDataBlock(static_cast<const Header*>(block.view.Get()), block.length, event.dataSize) < 0)
        block = SharedBlock();
    return block;
}

long COProcDispatcher::AddRefEventData(const COEvent* event)
{
    // The block of the event being put was made here a moment ago: this member's view serves.
    if (m_sendingData != nullptr && event->dataSize > 0 && DataIndex(*event) == m_sendingDataIndex)
        return Increment(m_sendingData->refs);
    const SharedBlock block = MapDataBlock(*event);
    auto* header = static_cast<Header*>(block.view.Get());
    return header != nullptr ? Increment(header->refs) : 0;
}

void COProcDispatcher::UnrefEventData(const COEvent* event)
{
    const SharedBlock block = MapDataBlock(*event);
    if (auto* header = static_cast<Header*>(block.view.Get()))
        Decrement(header->refs);
}

bool COProcDispatcher::CopyDataToSharedMemory(COEvent* event)
{
    if (s_eventDataHeap == nullptr || event->dataSize > LONG_MAX - kHeaderSize)
        return false;
    const long size = event->dataSize + kHeaderSize;
    auto* block = static_cast<Header*>(s_eventDataHeap->Alloc(size));
    if (block == nullptr)
        return false;
    const long index = s_eventDataHeap->GetIndex(block);
    InitHeader(*block, size, index, -1);
    // A record that claims data but has no block carries zero bytes.
    if (event->data != nullptr)
        std::memcpy(block + 1, event->data, static_cast<std::size_t>(event->dataSize));
    event->data = COValueToData(index);
    Unlock(*block);
    m_dataBlocks.push_back(block);
    m_sendingData = block;
    m_sendingDataIndex = index;
    return true;
}

void COProcDispatcher::FreeUnreferencedDataBlocks()
{
    const auto unreferenced = [](Header* block) {
        if (ReadShared(block->refs) >= 0)
            return false;
        s_eventDataHeap->Free(block);
        return true;
    };
    m_dataBlocks.erase(std::remove_if(m_dataBlocks.begin(), m_dataBlocks.end(), unreferenced), m_dataBlocks.end());
}

COProcDispatcher::Header* COProcDispatcher::staticGetHeader(void* data)
{
    return reinterpret_cast<Header*>(static_cast<char*>(data) - kHeaderSize);
}

long COProcDispatcher::staticAddRefSharedMemory(void* data)
{
    return data != nullptr ? Increment(staticGetHeader(data)->refs) : 0;
}

void COProcDispatcher::staticUnrefSharedMemory(void* data)
{
    if (data == nullptr)
        return;
    Header* header = staticGetHeader(data);
    // Only a view the heap keeps can go here; a delivery's view is the delivery's own.
    if (Decrement(header->refs) < 0 && s_eventDataHeap != nullptr)
        s_eventDataHeap->Free(header);
}

bool COProcDispatcher::staticLockSharedMemory(void* data, int timeout)
{
    return data != nullptr && Lock(*staticGetHeader(data), timeout);
}

void COProcDispatcher::staticUnlockSharedMemory(void* data)
{
    if (data != nullptr)
        Unlock(*staticGetHeader(data));
}

// ---- entry and delivery ----

bool COProcDispatcher::HandleEvent(COEvent* event)
{
    if (event->code == COE_IDLE)
        return OnIdle(static_cast<unsigned long>(CODataToValue(event->data)));
    // Answering true makes a posted block this member's; the group carries a copy of it, so the
    // original goes once it has been copied (or could not be).
    void* posted = CommonObjectEventManager::staticIsPostedBlock(event) ? event->data : nullptr;
    PutEventInAllQueues(event);
    COEventDataFree(posted);
    return true;
}

void COProcDispatcher::PutEventInAllQueues(COEvent* event)
{
    // Outside the group nothing can be put anywhere; an event whose data found no room is lost,
    // and so is one while a live stranger keeps the directory.
    if (m_directory == nullptr || (event->dataSize > 0 && !CopyDataToSharedMemory(event)) ||
        !LockShared(m_directory->header)) {
        m_sendingData = nullptr;
        return;
    }
    std::vector<long> vanished;
    const long entries = CheckDirectory(m_directory, m_directoryLength);
    for (long i = 0; i < entries; ++i) {
        const long queueIndex = ReadShared(m_directory->entries[i].queueIndex);
        if (queueIndex != 0 && !PutEventInOneQueue(queueIndex, event)) {
            m_directory->entries[i] = QueueEntry{0, 0};
            vanished.push_back(queueIndex);
        }
    }
    Unlock(m_directory->header);
    m_sendingData = nullptr;
    for (const long queueIndex : vanished)
        DropPendingBlocksOf(queueIndex);
}

namespace {

// Gives a delivered event's reference to its data block back when the delivery is over.
struct ReturnedReference {
    Header* header;
    ~ReturnedReference()
    {
        if (header != nullptr)
            Decrement(header->refs);
    }
};

}  // namespace

bool COProcDispatcher::OnIdle(unsigned long /*time*/)
{
    DeliveryTurn turn(*this);
    COEvent event;
    while (RemoveEventFromQueue(&event)) {
        const long dataSize = event.dataSize;
        void* const data = event.data;
        const SharedBlock block = MapDataBlock(event);
        auto* header = static_cast<Header*>(block.view.Get());
        // Its data is gone: the event is dropped, and there is no reference to return.
        if (dataSize > 0 && header == nullptr)
            continue;
        if (header != nullptr)
            event.data = header + 1;
        {
            // The view is the turn's own, so the reference goes back even when a receiver
            // destroyed this member, and every other view with it, or threw.
            const ReturnedReference reference{header};
            CODispatcher::HandleEvent(&event);
        }
        if (turn.destroyed)
            return true;
        event.dataSize = dataSize;
        event.data = data;
    }
    FreeUnreferencedDataBlocks();
    return true;
}
