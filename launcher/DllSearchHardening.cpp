#include "DllSearchHardening.h"

#include "SystemLibrary.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32: later loads by base name search the system folder alone.
constexpr DWORD kSearchSystem32 = 0x00000800;

// Loaded by base name once the splash window exists where the system draws themed windows:
// the theme library, and the window manager's library, which the theme library loads in turn
// (so it comes first). Nothing else this program does loads a library by base name: it has no
// common controls, shell dialogs, COM or cryptography.
constexpr const char* kUserInterfaceLibraries[] = {"dwmapi.dll", "uxtheme.dll"};

template <class Function>
Function Lookup(HMODULE module, const char* name)
{
    if (!module)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

DllSearchFunctions FindDllSearchFunctions()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    DllSearchFunctions functions;
    functions.setDefaultDllDirectories =
        Lookup<decltype(functions.setDefaultDllDirectories)>(kernel, "SetDefaultDllDirectories");
    functions.setDllDirectoryA = Lookup<decltype(functions.setDllDirectoryA)>(kernel, "SetDllDirectoryA");
    return functions;
}

void HardenDllSearch(const DllSearchFunctions& functions)
{
    if (functions.setDefaultDllDirectories && functions.setDefaultDllDirectories(kSearchSystem32))
        return;
    for (const char* library : kUserInterfaceLibraries)
        LoadSystemLibrary(library);
    if (functions.setDllDirectoryA)
        functions.setDllDirectoryA("");
}
