// The colours of a logical palette made for a packed DIB.
#pragma once

#include "DibTypes.h"

// A picture without a colour table (more than 8 bits per pixel and no colours listed) gets a
// palette filled from the system's default palette instead.
bool DibHasColourTable(const BITMAPINFOHEADER& dib);

// Entries of the picture's logical palette: the low 16 bits of its colour count, or 256 for a
// picture without a colour table.
WORD DibPaletteEntryCount(const BITMAPINFOHEADER& dib);

// Copies the first DibPaletteEntryCount colours of an accepted picture's colour table into
// `entries`, as red, green and blue with no flags.
void CopyDibColours(const BITMAPINFOHEADER* dib, PALETTEENTRY* entries);
