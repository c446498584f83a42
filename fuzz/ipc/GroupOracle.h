// What a group must do, followed beside the fuzzer's run and checked as it goes:
//   - an event sent to a member that stays in the group arrives there once, in order and with its
//     data, unless a hostile act that may cost events happened meanwhile (then it may be missing,
//     but nothing overtakes it and nothing arrives twice);
//   - between operations, when nobody is inside Lock, every lock word is free (-1, nobody named),
//     or held (0) by the stranger or in the name of a member that ended holding it;
//   - after a delivery turn that emptied its queue, a member keeps views and data blocks only for
//     what it has in flight, and never two pending views of one block.
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
    void Joined(int member);
    // After the member sent NextCode(); `risky` when a live holder or a name taken ahead may
    // have cost the event some queue.
    void Sent(int sender, const std::string& data, bool risky);
    void Arrived(int member, unsigned int code, const std::string& data);
    // After a delivery turn; `emptied` unless it was cut short (a receiver threw) or a live
    // holder may have ended it early.
    void Delivered(int member, bool emptied);
    // The member left or ended (then `endedId` is the id its process showed): what it kept
    // pending for others may be lost with it.
    void Gone(int member, platform::ProcessId endedId = 0);
    void DataReferenceDropped() { Excuse(true); }
    // The stranger let go of the lock of `block`; `wordCameBackFree` unless somebody took the
    // lock over meanwhile (which a write into the queue heap may have invited).
    void StrangerLetGo(long block, bool wordCameBackFree);
    void QueueHeapSpoiled() { m_queueSpoiled = true; }
    void DataHeapSpoiled();
    // Between operations: checks every lock word, and that no member keeps two pending views of
    // one block. True when some block is held by a live process.
    bool Check(long strangerHeld);

private:
    static constexpr unsigned int kFirstCode = 0x10000;

    struct Expected {
        unsigned int seq;
        std::string data;
        bool excused;
    };
    struct DataEvent {
        int sender;
        int destinations;
    };

    void Excuse(bool dataOnly);
    void Settle(unsigned int seq);
    void CheckKept(int member);
    bool CheckLocks(long strangerHeld);

    simulated_group::SimulatedGroup& m_group;
    std::string m_queueHeap;
    unsigned int m_nextSeq = 0;
    std::vector<std::deque<Expected>> m_inFlight;  // by member
    std::vector<bool> m_listed;                    // by member
    std::map<unsigned int, DataEvent> m_unsettled;  // data events some destination has not had
    std::set<unsigned long> m_ended;                // processes of members that ended
    bool m_queueSpoiled = false;
    bool m_dataSpoiled = false;
};

}  // namespace group_fuzz
