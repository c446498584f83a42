#include "CDumpContext.h"
#include "CMemFile.h"
#include "CString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CDumpContextTest, PiecesGoToAStringOrAFileExactlyAsWritten)
{
    auto dump = [](CDumpContext& dc) { dc << "n=" << CString("a\0b", 3) << static_cast<const char*>(nullptr) << "!"; };
    const std::string expected("n=a\0b!", 6);
    CString text("before:");
    CDumpContext toText(&text);
    dump(toText);
    EXPECT_EQ("before:" + expected, std::string(static_cast<const char*>(text), text.GetLength()));

    CMemFile file;
    CDumpContext toFile(&file);
    dump(toFile);
    std::string written(file.GetLength(), '\0');
    file.SeekToBegin();
    file.Read(&written[0], static_cast<UINT>(written.size()));
    EXPECT_EQ(expected, written);

    CDumpContext nowhere(static_cast<CString*>(nullptr));
    dump(nowhere);
}

}  // namespace
