// Members of one inter-process group in simulated processes of this program: each member has a
// process of its own, which may leave the group or end without leaving, as a killed process does.
// Shared by the host tests and the fuzz target.
#pragma once

#include "COProcDispatcher.h"
#include "CommonObjectEventManager.h"
#include "PlatformSharedMemory.h"

#include <functional>
#include <string>
#include <vector>

namespace simulated_group {

// A local receiver of a member's dispatcher: records what arrives, then does what it is told.
class Receiver : public CommonObjectBase {
public:
    struct Arrival {
        unsigned int code;
        std::string data;  // the bytes, for an event with data
    };
    std::vector<Arrival> arrivals;
    std::function<void(COEvent*)> action;

protected:
    bool HandleEvent(COEvent* event) override;
};

class SimulatedGroup {
public:
    explicit SimulatedGroup(std::string name = "SimGroup") : m_name(std::move(name)) {}
    // Every member still there leaves, and every ended one is cleared away.
    ~SimulatedGroup();
    SimulatedGroup(const SimulatedGroup&) = delete;
    SimulatedGroup& operator=(const SimulatedGroup&) = delete;

    // A new member in a process of its own; returns its number.
    int Join();
    void Leave(int member);
    // The member's process ends without leaving.
    void Vanish(int member);
    // The member's dispatcher was destroyed by somebody else (one of its receivers, say).
    void Forget(int member);
    bool IsThere(int member) const { return Find(member) != nullptr; }
    int Size() const { return static_cast<int>(m_members.size()); }

    // Inside the member's process: a send through its dispatcher, a delivery turn, any work.
    void Send(int member, unsigned int code, const std::string& data = std::string());
    void Deliver(int member);
    void Within(int member, const std::function<void()>& work);

    // Null once the member has gone.
    COProcDispatcher* Dispatcher(int member) const { return Find(member) ? Find(member)->dispatcher : nullptr; }
    Receiver* ReceiverOf(int member) const { return Find(member) ? Find(member)->receiver : nullptr; }
    platform::ProcessId ProcessOf(int member) const { return m_members.at(static_cast<std::size_t>(member)).process; }

    // A view of block `index` of the group's queue heap, or of the event-data heap, as a hostile
    // process of the session would map it (creating it when nobody has it).
    platform::MappedView QueueBlock(long index) const;
    static platform::MappedView DataBlock(long index);
    // The first queue block of the member's queue, read from the directory.
    long QueueIndexOf(int member) const;

private:
    struct Member {
        platform::ProcessId process;
        COProcDispatcher* dispatcher;
        Receiver* receiver;
        bool there;
    };
    const Member* Find(int member) const;
    Member* Find(int member) { return const_cast<Member*>(static_cast<const SimulatedGroup*>(this)->Find(member)); }
    void Destroy(Member& member);

    std::string m_name;
    CommonObjectEventManager m_manager{nullptr};
    std::vector<Member> m_members;
};

}  // namespace simulated_group
