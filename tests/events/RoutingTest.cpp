#include "EventsTestSupport.h"

#include "Clock.h"

#include <cstring>

namespace {

using Manager = CommonObjectEventManager;
using RoutingTest = EventSystemTest;

std::vector<unsigned int> Codes(const std::vector<COEvent>& events)
{
    std::vector<unsigned int> codes;
    for (const COEvent& event : events)
        codes.push_back(event.code);
    return codes;
}

TEST_F(RoutingTest, SendReachesTheReceiverAtOnceAndReportsWhoTookIt)
{
    Probe taker(nullptr, true), refuser(nullptr, false);
    EXPECT_EQ(taker.GetID(), Manager::SendSimpleEvent(taker.GetID(), 0x700, 5L));
    EXPECT_EQ(0, Manager::SendSimpleEvent(refuser.GetID(), 0x700, 5L));
    EXPECT_EQ(0, Manager::SendSimpleEvent(0x7777, 0x700, 5L));
    EXPECT_EQ(taker.GetID(), Manager::SendSimpleEvent(taker.GetID(), 0x701, static_cast<short>(-1), static_cast<short>(2)));
    ASSERT_EQ(2u, taker.received.size());
    EXPECT_EQ(0, taker.received[0].senderID);
    EXPECT_EQ(taker.GetID(), taker.received[0].targetID);
    EXPECT_EQ(0x0002FFFF, CODataToValue(taker.received[1].data));
}

TEST_F(RoutingTest, SendByDispatcherName)
{
    auto* dispatcher = new CODispatcher("desk");
    Probe clerk(nullptr, true);
    dispatcher->AddReceiver(clerk.GetID());
    EXPECT_EQ(clerk.GetID(), Manager::staticSendEvent(0, "desk", 0x703, nullptr, 0, 0));
    EXPECT_EQ(0, Manager::staticSendEvent(0, "nobody", 0x703, nullptr, 0, 0));
    EXPECT_EQ(1u, clerk.received.size());
}

TEST_F(RoutingTest, BroadcastReachesTheBroadcastReceiversWithTheBitCleared)
{
    Probe listener(nullptr, false), other(nullptr, true);
    ManagerAccess::staticRequestBroadcasts(listener.GetID());
    ManagerAccess::staticRequestBroadcasts(other.GetID());
    COEvent event = MakeTestEvent(0, 0x1234, 0x704, 0, COEF_BROADCAST | 0x0100);
    EXPECT_TRUE(Manager::staticSendEvent(&event, 0));
    EXPECT_EQ(0x0100, event.flags);
    ASSERT_EQ(1u, listener.received.size());
    EXPECT_EQ(0x0100, listener.received[0].flags);
    EXPECT_EQ(listener.GetID(), listener.received[0].receiverID);
    EXPECT_EQ(1u, other.received.size());
    // The name is ignored when the broadcast bit is set.
    EXPECT_EQ(other.GetID(), Manager::staticSendEvent(0, "nobody", 0x705, nullptr, 0, COEF_BROADCAST));
}

TEST_F(RoutingTest, AllObjectsBroadcastStopsAtTheFirstTaker)
{
    std::vector<Delivery> journal;
    Probe a(&journal, false), b(&journal, true), c(&journal, true);
    const long taker = Manager::SendRoutedEvent(0, COEF_BROADCAST | COEF_ALL_OBJECTS, 0x706, 1L);
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().receiver, taker);
    EXPECT_TRUE(taker == b.GetID() || taker == c.GetID());
    EXPECT_EQ(1u, (b.received.size() + c.received.size()));
    EXPECT_EQ(0, journal.back().event.flags & COEF_BROADCAST);
}

TEST_F(RoutingTest, AllObjectsAndAllReceiversAlsoGoThroughEveryDispatcher)
{
    Probe idler(nullptr, false), plain(nullptr, false);
    idler.RequestIdleEvents();
    EXPECT_EQ(0, Manager::SendRoutedEvent(0, COEF_BROADCAST | COEF_ALL_OBJECTS | COEF_ALL_RECEIVERS, 0x707, 1L));
    EXPECT_EQ(2u, idler.received.size());
    EXPECT_EQ(1u, plain.received.size());
}

TEST_F(RoutingTest, AllObjectsSameManagerFromANonObjectReachesObjectsWithoutAPage)
{
    Probe free1, free2, paged;
    paged.SetManager(m_manager.get());
    Manager::SendRoutedEvent(0, COEF_BROADCAST | COEF_ALL_OBJECTS | COEF_SAME_MANAGER | COEF_ALL_RECEIVERS, 0x708, 1L);
    EXPECT_EQ(1u, free1.received.size());
    EXPECT_EQ(1u, free2.received.size());
    EXPECT_TRUE(paged.received.empty());
    paged.SetManager(nullptr);
}

TEST_F(RoutingTest, AllObjectsWalkSkipsTheDestroyedAndTheNewlyBorn)
{
    const unsigned short flags = COEF_BROADCAST | COEF_ALL_OBJECTS | COEF_ALL_RECEIVERS;
    std::vector<Delivery> journal;
    std::vector<Probe*> probes;
    for (int i = 0; i < 6; ++i)
        probes.push_back(new Probe(&journal));
    std::vector<long> destroyedIds;
    std::vector<Probe*> born;
    // Whoever is reached first destroys every other probe and creates new ones.
    bool done = false;
    for (Probe* probe : probes) {
        probe->m_onEvent = [&, probe](COEvent*) {
            if (done)
                return;
            done = true;
            for (Probe*& other : probes) {
                if (other != probe) {
                    destroyedIds.push_back(other->GetID());
                    delete other;
                    other = nullptr;
                }
            }
            for (int i = 0; i < 3; ++i)
                born.push_back(new Probe(&journal));
        };
    }
    Manager::SendRoutedEvent(0, flags, 0x709, 1L);
    ASSERT_EQ(1u, journal.size());
    for (Probe* probe : born)
        delete probe;
    for (Probe* probe : probes)
        delete probe;
}

TEST_F(RoutingTest, PostWaitsForTheNextDispatchWhileASendDoesNot)
{
    Probe probe;
    Manager::staticPostEvent(0, probe.GetID(), 0x710, nullptr, 0, 0);
    Manager::SendSimpleEvent(probe.GetID(), 0x711, 0L);
    EXPECT_EQ(std::vector<unsigned int>{0x711}, Codes(probe.received));
    Manager::staticDispatchEvents(1);
    EXPECT_EQ((std::vector<unsigned int>{0x711, 0x710}), Codes(probe.received));
    EXPECT_EQ(probe.GetID(), probe.received[1].targetID);
}

TEST_F(RoutingTest, PostsArriveInOrderAndHandlerPostsFollowInTheSameCall)
{
    Probe probe;
    probe.m_onEvent = [&](COEvent* event) {
        if (event->code == 1)
            probe.PostEvent(probe.GetID(), 4u, 0L);
    };
    for (unsigned int code = 1; code <= 3; ++code)
        Manager::staticPostEvent(0, probe.GetID(), code, nullptr, 0, 0);
    Manager::staticDispatchEvents(1);
    EXPECT_EQ((std::vector<unsigned int>{1, 2, 3, 4}), Codes(probe.received));
}

TEST_F(RoutingTest, DelayedPostsWaitForTheirOwnDispatch)
{
    Probe probe;
    Manager::staticPostEvent(0, probe.GetID(), 0x712, nullptr, 0, COEF_DELAYED);
    Manager::staticDispatchEvents(1);
    EXPECT_TRUE(probe.received.empty());
    Manager::staticDispatchDelayedEvents(0);
    ASSERT_EQ(1u, probe.received.size());
    EXPECT_EQ(COEF_DELAYED, probe.received[0].flags);
}

TEST_F(RoutingTest, IdleTickCarriesTheGivenTimeOrTheClock)
{
    Probe idler;
    Manager::staticDispatchEvents(5000);
    EXPECT_TRUE(idler.received.empty());
    idler.RequestIdleEvents();
    Manager::staticDispatchEvents(5000);
    ASSERT_EQ(1u, idler.received.size());
    EXPECT_EQ(COE_IDLE, idler.received[0].code);
    EXPECT_EQ(0, idler.received[0].senderID);
    EXPECT_EQ(COEF_ALL_RECEIVERS, idler.received[0].flags);
    EXPECT_EQ(std::vector<unsigned long>{5000}, idler.idleTimes);
    animSetTime(4242);
    Manager::staticDispatchEvents(0);
    animSetTime(0);
    EXPECT_EQ((std::vector<unsigned long>{5000, 4242}), idler.idleTimes);
    idler.UnrequestIdleEvents();
    Manager::staticDispatchEvents(1);
    EXPECT_EQ(2u, idler.idleTimes.size());
}

TEST_F(RoutingTest, PostsMadeByIdleHandlersAreDeliveredInTheSameCall)
{
    Probe idler, target;
    idler.RequestIdleEvents();
    idler.m_onEvent = [&](COEvent*) { idler.PostEvent(target.GetID(), 0x713u, 0L); };
    Manager::staticDispatchEvents(1);
    EXPECT_EQ(1u, target.received.size());
}

TEST_F(RoutingTest, DisablingNestsAndCanGoNegative)
{
    Probe probe;
    Manager::staticDisableDispatchingEvents(true);
    Manager::staticDisableDispatchingEvents(true);
    Manager::staticDisableDispatchingEvents(false);
    EXPECT_TRUE(Manager::staticIsEventDispatchingDisabled());
    Manager::staticPostEvent(0, probe.GetID(), 0x714, nullptr, 0, 0);
    Manager::staticPostEvent(0, probe.GetID(), 0x715, nullptr, 0, COEF_DELAYED);
    Manager::staticDispatchEvents(1);
    Manager::staticDispatchDelayedEvents(1);
    EXPECT_TRUE(probe.received.empty());
    Manager::staticDisableDispatchingEvents(false);
    Manager::staticDisableDispatchingEvents(false);
    EXPECT_TRUE(Manager::staticIsEventDispatchingDisabled());
    Manager::staticDisableDispatchingEvents(true);
    EXPECT_FALSE(Manager::staticIsEventDispatchingDisabled());
    Manager::staticDispatchEvents(1);
    Manager::staticDispatchDelayedEvents(1);
    EXPECT_EQ(2u, probe.received.size());
}

TEST_F(RoutingTest, DrainThatStartedEndsEvenIfAHandlerDisablesDispatching)
{
    Probe probe;
    probe.m_onEvent = [](COEvent* event) {
        if (event->code == 1)
            Manager::staticDisableDispatchingEvents(true);
    };
    Manager::staticPostEvent(0, probe.GetID(), 1, nullptr, 0, 0);
    Manager::staticPostEvent(0, probe.GetID(), 2, nullptr, 0, 0);
    Manager::staticDispatchEvents(1);
    EXPECT_EQ(2u, probe.received.size());
    Manager::staticDisableDispatchingEvents(false);
}

TEST_F(RoutingTest, NestedDispatchTakesFromTheSameQueueAndNothingIsDeliveredTwice)
{
    Probe probe;
    probe.m_onEvent = [&](COEvent* event) {
        if (event->code == 1) {
            probe.SendEvent(probe.GetID(), 100u, 0L);  // nested send, delivered at once
            Manager::staticDispatchEvents(1);
        }
    };
    for (unsigned int code = 1; code <= 4; ++code)
        Manager::staticPostEvent(0, probe.GetID(), code, nullptr, 0, 0);
    Manager::staticDispatchEvents(1);
    EXPECT_EQ((std::vector<unsigned int>{1, 100, 2, 3, 4}), Codes(probe.received));
}

TEST_F(RoutingTest, ReceiverDestroyedBeforeDispatchDropsTheRecordAndItsBlock)
{
    auto* probe = new Probe;
    Manager::staticPostEvent(0, probe->GetID(), 0x716, const_cast<char*>("abc"), 3, 0);
    delete probe;
    EXPECT_EQ(1u, BlockLedger::Instance().Outstanding());
    Manager::staticDispatchEvents(1);
    EXPECT_EQ(0u, BlockLedger::Instance().Outstanding());
}

TEST_F(RoutingTest, PostedDataIsCopiedAndTheCopyIsFreedWhenNobodyTakesIt)
{
    Probe probe(nullptr, false);
    char buffer[5] = {'h', 'e', 'l', 'l', 'o'};
    Manager::staticPostEvent(0, probe.GetID(), 0x717, buffer, 5, 0);
    std::memset(buffer, 0, sizeof buffer);  // the poster may reuse its buffer at once
    void* seen = nullptr;
    probe.m_onEvent = [&](COEvent* event) {
        seen = event->data;
        EXPECT_EQ(5, event->dataSize);
        EXPECT_EQ(0, std::memcmp("hello", event->data, 5));
        EXPECT_TRUE(BlockLedger::Instance().IsLive(event->data));
    };
    Manager::staticDispatchEvents(1);
    EXPECT_NE(static_cast<void*>(buffer), seen);
    EXPECT_FALSE(BlockLedger::Instance().IsLive(seen));
}

TEST_F(RoutingTest, PlainValuesAndNullBlocksAreNeverFreed)
{
    Probe probe(nullptr, false);
    Manager::staticPostEvent(0, probe.GetID(), 0x719, COValueToData(1234), 0, 0);
    Manager::staticPostEvent(0, probe.GetID(), 0x71A, nullptr, 8, 0);
    Manager::staticPostEvent(0, probe.GetID(), 0x71B, COValueToData(77), -3, 0);
    Manager::staticDispatchEvents(1);
    ASSERT_EQ(3u, probe.received.size());
    EXPECT_EQ(1234, CODataToValue(probe.received[0].data));
    EXPECT_EQ(nullptr, probe.received[1].data);
    EXPECT_EQ(8, probe.received[1].dataSize);
    EXPECT_EQ(77, CODataToValue(probe.received[2].data));
    // Nothing was allocated, and nothing foreign was freed (checked by the fixture).
    EXPECT_EQ(0u, BlockLedger::Instance().Outstanding());
}

// How a receiver answers a posted record that carries a block.
enum class Reply { Refuse, RefuseRewritingData, KeepByClearingSize, Take };

struct OwnershipCase {
    const char* what;
    unsigned short flags;         // of the post
    std::vector<Reply> replies;   // one receiver each; several are reached through a fan-out
    std::vector<long> sizesSeen;  // dataSize of each delivery, in delivery order
    bool kept;                    // the block outlives the dispatch, owned by a receiver
};

TEST_F(RoutingTest, PostedBlockHasExactlyOneOwnerAfterDelivery)
{
    const unsigned short allObjects = COEF_BROADCAST | COEF_ALL_OBJECTS | COEF_ALL_RECEIVERS;
    const OwnershipCase cases[] = {
        {"refused", 0, {Reply::Refuse}, {3}, false},
        {"refused, data rewritten", 0, {Reply::RefuseRewritingData}, {3}, false},
        {"kept by clearing the size", 0, {Reply::KeepByClearingSize}, {3}, true},
        {"kept by clearing the size, delayed", COEF_DELAYED, {Reply::KeepByClearingSize}, {3}, true},
        {"taken", 0, {Reply::Take}, {3}, true},
        {"fan-out: taken, then refused", COEF_ALL_RECEIVERS, {Reply::Take, Reply::Refuse}, {3, 0}, true},
        {"fan-out: taken twice", COEF_ALL_RECEIVERS, {Reply::Take, Reply::Take}, {3, 0}, true},
        {"fan-out: refused, then taken", COEF_ALL_RECEIVERS, {Reply::Refuse, Reply::Take}, {3, 3}, true},
        {"fan-out: refused by all", COEF_ALL_RECEIVERS, {Reply::Refuse, Reply::Refuse}, {3, 3}, false},
        {"fan-out: kept by clearing, then refused", COEF_ALL_RECEIVERS,
         {Reply::KeepByClearingSize, Reply::Refuse}, {3, 0}, true},
        {"all objects: taken twice", allObjects, {Reply::Take, Reply::Take}, {3, 0}, true},
    };
    for (const OwnershipCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Delivery> journal;
        std::vector<std::unique_ptr<Probe>> receivers;
        for (const Reply reply : c.replies) {
            receivers.push_back(std::make_unique<Probe>(&journal, reply == Reply::Take));
            receivers.back()->m_onEvent = [reply](COEvent* event) {
                if (reply == Reply::RefuseRewritingData)
                    event->data = COValueToData(42);  // e.g. a block index in place of the pointer
                if (reply == Reply::KeepByClearingSize)
                    event->dataSize = 0;
            };
        }
        std::unique_ptr<CODispatcher> fan;
        long to = receivers[0]->GetID();
        if ((c.flags & COEF_BROADCAST) != 0) {
            to = 0;
        } else if (receivers.size() > 1) {
            fan = std::make_unique<CODispatcher>();
            for (const auto& receiver : receivers)
                fan->AddReceiver(receiver->GetID());
            to = fan->GetID();
        }
        Manager::staticPostEvent(0, to, 0x71C, const_cast<char*>("xyz"), 3, c.flags);
        if ((c.flags & COEF_DELAYED) != 0)
            Manager::staticDispatchDelayedEvents(1);
        else
            Manager::staticDispatchEvents(1);

        std::vector<long> sizesSeen;
        for (const Delivery& delivery : journal)
            sizesSeen.push_back(delivery.event.dataSize);
        EXPECT_EQ(c.sizesSeen, sizesSeen);
        ASSERT_FALSE(journal.empty());
        void* block = journal[0].event.data;
        EXPECT_EQ(c.kept, BlockLedger::Instance().IsLive(block));
        if (c.kept)
            COEventDataFree(block);  // as its owner does
        EXPECT_EQ(0u, BlockLedger::Instance().Outstanding());
        EXPECT_EQ(0, BlockLedger::Instance().BadReleases());
    }
}

TEST_F(RoutingTest, HostCallbacksPostPositionsAndKillByCookie)
{
    Probe object;
    Probe target(nullptr, true);
    object.SetNotifyID(target.GetID());
    void* cookie = COValueToData(object.GetID());
    Manager::staticPosChangeCallback(cookie, -1, 2);
    EXPECT_TRUE(object.received.empty());
    Manager::staticDispatchEvents(1);
    ASSERT_EQ(1u, object.received.size());
    EXPECT_EQ(COE_POS_CHANGED, object.received[0].code);
    EXPECT_EQ(object.GetID(), object.received[0].senderID);
    EXPECT_EQ(0x0002FFFF, CODataToValue(object.received[0].data));

    Manager::staticKillCallback(cookie, static_cast<ActiveObject*>(nullptr));
    Manager::staticKillCallback(cookie, static_cast<OnButton*>(nullptr));
    EXPECT_EQ(2, object.exports);
    EXPECT_EQ(2u, target.received.size());

    auto* gone = new Probe;
    void* goneCookie = COValueToData(gone->GetID());
    delete gone;
    Manager::staticKillCallback(goneCookie, static_cast<ActiveObject*>(nullptr));
    EXPECT_EQ(2u, target.received.size());
}

TEST_F(RoutingTest, WithoutAManagerBroadcastsFindNobodyAndNothingBreaks)
{
    m_manager.reset();
    Probe probe;
    Manager::staticPostEvent(0, probe.GetID(), 0x71E, const_cast<char*>("abc"), 3, 0);
    EXPECT_EQ(0, Manager::SendRoutedEvent(0, COEF_BROADCAST, 0x71F, 1L));
    probe.RequestIdleEvents();  // there is no idle dispatcher to join
    Manager::staticDispatchEvents(1);
    EXPECT_TRUE(probe.idleTimes.empty());
    ASSERT_EQ(1u, probe.received.size());
    EXPECT_EQ(0x71Eu, probe.received[0].code);
}

}  // namespace
