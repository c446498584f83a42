#include "Platform.h"
#include "PlatformSharedMemory.h"
#include "Simulation.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// The kernel's object namespace, kept by this program: every name leads to an object that lives
// while a handle or a view of it is open, as on Windows. Mappings are anonymous shared-memory
// files, so that each view is a mapping of its own.

namespace platform {
namespace {

struct SharedObject {
    bool isMutex = false;
    int file = -1;
    std::size_t size = 0;
    // A mutex: who holds it, and how often.
    ProcessId holderProcess = 0;
    unsigned long holderThread = 0;
    int depth = 0;

    ~SharedObject()
    {
        if (file >= 0)
            close(file);
    }
};

struct Handle {
    std::shared_ptr<SharedObject> object;
    ProcessId process;
};

struct View {
    std::shared_ptr<SharedObject> object;  // null once cut off by its process's end
    std::size_t length;
    ProcessId process;
};

std::size_t PageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

std::size_t PageRounded(std::size_t size) { return (size + PageSize() - 1) / PageSize() * PageSize(); }

// Views are placed inside one reserved range of addresses, next-fit, so that an address comes back
// into use as late as possible, each followed by a page without access, and a range given up is
// reserved again without access: a use after unmapping faults. The range also keeps views where
// the sanitizers' shadow reaches, which not every 32-bit address space that mmap hands out does
// (under an emulator it is 4 GB).
class ViewArena {
public:
    void* Place(std::size_t length)
    {
        if (m_base == nullptr && !Reserve())
            return nullptr;
        const std::size_t pages = Span(length);
        for (std::size_t tried = 0; tried < 2; ++tried, m_cursor = 0) {
            for (std::size_t start = m_cursor; start + pages <= m_used.size();) {
                const std::size_t taken = FirstTaken(start, pages);
                if (taken == start + pages) {
                    std::fill(m_used.begin() + start, m_used.begin() + start + pages, true);
                    m_cursor = start + pages;
                    return m_base + start * PageSize();
                }
                start = taken + 1;
            }
        }
        return nullptr;
    }

    // Asked at every access to memory that the group's code makes, without the namespace's lock:
    // once reserved, the range stays.
    static bool Contains(const volatile void* address)
    {
        const std::uintptr_t base = s_base.load(std::memory_order_relaxed);
        return base != 0 && reinterpret_cast<std::uintptr_t>(address) - base < kBytes;
    }

    // Gives the range back, reserved again without access.
    void Remove(void* view, std::size_t length)
    {
        mmap(view, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
        const std::size_t start = static_cast<std::size_t>(static_cast<char*>(view) - m_base) / PageSize();
        std::fill(m_used.begin() + start, m_used.begin() + start + Span(length), false);
    }

private:
    static constexpr std::size_t kBytes = 64u << 20;

    // A view's pages and the page after it, which stays without access: as on Windows, where the
    // byte past a view is not committed, an overrun faults instead of landing in the next view.
    static std::size_t Span(std::size_t length) { return length / PageSize() + 1; }

    bool Reserve()
    {
        void* base = mmap(nullptr, kBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base == MAP_FAILED)
            return false;
        m_base = static_cast<char*>(base);
        s_base.store(reinterpret_cast<std::uintptr_t>(base), std::memory_order_relaxed);
        m_used.assign(kBytes / PageSize(), false);
        return true;
    }

    std::size_t FirstTaken(std::size_t start, std::size_t pages) const
    {
        for (std::size_t page = start; page < start + pages; ++page) {
            if (m_used[page])
                return page;
        }
        return start + pages;
    }

    static inline std::atomic<std::uintptr_t> s_base{0};
    char* m_base = nullptr;
    std::vector<bool> m_used;
    std::size_t m_cursor = 0;
};

// The simulated processes. The simulation knows each by a number of its own, never given twice,
// by which handles, views and mutex holds belong to it; the id it shows is that number, or the id
// of an ended process handed out again. This program's own process runs from the start.
class Processes {
public:
    Processes() { m_running.emplace(Own(), Own()); }

    static ProcessId Own() { return static_cast<ProcessId>(getpid()); }

    ProcessId Start(bool reuseId)
    {
        const ProcessId number = ++m_lastNumber;
        m_running.emplace(number, reuseId ? ReusableId(number) : number);
        return number;
    }

    // Ending a process that has ended already changes nothing.
    void End(ProcessId number)
    {
        const auto running = m_running.find(number);
        if (running == m_running.end())
            return;
        m_ended.emplace_back(*running);
        m_running.erase(running);
        // Only the latest ones are remembered, so that a long fuzzing run does not pile them up.
        if (m_ended.size() > kEndedKept)
            m_ended.pop_front();
    }

    ProcessId IdOf(ProcessId number) const
    {
        if (const auto running = m_running.find(number); running != m_running.end())
            return running->second;
        const auto ended = std::find_if(m_ended.begin(), m_ended.end(), [number](const auto& e) { return e.first == number; });
        return ended != m_ended.end() ? ended->second : number;
    }

    bool IsRunning(ProcessId id) const
    {
        return std::any_of(m_running.begin(), m_running.end(), [id](const auto& running) { return running.second == id; });
    }

private:
    static constexpr std::size_t kEndedKept = 256;

    // As a system does, the id of the process that ended last, unless one runs under it again.
    ProcessId ReusableId(ProcessId fresh) const
    {
        const auto ended = std::find_if(m_ended.rbegin(), m_ended.rend(), [this](const auto& e) { return !IsRunning(e.second); });
        return ended != m_ended.rend() ? ended->second : fresh;
    }

    std::map<ProcessId, ProcessId> m_running;          // number -> id
    std::deque<std::pair<ProcessId, ProcessId>> m_ended;  // the same, oldest first
    // Far from the ids of real processes.
    ProcessId m_lastNumber = 0x40000000;
};

struct Namespace {
    std::mutex lock;
    std::condition_variable mutexReleased;
    std::map<std::string, std::weak_ptr<SharedObject>> names;
    std::map<std::uintptr_t, Handle> handles;
    std::uintptr_t lastHandle = 0;
    std::map<void*, View> views;
    Processes processes;
    ViewArena arena;
};

// The process whose handles, views and mutex holds the calling thread makes, by number: each task
// side by side runs in a process of its own.
thread_local ProcessId t_current = Processes::Own();

// Built on first use, and never destroyed: objects at namespace scope may close handles late.
Namespace& Names()
{
    static Namespace* names = new Namespace;
    return *names;
}


int AnonymousFile()
{
    int file = memfd_create("corvane", MFD_CLOEXEC);
    if (file < 0) {
        char path[] = "/tmp/corvane-shm-XXXXXX";
        file = mkstemp(path);
        if (file >= 0)
            unlink(path);
    }
    return file;
}

std::shared_ptr<SharedObject> Find(Namespace& names, const char* name)
{
    const auto found = names.names.find(name);
    return found != names.names.end() ? found->second.lock() : nullptr;
}

void* AddHandle(Namespace& names, std::shared_ptr<SharedObject> object)
{
    names.handles.emplace(++names.lastHandle, Handle{std::move(object), t_current});
    return reinterpret_cast<void*>(names.lastHandle);
}

// A switch point for tasks side by side, once the namespace's lock has been given back: declared
// before the lock is taken, it goes after it.
struct SwitchPointAfter {
    ~SwitchPointAfter() { simulation::SwitchPoint(); }
};

void DropHandle(void* handle)
{
    const SwitchPointAfter preemptible;
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    names.handles.erase(reinterpret_cast<std::uintptr_t>(handle));
}

SharedObject* HandleObject(Namespace& names, void* handle)
{
    const auto found = names.handles.find(reinterpret_cast<std::uintptr_t>(handle));
    return found != names.handles.end() ? found->second.object.get() : nullptr;
}

// The pages at `view` keep their contents but stop being shared.
void CutOff(void* view, std::size_t length)
{
    std::vector<char> contents(static_cast<const char*>(view), static_cast<const char*>(view) + length);
    mmap(view, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    std::memcpy(view, contents.data(), length);
}

}  // namespace

ProcessId CurrentProcessId()
{
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    return names.processes.IdOf(t_current);
}

bool IsProcessRunning(ProcessId process)
{
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    return process != 0 && names.processes.IsRunning(process);
}

long AtomicCompareExchange(long volatile* value, long exchange, long comparand)
{
    __atomic_compare_exchange_n(value, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    simulation::SwitchPointAt(value);
    return comparand;
}

NamedObjectResult NamedMutex::OpenOrCreate(const char* name, bool mayOpen)
{
    Close();
    const SwitchPointAfter preemptible;
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    if (auto object = Find(names, name)) {
        if (!object->isMutex)
            return NamedObjectResult::Opened;
        if (mayOpen)
            m_handle = AddHandle(names, std::move(object));
        return NamedObjectResult::Opened;
    }
    auto object = std::make_shared<SharedObject>();
    object->isMutex = true;
    names.names[name] = object;
    m_handle = AddHandle(names, std::move(object));
    return NamedObjectResult::Created;
}

void NamedMutex::Close()
{
    if (m_handle != nullptr)
        DropHandle(m_handle);
    m_handle = nullptr;
}

void NamedMutex::Lock()
{
    const SwitchPointAfter preemptible;
    Namespace& names = Names();
    std::unique_lock<std::mutex> hold(names.lock);
    const unsigned long thread = CurrentThreadId();
    while (SharedObject* mutex = HandleObject(names, m_handle)) {
        if (mutex->depth == 0 || (mutex->holderProcess == t_current && mutex->holderThread == thread)) {
            mutex->holderProcess = t_current;
            mutex->holderThread = thread;
            ++mutex->depth;
            return;
        }
        // A task side by side must not block its thread: the holder may be a preempted task.
        if (simulation::InSession()) {
            hold.unlock();
            simulation::WaitForOthers();
            hold.lock();
        } else {
            names.mutexReleased.wait(hold);
        }
    }
}

void NamedMutex::Unlock()
{
    const SwitchPointAfter preemptible;
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    SharedObject* mutex = HandleObject(names, m_handle);
    if (mutex == nullptr || mutex->depth == 0 || mutex->holderProcess != t_current)
        return;
    if (--mutex->depth == 0)
        names.mutexReleased.notify_all();
}

void MappedView::Unmap()
{
    if (m_view != nullptr) {
        const SwitchPointAfter preemptible;
        Namespace& names = Names();
        std::lock_guard<std::mutex> hold(names.lock);
        names.views.erase(m_view);
        names.arena.Remove(m_view, m_length);
    }
    m_view = nullptr;
    m_length = 0;
}

NamedObjectResult NamedMapping::CreateOrOpen(const char* name, unsigned long size)
{
    Close();
    const SwitchPointAfter preemptible;
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    if (auto object = Find(names, name)) {
        if (object->isMutex)
            return NamedObjectResult::Opened;
        m_handle = AddHandle(names, std::move(object));
        return NamedObjectResult::Opened;
    }
    auto object = std::make_shared<SharedObject>();
    object->file = AnonymousFile();
    object->size = size;
    if (size == 0 || object->file < 0 || ftruncate(object->file, static_cast<off_t>(size)) != 0)
        return NamedObjectResult::Failed;
    names.names[name] = object;
    m_handle = AddHandle(names, std::move(object));
    return NamedObjectResult::Created;
}

bool NamedMapping::OpenForReading(const char* name)
{
    Close();
    const SwitchPointAfter preemptible;
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    auto object = Find(names, name);
    if (object == nullptr || object->isMutex)
        return false;
    m_handle = AddHandle(names, std::move(object));
    m_readOnly = true;
    return true;
}

void NamedMapping::Close()
{
    if (m_handle != nullptr)
        DropHandle(m_handle);
    m_handle = nullptr;
    m_readOnly = false;
}

MappedView NamedMapping::Map() const
{
    const SwitchPointAfter preemptible;
    MappedView view;
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    const auto handle = names.handles.find(reinterpret_cast<std::uintptr_t>(m_handle));
    if (handle == names.handles.end())
        return view;
    const auto& object = handle->second.object;
    const std::size_t length = PageRounded(object->size);
    void* place = names.arena.Place(length);
    if (place == nullptr)
        return view;
    void* address = mmap(place, object->size, m_readOnly ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED,
                         object->file, 0);
    if (address == MAP_FAILED) {
        names.arena.Remove(place, length);
        return view;
    }
    view.m_view = address;
    view.m_length = length;
    names.views.emplace(address, View{object, view.m_length, t_current});
    return view;
}

namespace simulation {

ProcessId StartProcess(bool reuseId)
{
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    return names.processes.Start(reuseId);
}

void SetCurrentProcess(ProcessId process)
{
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    t_current = process;
}

void EndProcess(ProcessId process)
{
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    names.processes.End(process);
    for (auto& [address, view] : names.views) {
        if (view.process == process && view.object != nullptr) {
            CutOff(address, view.length);
            view.object.reset();
        }
    }
    for (auto it = names.handles.begin(); it != names.handles.end();) {
        SharedObject& object = *it->second.object;
        if (object.isMutex && object.holderProcess == process && object.depth > 0) {
            object.depth = 0;
            names.mutexReleased.notify_all();
        }
        it = it->second.process == process ? names.handles.erase(it) : std::next(it);
    }
}

std::size_t NamedObjectCount()
{
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    std::size_t count = 0;
    for (const auto& [name, object] : names.names)
        count += object.expired() ? 0 : 1;
    return count;
}

bool InSharedView(const volatile void* address) { return ViewArena::Contains(address); }

std::size_t ViewCount()
{
    Namespace& names = Names();
    std::lock_guard<std::mutex> hold(names.lock);
    return names.views.size();
}

}  // namespace simulation
}  // namespace platform
