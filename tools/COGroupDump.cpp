// Shows what an inter-process event group holds, without taking part in it: the directory, each
// member's queue chain (blocks, slot counts, occupied slots) and the live blocks of the
// process-wide event data heap. It opens everything read-only and never creates, locks or writes
// a shared object, so it can look at a group while its members work (what it prints is a
// snapshot that may be changing under it).
//
//   co_group_inspect <group>        (an empty argument is the group of the null name)
//
// Output, one record per line:
//   group <name> directory <index> members <n> refs <n>
//   member <entry> queue <index>
//   block <index> slots <n> used <n> refs <n>
//   spoilt <index>                  a block that is missing or fails the consistency checks
//   data <index> bytes <n> refs <n>
//   data scan from <index>          the newest kDataScanLimit indices only, when the heap has more
//   total members <n> blocks <n> data <n>
// or "no group <name>" when no process has the group open.
#include "COProcDispatcher.h"
#include "PlatformSharedMemory.h"
#include "SharedMemoryHeap.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using Header = COProcDispatcher::Header;

// The data heap's counter is shared memory that anybody may have spoilt: only the newest indices
// below it are looked at. Data blocks live for a delivery turn or two, so the live ones are there.
constexpr long kDataScanLimit = 4096;

// A read-only view of one named mapping that exists already; never creates one.
class ReadOnlyBlock {
public:
    explicit ReadOnlyBlock(const char* name)
    {
        if (m_mapping.OpenForReading(name))
            m_view = m_mapping.Map();
    }

    template <class T>
    const T* As() const
    {
        return m_view.Length() >= sizeof(T) ? static_cast<const T*>(m_view.Get()) : nullptr;
    }
    std::size_t Length() const { return m_view.Length(); }

private:
    platform::NamedMapping m_mapping;
    platform::MappedView m_view;
};

struct Totals {
    int members = 0;
    int blocks = 0;
    int data = 0;
};

void PrintChain(const std::string& queueHeap, long index, Totals& totals)
{
    // Indices only count upwards along a sound chain, which also bounds the walk.
    for (long previous = 0; index > previous;) {
        const ReadOnlyBlock block(NamedSharedMemoryHeap::BlockName(queueHeap.c_str(), index));
        const auto* queue = block.As<COProcDispatcher::EventQueueBlock>();
        const long slots = COProcDispatcher::CheckQueueBlock(queue, block.Length());
        if (slots == 0) {
            std::printf("spoilt %ld\n", index);
            return;
        }
        long used = 0;
        for (long i = 0; i < slots; ++i)
            used += COProcDispatcher::Slots(queue)[i].code != 0 ? 1 : 0;
        std::printf("block %ld slots %ld used %ld refs %ld\n", index, slots, used, queue->header.refs);
        ++totals.blocks;
        previous = index;
        index = static_cast<long>(queue->nextIndex);
    }
}

void PrintDirectory(const std::string& group, Totals& totals)
{
    const std::string queueHeap = group + "_Array";
    const ReadOnlyBlock root(NamedSharedMemoryHeap::BlockName(queueHeap.c_str(), 0));
    const long* directoryIndex = root.As<long>();
    if (directoryIndex == nullptr) {
        std::printf("no group %s\n", group.c_str());
        return;
    }
    const ReadOnlyBlock block(NamedSharedMemoryHeap::BlockName(queueHeap.c_str(), *directoryIndex));
    const auto* directory = block.As<COProcDispatcher::QueueDirectory>();
    const long entries = COProcDispatcher::CheckDirectory(directory, block.Length());
    if (entries == 0) {
        std::printf("spoilt %ld\n", *directoryIndex);
        return;
    }
    int members = 0;
    for (long i = 0; i < entries; ++i)
        members += directory->entries[i].queueIndex != 0 ? 1 : 0;
    std::printf("group %s directory %ld members %d refs %ld\n", group.c_str(), *directoryIndex, members,
                directory->header.refs);
    for (long i = 0; i < entries; ++i) {
        const long queueIndex = directory->entries[i].queueIndex;
        if (queueIndex == 0)
            continue;
        std::printf("member %ld queue %ld\n", i, queueIndex);
        ++totals.members;
        PrintChain(queueHeap, queueIndex, totals);
    }
}

void PrintDataBlocks(Totals& totals)
{
    const char* heap = "COProcDispatcherHeap";
    const ReadOnlyBlock base(heap);
    const long* counter = base.As<long>();
    if (counter == nullptr)
        return;
    const long nextIndex = *counter;
    const long first = std::max(0L, nextIndex - kDataScanLimit);
    if (first > 0)
        std::printf("data scan from %ld\n", first);
    for (long index = first; index < nextIndex; ++index) {
        const ReadOnlyBlock block(NamedSharedMemoryHeap::BlockName(heap, index));
        const Header* header = block.As<Header>();
        if (header == nullptr || header->size == 0)
            continue;
        std::printf("data %ld bytes %ld refs %ld\n", index, header->size - static_cast<long>(sizeof(Header)),
                    header->refs);
        ++totals.data;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: co_group_inspect <group>\n");
        return 2;
    }
    Totals totals;
    PrintDirectory(argv[1], totals);
    PrintDataBlocks(totals);
    std::printf("total members %d blocks %d data %d\n", totals.members, totals.blocks, totals.data);
    return 0;
}
