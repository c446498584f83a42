// Class-level allocation: pools, their selection across threads, and the class version
// registry.
#include "CMemoryException.h"
#include "CObString.h"
#include "ClassVersionLink.h"
#include "FrameworkExceptionTesting.h"
#include "PoolTesting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

BYTE* LinkOf(const BYTE* block)
{
    BYTE* next = nullptr;
    std::memcpy(&next, block, sizeof(next));
    return next;
}

// Allocation on a second thread; it can finish only while no other thread holds a selection.
void AllocateOnAnotherThread()
{
    std::thread([] { DObject::operator delete(DObject::operator new(8)); }).join();
}

TEST(BlockPoolTest, ObjectsArePackedAfterTheLinkWordAndAFullBlockOpensTheNext)
{
    constexpr unsigned kLink = BlockPool::kLinkSize;  // 4 in the 32-bit product
    BlockPool pool(kLink + 60);
    PoolSelection selected(pool);
    void* first = DObject::operator new(20);
    void* second = DObject::operator new(40);
    EXPECT_EQ(pool.firstBlock + kLink, first);
    EXPECT_EQ(pool.firstBlock + kLink + 20, second);
    EXPECT_EQ(kLink + 60, pool.usedInLast);
    void* third = DObject::operator new(1);
    EXPECT_NE(pool.firstBlock, pool.lastBlock);
    EXPECT_EQ(pool.lastBlock, LinkOf(pool.firstBlock));
    EXPECT_EQ(nullptr, LinkOf(pool.lastBlock));
    EXPECT_EQ(pool.lastBlock + kLink, third);
    EXPECT_EQ(3, pool.liveCount);
    EXPECT_EQ(61u, pool.totalBytes);

    DObject::operator delete(first);
    DObject::operator delete(third);
    EXPECT_NE(nullptr, pool.firstBlock);  // single objects never go back to the pool
    DObject::operator delete(second);
    EXPECT_EQ(nullptr, pool.firstBlock);
    EXPECT_EQ(nullptr, pool.lastBlock);
    EXPECT_EQ(0u, pool.totalBytes);
    EXPECT_EQ(kLink + 60, pool.usedInLast);

    void* fresh = DObject::operator new(8);
    EXPECT_EQ(pool.firstBlock + kLink, fresh);
    DObject::operator delete(fresh);
}

TEST(BlockPoolTest, RequestsBeyondTheBlockAreRefusedAndKeepNoCount)
{
    BlockPool pool(BlockPool::kLinkSize + 60);
    PoolSelection selected(pool);
    void* object = DObject::operator new(60);  // with the link word, exactly one block
    for (std::size_t size : {61u, 0xFFFFFFFEu, 0xFFFFFFFFu})
        EXPECT_TRUE(Raises<CMemoryException>([&] { DObject::operator new(size); }));
    EXPECT_EQ(1, pool.liveCount);
    DObject::operator delete(object);
    EXPECT_EQ(nullptr, pool.firstBlock);

    BlockPool tooSmall(3);
    PoolSelection inner(tooSmall);
    EXPECT_TRUE(Raises<CMemoryException>([] { DObject::operator new(0); }));
}

TEST(BlockPoolTest, AutomaticDeleteDecidesOwnershipByAddress)
{
    void* global = DObject::operator new(16);  // no pool current: the global allocator
    BlockPool pool(256);
    PoolSelection selected(pool, 1);
    void* pooled = DObject::operator new(16);
    DObject::SetBlockAlloc(0);
    void* laterGlobal = DObject::operator new(16);
    EXPECT_EQ(1, pool.liveCount);

    DObject::operator delete(global);
    DObject::operator delete(laterGlobal);
    EXPECT_EQ(1, pool.liveCount);
    DObject::operator delete(pooled);  // found in a block although block allocation is off
    EXPECT_EQ(0, pool.liveCount);
    EXPECT_EQ(nullptr, pool.firstBlock);
    DObject::SetAutomaticDelete(0);
    DObject::SetBlockAlloc(1);
    DObject::operator delete(nullptr);  // no object, so nothing to count out
    EXPECT_EQ(0, pool.liveCount);
}

TEST(MemoryPoolTest, WithoutAPoolSettingsDoNothingAndAllocationIsGlobal)
{
    ASSERT_EQ(nullptr, MemoryPool::CurrentPool());
    DObject::SetBlockAlloc(1);
    EXPECT_EQ(0, DObject::GetBlockAlloc());
    DObject::SetMemSaved(5);
    EXPECT_EQ(5, DObject::MemSaved());
    (new CObString("global"))->Kill();
}

TEST(MemoryPoolTest, SelectionsNestHoldTheLockAndEndWithoutRestoring)
{
    BlockPool outer(64), inner(64);
    MemoryPool::SelectPool(&outer);
    MemoryPool::SelectPool(&inner);
    EXPECT_EQ(&inner, MemoryPool::CurrentPool());
    MemoryPool::SelectPool(&inner);  // a usage error that changes nothing
    EXPECT_EQ(&inner, MemoryPool::CurrentPool());
    MemoryPool::SelectPool(nullptr);
    EXPECT_EQ(nullptr, MemoryPool::CurrentPool());
    MemoryPool::SelectPool(nullptr);
    AllocateOnAnotherThread();
    MemoryPool::SelectPool(nullptr);  // no selection left to end
    AllocateOnAnotherThread();
    MemoryPool::SelectPool(&outer);
    EXPECT_EQ(&outer, MemoryPool::CurrentPool());
    MemoryPool::SelectPool(nullptr);
    AllocateOnAnotherThread();
}

TEST(MemoryPoolTest, ThreadsAllocateWhileAThirdSelectsAPool)
{
    BlockPool pool(1024);
    std::thread selector([&] {
        for (int round = 0; round < 200; ++round) {
            PoolSelection selected(pool);
            std::vector<CObString*> texts;
            for (int i = 0; i < 20; ++i)
                texts.push_back(new CObString("pooled"));
            EXPECT_EQ(20, pool.liveCount);
            for (CObString* text : texts) {
                EXPECT_LT(static_cast<unsigned>(Block(text) - pool.firstBlock), pool.blockSize);
                text->Kill();
            }
            EXPECT_EQ(nullptr, pool.firstBlock);
        }
    });
    auto allocate = [] {
        for (int i = 0; i < 2000; ++i) {
            CObString* text = new CObString("global");
            EXPECT_EQ(CString("global"), text->m_string);
            delete text;
        }
    };
    std::thread first(allocate), second(allocate);
    selector.join();
    first.join();
    second.join();
    EXPECT_EQ(0, pool.liveCount);
}

short s_olderVersion = 2;
short s_newerVersion = 1;
ClassVersionLink s_olderLink(&s_olderVersion);
ClassVersionLink s_newerLink(&s_newerVersion);

TEST(ClassVersionLinkTest, ResetSetsEveryRegisteredVersionAndTheNewestLinkComesFirst)
{
    EXPECT_EQ(&s_olderLink, s_newerLink.next);
    CObString::s_version = 2;
    MemoryPool::ResetClassVersions();
    EXPECT_EQ(-1, s_olderVersion);
    EXPECT_EQ(-1, s_newerVersion);
    EXPECT_EQ(-1, CObString::s_version);
}

}  // namespace
