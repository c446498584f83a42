#include "EventsTestSupport.h"

#include <cstdlib>

BlockLedger& BlockLedger::Instance()
{
    static BlockLedger ledger;
    return ledger;
}

void BlockLedger::Install()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_live.clear();
    m_badReleases = 0;
    m_previous = COSetEventDataAllocator({Allocate, Release});
}

void BlockLedger::Uninstall() { COSetEventDataAllocator(m_previous); }

std::size_t BlockLedger::Outstanding()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_live.size();
}

int BlockLedger::BadReleases()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_badReleases;
}

bool BlockLedger::IsLive(void* block)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_live.count(block) != 0;
}

void* BlockLedger::Allocate(unsigned long size)
{
    void* block = std::malloc(size);
    BlockLedger& ledger = Instance();
    std::lock_guard<std::mutex> guard(ledger.m_mutex);
    ledger.m_live.insert(block);
    return block;
}

void BlockLedger::Release(void* block)
{
    BlockLedger& ledger = Instance();
    {
        std::lock_guard<std::mutex> guard(ledger.m_mutex);
        if (ledger.m_live.erase(block) == 0) {
            // Not ours, or already freed: count it and leave the memory alone.
            ++ledger.m_badReleases;
            return;
        }
    }
    std::free(block);
}

void EventSystemTest::SetUp()
{
    BlockLedger::Instance().Install();
    m_manager = std::make_unique<CommonObjectEventManager>(nullptr);
}

void EventSystemTest::TearDown()
{
    m_manager.reset();
    EXPECT_EQ(0u, BlockLedger::Instance().Outstanding()) << "posted data blocks left unfreed";
    EXPECT_EQ(0, BlockLedger::Instance().BadReleases()) << "posted data blocks freed twice or foreign";
    BlockLedger::Instance().Uninstall();
    EXPECT_EQ(nullptr, CommonObjectEventManager::FindObjectByID(CO_FIRST_ID));
}

bool Probe::HandleEvent(COEvent* event)
{
    received.push_back(*event);
    if (m_journal != nullptr)
        m_journal->push_back({GetID(), *event});
    if (m_onEvent)
        m_onEvent(event);
    if (event->code == COE_IDLE)
        return CommonObjectBase::HandleEvent(event);
    return m_answer;
}

bool Probe::OnIdle(unsigned long time)
{
    idleTimes.push_back(time);
    return true;
}

OwningCollection::~OwningCollection()
{
    for (CommonObjectBase* child : m_children)
        delete child;
    ++*m_destroyed;
}

void OwningCollection::Adopt(CommonObjectBase* child) { m_children.push_back(child); }

COEvent MakeTestEvent(long sender, long receiver, unsigned int code, long value, unsigned short flags)
{
    return COMakeEvent(sender, receiver, code, COValueToData(value), 0, flags);
}
