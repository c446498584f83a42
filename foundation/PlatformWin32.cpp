#include "Platform.h"

#include "SystemLibrary.h"

namespace {

typedef DWORD(WINAPI* TimeGetTimeProc)();

TimeGetTimeProc ResolveTimeGetTime()
{
    HMODULE winmm = LoadSystemLibrary("winmm.dll");
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
