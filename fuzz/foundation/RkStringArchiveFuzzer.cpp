// Random bytes in front of the string readers: each read gives a string or a clean framework
// exception, and every string read comes back unchanged from a write and a second read.

#include "ArchiveTesting.h"
#include "CException.h"
#include "CString.h"
#include "RkString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "archive reader: %s\n", what);
        std::abort();
    }
}

template <class Text>
void CheckRoundTrip(const Text& text)
{
    Text back;
    LoadingArchive loading(StoredBytes([&](CArchive& ar) { ar << text; }));
    loading.archive() >> back;
    Require(back.GetLength() == text.GetLength(), "round trip length");
    Require(std::memcmp(static_cast<const char*>(back), static_cast<const char*>(text),
                        static_cast<size_t>(text.GetLength())) == 0,
            "round trip text");
}

// Reads strings until the data ends or is refused.
template <class Text>
void ReadAll(const uint8_t* bytes, size_t size, int bufferSize)
{
    LoadingArchive loading(Bytes(bytes, bytes + size), bufferSize);
    Text text("before");
    try {
        for (;;) {
            loading.archive() >> text;
            CheckRoundTrip(text);
        }
    } catch (CException* raised) {
        raised->Delete();
    }
    Require(static_cast<const char*>(text)[text.GetLength()] == '\0', "terminated after a failure");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the archive's buffer size, so reads cross buffer edges everywhere.
    int bufferSize = 16 + bytes[0];
    ReadAll<RkString>(bytes + 1, size - 1, bufferSize);
    ReadAll<CString>(bytes + 1, size - 1, bufferSize);
    return 0;
}
