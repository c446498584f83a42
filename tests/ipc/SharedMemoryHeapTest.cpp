// The named shared-memory heap within one process: two heap objects of one name behave like two
// processes that opened it.
#include "COProcDispatcher.h"
#include "MemberProcess.h"
#include "SharedMemoryHeap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct RecordingClient : SharedMemoryHeapClient {
    void OnHeapOpened(bool isCreated, void* rootBlock, SharedMemoryHeap* heap) override
    {
        ++calls;
        created = isCreated;
        root = static_cast<long*>(rootBlock);
        rootIndex = heap->GetIndex(rootBlock);
    }
    int calls = 0;
    bool created = false;
    long* root = nullptr;
    long rootIndex = -1;
};

TEST(SharedMemoryHeap, FirstOpenerFoundsTheRootBlockAndLaterOnesSeeIt)
{
    const std::string name = UniqueName("Root");
    RecordingClient first;
    RecordingClient second;
    NamedSharedMemoryHeap founder(name.c_str(), &first);
    NamedSharedMemoryHeap joiner(name.c_str(), &second);
    ASSERT_EQ(first.calls, 1);
    ASSERT_EQ(second.calls, 1);
    EXPECT_TRUE(first.created);
    EXPECT_FALSE(second.created);
    EXPECT_EQ(first.rootIndex, 0);
    *first.root = 1234;
    EXPECT_EQ(*second.root, 1234);
    // Block 0 went to the root, so the next block is 1.
    EXPECT_EQ(founder.GetIndex(founder.Alloc(8)), 1);
}

TEST(SharedMemoryHeap, IndicesCountUpFromZeroAcrossOpenersAndStartAgainWhenAllHaveClosed)
{
    const std::string name = UniqueName("Index");
    {
        NamedSharedMemoryHeap one(name.c_str(), nullptr);
        NamedSharedMemoryHeap two(name.c_str(), nullptr);
        EXPECT_EQ(one.GetIndex(one.Alloc(16)), 0);
        EXPECT_EQ(two.GetIndex(two.Alloc(16)), 1);
        EXPECT_EQ(one.GetIndex(one.Alloc(16)), 2);
    }
    NamedSharedMemoryHeap fresh(name.c_str(), nullptr);
    EXPECT_EQ(fresh.GetIndex(fresh.Alloc(16)), 0);
}

TEST(SharedMemoryHeap, EveryMapIsANewViewOfTheSameMemory)
{
    NamedSharedMemoryHeap heap(UniqueName("Map").c_str(), nullptr);
    auto* block = static_cast<char*>(heap.Alloc(100));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[99], 0) << "a new block is zero-filled";
    SharedBlock* record = nullptr;
    auto* again = static_cast<char*>(heap.Map(heap.GetIndex(block), &record));
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, block);
    std::strcpy(block, "seen");
    EXPECT_STREQ(again, "seen");
    EXPECT_GE(record->length, 104u);
    const std::size_t mapped = heap.GetMappedCount();
    heap.Release(record);
    EXPECT_EQ(heap.GetMappedCount(), mapped - 1);
}

TEST(SharedMemoryHeap, BlockThatEveryoneFreedReadsZeroAndUnknownAddressesAreIgnored)
{
    NamedSharedMemoryHeap heap(UniqueName("Gone").c_str(), nullptr);
    auto* block = static_cast<long*>(heap.Alloc(8));
    *block = 8;
    const long index = heap.GetIndex(block);
    heap.Free(block);
    auto* stray = static_cast<long*>(heap.Map(index, nullptr));
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(*stray, 0);
    long local = 0;
    EXPECT_EQ(heap.GetIndex(&local), 0);
    const std::size_t mapped = heap.GetMappedCount();
    heap.Free(&local);
    heap.Release(nullptr);
    EXPECT_EQ(heap.GetMappedCount(), mapped);
}

TEST(SharedMemoryHeap, AllocRefusesABlockNameThatIsTakenAlready)
{
    const std::string name = UniqueName("Taken");
    // Someone else's mapping under the name the next block would get.
    const KernelHandle squatter(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                                   NamedSharedMemoryHeap::BlockName(name.c_str(), 0)));
    NamedSharedMemoryHeap heap(name.c_str(), nullptr);
    EXPECT_EQ(heap.Alloc(16), nullptr);
    EXPECT_EQ(heap.GetIndex(heap.Alloc(16)), 1);
}

TEST(SharedMemoryHeap, NameTooLongForKernelObjectsMakesAnUnusableHeapThatNeverCallsItsClient)
{
    RecordingClient client;
    NamedSharedMemoryHeap heap(std::string(MAX_PATH, 'n').c_str(), &client);
    EXPECT_FALSE(heap.IsUsable());
    EXPECT_EQ(client.calls, 0);
    EXPECT_EQ(heap.Alloc(16), nullptr);
    EXPECT_EQ(heap.Map(0, nullptr), nullptr);
    heap.Free(nullptr);
    EXPECT_EQ(heap.GetMappedCount(), 0u);
}

// The lock of an event data block, as a receiver would use it through its data pointer.
class DataLock : public COProcDispatcher {
public:
    static void Run()
    {
        COProcDispatcher::Header block[2] = {};
        block[0].lock = -1;
        block[0].refs = -1;
        void* data = &block[1];
        EXPECT_EQ(staticGetHeader(data), &block[0]);
        ASSERT_TRUE(staticLockSharedMemory(data, 50));
        EXPECT_FALSE(staticLockSharedMemory(data, 50)) << "the lock is not re-entrant";
        staticUnlockSharedMemory(data);
        EXPECT_TRUE(staticLockSharedMemory(data, 0));
        staticUnlockSharedMemory(data);
        EXPECT_EQ(block[0].lock, -1);
        EXPECT_EQ(staticAddRefSharedMemory(data), 0);
    }
};

TEST(SharedMemoryLock, HeldLockTimesOutAndAFreeOneIsTaken) { DataLock::Run(); }

}  // namespace
