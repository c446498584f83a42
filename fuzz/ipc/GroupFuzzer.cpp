// A hostile process against an inter-process group: what up to six members do (join, found only,
// join with the id of an ended process, send alone or fanned out, deliver, leave, end, end holding
// a lock), what their receivers do (drop the data's reference, throw, destroy their member), and
// what a stranger does (hold a lock word for a while, take names ahead of the heaps, fill the
// directory, write anywhere into every shared block). Nothing may crash or hang, the oracle's
// rules hold after every operation, and once every member has gone nothing is left.
#include "GroupOracle.h"
#include "Stranger.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

using simulated_group::SimulatedGroup;

// Every input maps and frees many views and blocks: a small quarantine keeps the address space of
// a 32-bit process (under an emulator, one the sanitizer only partly covers) from filling up.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

namespace group_fuzz {
namespace {

constexpr const char* kGroup = "FuzzGroup";
constexpr int kMaxMembers = 6;
constexpr int kMaxOperations = 64;
constexpr long kBlocksInReach = 24;
constexpr int kMaxBurst = 32;

enum Operation : std::uint8_t {
    kJoin,
    kJoinFoundingOnly,
    kSend,
    kSendWithData,
    kSendBurst,
    kFanOut,
    kDeliver,
    kLeave,
    kVanish,
    kVanishHolding,
    kReceiverBehaviour,
    kStrangerHolds,
    kStrangerLetsGo,
    kSquat,
    kFillDirectory,
    kSpoil,
    kJoinReusingId,  // the process shows the id of the one that ended last
    kOperations
};

enum class Behaviour : std::uint8_t { Record, DropData, Throw, DestroyMember, Count };

class Run {
public:
    explicit Run(FuzzedDataProvider& input) : m_input(input), m_group(kGroup), m_oracle(m_group, kGroup) {}
    void Play();
    // The stranger lets go and every member empties its queue under the oracle's eyes.
    void Finish();

private:
    void Operate(std::uint8_t operation, int member);
    void Join(COProcDispatcher::Joining joining, bool reuseId = false);
    void Send(int member, bool withData, bool fannedOut);
    void FanOut(int member, const std::string& data);
    void Deliver(int member);
    void Vanish(int member, bool holding);
    void Spoil();
    void LetGo();
    void OnArrival(int member, COEvent* event);

    FuzzedDataProvider& m_input;
    Stranger m_stranger{kGroup};  // outlives the group: its names go last
    SimulatedGroup m_group;
    GroupOracle m_oracle;
    std::vector<Behaviour> m_behaviour;
    bool m_liveHolder = false;
};

void Run::Play()
{
    Join(COProcDispatcher::Joining::JoinOrFound);
    for (int step = 0; step < kMaxOperations && m_input.remaining_bytes() > 0; ++step) {
        const std::uint8_t operation = m_input.ConsumeIntegral<std::uint8_t>() % kOperations;
        const int member = m_input.ConsumeIntegral<std::uint8_t>() % m_group.Size();
        Operate(operation, member);
        m_liveHolder = m_oracle.Check(m_stranger.Held());
    }
}

void Run::Operate(std::uint8_t operation, int member)
{
    const bool there = m_group.IsThere(member);
    switch (operation) {
    case kJoin:
    case kJoinFoundingOnly:
        Join(operation == kJoin ? COProcDispatcher::Joining::JoinOrFound : COProcDispatcher::Joining::FoundOnly);
        break;
    case kJoinReusingId:
        Join(COProcDispatcher::Joining::JoinOrFound, true);
        break;
    case kSend:
    case kSendWithData:
        Send(member, operation == kSendWithData, false);
        break;
    case kSendBurst:
        for (int burst = m_input.ConsumeIntegralInRange(1, kMaxBurst), withData = m_input.ConsumeBool(); burst > 0; --burst)
            Send(member, withData != 0, false);
        break;
    case kFanOut:
        Send(member, m_input.ConsumeBool(), true);
        break;
    case kDeliver:
        Deliver(member);
        break;
    case kLeave:
        m_group.Leave(member);
        if (there)
            m_oracle.Gone(member);
        break;
    case kVanish:
    case kVanishHolding:
        Vanish(member, operation == kVanishHolding);
        break;
    case kReceiverBehaviour:
        m_behaviour[static_cast<std::size_t>(member)] =
            static_cast<Behaviour>(m_input.ConsumeIntegral<std::uint8_t>() % static_cast<int>(Behaviour::Count));
        break;
    case kStrangerHolds:
        m_stranger.Hold(m_input.ConsumeIntegralInRange<long>(1, kBlocksInReach - 1));
        break;
    case kStrangerLetsGo:
        LetGo();
        break;
    case kSquat:
        m_stranger.Squat(m_input.ConsumeBool(), m_input.ConsumeIntegralInRange<long>(0, 3));
        break;
    case kFillDirectory:
        m_stranger.FillDirectory();
        break;
    default:
        Spoil();
        break;
    }
}

void Run::Join(COProcDispatcher::Joining joining, bool reuseId)
{
    if (m_group.Size() >= kMaxMembers)
        return;
    const int member = m_group.Join(reuseId, joining);
    m_behaviour.push_back(Behaviour::Record);
    m_group.ReceiverOf(member)->action = [this, member](COEvent* event) { OnArrival(member, event); };
    m_oracle.Joined(member);
}

void Run::Send(int member, bool withData, bool fannedOut)
{
    if (!m_group.IsThere(member))
        return;
    const unsigned int code = m_oracle.NextCode();
    const bool risky = m_liveHolder || m_stranger.SquatAhead();
    // The data names its event, so that a mix-up of data blocks shows.
    const std::string data = withData ? std::string(m_input.ConsumeIntegral<std::uint8_t>(), '.') + std::to_string(code) : "";
    if (fannedOut)
        FanOut(member, data);
    else
        m_group.Send(member, code, data);
    m_oracle.Sent(member, data, risky);
}

// Through a local dispatcher whose receivers are the member and a local receiver beside it: both
// get the data.
void Run::FanOut(int member, const std::string& data)
{
    m_group.Within(member, [&] {
        CODispatcher local;
        simulated_group::Receiver beside;
        local.AddReceiver(m_group.Dispatcher(member)->GetID());
        local.AddReceiver(beside.GetID());
        std::string bytes = data;
        COEvent event = COMakeEvent(0, local.GetID(), m_oracle.NextCode(), bytes.empty() ? nullptr : &bytes[0],
                                    static_cast<long>(bytes.size()), COEF_ALL_RECEIVERS);
        CommonObjectEventManager::staticSendEvent(&event, 0);
        if (beside.arrivals.size() != 1 || beside.arrivals[0] != data)
            Violation("a receiver beside the member missed the fan-out's data", static_cast<long>(beside.arrivals.size()));
    });
}

void Run::Deliver(int member)
{
    // A live holder may end a turn before the queue is empty.
    bool emptied = !m_liveHolder;
    try {
        m_group.Deliver(member);
    } catch (const std::runtime_error&) {
        emptied = false;
    }
    m_oracle.Delivered(member, emptied);
}

void Run::Vanish(int member, bool holding)
{
    if (!m_group.IsThere(member))
        return;
    // A block the stranger holds cannot be held by the member as well.
    const long held = holding ? m_input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1) : -1;
    platform::ProcessId id = 0;
    m_group.Within(member, [&id] { id = platform::CurrentProcessId(); });
    m_group.Vanish(member, held == m_stranger.Held() ? -1 : held);
    m_oracle.Gone(member, id);
}

// Four bytes written into a header field or at any offset of a block that exists or, as a squatter
// would, one that does not yet.
void Run::Spoil()
{
    const long index = m_input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1);
    const bool dataHeap = m_input.ConsumeBool();
    const platform::MappedView view = dataHeap ? SimulatedGroup::DataBlock(index) : m_group.QueueBlock(index);
    const std::size_t offset = m_input.ConsumeBool() ? 4 * m_input.ConsumeIntegralInRange<std::size_t>(0, 7)
                                                     : m_input.ConsumeIntegralInRange<std::size_t>(0, view.Length());
    const auto value = m_input.ConsumeIntegral<std::uint32_t>();
    if (view.Get() == nullptr || offset + sizeof value > view.Length())
        return;
    std::memcpy(static_cast<char*>(view.Get()) + offset, &value, sizeof value);
    if (dataHeap)
        m_oracle.DataHeapSpoiled();
    else
        m_oracle.QueueHeapSpoiled();
}

void Run::OnArrival(int member, COEvent* event)
{
    m_oracle.Arrived(member, event->code, m_group.ReceiverOf(member)->arrivals.back());
    switch (m_behaviour[static_cast<std::size_t>(member)]) {
    case Behaviour::DropData:
        if (event->dataSize > 0) {
            COProcDispatcher::staticUnrefSharedMemory(event->data);
            m_oracle.DataReferenceDropped();
        }
        break;
    case Behaviour::Throw:
        throw std::runtime_error("receiver");
    case Behaviour::DestroyMember:
        // Last: this receiver goes with its member.
        m_oracle.Gone(member);
        delete m_group.Dispatcher(member);
        m_group.Forget(member);
        break;
    default:
        break;
    }
}

void Run::LetGo()
{
    const long held = m_stranger.Held();
    m_oracle.StrangerLetGo(held, m_stranger.LetGo());
}

void Run::Finish()
{
    LetGo();
    m_liveHolder = m_oracle.Check(0);
    std::fill(m_behaviour.begin(), m_behaviour.end(), Behaviour::Record);
    for (int member = 0; member < m_group.Size(); ++member)
        Deliver(member);
    // The group's own end delivers again, with nobody left to watch.
    for (int member = 0; member < m_group.Size(); ++member) {
        if (simulated_group::Receiver* receiver = m_group.ReceiverOf(member))
            receiver->action = nullptr;
    }
}

}  // namespace
}  // namespace group_fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Lock waits and leaving members sleep; simulated time lets them pass at once.
    platform::simulation::UseSimulatedTime(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    {
        group_fuzz::Run run(input);
        run.Play();
        run.Finish();
    }
    if (platform::simulation::ViewCount() != 0 || platform::simulation::NamedObjectCount() != 0)
        __builtin_trap();
    return 0;
}
