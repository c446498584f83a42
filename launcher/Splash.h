// The splash window: the setup picture, centred and topmost, whose first paint launches the
// runtime and which closes on a cancel command or when it loses the keyboard focus.
#pragma once

#include <windows.h>

extern HWND g_splashWindow;               // the splash dialog, null if it could not be created
extern BITMAPINFOHEADER* g_splashDib;     // the expanded picture, null if it could not be loaded
extern HPALETTE g_splashPalette;          // the picture's logical palette, or null

// Creates, centres and shows the splash without painting it. If the dialog cannot be created
// the splash counts as closed at once.
void CreateSplash();

INT_PTR CALLBACK SplashDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Starts the runtime from the "setup" folder unless that has already happened.
void LaunchPendingRuntime();
