// Simulated processes side by side (see Simulation.h). Each task runs on a thread, only while it
// holds the turn; the thread that started the first task, the driver, is the first task. A thread
// runs the next task once its own has ended: one that ended went on with its own clean-up after it
// had given the turn on (so a run's addresses depended on timing), and under qemu every thread
// started and ended cost address space for good, until the sanitizer found none after some
// thousand. The turn passes at a preemption (to the driver), at a task's end or in a sleep (to the
// next task in start order that can run) and when a lock is held (to one that has not tried since
// the last progress; when there is none, every task waits for another).
#include "Simulation.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <list>
#include <mutex>
#include <thread>
#include <utility>
#include <unistd.h>

namespace platform::simulation {
namespace {

struct Task {
    ProcessId process = 0;
    unsigned long switchesLeft = 0;  // preempted at the switch point that counts it down to 0
    std::size_t watchedOffset = 0;   // and at the access into a page at this offset that counts
    unsigned long watchedLeft = 0;   // this down to 0
    const Task* awaited = nullptr;   // the driver's: until that task is preempted or ends
    bool ended = false;
    bool waiting = false;            // for a lock, tried last at progress `triedAt`
    unsigned long triedAt = 0;
};

// A thread that runs tasks one after the other; idle while it has none.
struct Worker {
    Task* task = nullptr;
    std::function<void()> work;
};

using Hold = std::unique_lock<std::mutex>;
std::mutex g_lock;
// Never destroyed: idle workers wait on it when the program ends.
std::condition_variable& g_turn = *new std::condition_variable;
std::list<Task> g_tasks;  // in start order
std::list<Worker>& g_workers = *new std::list<Worker>;
pid_t g_workersOf = 0;  // the process whose threads they are
Task* g_running = nullptr;
unsigned long g_progress = 0;
bool g_everyPoint = false;
std::size_t g_watchedOffset = 0;  // for the next task
unsigned long g_watchedNth = 0;
volatile void* g_preemptedAccess = nullptr;
thread_local Task* t_task = nullptr;

Task& Driver() { return g_tasks.front(); }
bool CanRun(const Task& task) { return !task.ended && task.awaited == nullptr; }

Task* Next(Task* self)
{
    for (const bool waiters : {false, true}) {
        auto it = std::find_if(g_tasks.begin(), g_tasks.end(), [self](const Task& task) { return &task == self; });
        for (std::size_t step = 1; step < g_tasks.size(); ++step) {
            it = std::next(it) == g_tasks.end() ? g_tasks.begin() : std::next(it);
            if (CanRun(*it) && (waiters ? it->triedAt != g_progress : !it->waiting))
                return &*it;
        }
    }
    return self;
}

// Gives the turn to `next` and, unless `self` has ended, waits until it comes back.
void PassTo(Hold& hold, Task* self, Task* next)
{
    if (next == self)
        return;
    g_running = next;
    g_turn.notify_all();
    if (!self->ended)
        g_turn.wait(hold, [self] { return g_running == self; });
}

// The driver gives the turn to `task` until it is preempted or ends.
void Await(Hold& hold, Task& task)
{
    Driver().awaited = &task;
    PassTo(hold, &Driver(), &task);
}

// Forgets ended tasks; with none left the session is over, and switch points cost nothing again.
void Reap(Hold& hold)
{
    g_tasks.remove_if([](const Task& task) { return task.ended; });
    if (g_tasks.size() == 1) {
        g_tasks.clear();
        g_running = t_task = nullptr;
    }
    hold.unlock();
}

// Runs the worker's tasks as they come; after each, nothing of it runs on beside the next.
[[noreturn]] void Serve(Worker* worker)
{
    Hold hold(g_lock);
    for (;;) {
        g_turn.wait(hold, [worker] { return worker->task != nullptr && g_running == worker->task; });
        Task* task = t_task = worker->task;
        hold.unlock();
        worker->work();
        worker->work = nullptr;
        hold.lock();
        task->ended = true;
        ++g_progress;
        if (Driver().awaited == task)
            Driver().awaited = nullptr;
        worker->task = t_task = nullptr;
        PassTo(hold, task, CanRun(Driver()) ? &Driver() : Next(task));
    }
}

Worker& IdleWorker()
{
    // A child that a death test forked has none of its parent's threads.
    if (g_workersOf != getpid()) {
        g_workers.clear();
        g_workersOf = getpid();
    }
    const auto idle = std::find_if(g_workers.begin(), g_workers.end(), [](const Worker& worker) { return worker.task == nullptr; });
    if (idle != g_workers.end())
        return *idle;
    Worker& worker = g_workers.emplace_back();
    std::thread([&worker] { Serve(&worker); }).detach();
    return worker;
}

// Most accesses come with no watch at all: those cost one test.
bool IsWatched(Task& task, const volatile void* address)
{
    if (task.watchedLeft == 0 || address == nullptr)
        return false;
    static const auto pageMask = static_cast<std::uintptr_t>(getpagesize()) - 1;
    return (reinterpret_cast<std::uintptr_t>(address) & pageMask) == task.watchedOffset && --task.watchedLeft == 0;
}

void Point(bool sleeping, const volatile void* address = nullptr)
{
    // Only the thread that holds the turn runs, so the count and the progress need no lock, and a
    // point where the turn stays (most accesses to shared memory) costs no more than that.
    ++g_progress;
    const bool counted = t_task->switchesLeft != 0 && --t_task->switchesLeft == 0;
    const bool preempted = IsWatched(*t_task, address) || counted;
    if (!preempted && !sleeping && !g_everyPoint)
        return;
    Hold hold(g_lock);
    if (preempted) {
        // Once: FinishTasks runs it to its end.
        t_task->switchesLeft = t_task->watchedLeft = 0;
        Driver().awaited = nullptr;
        g_preemptedAccess = const_cast<volatile void*>(address);
        PassTo(hold, t_task, &Driver());
        // Unless another task has been preempted at an access since.
        if (g_preemptedAccess == address)
            g_preemptedAccess = nullptr;
    } else {
        PassTo(hold, t_task, Next(t_task));
    }
}

}  // namespace

void RunBeside(ProcessId process, unsigned long switches, std::function<void()> work)
{
    FinishTasks(process);
    Hold hold(g_lock);
    if (g_tasks.empty())
        g_running = t_task = &g_tasks.emplace_back();
    Task& task = g_tasks.emplace_back();
    task.process = process;
    task.switchesLeft = switches;
    task.watchedOffset = g_watchedOffset;
    task.watchedLeft = std::exchange(g_watchedNth, 0);
    Worker& worker = IdleWorker();
    worker.task = &task;
    worker.work = std::move(work);
    Await(hold, task);
    Reap(hold);
}

void FinishTasks(ProcessId process)
{
    if (!InSession())
        return;
    Hold hold(g_lock);
    for (Task& task : g_tasks) {
        if (&task != &Driver() && !task.ended && (process == 0 || task.process == process))
            Await(hold, task);
    }
    Reap(hold);
}

std::size_t UnfinishedTasks()
{
    const Hold hold(g_lock);
    return static_cast<std::size_t>(std::count_if(g_tasks.begin(), g_tasks.end(), [](const Task& task) { return !task.ended; })) -
           (InSession() ? 1 : 0);  // the driver
}

void SwitchAtEveryPoint(bool every) { g_everyPoint = every; }
bool InSession() { return t_task != nullptr; }

void SwitchPoint() { if (InSession()) Point(false); }
void SwitchPointAt(const volatile void* address) { if (InSharedView(address) && InSession()) Point(false, address); }

void PreemptAtAccess(std::size_t offset, unsigned long nth)
{
    g_watchedOffset = offset;
    g_watchedNth = nth;
}

volatile void* PreemptedAccess()
{
    const Hold hold(g_lock);
    return g_preemptedAccess;
}

void Yield() { if (InSession()) Point(true); }

void WaitForOthers()
{
    if (!InSession())
        return;
    Hold hold(g_lock);
    t_task->waiting = true;
    t_task->triedAt = g_progress;
    Task* next = Next(t_task);
    if (next == t_task) {
        std::fprintf(stderr, "==simulation== deadlock: every task waits for another\n");
        __builtin_trap();
    }
    PassTo(hold, t_task, next);
    t_task->waiting = false;
}

}  // namespace platform::simulation
