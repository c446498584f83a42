#include "ScriptedRuntime.h"

#include "COProcDispatcher.h"
#include "CommonObjectEventManager.h"
#include "ExecuterProtocol.h"
#include "SplashSearch.h"
#include "Win32Owners.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>

namespace {

constexpr unsigned long kTurnMs = 10;
constexpr unsigned long kReplyTimeoutMs = 10000;
constexpr std::size_t kLoggedDataBytes = 200;

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

// The data as readable text: printable bytes as they are, the rest as %HH, cut after a while.
std::string Printable(const COEvent& event)
{
    if (event.dataSize <= 0 || event.data == nullptr)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(event.data);
    const std::size_t size = static_cast<std::size_t>(event.dataSize);
    std::string text = " \"";
    for (std::size_t i = 0; i < size && i < kLoggedDataBytes; ++i) {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", bytes[i]);
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '%' ? std::string(1, static_cast<char>(bytes[i]))
                                                                       : std::string(escaped);
    }
    return text + (size > kLoggedDataBytes ? "\"..." : "\"");
}

// Waits the way a window program does: a process that starts this one with WinExec waits until
// it is idle in such a wait (or for 30 s), and the bootstrapper does that inside its own loop.
void WaitForInput(unsigned long milliseconds)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
}

DWORD ParentProcessId()
{
    KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot.IsOpen() || !Process32First(snapshot.Get(), &entry))
        return 0;
    do {
        if (entry.th32ProcessID == GetCurrentProcessId())
            return entry.th32ParentProcessID;
    } while (Process32Next(snapshot.Get(), &entry));
    return 0;
}

// True when the process that started this one had a splash up to be told.
bool PostTimerTickToParentSplash()
{
    const DWORD parent = ParentProcessId();
    HWND splash = parent != 0 ? FindSplashOfProcess(parent) : nullptr;
    return splash && IsWindowVisible(splash) && PostMessageA(splash, WM_TIMER, 1, 0);
}

void Turn()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    CommonObjectEventManager::staticDispatchEvents(0);
}

}  // namespace

ScriptedRuntime::ScriptedRuntime(const std::string& channel, const RuntimeLog& log) : m_channel(channel), m_log(log)
{
    if (CommonObjectEventManager::staticGetDispatcher(m_channel.c_str()) == 0)
        new COProcDispatcher(m_channel.c_str());
    Request(m_channel.c_str());
    m_log.Append("joined " + m_channel);
}

ScriptedRuntime::~ScriptedRuntime() { Unrequest(m_channel.c_str()); }

int ScriptedRuntime::Play(const RuntimeScript& script)
{
    // A bootstrapper that started this runtime with WinExec waits until it is idle, and takes no
    // events meanwhile: the first turn comes before the first request.
    TakeEventsFor(0);
    for (const RuntimeScript::Step& step : script.Steps()) {
        m_log.Append("step " + std::to_string(step.line) + ": " + step.text);
        switch (step.command) {
        case RuntimeScript::Command::CreateProcess:
            Send(COE_EXEC_CREATE_PROCESS, step.data.c_str(), step.data.size() + 1);
            break;
        case RuntimeScript::Command::WinExec: {
            const std::vector<char> payload = MakeExecCommand(step.number, step.data.c_str());
            Send(COE_EXEC_WINEXEC, payload.data(), payload.size());
            break;
        }
        case RuntimeScript::Command::Query:
            Query();
            break;
        case RuntimeScript::Command::Await:
            Await(step.number);
            break;
        case RuntimeScript::Command::Retain:
            Send(COE_EXEC_RETAIN, nullptr, 0);
            break;
        case RuntimeScript::Command::Release:
            Send(COE_EXEC_RELEASE, nullptr, 0);
            break;
        case RuntimeScript::Command::Sleep:
            TakeEventsFor(step.number);
            break;
        case RuntimeScript::Command::Send:
            Send(step.number, step.data.data(), step.data.size());
            break;
        case RuntimeScript::Command::CloseSplash:
            m_log.Append(PostTimerTickToParentSplash() ? "timer tick posted to the splash"
                                                       : "no splash of the starting process to close");
            break;
        case RuntimeScript::Command::Exit:
            m_log.Append("exit " + std::to_string(step.number));
            return static_cast<int>(step.number);
        }
        Turn();
    }
    m_log.Append("script done");
    return 0;
}

bool ScriptedRuntime::HandleEvent(COEvent* event)
{
    // The executer answers with sender 0; anything else with the reply's code came from a peer.
    if (event->code == COE_EXEC_REPLY && event->senderID == 0)
        ++m_replies;
    m_codesSeen.insert(event->code);
    m_log.Append("event " + Hex(event->code) + " from " + Hex(static_cast<unsigned long>(event->senderID)) +
                 " size " + std::to_string(event->dataSize) + Printable(*event));
    return true;
}

// The channel copies the data into shared memory; the dispatcher gets it through a send of
// its own name, as any local sender would.
void ScriptedRuntime::Send(unsigned int code, const void* data, std::size_t size)
{
    CommonObjectEventManager::staticSendEvent(GetID(), m_channel.c_str(), code, const_cast<void*>(data),
                                              static_cast<int>(size), 0);
}

void ScriptedRuntime::Query()
{
    const unsigned long before = m_replies;
    const DWORD sent = GetTickCount();
    Send(COE_EXEC_QUERY, nullptr, 0);
    if (TakeEventsUntil([&] { return m_replies > before; }, kReplyTimeoutMs))
        m_log.Append("reply after " + std::to_string(GetTickCount() - sent) + " ms");
    else
        m_log.Append("no reply within " + std::to_string(kReplyTimeoutMs) + " ms");
}

void ScriptedRuntime::Await(unsigned long code)
{
    if (!TakeEventsUntil([&] { return m_codesSeen.count(code) != 0; }, kReplyTimeoutMs))
        m_log.Append("no event " + Hex(code) + " within " + std::to_string(kReplyTimeoutMs) + " ms");
}

void ScriptedRuntime::TakeEventsFor(unsigned long milliseconds)
{
    const DWORD started = GetTickCount();
    do {
        Turn();
        WaitForInput(kTurnMs);
    } while (GetTickCount() - started < milliseconds);
}

bool ScriptedRuntime::TakeEventsUntil(const std::function<bool()>& done, unsigned long timeoutMs)
{
    const DWORD started = GetTickCount();
    for (;;) {
        Turn();
        if (done())
            return true;
        if (GetTickCount() - started >= timeoutMs)
            return false;
        WaitForInput(kTurnMs);
    }
}
