#include "CDumpContext.h"
#include "CMemFile.h"
#include "CString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <class Target>
void DumpPieces(Target* target)
{
    CDumpContext dc(target);
    dc << "n=" << -12 << " " << 4000000000UL << CString("a\0b", 3) << static_cast<const char*>(nullptr)
       << 7u << LONG(-3);
    dc.Flush();
}

TEST(CDumpContextTest, PiecesGoToAStringOrAFileExactlyAsWritten)
{
    const char pieces[] = "n=-12 4000000000a\0b7-3";
    const std::string expected(pieces, sizeof(pieces) - 1);
    CString text("before:");
    DumpPieces(&text);
    EXPECT_EQ("before:" + expected, std::string(static_cast<const char*>(text), text.GetLength()));

    CMemFile file;
    DumpPieces<CFile>(&file);
    std::string written(file.GetLength(), '\0');
    file.SeekToBegin();
    file.Read(&written[0], static_cast<UINT>(written.size()));
    EXPECT_EQ(expected, written);

    DumpPieces<CString>(nullptr);
}

}  // namespace
