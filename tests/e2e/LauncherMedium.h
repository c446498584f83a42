// A temporary installation medium for end-to-end runs of Setup.exe: the bootstrapper at its
// root and, unless left out, the stand-in runtime as setup\Lumeplay.exe, whose log tells how
// the bootstrapper started it and, when the medium holds a script for it, what it asked of the
// bootstrapper's executer and which events it received.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One start of the stand-in runtime (or of a copy of it), as it logged it.
struct LaunchRecord {
    unsigned long long time;  // FILETIME count
    std::string directory;
    std::string commandLine;
};

class LauncherMedium {
public:
    static constexpr const char* kRuntime = "setup\\Lumeplay.exe";

    // setupName is the file name the bootstrapper gets on the medium (per-application
    // settings of Wine go by it). The medium goes into a fresh temporary folder, or fills the
    // folder `root` (a drive's root such as "M:", or a folder made in one) when one is given;
    // either way everything laid out in it is removed with the medium.
    explicit LauncherMedium(const std::string& setupName = "Setup.exe", bool withRuntime = true,
                            const std::string& root = "");
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

    // A copy of the stand-in at `relativePath` (folders created): a program that logs its start
    // beside itself, in a log named after it.
    bool AddProgram(const std::string& relativePath) const;
    // The scenario the stand-in (or the copy at `program`) plays when told the executer's channel.
    bool WriteScript(const std::string& script, const std::string& program = kRuntime) const;

    // Start records of the runtime, or of the program at `relativePath` (see AddProgram).
    std::vector<LaunchRecord> LaunchRecords(const std::string& relativePath = kRuntime) const;
    // Polls the log until it holds at least `count` records or the time is up.
    std::vector<LaunchRecord> WaitForLaunchRecords(std::size_t count, DWORD timeoutMs,
                                                   const std::string& relativePath = kRuntime) const;
    bool RuntimeLogExists() const;

    // The runtime's (or `program`'s) transcript: the text of every step and event line it
    // logged, in order.
    std::vector<std::string> Transcript(const std::string& program = kRuntime) const;
    // Polls the transcript until `count` lines start with `prefix`; true if they did in time.
    bool WaitForTranscript(const std::string& prefix, std::size_t count, DWORD timeoutMs,
                           const std::string& program = kRuntime) const;
    std::size_t CountTranscript(const std::string& prefix, const std::string& program = kRuntime) const;

    // Runs the stand-in once more, from the setup folder, with `arguments`, and waits for it.
    // Its exit code, or STILL_ACTIVE when it did not start (said on the standard error, as
    // SetupProcess does) or end in time.
    DWORD RunRuntime(const std::string& arguments, DWORD timeoutMs) const;

private:
    std::string LogText(const std::string& relativePath) const;

    std::string m_root;
    std::string m_setupName;
    bool m_ownsRoot;
    bool m_ready = false;
};

// The Windows form of a path the build wrote down on the host, where Wine shows the host's
// root directory as drive Z:.
std::string WindowsPath(const std::string& hostPath);
