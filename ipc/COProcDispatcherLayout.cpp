// The group's wire format: the checks that every block written by another process passes before
// it is used, and the conversions between an event record and its 28-byte slot.
#include "COProcDispatcherInternals.h"

#include <climits>
#include <cstring>

using namespace group;

void group::InitHeader(Header& header, long size, long index, long refs)
{
    header.lock = 0;
    header.size = size;
    header.index = index;
    header.refs = refs;
    header.reserved = 0;
}

void group::InitQueueBlock(EventQueueBlock& block, long slots, long index)
{
    InitHeader(block.header, COProcDispatcher::QueueBlockSize(slots), index, 0);
    block.count = slots;
    block.nextIndex = 0;
    block.next = 0;
    std::memset(COProcDispatcher::Slots(&block), 0, sizeof(EventSlot) * static_cast<std::size_t>(slots));
}

long group::SlotWithCode(const EventQueueBlock* block, long slots, bool wantFree)
{
    const EventSlot* slot = COProcDispatcher::Slots(block);
    for (long i = 0; i < slots; ++i) {
        if ((ReadShared(slot[i].code) == 0) == wantFree)
            return i;
    }
    return -1;
}

long COProcDispatcher::CheckQueueBlock(const EventQueueBlock* block, std::size_t length)
{
    if (block == nullptr || length < sizeof(EventQueueBlock))
        return 0;
    const long size = ReadShared(block->header.size);
    const long count = ReadShared(block->count);
    if (count < kFirstBlockSlots || count > kMaxBlockSlots || size != QueueBlockSize(count) ||
        static_cast<std::size_t>(size) > length)
        return 0;
    return count;
}

long COProcDispatcher::CheckDirectory(const QueueDirectory* directory, std::size_t length)
{
    if (directory == nullptr || length < sizeof(QueueDirectory))
        return 0;
    const long count = ReadShared(directory->count);
    if (ReadShared(directory->header.size) != kDirectorySize || count < 1 || count > kDirectoryEntries)
        return 0;
    return count;
}

long COProcDispatcher::CheckDataBlock(const Header* block, std::size_t length, long dataSize)
{
    if (block == nullptr || dataSize <= 0 || dataSize > LONG_MAX - kHeaderSize)
        return -1;
    const long size = ReadShared(block->size);
    if (size != dataSize + kHeaderSize || static_cast<std::size_t>(size) > length)
        return -1;
    return dataSize;
}

COProcDispatcher::EventSlot* COProcDispatcher::Slots(EventQueueBlock* block)
{
    return reinterpret_cast<EventSlot*>(block + 1);
}

const COProcDispatcher::EventSlot* COProcDispatcher::Slots(const EventQueueBlock* block)
{
    return reinterpret_cast<const EventSlot*>(block + 1);
}

long COProcDispatcher::QueueBlockSize(long slots)
{
    return static_cast<long>(sizeof(EventQueueBlock)) + 28 * slots;
}

COEvent COProcDispatcher::ToEvent(const EventSlot& slot)
{
    COEvent event = COMakeEvent(slot.senderID, slot.receiverID, slot.code,
                                COValueToData(static_cast<long>(slot.data)), slot.dataSize, slot.flags);
    event.targetID = slot.targetID;
    event.padding = slot.padding;
    return event;
}

COProcDispatcher::EventSlot COProcDispatcher::ToSlot(const COEvent& event)
{
    EventSlot slot;
    slot.senderID = event.senderID;
    slot.receiverID = event.receiverID;
    slot.targetID = event.targetID;
    slot.flags = event.flags;
    slot.padding = event.padding;
    slot.code = event.code;
    slot.dataSize = event.dataSize;
    slot.data = static_cast<unsigned long>(CODataToValue(event.data));
    return slot;
}

bool COProcDispatcher::IsUsableQueueBlock(const EventQueueBlock* block, std::size_t length)
{
    return CheckQueueBlock(block, length) != 0;
}
