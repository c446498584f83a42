#include "SetupMedium.h"

#include "SetupLog.h"

#include <windows.h>

static_assert(kPathBuffer == MAX_PATH, "medium paths are bounded as the ANSI calls bound them");

char SetupMedium::s_folder[kPathBuffer] = {};

namespace {

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

bool SetupMedium::Locate()
{
    char module[kPathBuffer] = {};
    // A path of MAX_PATH characters or more comes back cut (without its NUL on older systems).
    const DWORD length = GetModuleFileNameA(nullptr, module, kPathBuffer);
    const DWORD error = GetLastError();
    if (length == 0 || length >= kPathBuffer || !FolderOfModule(module, IsLeadByte, s_folder)) {
        s_folder[0] = '\0';
        SetupLog::Write("start: medium folder unknown, module path of %lu characters, error %lu", length, error);
        return false;
    }
    SetupLog::Write("start: medium folder %s", s_folder);
    return true;
}

const char* SetupMedium::Folder() { return s_folder[0] != '\0' ? s_folder : nullptr; }

bool SetupMedium::Enter(const char* relative)
{
    if (!Folder()) {
        SetupLog::Write("medium: unknown, no folder entered");
        return false;
    }
    // The system keeps a character for the current folder's final backslash.
    char folder[kPathBuffer];
    if (!JoinPath(s_folder, relative ? relative : "", folder, 1)) {
        SetupLog::Write("medium: folder \"%s\" under %s too long to enter", relative, s_folder);
        return false;
    }
    if (!SetCurrentDirectoryA(folder)) {
        SetupLog::Write("medium: no folder %s, error %lu", folder, GetLastError());
        return false;
    }
    return true;
}
