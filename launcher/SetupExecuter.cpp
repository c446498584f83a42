#include "SetupExecuter.h"

#include "COProcDispatcher.h"
#include "CommonObjectEventManager.h"
#include "ExecuterProtocol.h"
#include "LauncherGlobals.h"
#include "SetupLog.h"
#include "SetupMedium.h"
#include "Win32Owners.h"

#include <windows.h>

#include <memory>
#include <vector>

namespace {

// Both start requests take a relative path from the medium's folder, which is the drive's root
// on a CD and may be any folder elsewhere. A request is not followed when that folder cannot be
// entered: its relative path would be taken from wherever the last request left the process.
bool ChangeToMedium() { return SetupMedium::Enter(); }

// The directory part of a request, followed from the medium's folder. A path from the drive's
// root ("\\x.exe") leaves an empty part, which names that root. A failed change leaves the
// medium's folder current.
void ChangeToRequestDirectory(const RkString& directory)
{
    const char* target = directory.IsEmpty() ? "\\" : static_cast<const char*>(directory);
    if (!SetCurrentDirectoryA(target))
        SetupLog::Write("executer: no folder \"%s\" from %s, error %lu", target, SetupMedium::Folder(),
                        GetLastError());
}

RkString CurrentDirectory()
{
    char directory[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, directory);
    return length < MAX_PATH ? RkString(directory, static_cast<int>(length)) : RkString();
}

// The child inherits the bootstrapper's startup information and the current directory just set;
// nobody waits for it, so its handles are closed at once.
void StartProcess(const RkString& commandLine)
{
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    const char* text = commandLine;
    std::vector<char> writable(text, text + commandLine.GetLength() + 1);  // NUL included
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_SEPARATE_WOW_VDM, nullptr,
                       nullptr, &startup, &process)) {
        KernelHandle thread(process.hThread);
        KernelHandle child(process.hProcess);
        SetupLog::Write("executer: started \"%s\" in %s", text, static_cast<const char*>(CurrentDirectory()));
    } else {
        const DWORD error = GetLastError();
        SetupLog::Write("executer: \"%s\" in %s did not start, error %lu", text,
                        static_cast<const char*>(CurrentDirectory()), error);
    }
}

// The text is cut at its last backslash in place, so that receivers which see the event later
// get the directory part only.
void CreateProcessFromPayload(const COEvent& event)
{
    char* text = static_cast<char*>(event.data);
    const std::size_t length = BoundedTextLength(text, event.dataSize);
    SetupLog::Write("executer: create-process, %zu characters", length);
    if (length == 0)
        return;
    const ProcessRequest request = SplitProcessRequest(text, length);
    if (request.changesDirectory) {
        text[request.directory.GetLength()] = '\0';
        if (!ChangeToMedium())
            return;
        ChangeToRequestDirectory(request.directory);
    }
    if (!request.commandLine.IsEmpty())
        StartProcess(request.commandLine);
}

void WinExecFromPayload(const COEvent& event)
{
    WinExecRequest request;
    if (!ReadWinExecRequest(event.data, event.dataSize, &request) || request.commandText.IsEmpty()) {
        SetupLog::Write("executer: winexec without a command");
        return;
    }
    if (request.fromMedium && !ChangeToMedium())
        return;
    const UINT result = WinExec(request.commandText, request.showCommand);
    SetupLog::Write("executer: winexec \"%s\", show %u, in %s: result %u",
                    static_cast<const char*>(request.commandText), request.showCommand,
                    static_cast<const char*>(CurrentDirectory()), result);
}

// Goes to every member of the channel, the runtime's and this process's own queue alike.
void Reply()
{
    CommonObjectEventManager::staticSendEvent(0, CommonObjectEventManager::staticGetDispatcher(kExecuterChannel),
                                              COE_EXEC_REPLY, nullptr, 0, 0);
}

// The channel's dispatcher as the executer opens it. Nothing of this system joins the channel
// before the bootstrapper, which founds it before it starts the runtime; any of its kernel objects
// that exists already was made by another process of the session, which would then own what the
// elevated executer starts. So the executer founds the group or stays outside it.
class ExecuterChannel final : public COProcDispatcher {
public:
    ExecuterChannel() : COProcDispatcher(kExecuterChannel, Joining::FoundOnly) {}
    // Also false when no object was in the way but the group could not be made (no memory).
    using COProcDispatcher::IsEntered;
};

void LogNotServed(const ExecuterChannel& channel)
{
    const RkString& existing = channel.GetExistingObject();
    if (!existing.IsEmpty())
        SetupLog::Write("executer: channel \"%s\" not served: \"%s\" existed before this bootstrapper created it",
                        kExecuterChannel, static_cast<const char*>(existing));
    else
        SetupLog::Write("executer: channel \"%s\" not served: its group could not be founded", kExecuterChannel);
}

}  // namespace

SetupExecuter::SetupExecuter()
{
    auto channel = std::make_unique<ExecuterChannel>();
    m_servesChannel = channel->GetExistingObject().IsEmpty() && channel->IsEntered();
    if (!m_servesChannel) {
        // Deleted, not kept registered: a dispatcher outside its group can neither take nor send
        // anything, and whatever objects it made itself go with it instead of lying there
        // half-made for the other process's group.
        LogNotServed(*channel);
        return;
    }
    channel.release();
    Request(kExecuterChannel);
}

SetupExecuter::~SetupExecuter()
{
    if (m_servesChannel)
        Unrequest(kExecuterChannel);
}

bool SetupExecuter::HandleEvent(COEvent* event)
{
    switch (event->code) {
    case COE_EXEC_RELEASE:
        --g_keepAlive;
        SetupLog::Write("executer: release, keep-alive count %ld", g_keepAlive);
        return true;
    case COE_EXEC_RETAIN:
        ++g_keepAlive;
        SetupLog::Write("executer: retain, keep-alive count %ld", g_keepAlive);
        return true;
    case COE_EXEC_CREATE_PROCESS:
        CreateProcessFromPayload(*event);
        return true;
    case COE_EXEC_WINEXEC:
        WinExecFromPayload(*event);
        return true;
    case COE_EXEC_QUERY:
        Reply();
        SetupLog::Write("executer: query answered");
        return true;
    default:
        return CommonObjectBase::HandleEvent(event);
    }
}
