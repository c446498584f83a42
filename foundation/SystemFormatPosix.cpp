#include "SystemFormat.h"

#include <cstdio>

namespace platform {

int FormatTextV(char* buffer, std::size_t size, const char* format, va_list args)
{
    return std::vsnprintf(buffer, size, format, args);
}

}  // namespace platform
