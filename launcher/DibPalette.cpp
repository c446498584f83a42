#include "DibPalette.h"

#include "Dib.h"

bool DibHasColourTable(const BITMAPINFOHEADER& dib) { return dib.biClrUsed != 0; }

WORD DibPaletteEntryCount(const BITMAPINFOHEADER& dib)
{
    // A logical palette counts its entries in 16 bits.
    return DibHasColourTable(dib) ? static_cast<WORD>(dib.biClrUsed & 0xFFFF) : 256;
}

void CopyDibColours(const BITMAPINFOHEADER* dib, PALETTEENTRY* entries)
{
    const RGBQUAD* colours = DibColourTable(dib);
    if (!colours || !DibHasColourTable(*dib))
        return;
    const WORD count = DibPaletteEntryCount(*dib);
    for (WORD i = 0; i < count; ++i) {
        entries[i].peRed = colours[i].rgbRed;
        entries[i].peGreen = colours[i].rgbGreen;
        entries[i].peBlue = colours[i].rgbBlue;
        entries[i].peFlags = 0;
    }
}
