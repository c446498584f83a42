#include "DllSearchHardening.h"

#include "SystemLibrary.h"

#include <windows.h>

namespace {

// Loaded by base name once the splash window exists where the system draws themed windows:
// the theme library, and the window manager's library, which the theme library loads in turn
// (so it comes first). Nothing else this program does loads a library by base name: it has no
// common controls, shell dialogs, COM or cryptography.
constexpr const char* kUserInterfaceLibraries[] = {"dwmapi.dll", "uxtheme.dll"};

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD directoryFlags);
typedef BOOL(WINAPI* SetDllDirectoryProc)(LPCSTR pathName);

template <class Function>
Function KernelFunction(const char* name)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

}  // namespace

void HardenDllSearch()
{
    const auto setDefaultDllDirectories = KernelFunction<SetDefaultDllDirectoriesProc>("SetDefaultDllDirectories");
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    for (const char* library : kUserInterfaceLibraries)
        LoadSystemLibrary(library);
    if (const auto setDllDirectory = KernelFunction<SetDllDirectoryProc>("SetDllDirectoryA"))
        setDllDirectory("");
}
