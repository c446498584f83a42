#include "SystemLibrary.h"

#include <cstring>

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, known to LoadLibraryExA wherever AddDllDirectory exists.
constexpr DWORD kSearchSystem32 = 0x00000800;

}  // namespace

HMODULE LoadSystemLibrary(const char* baseName)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel && GetProcAddress(kernel, "AddDllDirectory"))
        return LoadLibraryExA(baseName, nullptr, kSearchSystem32);

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
