// The host build's stand-in for the kernel (simulation/): what tests and fuzzers say to it about
// the processes it simulates, and the switch points at which it runs them side by side.
#pragma once

#include "PlatformSharedMemory.h"

#include <cstddef>
#include <functional>

namespace platform {

// The simulation of processes in the stand-in. Until a test says otherwise, everything belongs to
// one process, this program. The simulation knows a process by a number that it never gives
// twice; IsProcessRunning answers by the ids the processes show, as on Windows: false for an id
// that no process running has.
namespace simulation {

// A new process, and the number it is known by. The id it shows is that number, or with
// `reuseId` the id of the process that ended last (if no other process has taken it again), as
// a system hands the ids of ended processes out again.
ProcessId StartProcess(bool reuseId = false);
// Handles, views and mutex holds made from now on belong to process number `process` (this
// program's own process: its id), and CurrentProcessId answers that process's id.
void SetCurrentProcess(ProcessId process);
// `process` ends as a killed process does: its handles close, the mutexes it held are
// abandoned, and each of its views is cut off from its mapping (the addresses stay readable and
// writable for whatever the ended process's objects still do, but nobody else sees it).
void EndProcess(ProcessId process);
// From now on sleeping moves the millisecond clock on at once instead of waiting (or, with
// false, time is real again).
void UseSimulatedTime(bool simulated);
// Named objects that exist, and views that are mapped, in all processes.
std::size_t NamedObjectCount();
std::size_t ViewCount();

// Processes side by side: each task runs on a thread of its own, one thread at a time; the others
// wait at switch points (interlocked operations on shared memory, named mutexes, opens, maps,
// unmaps, closes, sleeps and waits for a lock). Nothing but the calls decides the order, so the
// same calls repeat a run exactly. RunBeside runs `work` in `process` at once, until it ends or has
// passed `switches` switch points (0: no limit); then it is preempted and this returns. It goes
// on whenever the others sleep or wait, or in FinishTasks (of `process`, or 0: of all). A process
// runs one task at a time. Only the thread that started the first task starts more.
void RunBeside(ProcessId process, unsigned long switches, std::function<void()> work);
// The task that RunBeside starts next is preempted (also) at its `nth` access to shared memory that
// lies `offset` bytes into a page of a view: a field of a block, whichever block, wherever it falls
// in the operation. PreemptedAccess is the address of the access that a task preempted there is
// about to make, while it waits (null otherwise): another process may write it first.
void PreemptAtAccess(std::size_t offset, unsigned long nth);
volatile void* PreemptedAccess();
void FinishTasks(ProcessId process = 0);
std::size_t UnfinishedTasks();
// A stress mode: tasks take turns at every switch point.
void SwitchAtEveryPoint(bool every);
// Whether the loads and stores of shared memory that the group's code makes are switch points too
// (they are until said otherwise).
void SwitchAtAccesses(bool accesses);
// The platform layer's switch points; WaitForOthers after a failed try to take a lock (when every
// task waits for another, the run ends with a report of the deadlock).
void SwitchPoint();
void SwitchPointAt(const volatile void* address);  // only where it lies in a view
void Yield();
void WaitForOthers();
bool InSession();
bool InSharedView(const volatile void* address);

}  // namespace simulation

}  // namespace platform
