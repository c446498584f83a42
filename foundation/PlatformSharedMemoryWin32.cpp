#include "PlatformSharedMemory.h"

#include <windows.h>

#include <utility>

namespace {

constexpr DWORD kMutexAllAccess = 0x1F0001;

// The name is taken: by an object of that type, one that may not be opened, or one of another
// type.
bool NameTaken(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE;
}

// The bytes reachable from a view up to the end of its mapping.
std::size_t ViewLength(const void* view)
{
    std::size_t length = 0;
    const char* cursor = static_cast<const char*>(view);
    MEMORY_BASIC_INFORMATION info;
    while (VirtualQuery(cursor, &info, sizeof info) == sizeof info && info.AllocationBase == view &&
           info.State == MEM_COMMIT) {
        length += info.RegionSize;
        cursor += info.RegionSize;
    }
    return length;
}

}  // namespace

namespace platform {

ProcessId CurrentProcessId() { return GetCurrentProcessId(); }

bool IsProcessRunning(ProcessId process)
{
    HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
    if (handle == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to open
    const bool running = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    CloseHandle(handle);
    return running;
}

long AtomicCompareExchange(long volatile* value, long exchange, long comparand)
{
    return InterlockedCompareExchange(value, exchange, comparand);
}

NamedObjectResult NamedMutex::OpenOrCreate(const char* name, bool mayOpen)
{
    Close();
    if (mayOpen && (m_handle = OpenMutexA(kMutexAllAccess, FALSE, name)) != nullptr)
        return NamedObjectResult::Opened;
    m_handle = CreateMutexA(nullptr, FALSE, name);
    const DWORD error = GetLastError();
    if (NameTaken(error)) {
        if (!mayOpen)
            Close();
        return NamedObjectResult::Opened;
    }
    return m_handle != nullptr ? NamedObjectResult::Created : NamedObjectResult::Failed;
}

void NamedMutex::Close()
{
    if (m_handle != nullptr)
        CloseHandle(m_handle);
    m_handle = nullptr;
}

void NamedMutex::Lock() { WaitForSingleObject(m_handle, INFINITE); }
void NamedMutex::Unlock() { ReleaseMutex(m_handle); }

void MappedView::Unmap()
{
    if (m_view != nullptr)
        UnmapViewOfFile(m_view);
    m_view = nullptr;
    m_length = 0;
}

NamedObjectResult NamedMapping::CreateOrOpen(const char* name, unsigned long size)
{
    Close();
    m_handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
    const DWORD error = GetLastError();
    if (m_handle == nullptr)
        return NameTaken(error) ? NamedObjectResult::Opened : NamedObjectResult::Failed;
    return error == ERROR_ALREADY_EXISTS ? NamedObjectResult::Opened : NamedObjectResult::Created;
}

bool NamedMapping::OpenForReading(const char* name)
{
    Close();
    m_handle = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    m_readOnly = true;
    return m_handle != nullptr;
}

void NamedMapping::Close()
{
    if (m_handle != nullptr)
        CloseHandle(m_handle);
    m_handle = nullptr;
    m_readOnly = false;
}

MappedView NamedMapping::Map() const
{
    MappedView view;
    if (m_handle != nullptr && (view.m_view = MapViewOfFile(m_handle, m_readOnly ? FILE_MAP_READ : FILE_MAP_WRITE, 0, 0, 0)) != nullptr)
        view.m_length = ViewLength(view.m_view);
    return view;
}

}  // namespace platform
