#include "LauncherMedium.h"

#include "Win32Owners.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string LogPath(const std::string& setupFolder) { return setupFolder + "\\Lumeplay.log"; }

std::string NewTemporaryFolder()
{
    char base[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, base);
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::ostringstream name;
    name << base << "corvane-medium-" << GetCurrentProcessId() << "-" << GetTickCount();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = name.str() + "-" + std::to_string(attempt);
        if (CreateDirectoryA(folder.c_str(), nullptr))
            return folder;
    }
    return {};
}

// The names in `folder`, without "." and "..", folders marked by a trailing backslash.
std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> entries;
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    for (BOOL more = search.IsOpen(); more; more = FindNextFileA(search.Get(), &found)) {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            entries.push_back((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? name + "\\" : name);
    }
    return entries;
}

// Whatever the runs left on the medium goes with it.
void RemoveTree(const std::string& folder)
{
    for (const std::string& entry : FolderEntries(folder)) {
        if (entry.back() == '\\')
            RemoveTree(folder + "\\" + entry.substr(0, entry.size() - 1));
        else
            DeleteFileA((folder + "\\" + entry).c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

bool ParseRecord(const std::string& line, LaunchRecord* record)
{
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos)
        return false;
    record->time = std::stoull(line.substr(0, first));
    record->directory = line.substr(first + 1, second - first - 1);
    record->commandLine = line.substr(second + 1);
    return true;
}

}  // namespace

std::string WindowsPath(const std::string& hostPath)
{
    std::string path = hostPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return !hostPath.empty() && hostPath[0] == '/' ? "Z:" + path : path;
}

LauncherMedium::LauncherMedium(const std::string& setupName, bool withRuntime)
    : m_root(NewTemporaryFolder()), m_setupName(setupName)
{
    if (m_root.empty() || !CreateDirectoryA(SetupFolder().c_str(), nullptr))
        return;
    m_ready = CopyFileA(WindowsPath(CORVANE_SETUP_EXE).c_str(), SetupPath().c_str(), FALSE) &&
              (!withRuntime || CopyFileA(WindowsPath(CORVANE_LUMEPLAY_EXE).c_str(),
                                         (SetupFolder() + "\\Lumeplay.exe").c_str(), FALSE));
}

LauncherMedium::~LauncherMedium()
{
    if (!m_root.empty())
        RemoveTree(m_root);
}

bool LauncherMedium::PlaceDecoyRuntime() const
{
    return CopyFileA(WindowsPath(CORVANE_LUMEPLAY_EXE).c_str(), (m_root + "\\Lumeplay.exe").c_str(), FALSE);
}

bool LauncherMedium::PlantSystemLibrary(const std::string& name) const
{
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    return length > 0 && length < MAX_PATH &&
           CopyFileA((std::string(system, length) + "\\" + name).c_str(), (m_root + "\\" + name).c_str(), FALSE);
}

std::vector<std::string> LauncherMedium::RootEntries() const
{
    std::vector<std::string> entries = FolderEntries(m_root);
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool LauncherMedium::DecoyRuntimeStarted() const
{
    return GetFileAttributesA(LogPath(m_root).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<LaunchRecord> LauncherMedium::LaunchRecords() const
{
    std::ifstream log(LogPath(SetupFolder()), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    std::vector<LaunchRecord> records;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        LaunchRecord record;
        if (ParseRecord(text.substr(start, end - start), &record))
            records.push_back(record);
    }
    return records;
}

std::vector<LaunchRecord> LauncherMedium::WaitForLaunchRecords(std::size_t count, DWORD timeoutMs) const
{
    const DWORD started = GetTickCount();
    std::vector<LaunchRecord> records = LaunchRecords();
    while (records.size() < count && GetTickCount() - started < timeoutMs) {
        Sleep(50);
        records = LaunchRecords();
    }
    return records;
}

bool LauncherMedium::RuntimeLogExists() const
{
    return GetFileAttributesA(LogPath(SetupFolder()).c_str()) != INVALID_FILE_ATTRIBUTES;
}
