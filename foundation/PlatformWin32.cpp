#include "Platform.h"

#include <cstring>

namespace {

typedef DWORD(WINAPI* TimeGetTimeProc)();

// LOAD_LIBRARY_SEARCH_SYSTEM32, known to LoadLibraryExA wherever AddDllDirectory exists.
constexpr DWORD kSearchSystem32 = 0x00000800;

// Loads winmm.dll from the system folder only: Setup.exe runs from media and download
// folders, where a planted winmm.dll beside it must never be picked up.
HMODULE LoadSystemWinmm()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel && GetProcAddress(kernel, "AddDllDirectory"))
        return LoadLibraryExA("winmm.dll", nullptr, kSearchSystem32);

    char path[MAX_PATH];
    const char name[] = "\\winmm.dll";
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof(name) > MAX_PATH)
        return nullptr;
    std::memcpy(path + length, name, sizeof(name));
    return LoadLibraryA(path);
}

TimeGetTimeProc ResolveTimeGetTime()
{
    HMODULE winmm = LoadSystemWinmm();
    if (!winmm)
        return nullptr;
    return reinterpret_cast<TimeGetTimeProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(winmm, "timeGetTime")));
}

}  // namespace

namespace platform {

long AtomicIncrement(long volatile* value) { return InterlockedIncrement(value); }
long AtomicDecrement(long volatile* value) { return InterlockedDecrement(value); }

unsigned long CurrentThreadId() { return GetCurrentThreadId(); }

unsigned long MillisecondClock()
{
    // Resolved once, at first use; the library stays loaded for the life of the process.
    static const TimeGetTimeProc timeGetTime = ResolveTimeGetTime();
    return timeGetTime ? timeGetTime() : GetTickCount();
}

void SleepMilliseconds(unsigned long milliseconds) { Sleep(milliseconds); }

void BreakIntoDebugger()
{
    if (IsDebuggerPresent())
        DebugBreak();
}

RecursiveLock::RecursiveLock() { InitializeCriticalSection(&m_section); }
RecursiveLock::~RecursiveLock() { DeleteCriticalSection(&m_section); }
void RecursiveLock::Lock() { EnterCriticalSection(&m_section); }
void RecursiveLock::Unlock() { LeaveCriticalSection(&m_section); }

}  // namespace platform
