// Entry of Setup.exe: refuses to run beside a setup already in progress, shows the splash,
// whose first paint starts the runtime, and keeps the process alive while the splash is up
// or the runtime holds it.
#include "Clock.h"
#include "CommonObjectEventManager.h"
#include "DllSearchHardening.h"
#include "LaunchCommand.h"
#include "LauncherGlobals.h"
#include "RuntimeWatch.h"
#include "SetupExecuter.h"
#include "SetupLog.h"
#include "SetupMedium.h"
#include "SetupVersion.h"
#include "Splash.h"
#include "Win32Owners.h"

#include <windows.h>

int g_splashVisible = 1;
int g_launchPending = 1;
bool g_isNT = false;
bool g_channelServed = false;
long g_keepAlive = 0;
char g_commandLine[kCommandLineBuffer] = {};

namespace {

// How long each pass of the main loop sleeps: messages and events wait up to this long, and
// the idle process uses next to no processor time.
constexpr unsigned long kPassMilliseconds = 100;

// The main window of a setup in progress, brought forward instead of starting a second one.
bool ActivateRunningSetup()
{
    HWND running = FindWindowA("AfxFrameOrView42", "Corvane Setup");
    if (!running)
        return false;
    if (IsIconic(running))
        ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
    return true;
}

// Held by the bootstrapper of this session for as long as it runs; the system closes the handle
// when the process ends, killed or not. A name of its own: kernel objects of every type share
// one namespace, and the bare "Corvane Setup" is the runtime's window title, which the runtime
// may well use for objects of its own. "Local\\" keeps it to the session, as the window check
// is: another user's setup on the same machine is no concern of this one.
constexpr char kBootstrapperMutex[] = "Local\\Corvane Setup bootstrapper";

// False when another bootstrapper of this session already holds the mutex. A system that cannot
// create the mutex at all lets the start go ahead as it always did.
bool ClaimSession(KernelHandle* claim)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kBootstrapperMutex);
    const DWORD error = GetLastError();
    *claim = KernelHandle(mutex);
    // A mutex that exists but may not be opened here was created by another bootstrapper all the
    // same, one running with other rights.
    const bool taken = error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
    if (taken)
        SetupLog::Write("guard: another bootstrapper is starting");
    else if (claim->IsOpen())
        SetupLog::Write("guard: this is the only bootstrapper");
    else
        SetupLog::Write("guard: no mutex, error %lu: starting all the same", error);
    return !taken;
}

// A failing version query counts as a platform outside the NT family.
bool IsNtFamily()
{
    OSVERSIONINFOA version = {};
    static_assert(sizeof version == 148, "the version query takes the 148-byte record");
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void RecordPlatform() { g_isNT = IsNtFamily(); }

// Only a runtime told the channel can ever release a hold, so only such a runtime starts out
// holding the bootstrapper; otherwise the splash alone keeps it, as on 9x.
void RecordChannel(const SetupExecuter& executer)
{
    g_channelServed = executer.ServesChannel();
    g_keepAlive = RuntimeHasExecuter() ? 1 : 0;
}

void LogStart(const char* commandLine)
{
    SetupLog::Write("start: Corvane Setup %s, %u-bit, Windows %s family, command line \"%s\"",
                    CORVANE_VERSION_TEXT, static_cast<unsigned>(sizeof(void*) * 8),
                    IsNtFamily() ? "NT" : "9x", commandLine ? commandLine : "");
}

// Takes every waiting message, WM_QUIT included: only the splash and the keep-alive count
// decide when the bootstrapper ends.
void DrainMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        GetMessageA(&message, nullptr, 0, 0);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool StillNeeded() { return g_splashVisible != 0 || g_keepAlive > 0; }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    // Before anything can load a library by base name.
    HardenDllSearch();
    LogStart(commandLine);
    const bool running = ActivateRunningSetup();
    SetupLog::Write("running setup: %s", running ? "found, brought to the front" : "none");
    if (running) {
        SetupLog::Write("end: a setup is already running");
        return 0;
    }
    // Two starts in quick succession both find no window: the runtime's comes seconds later.
    // The second one gives way to the first, and brings the window forward if it exists by now.
    KernelHandle sessionClaim;
    if (!ClaimSession(&sessionClaim)) {
        SetupLog::Write("running setup: %s", ActivateRunningSetup() ? "found, brought to the front" : "none yet");
        SetupLog::Write("end: another bootstrapper is running");
        return 0;
    }
    RecordPlatform();
    SetupMedium::Locate();
    CopyCommandLine(g_commandLine, commandLine);
    CreateSplash();
    if (g_splashWindow)
        SetupLog::Write("splash: created");
    else
        SetupLog::Write("splash: not created, error %lu", GetLastError());

    // EXECUTER START: the event system and then the executer, which founds the channel
    // "DispCvGSetup", come up here: after the splash exists and before its first paint
    // launches the runtime, so that the channel is there when the runtime looks for it. A
    // channel found made by another process is not served, and the runtime is not told it.
    // Locals, so that EXECUTER STOP below is their destruction in reverse order.
    CommonObjectEventManager eventManager(nullptr);
    SetupExecuter executer;
    RecordChannel(executer);

    // The splash's first paint launches the runtime; a splash that could not be created never
    // paints, so the launch happens here, still after the channel exists.
    if (!g_splashWindow)
        LaunchPendingRuntime();

    while (StillNeeded()) {
        DrainMessages();
        utilSleep(kPassMilliseconds);
        // EVENT TURN: posted events, the idle tick and the executer's requests from the
        // runtime are dispatched here, last in every pass; the runtime watch decides around it.
        RuntimeWatch::EventTurn();
    }

    // EXECUTER STOP: the executer leaves the channel, then the event system is shut down.
    SetupLog::Write("end: splash closed, keep-alive count %ld", g_keepAlive);
    return 0;
}
