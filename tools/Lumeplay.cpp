// A stand-in for the setup runtime: it records how it was started and ends.
//
// Each start appends one line to Lumeplay.log beside the executable: the time as a FILETIME
// count (100 ns units since 1601, UTC), the current directory and the full command line,
// separated by tabs and ended by CR LF. The command line comes last, so it may hold anything
// but a line break.
#include "Win32Owners.h"

#include <windows.h>

#include <string>

namespace {

std::string LogPath()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "Lumeplay.log";
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "Lumeplay.log";
}

std::string CurrentDirectory()
{
    std::string directory(MAX_PATH, '\0');
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(directory.size()), &directory[0]);
    if (length >= directory.size()) {
        directory.resize(length);
        length = GetCurrentDirectoryA(length, &directory[0]);
    }
    directory.resize(length);
    return directory;
}

std::string Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return std::to_string(ticks.QuadPart);
}

// One write in append mode, so that starts close together never interleave their lines.
bool AppendStartRecord()
{
    const std::string record = Now() + '\t' + CurrentDirectory() + '\t' + GetCommandLineA() + "\r\n";
    KernelHandle log(CreateFileA(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return log.IsOpen() &&
           WriteFile(log.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
           written == record.size();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return AppendStartRecord() ? 0 : 1;
}
