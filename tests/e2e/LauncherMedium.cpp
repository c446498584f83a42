#include "LauncherMedium.h"

#include "Win32Owners.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

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

// The build's Setup.exe, or the copy (a signed one) that CORVANE_SETUP_UNDER_TEST names.
std::string SetupUnderTest()
{
    char given[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("CORVANE_SETUP_UNDER_TEST", given, MAX_PATH);
    return WindowsPath(length > 0 && length < MAX_PATH ? given : CORVANE_SETUP_EXE);
}

// Everything inside `folder`, which itself stays. False when something could not be removed.
bool EmptyFolder(const std::string& folder)
{
    bool emptied = true;
    for (const std::string& entry : FolderEntries(folder)) {
        const std::string path = folder + "\\" + entry;
        if (entry.back() == '\\')
            emptied = EmptyFolder(path.substr(0, path.size() - 1)) && RemoveDirectoryA(path.c_str()) && emptied;
        else
            emptied = DeleteFileA(path.c_str()) && emptied;
    }
    return emptied;
}

// A program of the last run may hold its file for a moment after its parent has gone.
void EmptyFolderOnceFree(const std::string& folder)
{
    const DWORD started = GetTickCount();
    while (!EmptyFolder(folder) && GetTickCount() - started < 10000)
        Sleep(100);
}

bool CreateFolders(const std::string& root, const std::string& relativePath)
{
    for (std::size_t slash = relativePath.find('\\'); slash != std::string::npos;
         slash = relativePath.find('\\', slash + 1)) {
        const std::string folder = root + "\\" + relativePath.substr(0, slash);
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

// A log line is the time, a tab and its fields: a start record has two more, tab-separated.
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

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

std::string WindowsPath(const std::string& hostPath)
{
    std::string path = hostPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return !hostPath.empty() && hostPath[0] == '/' ? "Z:" + path : path;
}

LauncherMedium::LauncherMedium(const std::string& setupName, bool withRuntime, const std::string& root)
    : m_root(root.empty() ? NewTemporaryFolder() : root), m_setupName(setupName), m_ownsRoot(root.empty())
{
    if (m_root.empty())
        return;
    CreateDirectoryA(m_root.c_str(), nullptr);
    EmptyFolderOnceFree(m_root);
    if (!CreateDirectoryA(SetupFolder().c_str(), nullptr))
        return;
    m_ready = CopyFileA(SetupUnderTest().c_str(), SetupPath().c_str(), FALSE) &&
              (!withRuntime || AddProgram(kRuntime));
}

LauncherMedium::~LauncherMedium()
{
    if (m_root.empty())
        return;
    EmptyFolderOnceFree(m_root);
    if (m_ownsRoot)
        RemoveDirectoryA(m_root.c_str());
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
    return GetFileAttributesA((m_root + "\\Lumeplay.log").c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool LauncherMedium::AddProgram(const std::string& relativePath) const
{
    return CreateFolders(m_root, relativePath) &&
           CopyFileA(WindowsPath(CORVANE_LUMEPLAY_EXE).c_str(), (m_root + "\\" + relativePath).c_str(), FALSE);
}

bool LauncherMedium::WriteScript(const std::string& script, const std::string& program) const
{
    const std::string path = m_root + "\\" + program;
    std::ofstream file(path.substr(0, path.find_last_of('.')) + ".script", std::ios::binary | std::ios::trunc);
    return static_cast<bool>(file << script);
}

std::string LauncherMedium::LogText(const std::string& relativePath) const
{
    const std::string program = m_root + "\\" + relativePath;
    std::ifstream log(program.substr(0, program.find_last_of('.')) + ".log", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
}

std::vector<LaunchRecord> LauncherMedium::LaunchRecords(const std::string& relativePath) const
{
    std::vector<LaunchRecord> records;
    for (const std::string& line : Lines(LogText(relativePath))) {
        LaunchRecord record;
        if (ParseRecord(line, &record))
            records.push_back(record);
    }
    return records;
}

std::vector<LaunchRecord> LauncherMedium::WaitForLaunchRecords(std::size_t count, DWORD timeoutMs,
                                                               const std::string& relativePath) const
{
    const DWORD started = GetTickCount();
    std::vector<LaunchRecord> records = LaunchRecords(relativePath);
    while (records.size() < count && GetTickCount() - started < timeoutMs) {
        Sleep(50);
        records = LaunchRecords(relativePath);
    }
    return records;
}

bool LauncherMedium::RuntimeLogExists() const
{
    return GetFileAttributesA((SetupFolder() + "\\Lumeplay.log").c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> LauncherMedium::Transcript(const std::string& program) const
{
    std::vector<std::string> transcript;
    for (const std::string& line : Lines(LogText(program))) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos && line.find('\t', tab + 1) == std::string::npos)
            transcript.push_back(line.substr(tab + 1));
    }
    return transcript;
}

std::size_t LauncherMedium::CountTranscript(const std::string& prefix, const std::string& program) const
{
    std::size_t count = 0;
    for (const std::string& line : Transcript(program))
        count += StartsWith(line, prefix);
    return count;
}

bool LauncherMedium::WaitForTranscript(const std::string& prefix, std::size_t count, DWORD timeoutMs,
                                       const std::string& program) const
{
    const DWORD started = GetTickCount();
    while (CountTranscript(prefix, program) < count) {
        if (GetTickCount() - started >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

DWORD LauncherMedium::RunRuntime(const std::string& arguments, DWORD timeoutMs) const
{
    std::string commandLine = "\"" + SetupFolder() + "\\Lumeplay.exe\" " + arguments;
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, SetupFolder().c_str(),
                        &startup, &process)) {
        std::fprintf(stderr, "the runtime did not start, error %lu\n", GetLastError());
        return STILL_ACTIVE;
    }
    KernelHandle thread(process.hThread);
    KernelHandle child(process.hProcess);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(child.Get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.Get(), &code);
    return code;
}
