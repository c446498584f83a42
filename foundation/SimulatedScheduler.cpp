// The scheduler of simulated processes that run side by side (see PlatformSharedMemory.h). Each
// task is a thread that runs only while it holds the turn; the thread that started the first task
// is the driver, a task too. The turn passes on at a task's preemption (to the driver), at its end,
// in a sleep (to the next task in start order that can run) and when a lock it wants is held.
#include "PlatformSharedMemory.h"

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::simulation {
namespace {

struct Task {
    ProcessId process = 0;
    unsigned long switchesLeft = 0;  // preempted at the switch point that counts this down to 0
    const Task* awaited = nullptr;   // the driver: the task it waits for (to be preempted or end)
    bool ended = false;
    bool waiting = false;              // for a lock another task holds
    unsigned long waitingSince = 0;    // the progress count at its last try
    std::thread thread;
};

class Scheduler {
public:
    void Run(ProcessId process, unsigned long switches, std::function<void()> work);
    void Finish(ProcessId process);
    std::size_t Unfinished();
    void Point(bool sleeping);
    void WaitForOthers();
    bool everyPoint = false;

private:
    using Hold = std::unique_lock<std::mutex>;
    static bool CanRun(const Task& task) { return !task.ended && task.awaited == nullptr; }
    void Body(Task* task, const std::function<void()>& work);
    void Await(Hold& hold, const Task* task);
    Task* Next(const Task* self);
    void PassTo(Hold& hold, Task* self, Task* next);
    void Reap();

    std::mutex m_lock;
    std::condition_variable m_turn;
    std::vector<std::unique_ptr<Task>> m_tasks;  // in start order; [0] is the driver
    Task* m_running = nullptr;
    unsigned long m_progress = 0;
};

thread_local Task* t_task = nullptr;

Scheduler& Instance()
{
    static Scheduler* scheduler = new Scheduler;
    return *scheduler;
}

void Scheduler::Run(ProcessId process, unsigned long switches, std::function<void()> work)
{
    Finish(process);
    Hold hold(m_lock);
    if (m_tasks.empty()) {
        m_tasks.push_back(std::make_unique<Task>());
        m_running = t_task = m_tasks.front().get();
    }
    m_tasks.push_back(std::make_unique<Task>());
    Task* task = m_tasks.back().get();
    task->process = process;
    task->switchesLeft = switches;
    task->thread = std::thread([this, task, work = std::move(work)] { Body(task, work); });
    Await(hold, task);
    hold.unlock();
    Reap();
}

void Scheduler::Body(Task* task, const std::function<void()>& work)
{
    t_task = task;
    {
        Hold hold(m_lock);
        m_turn.wait(hold, [&] { return m_running == task; });
    }
    work();
    Hold hold(m_lock);
    task->ended = true;
    ++m_progress;
    Task* driver = m_tasks.front().get();
    if (driver->awaited == task)
        driver->awaited = nullptr;
    PassTo(hold, task, CanRun(*driver) ? driver : Next(task));
}

// The driver hands the turn to `task` and has it back once `task` is preempted or has ended.
void Scheduler::Await(Hold& hold, const Task* task)
{
    Task* driver = m_tasks.front().get();
    driver->awaited = task;
    PassTo(hold, driver, const_cast<Task*>(task));
}

void Scheduler::Finish(ProcessId process)
{
    if (t_task == nullptr)
        return;
    {
        Hold hold(m_lock);
        for (std::size_t i = 1; i < m_tasks.size(); ++i) {
            if (!m_tasks[i]->ended && (process == 0 || m_tasks[i]->process == process))
                Await(hold, m_tasks[i].get());
        }
    }
    Reap();
}

// Joins the threads of ended tasks; once none is left the session is over, and switch points
// cost nothing again.
void Scheduler::Reap()
{
    Hold hold(m_lock);
    for (auto it = m_tasks.begin() + 1; it != m_tasks.end();) {
        if ((*it)->ended) {
            (*it)->thread.join();
            it = m_tasks.erase(it);
        } else {
            ++it;
        }
    }
    if (m_tasks.size() == 1) {
        m_tasks.clear();
        m_running = t_task = nullptr;
    }
}

std::size_t Scheduler::Unfinished()
{
    Hold hold(m_lock);
    std::size_t unfinished = 0;
    for (const auto& task : m_tasks)
        unfinished += task.get() != m_tasks.front().get() && !task->ended ? 1 : 0;
    return unfinished;
}

void Scheduler::Point(bool sleeping)
{
    Task* self = t_task;
    Hold hold(m_lock);
    ++m_progress;
    if (self->switchesLeft != 0 && --self->switchesLeft == 0) {
        Task* driver = m_tasks.front().get();
        driver->awaited = nullptr;
        PassTo(hold, self, driver);
    } else if (sleeping || everyPoint) {
        PassTo(hold, self, Next(self));
    }
}

void Scheduler::WaitForOthers()
{
    Task* self = t_task;
    Hold hold(m_lock);
    self->waiting = true;
    self->waitingSince = m_progress;
    Task* next = Next(self);
    if (next == self) {
        std::fprintf(stderr, "==simulation== deadlock: every task waits for another\n");
        __builtin_trap();
    }
    PassTo(hold, self, next);
    self->waiting = false;
}

// The next task in start order after `self` that can run: one that does not wait first, then one
// that waits but has not tried since the last progress; `self` when there is none.
Task* Scheduler::Next(const Task* self)
{
    const std::size_t count = m_tasks.size();
    std::size_t at = 0;
    while (m_tasks[at].get() != self)
        ++at;
    for (const bool waiters : {false, true}) {
        for (std::size_t step = 1; step < count; ++step) {
            Task* task = m_tasks[(at + step) % count].get();
            if (CanRun(*task) && (waiters ? task->waitingSince != m_progress : !task->waiting))
                return task;
        }
    }
    return const_cast<Task*>(self);
}

void Scheduler::PassTo(Hold& hold, Task* self, Task* next)
{
    if (next == self)
        return;
    m_running = next;
    m_turn.notify_all();
    if (!self->ended)
        m_turn.wait(hold, [&] { return m_running == self; });
}

}  // namespace

void RunBeside(ProcessId process, unsigned long switches, std::function<void()> work)
{
    Instance().Run(process, switches, std::move(work));
}

void FinishTasks(ProcessId process) { Instance().Finish(process); }
std::size_t UnfinishedTasks() { return InSession() ? Instance().Unfinished() : 0; }
void SwitchAtEveryPoint(bool every) { Instance().everyPoint = every; }
bool InSession() { return t_task != nullptr; }

void SwitchPoint()
{
    if (InSession())
        Instance().Point(false);
}

void SwitchPointAt(const volatile void* address)
{
    if (InSession() && InSharedView(address))
        Instance().Point(false);
}

void Yield()
{
    if (InSession())
        Instance().Point(true);
}

void WaitForOthers()
{
    if (InSession())
        Instance().WaitForOthers();
}

}  // namespace platform::simulation
