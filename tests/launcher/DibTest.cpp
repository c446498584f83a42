#include "Dib.h"
#include "DibBuilder.h"
#include "DibPalette.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

using ::testing::ElementsAreArray;

TEST(DibHeader, EightBitPictureGetsItsImageSizeAndFullColourTable)
{
    BITMAPINFOHEADER header = DibBuilder(127, 64, 8).header;
    CompleteDibHeader(&header);
    EXPECT_EQ(128u * 64u, header.biSizeImage);
    EXPECT_EQ(256u, header.biClrUsed);
}

TEST(DibHeader, TrueColourPictureKeepsAnEmptyColourTable)
{
    BITMAPINFOHEADER header = DibBuilder(3, 2, 24).header;
    CompleteDibHeader(&header);
    EXPECT_EQ(12u * 2u, header.biSizeImage);
    EXPECT_EQ(0u, header.biClrUsed);
}

TEST(DibHeader, TopDownHeightAndGivenValuesAreRespected)
{
    DibBuilder picture(33, -5, 1);
    picture.header.biClrUsed = 2;
    picture.header.biSizeImage = 7;
    BITMAPINFOHEADER header = picture.header;
    CompleteDibHeader(&header);
    EXPECT_EQ(7u, header.biSizeImage);
    EXPECT_EQ(2u, header.biClrUsed);

    BITMAPINFOHEADER fourBit = DibBuilder(33, -5, 4).header;
    CompleteDibHeader(&fourBit);
    EXPECT_EQ(20u * 5u, fourBit.biSizeImage);
    EXPECT_EQ(16u, fourBit.biClrUsed);
}

TEST(DibLayoutRules, PixelsFollowTheColourTableOrTheMasks)
{
    DibLayout layout{};
    DibBuilder palette(10, 3, 8);
    palette.header.biClrUsed = 5;
    ASSERT_TRUE(GetDibLayout(palette.header, &layout));
    EXPECT_EQ(40u, layout.colourTableOffset);
    EXPECT_EQ(60u, layout.pixelOffset);
    EXPECT_EQ(12u, layout.stride);
    EXPECT_EQ(36u, layout.pixelBytes);

    DibBuilder masks(10, -3, 16, BI_BITFIELDS);
    ASSERT_TRUE(GetDibLayout(masks.header, &layout));
    EXPECT_EQ(52u, layout.pixelOffset);
    EXPECT_EQ(3u, layout.rows);

    // A version 4 header carries its masks inside: nothing extra follows it.
    masks.header.biSize = 108;
    ASSERT_TRUE(GetDibLayout(masks.header, &layout));
    EXPECT_EQ(108u, layout.pixelOffset);
}

TEST(DibLayoutRules, PicturesThatCannotBeDrawnSafelyAreRefused)
{
    DibLayout layout{};
    auto refused = [&](DibBuilder picture) { return !GetDibLayout(picture.header, &layout); };
    DibBuilder shortHeader(4, 4, 8);
    shortHeader.header.biSize = 12;
    EXPECT_TRUE(refused(shortHeader));
    EXPECT_TRUE(refused(DibBuilder(0, 4, 8)));
    EXPECT_TRUE(refused(DibBuilder(-4, 4, 8)));
    EXPECT_TRUE(refused(DibBuilder(4, 0, 8)));
    EXPECT_TRUE(refused(DibBuilder(4, 4, 7)));
    EXPECT_TRUE(refused(DibBuilder(4, 4, 4, BI_RLE4)));
    EXPECT_TRUE(refused(DibBuilder(4, 4, 4, BI_RLE8)));
    EXPECT_TRUE(refused(DibBuilder(4, 4, 8, 4 /* JPEG */)));
    EXPECT_TRUE(refused(DibBuilder(4, 4, 24, BI_BITFIELDS)));
    EXPECT_TRUE(refused(DibBuilder(0x7FFFFFFF, 0x7FFFFFFF, 32)));
    EXPECT_TRUE(refused(DibBuilder(4, -0x7FFFFFFF - 1, 8)));
    EXPECT_FALSE(refused(DibBuilder(2048, 2048, 32)));
}

TEST(DibWorkingCopy, ColourTableMustBeStoredWhole)
{
    DibBuilder picture(4, 1, 8);
    picture.colours.resize(16);
    picture.header.biClrUsed = 17;  // one more than stored, and no pixels after them
    const std::vector<BYTE> stored = picture.Bytes();
    EXPECT_EQ(0u, DibWorkingSize(stored.data(), static_cast<DWORD>(stored.size())));
    EXPECT_EQ(0u, DibWorkingSize(stored.data(), sizeof(BITMAPINFOHEADER) - 1));
}

TEST(DibWorkingCopy, ShortPixelAreaIsCompletedWithZeros)
{
    DibBuilder picture(4, 2, 8);
    picture.colours.resize(256);
    picture.pixels = {9, 8, 7};
    const std::vector<BYTE> dib = PrepareDib(picture.Bytes());
    ASSERT_EQ(sizeof(BITMAPINFOHEADER) + 1024 + 8, dib.size());
    EXPECT_THAT(PixelsOf(dib), ElementsAreArray({9, 8, 7, 0, 0, 0, 0, 0}));
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), HeaderOf(dib).biCompression);
}

TEST(DibWorkingCopy, BitFieldPicturesKeepTheirMasksInForce)
{
    DibBuilder picture(2, 1, 16, BI_BITFIELDS);
    // Red, green and blue masks of 5-6-5 pixels, then one row of two pixels.
    picture.pixels = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0, 1, 2, 3, 4};
    const std::vector<BYTE> dib = PrepareDib(picture.Bytes());
    ASSERT_FALSE(dib.empty());
    EXPECT_EQ(static_cast<DWORD>(BI_BITFIELDS), HeaderOf(dib).biCompression);
    EXPECT_THAT(PixelsOf(dib), ElementsAreArray({1, 2, 3, 4}));
}

TEST(DibColours, PaletteTakesRedGreenBlueFromTheColourTable)
{
    DibBuilder picture(2, 2, 8);
    picture.header.biClrUsed = 3;
    picture.colours = {{10, 20, 30, 99}, {40, 50, 60, 99}, {70, 80, 90, 99}};
    picture.pixels.assign(8, 0);
    const std::vector<BYTE> dib = PrepareDib(picture.Bytes());
    ASSERT_TRUE(DibHasColourTable(HeaderOf(dib)));
    ASSERT_EQ(3, DibPaletteEntryCount(HeaderOf(dib)));
    std::vector<PALETTEENTRY> entries(3, PALETTEENTRY{1, 1, 1, 1});
    CopyDibColours(&HeaderOf(dib), entries.data());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(picture.colours[i].rgbRed, entries[i].peRed);
        EXPECT_EQ(picture.colours[i].rgbGreen, entries[i].peGreen);
        EXPECT_EQ(picture.colours[i].rgbBlue, entries[i].peBlue);
        EXPECT_EQ(0, entries[i].peFlags);
    }
}

TEST(DibColours, PictureWithoutColourTableAsksForTheDefaultPalette)
{
    DibBuilder picture(2, 2, 24);
    picture.pixels.assign(16, 0x55);
    const std::vector<BYTE> dib = PrepareDib(picture.Bytes());
    ASSERT_FALSE(dib.empty());
    EXPECT_FALSE(DibHasColourTable(HeaderOf(dib)));
    EXPECT_EQ(256, DibPaletteEntryCount(HeaderOf(dib)));

    BITMAPINFOHEADER huge = picture.header;
    huge.biClrUsed = 0x10003;
    EXPECT_EQ(3, DibPaletteEntryCount(huge));
}

}  // namespace
