// The members that hand the text to Windows: code-page conversion and message formatting.
#include "CMemoryException.h"
#include "FrameworkExceptionTesting.h"
#include "RkStringTesting.h"

#include <gtest/gtest.h>

namespace {

TEST(RkStringPlatform, CodePageConversionWritesOnlyItsOwnCopy)
{
    const char ansi[] = "Gr\xFC\xDF" "e, \xE4 plain";  // u-umlaut, sharp s, a-umlaut
    RkString text(ansi);
    RkString sharer(text);

    text.CharToOemA();
    EXPECT_EQ(RkString(ansi), sharer) << "a shared block must never be converted in place";
    EXPECT_EQ(1, Header(sharer).refCount);
    EXPECT_EQ(1, Header(text).refCount);
    EXPECT_EQ(text.GetLength(), sharer.GetLength());
    if (GetOEMCP() != GetACP()) {
        EXPECT_NE(sharer, text) << "the accented letters take their OEM code points";
    }
    EXPECT_EQ(" plain", text.Right(6)) << "plain ASCII stays as it is";

    text.OemToCharA();
    EXPECT_EQ(RkString(ansi), text) << "letters both code pages have come back unchanged";
}

TEST(RkStringPlatform, FormatMessageFillsInsertsInOrder)
{
    RkString text("old");
    RkString sharer(text);
    text.FormatMessageA("%2 before %1!s!", "first", "second");
    EXPECT_EQ(RkString("second before first"), text);
    EXPECT_EQ(RkString("old"), sharer);
}

TEST(RkStringPlatform, FormatMessageFailureRaisesAndKeepsTheText)
{
    RkString text("kept");
    EXPECT_TRUE(Raises<CMemoryException>([&] { text.FormatMessageA(""); }));
    EXPECT_EQ(RkString("kept"), text);
}

}  // namespace
