// What the end-to-end tests of Setup.exe share: their patience with Wine, talking to the splash,
// the diagnostic log's variable, a Windows 98 disguise for one executable and a member of the
// executer's group.
#pragma once

#include "COProcDispatcher.h"
#include "CommonObjectEventManager.h"
#include "ExecuterProtocol.h"
#include "SetupProcess.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

// The start of the runtime's command line, before the channel and Setup.exe's own command line.
const std::string kFixedStart = "Lumeplay.exe RiRarud SetupProgram=ZuViruz Server=None Wnd=Maximized";

constexpr DWORD kStartMs = 20000;  // Wine may take a while to start a process
constexpr DWORD kSettleMs = 1000;  // ten passes of the bootstrapper's loop

inline bool SendToSplash(HWND splash, UINT message, WPARAM wParam)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(splash, message, wParam, 0, SMTO_NORMAL, 5000, &result) != 0;
}

inline bool StaysFor(DWORD milliseconds, const std::function<bool()>& condition)
{
    return !WaitUntil([&] { return !condition(); }, milliseconds);
}

// Sets the diagnostic log variable for the processes this test starts, or clears it (null).
class LogVariable {
public:
    explicit LogVariable(const char* value) { SetEnvironmentVariableA(kName, value); }
    ~LogVariable() { SetEnvironmentVariableA(kName, nullptr); }
    LogVariable(const LogVariable&) = delete;
    LogVariable& operator=(const LogVariable&) = delete;

private:
    static constexpr const char* kName = "CORVANE_SETUP_LOG";
};

// Makes Wine report Windows 98 to one executable, by its file name, while it exists.
class Windows98Setting {
public:
    explicit Windows98Setting(const std::string& executable)
        : m_key("Software\\Wine\\AppDefaults\\" + executable)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        static const char kVersion[] = "win98";
        m_ready = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion),
                                 sizeof kVersion) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~Windows98Setting() { RegDeleteKeyA(HKEY_CURRENT_USER, m_key.c_str()); }
    Windows98Setting(const Windows98Setting&) = delete;
    Windows98Setting& operator=(const Windows98Setting&) = delete;

    bool Ready() const { return m_ready; }

private:
    std::string m_key;
    bool m_ready = false;
};

// A member of the executer's group in the test process. While it is there the bootstrapper keeps
// its holds after the runtime has ended: somebody is left who could release them.
class GroupMember {
public:
    // The manager destroys the dispatcher with it.
    GroupMember() { new COProcDispatcher(kExecuterChannel); }

    void Send(unsigned int code, std::string text = {})
    {
        CommonObjectEventManager::staticSendEvent(0, kExecuterChannel, code, text.empty() ? nullptr : &text[0],
                                                  text.empty() ? 0 : static_cast<int>(text.size() + 1), 0);
    }

private:
    CommonObjectEventManager m_manager{nullptr};
};

// A script starts with this line when a member of this process is to join the group once the
// bootstrapper has founded it (a member that joined first would own it) and before the runtime
// ends: the runtime waits for the member's word, which no executer takes for a request.
constexpr unsigned int kMemberJoined = 0xE0F0;
constexpr char kAwaitMember[] = "await 0xE0F0\n";

// Joins once the runtime waits; null when the runtime did not get that far.
inline std::unique_ptr<GroupMember> JoinWhileTheRuntimeWaits(const LauncherMedium& medium)
{
    if (!medium.WaitForTranscript("step 1: await", 1, kStartMs))
        return nullptr;
    auto member = std::make_unique<GroupMember>();
    member->Send(kMemberJoined);
    return member;
}
