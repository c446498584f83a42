#include "EventsTestSupport.h"

namespace {

using DispatcherTest = EventSystemTest;

bool Send(OpenDispatcher& dispatcher, COEvent* event) { return dispatcher.HandleEvent(event); }

TEST_F(DispatcherTest, NamedDispatcherRegistersAndUnregistersItsName)
{
    auto* dispatcher = new OpenDispatcher("radio");
    EXPECT_EQ(dispatcher->GetID(), CommonObjectEventManager::staticGetDispatcher("radio"));
    EXPECT_TRUE(dispatcher->IsObjectType(COT_DISPATCHER));
    EXPECT_FALSE(dispatcher->IsObjectType(COT_BASE));
    delete dispatcher;
    EXPECT_EQ(0, CommonObjectEventManager::staticGetDispatcher("radio"));
}

TEST_F(DispatcherTest, SecondDispatcherOfATakenNameStaysNameless)
{
    OpenDispatcher first("radio");
    {
        OpenDispatcher second("radio");
        EXPECT_EQ(first.GetID(), CommonObjectEventManager::staticGetDispatcher("radio"));
    }
    // The nameless second one leaves the first one's registration alone.
    EXPECT_EQ(first.GetID(), CommonObjectEventManager::staticGetDispatcher("radio"));
}

TEST_F(DispatcherTest, DestroyedDispatcherTakesItsOwnNameWithIt)
{
    long id = 0;
    {
        OpenDispatcher named("radio");
        id = named.GetID();
        EXPECT_EQ(id, CommonObjectEventManager::staticGetDispatcher("radio"));
    }
    EXPECT_EQ(0, CommonObjectEventManager::staticGetDispatcher("radio"));
}

TEST_F(DispatcherTest, NamelessDispatchersTouchNoName)
{
    ASSERT_TRUE(CommonObjectEventManager::staticRegisterDispatcher("", 321));
    delete new OpenDispatcher;
    delete new OpenDispatcher("");
    EXPECT_EQ(321, CommonObjectEventManager::staticGetDispatcher(""));
}

TEST_F(DispatcherTest, DuplicateEntriesReceiveTwiceAndAreClearedTogether)
{
    OpenDispatcher dispatcher;
    Probe probe;
    EXPECT_FALSE(dispatcher.RemoveReceiver(probe.GetID()));
    EXPECT_EQ(probe.GetID(), dispatcher.AddReceiver(probe.GetID()));
    dispatcher.AddReceiver(probe.GetID());
    COEvent event = MakeTestEvent(0, dispatcher.GetID(), 0x600, 0, COEF_ALL_RECEIVERS);
    Send(dispatcher, &event);
    EXPECT_EQ(2u, probe.received.size());

    EXPECT_TRUE(dispatcher.RemoveReceiver(probe.GetID()));
    EXPECT_EQ(2, dispatcher.GetCount());
    EXPECT_EQ(0, dispatcher.GetNthID(0));
    EXPECT_EQ(0, dispatcher.GetNthID(1));
    EXPECT_FALSE(dispatcher.RemoveReceiver(probe.GetID()));
    EXPECT_FALSE(Send(dispatcher, &event));

    // A GetNext walk is where cleared entries leave the list.
    dispatcher.AddReceiver(probe.GetID());
    int position = 0;
    EXPECT_EQ(&probe, dispatcher.GetNext(&position));
    EXPECT_EQ(nullptr, dispatcher.GetNext(&position));
    EXPECT_EQ(1, dispatcher.GetCount());
    dispatcher.RemoveAll();
    EXPECT_EQ(0, dispatcher.GetCount());
}

TEST_F(DispatcherTest, GetNthIdOutsideTheListAnswersZero)
{
    OpenDispatcher dispatcher;
    dispatcher.AddReceiver(5);
    EXPECT_EQ(5, dispatcher.GetNthID(0));
    EXPECT_EQ(0, dispatcher.GetNthID(1));
    EXPECT_EQ(0, dispatcher.GetNthID(-1));
}

TEST_F(DispatcherTest, GetNextDropsDeadEntriesByMovingTheLastOneIn)
{
    OpenDispatcher dispatcher;
    Probe a, d, e;
    auto* b = new Probe;
    dispatcher.AddReceiver(a.GetID());
    dispatcher.AddReceiver(b->GetID());
    dispatcher.AddReceiver(d.GetID());
    dispatcher.AddReceiver(e.GetID());
    delete b;

    int position = 0;
    EXPECT_EQ(&a, dispatcher.GetNext(&position));
    EXPECT_EQ(&e, dispatcher.GetNext(&position));
    EXPECT_EQ(&d, dispatcher.GetNext(&position));
    EXPECT_EQ(nullptr, dispatcher.GetNext(&position));
    EXPECT_EQ(0, position);
    ASSERT_EQ(3, dispatcher.GetCount());
    EXPECT_EQ(a.GetID(), dispatcher.GetNthID(0));
    EXPECT_EQ(e.GetID(), dispatcher.GetNthID(1));
    EXPECT_EQ(d.GetID(), dispatcher.GetNthID(2));
}

TEST_F(DispatcherTest, AllReceiversAnswerIsTheLastOnes)
{
    OpenDispatcher dispatcher;
    Probe yes(nullptr, true), no(nullptr, false);
    dispatcher.AddReceiver(yes.GetID());
    dispatcher.AddReceiver(no.GetID());
    COEvent event = MakeTestEvent(0, dispatcher.GetID(), 0x601, 0, COEF_ALL_RECEIVERS);
    EXPECT_FALSE(Send(dispatcher, &event));
    EXPECT_EQ(1u, yes.received.size());
    EXPECT_EQ(1u, no.received.size());
}

TEST_F(DispatcherTest, FanOutStopsAtTheFirstTaker)
{
    OpenDispatcher dispatcher;
    Probe first(nullptr, false), second(nullptr, true), third(nullptr, true);
    for (Probe* probe : {&first, &second, &third})
        dispatcher.AddReceiver(probe->GetID());
    COEvent event = MakeTestEvent(0, dispatcher.GetID(), 0x602);
    EXPECT_TRUE(Send(dispatcher, &event));
    EXPECT_TRUE(third.received.empty());
    EXPECT_EQ(second.GetID(), event.receiverID);
    EXPECT_EQ(first.GetID(), first.received[0].receiverID);
}

TEST_F(DispatcherTest, SameManagerNeedsASenderWithAManager)
{
    OpenDispatcher dispatcher;
    Probe sender, receiver(nullptr, true);
    dispatcher.AddReceiver(receiver.GetID());
    COEvent event = MakeTestEvent(sender.GetID(), dispatcher.GetID(), 0x603, 0, COEF_SAME_MANAGER);
    EXPECT_FALSE(Send(dispatcher, &event));
    event.senderID = 0;
    EXPECT_FALSE(Send(dispatcher, &event));
    EXPECT_TRUE(receiver.received.empty());
}

TEST_F(DispatcherTest, SameManagerReachesOnlyTheSendersPage)
{
    CommonObjectEventManager otherPage(nullptr);
    OpenDispatcher dispatcher;
    Probe sender, mine, theirs;
    sender.SetManager(m_manager.get());
    mine.SetManager(m_manager.get());
    theirs.SetManager(&otherPage);
    dispatcher.AddReceiver(theirs.GetID());
    dispatcher.AddReceiver(mine.GetID());
    COEvent event = MakeTestEvent(sender.GetID(), dispatcher.GetID(), 0x604, 0, COEF_SAME_MANAGER | COEF_ALL_RECEIVERS);
    Send(dispatcher, &event);
    EXPECT_TRUE(theirs.received.empty());
    EXPECT_EQ(1u, mine.received.size());
    for (Probe* probe : {&sender, &mine, &theirs})
        probe->SetManager(nullptr);
}

TEST_F(DispatcherTest, ReceiversAddedOrRemovedDuringTheFanOutDontChangeIt)
{
    OpenDispatcher dispatcher;
    Probe first, second;
    Probe* late = nullptr;
    dispatcher.AddReceiver(first.GetID());
    dispatcher.AddReceiver(second.GetID());
    first.m_onEvent = [&](COEvent*) {
        late = new Probe;
        dispatcher.AddReceiver(late->GetID());
        dispatcher.RemoveReceiver(second.GetID());
    };
    COEvent event = MakeTestEvent(0, dispatcher.GetID(), 0x605, 0, COEF_ALL_RECEIVERS);
    Send(dispatcher, &event);
    EXPECT_EQ(1u, second.received.size());
    ASSERT_NE(nullptr, late);
    EXPECT_TRUE(late->received.empty());
    first.m_onEvent = nullptr;
    Send(dispatcher, &event);
    EXPECT_EQ(1u, late->received.size());
    EXPECT_EQ(1u, second.received.size());
    delete late;
}

TEST_F(DispatcherTest, ReceiverDestroyedDuringTheFanOutIsSkipped)
{
    OpenDispatcher dispatcher;
    Probe killer;
    auto* victim = new Probe;
    Probe last;
    for (Probe* probe : {&killer, victim, &last})
        dispatcher.AddReceiver(probe->GetID());
    killer.m_onEvent = [&](COEvent*) { delete victim; };
    COEvent event = MakeTestEvent(0, dispatcher.GetID(), 0x606, 0, COEF_ALL_RECEIVERS);
    Send(dispatcher, &event);
    EXPECT_EQ(1u, last.received.size());
    EXPECT_EQ(3, dispatcher.GetCount());  // the fan-out never removes entries
}

TEST_F(DispatcherTest, DispatcherDestroyedByItsOwnReceiverFinishesTheFanOut)
{
    auto* dispatcher = new CODispatcher("doomed");
    Probe first, second;
    dispatcher->AddReceiver(first.GetID());
    dispatcher->AddReceiver(second.GetID());
    first.m_onEvent = [&](COEvent*) { delete dispatcher; };
    EXPECT_EQ(0, CommonObjectEventManager::staticSendEvent(0, "doomed", 0x607, nullptr, 0, COEF_ALL_RECEIVERS));
    EXPECT_EQ(1u, second.received.size());
    EXPECT_EQ(0, CommonObjectEventManager::staticGetDispatcher("doomed"));
}

}  // namespace
