// Helpers shared by the files of RkString; not part of its interface.
#pragma once

#include "CMemoryException.h"

#include <climits>

namespace rkstring {

// Reference counts with a meaning of their own (see RkStringData).
constexpr long kLocked = -1;
constexpr long kSharedEmpty = -2;

// A length that no block can hold is an allocation that cannot succeed.
inline int CheckedLength(long long length)
{
    if (length < 0 || length > INT_MAX)
        AfxThrowMemoryException();
    return static_cast<int>(length);
}

inline unsigned char Byte(char ch) { return static_cast<unsigned char>(ch); }

inline const char* NonNull(const char* text) { return text ? text : ""; }

}  // namespace rkstring
