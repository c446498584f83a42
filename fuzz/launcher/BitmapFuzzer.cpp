// Feeds arbitrary bytes to the splash picture's decoding, both as a packed DIB taken through
// the whole preparation and as a bare RLE8 stream.
#include "Dib.h"
#include "DibPalette.h"
#include "Rle8.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Large pictures take the same paths as small ones; keeping each run small keeps the fuzzer
// fast, and keeps its blocks out of AddressSanitizer's large-block allocator, which fails an
// internal check after a few hundred thousand such blocks where 32-bit programs run under
// emulation. The size limits themselves are unit-tested.
constexpr DWORD kLargestWorkingCopy = 1u << 16;

void PrepareAsPackedDib(const std::uint8_t* data, DWORD size)
{
    const DWORD working = DibWorkingSize(data, size);
    if (working == 0 || working > kLargestWorkingCopy)
        return;
    std::vector<BYTE> copy(working, 0);
    std::memcpy(copy.data(), data, size);
    auto* dib = reinterpret_cast<BITMAPINFOHEADER*>(copy.data());
    CompleteDibHeader(dib);
    ExpandDib(dib, size);

    DibLayout layout;
    if (!GetDibLayout(*dib, &layout) || layout.pixelOffset + layout.pixelBytes > copy.size())
        __builtin_trap();
    std::vector<PALETTEENTRY> entries(DibPaletteEntryCount(*dib));
    CopyDibColours(dib, entries.data());
}

// The first two bytes choose a small picture; the rest is the stream.
void DecodeAsStream(const std::uint8_t* data, DWORD size)
{
    if (size < 2)
        return;
    const DWORD width = 1 + data[0] % 64;
    const DWORD rows = 1 + data[1] % 32;
    std::vector<BYTE> pixels(DibStride(width, 8) * rows);
    DecodeRle8(data + 2, size - 2, pixels.data(), width, rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    PrepareAsPackedDib(data, static_cast<DWORD>(size));
    DecodeAsStream(data, static_cast<DWORD>(size));
    return 0;
}
