// The committed splash picture, read as the bitmap resource built from it will be.
#include "Dib.h"
#include "DibBuilder.h"
#include "DibPalette.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace {

std::vector<BYTE> SplashResource()
{
    std::ifstream file(CORVANE_SPLASH_BMP, std::ios::binary);
    const std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The resource compiler drops the 14-byte file header.
    return bytes.size() < 14 ? bytes : std::vector<BYTE>(bytes.begin() + 14, bytes.end());
}

TEST(SplashPicture, ResourceHasTheFixedHeaderAndSize)
{
    const std::vector<BYTE> resource = SplashResource();
    ASSERT_EQ(169066u, resource.size());
    const BITMAPINFOHEADER& header = HeaderOf(resource);
    EXPECT_EQ(40u, header.biSize);
    EXPECT_EQ(480, header.biWidth);
    EXPECT_EQ(350, header.biHeight);
    EXPECT_EQ(1, header.biPlanes);
    EXPECT_EQ(8, header.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
    EXPECT_EQ(0u, header.biSizeImage);
    EXPECT_EQ(11808, header.biXPelsPerMeter);
    EXPECT_EQ(11808, header.biYPelsPerMeter);
    EXPECT_EQ(0u, header.biClrUsed);
    EXPECT_EQ(0u, header.biClrImportant);
}

TEST(SplashPicture, PreparesToAFullPaletteAndUncompressedRows)
{
    const std::vector<BYTE> resource = SplashResource();
    ASSERT_EQ(169066u, DibWorkingSize(resource.data(), static_cast<DWORD>(resource.size())));
    const std::vector<BYTE> dib = PrepareDib(resource);
    EXPECT_EQ(168000u, HeaderOf(dib).biSizeImage);
    EXPECT_EQ(256u, HeaderOf(dib).biClrUsed);
    EXPECT_EQ(256, DibPaletteEntryCount(HeaderOf(dib)));
    // The rows are the stored ones, and they form a picture rather than a flat fill.
    const std::vector<BYTE> pixels = PixelsOf(dib);
    ASSERT_EQ(168000u, pixels.size());
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), resource.begin() + 40 + 1024));
    EXPECT_GT(std::set<BYTE>(pixels.begin(), pixels.end()).size(), 64u);
}

}  // namespace
