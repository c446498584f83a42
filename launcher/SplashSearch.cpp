#include "SplashSearch.h"

namespace {

struct SplashSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<SplashSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner != search->processId || lstrcmpA(className, "#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindSplashOfProcess(DWORD processId)
{
    SplashSearch search{processId, nullptr};
    EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
