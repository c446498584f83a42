#include "COProcDispatcher.h"

#include "COEventData.h"
#include "Clock.h"
#include "CommonObjectEventManager.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

NamedSharedMemoryHeap* COProcDispatcher::s_eventDataHeap = nullptr;
int COProcDispatcher::s_eventDataHeapUsers = 0;

namespace {

using Header = COProcDispatcher::Header;
using QueueDirectory = COProcDispatcher::QueueDirectory;
using EventQueueBlock = COProcDispatcher::EventQueueBlock;
using EventSlot = COProcDispatcher::EventSlot;

constexpr long kHeaderSize = static_cast<long>(sizeof(Header));
constexpr unsigned long kLockRetryMs = 10;
constexpr int kLockYields = 200;
// Holders keep a lock for microseconds, milliseconds under a loaded emulator. A lock that a
// waiter has not once seen free for this long belongs to a process that died holding it (killed,
// or crashed): a wait without limit takes it over rather than hang every member for good.
constexpr DWORD kAbandonedLockMs = 20000;
// A member that leaves waits this many times this long, in all, for consumers to attach the
// blocks it appended to their queues.
constexpr int kPendingWaitBudget = 100;
constexpr unsigned long kPendingWaitStepMs = 100;
constexpr const char* kEventDataHeapName = "COProcDispatcherHeap";

// Shared fields are read once for each decision: another process may change them meanwhile.
template <class T>
T ReadShared(const T& field)
{
    return *static_cast<const volatile T*>(&field);
}

// A fresh block's header, left locked (lock word 0) for its creator to finish filling it.
void InitHeader(Header& header, long size, long index, long refs)
{
    header.lock = 0;
    header.size = size;
    header.index = index;
    header.refs = refs;
    header.reserved = 0;
}

void InitQueueBlock(EventQueueBlock& block, long slots, long index)
{
    InitHeader(block.header, COProcDispatcher::QueueBlockSize(slots), index, 0);
    block.count = slots;
    block.nextIndex = 0;
    block.next = 0;
    std::memset(COProcDispatcher::Slots(&block), 0, sizeof(EventSlot) * static_cast<std::size_t>(slots));
}

// What the consumer writes into `next`: the view's address on 32-bit, its low half (never 0) on
// 64-bit. Other processes only test the field for zero; the real view is kept in the process.
unsigned long NextToken(const void* view)
{
    const auto token = static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(view));
    return token != 0 ? token : 1;
}

long SlotWithCode(const EventQueueBlock* block, long slots, bool wantFree)
{
    const EventSlot* slot = COProcDispatcher::Slots(block);
    for (long i = 0; i < slots; ++i) {
        if ((ReadShared(slot[i].code) == 0) == wantFree)
            return i;
    }
    return -1;
}

long DataIndex(const COEvent& event) { return CODataToValue(event.data); }

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

}  // namespace

// ---- shared layouts ----

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

// ---- spin lock ----

bool COProcDispatcher::Lock(Header& header, int timeout)
{
    const DWORD start = GetTickCount();
    DWORD heldSince = start;
    int yields = 0;
    for (;;) {
        for (long word; (word = ReadShared(header.lock)) != -1;) {
            // Below -1 only after a takeover whose holder did come back and unlock: free again.
            if (word < -1) {
                InterlockedCompareExchange(&header.lock, -1, word);
                continue;
            }
            // Elapsed time, so that the tick counter's wrap does not end the wait early.
            const DWORD now = GetTickCount();
            if (timeout > 0 && now - start > static_cast<DWORD>(timeout))
                return false;
            if (timeout == 0 && now - heldSince > kAbandonedLockMs) {
                InterlockedCompareExchange(&header.lock, -1, word);
                heldSince = now;
                continue;
            }
            // Holders keep a lock for a few microseconds: give up the processor a few times
            // before settling into the slow polling that a long hold calls for.
            if (++yields <= kLockYields)
                Sleep(0);
            else
                utilSleep(kLockRetryMs);
        }
        if (InterlockedIncrement(&header.lock) == 0)
            return true;
        InterlockedDecrement(&header.lock);
        heldSince = GetTickCount();  // it was free a moment ago: its holder is alive
    }
}

void COProcDispatcher::Unlock(Header& header) { InterlockedDecrement(&header.lock); }

// ---- joining and leaving ----

COProcDispatcher::COProcDispatcher(const char* name) : COProcDispatcher(name, Joining::JoinOrFound) {}

COProcDispatcher::COProcDispatcher(const char* name, Joining joining) : CODispatcher(name)
{
    using Opening = NamedSharedMemoryHeap::Opening;
    const Opening opening = joining == Joining::FoundOnly ? Opening::CreateOnly : Opening::OpenOrCreate;
    const RkString base = RkString(name != nullptr ? name : "") + "_Array";
    m_queueHeap = std::make_unique<NamedSharedMemoryHeap>(base, this, opening);
    const bool opensDataHeap = s_eventDataHeap == nullptr;
    if (opensDataHeap)
        s_eventDataHeap = new NamedSharedMemoryHeap(kEventDataHeapName, nullptr, opening);
    ++s_eventDataHeapUsers;
    if (m_directory != nullptr)
        CreateOwnQueue();
    if (joining == Joining::FoundOnly) {
        m_existingObject = m_queueHeap->GetExistingObject();
        if (m_existingObject.IsEmpty() && opensDataHeap)
            m_existingObject = s_eventDataHeap->GetExistingObject();
        // Somebody else's objects: whatever this member made stays unlisted, and it sends nothing.
        if (!m_existingObject.IsEmpty())
            m_directory = nullptr;
    }
    if (m_directory != nullptr)
        EnterDirectory();
    RequestIdleEvents();
}

void COProcDispatcher::OnHeapOpened(bool created, void* root, SharedMemoryHeap* heap)
{
    long* directoryIndex = static_cast<long*>(root);
    if (created) {
        auto* directory = static_cast<QueueDirectory*>(heap->Alloc(kDirectorySize));
        if (directory == nullptr)
            return;
        const long index = heap->GetIndex(directory);
        *directoryIndex = index;
        InitHeader(directory->header, kDirectorySize, index, 0);
        directory->count = kDirectoryEntries;
        std::fill(std::begin(directory->entries), std::end(directory->entries), QueueEntry{0, 0});
        Unlock(directory->header);
        m_directory = directory;
        m_directoryLength = sizeof(QueueDirectory);
        return;
    }
    const long index = ReadShared(*directoryIndex);
    if (index <= 0)
        return;
    SharedBlock* record = nullptr;
    auto* directory = MapChecked<QueueDirectory>(*heap, index, &record, [](const QueueDirectory* view, std::size_t length) {
        return CheckDirectory(view, length) != 0;
    });
    if (directory == nullptr)
        return;
    m_directory = directory;
    m_directoryLength = record->length;
    InterlockedIncrement(&directory->header.refs);
}

void COProcDispatcher::CreateOwnQueue()
{
    auto* queue = static_cast<EventQueueBlock*>(m_queueHeap->Alloc(kFirstBlockSize));
    if (queue == nullptr)
        return;
    m_ownQueueIndex = m_queueHeap->GetIndex(queue);
    InitQueueBlock(*queue, kFirstBlockSlots, m_ownQueueIndex);
    Unlock(queue->header);
    m_ownQueue = queue;
}

void COProcDispatcher::EnterDirectory()
{
    if (m_ownQueue == nullptr)
        return;
    Lock(m_directory->header, 0);
    const long entries = CheckDirectory(m_directory, m_directoryLength);
    for (long i = 0; i < entries; ++i) {
        if (ReadShared(m_directory->entries[i].queueIndex) == 0) {
            m_directory->entries[i] = QueueEntry{m_ownQueueIndex, 0};
            break;
        }
    }
    Unlock(m_directory->header);
}

bool COProcDispatcher::IsQueueListed(long queueIndex)
{
    if (m_directory == nullptr || queueIndex == 0)
        return false;
    Lock(m_directory->header, 0);
    const long entries = CheckDirectory(m_directory, m_directoryLength);
    bool listed = false;
    for (long i = 0; i < entries && !listed; ++i)
        listed = ReadShared(m_directory->entries[i].queueIndex) == queueIndex;
    Unlock(m_directory->header);
    return listed;
}

bool COProcDispatcher::IsEntered() { return IsQueueListed(m_ownQueueIndex); }

long COProcDispatcher::GetOtherMemberCount()
{
    if (m_directory == nullptr)
        return 0;
    long others = 0;
    Lock(m_directory->header, 0);
    const long entries = CheckDirectory(m_directory, m_directoryLength);
    for (long i = 0; i < entries; ++i) {
        const long queueIndex = ReadShared(m_directory->entries[i].queueIndex);
        if (queueIndex <= 0 || queueIndex == m_ownQueueIndex)
            continue;
        SharedBlock* record = nullptr;
        if (MapChecked<EventQueueBlock>(*m_queueHeap, queueIndex, &record, IsUsableQueueBlock) != nullptr) {
            ++others;
            m_queueHeap->Release(record);
        }
    }
    Unlock(m_directory->header);
    return others;
}

void COProcDispatcher::LeaveDirectory()
{
    if (m_directory == nullptr)
        return;
    if (m_ownQueueIndex != 0) {
        Lock(m_directory->header, 0);
        const long entries = CheckDirectory(m_directory, m_directoryLength);
        for (long i = 0; i < entries; ++i) {
            if (ReadShared(m_directory->entries[i].queueIndex) == m_ownQueueIndex)
                m_directory->entries[i] = QueueEntry{0, 0};
        }
        Unlock(m_directory->header);
    }
    InterlockedDecrement(&m_directory->header.refs);
}

void COProcDispatcher::WaitForPendingBlocks()
{
    int budget = kPendingWaitBudget;
    while (!m_pendingBlocks.empty()) {
        const auto first = m_pendingBlocks.begin();
        const PendingBlock pending = first->second;
        m_pendingBlocks.erase(first);
        // A consumer that has left the group will never attach the block: no use waiting.
        while (ReadShared(pending.block->header.refs) <= 0 && budget >= 0 && IsQueueListed(pending.queueIndex)) {
            utilSleep(kPendingWaitStepMs);
            --budget;
        }
        m_queueHeap->Free(pending.block);
    }
}

COProcDispatcher::~COProcDispatcher()
{
    if (m_destroyed != nullptr)
        *m_destroyed = true;
    UnrequestIdleEvents();
    LeaveDirectory();
    COEvent event;
    while (RemoveEventFromQueue(&event))
        UnrefEventData(&event);
    for (Header* block : m_dataBlocks)
        s_eventDataHeap->Free(block);
    m_dataBlocks.clear();
    if (m_ownQueue != nullptr)
        RemoveFreeEventQueueBlocks();
    WaitForPendingBlocks();
    if (m_ownQueue != nullptr)
        InterlockedDecrement(&m_ownQueue->header.refs);
    m_attachedBlocks.clear();
    m_queueHeap.reset();
    if (--s_eventDataHeapUsers == 0) {
        delete s_eventDataHeap;
        s_eventDataHeap = nullptr;
    }
}

// ---- producer side ----

EventQueueBlock* COProcDispatcher::MapQueueBlock(long index, long* slots)
{
    *slots = 0;
    if (index <= 0)
        return nullptr;
    if (index == m_ownQueueIndex && m_ownQueue != nullptr) {
        // This member keeps its own first block mapped for good: no fresh view is needed.
        Lock(m_ownQueue->header, 0);
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
    Lock(block->header, 0);
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

void COProcDispatcher::KeepPending(EventQueueBlock* block, long queueIndex)
{
    // One view per block is enough to keep it alive; a put into a block already kept made a
    // second view, which goes at once.
    const long index = ReadShared(block->header.index);
    if (!m_pendingBlocks.emplace(index, PendingBlock{block, queueIndex}).second)
        m_queueHeap->Free(block);
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
    EventQueueBlock* block = MapQueueBlock(queueIndex, &slots);
    if (block == nullptr)
        return false;
    long blockIndex = queueIndex;
    bool unattached = false;
    for (;;) {
        const long free = SlotWithCode(block, slots, true);
        if (free >= 0) {
            AddRefEventData(event);
            Slots(block)[free] = ToSlot(*event);
            Unlock(block->header);
            if (unattached)
                KeepPending(block, queueIndex);
            else
                ReleaseQueueBlock(block);
            return true;
        }
        const long nextIndex = static_cast<long>(ReadShared(block->nextIndex));
        if (nextIndex == 0)
            break;
        long nextSlots = 0;
        // Blocks are numbered in the order they were made, so a chain only ever counts upwards;
        // a link that does not is spoilt (and would let the walk run in a circle).
        EventQueueBlock* next = nextIndex > blockIndex ? MapQueueBlock(nextIndex, &nextSlots) : nullptr;
        if (next == nullptr) {
            // The next block has ceased to exist (or cannot be used): cut it off, append anew.
            block->nextIndex = 0;
            block->next = 0;
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

// ---- event data ----

Header* COProcDispatcher::MapDataBlock(const COEvent& event, SharedBlock** record)
{
    *record = nullptr;
    const long index = DataIndex(event);
    if (s_eventDataHeap == nullptr || event.dataSize <= 0 || index < 0)
        return nullptr;
    return MapChecked<Header>(*s_eventDataHeap, index, record, [&event](const Header* view, std::size_t length) {
        return CheckDataBlock(view, length, event.dataSize) >= 0;
    });
}

long COProcDispatcher::AddRefEventData(const COEvent* event)
{
    // The block of the event being put was made here a moment ago: this member's view serves.
    if (m_sendingData != nullptr && event->dataSize > 0 && DataIndex(*event) == m_sendingDataIndex)
        return InterlockedIncrement(&m_sendingData->refs);
    SharedBlock* record = nullptr;
    Header* block = MapDataBlock(*event, &record);
    if (block == nullptr)
        return 0;
    const long refs = InterlockedIncrement(&block->refs);
    s_eventDataHeap->Release(record);
    return refs;
}

void COProcDispatcher::UnrefEventData(const COEvent* event)
{
    SharedBlock* record = nullptr;
    if (Header* block = MapDataBlock(*event, &record)) {
        InterlockedDecrement(&block->refs);
        s_eventDataHeap->Release(record);
    }
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
    return data != nullptr ? InterlockedIncrement(&staticGetHeader(data)->refs) : 0;
}

void COProcDispatcher::staticUnrefSharedMemory(void* data)
{
    if (data == nullptr)
        return;
    Header* header = staticGetHeader(data);
    if (InterlockedDecrement(&header->refs) < 0 && s_eventDataHeap != nullptr)
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
    // Outside the group nothing can be put anywhere; an event whose data found no room is lost.
    if (m_directory == nullptr || (event->dataSize > 0 && !CopyDataToSharedMemory(event)))
        return;
    std::vector<long> vanished;
    Lock(m_directory->header, 0);
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

bool COProcDispatcher::OnIdle(unsigned long /*time*/)
{
    bool destroyed = false;
    bool* const outer = std::exchange(m_destroyed, &destroyed);
    COEvent event;
    while (RemoveEventFromQueue(&event)) {
        const long dataSize = event.dataSize;
        void* const data = event.data;
        SharedBlock* record = nullptr;
        Header* block = nullptr;
        if (dataSize > 0) {
            block = MapDataBlock(event, &record);
            // Its data is gone: the event is dropped, and there is no reference to return.
            if (block == nullptr)
                continue;
            event.data = block + 1;
        }
        CODispatcher::HandleEvent(&event);
        if (destroyed) {
            // A receiver destroyed this member, and every view with it: nothing is left to touch.
            if (outer != nullptr)
                *outer = true;
            return true;
        }
        event.dataSize = dataSize;
        event.data = data;
        if (block != nullptr) {
            InterlockedDecrement(&block->refs);
            s_eventDataHeap->Release(record);
        }
    }
    FreeUnreferencedDataBlocks();
    m_destroyed = outer;
    return true;
}

// ---- consumer side ----

bool COProcDispatcher::RemoveEventFromQueue(COEvent* event)
{
    if (m_ownQueue == nullptr)
        return false;
    Lock(m_ownQueue->header, 0);
    long slots = CheckQueueBlock(m_ownQueue, m_queueHeap->GetLength(m_ownQueue));
    EventSlot* first = Slots(m_ownQueue);
    if (slots == 0 || ReadShared(first[0].code) == 0) {
        const bool hasNext = ReadShared(m_ownQueue->nextIndex) != 0;
        Unlock(m_ownQueue->header);
        if (hasNext)
            RemoveFreeEventQueueBlocks();
        FreeEventBlocks();
        return false;
    }
    *event = ToEvent(first[0]);
    std::memmove(first, first + 1, sizeof(EventSlot) * static_cast<std::size_t>(slots - 1));

    // Every later event moves one slot toward the front, hand over hand along the chain.
    EventQueueBlock* block = m_ownQueue;
    EventQueueBlock* next = GetNextEventQueueBlock(block);
    while (next != nullptr) {
        Lock(next->header, 0);
        const long nextSlots = CheckQueueBlock(next, m_queueHeap->GetLength(next));
        if (nextSlots == 0) {
            // Spoilt while attached: cut it off like a block that has ceased to exist.
            Unlock(next->header);
            block->nextIndex = 0;
            block->next = 0;
            DetachBlock(next);
            break;
        }
        EventSlot* nextFirst = Slots(next);
        Slots(block)[slots - 1] = nextFirst[0];
        std::memmove(nextFirst, nextFirst + 1, sizeof(EventSlot) * static_cast<std::size_t>(nextSlots - 1));
        EventQueueBlock* after = GetNextEventQueueBlock(next);
        Unlock(block->header);
        block = next;
        slots = nextSlots;
        next = after;
    }
    std::memset(&Slots(block)[slots - 1], 0, sizeof(EventSlot));
    Unlock(block->header);
    return true;
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
            InterlockedIncrement(&next->header.refs);
            m_attachedBlocks.emplace(index, next);
            return next;
        }
    }
    block->nextIndex = 0;
    block->next = 0;
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

void COProcDispatcher::CollectEventQueueBlocks(std::vector<EventQueueBlock*>& blocks)
{
    EventQueueBlock* block = m_ownQueue;
    Lock(block->header, 0);
    blocks.push_back(block);
    while (EventQueueBlock* next = GetNextEventQueueBlock(block)) {
        Lock(next->header, 0);
        blocks.push_back(next);
        block = next;
    }
}

void COProcDispatcher::RemoveFreeEventQueueBlocks()
{
    std::vector<EventQueueBlock*> chain;
    CollectEventQueueBlocks(chain);
    bool eventSeen = false;
    while (!chain.empty()) {
        EventQueueBlock* block = chain.back();
        chain.pop_back();
        if (!eventSeen)
            eventSeen = SlotWithCode(block, CheckQueueBlock(block, m_queueHeap->GetLength(block)), false) >= 0;
        Unlock(block->header);
        if (!eventSeen && !chain.empty()) {
            chain.back()->nextIndex = 0;
            chain.back()->next = 0;
            DetachBlock(block);
        }
    }
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
