#include "RuntimeStart.h"

#include "SetupLog.h"
#include "Win32Owners.h"

#include <windows.h>

#include <cstring>

namespace {

// Like WinExec, the start returns once the runtime is ready for input or 30 s have passed, so
// that the runtime comes up exactly as it always has.
constexpr DWORD kReadyForInputMilliseconds = 30000;

constexpr char kRuntimeName[] = "Lumeplay.exe";

// The full path of the runtime in the current folder; false if the folder cannot be read.
bool RuntimePath(char (&path)[MAX_PATH + sizeof kRuntimeName])
{
    DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH)
        return false;
    if (path[length - 1] != '\\')
        path[length++] = '\\';
    std::memcpy(path + length, kRuntimeName, sizeof kRuntimeName);
    return true;
}

}  // namespace

KernelHandle StartRuntime(char (&commandLine)[kLaunchCommandBuffer])
{
    // Failing the change, the current folder would be Setup.exe's own, where anything may lie.
    if (!SetCurrentDirectoryA("setup")) {
        SetupLog::Write("launch: no folder \"setup\", error %lu", GetLastError());
        return KernelHandle();
    }
    char path[MAX_PATH + sizeof kRuntimeName] = {};
    const bool found = RuntimePath(path);
    SetupLog::Write("launch: %s as \"%s\"", path, commandLine);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION started = {};
    if (!found || !CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &started)) {
        SetupLog::Write("launch: failed, error %lu", GetLastError());
        return KernelHandle();
    }
    KernelHandle process(started.hProcess);
    KernelHandle thread(started.hThread);
    SetupLog::Write("launch: started, process %lu", started.dwProcessId);
    WaitForInputIdle(process.Get(), kReadyForInputMilliseconds);
    return process;
}
