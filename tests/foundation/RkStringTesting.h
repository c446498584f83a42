// Test access to the block behind an RkString: the header lies immediately in front of the
// characters, a layout other modules rely on.
#pragma once

#include "RkString.h"

#include <string>

inline const RkStringData& Header(const RkString& text)
{
    return *(reinterpret_cast<const RkStringData*>(static_cast<const char*>(text)) - 1);
}

// The whole text, NUL bytes included.
inline std::string Whole(const RkString& text)
{
    return std::string(static_cast<const char*>(text), static_cast<size_t>(text.GetLength()));
}
