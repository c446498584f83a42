#include "SetupProcess.h"

#include "SplashSearch.h"
#include "Win32Owners.h"

#include <tlhelp32.h>

#include <cstdio>
#include <vector>

namespace {

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD started = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - started >= timeoutMs)
            return condition();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
    }
    return true;
}

SetupProcess::SetupProcess(const LauncherMedium& medium, const std::string& arguments, const std::string& currentFolder)
{
    std::string commandLine = "\"" + medium.SetupPath() + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(medium.SetupPath().c_str(), writable.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, currentFolder.empty() ? medium.Root().c_str() : currentFolder.c_str(), &startup,
                        &m_process)) {
        std::fprintf(stderr, "Setup.exe did not start, error %lu\n", GetLastError());
        m_process = PROCESS_INFORMATION{};
    }
}

SetupProcess::~SetupProcess()
{
    if (!Started())
        return;
    if (IsRunning()) {
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 5000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

HWND SetupProcess::WaitForSplash(DWORD timeoutMs) const
{
    HWND splash = nullptr;
    WaitUntil([&] {
        splash = FindSplashOfProcess(m_process.dwProcessId);
        return splash && IsWindowVisible(splash);
    }, timeoutMs);
    if (splash && IsWindowVisible(splash))
        return splash;
    // A crash, an early end or a window never shown: the exit code tells them apart.
    std::fprintf(stderr, "no visible splash in %lu ms, Setup.exe %s\n", timeoutMs,
                 IsRunning() ? "still running" : ("exit code " + std::to_string(ExitCode())).c_str());
    return nullptr;
}

bool SetupProcess::WaitForExit(DWORD timeoutMs) const
{
    return Started() && WaitUntil([&] { return !IsRunning(); }, timeoutMs);
}

bool SetupProcess::IsRunning() const
{
    return Started() && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD SetupProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (Started())
        GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

unsigned long long SetupProcess::ProcessorTime() const
{
    FILETIME created, ended, kernel, user;
    if (!Started() || !GetProcessTimes(m_process.hProcess, &created, &ended, &kernel, &user))
        return 0;
    auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return ticks(kernel) + ticks(user);
}

std::vector<std::string> SetupProcess::ModulePaths() const
{
    std::vector<std::string> paths;
    KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, m_process.dwProcessId));
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL more = snapshot.IsOpen() && Module32First(snapshot.Get(), &module); more;
         more = Module32Next(snapshot.Get(), &module))
        paths.push_back(module.szExePath);
    return paths;
}
