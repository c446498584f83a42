// Finding the splash of a running bootstrapper from another process: the runtime dismisses it,
// and the tests watch it.
#pragma once

#include <windows.h>

// The first top-level window of the standard dialog class that belongs to the process, shown or
// hidden; null when it has none.
HWND FindSplashOfProcess(DWORD processId);
