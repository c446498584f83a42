// The executer service between Setup.exe and the scripted stand-in runtime, as real processes
// under Wine. The medium lies on a drive of its own (M:, mapped in the test prefix), so that the
// executer's changes to the root "\" land on the medium.
#include "EndToEndSupport.h"
#include "LauncherMedium.h"
#include "SetupProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

const std::string kDrive = "M:";
const std::string kChannelArgument = "Executer=DispCvGSetup";
const std::string kExecuterReply = "event 0xE004 from 0x0 size 0";

class ExecuterEndToEnd : public ::testing::Test {
protected:
    // Starts the bootstrapper on a medium whose runtime plays `script`, and waits until the
    // runtime has played it.
    void StartWithScript(const std::string& script)
    {
        ASSERT_TRUE(m_medium.Ready()) << "is drive " << kDrive << " mapped in the prefix?";
        ASSERT_TRUE(m_medium.WriteScript(script));
        m_setup.reset(new SetupProcess(m_medium, ""));
        m_splash = m_setup->WaitForSplash(kStartMs);
        ASSERT_NE(nullptr, m_splash);
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

    std::string Dump() const
    {
        std::string text;
        for (const std::string& line : m_medium.Transcript())
            text += "\n  " + line;
        return text;
    }

    LauncherMedium m_medium{"Setup.exe", true, kDrive};
    std::unique_ptr<SetupProcess> m_setup;
    HWND m_splash = nullptr;
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

TEST_F(ExecuterEndToEnd, EachQueryGetsExactlyOneReplyWithoutData)
{
    StartWithScript("query\nquery\nquery\nsleep 1000\n");
    EXPECT_EQ(3u, m_medium.CountTranscript("reply after")) << Dump();
    EXPECT_EQ(3u, m_medium.CountTranscript("event 0xE004")) << Dump();
    EXPECT_EQ(3u, m_medium.CountTranscript(kExecuterReply)) << Dump();
}

TEST_F(ExecuterEndToEnd, TwoRetainsAndOneReleaseHoldUntilTwoMoreReleases)
{
    const std::string logPath = kDrive + "\\setup.log";
    LogVariable variable(logPath.c_str());
    StartWithScript("retain\nretain\nrelease\nquery\n");
    CloseSplash();
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return m_setup->IsRunning(); }));
    PlayAgain("release\nquery\n");
    EXPECT_TRUE(StaysFor(kSettleMs, [&] { return m_setup->IsRunning(); }));
    PlayAgain("release\n");
    ExpectEndsByItself();

    // Each request and its outcome, in the order the executer took them.
    std::ifstream log(logPath, std::ios::binary);
    std::string requests;
    for (std::string line; std::getline(log, line);)
        if (line.find("executer: ") != std::string::npos)
            requests += line.substr(line.find("executer: ") + 10, line.size() - line.find("executer: ") - 11) + ";";
    EXPECT_EQ("retain, keep-alive count 2;retain, keep-alive count 3;release, keep-alive count 2;"
              "query answered;release, keep-alive count 1;query answered;release, keep-alive count 0;",
              requests);
}

TEST_F(ExecuterEndToEnd, OneReleaseWithoutRetainEndsTheHeldBootstrapper)
{
    // The runtime dismisses the splash itself, as it does once it has a window of its own.
    StartWithScript("query\nclose-splash\n");
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

// A script with a line that is no command is refused whole: the runtime logs the line, joins
// nothing and ends with exit code 2. No bootstrapper is needed for that.
TEST_F(ExecuterEndToEnd, MalformedScriptIsRefusedBeforeAnythingIsSent)
{
    const char* const badLines[] = {
        "frobnicate", "create-process", "winexec 5", "winexec five setup\\x.exe", "sleep",
        "sleep -1", "send", "send 0xE001 %4", "send 0xE001 %G0", "exit", "exit 0x1FFFFFFFF", "query now",
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

}  // namespace
