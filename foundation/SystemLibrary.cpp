#include "SystemLibrary.h"

#include <cstring>

HMODULE LoadSystemLibrary(const char* baseName)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // The search flags are known wherever AddDllDirectory exists.
    if (kernel && GetProcAddress(kernel, "AddDllDirectory"))
        return LoadLibraryExA(baseName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);

    // Older systems: a full path is searched nowhere else.
    char path[MAX_PATH];
    const std::size_t length = GetSystemDirectoryA(path, MAX_PATH);
    const std::size_t nameLength = std::strlen(baseName);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH)
        return nullptr;
    path[length] = '\\';
    std::memcpy(path + length + 1, baseName, nameLength + 1);
    return LoadLibraryA(path);
}
