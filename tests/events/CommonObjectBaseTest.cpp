#include "EventsTestSupport.h"

#include <cstring>

namespace {

using ObjectTest = EventSystemTest;

TEST_F(ObjectTest, ObjectsDrawDistinctIdsAndAreFoundByThem)
{
    Probe first;
    Probe second;
    EXPECT_GE(first.GetID(), CO_FIRST_ID);
    EXPECT_EQ(first.GetID() + 1, second.GetID());
    EXPECT_EQ(&first, CommonObjectBase::FindObjectByID(first.GetID()));
    EXPECT_EQ(nullptr, first.GetParent());
    EXPECT_EQ(nullptr, first.GetManager());
    EXPECT_EQ(nullptr, first.GetHook());
    EXPECT_TRUE(first.IsObjectType(COT_BASE));
    EXPECT_FALSE(first.IsObjectType(COT_DISPATCHER));
    EXPECT_EQ(nullptr, first.CastIfCommonObject());
}

TEST_F(ObjectTest, DestroyedObjectIsNoLongerFound)
{
    auto* probe = new Probe;
    const long id = probe->GetID();
    delete probe;
    EXPECT_EQ(nullptr, CommonObjectBase::FindObjectByID(id));
    EXPECT_EQ(0, CommonObjectEventManager::SendSimpleEvent(id, 0x100, 1L));
}

TEST_F(ObjectTest, IntegersAreStoredAsDecimalText)
{
    Probe probe;
    long length = -1;
    EXPECT_EQ(&probe, probe.SetAdditionalData("n", 42));
    EXPECT_STREQ("42", static_cast<const char*>(probe.GetAdditionalData("n", &length)));
    EXPECT_EQ(3, length);
    probe.SetAdditionalData("n", -7);
    EXPECT_STREQ("-7", static_cast<const char*>(probe.GetAdditionalData("n", &length)));
    EXPECT_EQ(3, length);
}

TEST_F(ObjectTest, SameLengthOverwritesInPlaceOtherLengthReplaces)
{
    Probe probe;
    probe.SetAdditionalData("k", "abc", 4);
    void* before = probe.GetAdditionalData("k", nullptr);
    probe.SetAdditionalData("k", "xyz", 4);
    EXPECT_EQ(before, probe.GetAdditionalData("k", nullptr));
    EXPECT_EQ(0, std::memcmp("xyz", before, 4));
    probe.SetAdditionalData("k", "hello", 5);
    long length = 0;
    void* after = probe.GetAdditionalData("k", &length);
    EXPECT_EQ(5, length);
    EXPECT_EQ(0, std::memcmp("hello", after, 5));
}

TEST_F(ObjectTest, ValueCopiedFromItsOwnBytesSurvivesTheReplacement)
{
    Probe probe;
    probe.SetAdditionalData("k", "abcdef");
    const char* old = static_cast<const char*>(probe.GetAdditionalData("k", nullptr));
    probe.SetAdditionalData("k", old + 2, 3);
    EXPECT_EQ(0, std::memcmp("cde", probe.GetAdditionalData("k", nullptr), 3));
}

TEST_F(ObjectTest, NullStringLeavesTheKeyAsItWas)
{
    Probe probe;
    probe.SetAdditionalData("absent", static_cast<const char*>(nullptr));
    EXPECT_EQ(nullptr, probe.GetAdditionalData("absent", nullptr));
    probe.SetAdditionalData("present", "v");
    probe.SetAdditionalData("present", static_cast<const char*>(nullptr));
    EXPECT_STREQ("v", static_cast<const char*>(probe.GetAdditionalData("present", nullptr)));
}

TEST_F(ObjectTest, ZeroLengthValuesStoreNothingNewButEmptyAnExistingKey)
{
    Probe probe;
    long length = 99;
    probe.SetAdditionalData("k", "", 0);
    EXPECT_EQ(nullptr, probe.GetAdditionalData("k", &length));
    EXPECT_EQ(0, length);
    probe.SetAdditionalData("k", "ab");
    probe.SetAdditionalData("k", "", 0);
    length = 99;
    EXPECT_NE(nullptr, probe.GetAdditionalData("k", &length));
    EXPECT_EQ(0, length);
}

TEST_F(ObjectTest, MalformedStoresChangeNothing)
{
    Probe probe;
    probe.SetAdditionalData("k", "ab");
    EXPECT_EQ(&probe, probe.SetAdditionalData("k", "xyz", -1));
    EXPECT_EQ(&probe, probe.SetAdditionalData("k", nullptr, 4));
    EXPECT_EQ(&probe, probe.SetAdditionalData(nullptr, "ab"));
    long length = 0;
    EXPECT_STREQ("ab", static_cast<const char*>(probe.GetAdditionalData("k", &length)));
    EXPECT_EQ(3, length);
    EXPECT_EQ(nullptr, probe.GetAdditionalData(nullptr, &length));
    EXPECT_FALSE(probe.ClearAdditionalData(nullptr));
}

TEST_F(ObjectTest, KeysAreCaseSensitiveAndClearedOnce)
{
    Probe probe;
    EXPECT_FALSE(probe.ClearAdditionalData("k"));
    probe.SetAdditionalData("k", 1);
    EXPECT_EQ(nullptr, probe.GetAdditionalData("K", nullptr));
    EXPECT_TRUE(probe.ClearAdditionalData("k"));
    EXPECT_FALSE(probe.ClearAdditionalData("k"));
    EXPECT_EQ(nullptr, probe.GetAdditionalData("k", nullptr));
}

TEST_F(ObjectTest, ClearingAKeyThatOnlyTheGetterAnswersFreesNothing)
{
    // A derived object may answer some keys itself, without a stored block behind them.
    struct Defaulted : Probe {
        void* GetAdditionalData(const char* key, long* length) override
        {
            if (key != nullptr && std::strcmp(key, "colour") == 0) {
                if (length != nullptr)
                    *length = 4;
                return const_cast<char*>("red");
            }
            return Probe::GetAdditionalData(key, length);
        }
    } object;
    EXPECT_FALSE(object.ClearAdditionalData("colour"));  // no map yet
    object.SetAdditionalData("size", 3);
    EXPECT_TRUE(object.ClearAdditionalData("colour"));
    EXPECT_STREQ("red", static_cast<const char*>(object.GetAdditionalData("colour", nullptr)));
    EXPECT_STREQ("3", static_cast<const char*>(object.GetAdditionalData("size", nullptr)));
    EXPECT_TRUE(object.ClearAdditionalData("size"));
    EXPECT_EQ(nullptr, object.GetAdditionalData("size", nullptr));
}

TEST_F(ObjectTest, NameIsAdditionalDataUnderItsKey)
{
    Probe probe;
    EXPECT_EQ(nullptr, probe.GetCOName());
    probe.SetCOName("Wolf");
    EXPECT_STREQ("Wolf", probe.GetCOName());
    long length = 0;
    EXPECT_EQ(0, std::memcmp("Wolf", probe.GetAdditionalData("sCONm", &length), 5));
    EXPECT_EQ(5, length);
    probe.SetCOName(nullptr);
    EXPECT_EQ(nullptr, probe.GetCOName());
}

TEST_F(ObjectTest, FirstHookThatTakesTheEventEndsTheDelivery)
{
    int firstCalls = 0, secondCalls = 0, thirdCalls = 0;
    Probe probe(nullptr, true);
    auto* third = new CountingHook(&thirdCalls, false);
    auto* second = new CountingHook(&secondCalls, true, third);
    probe.SetHook(new CountingHook(&firstCalls, false, second));
    COEvent event = MakeTestEvent(0, probe.GetID(), 0x200);
    EXPECT_TRUE(probe.HandleEventWithHooks(&event));
    EXPECT_EQ(1, firstCalls);
    EXPECT_EQ(1, secondCalls);
    EXPECT_EQ(0, thirdCalls);
    EXPECT_TRUE(probe.received.empty());
}

TEST_F(ObjectTest, EventReachesTheObjectWhenNoHookTakesIt)
{
    int calls = 0;
    Probe probe(nullptr, true);
    probe.SetHook(new CountingHook(&calls, false, new CountingHook(&calls, false)));
    EXPECT_EQ(probe.GetID(), CommonObjectEventManager::SendSimpleEvent(probe.GetID(), 0x200, 3L));
    EXPECT_EQ(2, calls);
    ASSERT_EQ(1u, probe.received.size());
}

TEST_F(ObjectTest, DestroyingTheObjectDestroysItsHooks)
{
    struct DyingHook : COHook {
        explicit DyingHook(int* count, COHook* next = nullptr) : count(count) { m_next = next; }
        ~DyingHook() override { ++*count; }
        int* count;
    };
    int destroyed = 0;
    auto* probe = new Probe;
    probe->SetHook(new DyingHook(&destroyed, new DyingHook(&destroyed, new DyingHook(&destroyed))));
    delete probe;
    EXPECT_EQ(3, destroyed);
}

TEST_F(ObjectTest, ObjectDestroyedByItsOwnHookEndsTheDeliverySafely)
{
    // A hook whose handler destroys the object it serves, and with it the whole chain.
    struct DestroyingHook : COHook {
        explicit DestroyingHook(COHook* next = nullptr) { m_next = next; }
        bool HandleEvent(CommonObjectBase* object, COEvent*) override
        {
            delete object;
            return false;
        }
    };
    for (const bool destroyerFirst : {true, false}) {
        SCOPED_TRACE(destroyerFirst ? "destroyer first" : "destroyer last");
        int countingCalls = 0;
        auto* probe = new Probe(nullptr, true);
        const long id = probe->GetID();
        if (destroyerFirst)
            probe->SetHook(new DestroyingHook(new CountingHook(&countingCalls, false)));
        else
            probe->SetHook(new CountingHook(&countingCalls, false, new DestroyingHook));
        bool objectReached = false;
        probe->m_onEvent = [&](COEvent*) { objectReached = true; };
        EXPECT_EQ(0, CommonObjectEventManager::SendSimpleEvent(id, 0x201, 1L));
        EXPECT_EQ(destroyerFirst ? 0 : 1, countingCalls);
        EXPECT_FALSE(objectReached);
        EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(id));
    }
}

TEST_F(ObjectTest, HookTakingTheIdleTickKeepsOnIdleFromRunning)
{
    int calls = 0;
    Probe probe;
    probe.SetHook(new CountingHook(&calls, true));
    probe.RequestIdleEvents();
    CommonObjectEventManager::staticDispatchEvents(10);
    EXPECT_EQ(1, calls);
    EXPECT_TRUE(probe.idleTimes.empty());
}

TEST_F(ObjectTest, NotifyGoesToTheNotifyTargetBeforeTheParent)
{
    int destroyed = 0;
    auto* parent = new OwningCollection(&destroyed);
    std::vector<Delivery> journal;
    Probe target(&journal, true);
    Probe child;
    child.SetParent(parent);
    child.SetNotifyID(target.GetID());
    EXPECT_TRUE(child.Notify(0x300u, 5L));
    ASSERT_EQ(1u, journal.size());
    EXPECT_EQ(target.GetID(), journal[0].event.receiverID);
    EXPECT_EQ(child.GetID(), journal[0].event.senderID);
    EXPECT_EQ(5, CODataToValue(journal[0].event.data));
    child.SetParent(nullptr);
    delete parent;
}

TEST_F(ObjectTest, NotifyWithoutTargetDeliversToTheParentWithHooks)
{
    struct RecordingCollection : ICommonObjectCollection {
        using ICommonObjectCollection::HandleEventWithHooks;
        bool HandleEvent(COEvent* event) override
        {
            seen.push_back(*event);
            return true;
        }
        std::vector<COEvent> seen;
    } parent;
    Probe child;
    child.SetParent(&parent);
    EXPECT_TRUE(child.Notify(0x301u, static_cast<short>(-1), static_cast<short>(2)));
    ASSERT_EQ(1u, parent.seen.size());
    EXPECT_EQ(parent.GetID(), parent.seen[0].receiverID);
    EXPECT_EQ(0x0002FFFF, CODataToValue(parent.seen[0].data));
    EXPECT_EQ(0, parent.seen[0].dataSize);
    child.SetParent(nullptr);
    EXPECT_FALSE(child.Notify(0x301u, 1L));
}

TEST_F(ObjectTest, KilledObjectExportsAndNotifiesUnlessItsPageIsRearranging)
{
    std::vector<Delivery> journal;
    Probe target(&journal, true);
    Probe victim;
    victim.SetNotifyID(target.GetID());
    EXPECT_TRUE(victim.OnKilled());
    EXPECT_EQ(1, victim.exports);
    ASSERT_EQ(1u, journal.size());
    EXPECT_EQ(COE_KILLED, journal[0].event.code);
    EXPECT_EQ(-1, CODataToValue(journal[0].event.data));

    victim.SetManager(m_manager.get());
    m_manager->SetNoRearrange(true);
    EXPECT_TRUE(victim.OnKilled());
    EXPECT_EQ(2, victim.exports);
    EXPECT_EQ(1u, journal.size());

    m_manager->SetNoRearrange(false);
    target.m_answer = false;
    EXPECT_FALSE(victim.OnKilled());
    EXPECT_EQ(2u, journal.size());
    victim.SetManager(nullptr);

    victim.SetNotifyID(0);  // neither a target nor a parent
    EXPECT_FALSE(victim.OnKilled());
    EXPECT_EQ(4, victim.exports);
}

TEST_F(ObjectTest, RequestCreatesTheDispatcherOnceAndJoinsIt)
{
    Probe first, second;
    EXPECT_EQ(0, first.Request("Channel"));
    EXPECT_EQ(1, second.Request("Channel"));
    auto* channel = dynamic_cast<CODispatcher*>(CommonObjectBase::FindObjectByID(first.GetDispatcher("Channel")));
    ASSERT_NE(nullptr, channel);
    EXPECT_EQ(2, channel->GetCount());
    EXPECT_EQ(first.GetID(), channel->GetNthID(0));
    EXPECT_EQ(second.GetID(), channel->GetNthID(1));
    EXPECT_TRUE(first.Unrequest("Channel"));
    EXPECT_FALSE(first.Unrequest("Channel"));
    EXPECT_FALSE(first.Unrequest("Nowhere"));
}

TEST_F(ObjectTest, ConvenienceFormsCarryTheObjectAsSender)
{
    Probe sender;
    Probe receiver(nullptr, true);
    const long to = receiver.GetID();
    char bytes[3] = {1, 2, 3};
    EXPECT_EQ(to, sender.SendEvent(to, 0x10u, bytes, 3));
    EXPECT_EQ(to, sender.SendEvent(to, 0x11u, 99L));
    EXPECT_EQ(to, sender.SendEvent(to, 0x12u, static_cast<short>(4), static_cast<short>(5)));
    EXPECT_EQ(to, sender.SendRoutedEvent(to, 0x0100, 0x13u, bytes, 3));
    EXPECT_EQ(to, sender.SendRoutedEvent(to, 0x0100, 0x14u, 7L));
    ASSERT_EQ(5u, receiver.received.size());
    for (const COEvent& event : receiver.received) {
        EXPECT_EQ(sender.GetID(), event.senderID);
        EXPECT_EQ(to, event.targetID);
    }
    EXPECT_EQ(bytes, receiver.received[0].data);  // a send lends the caller's block
    EXPECT_EQ(3, receiver.received[0].dataSize);
    EXPECT_EQ(99, CODataToValue(receiver.received[1].data));
    EXPECT_EQ(COPackShorts(4, 5), CODataToValue(receiver.received[2].data));
    EXPECT_EQ(0x0100, receiver.received[3].flags);
    EXPECT_EQ(7, CODataToValue(receiver.received[4].data));

    receiver.m_answer = false;
    sender.PostEvent(to, 0x20u, bytes, 3);
    sender.PostEvent(to, 0x21u, 8L);
    sender.PostEvent(to, 0x22u, static_cast<short>(-1), static_cast<short>(2));
    sender.PostRoutedEvent(to, 0x0100, 0x23u, bytes, 3);
    sender.PostRoutedEvent(to, COEF_DELAYED, 0x24u, 9L);
    CommonObjectEventManager::staticDispatchEvents(1);
    ASSERT_EQ(9u, receiver.received.size());
    EXPECT_NE(bytes, receiver.received[5].data);  // a post copies
    EXPECT_EQ(0x0002FFFF, CODataToValue(receiver.received[7].data));
    EXPECT_EQ(0x0100, receiver.received[8].flags);
    CommonObjectEventManager::staticDispatchDelayedEvents(0);
    ASSERT_EQ(10u, receiver.received.size());
    EXPECT_EQ(0x24u, receiver.received[9].code);
}

}  // namespace
