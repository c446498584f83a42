#include "ArchiveTesting.h"
#include "CArchiveException.h"
#include "CFile.h"
#include "CFileException.h"
#include "CMemoryException.h"
#include "CNotSupportedException.h"
#include "CString.h"
#include "FrameworkExceptionTesting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(CArchiveTest, StoresNumbersLittleEndianAndLoadsThemBack)
{
    Bytes bytes = StoredBytes([](CArchive& ar) {
        ar << BYTE(0x81) << WORD(0x1234) << LONG(-2) << DWORD(0xA1B2C3D4);
    });
    EXPECT_EQ((Bytes{0x81, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xD4, 0xC3, 0xB2, 0xA1}), bytes);

    LoadingArchive loading(bytes);
    BYTE b = 0;
    WORD w = 0;
    LONG l = 0;
    DWORD d = 0;
    loading.archive() >> b >> w >> l >> d;
    EXPECT_EQ(0x81, b);
    EXPECT_EQ(0x1234, w);
    EXPECT_EQ(-2, l);
    EXPECT_EQ(0xA1B2C3D4u, d);
}

TEST(CArchiveTest, SmallBufferCarriesValuesAndBlocksAcrossItsEdges)
{
    std::string block(1000, 'k');
    Bytes bytes = StoredBytes([&](CArchive& ar) {
        for (DWORD i = 0; i < 50; ++i)
            ar << i;
        ar.Write(block.data(), 7);
        ar.Write(block.data(), static_cast<UINT>(block.size()));
        ar << WORD(0xBEEF);
    }, 16);
    ASSERT_EQ(50 * 4 + 7 + 1000 + 2u, bytes.size());

    LoadingArchive loading(bytes, 16);
    CArchive& ar = loading.archive();
    for (DWORD i = 0; i < 50; ++i) {
        DWORD value = 0;
        ar >> value;
        ASSERT_EQ(i, value);
    }
    std::string back(1007, '\0');
    EXPECT_EQ(1007u, ar.Read(&back[0], 1007));
    EXPECT_EQ(std::string(1007, 'k'), back);
    WORD tail = 0;
    ar >> tail;
    EXPECT_EQ(0xBEEF, tail);
    char extra = 0;
    EXPECT_EQ(0u, ar.Read(&extra, 1));
}

TEST(CArchiveTest, ValueCutShortRaisesEndOfFileAndWrongDirectionIsRefused)
{
    LoadingArchive loading(Bytes{0x01, 0x02, 0x03});
    EXPECT_TRUE(Raises<CArchiveException>([&] {
        DWORD value = 0;
        loading.archive() >> value;
    }, [](CArchiveException& e) { EXPECT_EQ(CArchiveException::endOfFile, e.m_cause); }));
    EXPECT_TRUE(Raises<CArchiveException>([&] { loading.archive() << BYTE(1); },
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::readOnly, e.m_cause); }));

    CMemFile file;
    CArchive storing(&file, CArchive::store);
    EXPECT_TRUE(Raises<CArchiveException>([&] {
        BYTE value = 0;
        storing >> value;
    }, [](CArchiveException& e) { EXPECT_EQ(CArchiveException::writeOnly, e.m_cause); }));
}

TEST(CArchiveTest, StringLengthPrefixChangesFormAt255And65534)
{
    auto prefixOf = [](DWORD length) {
        return StoredBytes([&](CArchive& ar) { ar.WriteStringLength(length); });
    };
    EXPECT_EQ((Bytes{0xFE}), prefixOf(254));
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0x00}), prefixOf(255));
    EXPECT_EQ((Bytes{0xFF, 0xFD, 0xFF}), prefixOf(65533));
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}), prefixOf(65534));

    for (DWORD length : {0u, 254u, 255u, 65533u, 65534u, 70000u}) {
        LoadingArchive loading(prefixOf(length));
        CArchive::StringPrefix prefix = loading.archive().ReadStringPrefix();
        EXPECT_EQ(length, prefix.length);
        EXPECT_FALSE(prefix.wide);
    }
}

TEST(CArchiveTest, FrameworkStringRoundTripsWholeAndReads16BitForm)
{
    CString text(std::string(300, 'x').append("\0y", 2).c_str(), 302);
    CString back;
    LoadingArchive loading(StoredBytes([&](CArchive& ar) { ar << text; }));
    loading.archive() >> back;
    ASSERT_EQ(302, back.GetLength());
    EXPECT_EQ('y', back[301]);
    EXPECT_EQ('\0', back[300]);

    LoadingArchive wide(Bytes{0xFF, 0xFE, 0xFF, 0x03, 'h', 0x00, 'i', 0x00, 0x3A, 0x26});
    wide.archive() >> back;
    EXPECT_EQ(CString("hi?"), back);
}

TEST(CArchiveTest, BadPrefixesAreRejectedAndShortTextEndsTheFile)
{
    CString kept("kept");
    LoadingArchive huge(Bytes{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80});
    EXPECT_TRUE(Raises<CArchiveException>([&] { huge.archive() >> kept; },
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::badIndex, e.m_cause); }));
    LoadingArchive twice(Bytes{0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 0x00});
    EXPECT_TRUE(Raises<CArchiveException>([&] { twice.archive() >> kept; },
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::badIndex, e.m_cause); }));
    LoadingArchive shortText(Bytes{0x0A, 'a', 'b', 'c', 'd'});
    EXPECT_TRUE(Raises<CArchiveException>([&] { shortText.archive() >> kept; },
        [](CArchiveException& e) {
            EXPECT_EQ(CArchiveException::endOfFile, e.m_cause);
            EXPECT_TRUE(e.m_strFileName.IsEmpty());
        }));
    EXPECT_EQ(CString("kept"), kept);
}

TEST(CMemFileTest, AttachedBufferIsReadInPlaceAndCannotGrowWithoutSteps)
{
    BYTE data[4] = {1, 2, 3, 4};
    CMemFile fixed(data, sizeof(data));
    BYTE back[8] = {};
    EXPECT_EQ(4u, fixed.Read(back, sizeof(back)));
    EXPECT_EQ(3, back[2]);
    fixed.SeekToBegin();
    fixed.Write("\x09", 1);
    EXPECT_EQ(9, data[0]);
    EXPECT_TRUE(Raises<CMemoryException>([&] { fixed.Write("12345", 5); }));
    EXPECT_TRUE(Raises<CFileException>([&] { fixed.Seek(-1, CFile::begin); }));
    EXPECT_TRUE(Raises<CNotSupportedException>([&] { fixed.Open("x", CFile::modeRead); }));

    CMemFile growing(4);
    growing.Seek(3, CFile::begin);
    growing.Write("z", 1);
    EXPECT_EQ(4u, growing.GetLength());
    growing.SeekToBegin();
    EXPECT_EQ(4u, growing.Read(back, sizeof(back)));
    EXPECT_EQ(0, back[0]);
    EXPECT_EQ('z', back[3]);
}

TEST(CFileTest, DiskFileCarriesAnArchiveAndReportsAMissingFile)
{
    std::string path = testing::TempDir() + "corvane_cfile_test.bin";
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar << DWORD(0x01020304) << CString("on disk");
    }  // the archive's destructor flushes, then the file closes
    {
        CFile file(path.c_str(), CFile::modeRead);
        EXPECT_EQ(4u + 1 + 7, file.GetLength());
        CArchive ar(&file, CArchive::load);
        DWORD number = 0;
        CString text;
        ar >> number >> text;
        EXPECT_EQ(0x01020304u, number);
        EXPECT_EQ(CString("on disk"), text);
    }
    std::remove(path.c_str());

    CFile closed;
    EXPECT_FALSE(closed.Open(path.c_str(), CFile::modeRead));
    EXPECT_TRUE(Raises<CFileException>([&] { CFile missing(path.c_str(), CFile::modeRead); },
        [&](CFileException& e) {
            EXPECT_EQ(CFileException::fileNotFound, e.m_cause);
            EXPECT_EQ(CString(path.c_str()), e.m_strFileName);
        }));
}

TEST(CExceptionTest, OutOfMemoryIsOneStaticObjectThatDeleteKeeps)
{
    CException* first = nullptr;
    CException* second = nullptr;
    try {
        AfxThrowMemoryException();
    } catch (CException* e) {
        first = e;
        e->Delete();
    }
    try {
        AfxThrowMemoryException();
    } catch (CException* e) {
        second = e;
        e->Delete();
    }
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_NE(nullptr, dynamic_cast<CMemoryException*>(second));
}

}  // namespace
