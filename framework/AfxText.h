// Small text helpers shared by the string classes.
#pragma once

#include <cstring>

// Conversion of one 16-bit text unit to an 8-bit character. The system keeps the runtime's
// default locale, where the 8-bit characters are exactly the units 0 to 255; a unit beyond that
// has no 8-bit form and becomes '?'.
inline char AfxNarrowChar(unsigned short unit)
{
    return unit <= 0xFF ? static_cast<char>(unit) : '?';
}

// The length of the text that a caller wrote into a buffer of `capacity` characters: up to the
// first NUL, and never past the buffer, even when the caller wrote over the terminator slot.
inline int AfxBufferTextLength(const char* buffer, int capacity)
{
    const void* nul = std::memchr(buffer, 0, static_cast<std::size_t>(capacity));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - buffer) : capacity;
}
