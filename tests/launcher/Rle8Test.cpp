#include "Dib.h"
#include "DibBuilder.h"
#include "Rle8.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using ::testing::ElementsAreArray;

std::vector<BYTE> Decode(const std::vector<BYTE>& stream, DWORD width, DWORD rows)
{
    std::vector<BYTE> out(DibStride(width, 8) * rows, 0);
    DecodeRle8(stream.data(), static_cast<DWORD>(stream.size()), out.data(), width, rows);
    return out;
}

TEST(Rle8Decoding, OddLiteralRunSkipsItsPadByteBeforeEndOfBitmap)
{
    const std::vector<BYTE> stream = {0x03, 0x07, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x01};
    EXPECT_THAT(Decode(stream, 6, 1), ElementsAreArray({7, 7, 7, 1, 2, 3, 0, 0}));
}

TEST(Rle8Decoding, DeltaTakesFourBytesAndMovesRightAndDown)
{
    const std::vector<BYTE> stream = {0x02, 0x05, 0x00, 0x02, 0x01, 0x01, 0x01, 0x09, 0x00, 0x01};
    EXPECT_THAT(Decode(stream, 4, 3), ElementsAreArray({5, 5, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0}));
}

TEST(Rle8Decoding, EndOfLineStartsTheNextRow)
{
    const std::vector<BYTE> stream = {0x02, 0x01, 0x00, 0x00, 0x02, 0x02, 0x00, 0x01};
    EXPECT_THAT(Decode(stream, 6, 2),
                ElementsAreArray({1, 1, 0, 0, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0}));
}

TEST(Rle8Decoding, RunsPastTheRowEndAreClippedNotWrapped)
{
    const std::vector<BYTE> stream = {0x06, 0x07, 0x00, 0x05, 1, 2, 3, 4, 5, 0, 0x00, 0x00, 0x01, 0x08};
    EXPECT_THAT(Decode(stream, 4, 2), ElementsAreArray({7, 7, 7, 7, 8, 0, 0, 0}));
}

TEST(Rle8Decoding, TruncatedStreamsLeaveTheRestUntouched)
{
    EXPECT_THAT(Decode({0x04, 0x03}, 4, 2), ElementsAreArray({3, 3, 3, 3, 0, 0, 0, 0}));
    EXPECT_THAT(Decode({0x00, 0x05, 0x01, 0x02}, 8, 1), ElementsAreArray({1, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_THAT(Decode({0x01, 0x04, 0x00, 0x02, 0x01}, 4, 1), ElementsAreArray({4, 0, 0, 0}));
    EXPECT_THAT(Decode({0x01}, 4, 1), ElementsAreArray({0, 0, 0, 0}));
}

TEST(Rle8Decoding, NothingIsWrittenBelowTheLastRow)
{
    const std::vector<BYTE> stream = {0x00, 0x02, 0x00, 0x05, 0x04, 0x09, 0x00, 0x00, 0x04, 0x09};
    EXPECT_THAT(Decode(stream, 4, 1), ElementsAreArray({0, 0, 0, 0}));
}

// Random streams into an exactly sized buffer: the sanitizers see any stray access, and the
// padding after each row's pixels must never be touched.
TEST(Rle8Decoding, RandomStreamsStayInsideTheRows)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    constexpr DWORD kWidth = 5, kRows = 3, kStride = 8;
    for (int round = 0; round < 2000; ++round) {
        std::vector<BYTE> stream(1 + round % 64);
        for (BYTE& value : stream)
            value = static_cast<BYTE>(byte(random) % 4 == 0 ? byte(random) % 3 : byte(random));
        std::vector<BYTE> out(kStride * kRows, 0xEE);
        DecodeRle8(stream.data(), static_cast<DWORD>(stream.size()), out.data(), kWidth, kRows);
        for (DWORD row = 0; row < kRows; ++row)
            for (DWORD column = kWidth; column < kStride; ++column)
                ASSERT_EQ(0xEE, out[row * kStride + column]) << "round " << round;
    }
}

TEST(Rle8Expansion, ExpandsInPlaceAndZeroesWhatTheStreamLeavesOut)
{
    std::vector<BYTE> pixels(DibStride(6, 8) * 2, 0xAA);
    const std::vector<BYTE> stream = {0x03, 0x04, 0x00, 0x00, 0x00, 0x01};
    std::copy(stream.begin(), stream.end(), pixels.begin());
    ASSERT_TRUE(ExpandRle8(pixels.data(), static_cast<DWORD>(stream.size()), 6, 2));
    EXPECT_THAT(pixels, ElementsAreArray({4, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// A stream far shorter than its expansion: the working copy must make room for the pixels,
// and the header must then describe them.
TEST(Rle8Expansion, PictureGetsRoomForItsExpandedPixels)
{
    DibBuilder rle(16, 16, 8, BI_RLE8);
    rle.colours.resize(2);
    rle.header.biClrUsed = 2;
    for (int row = 0; row < 16; ++row)
        rle.pixels.insert(rle.pixels.end(), {0x10, static_cast<BYTE>(row % 2), 0x00, 0x00});
    rle.pixels.insert(rle.pixels.end(), {0x00, 0x01});
    rle.header.biSizeImage = static_cast<DWORD>(rle.pixels.size());
    const std::vector<BYTE> stored = rle.Bytes();

    const std::vector<BYTE> dib = PrepareDib(stored);
    ASSERT_FALSE(dib.empty());
    EXPECT_GE(dib.size(), sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD) + 256);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), HeaderOf(dib).biCompression);
    EXPECT_EQ(256u, HeaderOf(dib).biSizeImage);
    const std::vector<BYTE> pixels = PixelsOf(dib);
    ASSERT_EQ(256u, pixels.size());
    for (int row = 0; row < 16; ++row)
        EXPECT_EQ(std::vector<BYTE>(16, static_cast<BYTE>(row % 2)),
                  std::vector<BYTE>(pixels.begin() + row * 16, pixels.begin() + row * 16 + 16));
}

TEST(Rle8Expansion, ImageSizeBeyondTheStoredBytesIsNotRead)
{
    DibBuilder rle(4, 1, 8, BI_RLE8);
    rle.colours.resize(2);
    rle.header.biClrUsed = 2;
    rle.pixels = {0x02, 0x01};  // no end of bitmap, and the header claims far more
    rle.header.biSizeImage = 4096;
    const std::vector<BYTE> dib = PrepareDib(rle.Bytes());
    EXPECT_THAT(PixelsOf(dib), ElementsAreArray({1, 1, 0, 0}));
}

}  // namespace
