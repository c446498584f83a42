#include "ArchiveTesting.h"
#include "CArchiveException.h"
#include "CMemoryException.h"
#include "FrameworkExceptionTesting.h"
#include "RkStringTesting.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Bytes Stored(const RkString& text)
{
    return StoredBytes([&](CArchive& ar) { ar << text; });
}

RkString Loaded(const Bytes& bytes)
{
    LoadingArchive loading(bytes);
    RkString text;
    loading.archive() >> text;
    return text;
}

TEST(RkStringArchive, PrefixTakesItsLongerFormsAt255And65534AndRoundTrips)
{
    struct Case {
        int length;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        std::string text(static_cast<size_t>(c.length), 'r');
        if (c.length)
            text[static_cast<size_t>(c.length) / 2] = '\0';
        Bytes bytes = Stored(RkString(text.data(), c.length));
        Bytes expected = c.prefix;
        expected.insert(expected.end(), text.begin(), text.end());
        EXPECT_EQ(expected, bytes) << "length " << c.length;

        RkString back = Loaded(bytes);
        EXPECT_EQ(c.length, back.GetLength());
        EXPECT_EQ(text, Whole(back)) << "length " << c.length;
    }
}

TEST(RkStringArchive, TextCutShortRaisesEndOfFileAndKeepsWhatArrived)
{
    LoadingArchive loading(Bytes{0x0A, 'a', 'b', 'c', 'd'});
    RkString text("previous");
    EXPECT_TRUE(Raises<CArchiveException>([&] { loading.archive() >> text; },
        [](CArchiveException& e) {
            EXPECT_EQ(CArchiveException::endOfFile, e.m_cause);
            EXPECT_TRUE(e.m_strFileName.IsEmpty());
        }));
    EXPECT_EQ(10, text.GetLength());
    EXPECT_EQ(std::string("abcd\0\0\0\0\0\0", 10), Whole(text));

    LoadingArchive noPrefix(Bytes{0xFF, 0x01});
    EXPECT_TRUE(Raises<CArchiveException>([&] { noPrefix.archive() >> text; }));
}

TEST(RkStringArchive, SixteenBitMarkerIsReadAsTheFrameworkWritesIt)
{
    EXPECT_EQ("hi", Whole(Loaded(Bytes{0xFF, 0xFE, 0xFF, 0x02, 'h', 0x00, 'i', 0x00})));

    Bytes longer{0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01};  // 300 units
    for (int i = 0; i < 300; ++i) {
        longer.push_back(static_cast<BYTE>('a' + i % 26));
        longer.push_back(i == 7 ? 0x01 : 0x00);  // one unit beyond 8 bits
    }
    RkString text = Loaded(longer);
    ASSERT_EQ(300, text.GetLength());
    EXPECT_EQ('?', text[7]);
    EXPECT_EQ('z', text[25]);
}

TEST(RkStringArchive, ImpossibleLengthsLeaveTheStringUnchanged)
{
    RkString text("unchanged");
    RkString sharer(text);
    LoadingArchive negative(Bytes{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80});
    EXPECT_TRUE(Raises<CArchiveException>([&] { negative.archive() >> text; },
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::badIndex, e.m_cause); }));
    EXPECT_EQ(static_cast<const char*>(sharer), static_cast<const char*>(text));

    SKIP_UNLESS_32_BIT_ADDRESS_SPACE();
    LoadingArchive huge(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'x'});
    EXPECT_TRUE(Raises<CMemoryException>([&] { huge.archive() >> text; }));
    EXPECT_EQ(static_cast<const char*>(sharer), static_cast<const char*>(text));
    EXPECT_STREQ("unchanged", text);
    EXPECT_EQ(2, Header(text).refCount);
}

}  // namespace
