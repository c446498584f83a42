// Measures Setup.exe under Wine (run it by hand; it is not a test):
//   - time from starting Setup.exe to the runtime's start, median of 10 runs, against the
//     time to start the stand-in runtime directly (the floor of any launch), and the same span
//     from the diagnostic log; on a medium in a folder and, given a drive, at that drive's root;
//   - round trip of the executer's query and reply between the stand-in runtime and Setup.exe,
//     median and 95th percentile of 50 queries (the bootstrapper takes events every 100 ms);
//   - processor time the bootstrapper uses while held with its splash closed, over 10 s.
#include "LauncherMedium.h"
#include "SetupProcess.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 10;
constexpr DWORD kTimeoutMs = 20000;
constexpr DWORD kHeldMs = 10000;
constexpr int kQueries = 50;

unsigned long long Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

double Milliseconds(unsigned long long ticks) { return ticks / 10000.0; }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return (values[(values.size() - 1) / 2] + values[values.size() / 2]) / 2;
}

// Nearest rank.
double Percentile(std::vector<double> values, int percent)
{
    std::sort(values.begin(), values.end());
    const std::size_t rank = (values.size() * percent + 99) / 100;
    return values[rank == 0 ? 0 : rank - 1];
}

// Starts the stand-in runtime itself, as the bootstrapper would, and waits for its record.
bool StartRuntimeDirectly(const LauncherMedium& medium, double* elapsedMs)
{
    const std::size_t before = medium.LaunchRecords().size();
    const unsigned long long started = Now();
    if (medium.RunRuntime("", kTimeoutMs) != 0)
        return false;
    const std::vector<LaunchRecord> records = medium.WaitForLaunchRecords(before + 1, kTimeoutMs);
    if (records.size() <= before)
        return false;
    *elapsedMs = Milliseconds(records.back().time - started);
    return true;
}

// Milliseconds since midnight of a diagnostic log line ("YYYY-MM-DD hh:mm:ss.mmm [pid] text").
double LineTimeMs(const std::string& line)
{
    unsigned hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
    if (std::sscanf(line.c_str(), "%*u-%*u-%*u %u:%u:%u.%u", &hours, &minutes, &seconds, &milliseconds) != 4)
        return -1;
    return ((hours * 60.0 + minutes) * 60 + seconds) * 1000 + milliseconds;
}

// From the bootstrapper's first logged step to its logged start of the runtime.
double LoggedStartUpMs(const std::string& logPath)
{
    std::ifstream log(logPath);
    double first = -1, launched = -1;
    for (std::string line; std::getline(log, line);) {
        if (first < 0)
            first = LineTimeMs(line);
        if (line.find("] launch: started") != std::string::npos)
            launched = LineTimeMs(line);
    }
    return first < 0 || launched < 0 ? -1 : launched - first;
}

// One start of Setup.exe on a medium in `root` (a fresh temporary folder when empty), with its
// diagnostic log beside it.
bool StartThroughSetup(const std::string& root, double* elapsedMs, double* loggedMs)
{
    LauncherMedium medium("Setup.exe", true, root);
    if (!medium.Ready())
        return false;
    const std::string logPath = medium.Root() + "\\setup.log";
    SetEnvironmentVariableA("CORVANE_SETUP_LOG", logPath.c_str());
    const unsigned long long started = Now();
    std::vector<LaunchRecord> records;
    {
        SetupProcess setup(medium, "");
        records = medium.WaitForLaunchRecords(1, kTimeoutMs);
    }
    SetEnvironmentVariableA("CORVANE_SETUP_LOG", nullptr);
    if (records.empty())
        return false;
    *elapsedMs = Milliseconds(records[0].time - started);
    *loggedMs = LoggedStartUpMs(logPath);
    return *loggedMs >= 0;
}

// The runtime logs each round trip as "reply after N ms".
bool QueryRoundTrips(std::vector<double>* roundTripsMs)
{
    LauncherMedium medium;
    std::string script;
    for (int query = 0; query < kQueries; ++query)
        script += "query\n";
    if (!medium.Ready() || !medium.WriteScript(script))
        return false;
    SetupProcess setup(medium, "");
    if (!medium.WaitForTranscript("script done", 1, kTimeoutMs * 5))
        return false;
    const std::string prefix = "reply after ";
    for (const std::string& line : medium.Transcript())
        if (line.compare(0, prefix.size(), prefix) == 0)
            roundTripsMs->push_back(std::stod(line.substr(prefix.size())));
    return roundTripsMs->size() == static_cast<std::size_t>(kQueries);
}

// The runtime stays in the group while it sleeps, so that the bootstrapper stays held.
bool HeldProcessorShare(double* percent)
{
    LauncherMedium medium;
    if (!medium.Ready() || !medium.WriteScript("sleep 20000\nrelease\n"))
        return false;
    SetupProcess setup(medium, "");
    HWND splash = setup.WaitForSplash(kTimeoutMs);
    if (!splash || medium.WaitForLaunchRecords(1, kTimeoutMs).empty())
        return false;
    PostMessageA(splash, WM_COMMAND, IDCANCEL, 0);
    if (!WaitUntil([&] { return !IsWindowVisible(splash); }, kTimeoutMs))
        return false;
    const unsigned long long before = setup.ProcessorTime();
    Sleep(kHeldMs);
    if (!setup.IsRunning())
        return false;
    // A process that has run for seconds has used some time: none means the platform does not
    // report another process's times (Wine does not).
    const unsigned long long after = setup.ProcessorTime();
    *percent = after == 0 ? -1 : 100.0 * Milliseconds(after - before) / kHeldMs;
    return true;
}

}  // namespace

// With a drive as its argument ("M:", mapped to an empty folder), the start-up is measured on a
// medium at that drive's root too, side by side with the folder medium.
int main(int argc, char** argv)
{
    const std::string drive = argc > 1 ? argv[1] : "";
    std::vector<double> direct, throughSetup[2], logged[2];
    LauncherMedium baselineMedium;
    for (int run = 0; run < kRuns; ++run) {
        double directMs = 0;
        if (!baselineMedium.Ready() || !StartRuntimeDirectly(baselineMedium, &directMs)) {
            std::fprintf(stderr, "run %d failed\n", run + 1);
            return 1;
        }
        direct.push_back(directMs);
        for (int driveRoot = 0; driveRoot <= (drive.empty() ? 0 : 1); ++driveRoot) {
            double setupMs = 0, loggedMs = 0;
            if (!StartThroughSetup(driveRoot ? drive : "", &setupMs, &loggedMs)) {
                std::fprintf(stderr, "run %d failed\n", run + 1);
                return 1;
            }
            throughSetup[driveRoot].push_back(setupMs);
            logged[driveRoot].push_back(loggedMs);
        }
    }
    const double baseline = Median(direct);
    std::printf("runtime started directly (baseline): median %.1f ms of %d\n", baseline, kRuns);
    for (int driveRoot = 0; driveRoot <= (drive.empty() ? 0 : 1); ++driveRoot) {
        const double measured = Median(throughSetup[driveRoot]);
        std::printf("%-11s Setup.exe start to runtime start: median %.1f ms of %d (%.2f x baseline); "
                    "logged first step to runtime started: median %.1f ms\n",
                    driveRoot ? "drive root:" : "folder:", measured, kRuns, measured / baseline,
                    Median(logged[driveRoot]));
    }

    std::vector<double> roundTrips;
    if (!QueryRoundTrips(&roundTrips)) {
        std::fprintf(stderr, "query round trips failed\n");
        return 1;
    }
    std::printf("executer query to reply:             median %.0f ms, 95th percentile %.0f ms of %d\n",
                Median(roundTrips), Percentile(roundTrips, 95), kQueries);

    double share = 0;
    if (!HeldProcessorShare(&share)) {
        std::fprintf(stderr, "held measurement failed\n");
        return 1;
    }
    if (share < 0)
        std::printf("processor time while held, splash closed: not reported for other processes here;\n"
                    "  measure from the host: utime + stime in /proc/<pid>/stat of Setup.exe over 10 s\n");
    else
        std::printf("processor time while held, splash closed: %.3f %% of one core over %lu s\n", share,
                    kHeldMs / 1000);
    return 0;
}
