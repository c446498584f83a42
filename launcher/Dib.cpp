#include "Dib.h"

#include "Rle8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Sizes are worked out in 64 bits: a damaged header's fields can multiply far past 32 bits.
std::uint64_t StrideOf(std::uint64_t width, WORD bitCount)
{
    return (width * bitCount + 31) / 32 * 4;
}

std::uint64_t RowsOf(LONG height)
{
    return height < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(height))
                      : static_cast<std::uint64_t>(height);
}

bool IsKnownBitCount(WORD bitCount)
{
    switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32:
        return true;
    default:
        return false;
    }
}

bool IsDrawableCompression(DWORD compression, WORD bitCount)
{
    switch (compression) {
    case BI_RGB:
        return true;
    case BI_RLE8:
        return bitCount == 8;
    case BI_BITFIELDS:
        return bitCount == 16 || bitCount == 32;
    default:
        return false;
    }
}

// The three masks follow a plain 40-byte header; the longer header versions hold them inside.
DWORD MaskBytes(const BITMAPINFOHEADER& header)
{
    const bool separateMasks =
        header.biCompression == BI_BITFIELDS && header.biSize == sizeof(BITMAPINFOHEADER);
    return separateMasks ? 3 * sizeof(DWORD) : 0;
}

}  // namespace

DWORD DibStride(DWORD width, WORD bitCount)
{
    return static_cast<DWORD>(StrideOf(width, bitCount));
}

void CompleteDibHeader(BITMAPINFOHEADER* header)
{
    if (header->biSizeImage == 0 && header->biWidth > 0) {
        const std::uint64_t size =
            StrideOf(static_cast<DWORD>(header->biWidth), header->biBitCount) * RowsOf(header->biHeight);
        header->biSizeImage = static_cast<DWORD>(std::min<std::uint64_t>(size, UINT32_MAX));
    }
    if (header->biClrUsed == 0 && header->biBitCount <= 8)
        header->biClrUsed = 1UL << header->biBitCount;
}

bool GetDibLayout(const BITMAPINFOHEADER& header, DibLayout* layout)
{
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0)
        return false;
    if (!IsKnownBitCount(header.biBitCount) ||
        !IsDrawableCompression(header.biCompression, header.biBitCount))
        return false;

    const std::uint64_t stride = StrideOf(static_cast<DWORD>(header.biWidth), header.biBitCount);
    const std::uint64_t rows = RowsOf(header.biHeight);
    const std::uint64_t pixelBytes = stride * rows;
    const std::uint64_t colourTableOffset = std::uint64_t{header.biSize} + MaskBytes(header);
    const std::uint64_t pixelOffset = colourTableOffset + 4 * std::uint64_t{header.biClrUsed};
    if (pixelBytes > kMaxDibPixelBytes || pixelOffset > UINT32_MAX - pixelBytes)
        return false;

    layout->colourTableOffset = static_cast<DWORD>(colourTableOffset);
    layout->pixelOffset = static_cast<DWORD>(pixelOffset);
    layout->stride = static_cast<DWORD>(stride);
    layout->rows = static_cast<DWORD>(rows);
    layout->pixelBytes = static_cast<DWORD>(pixelBytes);
    return true;
}

DWORD DibWorkingSize(const BYTE* stored, DWORD storedBytes)
{
    BITMAPINFOHEADER header;
    if (storedBytes < sizeof header)
        return 0;
    std::memcpy(&header, stored, sizeof header);
    CompleteDibHeader(&header);

    DibLayout layout;
    if (!GetDibLayout(header, &layout) || layout.pixelOffset > storedBytes)
        return 0;
    return std::max(storedBytes, layout.pixelOffset + layout.pixelBytes);
}

void ExpandDib(BITMAPINFOHEADER* dib, DWORD storedBytes)
{
    DibLayout layout;
    if (!GetDibLayout(*dib, &layout))
        return;

    if (dib->biCompression == BI_RLE8) {
        // The stream ends where the header says, but never beyond what was stored.
        const DWORD stored = storedBytes > layout.pixelOffset ? storedBytes - layout.pixelOffset : 0;
        const DWORD compressed = dib->biSizeImage != 0 ? std::min(stored, dib->biSizeImage) : stored;
        BYTE* pixels = reinterpret_cast<BYTE*>(dib) + layout.pixelOffset;
        // Without a work buffer the picture stays as stored, still correctly described as RLE8.
        if (!ExpandRle8(pixels, compressed, static_cast<DWORD>(dib->biWidth), layout.rows))
            return;
        dib->biSizeImage = layout.pixelBytes;
    }
    // Bit fields describe uncompressed pixels too: their masks must stay in force.
    if (dib->biCompression != BI_BITFIELDS)
        dib->biCompression = BI_RGB;
}

const RGBQUAD* DibColourTable(const BITMAPINFOHEADER* dib)
{
    DibLayout layout;
    if (!GetDibLayout(*dib, &layout))
        return nullptr;
    return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(dib) + layout.colourTableOffset);
}

const BYTE* DibPixels(const BITMAPINFOHEADER* dib)
{
    DibLayout layout;
    if (!GetDibLayout(*dib, &layout))
        return nullptr;
    return reinterpret_cast<const BYTE*>(dib) + layout.pixelOffset;
}
