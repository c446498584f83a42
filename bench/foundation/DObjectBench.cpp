// DObject allocation and release per object: through a selected BlockPool, and through the
// global allocator (no pool selected, so still under the pool lock), for 16- and 64-byte
// objects. Each iteration allocates a batch and frees it, so the pool also pays for opening
// its block and giving it back once per batch.
#include "BlockPool.h"
#include "DObject.h"
#include "MemoryPool.h"

#include <benchmark/benchmark.h>

#include <array>

namespace {

constexpr int kBatch = 256;
constexpr unsigned kBlockSize = 64 * 1024;

template <int Size>
class Sized : public DObject {
    char m_payload[Size - sizeof(DObject)] = {};
};
static_assert(sizeof(Sized<16>) == 16 && sizeof(Sized<64>) == 64, "object sizes as named");

template <class Object>
void AllocateAndReleaseBatch(benchmark::State& state)
{
    std::array<Object*, kBatch> objects{};
    for (auto _ : state) {
        for (Object*& object : objects)
            object = new Object;
        benchmark::DoNotOptimize(objects.data());
        for (Object* object : objects)
            delete object;
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

template <int Size>
void BM_DObject_BlockPool(benchmark::State& state)
{
    BlockPool pool(kBlockSize);
    MemoryPool::SelectPool(&pool);
    DObject::SetBlockAlloc(1);
    AllocateAndReleaseBatch<Sized<Size>>(state);
    MemoryPool::SelectPool(nullptr);
}

template <int Size>
void BM_DObject_GlobalAllocator(benchmark::State& state)
{
    AllocateAndReleaseBatch<Sized<Size>>(state);
}

BENCHMARK_TEMPLATE(BM_DObject_BlockPool, 16);
BENCHMARK_TEMPLATE(BM_DObject_GlobalAllocator, 16);
BENCHMARK_TEMPLATE(BM_DObject_BlockPool, 64);
BENCHMARK_TEMPLATE(BM_DObject_GlobalAllocator, 64);

}  // namespace
