#include "RuntimeLog.h"

#include "Win32Owners.h"

#include <windows.h>

#include <algorithm>

namespace {

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

}  // namespace

RuntimeLog::RuntimeLog() : m_path(Beside(".log")) {}

std::string RuntimeLog::Beside(const char* extension)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = length == 0 || length >= MAX_PATH ? "Lumeplay.exe" : std::string(path, length);
    const std::size_t folderEnd = name.find_last_of('\\') + 1;
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot >= folderEnd)
        name.erase(dot);
    return name + extension;
}

bool RuntimeLog::AppendStartRecord() const
{
    return AppendLine(CurrentDirectory() + '\t' + GetCommandLineA());
}

void RuntimeLog::Append(const std::string& text) const
{
    std::string flat = text;
    std::replace_if(flat.begin(), flat.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    AppendLine(flat);
}

bool RuntimeLog::AppendLine(const std::string& fields) const
{
    const std::string line = Now() + '\t' + fields + "\r\n";
    KernelHandle log(CreateFileA(m_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return log.IsOpen() && WriteFile(log.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}
