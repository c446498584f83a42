// Expansion of run-length encoded 8-bit pixels (BI_RLE8). The stream is a sequence of byte
// pairs: a count of 1 to 255 repeats the second byte; a count of 0 is an escape whose second
// byte is 0 (end of line), 1 (end of bitmap), 2 (delta: the next two bytes move the position
// right and down) or 3 to 255 (that many literal bytes follow, padded to an even number).
#pragma once

#include "DibTypes.h"

// Decodes `input` into `rows` rows of DibStride(width, 8) bytes each, in the order the stream
// gives them. Pixels beyond a row's width are dropped rather than wrapped into the next row,
// rows beyond `rows` are dropped, and pixels the stream never sets keep their value. Nothing
// is read beyond inputBytes.
void DecodeRle8(const BYTE* input, DWORD inputBytes, BYTE* output, DWORD width, DWORD rows);

// Replaces the RLE8 stream at the start of `pixels` (compressedBytes long) by the expanded
// rows: afterwards `pixels` holds DibStride(width, 8) * rows bytes, 0 wherever the stream set
// nothing. `pixels` must have room for the larger of the two sizes. Returns false, leaving
// the pixels as they were, if no temporary buffer can be had.
bool ExpandRle8(BYTE* pixels, DWORD compressedBytes, DWORD width, DWORD rows);
