// The bitmap routines against the public-domain BMP suite and its reference decodings. Each
// .bmp file minus its 14-byte file header is the packed DIB a bitmap resource would hold.
#include "Dib.h"
#include "DibBuilder.h"
#include "DibPalette.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kSuite = CORVANE_BMP_TESTDATA;
constexpr std::size_t kFileHeaderBytes = 14;

std::vector<BYTE> ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

using Row = std::map<std::string, std::string>;

std::vector<Row> ReadManifest()
{
    std::ifstream file(kSuite + "/manifest.tsv");
    std::vector<Row> rows;
    std::string line;
    std::vector<std::string> columns;
    while (std::getline(file, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        if (columns.empty()) {
            columns = cells;
            continue;
        }
        Row row;
        for (std::size_t i = 0; i < columns.size() && i < cells.size(); ++i)
            row[columns[i]] = cells[i];
        rows.push_back(row);
    }
    return rows;
}

// The reference to compare with: this folder's own decoding where it differs from Pillow's.
std::string ReferenceFile(const std::string& refColumn)
{
    std::istringstream names(refColumn);
    std::string name, chosen;
    while (names >> name)
        if (chosen.empty() || name.find(".own.ref") != std::string::npos)
            chosen = name;
    return chosen;
}

// Pictures the bootstrapper refuses to show, and why.
const std::set<std::string> kRefused = {
    "pal8os2.bmp",         // 12-byte core header, not a BITMAPINFOHEADER
    "pal8os2sp.bmp",       // the same
    "pal8os2v2-16.bmp",    // 16-byte header
    "pal4rle.bmp",         // RLE4 is not expanded
    "badpalettesize.bmp",  // colour table far beyond the file
};

class BmpSuite : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_rows = ReadManifest();
        ASSERT_GE(m_rows.size(), 28u) << "BMP test data missing at " << kSuite;
    }
    std::vector<BYTE> PackedDib(const Row& row) const
    {
        const std::vector<BYTE> file = ReadBytes(kSuite + "/" + row.at("folder") + "/" + row.at("file"));
        EXPECT_EQ(std::stoul(row.at("file_size")), file.size()) << row.at("file");
        return std::vector<BYTE>(file.begin() + kFileHeaderBytes, file.end());
    }
    std::vector<Row> m_rows;
};

TEST_F(BmpSuite, ExactlyTheUnsafeOrUnsupportedPicturesAreRefused)
{
    for (const Row& row : m_rows) {
        const std::vector<BYTE> dib = PackedDib(row);
        const bool refused = DibWorkingSize(dib.data(), static_cast<DWORD>(dib.size())) == 0;
        EXPECT_EQ(kRefused.count(row.at("file")) == 1, refused) << row.at("file");
    }
}

TEST_F(BmpSuite, PixelsMatchTheReferenceDecodings)
{
    int compared = 0;
    for (const Row& row : m_rows) {
        const std::string reference = ReferenceFile(row.at("ref_file"));
        if (kRefused.count(row.at("file")) || reference.empty() || reference == "-" ||
            row.at("packed_bits_offset_ok") != "yes")
            continue;
        const std::vector<BYTE> dib = PrepareDib(PackedDib(row));
        ASSERT_FALSE(dib.empty()) << row.at("file");
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), HeaderOf(dib).biCompression) << row.at("file");
        EXPECT_TRUE(PixelsOf(dib) == ReadBytes(kSuite + "/" + reference)) << row.at("file");
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

// Where the file's own pixel offset is the packed-DIB one, the layout must find the pixels
// there; a file with a gap before its pixels cannot be told apart from its header alone.
TEST_F(BmpSuite, PixelsAreFoundWhereThePackedLayoutPutsThem)
{
    for (const Row& row : m_rows) {
        if (kRefused.count(row.at("file")))
            continue;
        const std::vector<BYTE> dib = PrepareDib(PackedDib(row));
        DibLayout layout{};
        ASSERT_TRUE(GetDibLayout(HeaderOf(dib), &layout)) << row.at("file");
        const DWORD fileOffset = std::stoul(row.at("off_bits")) - kFileHeaderBytes;
        EXPECT_EQ(row.at("packed_bits_offset_ok") == "yes", layout.pixelOffset == fileOffset)
            << row.at("file");
    }
}

TEST_F(BmpSuite, PaletteComesFromTheColoursBeforeThePixels)
{
    int checked = 0;
    for (const Row& row : m_rows) {
        if (kRefused.count(row.at("file")) || row.at("packed_bits_offset_ok") != "yes")
            continue;
        const std::vector<BYTE> stored = PackedDib(row);
        const std::vector<BYTE> dib = PrepareDib(stored);
        const BITMAPINFOHEADER& header = HeaderOf(dib);
        const DWORD listed = std::stoul(row.at("clrused"));
        const int bitCount = std::stoi(row.at("bitcount"));
        EXPECT_EQ(listed != 0 ? listed : bitCount <= 8 ? 1u << bitCount : 0u, header.biClrUsed)
            << row.at("file");
        if (!DibHasColourTable(header))
            continue;
        const WORD count = DibPaletteEntryCount(header);
        std::vector<PALETTEENTRY> entries(count);
        CopyDibColours(&header, entries.data());
        const std::size_t table = std::stoul(row.at("off_bits")) - kFileHeaderBytes - 4 * count;
        for (WORD i = 0; i < count; ++i) {
            const BYTE* colour = &stored[table + 4 * i];
            ASSERT_EQ(colour[2], entries[i].peRed) << row.at("file") << " colour " << i;
            ASSERT_EQ(colour[1], entries[i].peGreen) << row.at("file") << " colour " << i;
            ASSERT_EQ(colour[0], entries[i].peBlue) << row.at("file") << " colour " << i;
        }
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

}  // namespace
