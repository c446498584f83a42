// Named kernel objects shared between processes: mutexes, paging-file mappings and their views,
// and what a waiter needs to know of another process. Win32 on Windows. Elsewhere an in-process
// stand-in with the same lifetimes (an object lives while a handle or view of it is open, and a
// fresh one reads as zeros) on real shared memory: two views of one mapping lie at different
// addresses and share their bytes, an unmapped view is gone, so a use after unmapping faults, and
// the page after every view has no access, so an overrun faults as it does past a Windows view.
// There "processes" are simulated, so that tests can run several group members in one program and
// let one of them end without leaving (simulation/Simulation.h).
// Exported, since the exported shared-memory heap hands its blocks out in these classes.
#pragma once

#include "AfxExport.h"

#include <cstddef>
#include <utility>

namespace platform {

using ProcessId = unsigned long;

CORVANE_API ProcessId CurrentProcessId();
// False once the process has ended (or when no process has that id).
CORVANE_API bool IsProcessRunning(ProcessId process);

// Writes `exchange` if the value is `comparand`; returns the value found, like
// InterlockedCompareExchange.
CORVANE_API long AtomicCompareExchange(long volatile* value, long exchange, long comparand);

// How a named object was come by. Opened means the name was taken already, also when the object
// could not be opened here (another process's object of another type, or one without access):
// the handle then stays closed.
enum class NamedObjectResult { Failed, Created, Opened };

// A named mutex shared between processes, re-entrant for the thread that holds it. A mutex
// whose holder ended is taken over by the next waiter.
class CORVANE_API NamedMutex {
public:
    NamedMutex() = default;
    ~NamedMutex() { Close(); }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Opens the mutex of that name when `mayOpen` and it exists, else creates it. With
    // `mayOpen` false a mutex that exists already is not opened (Opened is then returned
    // and the object stays closed): it was made by somebody else. One that exists but may not
    // be opened counts as existing.
    NamedObjectResult OpenOrCreate(const char* name, bool mayOpen);
    bool IsOpen() const { return m_handle != nullptr; }
    void Close();

    // Waits without limit; the result is not examined.
    void Lock();
    void Unlock();

private:
    void* m_handle = nullptr;
};

// A view of a named mapping, unmapped when the owner goes.
class CORVANE_API MappedView {
public:
    MappedView() = default;
    ~MappedView() { Unmap(); }
    MappedView(MappedView&& other) noexcept { *this = std::move(other); }
    MappedView& operator=(MappedView&& other) noexcept
    {
        if (this != &other) {
            Unmap();
            m_view = std::exchange(other.m_view, nullptr);
            m_length = std::exchange(other.m_length, 0);
        }
        return *this;
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    void* Get() const { return m_view; }
    // Bytes reachable from the view up to the end of the mapping (whole pages; 0 without one).
    std::size_t Length() const { return m_length; }
    void Unmap();

private:
    friend class NamedMapping;
    void* m_view = nullptr;
    std::size_t m_length = 0;
};

// A named mapping backed by the paging file.
class CORVANE_API NamedMapping {
public:
    NamedMapping() = default;
    ~NamedMapping() { Close(); }
    NamedMapping(NamedMapping&& other) noexcept { *this = std::move(other); }
    NamedMapping& operator=(NamedMapping&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, nullptr);
            m_readOnly = other.m_readOnly;
        }
        return *this;
    }
    NamedMapping(const NamedMapping&) = delete;
    NamedMapping& operator=(const NamedMapping&) = delete;

    // Creates the mapping with `size` bytes of zeros, or opens it when it exists (it then keeps
    // its own size).
    NamedObjectResult CreateOrOpen(const char* name, unsigned long size);
    // Opens a mapping that exists, for reading only; never creates one.
    bool OpenForReading(const char* name);
    bool IsOpen() const { return m_handle != nullptr; }
    void Close();
    // The whole mapping (writable unless opened for reading); a view that is not open when that
    // fails.
    MappedView Map() const;

private:
    void* m_handle = nullptr;
    bool m_readOnly = false;
};

}  // namespace platform
