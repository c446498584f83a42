// Loading a library of the system folder without searching anywhere else.
#pragma once

#include <windows.h>

// Loads the library `baseName` (for example "winmm.dll") from the system folder only.
// Setup.exe runs from media and download folders, where a planted copy beside it must never be
// picked up. Null if it cannot be loaded; what is loaded stays for the life of the process.
HMODULE LoadSystemLibrary(const char* baseName);
