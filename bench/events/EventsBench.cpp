// Costs of the event system's hot paths, next to a floor measured in the same run: what one
// send cannot avoid (an uncontended recursive lock, a hash-map lookup and a virtual call).
#include "CODispatcher.h"
#include "CommonObjectBase.h"
#include "CommonObjectEventManager.h"
#include "Platform.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <unordered_map>
#include <vector>

namespace {

class Sink : public CommonObjectBase {
public:
    explicit Sink(bool answer) : m_answer(answer) {}
    long count = 0;

protected:
    bool HandleEvent(COEvent*) override
    {
        ++count;
        return m_answer;
    }

private:
    bool m_answer;
};

struct FloorTarget {
    virtual ~FloorTarget() = default;
    virtual bool Take(COEvent* event);
};

bool FloorTarget::Take(COEvent* event)
{
    benchmark::DoNotOptimize(event);
    return true;
}

void BM_Floor_LockLookupVirtualCall(benchmark::State& state)
{
    platform::RecursiveLock lock;
    std::unordered_map<long, FloorTarget*> registry;
    std::vector<std::unique_ptr<FloorTarget>> targets;
    for (long id = 0; id < 4; ++id) {
        targets.push_back(std::make_unique<FloorTarget>());
        registry[CO_FIRST_ID + id] = targets.back().get();
    }
    const long id = CO_FIRST_ID + 2;
    benchmark::DoNotOptimize(registry);
    COEvent event{};
    for (auto _ : state) {
        lock.Lock();
        const auto found = registry.find(id);
        FloorTarget* target = found != registry.end() ? found->second : nullptr;
        lock.Unlock();
        benchmark::DoNotOptimize(target->Take(&event));
    }
}
BENCHMARK(BM_Floor_LockLookupVirtualCall);

void BM_SendToObjectById(benchmark::State& state)
{
    CommonObjectEventManager manager(nullptr);
    Sink sink(true);
    const long id = sink.GetID();
    for (auto _ : state)
        benchmark::DoNotOptimize(CommonObjectEventManager::staticSendEvent(0, id, 0x100, nullptr, 0, 0));
    if (sink.count != static_cast<long>(state.iterations()))
        state.SkipWithError("lost sends");
}
BENCHMARK(BM_SendToObjectById);

// Posts a batch and dispatches it; the figure is per event. Arg: bytes of data per event.
void BM_PostAndDispatch(benchmark::State& state)
{
    constexpr int kBatch = 64;
    CommonObjectEventManager manager(nullptr);
    Sink sink(false);  // refuses, so the manager frees each copied block
    const long id = sink.GetID();
    const int size = static_cast<int>(state.range(0));
    std::vector<char> payload(static_cast<std::size_t>(size > 0 ? size : 1), 'x');
    void* data = size > 0 ? payload.data() : nullptr;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            CommonObjectEventManager::staticPostEvent(0, id, 0x101, data, size, 0);
        CommonObjectEventManager::staticDispatchEvents(1);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    if (sink.count != static_cast<long>(state.iterations() * kBatch))
        state.SkipWithError("lost posts");
}
BENCHMARK(BM_PostAndDispatch)->Arg(0)->Arg(64);

// One record fanned out to 100 receivers; the figure is per receiver.
void BM_FanOutPerReceiver(benchmark::State& state)
{
    constexpr int kReceivers = 100;
    CommonObjectEventManager manager(nullptr);
    std::vector<std::unique_ptr<Sink>> sinks;
    auto* dispatcher = new CODispatcher("bench");
    for (int i = 0; i < kReceivers; ++i) {
        sinks.push_back(std::make_unique<Sink>(false));
        dispatcher->AddReceiver(sinks.back()->GetID());
    }
    const long id = dispatcher->GetID();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            CommonObjectEventManager::staticSendEvent(0, id, 0x102, nullptr, 0, COEF_ALL_RECEIVERS));
    state.SetItemsProcessed(state.iterations() * kReceivers);
}
BENCHMARK(BM_FanOutPerReceiver);

}  // namespace
