// printf-style formatting by the system's C runtime: msvcrt.dll on Windows, which every Windows
// has (so Setup.exe carries no formatter of its own), the C library elsewhere. The build's own
// helper, not part of the exported interface.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace platform {

// Writes at most size - 1 characters of the text and a terminator to `buffer` (nothing when
// size is 0) and returns the length of the whole text, or -1 when it cannot be formatted.
// Formats are C99's. On Windows each conversion reaches msvcrt.dll in a spelling that all its
// versions read with the argument size C99 gives it (see ToSystemDialect); a conversion that
// has none ends the text: only what comes before it is formatted, and no argument from it on
// is read.
int FormatTextV(char* buffer, std::size_t size, const char* format, va_list args);

inline int FormatText(char* buffer, std::size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = FormatTextV(buffer, size, format, args);
    va_end(args);
    return length;
}

#ifdef _WIN32
// Writes `format` to `dialect` as msvcrt.dll is given it: "%lld" and "%jd" as "%I64d", "%zu"
// and "%tu" in the pointer's size ("%u" or "%I64u"), "%hhd" as "%hd" (the argument is an int
// either way). It stops before the first conversion that cannot be spelt so: "L" (long
// double), %a, %n, %F (a conversion to C99, a size to older versions), positional arguments,
// letters, sizes and flags outside the common set, and a conversion cut short by the end.
// `dialect` has room for twice the length of `format` and one.
void ToSystemDialect(const char* format, char* dialect);
#endif

}  // namespace platform
