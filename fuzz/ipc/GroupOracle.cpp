#include "GroupOracle.h"

#include "SharedMemoryHeap.h"
#include "Stranger.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace group_fuzz {

namespace {

// Far enough for every block an input can make.
constexpr long kBlocksChecked = 64;

}  // namespace

void Violation(const char* rule, long value)
{
    std::fprintf(stderr, "==group oracle== %s (%ld)\n", rule, value);
    __builtin_trap();
}

GroupOracle::GroupOracle(simulated_group::SimulatedGroup& group, std::string name)
    : m_group(group), m_queueHeap(std::move(name) + "_Array")
{
}

void GroupOracle::Joined(int member)
{
    bool listed = false;
    m_group.Within(member, [&] { listed = m_group.Dispatcher(member)->Entered(); });
    m_inFlight.resize(static_cast<std::size_t>(member) + 1);
    m_listed.resize(static_cast<std::size_t>(member) + 1);
    m_listed[static_cast<std::size_t>(member)] = listed;
}

void GroupOracle::SendStarted(int sender, const std::string& data, bool risky)
{
    const unsigned int seq = m_nextSeq++;
    simulated_group::MemberDispatcher* dispatcher = m_group.Dispatcher(sender);
    if (dispatcher == nullptr || !dispatcher->SendsToGroup())
        return;
    const Expected expected{seq, sender, data, risky, Now(), kRunning};
    m_sends.emplace(seq, expected);
    int destinations = 0;
    for (int member = 0; member < m_group.Size(); ++member) {
        if (m_group.IsThere(member) && m_listed[static_cast<std::size_t>(member)]) {
            m_inFlight[static_cast<std::size_t>(member)].push_back(expected);
            ++destinations;
        }
    }
    if (!data.empty() && destinations > 0)
        m_unsettled.emplace(seq, DataEvent{sender, destinations});
    if (!data.empty() && !m_deadQueues.empty())
        m_mayStay.insert(seq);
}

template <class Change>
void GroupOracle::ForEachCopy(unsigned int seq, Change change)
{
    // Entries go in by seq, so a recent event's copies are among the last of each queue.
    for (std::deque<Expected>& inFlight : m_inFlight) {
        for (auto it = inFlight.rbegin(); it != inFlight.rend() && it->seq >= seq; ++it) {
            if (it->seq == seq)
                change(*it);
        }
    }
}

void GroupOracle::SendEnded(unsigned int code)
{
    const auto sent = m_sends.find(code - kFirstCode);
    if (sent == m_sends.end())
        return;
    sent->second.endedAt = Now();
    ForEachCopy(sent->first, [&](Expected& copy) { copy.endedAt = sent->second.endedAt; });
}

void GroupOracle::HostileAct()
{
    ++m_hostileActs;
    for (auto& [seq, sending] : m_sends) {
        if (sending.endedAt != kRunning)
            continue;
        sending.excused = true;
        ForEachCopy(seq, [](Expected& copy) { copy.excused = true; });
    }
}

void GroupOracle::Arrived(int member, unsigned int code, const std::string& data)
{
    if (m_queueSpoiled)
        return;  // a queue written into may hold anything
    const unsigned int seq = code - kFirstCode;
    std::deque<Expected>& inFlight = m_inFlight[static_cast<std::size_t>(member)];
    const auto arrived = std::find_if(inFlight.begin(), inFlight.end(), [seq](const Expected& e) { return e.seq == seq; });
    if (arrived == inFlight.end())
        Violation("an event arrived that was not sent to this member, or twice", static_cast<long>(seq));
    if (data != arrived->data && !m_dataSpoiled)
        Violation("an event arrived with other data", static_cast<long>(seq));
    // What was sent before this send began can no longer come: it was lost or overtaken.
    const unsigned long startedAt = arrived->startedAt;
    const auto before = [startedAt](const Expected& e) { return e.endedAt < startedAt; };
    for (auto it = inFlight.begin(); it != arrived; ++it) {
        if (before(*it) && !it->excused)
            Violation("an earlier event was lost or overtaken", static_cast<long>(it->seq));
    }
    const auto position = arrived - inFlight.begin();
    inFlight.erase(arrived);
    const auto end = inFlight.begin() + position;
    inFlight.erase(std::remove_if(inFlight.begin(), end, before), end);
    Settle(seq);
}

void GroupOracle::Settle(unsigned int seq)
{
    const auto event = m_unsettled.find(seq);
    if (event != m_unsettled.end() && --event->second.destinations == 0)
        m_unsettled.erase(event);
}

void GroupOracle::Delivered(int member, bool emptied, unsigned long startedAt, bool alone)
{
    if (!emptied || !m_group.IsThere(member) || m_queueSpoiled)
        return;
    // Whatever was sent before the turn began was in the queue when the turn found it empty.
    std::deque<Expected>& inFlight = m_inFlight[static_cast<std::size_t>(member)];
    for (const Expected& stranded : inFlight) {
        if (stranded.endedAt < startedAt && !stranded.excused)
            Violation("an event stayed behind in an emptied queue", static_cast<long>(stranded.seq));
    }
    inFlight.erase(std::remove_if(inFlight.begin(), inFlight.end(), [startedAt](const Expected& e) { return e.endedAt < startedAt; }),
                   inFlight.end());
    if (alone)
        CheckKept(member);
}

void GroupOracle::CheckKept(int member)
{
    const simulated_group::MemberDispatcher& dispatcher = *m_group.Dispatcher(member);
    // The own chain is back to its first block.
    if (dispatcher.QueueViews() > 3 + dispatcher.PendingViews())
        Violation("queue views kept beyond the pending ones", static_cast<long>(dispatcher.QueueViews()));
    std::size_t kept = 0;
    for (const auto& [seq, send] : m_sends)
        kept += send.sender == member && (m_unsettled.count(seq) != 0 || m_mayStay.count(seq) != 0) ? 1 : 0;
    if (!m_dataSpoiled && dispatcher.DataBlocksKept() > kept)
        Violation("data blocks kept beyond the data in flight", static_cast<long>(dispatcher.DataBlocksKept()));
    if (dispatcher.PendingAttached() != 0)
        Violation("a pending view kept after its consumer attached the block", static_cast<long>(dispatcher.PendingAttached()));
}

void GroupOracle::Gone(int member, platform::ProcessId endedId, bool liveHolder)
{
    if (endedId != 0)
        m_ended.insert(endedId);
    for (const Expected& queued : m_inFlight[static_cast<std::size_t>(member)]) {
        if (endedId == 0 && !liveHolder)
            Settle(queued.seq);
    }
    m_inFlight[static_cast<std::size_t>(member)].clear();
    m_deadQueues.insert(member);
    // A send halfway may have found the queue before it died.
    for (const auto& [seq, sending] : m_sends) {
        if (sending.endedAt == kRunning && !sending.data.empty())
            m_mayStay.insert(seq);
    }
    Excuse(false);
}

void GroupOracle::StrangerLetGo(long block, bool wordCameBackFree) const
{
    if (!wordCameBackFree && !m_queueSpoiled)
        Violation("a live stranger's lock was taken over", block);
}

void GroupOracle::DataHeapSpoiled()
{
    m_dataSpoiled = true;
    Excuse(true);
}

void GroupOracle::Excuse(bool dataOnly)
{
    for (std::deque<Expected>& inFlight : m_inFlight) {
        for (Expected& expected : inFlight)
            expected.excused = expected.excused || !dataOnly || !expected.data.empty();
    }
}

// Those still there and listed, and dead queues that a view or a name still keeps.
void GroupOracle::OthersCounted(int member, long others) const
{
    if (m_queueSpoiled)
        return;
    if (!m_group.Dispatcher(member)->SendsToGroup()) {
        if (others != 0)
            Violation("GetOtherMemberCount counted members outside the group", others);
        return;
    }
    long there = 0;
    for (int other = 0; other < m_group.Size(); ++other)
        there += other != member && m_group.IsThere(other) && m_listed[static_cast<std::size_t>(other)] ? 1 : 0;
    if (others < there || others > there + static_cast<long>(m_deadQueues.size()))
        Violation("GetOtherMemberCount counted other members than are there", others);
}

bool GroupOracle::Check(long strangerHeld, bool strangerKeepsBlocks)
{
    if (!strangerKeepsBlocks)
        m_deadQueues.clear();
    CheckViews();
    return !m_queueSpoiled && CheckLocks(strangerHeld);
}

void GroupOracle::CheckViews()
{
    for (int member = 0; member < m_group.Size(); ++member) {
        const simulated_group::MemberDispatcher* dispatcher = m_group.Dispatcher(member);
        if (dispatcher == nullptr)
            continue;
        if (dispatcher->PendingBlocks() != dispatcher->PendingViews())
            Violation("two pending views of one block", static_cast<long>(dispatcher->PendingViews()));
        // The root, the directory and the own first block, the chain's later blocks and the pending ones.
        if (dispatcher->QueueViews() > 3 + dispatcher->AttachedViews() + dispatcher->PendingViews())
            Violation("queue views kept beyond the chain and the pending ones", static_cast<long>(dispatcher->QueueViews()));
    }
}

// The queue heap's blocks; those of the data heap are locked by nobody but receivers.
bool GroupOracle::CheckLocks(long strangerHeld)
{
    bool liveHolder = false;
    const long end = std::min(NextHeapIndex(m_queueHeap), kBlocksChecked);
    // Block 0 is the root, four bytes without a header.
    for (long index = 1; index < end; ++index) {
        const platform::MappedView view = ExistingView(NamedSharedMemoryHeap::BlockName(m_queueHeap.c_str(), index));
        const auto* header = static_cast<const COProcDispatcher::Header*>(view.Get());
        if (view.Length() < sizeof *header || header->size == 0)
            continue;  // gone, or squatted
        const long lock = header->lock;
        const unsigned long holder = header->reserved;
        if (lock == -1 && holder == 0)
            continue;
        if (lock == -1)
            Violation("a free lock still names a holder", index);
        if (lock != 0)
            Violation("a lock word outside -1 and 0 while nobody is inside Lock", lock);
        if (holder == 0 && index != strangerHeld)
            Violation("a lock held by nobody", index);
        if (holder != 0 && m_ended.count(holder) == 0)
            Violation("a lock held in the name of a process that did not end holding it", index);
        liveHolder = liveHolder || holder == 0 || platform::IsProcessRunning(holder);
    }
    return liveHolder;
}

}  // namespace group_fuzz
