#include "MediumPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS, where the second byte of a character may be a backslash's 0x5C.
bool ShiftJis(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

TEST(MediumPath, FolderOfModuleAndPathsInIt)
{
    const std::string deep = "D:\\" + std::string(236, 'a') + "\\", none;  // a folder of 239 characters
    const struct {
        std::string path, folder;  // folder empty: no medium
        LeadByteTest isLeadByte;
    } cases[] = {{"D:\\Setup.exe", "D:\\", NoLeadBytes},
                 {"M:\\My Product 2\xE9\\Setup.exe", "M:\\My Product 2\xE9", NoLeadBytes},
                 {"M:\\a\\\x95\\Setup.exe", "M:\\a", ShiftJis},  // the character ending in 0x5C is a name
                 {deep + std::string(19, 'b'), deep.substr(0, 239), NoLeadBytes},
                 {deep + std::string(20, 'b'), none, NoLeadBytes},  // 260 characters
                 {"Setup.exe", none, NoLeadBytes}};
    for (const auto& c : cases) {
        char folder[kPathBuffer] = "stale";
        EXPECT_EQ(!c.folder.empty(), FolderOfModule(c.path.c_str(), c.isLeadByte, folder)) << c.path;
        EXPECT_EQ(c.folder, folder) << c.path;
    }
    char path[kPathBuffer];
    const std::string fits(240, 'f');  // with a backslash and setup\Lumeplay.exe, 259 characters
    EXPECT_TRUE(JoinPath(fits.c_str(), "setup\\Lumeplay.exe", path) && path == fits + "\\setup\\Lumeplay.exe");
    EXPECT_TRUE(JoinPath("D:\\", "setup", path) && std::string(path) == "D:\\setup");
    EXPECT_FALSE(JoinPath((fits + "f").c_str(), "setup\\Lumeplay.exe", path) || path[0] != '\0');
    EXPECT_FALSE(JoinPath(fits.c_str(), "setup\\Lumeplay.exe", path, 1));
}

}  // namespace
