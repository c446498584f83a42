// Bitmap resources turned into something paintable: a private, writable, expanded copy of the
// packed DIB in global memory, a logical palette for it, drawing it 1:1, and freeing it.
#pragma once

#include <windows.h>

// The bitmap resource `name` of `module` (null: the executable that started the process),
// copied into locked global memory with its header completed and its pixels expanded. Null
// if the resource is missing or is not a picture that can be drawn safely. Release with
// FreeDib.
BITMAPINFOHEADER* LoadResourceDib(LPCSTR name, HMODULE module);

// A logical palette made from the picture's colour table, or from the system's default
// palette for a picture without one. Null for a null picture or if it cannot be made.
HPALETTE CreateDibPalette(const BITMAPINFOHEADER* dib);

// Draws the picture at its full size with its top-left corner at (x, y). Nothing for null.
void DrawDib(const BITMAPINFOHEADER* dib, HDC dc, int x, int y);

// Releases a picture from LoadResourceDib. Nothing for null.
void FreeDib(BITMAPINFOHEADER* dib);
