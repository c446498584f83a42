#include "MediumPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS, where the second byte of a character may be a backslash's 0x5C.
bool ShiftJisLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

const std::string kLongFolder = "D:\\" + std::string(236, 'a');  // 239 characters

struct FolderCase {
    std::string modulePath;
    LeadByteTest isLeadByte;
    const char* folder;  // null: no medium
};

TEST(MediumPath, FolderOfModule)
{
    const FolderCase cases[] = {
        {"D:\\Setup.exe", NoLeadBytes, "D:\\"},
        {"M:\\Downloads\\My Product 2\xE9\\Setup.exe", NoLeadBytes, "M:\\Downloads\\My Product 2\xE9"},
        {"\\\\server\\share\\Setup.exe", NoLeadBytes, "\\\\server\\share"},
        {"M:\\a\\\x95\\Setup.exe", ShiftJisLeadByte, "M:\\a"},  // the character ending in 0x5C is a name
        {"M:\\a\\\x95\\Setup.exe", NoLeadBytes, "M:\\a\\\x95"},
        {"M:\\\x95\\", ShiftJisLeadByte, "M:\\"},  // a name of one character, not a folder
        {kLongFolder + std::string(19, 'b') + "\\x", NoLeadBytes, nullptr},  // 260 characters
        {kLongFolder + "\\" + std::string(19, 'b'), NoLeadBytes, kLongFolder.c_str()},
        {"Setup.exe", NoLeadBytes, nullptr},
        {"D:\\setup\\", NoLeadBytes, nullptr},
        {"", NoLeadBytes, nullptr},
    };
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.modulePath);
        char folder[kPathBuffer] = "stale";
        EXPECT_EQ(c.folder != nullptr, FolderOfModule(c.modulePath.c_str(), c.isLeadByte, folder));
        EXPECT_EQ(c.folder ? c.folder : "", std::string(folder));
    }
    char folder[kPathBuffer];
    EXPECT_FALSE(FolderOfModule(nullptr, NoLeadBytes, folder));
}

struct JoinCase {
    std::string folder;
    const char* relative;
    std::size_t room;
    std::string path;  // empty: does not fit
};

TEST(MediumPath, JoinPath)
{
    const std::string fits(240, 'f');  // with a backslash and setup\Lumeplay.exe, 259 characters
    const JoinCase cases[] = {
        {"D:\\", "setup", 0, "D:\\setup"},
        {"M:\\My Product 2", "setup\\Lumeplay.exe", 0, "M:\\My Product 2\\setup\\Lumeplay.exe"},
        {"M:\\My Product 2", "", 0, "M:\\My Product 2"},
        {fits, "setup\\Lumeplay.exe", 0, fits + "\\setup\\Lumeplay.exe"},
        {fits + "f", "setup\\Lumeplay.exe", 0, ""},
        {fits, "setup\\Lumeplay.exe", 1, ""},
        {std::string(258, 'f'), "", 1, std::string(258, 'f')},
        {std::string(259, 'f'), "", 1, ""},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.folder.size());
        char path[kPathBuffer] = "stale";
        EXPECT_EQ(!c.path.empty(), JoinPath(c.folder.c_str(), c.relative, path, c.room));
        EXPECT_EQ(c.path, std::string(path));
    }
}

}  // namespace
