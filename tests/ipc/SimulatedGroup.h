// Members of one inter-process group, each in a simulated process of its own that may leave the
// group or end without leaving, as a killed process does. Shared by the host tests and the fuzzer.
#pragma once

#include "CommonObjectEventManager.h"
#include "MemberDispatcher.h"
#include "PlatformSharedMemory.h"
#include "Simulation.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace simulated_group {

// A local receiver of a member's dispatcher: records the data of what arrives, then does as told.
class Receiver : public CommonObjectBase {
public:
    std::vector<std::string> arrivals;
    std::function<void(COEvent*)> action;

protected:
    bool HandleEvent(COEvent* event) override;
};

class SimulatedGroup {
public:
    // The event-data heap is held from the host process meanwhile (see MemberDispatcher).
    explicit SimulatedGroup(std::string name = "SimGroup") : m_name(std::move(name)) { MemberDispatcher::HoldDataHeap(); }
    // Every member still there leaves, and every ended one is cleared away.
    ~SimulatedGroup();
    SimulatedGroup(const SimulatedGroup&) = delete;
    SimulatedGroup& operator=(const SimulatedGroup&) = delete;

    // A new member in a process of its own; returns its number. With `reuseId` the process shows
    // the id of the process that ended last.
    int Join(bool reuseId = false, COProcDispatcher::Joining joining = COProcDispatcher::Joining::JoinOrFound);
    void Leave(int member);
    // The member's process ends without leaving; with `heldBlock`, in the middle of its work on
    // that queue block, whose lock stays held in its name.
    void Vanish(int member, long heldBlock = -1);
    // The member's dispatcher was destroyed by somebody else (one of its receivers, say).
    void Forget(int member);
    bool IsThere(int member) { return Find(member) != nullptr; }
    int Size() const { return static_cast<int>(m_members.size()); }

    // The simulated process the member runs in.
    platform::ProcessId ProcessOf(int member) const { return m_members.at(static_cast<std::size_t>(member)).process; }
    // Inside the member's process: a send through its dispatcher, a delivery turn, any work.
    void Send(int member, unsigned int code, const std::string& data = std::string());
    void Deliver(int member);
    void Within(int member, const std::function<void()>& work);

    // Null once the member has gone.
    MemberDispatcher* Dispatcher(int member) { return Find(member) ? Find(member)->dispatcher : nullptr; }
    Receiver* ReceiverOf(int member) { return Find(member) ? Find(member)->receiver : nullptr; }

    // Block `index` of the group's queue heap, or of the event-data heap, as a hostile process
    // maps it (creating it when nobody has it).
    platform::MappedView QueueBlock(long index) const;
    static platform::MappedView DataBlock(long index);
    // The first queue block of the member's queue, read from the directory.
    long QueueIndexOf(int member) const;

private:
    struct Member {
        platform::ProcessId process;
        MemberDispatcher* dispatcher;
        Receiver* receiver;
        bool there;
    };
    Member* Find(int member);
    void Destroy(Member& member);

    std::string m_name;
    CommonObjectEventManager m_manager{nullptr};
    std::deque<Member> m_members;  // a member's record stays put while a task side by side uses it
};

}  // namespace simulated_group
