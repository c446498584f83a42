// Simulated processes side by side (see PlatformSharedMemory.h). Each task is a thread that runs
// only while it holds the turn; the thread that started the first task, the driver, is the first
// task. The turn passes at a preemption (to the driver), at a task's end or in a sleep (to the next
// task in start order that can run) and when a lock is held (to one that has not tried since the
// last progress; when there is none, every task waits for another).
#include "Simulation.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <list>
#include <mutex>
#include <thread>

namespace platform::simulation {
namespace {

struct Task {
    ProcessId process = 0;
    unsigned long switchesLeft = 0;  // preempted at the switch point that counts it down to 0
    const Task* awaited = nullptr;   // the driver's: until that task is preempted or ends
    bool ended = false;
    bool waiting = false;            // for a lock, tried last at progress `triedAt`
    unsigned long triedAt = 0;
    std::thread thread;
};

using Hold = std::unique_lock<std::mutex>;
std::mutex g_lock;
std::condition_variable g_turn;
std::list<Task> g_tasks;  // in start order
Task* g_running = nullptr;
Task* g_ended = nullptr;  // ended and gone on, its thread perhaps not yet
unsigned long g_progress = 0;
bool g_everyPoint = false;
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

// A task's thread goes on after its end, through the sanitizer's and the thread library's own
// clean-up, which gives memory back: whoever takes the turn next first waits for it, so that
// nothing in a run (addresses included, which libFuzzer reads in comparisons) depends on timing.
void JoinEnded()
{
    if (g_ended != nullptr && g_ended->thread.joinable())
        g_ended->thread.join();
    g_ended = nullptr;
}

// Gives the turn to `next` and, unless `self` has ended, waits until it comes back.
void PassTo(Hold& hold, Task* self, Task* next)
{
    if (next == self)
        return;
    g_running = next;
    g_turn.notify_all();
    if (!self->ended) {
        g_turn.wait(hold, [self] { return g_running == self; });
        JoinEnded();
    }
}

// The driver gives the turn to `task` until it is preempted or ends.
void Await(Hold& hold, Task& task)
{
    Driver().awaited = &task;
    PassTo(hold, &Driver(), &task);
}

// Joins the threads of ended tasks; with none left the session is over, and switch points cost
// nothing again.
void Reap(Hold& hold)
{
    g_tasks.remove_if([](Task& task) {
        if (task.ended && task.thread.joinable())
            task.thread.join();
        return task.ended;
    });
    g_ended = nullptr;
    if (g_tasks.size() == 1) {
        g_tasks.clear();
        g_running = t_task = nullptr;
    }
    hold.unlock();
}

void Body(Task* task, const std::function<void()>& work)
{
    t_task = task;
    Hold hold(g_lock);
    g_turn.wait(hold, [task] { return g_running == task; });
    JoinEnded();
    hold.unlock();
    work();
    hold.lock();
    task->ended = true;
    g_ended = task;
    ++g_progress;
    if (Driver().awaited == task)
        Driver().awaited = nullptr;
    PassTo(hold, task, CanRun(Driver()) ? &Driver() : Next(task));
}

void Point(bool sleeping)
{
    // Only the thread that holds the turn runs, so the count and the progress need no lock, and a
    // point where the turn stays (most accesses to shared memory) costs no more than that.
    ++g_progress;
    const bool preempted = t_task->switchesLeft != 0 && --t_task->switchesLeft == 0;
    if (!preempted && !sleeping && !g_everyPoint)
        return;
    Hold hold(g_lock);
    if (preempted) {
        Driver().awaited = nullptr;
        PassTo(hold, t_task, &Driver());
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
    task.thread = std::thread([&task, work = std::move(work)] { Body(&task, work); });
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
void SwitchPointAt(const volatile void* address) { if (InSharedView(address) && InSession()) Point(false); }
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
