// Builds packed DIBs in memory for the tests, and prepares them the way the splash does: a
// zero-filled working copy, header completed, pixels expanded.
#pragma once

#include "Dib.h"

#include <cstring>
#include <vector>

struct DibBuilder {
    BITMAPINFOHEADER header{};
    std::vector<RGBQUAD> colours;
    std::vector<BYTE> pixels;

    DibBuilder(LONG width, LONG height, WORD bitCount, DWORD compression = BI_RGB)
    {
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = height;
        header.biPlanes = 1;
        header.biBitCount = bitCount;
        header.biCompression = compression;
    }

    std::vector<BYTE> Bytes() const
    {
        std::vector<BYTE> bytes(sizeof header + colours.size() * sizeof(RGBQUAD) + pixels.size());
        std::memcpy(bytes.data(), &header, sizeof header);
        if (!colours.empty())
            std::memcpy(bytes.data() + sizeof header, colours.data(), colours.size() * sizeof(RGBQUAD));
        if (!pixels.empty())
            std::memcpy(bytes.data() + bytes.size() - pixels.size(), pixels.data(), pixels.size());
        return bytes;
    }
};

// The working copy of a stored picture, or an empty vector if the picture is refused.
inline std::vector<BYTE> PrepareDib(const std::vector<BYTE>& stored)
{
    const DWORD working = DibWorkingSize(stored.data(), static_cast<DWORD>(stored.size()));
    if (working == 0)
        return {};
    std::vector<BYTE> copy(working, 0);
    std::memcpy(copy.data(), stored.data(), stored.size());
    auto* dib = reinterpret_cast<BITMAPINFOHEADER*>(copy.data());
    CompleteDibHeader(dib);
    ExpandDib(dib, static_cast<DWORD>(stored.size()));
    return copy;
}

inline const BITMAPINFOHEADER& HeaderOf(const std::vector<BYTE>& dib)
{
    return *reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
}

// The uncompressed pixel rows of a prepared picture.
inline std::vector<BYTE> PixelsOf(const std::vector<BYTE>& dib)
{
    DibLayout layout{};
    if (dib.empty() || !GetDibLayout(HeaderOf(dib), &layout))
        return {};
    const BYTE* first = DibPixels(&HeaderOf(dib));
    return std::vector<BYTE>(first, first + layout.pixelBytes);
}
