// Events between member processes: every member gets every event once, in order, with its data;
// queue chains grow and shrink; lost, surplus and null-named members.
#include "COEventData.h"
#include "COProcDispatcher.h"
#include "CommonObjectEventManager.h"
#include "MemberProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Members = std::vector<std::unique_ptr<MemberProcess>>;

Members StartMembers(const std::string& group, int count)
{
    Members members;
    for (int i = 0; i < count; ++i) {
        members.push_back(std::make_unique<MemberProcess>(group));
        EXPECT_EQ(AnswerField(members.back()->Command("status"), "entered"), 1) << "member " << i;
    }
    return members;
}

// Sends the same command to every member at once, then collects the answers in order.
std::vector<std::string> CommandAll(Members& members, const std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < members.size(); ++i)
        members[i]->Write(lines[i]);
    std::vector<std::string> answers;
    for (auto& member : members)
        answers.push_back(member->ReadLine());
    return answers;
}

std::vector<std::string> CommandAll(Members& members, const std::string& line)
{
    return CommandAll(members, std::vector<std::string>(members.size(), line));
}

// "tags 1:n,2:n,..." for tags 1 to `senders`, as a member reports a clean run.
std::string AllTags(int senders, long each)
{
    std::string tags;
    for (int tag = 1; tag <= senders; ++tag)
        tags += std::to_string(tag) + ":" + std::to_string(each) + ",";
    return tags;
}

// Slot counts and occupied slots of each block of the chain of directory entry `entry`.
std::string Chain(const std::string& inspection, int entry)
{
    std::string chain;
    bool inside = false;
    std::istringstream lines(inspection);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("member ", 0) == 0)
            inside = AnswerField(line, "member") == entry;
        else if (inside && line.rfind("block ", 0) == 0)
            chain += std::to_string(AnswerField(line, "slots")) + "/" + std::to_string(AnswerField(line, "used")) + " ";
    }
    return chain;
}

struct DeliveryCase {
    int members;
    long eachSends;
    const char* dataMode;
};

class GroupDelivery : public testing::TestWithParam<DeliveryCase> {};

TEST_P(GroupDelivery, EveryMemberGetsEveryEventOnceInOrderAtItsNextIdleTurn)
{
    const DeliveryCase& c = GetParam();
    const std::string group = UniqueName("Delivery");
    Members members = StartMembers(group, c.members);
    std::vector<std::string> sends;
    for (int i = 0; i < c.members; ++i)
        sends.push_back("send " + std::to_string(i + 1) + " 0 " + std::to_string(c.eachSends) + " " + c.dataMode);
    CommandAll(members, sends);
    // Nothing arrives during a send, not even at the sender's own receivers.
    EXPECT_EQ(AnswerField(members[0]->Command("report"), "received"), 0);

    const long total = c.members * c.eachSends;
    for (const std::string& answer : CommandAll(members, "deliver 1"))
        EXPECT_EQ(AnswerField(answer, "received"), total);
    for (const std::string& report : CommandAll(members, "report")) {
        EXPECT_EQ(AnswerField(report, "bad"), 0) << report;
        EXPECT_EQ(AnswerField(report, "foreign"), 0) << report;
        EXPECT_NE(report.find("tags " + AllTags(c.members, c.eachSends)), std::string::npos) << report;
    }
    // Once every member has delivered, each sender frees its data blocks at its next turn.
    CommandAll(members, "deliver 1");
    EXPECT_EQ(InspectTotal(InspectGroup(group), "data"), 0);
}

INSTANTIATE_TEST_SUITE_P(Members, GroupDelivery,
                         testing::Values(DeliveryCase{2, 150, "mixed"}, DeliveryCase{4, 60, "256"},
                                         DeliveryCase{4, 60, "none"}));

TEST(Joining, MembersTakeTheNextBlockAndTheFirstFreeDirectoryEntry)
{
    const std::string group = UniqueName("Join");
    Members members = StartMembers(group, 2);
    // Block 0 is the root, block 1 the directory.
    EXPECT_EQ(AnswerField(members[0]->Command("status"), "queue"), 2);
    EXPECT_EQ(AnswerField(members[1]->Command("status"), "queue"), 3);
    ASSERT_TRUE(members[0]->Quit());
    MemberProcess third(group);
    EXPECT_EQ(AnswerField(third.Command("status"), "queue"), 4);
    const std::string inspection = InspectGroup(group);
    EXPECT_NE(inspection.find("member 0 queue 4\n"), std::string::npos) << inspection;
    EXPECT_NE(inspection.find("member 1 queue 3\n"), std::string::npos) << inspection;
}

TEST(Joining, MemberLeftToTheLastManagerLeavesTheGroupWithIt)
{
    const std::string group = UniqueName("Manager");
    MemberProcess other(group);
    ASSERT_EQ(AnswerField(other.Command("status"), "entered"), 1);
    {
        CommonObjectEventManager manager(nullptr);
        new COProcDispatcher(group.c_str());  // owned by the manager's registry from here on
        EXPECT_EQ(InspectTotal(InspectGroup(group), "members"), 2);
    }
    EXPECT_EQ(InspectTotal(InspectGroup(group), "members"), 1);
}

// Destroys the dispatcher that delivers to it, as any receiver of a dispatcher may.
class DestroyingReceiver : public CommonObjectBase {
public:
    explicit DestroyingReceiver(COProcDispatcher* dispatcher) : m_dispatcher(dispatcher) {}
    int received = 0;

protected:
    bool HandleEvent(COEvent* /*event*/) override
    {
        ++received;
        delete std::exchange(m_dispatcher, nullptr);
        return true;
    }

private:
    COProcDispatcher* m_dispatcher;
};

TEST(Leaving, ReceiverMayDestroyTheDeliveringMember)
{
    const std::string group = UniqueName("Destroy");
    CommonObjectEventManager manager(nullptr);
    auto* member = new COProcDispatcher(group.c_str());
    DestroyingReceiver receiver(member);
    member->AddReceiver(receiver.GetID());
    char data[64] = "payload";
    for (int i = 0; i < 3; ++i)
        CommonObjectEventManager::staticSendEvent(0, member->GetID(), 0x5000, data, sizeof data, 0);
    CommonObjectEventManager::staticDispatchEvents(0);
    CommonObjectEventManager::staticDispatchEvents(0);
    EXPECT_EQ(receiver.received, 1);
    EXPECT_EQ(InspectTotal(InspectGroup(group), "members"), 0);
}

// Counts the blocks that posts take from the event data allocator and that come back.
long g_postedBlocksOut = 0;
void* CountedAllocate(unsigned long size)
{
    ++g_postedBlocksOut;
    return std::malloc(size);
}
void CountedRelease(void* block)
{
    if (block != nullptr)
        --g_postedBlocksOut;
    std::free(block);
}

class DataReceiver : public CommonObjectBase {
public:
    std::string received;

protected:
    bool HandleEvent(COEvent* event) override
    {
        if (event->dataSize > 0)
            received.assign(static_cast<const char*>(event->data));
        return true;
    }
};

TEST(Posting, PostedBlockIsFreedOnceTheGroupCarriesItsCopy)
{
    const std::string group = UniqueName("Post");
    const COEventDataAllocator previous = COSetEventDataAllocator({CountedAllocate, CountedRelease});
    {
        CommonObjectEventManager manager(nullptr);
        auto* member = new COProcDispatcher(group.c_str());
        DataReceiver receiver;
        member->AddReceiver(receiver.GetID());
        char data[64] = "posted to the group";
        CommonObjectEventManager::staticPostEvent(0, member->GetID(), 0x5001, data, sizeof data, 0);
        CommonObjectEventManager::staticDispatchEvents(0);
        CommonObjectEventManager::staticDispatchEvents(0);
        EXPECT_EQ(receiver.received, "posted to the group");
        EXPECT_EQ(g_postedBlocksOut, 0);
    }
    COSetEventDataAllocator(previous);
}

TEST(SlotCode, EventWithCodeZeroNeverArrivesAndItsSlotIsTakenByTheNext)
{
    const std::string group = UniqueName("Zero");
    Members members = StartMembers(group, 2);
    ASSERT_EQ(members[0]->Command("raw 0 77"), "sent 1");
    EXPECT_EQ(AnswerField(members[1]->Command("deliver 1"), "received"), 0);
    ASSERT_EQ(members[0]->Command("send 1 0 20 none"), "sent 20");
    // Twenty events fill exactly the first block: nothing of the code-0 event is left in it.
    EXPECT_EQ(Chain(InspectGroup(group), 1), "20/20 ");
    EXPECT_EQ(AnswerField(members[1]->Command("deliver 1"), "received"), 20);
    EXPECT_EQ(AnswerField(members[1]->Command("report"), "foreign"), 0);
}

TEST(QueueChain, GrowsByDoublingToAtMost640SlotsAndShrinksOnceTaken)
{
    const std::string group = UniqueName("Chain");
    Members members = StartMembers(group, 2);
    MemberProcess& consumer = *members[0];
    MemberProcess& producer = *members[1];
    ASSERT_EQ(producer.Command("send 7 0 1300 mixed"), "sent 1300");

    const std::string grown = InspectGroup(group);
    EXPECT_EQ(Chain(grown, 0), "20/20 40/40 80/80 160/160 320/320 640/640 640/40 ") << grown;
    EXPECT_EQ(InspectTotal(grown, "data"), 650) << "one block per event with data, shared by both queues";

    // Order holds across every block boundary.
    EXPECT_EQ(AnswerField(consumer.Command("deliver 1"), "received"), 1300);
    const std::string report = consumer.Command("report");
    EXPECT_EQ(AnswerField(report, "bad"), 0) << report;
    EXPECT_NE(report.find("tags 7:1300,"), std::string::npos) << report;

    consumer.Command("deliver 1");
    EXPECT_EQ(Chain(InspectGroup(group), 0), "20/0 ");
}

TEST(QueueChain, ProducerKeepsOneViewPerBlockOfAConsumerThatReadsNothing)
{
    const std::string group = UniqueName("Pending");
    Members members = StartMembers(group, 2);
    MemberProcess& producer = *members[1];
    ASSERT_EQ(producer.Command("send 1 0 2000 none"), "sent 2000");

    // Two unattached chains of 8 blocks each (its own queue and the consumer's): 14 later blocks,
    // each held by one view and one mapping handle, beside the root, the directory and its own
    // first block.
    const std::string status = producer.Command("status");
    EXPECT_EQ(AnswerField(status, "pending"), 14) << status;
    EXPECT_EQ(AnswerField(status, "views"), 17) << status;

    // Once the consumers attach the blocks, the producer lets them go.
    ASSERT_EQ(AnswerField(members[0]->Command("deliver 1"), "received"), 2000);
    ASSERT_EQ(AnswerField(producer.Command("deliver 2"), "received"), 2000);
    EXPECT_EQ(AnswerField(producer.Command("status"), "pending"), 0);
}

TEST(MemberLoss, KilledMemberIsClearedAtTheNextPutAndTheOthersGoOn)
{
    const std::string group = UniqueName("Killed");
    Members members = StartMembers(group, 3);
    members[0]->Write("send 1 0 300 mixed 10");
    members[1]->Write("send 2 0 300 mixed 10");
    members[2]->Kill();
    ASSERT_EQ(members[0]->ReadLine(), "sent 300");
    ASSERT_EQ(members[1]->ReadLine(), "sent 300");

    // One put after the end of the process is enough to clear its entry.
    ASSERT_EQ(members[0]->Command("send 1 300 1 none"), "sent 1");
    EXPECT_EQ(InspectTotal(InspectGroup(group), "members"), 2);
    members.pop_back();
    for (const std::string& answer : CommandAll(members, "await 601 30000"))
        EXPECT_EQ(AnswerField(answer, "received"), 601);
    for (const std::string& report : CommandAll(members, "report"))
        EXPECT_EQ(AnswerField(report, "bad"), 0) << report;
}

TEST(MemberLoss, TwentyFirstMemberStaysOutsideAndTheOthersAreUnaffected)
{
    const std::string group = UniqueName("Full");
    Members members = StartMembers(group, 2);
    // 18 more members in the first process fill the directory's 20 entries.
    ASSERT_EQ(members[0]->Command("extra 18"), "entered 18");
    MemberProcess outsider(group);
    EXPECT_EQ(AnswerField(outsider.Command("status"), "entered"), 0);

    ASSERT_EQ(outsider.Command("send 3 0 5 mixed"), "sent 5");
    ASSERT_EQ(members[1]->Command("send 2 0 5 mixed"), "sent 5");
    EXPECT_EQ(AnswerField(outsider.Command("deliver 1"), "received"), 0);
    for (auto& member : members) {
        EXPECT_EQ(AnswerField(member->Command("deliver 1"), "received"), 10);
        const std::string report = member->Command("report");
        EXPECT_EQ(AnswerField(report, "bad"), 0) << report;
    }
    EXPECT_EQ(InspectTotal(InspectGroup(group), "members"), 20);
}

TEST(NullName, JoinsTheGroupOfTheEmptyName)
{
    MemberProcess nullNamed("-");
    MemberProcess emptyNamed("");
    ASSERT_EQ(AnswerField(nullNamed.Command("status"), "entered"), 1);
    ASSERT_EQ(AnswerField(emptyNamed.Command("status"), "entered"), 1);
    ASSERT_EQ(nullNamed.Command("send 1 0 3 mixed"), "sent 3");
    ASSERT_EQ(emptyNamed.Command("send 2 0 3 mixed"), "sent 3");
    EXPECT_EQ(AnswerField(nullNamed.Command("deliver 1"), "received"), 6);
    EXPECT_EQ(AnswerField(emptyNamed.Command("deliver 1"), "received"), 6);
    EXPECT_EQ(InspectTotal(InspectGroup(""), "members"), 2);
}

TEST(Stress, FourSendersWhileDeliveringLoseNothingAndFreeEveryDataBlock)
{
    constexpr int kMembers = 4;
    constexpr long kEach = 2000;
    const std::string group = UniqueName("Stress");
    Members members = StartMembers(group, kMembers);
    std::vector<std::string> sends;
    for (int i = 0; i < kMembers; ++i)
        sends.push_back("send " + std::to_string(i + 1) + " 0 " + std::to_string(kEach) + " mixed 10");
    for (const std::string& answer : CommandAll(members, sends))
        ASSERT_EQ(answer, "sent " + std::to_string(kEach));
    for (const std::string& answer : CommandAll(members, "await " + std::to_string(kMembers * kEach) + " 120000"))
        EXPECT_EQ(AnswerField(answer, "received"), kMembers * kEach);
    for (const std::string& report : CommandAll(members, "report")) {
        EXPECT_EQ(AnswerField(report, "bad"), 0) << report;
        EXPECT_NE(report.find("tags " + AllTags(kMembers, kEach)), std::string::npos) << report;
    }
    CommandAll(members, "deliver 1");
    const std::string inspection = InspectGroup(group);
    EXPECT_EQ(InspectTotal(inspection, "data"), 0) << inspection;
}

}  // namespace
