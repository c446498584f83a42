// Keeps Setup.exe from loading a library planted beside it. It runs from installation media and
// download folders, and the system's user-interface code loads some libraries later by base
// name, which the standard search looks for in the executable's folder first.
#pragma once

#include <windows.h>

// The kernel32 functions that narrow the library search. Either may be missing on older
// systems, so they are looked up at run time; null where absent.
struct DllSearchFunctions {
    BOOL(WINAPI* setDefaultDllDirectories)(DWORD directoryFlags);
    BOOL(WINAPI* setDllDirectoryA)(LPCSTR pathName);
};

// The functions as this system's kernel32 exports them.
DllSearchFunctions FindDllSearchFunctions();

// Where SetDefaultDllDirectories exists, every later load by base name searches the system
// folder alone. Elsewhere the executable's folder stays first in the search, so the libraries
// the user-interface code will want are loaded from the system folder by full path now, and
// SetDllDirectoryA("") takes the current folder out of the search. Only this process is
// affected; the runtime it starts inherits none of it. Missing functions are skipped.
void HardenDllSearch(const DllSearchFunctions& functions);
