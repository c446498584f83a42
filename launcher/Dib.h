// Packed device-independent bitmaps (DIBs), the form of a bitmap resource: a BITMAPINFOHEADER
// directly followed by the colour table (after three bit masks for BI_BITFIELDS) and then the
// pixel rows. These routines check, complete and expand such a picture in memory; they touch
// no operating-system service, so hostile pictures can be tried on any host.
#pragma once

#include "DibTypes.h"

// Where the parts of a packed DIB lie, counted in bytes from the start of its header.
struct DibLayout {
    DWORD colourTableOffset;
    DWORD pixelOffset;
    DWORD stride;      // bytes per pixel row, a multiple of 4
    DWORD rows;        // |biHeight|: bottom-up rows for a positive height, top-down otherwise
    DWORD pixelBytes;  // stride * rows, the size of the uncompressed pixels that drawing reads
};

// Far above any picture a setup shows, low enough that a damaged header cannot make the
// bootstrapper ask for absurd amounts of memory.
constexpr DWORD kMaxDibPixelBytes = 16 * 1024 * 1024;

// Bytes per pixel row: rows are padded to whole 32-bit words.
DWORD DibStride(DWORD width, WORD bitCount);

// Fills in what a stored header may leave 0: the image size (stride times height) and, for
// formats of 8 bits or less, the colour count (2 to the power of the bit count).
void CompleteDibHeader(BITMAPINFOHEADER* header);

// The layout of a picture whose header has been completed. False for pictures that cannot be
// drawn safely: headers shorter than a BITMAPINFOHEADER, no pixels, unknown bit counts,
// compressions other than uncompressed, RLE8 (8-bit only) and bit fields (16 and 32-bit
// only), and sizes beyond kMaxDibPixelBytes.
bool GetDibLayout(const BITMAPINFOHEADER& header, DibLayout* layout);

// Size of the writable copy that the stored picture (storedBytes bytes) needs so that its
// header can be completed and its pixels expanded in place: the stored bytes or the header,
// colour table and uncompressed pixels, whichever is larger. 0 if the picture is refused,
// including when its colour table does not fit into the stored bytes.
DWORD DibWorkingSize(const BYTE* stored, DWORD storedBytes);

// Expands the pixels of a completed picture in place and marks it uncompressed. `dib` starts
// a block of DibWorkingSize bytes holding the storedBytes stored bytes, zeros after them.
// Does nothing to a picture GetDibLayout refuses.
void ExpandDib(BITMAPINFOHEADER* dib, DWORD storedBytes);

// The colour table and the pixel rows of an accepted picture.
const RGBQUAD* DibColourTable(const BITMAPINFOHEADER* dib);
const BYTE* DibPixels(const BITMAPINFOHEADER* dib);
