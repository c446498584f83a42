// A run of the bootstrapper on a test medium, ended by force if the test leaves it running.
#pragma once

#include "LauncherMedium.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class SetupProcess {
public:
    // Starts the medium's Setup.exe by its full path from the medium's root, as the shell does,
    // or from `currentFolder`, as a command prompt there does, with `arguments` after its name.
    // A start that fails says so on the standard error, with the error: the retry of failed cases
    // looks for that.
    SetupProcess(const LauncherMedium& medium, const std::string& arguments, const std::string& currentFolder = "");
    ~SetupProcess();
    SetupProcess(const SetupProcess&) = delete;
    SetupProcess& operator=(const SetupProcess&) = delete;

    bool Started() const { return m_process.hProcess != nullptr; }
    DWORD ThreadId() const { return m_process.dwThreadId; }

    // The splash dialog once it is visible, or null when the time is up (and then says on the
    // standard error how the process stands).
    HWND WaitForSplash(DWORD timeoutMs) const;

    // Waits for the process to end, answering messages sent to this thread's windows
    // meanwhile. True if it ended in time.
    bool WaitForExit(DWORD timeoutMs) const;
    bool IsRunning() const;
    DWORD ExitCode() const;

    // The full paths of the modules loaded in the process now.
    std::vector<std::string> ModulePaths() const;

    DWORD ProcessId() const { return m_process.dwProcessId; }

    // Processor time the process has used so far, in 100 ns units.
    unsigned long long ProcessorTime() const;

private:
    PROCESS_INFORMATION m_process{};
};

// Polls `condition` every 20 ms, pumping this thread's messages, until it holds or the time
// is up. Returns its last value.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
