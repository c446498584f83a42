#include "SimulatedGroup.h"

namespace simulated_group {

namespace {

// Simulated process ids start far from real ones, and are never used twice: an id that ended
// stays ended.
platform::ProcessId g_lastProcess = 0x40000000;
// This program's own process, where the group's users live between member operations.
const platform::ProcessId kHost = platform::CurrentProcessId();

class InProcess {
public:
    explicit InProcess(platform::ProcessId process) { platform::simulation::SetCurrentProcess(process); }
    ~InProcess() { platform::simulation::SetCurrentProcess(kHost); }
    InProcess(const InProcess&) = delete;
    InProcess& operator=(const InProcess&) = delete;
};

}  // namespace

bool Receiver::HandleEvent(COEvent* event)
{
    Arrival arrival{event->code, std::string()};
    if (event->dataSize > 0 && event->data != nullptr)
        arrival.data.assign(static_cast<const char*>(event->data), static_cast<std::size_t>(event->dataSize));
    arrivals.push_back(arrival);
    if (action)
        action(event);
    return true;
}

SimulatedGroup::SimulatedGroup(std::string name) : m_name(std::move(name)) {}

// Everybody still there takes what is queued first, so that nobody leaves waiting for a
// consumer to attach a block; the ended ones go last, when no consumer is left at all.
SimulatedGroup::~SimulatedGroup()
{
    for (int member = 0; member < Size(); ++member)
        Deliver(member);
    for (int member = 0; member < Size(); ++member)
        Leave(member);
    for (Member& member : m_members)
        Destroy(member);
}

int SimulatedGroup::Join()
{
    const platform::ProcessId process = ++g_lastProcess;
    InProcess inside(process);
    auto* dispatcher = new COProcDispatcher(m_name.c_str());
    auto* receiver = new Receiver;
    dispatcher->AddReceiver(receiver->GetID());
    m_members.push_back(Member{process, dispatcher, receiver, true});
    return Size() - 1;
}

void SimulatedGroup::Destroy(Member& member)
{
    InProcess inside(member.process);
    delete member.receiver;
    delete member.dispatcher;
    member.receiver = nullptr;
    member.dispatcher = nullptr;
    // An ended process's objects ran their destructors on memory nobody else sees; whatever
    // they opened meanwhile goes as the process's did.
    if (!member.there)
        platform::simulation::EndProcess(member.process);
    member.there = false;
}

void SimulatedGroup::Leave(int member)
{
    if (IsThere(member))
        Destroy(m_members[static_cast<std::size_t>(member)]);
}

void SimulatedGroup::Vanish(int member)
{
    if (!IsThere(member))
        return;
    Member& gone = m_members[static_cast<std::size_t>(member)];
    platform::simulation::EndProcess(gone.process);
    gone.there = false;
}

bool SimulatedGroup::IsThere(int member) const
{
    return member >= 0 && member < Size() && m_members[static_cast<std::size_t>(member)].there;
}

COProcDispatcher* SimulatedGroup::Dispatcher(int member)
{
    return IsThere(member) ? m_members[static_cast<std::size_t>(member)].dispatcher : nullptr;
}

Receiver* SimulatedGroup::ReceiverOf(int member)
{
    return IsThere(member) ? m_members[static_cast<std::size_t>(member)].receiver : nullptr;
}

platform::ProcessId SimulatedGroup::ProcessOf(int member) const { return m_members.at(static_cast<std::size_t>(member)).process; }

void SimulatedGroup::Within(int member, const std::function<void()>& work)
{
    if (!IsThere(member))
        return;
    InProcess inside(ProcessOf(member));
    work();
}

void SimulatedGroup::Forget(int member)
{
    if (IsThere(member)) {
        m_members[static_cast<std::size_t>(member)].dispatcher = nullptr;
        Leave(member);
    }
}

platform::MappedView SimulatedGroup::Block(const std::string& name)
{
    platform::NamedMapping mapping;
    mapping.CreateOrOpen(name.c_str(), 4);
    return mapping.Map();
}

platform::MappedView SimulatedGroup::QueueBlock(long index) const
{
    return Block(m_name + "_Array_" + std::to_string(index));
}

platform::MappedView SimulatedGroup::DataBlock(long index) { return Block("COProcDispatcherHeap_" + std::to_string(index)); }

long SimulatedGroup::QueueIndexOf(int member)
{
    long index = 0;
    Within(member, [&] {
        const platform::MappedView root = QueueBlock(0);
        const platform::MappedView directory = QueueBlock(*static_cast<const long*>(root.Get()));
        const auto* entries = static_cast<const COProcDispatcher::QueueDirectory*>(directory.Get())->entries;
        // Members enter the first free entry, in the order they join.
        index = entries[member].queueIndex;
    });
    return index;
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
