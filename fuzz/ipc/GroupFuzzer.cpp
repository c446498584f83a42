// A hostile process of the session against an inter-process group: the input interleaves what
// up to five members do (join, send with and without data, deliver, leave, end without leaving,
// end while holding a lock) with writes anywhere into every shared block of the group and of the
// event-data heap. Nothing may crash, hang or stay behind: once every member has gone, no named
// object and no view is left.
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

// A member ends in the middle of its work on a block: the lock stays held in its name.
void EndHoldingALock(SimulatedGroup& group, int member, FuzzedDataProvider& input)
{
    if (!group.IsThere(member))
        return;
    const long index = input.ConsumeIntegralInRange<long>(0, kBlocksInReach - 1);
    const platform::MappedView view = group.QueueBlock(index);
    if (view.Length() >= sizeof(COProcDispatcher::Header)) {
        auto* header = static_cast<COProcDispatcher::Header*>(view.Get());
        header->lock = 0;
        header->reserved = group.ProcessOf(member);
    }
    group.Vanish(member);
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
        case 6:
            EndHoldingALock(group, member, input);
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
