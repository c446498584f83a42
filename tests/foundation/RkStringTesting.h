// Test access to the block behind an RkString: the header lies immediately in front of the
// characters, a layout other modules rely on.
#pragma once

#include "RkString.h"

#include <gtest/gtest.h>

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

// A request near 2 GB fails in a 32-bit address space, as the product's is; a 64-bit build may
// grant it. Checks of that failure skip on 64-bit with this reason in the test log.
#define SKIP_UNLESS_32_BIT_ADDRESS_SPACE()                                                    \
    if (sizeof(void*) != 4)                                                                   \
    GTEST_SKIP() << "needs a 32-bit address space, where a 2 GB request cannot succeed"
