// A group whose shared memory a hostile process spoils, whose members die holding locks or
// destroy themselves while delivering: several members in simulated processes of one program,
// under the sanitizers. Every case ends with every member gone and nothing left mapped.
#include "SimulatedGroup.h"

#include "CODispatcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

using simulated_group::SimulatedGroup;
using Header = COProcDispatcher::Header;
using EventQueueBlock = COProcDispatcher::EventQueueBlock;

// A write through a pointer into a frame that has returned (an exception unwound it) is caught.
extern "C" const char* __asan_default_options() { return "detect_stack_use_after_return=1"; }

namespace {

constexpr unsigned int kCode = 0x4711;

// `count` events from `from`, none delivered yet.
void SendMany(SimulatedGroup& group, int from, int count, const std::string& data = std::string())
{
    for (int i = 0; i < count; ++i)
        group.Send(from, kCode, data);
}

class SimulatedGroupTest : public ::testing::Test {
protected:
    void SetUp() override { platform::simulation::UseSimulatedTime(true); }
    void TearDown() override
    {
        platform::simulation::UseSimulatedTime(false);
        EXPECT_EQ(0u, platform::simulation::ViewCount());
        EXPECT_EQ(0u, platform::simulation::NamedObjectCount());
    }

    static std::size_t Arrivals(SimulatedGroup& group, int member) { return group.ReceiverOf(member)->arrivals.size(); }
};

// ---- spoilt shared memory and hostile receivers ----

struct HostileCase {
    const char* name;
    // Acts on a group of two members (0 sends, 1 receives) and says what member 1 must have got.
    std::function<std::size_t(SimulatedGroup&)> act;
};

const HostileCase kHostileCases[] = {
    {"another queue's chain leads into the sender's own first block",
     [](SimulatedGroup& group) {
         // Member 0's first block is full, and its link names member 1's first block, which
         // comes later in the heap, as a sound link would.
         SendMany(group, 1, COProcDispatcher::kFirstBlockSlots);
         group.Deliver(1);
         const platform::MappedView first = group.QueueBlock(group.QueueIndexOf(0));
         static_cast<EventQueueBlock*>(first.Get())->nextIndex = static_cast<unsigned long>(group.QueueIndexOf(1));
         for (int i = 0; i < 3; ++i) {
             group.Send(1, kCode);
             group.Deliver(1);
         }
         return COProcDispatcher::kFirstBlockSlots + 3;
     }},
    {"a receiver drops the delivered data's reference itself",
     [](SimulatedGroup& group) {
         group.ReceiverOf(1)->action = [](COEvent* event) { COProcDispatcher::staticUnrefSharedMemory(event->data); };
         group.Send(0, kCode, "payload");
         group.Deliver(1);
         EXPECT_EQ("payload", group.ReceiverOf(1)->arrivals.at(0).data);
         return 1;
     }},
    {"the consumer rewrites a later block's own index at every put",
     [](SimulatedGroup& group) {
         SendMany(group, 0, COProcDispatcher::kFirstBlockSlots + 1);
         const platform::MappedView head = group.QueueBlock(group.QueueIndexOf(1));
         const platform::MappedView later = group.QueueBlock(static_cast<long>(static_cast<EventQueueBlock*>(head.Get())->nextIndex));
         const std::size_t views = platform::simulation::ViewCount();
         for (long i = 0; i < 30; ++i) {
             static_cast<EventQueueBlock*>(later.Get())->header.index = 1000 + i;
             group.Send(0, kCode);
         }
         EXPECT_EQ(views, platform::simulation::ViewCount());
         return COProcDispatcher::kFirstBlockSlots + 31;
     }},
};

class Hostile : public SimulatedGroupTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(Hostile, MembersSurviveAndDeliverWhatIsThere)
{
    SimulatedGroup group;
    group.Join();
    group.Join();
    const std::size_t expected = GetParam().act(group);
    group.Deliver(1);
    EXPECT_EQ(expected, Arrivals(group, 1));
}

INSTANTIATE_TEST_SUITE_P(SimulatedGroup, Hostile, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

// A receiver that throws, then one that destroys its member: neither turn leaves anything behind
// in the member, and both events' data go back to the sender, which frees the blocks.
TEST_F(SimulatedGroupTest, ReceiversThatThrowOrDestroyTheirMemberLeaveNothingBehind)
{
    SimulatedGroup group;
    group.Join();
    group.Join();
    group.ReceiverOf(1)->action = [](COEvent*) { throw std::runtime_error("receiver"); };
    group.Send(0, kCode, "data");
    EXPECT_THROW(group.Deliver(1), std::runtime_error);
    group.ReceiverOf(1)->action = [&group](COEvent*) { group.Forget(1); };
    group.Send(0, kCode, "more");
    group.Deliver(1);
    EXPECT_FALSE(group.IsThere(1));
    group.Deliver(0);  // the sender frees blocks nobody refers to any more
    platform::NamedMapping block;
    EXPECT_FALSE(block.OpenForReading("COProcDispatcherHeap_0"));
    EXPECT_FALSE(block.OpenForReading("COProcDispatcherHeap_1"));
}

TEST_F(SimulatedGroupTest, LeavingDoesNotWaitForAConsumerThatHasEnded)
{
    SimulatedGroup group;
    group.Join();
    group.Join();
    SendMany(group, 0, COProcDispatcher::kFirstBlockSlots + 1);  // a block the consumer never attaches
    group.Vanish(1);
    const unsigned long before = platform::MillisecondClock();
    group.Leave(0);
    EXPECT_LT(platform::MillisecondClock() - before, 1000u);
}

TEST_F(SimulatedGroupTest, EveryReceiverOfASentFanOutGetsTheDataAndTheSenderTheIndex)
{
    SimulatedGroup group;
    group.Join();
    group.Within(0, [&group] {
        CODispatcher local;
        local.AddReceiver(group.Dispatcher(0)->GetID());
        local.AddReceiver(group.ReceiverOf(0)->GetID());
        char data[] = "fan";
        COEvent event = COMakeEvent(0, local.GetID(), kCode, data, 3, COEF_ALL_RECEIVERS);
        CommonObjectEventManager::staticSendEvent(&event, 0);
        EXPECT_EQ(0, CODataToValue(event.data));  // the shared block's index
    });
    ASSERT_EQ(1u, Arrivals(group, 0));
    EXPECT_EQ("fan", group.ReceiverOf(0)->arrivals[0].data);
}

// ---- locks whose holders die, and holders that live ----

struct LockCase {
    const char* name;
    // The header of the block whose lock is held, seen by a hostile process.
    std::function<platform::MappedView(SimulatedGroup&)> block;
};

const LockCase kLockCases[] = {
    {"directory", [](SimulatedGroup& group) { return group.QueueBlock(1); }},
    {"receiver's first block", [](SimulatedGroup& group) { return group.QueueBlock(group.QueueIndexOf(1)); }},
    {"sender's own first block", [](SimulatedGroup& group) { return group.QueueBlock(group.QueueIndexOf(0)); }},
};

class HeldLock : public SimulatedGroupTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(HeldLock, AHolderThatEndedIsTakenOverAndTheWordStaysSound)
{
    SimulatedGroup group;
    group.Join();
    group.Join();
    const int killed = group.Join();
    platform::MappedView view = GetParam().block(group);
    auto* header = static_cast<Header*>(view.Get());
    header->lock = 0;
    header->reserved = group.ProcessOf(killed);
    group.Vanish(killed);
    group.Send(0, kCode);
    group.Deliver(1);
    EXPECT_EQ(1u, Arrivals(group, 1));
    EXPECT_EQ(-1, header->lock);
    EXPECT_EQ(0u, header->reserved);
}

TEST_P(HeldLock, ALiveHolderIsNeverTakenOverAndHoldsNobodyForGood)
{
    SimulatedGroup group;
    group.Join();
    group.Join();
    platform::MappedView view = GetParam().block(group);
    auto* header = static_cast<Header*>(view.Get());
    header->lock = 0;  // held the way a member that does not name itself holds it
    group.Send(0, kCode);
    group.Deliver(1);
    EXPECT_EQ(0, header->lock);
    EXPECT_EQ(0u, header->reserved);
    header->lock = -1;
    group.Send(0, kCode);
    group.Deliver(1);
    EXPECT_GE(Arrivals(group, 1), 1u);
}

INSTANTIATE_TEST_SUITE_P(SimulatedGroup, HeldLock, ::testing::ValuesIn(kLockCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
