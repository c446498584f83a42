// Cost of preparing a splash-sized picture (480 by 350, 8 bits), against copying its pixels.
#include "Dib.h"
#include "Rle8.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr LONG kWidth = 480, kHeight = 350;

std::vector<BYTE> StoredPicture(DWORD compression, const std::vector<BYTE>& pixels)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = kWidth;
    header.biHeight = kHeight;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = compression;
    header.biSizeImage = compression == BI_RLE8 ? static_cast<DWORD>(pixels.size()) : 0;
    std::vector<BYTE> stored(sizeof header + 256 * sizeof(RGBQUAD));
    std::memcpy(stored.data(), &header, sizeof header);
    stored.insert(stored.end(), pixels.begin(), pixels.end());
    return stored;
}

// Rows of 16-pixel runs, the shape of a picture of smooth gradients.
std::vector<BYTE> RunStream()
{
    std::vector<BYTE> stream;
    for (LONG row = 0; row < kHeight; ++row) {
        for (LONG column = 0; column < kWidth; column += 16)
            stream.insert(stream.end(), {16, static_cast<BYTE>(row + column / 16)});
        stream.insert(stream.end(), {0, 0});
    }
    stream.insert(stream.end(), {0, 1});
    return stream;
}

void Prepare(benchmark::State& state, const std::vector<BYTE>& stored)
{
    const DWORD storedBytes = static_cast<DWORD>(stored.size());
    std::vector<BYTE> copy(DibWorkingSize(stored.data(), storedBytes));
    for (auto _ : state) {
        std::memset(copy.data(), 0, copy.size());
        std::memcpy(copy.data(), stored.data(), stored.size());
        auto* dib = reinterpret_cast<BITMAPINFOHEADER*>(copy.data());
        CompleteDibHeader(dib);
        ExpandDib(dib, storedBytes);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}

void BM_CopyPixelsBaseline(benchmark::State& state)
{
    const std::vector<BYTE> source(kWidth * kHeight, 7);
    std::vector<BYTE> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_CopyPixelsBaseline);

void BM_PrepareUncompressedSplash(benchmark::State& state)
{
    Prepare(state, StoredPicture(BI_RGB, std::vector<BYTE>(kWidth * kHeight, 7)));
}
BENCHMARK(BM_PrepareUncompressedSplash);

void BM_PrepareRle8Splash(benchmark::State& state)
{
    Prepare(state, StoredPicture(BI_RLE8, RunStream()));
}
BENCHMARK(BM_PrepareRle8Splash);

}  // namespace
