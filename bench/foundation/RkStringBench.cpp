// RkString against std::string doing the same work in the same run: copies, appends, a
// replacement and a search over 1 MB, and formatting.
#include "RkString.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kAppends = 10000;
constexpr size_t kMegabyte = 1 << 20;

// 1 MB of text with a 10-character word every 100 characters.
std::string MegabyteOfText()
{
    std::string line(90, '.');
    std::string text;
    while (text.size() < kMegabyte)
        text += line + "needle-xyz";
    text.resize(kMegabyte);
    return text;
}

void BM_Copy100_RkString(benchmark::State& state)
{
    RkString source(std::string(100, 'c').c_str());
    for (auto _ : state) {
        RkString copy(source);
        benchmark::DoNotOptimize(static_cast<const char*>(copy));
    }
}
BENCHMARK(BM_Copy100_RkString);

void BM_Copy100_StdString(benchmark::State& state)
{
    std::string source(100, 'c');
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_Copy100_StdString);

void BM_Append10k_RkString(benchmark::State& state)
{
    bool reserve = state.range(0) != 0;
    for (auto _ : state) {
        RkString text;
        if (reserve)
            text.GetBuffer(kAppends);
        for (int i = 0; i < kAppends; ++i)
            text += 'a';
        benchmark::DoNotOptimize(static_cast<const char*>(text));
    }
}
BENCHMARK(BM_Append10k_RkString)->Arg(0)->Arg(1);

void BM_Append10k_StdString(benchmark::State& state)
{
    bool reserve = state.range(0) != 0;
    for (auto _ : state) {
        std::string text;
        if (reserve)
            text.reserve(kAppends);
        for (int i = 0; i < kAppends; ++i)
            text += 'a';
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_Append10k_StdString)->Arg(0)->Arg(1);

// Each pass starts from the original text: a copy, then the replacement that grows it.
void BM_Replace1MB_RkString(benchmark::State& state)
{
    RkString original(MegabyteOfText().c_str());
    for (auto _ : state) {
        RkString text(original);
        benchmark::DoNotOptimize(text.Replace("needle", "NEEDLES!"));
    }
}
BENCHMARK(BM_Replace1MB_RkString);

void BM_Replace1MB_StdString(benchmark::State& state)
{
    const std::string original = MegabyteOfText();
    const std::string from = "needle", to = "NEEDLES!";
    for (auto _ : state) {
        std::string text(original);
        std::string result;
        result.reserve(text.size() + text.size() / 40);
        size_t at = 0;
        for (size_t match; (match = text.find(from, at)) != std::string::npos; at = match + from.size())
            result.append(text, at, match - at).append(to);
        result.append(text, at, std::string::npos);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(BM_Replace1MB_StdString);

void BM_Find1MB_RkString(benchmark::State& state)
{
    RkString text((MegabyteOfText() + "0123456789").c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(text.Find("0123456789"));
}
BENCHMARK(BM_Find1MB_RkString);

void BM_Find1MB_StdString(benchmark::State& state)
{
    std::string text = MegabyteOfText() + "0123456789";
    for (auto _ : state)
        benchmark::DoNotOptimize(text.find("0123456789"));
}
BENCHMARK(BM_Find1MB_StdString);

void BM_Format_RkString(benchmark::State& state)
{
    int number = 0;
    for (auto _ : state) {
        RkString text;
        text.Format("%d %s", ++number, "items in the setup queue");
        benchmark::DoNotOptimize(static_cast<const char*>(text));
    }
}
BENCHMARK(BM_Format_RkString);

void BM_Format_SnprintfStdString(benchmark::State& state)
{
    int number = 0;
    for (auto _ : state) {
        ++number;
        int length = std::snprintf(nullptr, 0, "%d %s", number, "items in the setup queue");
        std::string text(static_cast<size_t>(length), '\0');
        std::snprintf(&text[0], text.size() + 1, "%d %s", number, "items in the setup queue");
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_Format_SnprintfStdString);

}  // namespace
