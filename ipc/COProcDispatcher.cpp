// Membership: founding, joining and leaving a group, and what a member knows of the others.
#include "COProcDispatcherInternals.h"

#include "Clock.h"

#include <algorithm>
#include <iterator>

using namespace group;

NamedSharedMemoryHeap* COProcDispatcher::s_eventDataHeap = nullptr;
int COProcDispatcher::s_eventDataHeapUsers = 0;

namespace {

// A member that leaves waits this many times this long, in all, for consumers to attach the
// blocks it appended to their queues.
constexpr int kPendingWaitBudget = 100;
constexpr unsigned long kPendingWaitStepMs = 100;
constexpr const char* kEventDataHeapName = "COProcDispatcherHeap";

}  // namespace

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
    Increment(directory->header.refs);
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
    if (m_ownQueue == nullptr || !LockShared(m_directory->header))
        return;
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
    if (m_directory == nullptr || queueIndex == 0 || !LockShared(m_directory->header))
        return false;
    const long entries = CheckDirectory(m_directory, m_directoryLength);
    bool listed = false;
    for (long i = 0; i < entries && !listed; ++i)
        listed = ReadShared(m_directory->entries[i].queueIndex) == queueIndex;
    Unlock(m_directory->header);
    return listed;
}

bool COProcDispatcher::IsEntered() { return IsQueueListed(m_ownQueueIndex); }

bool COProcDispatcher::IsQueueAlive(long queueIndex)
{
    SharedBlock* record = nullptr;
    if (queueIndex <= 0 || MapChecked<EventQueueBlock>(*m_queueHeap, queueIndex, &record, IsUsableQueueBlock) == nullptr)
        return false;
    m_queueHeap->Release(record);
    return true;
}

// Reads the directory without its lock: the answer is a snapshot either way.
long COProcDispatcher::GetOtherMemberCount()
{
    if (m_directory == nullptr)
        return 0;
    long others = 0;
    const long entries = CheckDirectory(m_directory, m_directoryLength);
    for (long i = 0; i < entries; ++i) {
        const long queueIndex = ReadShared(m_directory->entries[i].queueIndex);
        if (queueIndex != m_ownQueueIndex && IsQueueAlive(queueIndex))
            ++others;
    }
    return others;
}

void COProcDispatcher::LeaveDirectory()
{
    if (m_directory == nullptr)
        return;
    // A directory that stays held by a live stranger keeps the entry: the others count this
    // member as gone once its first block has vanished.
    if (m_ownQueueIndex != 0 && LockShared(m_directory->header)) {
        const long entries = CheckDirectory(m_directory, m_directoryLength);
        for (long i = 0; i < entries; ++i) {
            if (ReadShared(m_directory->entries[i].queueIndex) == m_ownQueueIndex)
                m_directory->entries[i] = QueueEntry{0, 0};
        }
        Unlock(m_directory->header);
    }
    Decrement(m_directory->header.refs);
}

void COProcDispatcher::WaitForPendingBlocks()
{
    int budget = kPendingWaitBudget;
    while (!m_pendingBlocks.empty()) {
        const auto first = m_pendingBlocks.begin();
        const PendingBlock pending = first->second;
        m_pendingBlocks.erase(first);
        // A consumer that has gone (left, or ended without leaving) will never attach the block.
        while (ReadShared(pending.block->header.refs) <= 0 && budget >= 0 && IsQueueAlive(pending.queueIndex)) {
            utilSleep(kPendingWaitStepMs);
            --budget;
        }
        m_queueHeap->Free(pending.block);
    }
}

COProcDispatcher::~COProcDispatcher()
{
    if (m_delivery != nullptr)
        m_delivery->destroyed = true;
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
        Decrement(m_ownQueue->header.refs);
    m_attachedBlocks.clear();
    m_queueHeap.reset();
    if (--s_eventDataHeapUsers == 0) {
        delete s_eventDataHeap;
        s_eventDataHeap = nullptr;
    }
}
