// On a second core the other side may act between any two accesses to shared memory, so in the
// host build every load and store that the group's code makes is a switch point when it falls
// inside a mapped view. The compiler calls these before each access of code built with
// -fsanitize-coverage=trace-loads,trace-stores (simulation/CMakeLists.txt); most accesses lie
// outside every view, and cost one comparison.
#include "Simulation.h"

#include <atomic>

namespace {

std::atomic<bool> g_accesses{true};

void Access(const volatile void* address)
{
    if (g_accesses.load(std::memory_order_relaxed))
        platform::simulation::SwitchPointAt(address);
}

}  // namespace

void platform::simulation::SwitchAtAccesses(bool accesses) { g_accesses = accesses; }

#define CORVANE_ACCESS_HOOKS(bytes)                                                            \
    extern "C" void __sanitizer_cov_load##bytes(const volatile void* address) { Access(address); } \
    extern "C" void __sanitizer_cov_store##bytes(const volatile void* address) { Access(address); }

CORVANE_ACCESS_HOOKS(1)
CORVANE_ACCESS_HOOKS(2)
CORVANE_ACCESS_HOOKS(4)
CORVANE_ACCESS_HOOKS(8)
CORVANE_ACCESS_HOOKS(16)
