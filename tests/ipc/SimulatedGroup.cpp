#include "SimulatedGroup.h"

#include <utility>

namespace simulated_group {

namespace {

// This program's own process, where the group's users live between member operations.
const platform::ProcessId kHost = platform::CurrentProcessId();

class InProcess {
public:
    explicit InProcess(platform::ProcessId process) { platform::simulation::SetCurrentProcess(process); }
    ~InProcess() { platform::simulation::SetCurrentProcess(kHost); }
    InProcess(const InProcess&) = delete;
    InProcess& operator=(const InProcess&) = delete;
};

platform::MappedView MapBlock(const std::string& name)
{
    platform::NamedMapping mapping;
    mapping.CreateOrOpen(name.c_str(), 4);
    return mapping.Map();
}

}  // namespace

bool Receiver::HandleEvent(COEvent* event)
{
    const bool hasData = event->dataSize > 0 && event->data != nullptr;
    arrivals.emplace_back(hasData ? static_cast<const char*>(event->data) : "",
                          hasData ? static_cast<std::size_t>(event->dataSize) : 0);
    if (action)
        action(event);
    return true;
}

// Those still there take what is queued first, so that none leaves waiting for a consumer to
// attach a block; the ended ones go last, when no consumer is left.
SimulatedGroup::~SimulatedGroup()
{
    for (int member = 0; member < Size(); ++member)
        Deliver(member);
    for (int member = 0; member < Size(); ++member)
        Leave(member);
    for (Member& member : m_members)
        Destroy(member);
    MemberDispatcher::ReleaseDataHeap();
    // Once nothing is open anywhere, the processes of those who left end too, so that the
    // simulation does not keep them running for good.
    if (platform::simulation::ViewCount() == 0 && platform::simulation::NamedObjectCount() == 0) {
        for (const Member& member : m_members)
            platform::simulation::EndProcess(member.process);
    }
}

int SimulatedGroup::Join(bool reuseId, COProcDispatcher::Joining joining)
{
    const platform::ProcessId process = platform::simulation::StartProcess(reuseId);
    InProcess inside(process);
    auto* dispatcher = new MemberDispatcher(m_name.c_str(), joining);
    auto* receiver = new Receiver;
    dispatcher->AddReceiver(receiver->GetID());
    m_members.push_back(Member{process, dispatcher, receiver, true});
    return Size() - 1;
}

void SimulatedGroup::Destroy(Member& member)
{
    InProcess inside(member.process);
    delete std::exchange(member.receiver, nullptr);
    delete std::exchange(member.dispatcher, nullptr);
    // An ended process's objects ran their destructors on memory nobody else sees; whatever
    // they opened meanwhile goes as the process's did.
    if (!member.there)
        platform::simulation::EndProcess(member.process);
    member.there = false;
}

SimulatedGroup::Member* SimulatedGroup::Find(int member)
{
    const bool there = member >= 0 && member < Size() && m_members[static_cast<std::size_t>(member)].there;
    return there ? &m_members[static_cast<std::size_t>(member)] : nullptr;
}

void SimulatedGroup::Leave(int member)
{
    if (Member* leaving = Find(member))
        Destroy(*leaving);
}

void SimulatedGroup::Vanish(int member, long heldBlock)
{
    Member* gone = Find(member);
    if (!gone)
        return;
    const platform::MappedView held = heldBlock >= 0 ? QueueBlock(heldBlock) : platform::MappedView();
    if (held.Length() >= sizeof(COProcDispatcher::Header)) {
        auto* header = static_cast<COProcDispatcher::Header*>(held.Get());
        header->lock = 0;
        Within(member, [header] { header->reserved = platform::CurrentProcessId(); });
    }
    platform::simulation::EndProcess(gone->process);
    gone->there = false;
}

void SimulatedGroup::Forget(int member)
{
    if (Member* destroyed = Find(member)) {
        destroyed->dispatcher = nullptr;
        Destroy(*destroyed);
    }
}

void SimulatedGroup::Within(int member, const std::function<void()>& work)
{
    if (IsThere(member)) {
        InProcess inside(Find(member)->process);
        work();
    }
}

platform::MappedView SimulatedGroup::QueueBlock(long index) const { return MapBlock(m_name + "_Array_" + std::to_string(index)); }
platform::MappedView SimulatedGroup::DataBlock(long index) { return MapBlock("COProcDispatcherHeap_" + std::to_string(index)); }

long SimulatedGroup::QueueIndexOf(int member) const
{
    const platform::MappedView root = QueueBlock(0);
    const platform::MappedView directory = QueueBlock(*static_cast<const long*>(root.Get()));
    // Members enter the first free entry, in the order they join.
    return static_cast<const COProcDispatcher::QueueDirectory*>(directory.Get())->entries[member].queueIndex;
}

void SimulatedGroup::Send(int member, unsigned int code, const std::string& data)
{
    Within(member, [&] {
        CommonObjectEventManager::staticSendEvent(0, Dispatcher(member)->GetID(), code,
                                                  data.empty() ? nullptr : const_cast<char*>(data.data()),
                                                  static_cast<int>(data.size()), 0);
    });
}

void SimulatedGroup::Deliver(int member)
{
    Within(member, [&] { Dispatcher(member)->OnIdle(0); });
}

}  // namespace simulated_group
