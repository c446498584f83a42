#include "Splash.h"

#include "DibResource.h"
#include "LaunchCommand.h"
#include "LauncherGlobals.h"
#include "RuntimeStart.h"
#include "RuntimeWatch.h"
#include "ScreenCentring.h"

#include <cstdlib>
#include <utility>

HWND g_splashWindow = nullptr;
BITMAPINFOHEADER* g_splashDib = nullptr;
HPALETTE g_splashPalette = nullptr;

namespace {

constexpr WORD kSplashDialogTemplate = 103;
constexpr WORD kSplashBitmap = 102;

// Shown where it is, without taking the activation from whatever the user is working in.
constexpr UINT kShowInPlace = SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW;

// Owns the painting of one WM_PAINT.
class PaintScope {
public:
    explicit PaintScope(HWND window) : m_window(window) { m_dc = BeginPaint(window, &m_paint); }
    ~PaintScope() { EndPaint(m_window, &m_paint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC Dc() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint;
    HDC m_dc;
};

// Keeps a palette selected and realised in a device context, and the previous one back after.
class PaletteSelection {
public:
    PaletteSelection(HDC dc, HPALETTE palette)
        : m_dc(dc), m_previous(palette ? SelectPalette(dc, palette, FALSE) : nullptr)
    {
        if (m_previous)
            RealizePalette(dc);
    }
    ~PaletteSelection()
    {
        if (m_previous)
            SelectPalette(m_dc, m_previous, FALSE);
    }
    PaletteSelection(const PaletteSelection&) = delete;
    PaletteSelection& operator=(const PaletteSelection&) = delete;

private:
    HDC m_dc;
    HPALETTE m_previous;
};

void CentreOnScreen(HWND window, HWND insertAfter)
{
    RECT frame;
    GetWindowRect(window, &frame);
    const int x = CentredPosition(GetSystemMetrics(SM_CXSCREEN), frame.left, frame.right);
    const int y = CentredPosition(GetSystemMetrics(SM_CYSCREEN), frame.top, frame.bottom);
    SetWindowPos(window, insertAfter, x, y, 0, 0, kShowInPlace);
}

void InitSplash(HWND window)
{
    g_splashDib = LoadResourceDib(MAKEINTRESOURCEA(kSplashBitmap), nullptr);
    if (g_splashDib) {
        g_splashPalette = CreateDibPalette(g_splashDib);
        // The whole window, border included, takes the picture's size.
        MoveWindow(window, 0, 0, g_splashDib->biWidth, std::labs(g_splashDib->biHeight), FALSE);
    }
    CentreOnScreen(window, HWND_TOPMOST);
}

void PaintSplash(HWND window)
{
    {
        PaintScope paint(window);
        PaletteSelection palette(paint.Dc(), g_splashPalette);
        DrawDib(g_splashDib, paint.Dc(), 0, 0);
    }
    LaunchPendingRuntime();
}

// The modeless dialog is only hidden; a second close (the focus loss that follows the
// hiding) finds nothing left to release.
void CloseSplash(HWND window)
{
    EndDialog(window, 1);
    if (g_splashPalette)
        DeleteObject(g_splashPalette);
    g_splashPalette = nullptr;
    FreeDib(g_splashDib);
    g_splashDib = nullptr;
    g_splashVisible = 0;
}

void LaunchRuntime()
{
    char command[kLaunchCommandBuffer];
    FormatLaunchCommand(command, RuntimeHasExecuter(), g_commandLine);
    KernelHandle runtime = StartRuntime(command);
    if (!RuntimeHasExecuter())
        return;
    // The bootstrapper starts out held for the runtime it serves. A runtime that never
    // started will never release it, so the hold goes now rather than keeping an invisible
    // process behind; one that started is watched for the same reason.
    if (runtime.IsOpen())
        RuntimeWatch::Watch(std::move(runtime));
    else
        --g_keepAlive;
}

}  // namespace

void CreateSplash()
{
    g_splashWindow = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kSplashDialogTemplate), nullptr,
                                        SplashDialogProc, 0);
    if (!g_splashWindow) {
        // Nothing could ever close a splash that does not exist.
        g_splashVisible = 0;
        return;
    }
    // Once more now that the dialog manager is done with the window; it stays topmost.
    CentreOnScreen(g_splashWindow, HWND_TOP);
}

INT_PTR CALLBACK SplashDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitSplash(window);
        return TRUE;
    case WM_PAINT:
        PaintSplash(window);
        return TRUE;
    case WM_COMMAND:
        // The whole value: a notification code in the high word makes it another command.
        if (wParam == IDCANCEL)
            CloseSplash(window);
        return TRUE;
    case WM_KILLFOCUS:
        CloseSplash(window);
        return TRUE;
    case WM_TIMER:
        KillTimer(window, 1);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void LaunchPendingRuntime()
{
    if (!g_launchPending)
        return;
    g_launchPending = 0;
    LaunchRuntime();
}
