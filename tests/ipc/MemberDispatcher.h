// A simulated member's dispatcher, with what the fuzzer's checks read of its state.
#pragma once

#include "COProcDispatcher.h"

#include <cstddef>
#include <set>

namespace simulated_group {

class MemberDispatcher : public COProcDispatcher {
public:
    using COProcDispatcher::COProcDispatcher;

    // Each process opens the event-data heap for itself; the simulated ones share this program's
    // single heap object, whose mutex and counter view belong to the process that opened it and
    // end with it. Opened here by the host process, which outlives every member, it serves them
    // all as each one's own would, until released.
    static void HoldDataHeap()
    {
        if (s_eventDataHeapUsers++ == 0)
            s_eventDataHeap = new NamedSharedMemoryHeap("COProcDispatcherHeap", nullptr);
    }
    static void ReleaseDataHeap()
    {
        if (--s_eventDataHeapUsers == 0) {
            delete s_eventDataHeap;
            s_eventDataHeap = nullptr;
        }
    }

    // False for a member outside the group: whatever it sends goes nowhere.
    bool SendsToGroup() const { return m_directory != nullptr; }
    bool Entered() { return IsEntered(); }
    std::size_t DataBlocksKept() const { return m_dataBlocks.size(); }
    // Views of the queue heap: the root, the directory, the own chain and the pending views.
    std::size_t QueueViews() const { return m_queueHeap->GetMappedCount(); }
    std::size_t PendingViews() const { return m_pendingBlocks.size(); }
    std::size_t AttachedViews() const { return GetAttachedCount(); }
    // Pending views of blocks whose consumer has attached them already.
    std::size_t PendingAttached() const
    {
        std::size_t attached = 0;
        for (const auto& pending : m_pendingBlocks)
            attached += pending.second.block->header.refs > 0 ? 1 : 0;
        return attached;
    }
    // The blocks behind the pending views, each counted once however many views it has here.
    std::size_t PendingBlocks() const
    {
        std::set<long> blocks;
        for (const auto& pending : m_pendingBlocks)
            blocks.insert(m_queueHeap->GetIndex(pending.second.block));
        return blocks.size();
    }
};

}  // namespace simulated_group
