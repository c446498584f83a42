// A hostile process against an inter-process group: what up to six members do (join, found only,
// join with the id of an ended process, send alone or fanned out, deliver, leave, end, end holding
// a lock, count the others), one at a time or side by side, preempted where the input says; what
// their receivers do (drop the data's reference, throw, destroy their member); and what a stranger
// does (hold a lock word for a while, take names ahead of the heaps, fill the directory, write
// anywhere into every shared block, rewrite a whole block into a consistent lie, link a chain back
// into itself), also while a member is preempted inside an operation, at any switch point or at
// the nth access to a field, where it may write what the member is about to access. Nothing may
// crash, hang or deadlock, the oracle's rules hold after every operation, and once every member
// has gone nothing is left.
#include "GroupOracle.h"
#include "Stranger.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
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
// Every access to shared memory is a switch point: an operation may pass thousands.
constexpr unsigned long kMaxSwitches = 65535;
constexpr long kMaxLieCount = 700;  // slots, past the largest block; 12 data bytes each, past a page
// Operation bytes from here up name the operations added later, and from the second on those
// added last, so that the inputs written before them keep their meaning.
constexpr std::uint8_t kLaterFrom = 238;
constexpr std::uint8_t kLatestFrom = 250;
// A backlog of up to 160 events, a run's backlogs together as many: chains of four blocks (20, 40,
// 80 and 160 slots). Puts and takes scan their chains, and longer ones would only cost time.
constexpr int kMaxBacklogBlocks = 8;
constexpr int kBacklogBudget = 20 * kMaxBacklogBlocks;
constexpr long kMaxTangle = 8;

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
    kOperations,
    kBeside = kOperations,  // the next member operation runs side by side with what follows
    kCountOthers,
    kLie,
    kWatch,  // the next member operation is preempted at its nth access to a field
    kTamper,
    kTangle,
    kBacklog,
    kAllOperations
};

std::uint8_t Decode(std::uint8_t byte)
{
    if (byte < kLaterFrom)
        return byte % kOperations;
    if (byte < kLatestFrom)
        return kOperations + (byte - kLaterFrom) % (kWatch - kOperations);
    return kWatch + (byte - kLatestFrom) % (kAllOperations - kWatch);
}

enum class Behaviour : std::uint8_t { Record, DropData, Throw, DestroyMember, Count };

class Run {
public:
    explicit Run(FuzzedDataProvider& input) : m_input(input), m_group(kGroup), m_oracle(m_group, kGroup) {}
    void Play();
    // The stranger lets go and every member empties its queue under the oracle's eyes.
    void Finish();

private:
    void Operate(std::uint8_t operation, int member);
    // Runs a member's operation at once, or side by side when asked; `alone` when nothing runs
    // beside it.
    void OnMember(int member, std::function<void(bool alone)> work);
    void Join(COProcDispatcher::Joining joining, bool reuseId = false);
    void Send(int member, bool withData, int count, bool fannedOut);
    void SendNow(int member, std::size_t padding, bool withData, bool fannedOut);
    void FanOut(int member, unsigned int code, const std::string& data);
    void Deliver(int member);
    void CountOthers(int member);
    void Vanish(int member, bool holding);
    void Spoil();
    void Lie();
    void Tamper();
    void Tangle();
    void LetGo();
    void OnArrival(int member, COEvent* event);

    FuzzedDataProvider& m_input;
    Stranger m_stranger{kGroup};  // outlives the group: its names go last
    SimulatedGroup m_group;
    GroupOracle m_oracle;
    std::vector<Behaviour> m_behaviour;
    bool m_liveHolder = false;
    unsigned long m_besideSwitches = 0;  // the next member operation's, when it runs side by side
    std::size_t m_watchedOffset = 0;     // and the field at whose nth access it is preempted
    unsigned long m_watchedNth = 0;
    int m_backlogLeft = kBacklogBudget;
};

void Run::Play()
{
    Join(COProcDispatcher::Joining::JoinOrFound);
    for (int step = 0; step < kMaxOperations && m_input.remaining_bytes() > 0; ++step) {
        const std::uint8_t byte = m_input.ConsumeIntegral<std::uint8_t>();
        const std::uint8_t operation = Decode(byte);
        // What the byte holds above the operation (nothing in the hand-written seeds) preempts
        // this or the next member operation after as many switch points, unless kBeside did.
        if (m_besideSwitches == 0 && byte < kLaterFrom)
            m_besideSwitches = byte / kOperations;
        const int member = m_input.ConsumeIntegral<std::uint8_t>() % m_group.Size();
        Operate(operation, member);
        // Locks and views are settled only when no task is halfway through its work.
        if (platform::simulation::UnfinishedTasks() == 0)
            m_liveHolder = m_oracle.Check(m_stranger.Held(), m_stranger.KeepsBlocks());
        else
            m_liveHolder = m_liveHolder || m_stranger.Held() != 0;
    }
}

void Run::Operate(std::uint8_t operation, int member)
{
    switch (operation) {
    case kJoin:
    case kJoinFoundingOnly:
        Join(operation == kJoin ? COProcDispatcher::Joining::JoinOrFound : COProcDispatcher::Joining::FoundOnly);
        break;
    case kJoinReusingId:
        // A lock held in the name of an ended process is held by a live one from now on.
        Join(COProcDispatcher::Joining::JoinOrFound, true);
        m_oracle.HostileAct();
        m_liveHolder = true;
        break;
    case kSend:
    case kSendWithData:
        Send(member, operation == kSendWithData, 1, false);
        break;
    case kSendBurst: {
        const int burst = m_input.ConsumeIntegralInRange(1, kMaxBurst);
        Send(member, m_input.ConsumeBool(), burst, false);
        break;
    }
    case kFanOut:
        Send(member, m_input.ConsumeBool(), 1, true);
        break;
    case kDeliver:
        Deliver(member);
        break;
    case kLeave:
        OnMember(member, [this, member](bool) {
            m_oracle.Leaving();
            m_group.Leave(member);
            m_oracle.Gone(member, 0, m_liveHolder);
        });
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
        m_oracle.HostileAct();
        break;
    case kStrangerLetsGo:
        LetGo();
        break;
    case kSquat:
        m_stranger.Squat(m_input.ConsumeBool(), m_input.ConsumeIntegralInRange<long>(0, 3));
        m_oracle.HostileAct();
        break;
    case kFillDirectory:
        m_stranger.FillDirectory();
        break;
    case kBeside:
        m_besideSwitches = m_input.ConsumeIntegralInRange<unsigned long>(1, kMaxSwitches);
        break;
    case kCountOthers:
        CountOthers(member);
        break;
    case kLie:
        Lie();
        break;
    case kWatch:
        // A header field, a link or one of the first slots, in whatever block it is accessed.
        m_watchedOffset = 4 * m_input.ConsumeIntegralInRange<std::size_t>(0, 31);
        m_watchedNth = m_input.ConsumeIntegralInRange<unsigned long>(1, 8);
        break;
    case kTamper:
        Tamper();
        break;
    case kTangle:
        Tangle();
        break;
    case kBacklog: {
        const int backlog = std::min(20 * m_input.ConsumeIntegralInRange(1, kMaxBacklogBlocks), m_backlogLeft);
        m_backlogLeft -= backlog;
        Send(member, false, backlog, false);
        break;
    }
    default:
        Spoil();
        break;
    }
}

void Run::OnMember(int member, std::function<void(bool alone)> work)
{
    if (!m_group.IsThere(member))
        return;
    // The member's operation before may have ended it (a receiver destroyed it).
    const auto whileThere = [this, member, work](bool alone) {
        if (m_group.IsThere(member))
            work(alone);
    };
    const platform::ProcessId process = m_group.ProcessOf(member);
    if (m_besideSwitches != 0 || m_watchedNth != 0) {
        platform::simulation::PreemptAtAccess(m_watchedOffset, std::exchange(m_watchedNth, 0));
        platform::simulation::RunBeside(process, std::exchange(m_besideSwitches, 0), [whileThere] { whileThere(false); });
        return;
    }
    platform::simulation::FinishTasks(process);
    whileThere(platform::simulation::UnfinishedTasks() == 0);
}

void Run::Join(COProcDispatcher::Joining joining, bool reuseId)
{
    if (m_group.Size() >= kMaxMembers)
        return;
    // A process joins while no other member is halfway through an operation: a send halfway
    // may or may not reach it.
    platform::simulation::FinishTasks();
    const int member = m_group.Join(reuseId, joining);
    m_behaviour.push_back(Behaviour::Record);
    m_group.ReceiverOf(member)->action = [this, member](COEvent* event) { OnArrival(member, event); };
    m_oracle.Joined(member);
}

void Run::Send(int member, bool withData, int count, bool fannedOut)
{
    if (!m_group.IsThere(member))
        return;
    std::vector<std::size_t> paddings;
    for (int i = 0; i < count; ++i)
        paddings.push_back(withData ? m_input.ConsumeIntegral<std::uint8_t>() : 0);
    OnMember(member, [=](bool) {
        for (const std::size_t padding : paddings)
            SendNow(member, padding, withData, fannedOut);
    });
}

void Run::SendNow(int member, std::size_t padding, bool withData, bool fannedOut)
{
    // Looking for names maps blocks, where a task may be preempted: a hostile act meanwhile counts
    // as one during the send.
    const unsigned long acts = m_oracle.HostileActs();
    const bool ahead = m_stranger.SquatAhead();
    const bool risky = ahead || m_liveHolder || m_oracle.HostileActs() != acts;
    const unsigned int code = m_oracle.NextCode();
    // The data names its event, so that a mix-up of data blocks shows.
    const std::string data = withData ? std::string(padding, '.') + std::to_string(code) : "";
    m_oracle.SendStarted(member, data, risky);
    if (fannedOut)
        FanOut(member, code, data);
    else
        m_group.Send(member, code, data);
    m_oracle.SendEnded(code);
}

// Through a local dispatcher whose receivers are the member and a local receiver beside it: both
// get the data.
void Run::FanOut(int member, unsigned int code, const std::string& data)
{
    m_group.Within(member, [&] {
        CODispatcher local;
        simulated_group::Receiver beside;
        local.AddReceiver(m_group.Dispatcher(member)->GetID());
        local.AddReceiver(beside.GetID());
        std::string bytes = data;
        COEvent event = COMakeEvent(0, local.GetID(), code, bytes.empty() ? nullptr : &bytes[0],
                                    static_cast<long>(bytes.size()), COEF_ALL_RECEIVERS);
        CommonObjectEventManager::staticSendEvent(&event, 0);
        if (beside.arrivals.size() != 1 || beside.arrivals[0] != data)
            Violation("a receiver beside the member missed the fan-out's data", static_cast<long>(beside.arrivals.size()));
    });
}

void Run::Deliver(int member)
{
    OnMember(member, [this, member](bool alone) {
        const unsigned long startedAt = m_oracle.Now();
        bool emptied = true;
        try {
            m_group.Deliver(member);
        } catch (const std::runtime_error&) {
            emptied = false;
        }
        // A live holder, also one that came while the turn ran, may end it before the queue is empty.
        m_oracle.Delivered(member, emptied && !m_liveHolder, startedAt, alone);
    });
}

// As the bootstrapper's watch of its runtime asks on every turn.
void Run::CountOthers(int member)
{
    OnMember(member, [this, member](bool alone) {
        long others = 0;
        m_group.Within(member, [&] { others = m_group.Dispatcher(member)->GetOtherMemberCount(); });
        if (alone)
            m_oracle.OthersCounted(member, others);
    });
}

void Run::Vanish(int member, bool holding)
{
    if (!m_group.IsThere(member))
        return;
    // A block the stranger holds cannot be held by the member as well.
    const long held = holding ? m_input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1) : -1;
    // The process ends between two operations of its own and of the others: a view another member
    // holds meanwhile would keep its queue alive, and what is put there then is lost for good.
    platform::simulation::FinishTasks();
    if (!m_group.IsThere(member))
        return;
    platform::ProcessId id = 0;
    m_group.Within(member, [&id] { id = platform::CurrentProcessId(); });
    m_group.Vanish(member, held == m_stranger.Held() ? -1 : held);
    m_oracle.Gone(member, id, m_liveHolder);
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

// A whole block rewritten, all but its lock word, so that its fields agree with one another but not
// with the view or the chain: a size that fits the claimed count, a link that may loop or point
// back, a claimed index and references, and events in the slots that the view holds.
void Run::Lie()
{
    const long index = m_input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1);
    const bool dataHeap = m_input.ConsumeBool();
    const long count = m_input.ConsumeIntegralInRange<long>(0, kMaxLieCount);
    const long claimed = m_input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1);
    const long refs = m_input.ConsumeIntegralInRange<long>(-2, 2);
    const long events = m_input.ConsumeIntegralInRange<long>(0, count);
    const platform::MappedView view = dataHeap ? SimulatedGroup::DataBlock(index) : m_group.QueueBlock(index);
    auto* block = static_cast<COProcDispatcher::EventQueueBlock*>(view.Get());
    if (view.Length() < sizeof *block)
        return;
    const bool directory = !dataHeap && index == 1;
    const long size = dataHeap ? 20 + 12 * count : directory ? COProcDispatcher::kDirectorySize : COProcDispatcher::QueueBlockSize(count);
    block->header = COProcDispatcher::Header{size, claimed, block->header.lock, refs, 0};
    // A directory's claim goes past its 20 entries from 441 up (the inputs before kept theirs).
    constexpr long kEntriesClaimed = COProcDispatcher::kDirectoryEntries + 1;
    block->count = !directory ? count : count < kEntriesClaimed * kEntriesClaimed ? count % kEntriesClaimed : count - 420;
    // The directory's entries, or a block's link and its slots, the codes not 0 and the rest in reach.
    auto* words = reinterpret_cast<long*>(block + 1) - 2;
    const long fit = static_cast<long>((view.Length() - sizeof *block) / sizeof(long)) + 2;
    for (long word = 0; word < std::min(fit, directory ? 2 * block->count : 2 + 7 * events); ++word)
        words[word] = !directory && word % 7 == 6 ? 0x10000 + word : m_input.ConsumeIntegralInRange<long>(0, kBlocksInReach);
    dataHeap ? m_oracle.DataHeapSpoiled() : m_oracle.QueueHeapSpoiled();
}

// Four bytes written where a member, preempted at an access, is about to read or write: between a
// check of a field and its use, or between two reads of it.
void Run::Tamper()
{
    const auto value = m_input.ConsumeIntegral<std::uint32_t>();
    const auto at = reinterpret_cast<std::uintptr_t>(platform::simulation::PreemptedAccess());
    if (at == 0)
        return;
    *reinterpret_cast<volatile std::uint32_t*>(at & ~std::uintptr_t{3}) = value;
    m_oracle.QueueHeapSpoiled();
    m_oracle.DataHeapSpoiled();
}

// The chain that starts at a queue block links back into itself, from its block `length` links
// on (or its last) to one before: a cycle of any length, where producers walk.
void Run::Tangle()
{
    const long first = m_input.ConsumeIntegralInRange<long>(1, kBlocksInReach - 1);
    const long length = m_input.ConsumeIntegralInRange<long>(1, kMaxTangle);
    const long back = m_input.ConsumeIntegralInRange<long>(0, length - 1);
    std::vector<long> chain;
    platform::MappedView view = m_group.QueueBlock(first);
    for (long index = first; view.Length() >= sizeof(COProcDispatcher::EventQueueBlock);) {
        chain.push_back(index);
        index = static_cast<long>(static_cast<COProcDispatcher::EventQueueBlock*>(view.Get())->nextIndex);
        if (static_cast<long>(chain.size()) == length || index <= 0 || index >= kBlocksInReach)
            break;
        platform::MappedView next = m_group.QueueBlock(index);
        if (next.Length() < sizeof(COProcDispatcher::EventQueueBlock))
            break;
        view = std::move(next);
    }
    if (chain.empty())
        return;
    const long to = chain[static_cast<std::size_t>(std::min<long>(back, static_cast<long>(chain.size()) - 1))];
    static_cast<COProcDispatcher::EventQueueBlock*>(view.Get())->nextIndex = static_cast<unsigned long>(to);
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
        // Last: this receiver goes with its member (and with it what it captured). Whether a live
        // holder kept the member from its queue is known once it has gone.
        m_oracle.Leaving();
        delete m_group.Dispatcher(member);
        m_group.Forget(member);
        m_oracle.Gone(member, 0, m_liveHolder);
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
    // Nothing may run on after the run: every member operation from here runs to its end.
    m_besideSwitches = m_watchedNth = 0;
    platform::simulation::FinishTasks();
    LetGo();
    m_liveHolder = m_oracle.Check(0, m_stranger.KeepsBlocks());
    std::fill(m_behaviour.begin(), m_behaviour.end(), Behaviour::Record);
    for (int member = 0; member < m_group.Size(); ++member)
        Deliver(member);
    if (platform::simulation::UnfinishedTasks() != 0)
        Violation("a member's operation runs on after the run", static_cast<long>(platform::simulation::UnfinishedTasks()));
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
    // A stress mode: members side by side take turns at every switch point.
    platform::simulation::SwitchAtEveryPoint(std::getenv("CORVANE_SWITCH_AT_EVERY_POINT") != nullptr);
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
