// The GDI records a packed device-independent bitmap is made of. Windows declares them in
// <windows.h>; elsewhere they are declared here with the same layout, so that the decoding
// routines can be built and tested on any host.
#pragma once

#include "AfxTypes.h"

#ifndef _WIN32
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

#  define BI_RGB 0L
#  define BI_RLE8 1L
#  define BI_RLE4 2L
#  define BI_BITFIELDS 3L
#endif

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(RGBQUAD) == 4 && sizeof(PALETTEENTRY) == 4, "colour entries are 4 bytes");
