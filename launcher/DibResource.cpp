#include "DibResource.h"

#include "Dib.h"
#include "DibPalette.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Owns a movable global memory block and the lock taken on it until Release hands it on.
class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T bytes) : m_handle(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes)) {}
    ~GlobalBlock()
    {
        if (!m_handle)
            return;
        if (m_locked)
            GlobalUnlock(m_handle);
        GlobalFree(m_handle);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    void* Lock()
    {
        void* memory = m_handle ? GlobalLock(m_handle) : nullptr;
        m_locked = memory != nullptr;
        return memory;
    }
    void Release() { m_handle = nullptr; }

private:
    HGLOBAL m_handle;
    bool m_locked = false;
};

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

LONG DrawnHeight(const BITMAPINFOHEADER& dib) { return std::labs(dib.biHeight); }

}  // namespace

BITMAPINFOHEADER* LoadResourceDib(LPCSTR name, HMODULE module)
{
    HRSRC info = FindResourceA(module, name, RT_BITMAP);
    HGLOBAL resource = info ? LoadResource(module, info) : nullptr;
    const BYTE* stored = resource ? static_cast<const BYTE*>(LockResource(resource)) : nullptr;
    if (!stored)
        return nullptr;

    const DWORD storedBytes = SizeofResource(module, info);
    const DWORD workingBytes = DibWorkingSize(stored, storedBytes);
    if (workingBytes == 0)
        return nullptr;

    // The resource itself is read-only; the copy has room for the expanded pixels, and the
    // zero fill is what a short or damaged picture shows where it has no pixels.
    GlobalBlock block(workingBytes);
    auto* dib = static_cast<BITMAPINFOHEADER*>(block.Lock());
    if (!dib)
        return nullptr;
    std::memcpy(dib, stored, storedBytes);
    CompleteDibHeader(dib);
    ExpandDib(dib, storedBytes);
    block.Release();
    return dib;
}

HPALETTE CreateDibPalette(const BITMAPINFOHEADER* dib)
{
    if (!dib)
        return nullptr;
    const WORD count = DibPaletteEntryCount(*dib);
    const SIZE_T bytes = offsetof(LOGPALETTE, palPalEntry) + sizeof(PALETTEENTRY) * (count ? count : 1);
    // Zero-filled: the default palette supplies fewer entries than the 256 asked for.
    LocalMemory memory(LocalAlloc(LPTR, bytes));
    if (!memory)
        return nullptr;

    auto* palette = static_cast<LOGPALETTE*>(memory.get());
    palette->palVersion = 0x300;
    palette->palNumEntries = count;
    if (DibHasColourTable(*dib))
        CopyDibColours(dib, palette->palPalEntry);
    else
        GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, count,
                          palette->palPalEntry);
    return CreatePalette(palette);
}

void DrawDib(const BITMAPINFOHEADER* dib, HDC dc, int x, int y)
{
    const BYTE* pixels = dib ? DibPixels(dib) : nullptr;
    if (!pixels)
        return;
    // The height's sign only tells the row order; a negative extent here would mirror.
    const LONG height = DrawnHeight(*dib);
    StretchDIBits(dc, x, y, dib->biWidth, height, 0, 0, dib->biWidth, height, pixels,
                  reinterpret_cast<const BITMAPINFO*>(dib), DIB_RGB_COLORS, SRCCOPY);
}

void FreeDib(BITMAPINFOHEADER* dib)
{
    if (!dib)
        return;
    HGLOBAL handle = GlobalHandle(dib);
    GlobalUnlock(handle);
    GlobalFree(handle);
}
