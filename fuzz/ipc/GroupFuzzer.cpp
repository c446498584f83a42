// A hostile process against an inter-process group: what up to five members do (join, send, deliver,
// leave, end, end holding a lock) among writes anywhere into every shared block of the group and of
// the event-data heap. Nothing may crash or hang, and once every member has gone nothing is left.
#include "SimulatedGroup.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using simulated_group::SimulatedGroup;

// Every input maps and frees many views and blocks: a small quarantine keeps the address space of
// a 32-bit process (under an emulator, one the sanitizer only partly covers) from filling up.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

namespace {

constexpr int kMaxMembers = 5;
constexpr int kMaxOperations = 64;
constexpr long kBlocksInReach = 24;

// Four bytes written at any offset of a block that exists or, as a squatter would, one that does
// not yet.
void Spoil(SimulatedGroup& group, FuzzedDataProvider& input)
{
    const long index = input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1);
    const platform::MappedView view = input.ConsumeBool() ? SimulatedGroup::DataBlock(index) : group.QueueBlock(index);
    const std::size_t offset = input.ConsumeIntegralInRange<std::size_t>(0, view.Length());
    const auto value = input.ConsumeIntegral<std::uint32_t>();
    if (view.Get() != nullptr && offset + sizeof value <= view.Length())
        std::memcpy(static_cast<char*>(view.Get()) + offset, &value, sizeof value);
}

void Play(SimulatedGroup& group, FuzzedDataProvider& input)
{
    for (int step = 0; step < kMaxOperations && input.remaining_bytes() > 0; ++step) {
        const std::uint8_t operation = input.ConsumeIntegral<std::uint8_t>();
        const int member = input.ConsumeIntegral<std::uint8_t>() % group.Size();  // member 0 is always listed
        switch (operation % 8) {
        case 0:
            if (group.Size() < kMaxMembers)
                group.Join();
            break;
        case 1:
            group.Send(member, 0x100 + operation);
            break;
        case 2:
            group.Send(member, 0x200 + operation,
                       std::string(input.ConsumeIntegral<std::uint8_t>() + 1u, static_cast<char>(operation)));
            break;
        case 3:
            group.Deliver(member);
            break;
        case 4:
            group.Leave(member);
            break;
        case 5:
            group.Vanish(member);
            break;
        case 6:  // it ends in the middle of its work on a block
            if (group.IsThere(member))
                group.Vanish(member, input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1));
            break;
        default:
            Spoil(group, input);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Lock waits and leaving members sleep; simulated time lets them pass at once.
    platform::simulation::UseSimulatedTime(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    {
        SimulatedGroup group("FuzzGroup");
        group.Join();
        Play(group, input);
    }
    if (platform::simulation::ViewCount() != 0 || platform::simulation::NamedObjectCount() != 0)
        __builtin_trap();
    return 0;
}
