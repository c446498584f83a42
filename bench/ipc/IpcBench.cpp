// Events per second from one producer process to one consumer process: through an inter-process
// event group (without data and with 256 bytes) and, for scale, the same 28-byte records (and
// data) through a Win32 named pipe, and the floor of the protocol: a put into another member's
// queue opens, maps, unmaps and closes a named mapping at least once. The consumer takes events in
// a tight loop. Each figure is the median of several runs; run on demand:
//   ipc_bench.exe [events-per-run] [runs]
#include "COProcDispatcher.h"
#include "CommonObjectBase.h"
#include "CommonObjectEventManager.h"
#include "Win32Owners.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr unsigned int kCode = 0x4242;
// The producer takes its own copy of every event out of its queue this often.
constexpr long kProducerTurnEvery = 16;

struct Channel {
    bool pipe;
    long dataSize;
    const char* label;
};

class Counter : public CommonObjectBase {
public:
    long count = 0;

protected:
    bool HandleEvent(COEvent* event) override
    {
        count += event->code == kCode ? 1 : 0;
        return true;
    }
};

std::string Name(const char* what, DWORD run) { return "CvBench" + std::to_string(GetCurrentProcessId()) + what + std::to_string(run); }

// ---- consumer side (a child process) ----

int ConsumeGroup(const char* group, long events, HANDLE ready, HANDLE done)
{
    CommonObjectEventManager manager(nullptr);
    auto* member = new COProcDispatcher(group);
    Counter counter;
    member->AddReceiver(counter.GetID());
    SetEvent(ready);
    while (counter.count < events)
        CommonObjectEventManager::staticDispatchEvents(0);
    SetEvent(done);
    delete member;
    return 0;
}

bool ReadExactly(HANDLE pipe, void* buffer, DWORD size)
{
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        DWORD read = 0;
        if (!ReadFile(pipe, bytes, size, &read, nullptr) || read == 0)
            return false;
        bytes += read;
        size -= read;
    }
    return true;
}

int ConsumePipe(const char* name, long events, HANDLE ready, HANDLE done)
{
    SetEvent(ready);
    KernelHandle pipe;
    while (!pipe.IsOpen()) {
        WaitNamedPipeA(name, NMPWAIT_WAIT_FOREVER);
        pipe = KernelHandle(CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    std::vector<char> data;
    for (long i = 0; i < events; ++i) {
        COProcDispatcher::EventSlot slot;
        if (!ReadExactly(pipe.Get(), &slot, sizeof slot))
            return 1;
        data.resize(static_cast<std::size_t>(std::max(slot.dataSize, 0L)));
        if (!data.empty() && !ReadExactly(pipe.Get(), data.data(), static_cast<DWORD>(data.size())))
            return 1;
    }
    SetEvent(done);
    return 0;
}

// ---- producer side ----

KernelHandle StartConsumer(const std::string& mode, const std::string& name, long events, DWORD run)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = "\"" + std::string(self) + "\" " + mode + " " + name + " " + std::to_string(events) + " " +
                       std::to_string(GetCurrentProcessId()) + " " + std::to_string(run);
    std::vector<char> mutableLine(line.begin(), line.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(self, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return KernelHandle();
    CloseHandle(info.hThread);
    return KernelHandle(info.hProcess);
}

double Seconds(LARGE_INTEGER start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void ProduceGroup(COProcDispatcher& member, long events, long dataSize, HANDLE done)
{
    std::vector<char> data(static_cast<std::size_t>(dataSize), 'x');
    for (long i = 0; i < events; ++i) {
        COEvent event = COMakeEvent(0, member.GetID(), kCode, dataSize > 0 ? data.data() : nullptr, dataSize, 0);
        CommonObjectEventManager::staticSendEvent(&event, 0);
        if ((i + 1) % kProducerTurnEvery == 0)
            CommonObjectEventManager::staticDispatchEvents(0);
    }
    // The data blocks must outlive the consumer's deliveries: the producer stays a member until
    // the consumer is done, keeping its own queue short meanwhile.
    while (WaitForSingleObject(done, 0) == WAIT_TIMEOUT)
        CommonObjectEventManager::staticDispatchEvents(0);
}

void ProducePipe(HANDLE pipe, long events, long dataSize)
{
    std::vector<char> record(sizeof(COProcDispatcher::EventSlot) + static_cast<std::size_t>(dataSize), 'x');
    COProcDispatcher::EventSlot slot = COProcDispatcher::ToSlot(COMakeEvent(0, 0, kCode, nullptr, dataSize, 0));
    std::copy_n(reinterpret_cast<const char*>(&slot), sizeof slot, record.begin());
    for (long i = 0; i < events; ++i) {
        DWORD written = 0;
        WriteFile(pipe, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    }
}

// One run: events per second from the first send until the consumer has taken the last event.
double Run(const Channel& channel, long events, DWORD run)
{
    const KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, Name("Ready", run).c_str()));
    const KernelHandle done(CreateEventA(nullptr, TRUE, FALSE, Name("Done", run).c_str()));
    const std::string name = channel.pipe ? "\\\\.\\pipe\\" + Name("Pipe", run) : Name("Group", run);
    KernelHandle pipe;
    if (channel.pipe)
        pipe = KernelHandle(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                             1 << 16, 1 << 16, 0, nullptr));
    const KernelHandle consumer = StartConsumer(channel.pipe ? "pipe" : "group", name, events, run);
    WaitForSingleObject(ready.Get(), INFINITE);
    std::unique_ptr<COProcDispatcher> member;
    if (channel.pipe)
        ConnectNamedPipe(pipe.Get(), nullptr);
    else
        member = std::make_unique<COProcDispatcher>(name.c_str());
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (channel.pipe)
        ProducePipe(pipe.Get(), events, channel.dataSize);
    else
        ProduceGroup(*member, events, channel.dataSize, done.Get());
    WaitForSingleObject(done.Get(), INFINITE);
    const double seconds = Seconds(start);
    WaitForSingleObject(consumer.Get(), INFINITE);
    return static_cast<double>(events) / seconds;
}

// Microseconds for one open, map, unmap and close of an existing named mapping.
double MapCycleMicroseconds(long cycles)
{
    const std::string name = Name("Floor", 0);
    const KernelHandle block(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 592, name.c_str()));
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (long i = 0; i < cycles; ++i) {
        const KernelHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, name.c_str()));
        const ScopedView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    }
    return Seconds(start) * 1e6 / static_cast<double>(cycles);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Produce(long events, int runs)
{
    CommonObjectEventManager manager(nullptr);
    const Channel channels[] = {{false, 0, "group, no data"},
                                {true, 0, "pipe,  no data"},
                                {false, 256, "group, 256 bytes"},
                                {true, 256, "pipe,  256 bytes"}};
    DWORD run = 0;
    double medians[4];
    for (int c = 0; c < 4; ++c) {
        std::vector<double> rates;
        for (int r = 0; r < runs; ++r)
            rates.push_back(Run(channels[c], events, ++run));
        medians[c] = Median(rates);
        std::printf("%-18s %10.0f events/s (median of %d runs of %ld)\n", channels[c].label, medians[c], runs, events);
    }
    std::printf("group/pipe: no data %.3f, 256 bytes %.3f\n", medians[0] / medians[1], medians[2] / medians[3]);
    const double cycle = MapCycleMicroseconds(events);
    std::printf("map cycle %.1f us: floor %.0f events/s; group/floor: no data %.3f\n", cycle, 1e6 / cycle,
                medians[0] * cycle / 1e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 6) {
        // A consumer: <mode> <name> <events> <producer id> <run>, with the producer's signals.
        const std::string prefix = "CvBench" + std::string(argv[4]);
        const KernelHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, (prefix + "Ready" + argv[5]).c_str()));
        const KernelHandle done(OpenEventA(EVENT_MODIFY_STATE, FALSE, (prefix + "Done" + argv[5]).c_str()));
        const long events = std::atol(argv[3]);
        return std::string(argv[1]) == "pipe" ? ConsumePipe(argv[2], events, ready.Get(), done.Get())
                                              : ConsumeGroup(argv[2], events, ready.Get(), done.Get());
    }
    const long events = argc > 1 ? std::atol(argv[1]) : 5000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    return Produce(std::max(events, 1L), std::max(runs, 1));
}
