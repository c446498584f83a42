#include "SystemFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

namespace {

// The text is cut to the buffer and terminated there, nothing past the given size is written,
// and the length of the whole text comes back.
TEST(SystemFormat, CutsTheTextToTheBufferAndTellsItsWholeLength)
{
    const std::pair<std::size_t, std::string> cases[] = {{0, ""}, {1, std::string(1, '\0')}, {4, std::string("abc\0", 4)},
                                                         {7, std::string("abcd42\0", 7)}, {9, std::string("abcd42\0", 7)}};
    for (const auto& [size, written] : cases) {
        SCOPED_TRACE(size);
        char buffer[10];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        EXPECT_EQ(6, platform::FormatText(buffer, size, "%s%d", "abcd", 42));
        EXPECT_EQ(written + std::string(sizeof buffer - written.size(), '#'), std::string(buffer, sizeof buffer));
    }
}

#ifdef _WIN32
// msvcrt.dll gets each size in a spelling that all its versions read with the argument size
// C99 gives it; from a conversion that has none on, nothing.
TEST(SystemFormat, HandsMsvcrtOnlySpellingsOfTheCallersArgumentSize)
{
    const std::string native = sizeof(void*) == 8 ? "I64" : "";
    const std::pair<const char*, std::string> cases[] = {
        {"%-5d|%+.3i|%#x|%%|%05.2f|%*.*s|%c|%p|%ls|%hs|%S", "%-5d|%+.3i|%#x|%%|%05.2f|%*.*s|%c|%p|%ls|%hs|%S"},
        {"%lld|%llu|%jx|%I64o|%I32d|%hhd|%hu|%ld|%lf", "%I64d|%I64u|%I64x|%I64o|%d|%hd|%hu|%ld|%f"},
        {"%zu|%td|%Ix", "%" + native + "u|%" + native + "d|%" + native + "x"},
        {"a%Lf%d", "a"}, {"a%Ld", "a"}, {"b%n", "b"}, {"c%a", "c"}, {"d%F", "d"}, {"e%lp", "e"}, {"f%lls", "f"},
        {"g%hg", "g"}, {"h%1$d", "h"}, {"i%'d", "i"}, {"j%5%", "j"}, {"k%ws", "k"}, {"l%-5", "l"}, {"m%.*", "m"},
    };
    for (const auto& [format, expected] : cases) {
        SCOPED_TRACE(format);
        char dialect[64];
        platform::ToSystemDialect(format, dialect);
        EXPECT_EQ(expected, dialect);
    }
}
#endif

}  // namespace
