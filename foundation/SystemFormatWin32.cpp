// Formatting by msvcrt.dll. Its dialect is older than C99 and not the same in every version:
// one reads "%lld" as "%ld", another does not know "%zu" and prints the letters. Either way it
// takes another number of argument bytes than the caller passed, and every later argument,
// strings included, comes from the wrong place. So each conversion is handed on only in a
// spelling that all versions read with the caller's argument size.
#include "SystemFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

namespace {

constexpr const char* kPointerSized = sizeof(void*) == 8 ? "I64" : "";

// The kinds of conversion, each a column of Size::system.
constexpr const char* kKinds[] = {"diouxX", "csCS", "eEfgG", "p"};

// A C99 size (and those of msvcrt.dll that mingw-w64's C99 formatter reads too) with its
// spelling for each kind of conversion; null where no spelling reads the same argument bytes.
struct Size {
    const char* c99;
    const char* system[std::size(kKinds)];
};

// Longest first where one spelling begins another; the last, empty, matches any conversion.
// "L" is missing: a long double has no spelling, and C99 gives "L" no meaning with integers.
constexpr Size kSizes[] = {
    {"hh", {"h", nullptr, nullptr, nullptr}},
    {"h", {"h", "h", nullptr, nullptr}},
    {"ll", {"I64", nullptr, nullptr, nullptr}},
    {"l", {"l", "l", "", nullptr}},
    {"j", {"I64", nullptr, nullptr, nullptr}},
    {"z", {kPointerSized, nullptr, nullptr, nullptr}},
    {"t", {kPointerSized, nullptr, nullptr, nullptr}},
    {"I64", {"I64", nullptr, nullptr, nullptr}},
    {"I32", {"", nullptr, nullptr, nullptr}},
    {"I", {kPointerSized, nullptr, nullptr, nullptr}},
    {"", {"", "", "", ""}},
};

// Past the flags, the width and the precision, which both dialects read alike.
const char* PassFieldSettings(const char* cursor)
{
    cursor += std::strspn(cursor, "-+ #0");
    cursor += *cursor == '*' ? 1 : std::strspn(cursor, "0123456789");
    if (*cursor == '.') {
        ++cursor;
        cursor += *cursor == '*' ? 1 : std::strspn(cursor, "0123456789");
    }
    return cursor;
}

// Reads the size at `cursor` and passes over it.
const Size& ReadSize(const char*& cursor)
{
    const Size& size = *std::find_if(std::begin(kSizes), std::end(kSizes), [cursor](const Size& candidate) {
        return std::strncmp(cursor, candidate.c99, std::strlen(candidate.c99)) == 0;
    });
    cursor += std::strlen(size.c99);
    return size;
}

// The system's spelling of `size` before `letter`, or null.
const char* SystemSpelling(const Size& size, char letter)
{
    for (std::size_t kind = 0; kind < std::size(kKinds); ++kind)
        if (letter != '\0' && std::strchr(kKinds[kind], letter))
            return size.system[kind];
    return nullptr;
}

}  // namespace

namespace platform {

void ToSystemDialect(const char* format, char* dialect)
{
    const char* cursor = format;
    while (*cursor) {
        if (*cursor != '%' || cursor[1] == '%') {
            const int length = *cursor == '%' ? 2 : 1;
            dialect = std::copy_n(cursor, length, dialect);
            cursor += length;
            continue;
        }
        const char* const conversion = cursor;
        cursor = PassFieldSettings(cursor + 1);
        const char* const sizeStart = cursor;
        const Size& size = ReadSize(cursor);
        const char* const spelling = SystemSpelling(size, *cursor);
        if (!spelling)
            break;
        dialect = std::copy(conversion, sizeStart, dialect);
        dialect = std::copy_n(spelling, std::strlen(spelling), dialect);
        *dialect++ = *cursor++;
    }
    *dialect = '\0';
}

int FormatTextV(char* buffer, std::size_t size, const char* format, va_list args)
{
    const std::unique_ptr<char[]> dialect(new (std::nothrow) char[2 * std::strlen(format) + 1]);
    if (!dialect)
        return -1;
    ToSystemDialect(format, dialect.get());
    // _vsnprintf leaves a buffer that the text fills without a terminator, and for a longer
    // text returns -1 instead of its length; _vscprintf measures it then.
    va_list copy;
    va_copy(copy, args);
    int length = size == 0 ? -1 : _vsnprintf(buffer, size - 1, dialect.get(), args);
    if (length < 0)
        length = _vscprintf(dialect.get(), copy);
    va_end(copy);
    if (size > 0)
        buffer[length < 0 ? 0 : std::min(static_cast<std::size_t>(length), size - 1)] = '\0';
    return length;
}

}  // namespace platform
