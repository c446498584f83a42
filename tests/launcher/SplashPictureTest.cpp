// The committed splash picture, read as the bitmap resource built from it will be.
#include "Dib.h"
#include "DibBuilder.h"
#include "DibPalette.h"
#include "Rle8.h"

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

constexpr DWORD kColourTableEnd = 40 + 256 * sizeof(RGBQUAD);

TEST(SplashPicture, ResourceHasTheFixedHeaderAndRunLengthEncodedRows)
{
    const std::vector<BYTE> resource = SplashResource();
    ASSERT_GT(resource.size(), kColourTableEnd);
    const BITMAPINFOHEADER& header = HeaderOf(resource);
    EXPECT_EQ(40u, header.biSize);
    EXPECT_EQ(480, header.biWidth);
    EXPECT_EQ(350, header.biHeight);
    EXPECT_EQ(1, header.biPlanes);
    EXPECT_EQ(8, header.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RLE8), header.biCompression);
    EXPECT_EQ(resource.size() - kColourTableEnd, header.biSizeImage);
    EXPECT_EQ(11808, header.biXPelsPerMeter);
    EXPECT_EQ(11808, header.biYPelsPerMeter);
    EXPECT_EQ(0u, header.biClrUsed);
    EXPECT_EQ(0u, header.biClrImportant);
}

TEST(SplashPicture, PreparesToAFullPaletteAndUncompressedRows)
{
    const std::vector<BYTE> resource = SplashResource();
    ASSERT_EQ(kColourTableEnd + 168000u, DibWorkingSize(resource.data(), static_cast<DWORD>(resource.size())));
    const std::vector<BYTE> dib = PrepareDib(resource);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), HeaderOf(dib).biCompression);
    EXPECT_EQ(168000u, HeaderOf(dib).biSizeImage);
    EXPECT_EQ(256u, HeaderOf(dib).biClrUsed);
    EXPECT_EQ(256, DibPaletteEntryCount(HeaderOf(dib)));
    // The rows form a picture rather than a flat fill.
    const std::vector<BYTE> pixels = PixelsOf(dib);
    ASSERT_EQ(168000u, pixels.size());
    EXPECT_GT(std::set<BYTE>(pixels.begin(), pixels.end()).size(), 64u);

    // The stream sets every pixel: decoded over two different fills it gives the same rows.
    std::vector<BYTE> overZeros(pixels.size(), 0), overOnes(pixels.size(), 0xFF);
    const DWORD streamBytes = static_cast<DWORD>(resource.size() - kColourTableEnd);
    for (std::vector<BYTE>* rows : {&overZeros, &overOnes})
        DecodeRle8(resource.data() + kColourTableEnd, streamBytes, rows->data(), 480, 350);
    EXPECT_TRUE(overZeros == overOnes) << "the stream leaves pixels unset";
    EXPECT_TRUE(pixels == overZeros) << "the prepared picture differs from the decoded stream";
}

}  // namespace
