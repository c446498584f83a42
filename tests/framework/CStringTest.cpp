#include "CMemoryException.h"
#include "CString.h"
#include "FrameworkExceptionTesting.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

TEST(CStringTest, KeepsNulBytesByLengthButShowsTextUpToTheFirstNul)
{
    CString text("ab\0cd", 5);
    EXPECT_EQ(5, text.GetLength());
    EXPECT_STREQ("ab", static_cast<LPCTSTR>(text));
    EXPECT_EQ('d', text[4]);

    CString copy(text);
    copy += text;
    EXPECT_EQ(10, copy.GetLength());
    EXPECT_EQ(0, std::memcmp(static_cast<LPCTSTR>(copy), "ab\0cdab\0cd", 10));

    CString fromPointer(static_cast<LPCTSTR>(text));
    EXPECT_EQ(2, fromPointer.GetLength());
}

TEST(CStringTest, BuildsFromCharactersNullPointersAnd16BitText)
{
    EXPECT_EQ(CString("xxx"), CString('x', 3));
    EXPECT_TRUE(CString('x', 0).IsEmpty());
    EXPECT_TRUE(CString(static_cast<LPCSTR>(nullptr)).IsEmpty());

    const unsigned short wide[] = {'H', 0xE9, 0x263A, '!', 0};
    CString narrow(wide);
    EXPECT_EQ(4, narrow.GetLength());
    EXPECT_EQ(CString("H\xE9?!"), narrow);

    CString assigned;
    assigned = 'q';
    EXPECT_EQ(CString("q"), assigned);
    assigned = reinterpret_cast<const unsigned char*>("uc");
    EXPECT_EQ(CString("uc"), assigned);
}

TEST(CStringTest, ConcatenatesInEveryOperandOrder)
{
    CString ab("ab");
    EXPECT_EQ(CString("abab"), ab + ab);
    EXPECT_EQ(CString("abc"), ab + "c");
    EXPECT_EQ(CString("cab"), "c" + ab);
    EXPECT_EQ(CString("abz"), ab + 'z');
    EXPECT_EQ(CString("zab"), 'z' + ab);

    CString grown;
    for (int i = 0; i < 1000; ++i)
        grown += static_cast<char>('a' + i % 26);
    EXPECT_EQ(1000, grown.GetLength());
    EXPECT_EQ('l', grown[999]);
    grown += static_cast<LPCSTR>(grown);  // appending its own text
    EXPECT_EQ(2000, grown.GetLength());
    EXPECT_EQ('a', grown[1000]);
}

TEST(CStringTest, ExtractsWithClampedArguments)
{
    CString text("abcdef");
    EXPECT_EQ(CString("abc"), text.Mid(-2, 3));
    EXPECT_EQ(CString("ef"), text.Mid(4, 10));
    EXPECT_TRUE(text.Mid(7, 1).IsEmpty());
    EXPECT_EQ(CString("cdef"), text.Mid(2));
    EXPECT_EQ(CString("ab"), text.Left(2));
    EXPECT_TRUE(text.Left(-1).IsEmpty());
    EXPECT_EQ(CString("ef"), text.Right(2));
    EXPECT_EQ(text, text.Right(100));
    EXPECT_EQ(CString("aab"), CString("aabxa").SpanIncluding("ab"));
    EXPECT_EQ(CString("key"), CString("key=value").SpanExcluding("="));
}

TEST(CStringTest, ComparesUnsignedBytesAndBufferAccessSetsTheLength)
{
    EXPECT_EQ(-1, CString("abc").Compare("abd"));
    EXPECT_EQ(1, CString("\xE9").Compare("z"));
    EXPECT_TRUE(CString("a") != "b");

    CString text("abc");
    char* chars = text.GetBuffer(10);
    std::strcpy(chars, "abcdefgh");
    text.ReleaseBuffer();
    EXPECT_EQ(8, text.GetLength());
    text.GetBufferSetLength(2);
    EXPECT_EQ(CString("ab"), text);
    text.Empty();
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_STREQ("", static_cast<LPCTSTR>(text));
}

TEST(CStringTest, BufferFilledToItsCapacityEndsThereAndImpossibleLengthsChangeNothing)
{
    for (const char* start : {"", "xy"}) {
        SCOPED_TRACE(start);
        CString text(start);
        std::memcpy(text.GetBuffer(6), "abcdef", 6);
        text.ReleaseBuffer();
        EXPECT_EQ(6, text.GetLength());
        EXPECT_EQ(CString("abcdef"), text);

        for (const int length : {-1, INT_MIN}) {
            EXPECT_TRUE(Raises<CMemoryException>([&] { text.GetBuffer(length); }));
            EXPECT_TRUE(Raises<CMemoryException>([&] { text.GetBufferSetLength(length); }));
        }
        EXPECT_EQ(CString("abcdef"), text);
    }
}

TEST(CStringTest, NullTextsAndNegativeLengthsAreSafe)
{
    EXPECT_TRUE(Raises<CMemoryException>([] { CString negative("abc", -1); }));
    EXPECT_EQ(CString(), CString(nullptr, 3));
    const CString text("abc");
    EXPECT_EQ(CString(), text.SpanIncluding(nullptr));
    EXPECT_EQ(text, text.SpanExcluding(nullptr));
}

}  // namespace
