// The executer service between Setup.exe and the scripted stand-in runtime, as real processes
// under Wine. The medium lies on a drive of its own (M:, mapped in the test prefix): at its root,
// as on a CD, and in a folder of it, as a download unpacked.
#include "EndToEndSupport.h"
#include "LauncherMedium.h"
#include "SetupProcess.h"
#include "Win32Owners.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kDrive = "M:";
const std::string kChannelArgument = "Executer=DispCvGSetup";
const std::string kExecuterReply = "event 0xE004 from 0x0 size 0";

class ExecuterEndToEnd : public ::testing::Test {
protected:
    // A case without its medium ends here, before it starts anything.
    void SetUp() override { ASSERT_TRUE(m_medium.Ready()) << "is drive " << kDrive << " mapped in the prefix?"; }

    // Starts the bootstrapper on a medium whose runtime plays `script`, and waits until the
    // runtime has played it (or logged `until`).
    void StartWithScript(const std::string& script, const std::string& until = "script done")
    {
        ASSERT_TRUE(m_medium.WriteScript(script));
        m_setup.reset(new SetupProcess(m_medium, ""));
        m_splash = m_setup->WaitForSplash(kStartMs);
        ASSERT_NE(nullptr, m_splash);
        ASSERT_TRUE(m_medium.WaitForTranscript(until, 1, kStartMs)) << Dump();
    }

    // As StartWithScript, with a member of the group in this process to the end of the case.
    void StartWithMember(const std::string& script)
    {
        ASSERT_NO_FATAL_FAILURE(StartWithScript(kAwaitMember + script, "step 1: await"));
        m_member = JoinWhileTheRuntimeWaits(m_medium);
        ASSERT_NE(nullptr, m_member) << Dump();
        ASSERT_TRUE(m_medium.WaitForTranscript("script done", 1, kStartMs)) << Dump();
    }

    void CloseSplash() { ASSERT_TRUE(SendToSplash(m_splash, WM_COMMAND, IDCANCEL)); }

    // A further run of the runtime that plays `script` while the bootstrapper runs.
    void PlayAgain(const std::string& script)
    {
        ASSERT_TRUE(m_medium.WriteScript(script));
        EXPECT_EQ(0u, m_medium.RunRuntime(kChannelArgument, kStartMs)) << Dump();
    }

    void ExpectEndsByItself()
    {
        ASSERT_TRUE(m_setup->WaitForExit(kStartMs)) << Dump();
        EXPECT_EQ(0u, m_setup->ExitCode());
    }

    // The steps of the diagnostic log that start with one of `kinds`, each followed by ";".
    std::string LoggedSteps(std::initializer_list<const char*> kinds) const
    {
        std::ifstream log(m_logPath, std::ios::binary);
        std::string steps;
        for (std::string line; std::getline(log, line);) {
            const std::string step = line.substr(line.find("] ") + 2, line.size() - line.find("] ") - 3);
            for (const char* kind : kinds)
                if (step.rfind(kind, 0) == 0)
                    steps += step + ";";
        }
        return steps;
    }

    std::string Dump() const
    {
        std::string text;
        for (const std::string& line : m_medium.Transcript())
            text += "\n  " + line;
        return text;
    }

    const std::string m_logPath = kDrive + "\\setup.log";
    LogVariable m_logVariable{m_logPath.c_str()};
    LauncherMedium m_medium{"Setup.exe", true, kDrive};
    std::unique_ptr<SetupProcess> m_setup;
    HWND m_splash = nullptr;
    std::unique_ptr<GroupMember> m_member;
};

struct DirectoryCase {
    const char* request;    // the script line
    const char* program;    // where the program lies on the medium
    const char* directory;  // the current directory it started in
    const char* commandLine;
};

// The bootstrapper starts the runtime from M:\setup, so that is where each case begins.
const DirectoryCase kDirectoryCases[] = {
    {"create-process setup\\bin\\inst.exe", "setup\\bin\\inst.exe", "M:\\setup\\bin", "inst.exe"},
    {"create-process \\inst.exe", "inst.exe", "M:\\", "inst.exe"},
    {"create-process inst.exe /s", "setup\\inst.exe", "M:\\setup", "inst.exe /s"},
    {"create-process tools\\inst.exe /dir=c:\\x", "x.exe", "M:\\", "x"},
    {"winexec 5 setup\\x.exe /s", "setup\\x.exe", "M:\\", "setup\\x.exe /s"},
    {"winexec 5 x.exe /p=a\\b", "setup\\x.exe", "M:\\setup", "x.exe /p=a\\b"},
    {"winexec 5 setup\\x.exe", "setup\\setup\\x.exe", "M:\\setup", "setup\\x.exe"},
};

class ExecuterDirectory : public ExecuterEndToEnd, public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(ExecuterDirectory, ProgramStartsWhereTheRequestLeavesTheDirectory)
{
    const DirectoryCase& c = GetParam();
    ASSERT_TRUE(m_medium.AddProgram(c.program));
    // The query's reply comes after the request was handled; the release lets the bootstrapper
    // end once the splash has closed.
    StartWithScript(std::string(c.request) + "\nquery\nrelease\n");
    const std::vector<LaunchRecord> started = m_medium.WaitForLaunchRecords(1, kStartMs, c.program);
    ASSERT_EQ(1u, started.size()) << Dump();
    EXPECT_EQ(0, lstrcmpiA(c.directory, started[0].directory.c_str())) << started[0].directory;
    EXPECT_EQ(c.commandLine, started[0].commandLine);
    CloseSplash();
    ExpectEndsByItself();
}

INSTANTIATE_TEST_SUITE_P(Requests, ExecuterDirectory, ::testing::ValuesIn(kDirectoryCases));

// A medium unpacked into a folder of the drive, whose name has a blank and a letter outside
// ASCII, started as the shell starts it and from a prompt in another folder. Decoys wait where a
// path taken from the drive's root or from the prompt's folder would lead: the fixture's medium
// at M:'s root with its setup\bin\probe.exe, and the prompt folder's setup\Lumeplay.exe.
TEST_F(ExecuterEndToEnd, FolderMediumStartsOnlyItsOwnProgramsFromAnyStartFolder)
{
    const std::string probe = "setup\\bin\\probe.exe", promptRuntime = "me\\setup\\Lumeplay.exe";
    ASSERT_TRUE(m_medium.AddProgram(probe) && m_medium.AddProgram(promptRuntime));
    LauncherMedium folder("Setup.exe", true, kDrive + "\\My Product 2\xE9");
    ASSERT_TRUE(folder.Ready() && folder.AddProgram(probe));
    ASSERT_TRUE(folder.WriteScript("create-process " + probe + " arg\nquery\nrelease\n"));
    for (const std::string& startFolder : {folder.Root(), kDrive + "\\me"}) {
        m_setup.reset(new SetupProcess(folder, "/q", startFolder));
        m_splash = m_setup->WaitForSplash(kStartMs);
        ASSERT_NE(nullptr, m_splash);
        const std::vector<LaunchRecord> runtime = folder.WaitForLaunchRecords(1, kStartMs);
        const std::vector<LaunchRecord> started = folder.WaitForLaunchRecords(1, kStartMs, probe);
        ASSERT_TRUE(runtime.size() == 1 && started.size() == 1) << startFolder << Dump();
        EXPECT_EQ(0, lstrcmpiA(folder.SetupFolder().c_str(), runtime[0].directory.c_str())) << runtime[0].directory;
        EXPECT_EQ(kFixedStart + " " + kChannelArgument + " /q", runtime[0].commandLine);
        EXPECT_EQ(0, lstrcmpiA((folder.SetupFolder() + "\\bin").c_str(), started[0].directory.c_str()));
        EXPECT_EQ("probe.exe arg", started[0].commandLine);
        CloseSplash();
        ExpectEndsByItself();
        EXPECT_EQ("start: medium folder " + folder.Root() + ";", LoggedSteps({"start: medium"}));
        for (const std::string& decoy : {std::string(LauncherMedium::kRuntime), probe, promptRuntime})
            EXPECT_TRUE(m_medium.LaunchRecords(decoy).empty()) << decoy << " started from " << startFolder;
        for (const std::string& log : {m_logPath, folder.SetupFolder() + "\\Lumeplay.log",
                                       folder.SetupFolder() + "\\bin\\probe.log"})
            DeleteFileA(log.c_str());
    }
}

TEST_F(ExecuterEndToEnd, EachQueryGetsExactlyOneReplyWithoutData)
{
    StartWithScript("query\nquery\nquery\nsleep 1000\n");
    EXPECT_EQ(3u, m_medium.CountTranscript("reply after")) << Dump();
    EXPECT_EQ(3u, m_medium.CountTranscript("event 0xE004")) << Dump();
    EXPECT_EQ(3u, m_medium.CountTranscript(kExecuterReply)) << Dump();
}

TEST_F(ExecuterEndToEnd, TwoRetainsAndOneReleaseHoldUntilTwoMoreReleases)
{
    // The runtime ends after each script: the holds must stay all the same.
    StartWithMember("retain\nretain\nrelease\nquery\n");
    CloseSplash();
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return m_setup->IsRunning(); }));
    PlayAgain("release\nquery\n");
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return m_setup->IsRunning(); }));
    PlayAgain("release\n");
    ExpectEndsByItself();

    // Each request and its outcome, in the order the executer took them.
    EXPECT_EQ("executer: retain, keep-alive count 2;executer: retain, keep-alive count 3;"
              "executer: release, keep-alive count 2;executer: query answered;"
              "executer: release, keep-alive count 1;executer: query answered;"
              "executer: release, keep-alive count 0;",
              LoggedSteps({"executer: "}));
}

TEST_F(ExecuterEndToEnd, OneReleaseWithoutRetainEndsTheHeldBootstrapper)
{
    // The runtime dismisses the splash itself, as it does once it has a window of its own.
    StartWithMember("query\nclose-splash\n");
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(m_splash); }, kStartMs)) << Dump();
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return m_setup->IsRunning(); }));
    PlayAgain("release\n");
    ExpectEndsByItself();
}

// Requests a peer may send: no data, a block too small for the record, text without a NUL
// (longer than a page), an empty command, a code nobody knows, a reply that is not the
// executer's. The bootstrapper must stay up, answer the query after them, and end as usual.
TEST_F(ExecuterEndToEnd, HostilePayloadsLeaveTheBootstrapperAnswering)
{
    const std::string unterminated(5000, 'A');
    StartWithScript("send 0xE001\n"
                    "send 0xE002\n"
                    "send 0xE002 ab\n"
                    "send 0xE002 %05%00%00%00\n"
                    "send 0xE002 %05%00%00%00%00\n"
                    "send 0xE001 %00\n"
                    "send 0xE001 " + unterminated + "\n"
                    "send 0xE002 %05%00%00%00" + unterminated + "\n"
                    "send 0xE0FF junk\n"
                    "send 0xE004\n"
                    "query\n"
                    "release\n");
    EXPECT_EQ(1u, m_medium.CountTranscript("reply after")) << Dump();
    EXPECT_EQ(1u, m_medium.CountTranscript(kExecuterReply)) << Dump();
    EXPECT_TRUE(m_setup->IsRunning());
    CloseSplash();
    ExpectEndsByItself();
}

// Ends the stand-in runtime that `setup` started, as a crash or the task manager would.
bool KillRuntimeOf(const SetupProcess& setup)
{
    const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID == setup.ProcessId() && lstrcmpiA(entry.szExeFile, "Lumeplay.exe") == 0) {
            const KernelHandle runtime(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
            return TerminateProcess(runtime.Get(), 9) && WaitForSingleObject(runtime.Get(), kStartMs) == WAIT_OBJECT_0;
        }
    }
    return false;
}

struct AbandonCase {
    const char* script;  // the runtime takes a hold of its own and dismisses the splash
    const char* until;   // the runtime's last line before it ends, or is killed
    bool killed;
};

class AbandonedHolds : public ExecuterEndToEnd, public ::testing::WithParamInterface<AbandonCase> {};

// A runtime that ends without releasing, by itself or killed, leaves nobody who could release the
// bootstrapper: it drops every hold and ends by itself.
TEST_P(AbandonedHolds, BootstrapperEndsOnceTheRuntimeHasGone)
{
    StartWithScript(GetParam().script, GetParam().until);
    if (GetParam().killed) {
        ASSERT_TRUE(KillRuntimeOf(*m_setup));
    }
    ExpectEndsByItself();
    EXPECT_EQ("executer: retain, keep-alive count 2;watch: nobody left to release, keep-alive count 2 dropped to 0;"
              "end: splash closed, keep-alive count 0;",
              LoggedSteps({"executer: re", "watch: nobody", "end: "}));
}

INSTANTIATE_TEST_SUITE_P(Runtime, AbandonedHolds,
                         ::testing::Values(AbandonCase{"retain\nclose-splash\nexit 3\n", "exit 3", false},
                                           AbandonCase{"retain\nclose-splash\nsleep 600000\n", "step 3: sleep", true}));

// The runtime starts a second member, waits until it holds the bootstrapper, and ends, with or
// without its own release. The member keeps the bootstrapper until its release is the last one,
// or else until it leaves the group.
TEST_F(ExecuterEndToEnd, SecondMemberKeepsTheBootstrapperUntilItReleasesOrLeaves)
{
    const std::string helper = "setup\\Helper.exe";
    for (bool runtimeReleases : {true, false}) {
        SCOPED_TRACE(runtimeReleases ? "runtime released" : "runtime kept its hold");
        // The last round's member logs its end a moment before its process lets go of its file.
        ASSERT_TRUE(WaitUntil([&] { return m_medium.AddProgram(helper); }, kStartMs));
        ASSERT_TRUE(m_medium.WriteScript("retain\nsleep 1500\nrelease\nsleep 1500\n", helper));
        StartWithScript("create-process " + helper + " " + kChannelArgument + "\nawait 0xE005\n" +
                        (runtimeReleases ? "release\n" : "") + "close-splash\n");
        ExpectEndsByItself();
        if (!runtimeReleases) {
            EXPECT_EQ(1u, m_medium.CountTranscript("script done", helper)) << "the member had left";
        }
        EXPECT_EQ(runtimeReleases ? "executer: retain, keep-alive count 2;executer: release, keep-alive count 1;"
                                    "executer: release, keep-alive count 0;end: splash closed, keep-alive count 0;"
                                  : "executer: retain, keep-alive count 2;executer: release, keep-alive count 1;"
                                    "watch: nobody left to release, keep-alive count 1 dropped to 0;"
                                    "end: splash closed, keep-alive count 0;",
                  LoggedSteps({"executer: re", "watch: nobody", "end: "}));
        // Done with this round: the member has ended, the log and the transcripts start afresh.
        ASSERT_TRUE(m_medium.WaitForTranscript("script done", 1, kStartMs, helper));
        for (const char* file : {"\\setup.log", "\\setup\\Helper.log", "\\setup\\Lumeplay.log"})
            DeleteFileA((kDrive + file).c_str());
    }
}

// A script with a line that is no command is refused whole: the runtime logs the line, joins
// nothing and ends with exit code 2. No bootstrapper is needed for that.
TEST_F(ExecuterEndToEnd, MalformedScriptIsRefusedBeforeAnythingIsSent)
{
    const char* const badLines[] = {
        "frobnicate", "create-process", "winexec 5", "winexec five setup\\x.exe", "sleep",
        "sleep -1", "send", "send 0xE001 %4", "send 0xE001 %G0", "exit", "exit 0x1FFFFFFFF", "query now",
        "await", "await retain",
    };
    ASSERT_TRUE(m_medium.Ready());
    for (const char* bad : badLines) {
        ASSERT_TRUE(m_medium.WriteScript(std::string("query\n") + bad + "\nretain\n"));
        const std::size_t before = m_medium.Transcript().size();
        EXPECT_EQ(2u, m_medium.RunRuntime(kChannelArgument, kStartMs)) << bad;
        const std::vector<std::string> transcript = m_medium.Transcript();
        ASSERT_EQ(before + 1, transcript.size()) << bad << Dump();
        EXPECT_EQ("line 2 is not a command: " + std::string(bad), transcript.back());
    }
}

// What another process made under one of the channel's names before Setup.exe starts, kept open
// while it runs; without `make`, the whole group, founded by a member.
struct SquatCase {
    const char* object;  // the name taken; for a whole member, the first one Setup.exe meets
    HANDLE (*make)(const char* name);
};

HANDLE Mutex(const char* name) { return CreateMutexA(nullptr, FALSE, name); }
HANDLE HeldMutex(const char* name) { return CreateMutexA(nullptr, TRUE, name); }
HANDLE Mapping(const char* name) { return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, name); }
HANDLE Event(const char* name) { return CreateEventA(nullptr, TRUE, FALSE, name); }

const SquatCase kSquatCases[] = {
    {"DispCvGSetup_ArrayMutex", nullptr},   {"DispCvGSetup_ArrayMutex", HeldMutex},
    {"DispCvGSetup_Array", Mapping},        {"DispCvGSetup_Array_0", Mapping},
    {"DispCvGSetup_Array_2", Mapping},      {"COProcDispatcherHeapMutex", Mutex},
    {"COProcDispatcherHeap", Mapping},      {"DispCvGSetup_ArrayMutex", Event},  // another type
};

class SquattedChannel : public ExecuterEndToEnd, public ::testing::WithParamInterface<SquatCase> {};

// The bootstrapper leaves a channel it did not make alone: the runtime is not told it, nothing the
// group asks for is started (a served executer would take it before ending), and the bootstrapper
// ends with its splash.
TEST_P(SquattedChannel, BootstrapperServesNothingAndEndsWithTheSplash)
{
    const SquatCase& squat = GetParam();
    const std::string program = "setup\\bin\\inst.exe";
    // This process squats, then asks for a program start through a member of the group.
    auto member = squat.make ? nullptr : std::make_unique<GroupMember>();
    const KernelHandle object(squat.make ? squat.make(squat.object) : nullptr);
    ASSERT_TRUE(member || object.IsOpen()) << GetLastError();
    ASSERT_TRUE(m_medium.AddProgram(program));
    m_setup.reset(new SetupProcess(m_medium, ""));
    m_splash = m_setup->WaitForSplash(kStartMs);
    ASSERT_NE(nullptr, m_splash);
    const std::vector<LaunchRecord> runtime = m_medium.WaitForLaunchRecords(1, kStartMs);
    ASSERT_EQ(1u, runtime.size());
    EXPECT_EQ(std::string::npos, runtime[0].commandLine.find("Executer=")) << runtime[0].commandLine;

    if (!member)
        member = std::make_unique<GroupMember>();
    member->Send(COE_EXEC_CREATE_PROCESS, program);
    CloseSplash();
    ExpectEndsByItself();
    EXPECT_EQ("executer: channel \"DispCvGSetup\" not served: \"" + std::string(squat.object) +
                  "\" existed before this bootstrapper created it;end: splash closed, keep-alive count 0;",
              LoggedSteps({"executer: ", "end: "}));
    EXPECT_TRUE(m_medium.LaunchRecords(program).empty());
}

INSTANTIATE_TEST_SUITE_P(Objects, SquattedChannel, ::testing::ValuesIn(kSquatCases));

}  // namespace
