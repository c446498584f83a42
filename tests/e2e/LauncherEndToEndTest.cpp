// Setup.exe and the stand-in runtime as real processes on a temporary medium: the splash
// window as the screen shows it, the launch as the runtime logged it, and how the bootstrapper
// ends.
#include "Dib.h"
#include "EndToEndSupport.h"
#include "LauncherMedium.h"
#include "SetupProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string kFixedStart = "Lumeplay.exe RiRarud SetupProgram=ZuViruz Server=None Wnd=Maximized";
const std::string kExecuterChannel = " Executer=DispCvGSetup";

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
};

TEST_F(LauncherEndToEnd, SplashIsCentredTopmostAndShowsThePicture)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "");
    ASSERT_TRUE(setup.Started());
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    ASSERT_EQ(1u, medium.WaitForLaunchRecords(1, kStartMs).size());  // painted by now

    RECT frame{};
    GetWindowRect(splash, &frame);
    EXPECT_EQ(160, frame.left);
    EXPECT_EQ(125, frame.top);
    EXPECT_EQ(480, frame.right - frame.left);
    EXPECT_EQ(350, frame.bottom - frame.top);
    EXPECT_TRUE(GetWindowLongA(splash, GWL_EXSTYLE) & WS_EX_TOPMOST);

    const std::vector<BYTE> resource = SplashResource(medium.SetupPath());
    ASSERT_EQ(169066u, resource.size());
    const auto* dib = reinterpret_cast<const BITMAPINFOHEADER*>(resource.data());
    const auto* colours = reinterpret_cast<const RGBQUAD*>(resource.data() + dib->biSize);
    const BYTE* pixels = resource.data() + dib->biSize + 256 * sizeof(RGBQUAD);
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
}

TEST_F(LauncherEndToEnd, FirstPaintLaunchesTheRuntimeOnceFromTheSetupFolder)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "/q");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    ExpectLaunchedOnce(medium, kFixedStart + kExecuterChannel + " /q");

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
    ExpectLaunchedOnce(medium, kFixedStart + kExecuterChannel + " " + longLine.substr(0, 799));
}

TEST_F(LauncherEndToEnd, Windows98LaunchOmitsTheChannelAndClosingEndsTheProcess)
{
    LauncherMedium medium("Setup98.exe");
    ASSERT_TRUE(medium.Ready());
    // Told no channel, the runtime cannot hold the bootstrapper, whatever it would ask.
    ASSERT_TRUE(medium.WriteScript("retain\nquery\n"));
    Windows98Setting windows98("Setup98.exe");
    ASSERT_TRUE(windows98.Ready());
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    ExpectLaunchedOnce(medium, kFixedStart + " ");
    EXPECT_TRUE(medium.WaitForTranscript("no executer channel", 1, kStartMs));
    EXPECT_EQ(1u, medium.Transcript().size());

    ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, IDCANCEL));
    ASSERT_TRUE(setup.WaitForExit(kStartMs));
    EXPECT_EQ(0u, setup.ExitCode());
}

TEST_F(LauncherEndToEnd, OnlyTheWholeCancelValueClosesAndNtStaysHeld)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    ASSERT_EQ(1u, medium.WaitForLaunchRecords(1, kStartMs).size());

    ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, MAKEWPARAM(IDCANCEL, 1)));
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return IsWindowVisible(splash) != FALSE; }));

    ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, IDCANCEL));
    EXPECT_FALSE(IsWindowVisible(splash));
    // On NT the runtime holds the bootstrapper until it lets go.
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return setup.IsRunning(); }));
}

TEST_F(LauncherEndToEnd, LosingTheFocusClosesTheSplash)
{
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
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

TEST_F(LauncherEndToEnd, RunningSetupIsBroughtForwardInsteadOfStartingAgain)
{
    RunningSetupWindow running;
    ASSERT_NE(nullptr, running.Window());
    ASSERT_TRUE(IsIconic(running.Window()));
    LauncherMedium medium;
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "");
    ASSERT_TRUE(setup.Started());

    ASSERT_TRUE(setup.WaitForExit(kStartMs));
    EXPECT_EQ(0u, setup.ExitCode());
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(running.Window()); }, kSettleMs));
    EXPECT_FALSE(medium.RuntimeLogExists());
}

TEST_F(LauncherEndToEnd, MissingRuntimeOnNtEndsTheProcessWhenTheSplashCloses)
{
    LauncherMedium medium("Setup.exe", false);
    ASSERT_TRUE(medium.Ready());
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, splash);
    Sleep(kSettleMs);  // the first paint has tried the launch by now
    ASSERT_TRUE(setup.IsRunning());

    ASSERT_TRUE(SendToSplash(splash, WM_COMMAND, IDCANCEL));
    ASSERT_TRUE(setup.WaitForExit(kStartMs));
    EXPECT_EQ(0u, setup.ExitCode());
}

}  // namespace
