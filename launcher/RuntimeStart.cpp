#include "RuntimeStart.h"

#include "SetupLog.h"
#include "SetupMedium.h"
#include "Win32Owners.h"

#include <windows.h>

namespace {

// Like WinExec, the start returns once the runtime is ready for input or 30 s have passed, so
// that the runtime comes up exactly as it always has.
constexpr DWORD kReadyForInputMilliseconds = 30000;

constexpr char kSetupFolder[] = "setup";
constexpr char kRuntimePath[] = "setup\\Lumeplay.exe";

}  // namespace

KernelHandle StartRuntime(char (&commandLine)[kLaunchCommandBuffer])
{
    // The medium's own setup folder, never one under the current folder, which a command
    // prompt may have left anywhere. Without it nothing is started, and the current folder is
    // the medium's, where the executer's later requests would look in any case.
    char path[kPathBuffer];
    if (!SetupMedium::Enter() || !SetupMedium::Enter(kSetupFolder) ||
        !JoinPath(SetupMedium::Folder(), kRuntimePath, path)) {
        SetupLog::Write("launch: no runtime started");
        return KernelHandle();
    }
    SetupLog::Write("launch: %s as \"%s\"", path, commandLine);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        SetupLog::Write("launch: failed, error %lu", GetLastError());
        return KernelHandle();
    }
    KernelHandle process(started.hProcess);
    KernelHandle thread(started.hThread);
    SetupLog::Write("launch: started, process %lu", started.dwProcessId);
    WaitForInputIdle(process.Get(), kReadyForInputMilliseconds);
    return process;
}
