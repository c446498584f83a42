// Conversion of one 16-bit text unit to an 8-bit character. The system keeps the runtime's
// default locale, where the 8-bit characters are exactly the units 0 to 255; a unit beyond that
// has no 8-bit form and becomes '?'.
#pragma once

inline char AfxNarrowChar(unsigned short unit)
{
    return unit <= 0xFF ? static_cast<char>(unit) : '?';
}
