// Members facing shared memory that another process spoilt, objects whose names are taken, and
// names that cannot form kernel object names: nothing hangs or crashes, and what can still be
// delivered is.
#include "COProcDispatcher.h"
#include "MemberProcess.h"
#include "SharedMemoryHeap.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace {

// Writes one 32-bit word into block `index` of the group's queue heap, as a misbehaving
// process could.
void Spoil(const std::string& group, long index, std::size_t offset, long value)
{
    const std::string heap = group + "_Array";
    const KernelHandle mapping(OpenFileMappingA(FILE_MAP_WRITE, FALSE, NamedSharedMemoryHeap::BlockName(heap.c_str(), index)));
    ASSERT_TRUE(mapping.IsOpen());
    const ScopedView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(view.Get(), nullptr);
    std::memcpy(static_cast<char*>(view.Get()) + offset, &value, sizeof value);
}

long QueueOf(MemberProcess& member) { return AnswerField(member.Command("status"), "queue"); }

// A member that cannot take part stays outside: it sends without effect and receives nothing.
void ExpectOutsideButWorking(MemberProcess& member)
{
    EXPECT_EQ(AnswerField(member.Command("status"), "entered"), 0);
    EXPECT_EQ(member.Command("send 1 0 3 mixed"), "sent 3");
    EXPECT_EQ(AnswerField(member.Command("deliver 1"), "received"), 0);
    EXPECT_TRUE(member.Quit());
}

TEST(UnusableGroup, NameTooLongForKernelObjectsLeavesTheMemberOutside)
{
    MemberProcess member(std::string(300, 'x'));
    ExpectOutsideButWorking(member);
}

TEST(UnusableGroup, DirectoryThatCannotBeAllocatedLeavesEveryMemberOutside)
{
    const std::string group = UniqueName("Squat");
    // Another kind of object holds the directory's name, so its mapping cannot be created.
    const KernelHandle squatter(CreateMutexA(nullptr, FALSE, (group + "_Array_1").c_str()));
    ASSERT_TRUE(squatter.IsOpen());
    MemberProcess first(group);
    MemberProcess second(group);
    ExpectOutsideButWorking(first);
    ExpectOutsideButWorking(second);
}

struct SpoiltQueueCase {
    const char* what;
    std::size_t offset;
    long value;
};

class SpoiltFirstBlock : public testing::TestWithParam<SpoiltQueueCase> {};

TEST_P(SpoiltFirstBlock, IsTreatedAsGoneAndTheOthersGoOn)
{
    const std::string group = UniqueName("Queue");
    MemberProcess victim(group);
    MemberProcess sender(group);
    const long victimQueue = QueueOf(victim);
    EXPECT_EQ(AnswerField(sender.Command("status"), "others"), 1);
    Spoil(group, victimQueue, GetParam().offset, GetParam().value);
    EXPECT_EQ(AnswerField(sender.Command("status"), "others"), 0);

    ASSERT_EQ(sender.Command("send 2 0 30 mixed"), "sent 30");
    EXPECT_EQ(AnswerField(sender.Command("deliver 1"), "received"), 30);
    EXPECT_EQ(AnswerField(sender.Command("report"), "bad"), 0);
    EXPECT_EQ(InspectTotal(InspectGroup(group), "members"), 1);
    EXPECT_EQ(AnswerField(victim.Command("deliver 1"), "received"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SpoiltFirstBlock,
    testing::Values(SpoiltQueueCase{"count far beyond the mapping", offsetof(COProcDispatcher::EventQueueBlock, count), 100000},
                    SpoiltQueueCase{"count below 20", offsetof(COProcDispatcher::EventQueueBlock, count), 19},
                    SpoiltQueueCase{"count that does not match the size", offsetof(COProcDispatcher::EventQueueBlock, count), 640},
                    SpoiltQueueCase{"size beyond the mapping", 0, 0x7FFFFFFF},
                    SpoiltQueueCase{"negative size", 0, -592}));

// Another member counts while its first queue block is there: not once it has left, nor once it
// was killed without leaving (its entry stays behind, its block goes with the process).
TEST(OtherMembers, CountOnlyMembersWhoseFirstBlockStillExists)
{
    const std::string group = UniqueName("Others");
    MemberProcess watcher(group);
    EXPECT_EQ(AnswerField(watcher.Command("status"), "others"), 0);
    MemberProcess leaving(group);
    MemberProcess killed(group);
    // Each has entered the directory once it answers.
    ASSERT_GT(QueueOf(leaving), 0);
    ASSERT_GT(QueueOf(killed), 0);
    EXPECT_EQ(AnswerField(watcher.Command("status"), "others"), 2);
    killed.Kill();
    EXPECT_EQ(AnswerField(watcher.Command("status"), "others"), 1);
    EXPECT_TRUE(leaving.Quit());
    EXPECT_EQ(AnswerField(watcher.Command("status"), "others"), 0);
}

TEST(SpoiltChain, LinkBackwardsIsCutInsteadOfWalkedInACircle)
{
    const std::string group = UniqueName("Circle");
    MemberProcess consumer(group);
    MemberProcess producer(group);
    const long queue = QueueOf(consumer);
    ASSERT_EQ(producer.Command("send 1 0 25 none"), "sent 25");
    // The full first block now names itself as its successor.
    Spoil(group, queue, offsetof(COProcDispatcher::EventQueueBlock, nextIndex), queue);

    ASSERT_EQ(producer.Command("send 1 25 1 none"), "sent 1");
    // The five events of the block that was cut off are lost; the rest arrive.
    EXPECT_EQ(AnswerField(consumer.Command("deliver 1"), "received"), 21);
    // Gone from the group, the consumer no longer holds up the producer's leaving, which would
    // otherwise wait for it to attach the block that was cut off.
    EXPECT_TRUE(consumer.Quit());
}

TEST(SpoiltData, EventWhoseDataSizeDoesNotMatchItsBlockIsDropped)
{
    const std::string group = UniqueName("Data");
    MemberProcess consumer(group);
    MemberProcess producer(group);
    ASSERT_EQ(producer.Command("send 1 0 1 256"), "sent 1");
    Spoil(group, QueueOf(consumer), sizeof(COProcDispatcher::EventQueueBlock) + offsetof(COProcDispatcher::EventSlot, dataSize),
          0x7FFFFF00);
    EXPECT_EQ(AnswerField(consumer.Command("deliver 1"), "received"), 0);

    ASSERT_EQ(producer.Command("send 1 1 1 256"), "sent 1");
    EXPECT_EQ(AnswerField(consumer.Command("deliver 1"), "received"), 1);
}

TEST(SpoiltDirectory, EntryCountBeyondTheDirectoryStopsDeliveryWithoutHarm)
{
    const std::string group = UniqueName("Directory");
    MemberProcess first(group);
    MemberProcess second(group);
    ASSERT_EQ(AnswerField(first.Command("status"), "entered"), 1);
    ASSERT_EQ(AnswerField(second.Command("status"), "entered"), 1);
    Spoil(group, 1, offsetof(COProcDispatcher::QueueDirectory, count), 1000);
    EXPECT_EQ(first.Command("send 1 0 3 mixed"), "sent 3");
    EXPECT_EQ(AnswerField(second.Command("deliver 1"), "received"), 0);
    EXPECT_TRUE(first.Quit());
    EXPECT_TRUE(second.Quit());
}

TEST(AbandonedLock, DirectoryLockOfAMemberKilledHoldingItIsTakenOver)
{
    const std::string group = UniqueName("Abandoned");
    MemberProcess first(group);
    ASSERT_EQ(AnswerField(first.Command("status"), "entered"), 1);
    {
        // As a member killed inside its directory work leaves it: held, in its own name.
        MemberProcess killed(group);
        Spoil(group, 1, offsetof(COProcDispatcher::Header, lock), 0);
        Spoil(group, 1, offsetof(COProcDispatcher::Header, reserved), static_cast<long>(killed.ProcessId()));
        killed.Kill();
    }
    MemberProcess second(group);
    EXPECT_EQ(AnswerField(second.Command("status"), "entered"), 1);
    EXPECT_EQ(first.Command("send 1 0 3 mixed"), "sent 3");
    EXPECT_EQ(AnswerField(second.Command("deliver 1"), "received"), 3);
    EXPECT_TRUE(first.Quit());
    EXPECT_TRUE(second.Quit());
}

}  // namespace
