// Setup.exe and the stand-in runtime as real processes on a temporary medium: the splash
// window as the screen shows it, the launch as the runtime logged it, and how the bootstrapper
// ends.
#include "Dib.h"
#include "DibBuilder.h"
#include "EndToEndSupport.h"
#include "LauncherMedium.h"
#include "SetupProcess.h"
#include "Win32Owners.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kExecuterArgument = " Executer=DispCvGSetup";

// The main window of a setup in progress, minimised, owned by this thread.
class RunningSetupWindow {
public:
    RunningSetupWindow()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClass;
        m_registered = RegisterClassA(&windowClass) != 0;
        m_window = CreateWindowA(kClass, "Corvane Setup", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (m_window)
            ShowWindow(m_window, SW_MINIMIZE);
    }
    ~RunningSetupWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
        if (m_registered)
            UnregisterClassA(kClass, GetModuleHandleA(nullptr));
    }
    RunningSetupWindow(const RunningSetupWindow&) = delete;
    RunningSetupWindow& operator=(const RunningSetupWindow&) = delete;

    HWND Window() const { return m_window; }

private:
    static constexpr const char* kClass = "AfxFrameOrView42";
    bool m_registered = false;
    HWND m_window = nullptr;
};

// The splash picture as the built Setup.exe holds it.
std::vector<BYTE> SplashResource(const std::string& setupPath)
{
    HMODULE module = LoadLibraryExA(setupPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return {};
    std::vector<BYTE> bytes;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(102), RT_BITMAP);
    HGLOBAL resource = info ? LoadResource(module, info) : nullptr;
    const BYTE* data = resource ? static_cast<const BYTE*>(LockResource(resource)) : nullptr;
    if (data)
        bytes.assign(data, data + SizeofResource(module, info));
    FreeLibrary(module);
    return bytes;
}

bool Near(BYTE a, BYTE b) { return std::abs(static_cast<int>(a) - static_cast<int>(b)) <= 8; }

class LauncherEndToEnd : public ::testing::Test {
protected:
    void ExpectLaunchedOnce(const LauncherMedium& medium, const std::string& commandLine)
    {
        const std::vector<LaunchRecord> records = medium.WaitForLaunchRecords(1, kStartMs);
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(0, lstrcmpiA(medium.SetupFolder().c_str(), records[0].directory.c_str()))
            << records[0].directory;
        EXPECT_EQ(commandLine, records[0].commandLine);
    }

    // Runs the medium's Setup98.exe as on Windows 98: the launch leaves the channel out, and
    // closing the splash ends the process with 0.
    void RunOnWindows98UntilClosed(const LauncherMedium& medium, const std::string& arguments, DWORD* processId)
    {
        Windows98Setting windows98("Setup98.exe");
        ASSERT_TRUE(windows98.Ready());
        SetupProcess setup(medium, arguments);
        *processId = setup.ProcessId();
        HWND splash = setup.WaitForSplash(kStartMs);
        ASSERT_NE(nullptr, splash);
        ExpectLaunchedOnce(medium, kFixedStart + " " + arguments);

        ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, IDCANCEL));
        ASSERT_TRUE(setup.WaitForExit(kStartMs));
        EXPECT_EQ(0u, setup.ExitCode());
    }
};

// What Setup.exe logged and whether its splash is up, for a case that failed without saying why.
std::string SplashReport(const std::string& logPath, HWND splash)
{
    std::ifstream log(logPath, std::ios::binary);
    return std::string(IsWindowVisible(splash) ? "splash up" : "no splash") + ", Setup.exe's log:\n" +
           std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
}

TEST_F(LauncherEndToEnd, SplashIsCentredTopmostAndShowsThePicture)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    const std::string logPath = medium.Root() + "\\setup.log";
    LogVariable logVariable(logPath.c_str());
    SetupProcess setup(medium, "");
    ASSERT_TRUE(setup.Started());
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash) << SplashReport(logPath, splash);
    ASSERT_EQ(1u, medium.WaitForLaunchRecords(1, kStartMs).size());  // painted by now

    RECT frame{};
    GetWindowRect(splash, &frame);
    EXPECT_EQ(160, frame.left);
    EXPECT_EQ(125, frame.top);
    EXPECT_EQ(480, frame.right - frame.left);
    EXPECT_EQ(350, frame.bottom - frame.top);
    EXPECT_TRUE(GetWindowLongA(splash, GWL_EXSTYLE) & WS_EX_TOPMOST);

    // The picture is stored run-length encoded: the screen shows the rows expanded.
    const std::vector<BYTE> picture = PrepareDib(SplashResource(medium.SetupPath()));
    ASSERT_FALSE(picture.empty());
    const BITMAPINFOHEADER* dib = &HeaderOf(picture);
    ASSERT_EQ(static_cast<DWORD>(BI_RGB), dib->biCompression);
    const RGBQUAD* colours = DibColourTable(dib);
    const std::vector<BYTE> pixels = PixelsOf(picture);
    ASSERT_EQ(480u * 350u, pixels.size());
    const DWORD stride = DibStride(static_cast<DWORD>(dib->biWidth), dib->biBitCount);

    POINT origin{0, 0};
    ClientToScreen(splash, &origin);
    int samples = 0, matching = 0;
    auto screenShowsPicture = [&] {
        samples = matching = 0;
        HDC screen = GetDC(nullptr);
        for (int y = 10; y < dib->biHeight - 10; y += 23) {
            for (int x = 10; x < dib->biWidth - 10; x += 31) {
                const RGBQUAD expected = colours[pixels[(dib->biHeight - 1 - y) * stride + x]];
                const COLORREF seen = GetPixel(screen, origin.x + x, origin.y + y);
                ++samples;
                matching += Near(GetRValue(seen), expected.rgbRed) &&
                            Near(GetGValue(seen), expected.rgbGreen) && Near(GetBValue(seen), expected.rgbBlue);
            }
        }
        ReleaseDC(nullptr, screen);
        return matching * 100 >= samples * 95;
    };
    // Drawing may reach the screen a little after the paint that launched the runtime.
    EXPECT_TRUE(WaitUntil(screenShowsPicture, kStartMs)) << matching << " of " << samples << " pixels match";
    if (HasFailure())
        ADD_FAILURE() << SplashReport(logPath, splash);
}

TEST_F(LauncherEndToEnd, FirstPaintLaunchesTheRuntimeOnceFromTheSetupFolder)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "/q");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    ExpectLaunchedOnce(medium, kFixedStart + kExecuterArgument + " /q");

    // Repaints redraw the picture and launch nothing more.
    RedrawWindow(splash, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    Sleep(kSettleMs);
    EXPECT_EQ(1u, medium.LaunchRecords().size());
    EXPECT_TRUE(IsWindowVisible(splash));
}

TEST_F(LauncherEndToEnd, LongCommandLineArrivesCutTo799Characters)
{
    std::string longLine;
    while (longLine.size() < 1000)
        longLine += "/option" + std::to_string(longLine.size()) + "=x";
    longLine.resize(1000);
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, longLine);
    ASSERT_NE(nullptr, setup.WaitForSplash(kStartMs));
    ExpectLaunchedOnce(medium, kFixedStart + kExecuterArgument + " " + longLine.substr(0, 799));
}

TEST_F(LauncherEndToEnd, Windows98LaunchOmitsTheChannelAndClosingEndsTheProcess)
{
    LauncherMedium medium("Setup98.exe");
    ASSERT_TRUE(medium.Ready());
    // Told no channel, the runtime cannot hold the bootstrapper, whatever it would ask.
    ASSERT_TRUE(medium.WriteScript("retain\nquery\n"));
    DWORD processId = 0;
    RunOnWindows98UntilClosed(medium, "", &processId);
    EXPECT_TRUE(medium.WaitForTranscript("no executer channel", 1, kStartMs));
    EXPECT_EQ(1u, medium.Transcript().size());
}

TEST_F(LauncherEndToEnd, OnlyTheWholeCancelValueClosesAndNtStaysHeld)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    ASSERT_TRUE(medium.WriteScript(kAwaitMember));
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    const std::unique_ptr<GroupMember> member = JoinWhileTheRuntimeWaits(medium);
    ASSERT_NE(nullptr, member);
    ASSERT_EQ(1u, medium.WaitForLaunchRecords(1, kStartMs).size());

    ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, MAKEWPARAM(IDCANCEL, 1)));
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return IsWindowVisible(splash) != FALSE; }));

    ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, IDCANCEL));
    EXPECT_FALSE(IsWindowVisible(splash));
    // On NT the bootstrapper stays held while a member of its group could still let go.
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return setup.IsRunning(); }));
}

TEST_F(LauncherEndToEnd, LosingTheFocusClosesTheSplash)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    ASSERT_TRUE(medium.WriteScript(kAwaitMember));
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    const std::unique_ptr<GroupMember> member = JoinWhileTheRuntimeWaits(medium);
    ASSERT_NE(nullptr, member);
    ASSERT_TRUE(SendToSplash(splash, WM_KILLFOCUS, 0));
    EXPECT_FALSE(IsWindowVisible(splash));
    EXPECT_TRUE(setup.IsRunning());
}

TEST_F(LauncherEndToEnd, TimerClosesTheSplashThroughAPostedCancel)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    ASSERT_TRUE(PostMessageA(splash, WM_TIMER, 1, 0));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(splash); }, kStartMs));
}

TEST_F(LauncherEndToEnd, PostedQuitDoesNotEndTheProcess)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    ASSERT_TRUE(PostThreadMessageA(setup.ThreadId(), WM_QUIT, 0, 0));
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return setup.IsRunning() && IsWindowVisible(splash); }));
}

// Alone, or beside a bootstrapper that is still running: either way the start ends at once.
TEST_F(LauncherEndToEnd, RunningSetupIsBroughtForwardInsteadOfStartingAgain)
{
    for (bool besideBootstrapper : {false, true}) {
        SCOPED_TRACE(besideBootstrapper ? "beside a bootstrapper" : "alone");
        LauncherMedium medium;
        ASSERT_TRUE(medium.Ready());
        std::unique_ptr<SetupProcess> first;
        if (besideBootstrapper) {
            first.reset(new SetupProcess(medium, ""));
            ASSERT_EQ(1u, medium.WaitForLaunchRecords(1, kStartMs).size());
        }
        RunningSetupWindow running;
        ASSERT_TRUE(IsIconic(running.Window()));
        SetupProcess setup(medium, "");
        ASSERT_TRUE(setup.Started());

        ASSERT_TRUE(setup.WaitForExit(kStartMs));
        EXPECT_EQ(0u, setup.ExitCode());
        EXPECT_TRUE(WaitUntil([&] { return !IsIconic(running.Window()); }, kSettleMs));
        EXPECT_EQ(besideBootstrapper ? 1u : 0u, medium.LaunchRecords().size());
    }
}

// With no runtime in "setup", or no "setup" at all and a decoy beside Setup.exe instead, nothing
// is started; the failed launch lets go of the hold on NT.
TEST_F(LauncherEndToEnd, MissingRuntimeOnNtEndsTheProcessWhenTheSplashCloses)
{
    for (bool withSetupFolder : {true, false}) {
        SCOPED_TRACE(withSetupFolder ? "empty setup folder" : "no setup folder, decoy beside");
        LauncherMedium medium("Setup.exe", false);
        ASSERT_TRUE(medium.Ready());
        if (!withSetupFolder) {
            ASSERT_TRUE(RemoveDirectoryA(medium.SetupFolder().c_str()) && medium.PlaceDecoyRuntime());
        }
        SetupProcess setup(medium, "");
        HWND splash = setup.WaitForSplash(kStartMs);
        ASSERT_NE(nullptr, splash);
        Sleep(kSettleMs);  // the first paint has tried the launch by now
        ASSERT_TRUE(setup.IsRunning());
        EXPECT_FALSE(medium.DecoyRuntimeStarted());

        ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, IDCANCEL));
        ASSERT_TRUE(setup.WaitForExit(kStartMs));
        EXPECT_EQ(0u, setup.ExitCode());
    }
}

// The log's lines without their "YYYY-MM-DD hh:mm:ss.mmm [pid] " prefix and line end; each
// must name the process `processId`.
std::vector<std::string> LogSteps(const std::string& path, DWORD processId)
{
    const std::string process = "[" + std::to_string(processId) + "] ";
    std::ifstream log(path, std::ios::binary);
    std::vector<std::string> steps;
    for (std::string line; std::getline(log, line);) {
        const std::size_t stamp = sizeof "YYYY-MM-DD hh:mm:ss.mmm";
        EXPECT_TRUE(line.size() > stamp + process.size() && line.compare(stamp, process.size(), process) == 0 &&
                    line.back() == '\r') << line;
        steps.push_back(line.substr(stamp + process.size(), line.size() - stamp - process.size() - 1));
    }
    return steps;
}

TEST_F(LauncherEndToEnd, DiagnosticLogShowsTheStepsAndChangesNothing)
{
    enum Setting { kUnset, kWritable, kUnwritable };
    for (Setting setting : {kUnset, kWritable, kUnwritable}) {
        SCOPED_TRACE(setting);
        // On Windows 98 closing the splash ends the run, so the log gets its last step.
        LauncherMedium medium("Setup98.exe");
        ASSERT_TRUE(medium.Ready());
        const std::string logPath = medium.Root() + (setting == kWritable ? "\\setup.log" : "\\none\\setup.log");
        LogVariable variable(setting == kUnset ? nullptr : logPath.c_str());
        DWORD processId = 0;
        ASSERT_NO_FATAL_FAILURE(RunOnWindows98UntilClosed(medium, "/log \"a b\"", &processId));

        const std::vector<std::string> entries = medium.RootEntries();
        if (setting != kWritable) {
            EXPECT_EQ((std::vector<std::string>{"Setup98.exe", "setup\\"}), entries);
            continue;
        }
        EXPECT_EQ(3u, entries.size());
        const LaunchRecord launch = medium.LaunchRecords().at(0);
        const std::vector<std::string> steps = LogSteps(logPath, processId);
        ASSERT_EQ(8u, steps.size());
        EXPECT_EQ("start: Corvane Setup " CORVANE_VERSION ".0, " + std::to_string(sizeof(void*) * 8) +
                      "-bit, Windows 9x family, command line \"/log \"a b\"\"",
                  steps[0]);
        EXPECT_EQ("running setup: none", steps[1]);
        EXPECT_EQ("guard: this is the only bootstrapper", steps[2]);
        EXPECT_EQ("start: medium folder " + medium.Root(), steps[3]);
        EXPECT_EQ("splash: created", steps[4]);
        EXPECT_EQ("launch: " + launch.directory + "\\Lumeplay.exe as \"" + launch.commandLine + "\"", steps[5]);
        EXPECT_EQ(0u, steps[6].rfind("launch: started, process ", 0)) << steps[6];
        EXPECT_EQ("end: splash closed, keep-alive count 0", steps[7]);
    }
}

// Two starts in quick succession: one shows the splash and launches the runtime, the other gives
// way at once with exit code 0, before any splash or launch. Either may be the one that wins.
TEST_F(LauncherEndToEnd, TwoQuickStartsMakeOneSetup)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    const std::string logs[] = {medium.Root() + "\\first.log", medium.Root() + "\\second.log"};
    std::unique_ptr<SetupProcess> setups[2];
    for (int i = 0; i < 2; ++i) {
        LogVariable variable(logs[i].c_str());
        setups[i].reset(new SetupProcess(medium, ""));
    }
    ASSERT_TRUE(WaitUntil([&] { return !setups[0]->IsRunning() || !setups[1]->IsRunning(); }, kStartMs));
    const int loser = setups[0]->IsRunning() ? 1 : 0;
    EXPECT_EQ(0u, setups[loser]->ExitCode());
    const std::vector<std::string> steps = LogSteps(logs[loser], setups[loser]->ProcessId());
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ((std::vector<std::string>{"running setup: none", "guard: another bootstrapper is starting",
                                        "running setup: none yet", "end: another bootstrapper is running"}),
              std::vector<std::string>(steps.begin() + 1, steps.end()));

    const SetupProcess& winner = *setups[1 - loser];
    ASSERT_NE(nullptr, winner.WaitForSplash(kStartMs));
    ASSERT_EQ(1u, medium.WaitForLaunchRecords(1, kStartMs).size());
    Sleep(kSettleMs);
    EXPECT_EQ(1u, medium.LaunchRecords().size());
    EXPECT_TRUE(winner.IsRunning());
}

// The manifest as the system's own reader takes it from the built Setup.exe.
TEST_F(LauncherEndToEnd, SystemReadsTheManifestAsRequiringAdministrator)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    const std::string path = medium.SetupPath();
    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    ActivationContext context(CreateActCtxA(&request));
    ASSERT_TRUE(context.IsOpen());

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    ASSERT_TRUE(QueryActCtxW(0, context.Get(), nullptr, RunlevelInformationInActivationContext, &level,
                             sizeof level, nullptr));
    EXPECT_EQ(ACTCTX_RUN_LEVEL_REQUIRE_ADMIN, level.RunLevel);
    EXPECT_EQ(0u, level.UiAccess);
    // Only the count: the element's size differs between header generations.
    DWORD compatibility[128] = {};
    ASSERT_TRUE(QueryActCtxW(0, context.Get(), nullptr, CompatibilityInformationInActivationContext,
                             compatibility, sizeof compatibility, nullptr));
    EXPECT_EQ(5u, compatibility[0]) << "Vista, 7, 8, 8.1, 10 and 11";
}

TEST_F(LauncherEndToEnd, NothingBesideSetupIsStartedOrLoaded)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    ASSERT_TRUE(medium.PlaceDecoyRuntime());
    // The theme library comes in by base name once the splash window exists.
    ASSERT_TRUE(medium.PlantSystemLibrary("uxtheme.dll"));
    SetupProcess setup(medium, "/d");
    ASSERT_NE(nullptr, setup.WaitForSplash(kStartMs));
    ExpectLaunchedOnce(medium, kFixedStart + kExecuterArgument + " /d");
    EXPECT_FALSE(medium.DecoyRuntimeStarted());

    bool themed = false;
    for (const std::string& path : setup.ModulePaths()) {
        const std::string folder = path.substr(0, path.find_last_of('\\'));
        const std::string name = path.substr(folder.size() + 1);
        themed |= lstrcmpiA(name.c_str(), "uxtheme.dll") == 0;
        if (lstrcmpiA(path.c_str(), medium.SetupPath().c_str()) == 0)
            continue;
        EXPECT_NE(0, lstrcmpiA(folder.c_str(), medium.Root().c_str())) << path;
    }
    EXPECT_TRUE(themed);
}

}  // namespace
