#include "EventsTestSupport.h"

namespace {

using ManagerTest = EventSystemTest;

TEST_F(ManagerTest, FirstManagerCreatesTheBuiltInDispatchersFirst)
{
    EXPECT_EQ(CO_FIRST_ID, CommonObjectEventManager::staticGetDispatcher("Idle"));
    EXPECT_EQ(CO_FIRST_ID + 1, CommonObjectEventManager::staticGetDispatcher("Broadcast"));
    EXPECT_TRUE(CommonObjectBase::FindObjectByID(CO_FIRST_ID)->IsObjectType(COT_DISPATCHER));
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(0));
    EXPECT_EQ(nullptr, m_manager->GetPage());
    EXPECT_FALSE(m_manager->GetNoRearrange());
}

TEST_F(ManagerTest, FindByNameReturnsEachNamesakeInTurn)
{
    auto* first = new Probe;
    auto* second = new Probe;
    first->SetCOName("twin");
    second->SetCOName("twin");
    Probe other;
    other.SetCOName("Twin");
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByCOName(nullptr));
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByCOName("twi"));
    CommonObjectBase* found = CommonObjectEventManager::FindObjectByCOName("twin");
    ASSERT_TRUE(found == first || found == second);
    CommonObjectBase* survivor = found == first ? second : first;
    delete found;
    EXPECT_EQ(survivor, CommonObjectEventManager::FindObjectByCOName("twin"));
    delete survivor;
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByCOName("twin"));
}

// Notes whether the name it hands out is safe from a rename on another thread: only while the
// additional-data lock is held by the thread that reads it.
class GuardedNameReader : public CommonObjectBase {
public:
    const char* GetCOName() override
    {
        const char* name = CommonObjectBase::GetCOName();
        const OwnerLock& lock = AdditionalDataLock();
        unguardedReads += lock.depth > 0 && lock.ownerThread == platform::CurrentThreadId() ? 0 : 1;
        return name;
    }
    int unguardedReads = 0;
};

TEST_F(ManagerTest, FindByNameComparesWhileNoRenameCanFreeTheName)
{
    GuardedNameReader reader;
    reader.SetCOName("reader");
    EXPECT_EQ(&reader, CommonObjectEventManager::FindObjectByCOName("reader"));
    EXPECT_EQ(0, reader.unguardedReads);
}

TEST_F(ManagerTest, DispatcherNamesAreRegisteredOnce)
{
    EXPECT_TRUE(CommonObjectEventManager::staticRegisterDispatcher("chan", 500));
    EXPECT_FALSE(CommonObjectEventManager::staticRegisterDispatcher("chan", 600));
    EXPECT_EQ(500, CommonObjectEventManager::staticGetDispatcher("chan"));
    EXPECT_EQ(0, CommonObjectEventManager::staticGetDispatcher("Chan"));
    EXPECT_TRUE(CommonObjectEventManager::staticUnregisterDispatcher("chan"));
    EXPECT_FALSE(CommonObjectEventManager::staticUnregisterDispatcher("chan"));
    EXPECT_EQ(0, CommonObjectEventManager::staticGetDispatcher(nullptr));
}

TEST_F(ManagerTest, RequestOfAnUnknownNameCreatesItsDispatcher)
{
    EXPECT_FALSE(CommonObjectEventManager::staticRequestDispatcher("news", 41));
    const long id = CommonObjectEventManager::staticGetDispatcher("news");
    auto* news = dynamic_cast<CODispatcher*>(CommonObjectEventManager::FindObjectByID(id));
    ASSERT_NE(nullptr, news);
    EXPECT_TRUE(CommonObjectEventManager::staticRequestDispatcher("news", 42));
    ASSERT_EQ(2, news->GetCount());
    EXPECT_EQ(41, news->GetNthID(0));
    EXPECT_EQ(42, news->GetNthID(1));
    EXPECT_TRUE(CommonObjectEventManager::staticUnrequestDispatcher("news", 41));
    EXPECT_EQ(news, CommonObjectEventManager::FindObjectByID(id));  // stays when emptied
}

TEST_F(ManagerTest, RequestingIdleByNameEqualsRequestingIdleEvents)
{
    Probe probe;
    EXPECT_TRUE(CommonObjectEventManager::staticRequestDispatcher("Idle", probe.GetID()));
    CommonObjectEventManager::staticDispatchEvents(77);
    ASSERT_EQ(1u, probe.idleTimes.size());
    EXPECT_EQ(77u, probe.idleTimes[0]);
}

TEST_F(ManagerTest, RequestNeverTurnsAPlainObjectIntoAChannel)
{
    Probe plain;
    ASSERT_TRUE(CommonObjectEventManager::staticRegisterDispatcher("fake", plain.GetID()));
    EXPECT_FALSE(CommonObjectEventManager::staticRequestDispatcher("fake", 5));
    EXPECT_FALSE(CommonObjectEventManager::staticUnrequestDispatcher("fake", 5));
    EXPECT_EQ(plain.GetID(), CommonObjectEventManager::staticGetDispatcher("fake"));
    EXPECT_FALSE(CommonObjectEventManager::staticRequestDispatcher(nullptr, 5));
    EXPECT_FALSE(CommonObjectEventManager::staticRequestDispatcher("", 5));
}

TEST_F(ManagerTest, StaleNameIsReplacedByTheDispatcherARequestCreates)
{
    ASSERT_TRUE(CommonObjectEventManager::staticRegisterDispatcher("stale", 0x7000));
    EXPECT_FALSE(CommonObjectEventManager::staticRequestDispatcher("stale", 5));
    const long id = CommonObjectEventManager::staticGetDispatcher("stale");
    EXPECT_NE(0x7000, id);
    EXPECT_NE(nullptr, dynamic_cast<CODispatcher*>(CommonObjectEventManager::FindObjectByID(id)));
}

TEST_F(ManagerTest, LastManagerDestroysEverythingAndResetsTheCounter)
{
    int exportsSeen = 0;
    struct Counted : Probe {
        explicit Counted(int* exports) : exports(exports) {}
        void ExportObject() override { ++*exports; }
        int* exports;
    };
    const long firstId = (new Counted(&exportsSeen))->GetID();
    new Counted(&exportsSeen);
    CommonObjectEventManager::staticPostEvent(0, firstId, 0x400, const_cast<char*>("data"), 4, 0);
    CommonObjectEventManager::staticPostEvent(0, firstId, 0x401, const_cast<char*>("late"), 4, COEF_DELAYED);
    EXPECT_EQ(2u, BlockLedger::Instance().Outstanding());

    m_manager.reset();
    EXPECT_EQ(2, exportsSeen);
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(firstId));
    EXPECT_EQ(0, CommonObjectEventManager::staticGetDispatcher("Idle"));
    EXPECT_EQ(nullptr, ManagerAccess::s_idleDispatcher);
    EXPECT_EQ(0u, BlockLedger::Instance().Outstanding());
    EXPECT_EQ(CO_FIRST_ID, CommonObjectEventManager::GetNewID());
}

TEST_F(ManagerTest, ObjectBuiltBeforeAnyManagerLivesUntilTheLastOneGoes)
{
    m_manager.reset();
    auto* early = new Probe;
    EXPECT_EQ(CO_FIRST_ID, early->GetID());
    m_manager = std::make_unique<CommonObjectEventManager>(nullptr);
    EXPECT_EQ(CO_FIRST_ID + 1, CommonObjectEventManager::staticGetDispatcher("Idle"));
    EXPECT_EQ(early, CommonObjectEventManager::FindObjectByID(CO_FIRST_ID));
    m_manager.reset();
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(CO_FIRST_ID));
}

TEST_F(ManagerTest, ManagerDestroysOnlyItsOwnObjectsWithTheirTopmostAncestor)
{
    int collectionsDestroyed = 0;
    auto page = std::make_unique<CommonObjectEventManager>(nullptr);
    auto* outer = new OwningCollection(&collectionsDestroyed);  // belongs to no page
    auto* inner = new OwningCollection(&collectionsDestroyed);
    auto* child = new Probe;
    inner->SetParent(outer);
    outer->Adopt(inner);
    child->SetParent(inner);
    inner->Adopt(child);
    child->SetManager(page.get());
    const long childId = child->GetID();
    const long outerId = outer->GetID();
    Probe bystander;

    page.reset();
    EXPECT_EQ(2, collectionsDestroyed);
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(childId));
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(outerId));
    EXPECT_EQ(&bystander, CommonObjectEventManager::FindObjectByID(bystander.GetID()));
}

TEST_F(ManagerTest, LastManagerDestroysParentsBeforeTheirChildren)
{
    int collectionsDestroyed = 0;
    auto* collection = new OwningCollection(&collectionsDestroyed);
    for (int i = 0; i < 20; ++i) {
        auto* child = new Probe;
        child->SetParent(collection);
        collection->Adopt(child);
    }
    collection->SetManager(m_manager.get());
    // Any double destruction of a child would be reported by the address sanitizer.
    m_manager.reset();
    EXPECT_EQ(1, collectionsDestroyed);
}

TEST_F(ManagerTest, ChildLeftBehindByItsCollectionIsStillDestroyedOnce)
{
    struct ForgetfulCollection : ICommonObjectCollection {
        void SetManager(CommonObjectEventManager* manager) { m_manager = manager; }
    };
    auto* collection = new ForgetfulCollection;
    auto* orphan = new Probe;
    orphan->SetParent(collection);
    orphan->SetManager(m_manager.get());
    const long orphanId = orphan->GetID();
    {
        CommonObjectEventManager other(nullptr);
        // Not the last manager: only this page's objects go. The collection takes none of its
        // children along, and the orphan's stale parent link must not be followed.
        collection->SetManager(&other);
    }
    EXPECT_EQ(orphan, CommonObjectEventManager::FindObjectByID(orphanId));
    m_manager.reset();
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(orphanId));
}

TEST_F(ManagerTest, IdCounterWrapsPastTheTopAndSkipsLiveObjects)
{
    Probe live;  // CO_FIRST_ID and +1 are the built-in dispatchers, +2 is this probe
    ManagerAccess::SetNextID(0x7FFFFFFE);
    EXPECT_EQ(0x7FFFFFFE, CommonObjectEventManager::GetNewID());
    EXPECT_EQ(0x7FFFFFFF, CommonObjectEventManager::GetNewID());
    EXPECT_EQ(CO_FIRST_ID + 3, CommonObjectEventManager::GetNewID());
    Probe next;
    EXPECT_EQ(CO_FIRST_ID + 4, next.GetID());
    // Below the range, the counter starts at its bottom and passes over every live ID.
    ManagerAccess::SetNextID(0);
    EXPECT_EQ(CO_FIRST_ID + 3, CommonObjectEventManager::GetNewID());
    EXPECT_EQ(CO_FIRST_ID + 5, CommonObjectEventManager::GetNewID());
}

TEST_F(ManagerTest, FreeStaticsCanBeCalledWhileManagersLive)
{
    Probe* stray = new Probe;
    const long strayId = stray->GetID();
    CommonObjectEventManager::FreeStatics();
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(strayId));
    // With the built-in dispatchers gone, broadcasts find nobody and the idle tick is skipped.
    EXPECT_EQ(0, CommonObjectEventManager::SendRoutedEvent(0, COEF_BROADCAST, 0x500, 1L));
    CommonObjectEventManager::staticDispatchEvents(5);
    EXPECT_EQ(CO_FIRST_ID, CommonObjectEventManager::GetNewID());
}

TEST_F(ManagerTest, DeletedBuiltInDispatcherIsNotUsedAfterwards)
{
    Probe probe;
    probe.RequestIdleEvents();
    delete ManagerAccess::s_idleDispatcher;
    delete ManagerAccess::s_broadcastDispatcher;
    EXPECT_EQ(nullptr, ManagerAccess::s_idleDispatcher);
    EXPECT_EQ(nullptr, ManagerAccess::s_broadcastDispatcher);
    CommonObjectEventManager::staticDispatchEvents(3);
    EXPECT_TRUE(probe.idleTimes.empty());
    EXPECT_EQ(0, CommonObjectEventManager::SendRoutedEvent(0, COEF_BROADCAST, 0x501, 1L));
    // The next manager finds them missing and builds new ones.
    CommonObjectEventManager second(nullptr);
    ASSERT_NE(nullptr, ManagerAccess::s_idleDispatcher);
    probe.RequestIdleEvents();
    CommonObjectEventManager::staticDispatchEvents(3);
    EXPECT_EQ(std::vector<unsigned long>{3}, probe.idleTimes);
}

}  // namespace
