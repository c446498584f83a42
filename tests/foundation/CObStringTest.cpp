// CObString: its text members, its dump, its archive form and its creation by class name.
#include "ArchiveTesting.h"
#include "CArchiveException.h"
#include "CDumpContext.h"
#include "CNotSupportedException.h"
#include "CObString.h"
#include "FrameworkExceptionTesting.h"
#include "PoolTesting.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const CObString& text)
{
    return std::string(static_cast<const char*>(text.m_string), static_cast<size_t>(text.m_string.GetLength()));
}

TEST(CObStringTest, TextMembersGiveNewObjectsOfTheFrameworkStringsResults)
{
    const unsigned short wide[] = {'w', 0x263A, 0};
    CObString text('z', 2);
    text += "de";
    text += 'f';
    text += CObString("gh");
    EXPECT_EQ("zzdefgh", Text(text));
    EXPECT_EQ("w?", Text(text = wide));
    text = "abcdef";
    EXPECT_EQ("cd", Text(text.Mid(2, 2)));
    EXPECT_EQ("abc", Text(text.SpanIncluding("cba")));
    EXPECT_EQ(">abcdef!", Text(">" + text + '!'));
    EXPECT_EQ(std::string("nul\0x", 5), Text(CObString("nul\0x", 5)));
}

TEST(CObStringTest, DumpWritesTheTextInQuotesAfterAnEqualsSign)
{
    CString out;
    CDumpContext dc(&out);
    CObString("abc").Dump(dc);
    EXPECT_EQ(CString(" = \"abc\""), out);
    EXPECT_EQ(8, out.GetLength());
    CObString().Dump(dc);
    EXPECT_EQ(CString(" = \"abc\" = \"\""), out);
}

struct LoadCase {
    const char* what;
    short versionBefore;
    Bytes bytes;
    const char* text;  // null: the load is refused
    short versionAfter;
};

TEST(CObStringTest, LoadingReadsTheVersionWordWhereTheClassVersionAsksForIt)
{
    const LoadCase cases[] = {
        {"version 2 from start", 0, {0x02, 0x00, 0x03, 'a', 'b', 'c'}, "abc", 2},
        {"version 2 after a reset", -1, {0x02, 0x00, 0x01, 'q'}, "q", 2},
        {"no word once at version 2", 2, {0x03, 'x', 'y', 'z'}, "xyz", 2},
        {"word again at version 1", 1, {0x01, 0x00, 0x00}, "", 1},
        {"16-bit text", 0, {0x02, 0x00, 0xFF, 0xFE, 0xFF, 0x02, 'h', 0x00, 'i', 0x00}, "hi", 2},
        {"long prefix", 0, {0x01, 0x00, 0xFF, 0x02, 0x00, 'o', 'k'}, "ok", 1},
        {"version 0", 0, {0x00, 0x00, 0x01, 'x'}, nullptr, 0},
        {"version 3", 1, {0x03, 0x00, 0x01, 'x'}, nullptr, 1},
        {"version 0xFFFF", -1, {0xFF, 0xFF, 0x01, 'x'}, nullptr, -1},
        {"class version 3", 3, {0x01, 'x'}, nullptr, 3},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.what);
        CObString::s_version = c.versionBefore;
        CObString text("before");
        LoadingArchive loading(c.bytes);
        if (c.text) {
            text.Serialize(loading.archive());
            EXPECT_EQ(c.text, Text(text));
        } else {
            EXPECT_TRUE(Raises<CNotSupportedException>([&] { text.Serialize(loading.archive()); }));
            EXPECT_EQ("before", Text(text));
        }
        EXPECT_EQ(c.versionAfter, CObString::s_version);
    }

    CObString::s_version = 1;
    CObString text("kept");
    LoadingArchive cut(Bytes{0x01, 0x00, 0x05, 'a', 'b'});
    EXPECT_TRUE(Raises<CArchiveException>([&] { text.Serialize(cut.archive()); },
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::endOfFile, e.m_cause); }));
    EXPECT_EQ("kept", Text(text));
    MemoryPool::ResetClassVersions();
}

TEST(CObStringTest, StoredStringsReadBackThroughTheObjectMechanism)
{
    CObString short_("abc"), empty, long_(std::string(300, 'L').c_str()), nul("a\0b", 3);
    EXPECT_EQ((Bytes{0x01, 0x00, 0x03, 'a', 'b', 'c'}), StoredBytes([&](CArchive& ar) { short_.Serialize(ar); }));

    for (short versionBefore : {0, -1, 1}) {
        CObString::s_version = versionBefore;
        LoadingArchive loading(StoredBytes([&](CArchive& ar) { ar << &short_ << &empty << &long_ << &nul << &short_; }));
        CObString* read[5] = {};
        for (CObString*& text : read)
            loading.archive() >> text;
        EXPECT_EQ("abc", Text(*read[0]));
        EXPECT_EQ("", Text(*read[1]));
        EXPECT_EQ(Text(long_), Text(*read[2]));
        EXPECT_EQ(Text(nul), Text(*read[3]));
        EXPECT_EQ(read[0], read[4]);
        for (int i = 0; i < 4; ++i)
            read[i]->Kill();
    }
    MemoryPool::ResetClassVersions();
}

TEST(CObStringTest, CreatedByClassNameThroughTheCurrentPoolAndKilledBackIntoIt)
{
    CRuntimeClass* record = CRuntimeClass::FromName("CObString");
    ASSERT_EQ(RUNTIME_CLASS(CObString), record);
    EXPECT_EQ(1u, record->m_wSchema);
    EXPECT_EQ(RUNTIME_CLASS(CObject), record->m_pBaseClass);

    BlockPool pool(256);
    PoolSelection selected(pool);
    CObject* object = record->CreateObject();
    ASSERT_TRUE(object->IsKindOf(RUNTIME_CLASS(CObString)));
    EXPECT_EQ(pool.firstBlock + BlockPool::kLinkSize, Block(object));
    EXPECT_EQ("", Text(*static_cast<CObString*>(object)));
    static_cast<CObString*>(object)->Kill();
    EXPECT_EQ(0, pool.liveCount);
    EXPECT_EQ(nullptr, pool.firstBlock);
}

}  // namespace
