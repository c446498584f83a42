// What a group must do, followed beside the fuzzer's run and checked as it goes:
//   - an event sent to a member that stays in the group arrives there once and with its data,
//     after every event whose send ended before its own began, unless a hostile act that may
//     cost events happened meanwhile (then it may be missing, but nothing overtakes it and
//     nothing arrives twice); sends that ran side by side may arrive in either order;
//   - between operations, when nobody is inside Lock, every lock word is free (-1, nobody named),
//     or held (0) by the stranger or in the name of a member that ended holding it;
//   - between operations every member keeps views only of the root, the directory, its own chain
//     and the blocks it keeps pending, and counts as its other members those still there;
//   - a member's queue is dead from its member's end on, but a send may still find it while a
//     view or a name keeps its block: until no task is halfway and the stranger keeps no block;
//   - after a delivery turn that emptied its queue with nothing beside it, a member keeps data
//     blocks only for what it has in flight (the events queued for a member that left count as
//     given back) and for what it may have put into a dead queue, where it stays with its sender
//     until the sender leaves; pending views only of blocks not yet attached, never two of one;
//   - GetOtherMemberCount counts the members there, and at most the dead queues besides.
// A broken rule ends the run with a message and a trap, which libFuzzer reports with its input.
#pragma once

#include "SimulatedGroup.h"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace group_fuzz {

// Reports a broken rule and ends the run.
[[noreturn]] void Violation(const char* rule, long value);

class GroupOracle {
public:
    explicit GroupOracle(simulated_group::SimulatedGroup& group, std::string name);

    // The code of the next event to send; codes count up from far above the system's own.
    unsigned int NextCode() const { return kFirstCode + m_nextSeq; }
    // Operations are stamped on a clock of their own as they start and end: one that ended before
    // another started came before it in every queue.
    unsigned long Now() { return ++m_clock; }
    void Joined(int member);
    // A send of NextCode() starts; `risky` when a live holder or a name taken ahead may cost the
    // event some queue.
    void SendStarted(int sender, const std::string& data, bool risky);
    void SendEnded(unsigned int code);
    // Something happened that may cost the sends running meanwhile some queue: the stranger took
    // a lock or a name, or a process took the id of one that ended holding a lock.
    void HostileAct();
    unsigned long HostileActs() const { return m_hostileActs; }
    void Arrived(int member, unsigned int code, const std::string& data);
    // After a delivery turn that started at `startedAt`; `emptied` unless it was cut short (a
    // receiver threw) or a live holder may have ended it early; `alone` when nothing ran beside.
    void Delivered(int member, bool emptied, unsigned long startedAt, bool alone);
    // The member left, or ended (then `endedId` is the id its process showed): what it kept
    // pending for others may be lost with it. One that left gave back the data references of
    // what its queue held, unless a live holder kept it from its queue.
    void Gone(int member, platform::ProcessId endedId, bool liveHolder);
    // A member sets out to leave: from now on the data of the events it sent may be gone.
    void Leaving() { Excuse(true); }
    void DataReferenceDropped() { Excuse(true); }
    // The stranger let go of the lock of `block`; `wordCameBackFree` unless somebody took the
    // lock over meanwhile (which a write into the queue heap may have invited).
    void StrangerLetGo(long block, bool wordCameBackFree) const;
    void QueueHeapSpoiled() { m_queueSpoiled = true; }
    void DataHeapSpoiled();
    // The member's GetOtherMemberCount, asked with nothing beside it.
    void OthersCounted(int member, long others) const;
    // Between operations, with no task side by side: every lock word and every member's views;
    // unless `strangerKeepsBlocks` (a view or a name), the dead queues are gone for good.
    // True when some block is held by a live process.
    bool Check(long strangerHeld, bool strangerKeepsBlocks);

private:
    static constexpr unsigned int kFirstCode = 0x10000;
    static constexpr unsigned long kRunning = ~0UL;

    struct Expected {
        unsigned int seq;
        int sender;
        std::string data;
        bool excused;
        unsigned long startedAt;
        unsigned long endedAt;  // kRunning while the send runs
    };
    struct DataEvent {
        int sender;
        int destinations;
    };

    void Excuse(bool dataOnly);
    // Every member's copy of the event `seq`, sought from the newest.
    template <class Change>
    void ForEachCopy(unsigned int seq, Change change);
    void Settle(unsigned int seq);
    void CheckKept(int member);
    void CheckViews();
    bool CheckLocks(long strangerHeld);

    simulated_group::SimulatedGroup& m_group;
    std::string m_queueHeap;
    unsigned int m_nextSeq = 0;
    unsigned long m_clock = 0;
    unsigned long m_hostileActs = 0;
    std::vector<std::deque<Expected>> m_inFlight;  // by member
    std::vector<bool> m_listed;                    // by member
    std::map<unsigned int, Expected> m_sends;       // every send to the group, by seq
    std::map<unsigned int, DataEvent> m_unsettled;  // data events some destination has not had
    std::set<int> m_deadQueues;                     // members ended whose queues a send may find
    std::set<unsigned int> m_mayStay;               // data events that may lie in a dead queue
    std::set<unsigned long> m_ended;                // processes of members that ended
    bool m_queueSpoiled = false;
    bool m_dataSpoiled = false;
};

}  // namespace group_fuzz
