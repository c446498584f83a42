// The executer's payloads come from another process: these cases hand it blocks of exactly the
// claimed size (so that the sanitizers catch any read past them) and hostile shapes.
#include "ExecuterProtocol.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A heap block of exactly these bytes, no terminator added.
std::unique_ptr<char[]> ExactBlock(const std::string& bytes)
{
    std::unique_ptr<char[]> block(new char[bytes.size()]);
    bytes.copy(block.get(), bytes.size());
    return block;
}

TEST(ExecuterProtocol, TextLengthStaysWithinTheBlock)
{
    struct Case {
        std::string bytes;
        long claimed;
        std::size_t length;
    } cases[] = {
        {std::string("inst.exe\0junk", 13), 13, 8},
        {"inst.exe", 8, 8},                    // no NUL: the block ends the text
        {"inst.exe", 3, 3},                    // a claimed size below the text
        {std::string("\0x", 2), 2, 0},
    };
    for (const Case& c : cases) {
        auto block = ExactBlock(c.bytes);
        EXPECT_EQ(c.length, BoundedTextLength(block.get(), c.claimed)) << c.bytes;
    }
    // No block, or a size that claims none: the pointer is not followed.
    EXPECT_EQ(0u, BoundedTextLength(nullptr, 100));
    EXPECT_EQ(0u, BoundedTextLength(reinterpret_cast<const char*>(16), 0));
    EXPECT_EQ(0u, BoundedTextLength(reinterpret_cast<const char*>(16), -5));
}

TEST(ExecuterProtocol, CreateProcessTextIsSplitAtTheLastBackslash)
{
    struct Case {
        const char* text;
        bool changesDirectory;
        const char* directory;
        const char* commandLine;
    } cases[] = {
        {"setup\\bin\\inst.exe", true, "setup\\bin", "inst.exe"},
        {"\\inst.exe", true, "", "inst.exe"},
        {"inst.exe /s", false, "", "inst.exe /s"},
        {"tools\\inst.exe /dir=c:\\x", true, "tools\\inst.exe /dir=c:", "x"},
        {"setup\\", true, "setup", ""},
    };
    for (const Case& c : cases) {
        const ProcessRequest request = SplitProcessRequest(c.text, std::string(c.text).size());
        EXPECT_EQ(c.changesDirectory, request.changesDirectory) << c.text;
        EXPECT_EQ(c.directory, request.directory) << c.text;
        EXPECT_EQ(c.commandLine, request.commandLine) << c.text;
    }
}

TEST(ExecuterProtocol, WinExecPayloadIsReadWithinItsBounds)
{
    WinExecRequest request;
    EXPECT_FALSE(ReadWinExecRequest(nullptr, 64, &request));
    auto tooSmall = ExactBlock("abc");
    EXPECT_FALSE(ReadWinExecRequest(tooSmall.get(), 3, &request));

    // The show command alone: an empty command.
    auto showOnly = ExactBlock(std::string("\x05\0\0\0", 4));
    ASSERT_TRUE(ReadWinExecRequest(showOnly.get(), 4, &request));
    EXPECT_EQ(5u, request.showCommand);
    EXPECT_EQ("", request.commandText);

    // A command text without its NUL ends with the block.
    auto unterminated = ExactBlock(std::string("\x01\0\0\0run me", 10));
    ASSERT_TRUE(ReadWinExecRequest(unterminated.get(), 10, &request));
    EXPECT_EQ("run me", request.commandText);
}

}  // namespace
