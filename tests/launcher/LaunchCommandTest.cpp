#include "LaunchCommand.h"
#include "ScreenCentring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kFixedStart = "Lumeplay.exe RiRarud SetupProgram=ZuViruz Server=None Wnd=Maximized";

std::string Launch(bool isNT, const char* commandLine)
{
    char buffer[kLaunchCommandBuffer];
    FormatLaunchCommand(buffer, isNT, commandLine);
    return buffer;
}

TEST(LaunchCommand, NtNamesTheExecuterChannelBeforeTheCommandLine)
{
    EXPECT_EQ(kFixedStart + " Executer=DispCvGSetup /q", Launch(true, "/q"));
}

TEST(LaunchCommand, NineXPassesOnlyTheCommandLine)
{
    EXPECT_EQ(kFixedStart + " ", Launch(false, ""));
    EXPECT_EQ(kFixedStart + " a \"b c\" %s %d", Launch(false, "a \"b c\" %s %d"));
}

TEST(LaunchCommand, LongCommandLineIsCutTo799Characters)
{
    std::string longLine(1000, 'x');
    for (std::size_t i = 0; i < longLine.size(); i += 10)
        longLine[i] = static_cast<char>('0' + i / 10 % 10);
    char kept[kCommandLineBuffer];
    std::fill(std::begin(kept), std::end(kept), '#');
    CopyCommandLine(kept, longLine.c_str());
    EXPECT_EQ(longLine.substr(0, 799), std::string(kept));

    const std::string command = Launch(true, kept);
    EXPECT_EQ(889u, command.size());
    EXPECT_EQ(kFixedStart + " Executer=DispCvGSetup " + longLine.substr(0, 799), command);
}

TEST(LaunchCommand, ShortCommandLineLeavesTheRestOfTheCopyZero)
{
    char kept[kCommandLineBuffer];
    std::fill(std::begin(kept), std::end(kept), '#');
    CopyCommandLine(kept, "/s");
    EXPECT_EQ("/s", std::string(kept));
    EXPECT_EQ(std::string(kCommandLineBuffer - 2, '\0'), std::string(kept + 2, kCommandLineBuffer - 2));
    CopyCommandLine(kept, nullptr);
    EXPECT_EQ("", std::string(kept));
}

TEST(ScreenCentring, WindowIsPlacedHalfOfTheSpareSpaceIn)
{
    // A 480 by 350 window on an 800 by 600 screen, wherever it was before.
    EXPECT_EQ(160, CentredPosition(800, 0, 480));
    EXPECT_EQ(125, CentredPosition(600, 0, 350));
    EXPECT_EQ(160, CentredPosition(800, 37, 517));
    EXPECT_EQ(124, CentredPosition(600, 0, 351));
    // Larger than the screen: the excess is split, rounding toward zero.
    EXPECT_EQ(-50, CentredPosition(800, 0, 900));
    EXPECT_EQ(-50, CentredPosition(800, 0, 901));
}

}  // namespace
