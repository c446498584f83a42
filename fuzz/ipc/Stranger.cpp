#include "Stranger.h"

#include "COProcDispatcher.h"
#include "SharedMemoryHeap.h"

namespace group_fuzz {

namespace {

constexpr const char* kDataHeap = "COProcDispatcherHeap";
// Entries that lead nowhere: no heap of the group gets this far.
constexpr long kNowhere = 0x7FFF0000;

RkString BlockName(const std::string& heap, long index) { return NamedSharedMemoryHeap::BlockName(heap.c_str(), index); }

}  // namespace

platform::MappedView ExistingView(const char* name)
{
    platform::NamedMapping mapping;
    if (mapping.CreateOrOpen(name, 4) != platform::NamedObjectResult::Opened)
        return platform::MappedView();
    return mapping.Map();
}

long NextHeapIndex(const std::string& base)
{
    const platform::MappedView counter = ExistingView(base.c_str());
    return counter.Get() != nullptr ? *static_cast<const long*>(counter.Get()) : 0;
}

void Stranger::Hold(long index)
{
    if (m_heldIndex != 0)
        return;
    platform::MappedView view = ExistingView(BlockName(m_queueHeap, index));
    if (view.Length() < sizeof(COProcDispatcher::Header))
        return;
    auto* header = static_cast<COProcDispatcher::Header*>(view.Get());
    if (platform::AtomicCompareExchange(&header->lock, 0, -1) != -1)
        return;
    m_held = std::move(view);
    m_heldIndex = index;
}

bool Stranger::LetGo()
{
    const bool free = m_held.Get() == nullptr ||
                      platform::AtomicDecrement(&static_cast<COProcDispatcher::Header*>(m_held.Get())->lock) == -1;
    m_held = platform::MappedView();
    m_heldIndex = 0;
    return free;
}

void Stranger::Squat(bool dataHeap, long ahead)
{
    const std::string heap = dataHeap ? kDataHeap : m_queueHeap;
    const long index = NextHeapIndex(heap) + ahead;
    Squatted squat{heap, index, platform::NamedMapping()};
    // A name taken already is somebody's block, not a squat.
    if (squat.name.CreateOrOpen(BlockName(heap, index), 4) == platform::NamedObjectResult::Created)
        m_squats.push_back(std::move(squat));
}

bool Stranger::SquatAhead() const
{
    // The view of a held block keeps its name after the group has gone, and a group founded anew
    // counts its blocks up to it.
    if (m_heldIndex != 0 && m_heldIndex >= NextHeapIndex(m_queueHeap))
        return true;
    // Asked by members side by side, which may be preempted while the stranger squats again.
    for (std::size_t i = 0; i < m_squats.size(); ++i) {
        const long index = m_squats[i].index;
        if (index >= NextHeapIndex(std::string(m_squats[i].heap)))
            return true;
    }
    return false;
}

void Stranger::FillDirectory()
{
    const platform::MappedView root = ExistingView(BlockName(m_queueHeap, 0));
    if (root.Get() == nullptr)
        return;
    const platform::MappedView view = ExistingView(BlockName(m_queueHeap, *static_cast<const long*>(root.Get())));
    auto* directory = static_cast<COProcDispatcher::QueueDirectory*>(view.Get());
    const long entries = COProcDispatcher::CheckDirectory(directory, view.Length());
    for (long i = 0; i < entries; ++i) {
        if (directory->entries[i].queueIndex == 0)
            directory->entries[i].queueIndex = kNowhere + i;
    }
}

}  // namespace group_fuzz
