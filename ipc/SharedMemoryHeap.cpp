#include "SharedMemoryHeap.h"

#include "Platform.h"

#include <climits>

namespace {

// The longest text a block index adds to the base name: "_-2147483648".
constexpr int kLongestIndexSuffix = 12;
constexpr unsigned long kBaseMappingSize = 8;
// The longest kernel object name.
constexpr int kLongestName = 260;

struct BaseMapping {
    long nextIndex;  // the index the next Alloc hands out
    long reserved;   // -1 once the heap has been opened
};
static_assert(sizeof(BaseMapping) == kBaseMappingSize, "the base mapping is 8 bytes");

}  // namespace

namespace {

// Creates the named paging-file mapping, or opens it when it exists (the system then keeps its
// size), and maps it whole for writing. True when the mapping existed already.
bool MapNamed(SharedBlock& block, const char* name, unsigned long size)
{
    const platform::NamedObjectResult result = block.handle.CreateOrOpen(name, size);
    block.view = block.handle.Map();
    block.length = block.view.Length();
    return result == platform::NamedObjectResult::Opened;
}

}  // namespace

NamedSharedMemoryHeap::NamedSharedMemoryHeap(const char* base, SharedMemoryHeapClient* client, Opening opening)
    : m_base(base != nullptr ? base : "")
{
    if (m_base.GetLength() + kLongestIndexSuffix >= kLongestName || !OpenHeapMutex(m_base + "Mutex", opening))
        return;
    bool usable = false;
    {
        platform::ScopedLock<platform::NamedMutex> hold(m_mutex);
        const bool existed = MapNamed(m_baseBlock, m_base, kBaseMappingSize);
        if (existed && opening == Opening::CreateOnly)
            NoteExisting(m_base);
        else if (m_baseBlock.length >= kBaseMappingSize)
            m_baseView = static_cast<long*>(m_baseBlock.view.Get());
        usable = m_baseView != nullptr;
        if (usable)
            OpenRoot(client);
    }
    // Without its counter the heap can hand out nothing.
    if (!usable) {
        m_baseBlock.view.Unmap();
        m_baseBlock.handle.Close();
        m_mutex.Close();
    }
}

bool NamedSharedMemoryHeap::OpenHeapMutex(const RkString& name, Opening opening)
{
    const bool mayOpen = opening == Opening::OpenOrCreate;
    if (m_mutex.OpenOrCreate(name, mayOpen) == platform::NamedObjectResult::Opened && !mayOpen)
        NoteExisting(name);
    return m_mutex.IsOpen();
}

void NamedSharedMemoryHeap::OpenRoot(SharedMemoryHeapClient* client)
{
    auto* counter = reinterpret_cast<BaseMapping*>(m_baseView);
    if (counter->nextIndex == 0) {
        counter->reserved = -1;
        if (client != nullptr) {
            if (void* root = Alloc(4))
                client->OnHeapOpened(true, root, this);
        }
    } else if (client != nullptr) {
        SharedBlock* record = nullptr;
        if (void* root = Map(0, &record); root != nullptr && record->length >= sizeof(long))
            client->OnHeapOpened(false, root, this);
    }
}

void NamedSharedMemoryHeap::NoteExisting(const char* name)
{
    if (m_existingObject.IsEmpty())
        m_existingObject = name;
}

NamedSharedMemoryHeap::~NamedSharedMemoryHeap()
{
    if (!IsUsable())
        return;
    platform::ScopedLock<platform::NamedMutex> hold(m_mutex);
    m_blocks.clear();
    m_baseBlock.view.Unmap();
    m_baseBlock.handle.Close();
}

RkString NamedSharedMemoryHeap::BlockName(const char* base, long index)
{
    RkString name;
    name.Format("%s_%ld", base, index);
    return name;
}

SharedBlock& NamedSharedMemoryHeap::CreateOrOpen(long index, int size, bool* existed)
{
    m_blocks.emplace_back();
    SharedBlock& block = m_blocks.back();
    block.index = index;
    const bool found = MapNamed(block, BlockName(m_base, index), static_cast<unsigned long>(size));
    if (existed != nullptr)
        *existed = found;
    return block;
}

void* NamedSharedMemoryHeap::Alloc(int size)
{
    if (!IsUsable() || size < 0 || size > INT_MAX - 4)
        return nullptr;
    long index;
    {
        platform::ScopedLock<platform::NamedMutex> hold(m_mutex);
        auto* counter = reinterpret_cast<volatile BaseMapping*>(m_baseView);
        index = counter->nextIndex;
        // The counter is shared memory: a value no opener could have left there ends the heap.
        if (index < 0 || index == LONG_MAX)
            return nullptr;
        counter->nextIndex = index + 1;
    }
    bool existed = false;
    SharedBlock& block = CreateOrOpen(index, size + 4, &existed);
    // A block must be new: one that exists already under the name belongs to someone else.
    if (existed)
        NoteExisting(BlockName(m_base, index));
    if (existed || block.length < static_cast<std::size_t>(size)) {
        Release(&block);
        return nullptr;
    }
    return block.view.Get();
}

void* NamedSharedMemoryHeap::Map(long index, SharedBlock** record)
{
    if (!IsUsable())
        return nullptr;
    SharedBlock& block = CreateOrOpen(index, 4, nullptr);
    if (record != nullptr)
        *record = &block;
    return block.view.Get();
}

SharedBlock NamedSharedMemoryHeap::MapUnlisted(long index) const
{
    SharedBlock block;
    block.index = index;
    if (IsUsable())
        MapNamed(block, BlockName(m_base, index), 4);
    return block;
}

void NamedSharedMemoryHeap::Free(void* view)
{
    Forget([view](const SharedBlock& block) { return block.view.Get() == view; });
}

void NamedSharedMemoryHeap::Release(SharedBlock* record)
{
    Forget([record](const SharedBlock& block) { return &block == record; });
}

// The record list belongs to this object alone, so dropping a record needs no cross-process
// lock; only the index counter and the opening sequence are shared.
template <class Match>
void NamedSharedMemoryHeap::Forget(Match matches)
{
    if (!IsUsable())
        return;
    for (auto it = m_blocks.begin(); it != m_blocks.end(); ++it) {
        if (matches(*it)) {
            m_blocks.erase(it);  // unmaps the view and closes the handle
            return;
        }
    }
}

const SharedBlock* NamedSharedMemoryHeap::Find(const void* view) const
{
    // Views are unique in the list; the newest records are the ones asked about most.
    for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
        if (it->view.Get() == view)
            return &*it;
    }
    return nullptr;
}

long NamedSharedMemoryHeap::GetIndex(void* view)
{
    const SharedBlock* block = Find(view);
    return block != nullptr ? block->index : 0;
}

std::size_t NamedSharedMemoryHeap::GetLength(const void* view) const
{
    const SharedBlock* block = Find(view);
    return block != nullptr ? block->length : 0;
}
