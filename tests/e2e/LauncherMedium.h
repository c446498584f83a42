// A temporary installation medium for end-to-end runs of Setup.exe: the bootstrapper at its
// root and, unless left out, the stand-in runtime as setup\Lumeplay.exe, whose log tells how
// the bootstrapper started it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One start of the stand-in runtime, as it logged it.
struct LaunchRecord {
    unsigned long long time;  // FILETIME count
    std::string directory;
    std::string commandLine;
};

class LauncherMedium {
public:
    // setupName is the file name the bootstrapper gets on the medium (per-application
    // settings of Wine go by it).
    explicit LauncherMedium(const std::string& setupName = "Setup.exe", bool withRuntime = true);
    ~LauncherMedium();
    LauncherMedium(const LauncherMedium&) = delete;
    LauncherMedium& operator=(const LauncherMedium&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Root() const { return m_root; }
    std::string SetupPath() const { return m_root + "\\" + m_setupName; }
    std::string SetupFolder() const { return m_root + "\\setup"; }

    // Decoys beside Setup.exe, where a downloads folder would hold them: a copy of the stand-in
    // runtime, and a copy of the system library `name` (the real one, so that only the folder it
    // is loaded from tells the two apart).
    bool PlaceDecoyRuntime() const;
    bool PlantSystemLibrary(const std::string& name) const;
    bool DecoyRuntimeStarted() const;

    // What the medium's root holds, sorted, folders with a trailing backslash.
    std::vector<std::string> RootEntries() const;

    std::vector<LaunchRecord> LaunchRecords() const;
    // Polls the log until it holds at least `count` records or the time is up.
    std::vector<LaunchRecord> WaitForLaunchRecords(std::size_t count, DWORD timeoutMs) const;
    bool RuntimeLogExists() const;

private:
    std::string m_root;
    std::string m_setupName;
    bool m_ready = false;
};

// The Windows form of a path the build wrote down on the host, where Wine shows the host's
// root directory as drive Z:.
std::string WindowsPath(const std::string& hostPath);
