#include "Platform.h"
#include "Simulation.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// Members side by side may be preempted right after an interlocked operation on shared memory.
long Preemptible(long volatile* value, long result)
{
    simulation::SwitchPointAt(value);
    return result;
}

}  // namespace

long AtomicIncrement(long volatile* value) { return Preemptible(value, __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST)); }
long AtomicDecrement(long volatile* value) { return Preemptible(value, __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST)); }

unsigned long CurrentThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

namespace {
// Simulated time: sleeping moves the clock on at once, so that long waits cost nothing.
std::atomic<bool> g_simulatedTime{false};
std::atomic<unsigned long> g_simulatedClock{0};
}  // namespace

namespace simulation {
void UseSimulatedTime(bool simulated) { g_simulatedTime = simulated; }
}  // namespace simulation

unsigned long MillisecondClock()
{
    if (g_simulatedTime)
        return g_simulatedClock;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Unsigned arithmetic wraps at 2^32 like timeGetTime.
    return static_cast<unsigned long>(now.tv_sec) * 1000UL +
           static_cast<unsigned long>(now.tv_nsec / 1000000L);
}

void SleepMilliseconds(unsigned long milliseconds)
{
    if (g_simulatedTime) {
        g_simulatedClock += milliseconds != 0 ? milliseconds : 1;
        simulation::Yield();
        return;
    }
    timespec remaining{static_cast<time_t>(milliseconds / 1000UL),
                       static_cast<long>(milliseconds % 1000UL) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
    simulation::Yield();
}

// The portable builds serve tests, which must run on past a usage error; a debugger there can
// break on this function by name.
void BreakIntoDebugger() {}

RecursiveLock::RecursiveLock()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

RecursiveLock::~RecursiveLock() { pthread_mutex_destroy(&m_mutex); }
void RecursiveLock::Lock()
{
    // A task side by side must not block its thread: the holder may be a preempted task.
    while ((simulation::InSession() ? pthread_mutex_trylock : pthread_mutex_lock)(&m_mutex) != 0)
        simulation::WaitForOthers();
}
void RecursiveLock::Unlock() { pthread_mutex_unlock(&m_mutex); }

}  // namespace platform
