// Ends a fuzz target whose input runs longer than libFuzzer's -timeout, as libFuzzer's own timer
// means to: a report, the input in a timeout-* file, and libFuzzer's timeout status 70.
//
// libFuzzer's timer is a process-wide SIGALRM whose handler acts only on the thread that runs the
// input. qemu's i386 user emulation hands it to another thread (libFuzzer's memory watcher), so
// there a hung input ran until CTest's limit and left nothing to reproduce it with. A thread of our
// own that watches the clock works everywhere, and takes the timer's place.
//
// Every fuzz target is linked with --wrap=LLVMFuzzerTestOneInput: libFuzzer calls the wrapper at
// the end of this file, which tells the watchdog when each input starts and ends.
#include <sanitizer/common_interface_defs.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>

extern "C" int __real_LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Clock = std::chrono::steady_clock;

// libFuzzer's flags of these names, with libFuzzer's defaults; the last one given counts.
long timeoutSeconds = 1200;  // not positive: no limit
const char* artifactPrefix = "./";

// glibc hands every .init_array function the program's arguments, so the watchdog reads the very
// flags that libFuzzer parses.
void ReadOptions(int argc, char** argv, char**)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-timeout=", 9) == 0)
            timeoutSeconds = std::strtol(argv[i] + 9, nullptr, 10);
        else if (std::strncmp(argv[i], "-artifact_prefix=", 17) == 0)
            artifactPrefix = argv[i] + 17;
    }
}

[[gnu::section(".init_array"), gnu::used]] void (*const readOptions)(int, char**, char**) = ReadOptions;

const std::uint8_t* inputData;
std::size_t inputSize;
// Odd while an input runs; the watchdog takes an input's turn over, so that it reports the input
// it timed, and that input, finding its turn gone, never returns into libFuzzer.
std::atomic<std::uint64_t> turn{0};
std::atomic<Clock::rep> started{0};
constexpr std::uint64_t kTakenOver = UINT64_MAX;

// Named as libFuzzer names it, by a hash of the input's bytes (FNV-1a here, SHA-1 there). Plain
// stdio: the hung input is left waiting, and the process ends right after.
void Report(long ranSeconds)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < inputSize; ++i)
        hash = (hash ^ inputData[i]) * 1099511628211ull;
    char path[4096];
    std::snprintf(path, sizeof path, "%stimeout-%016llx", artifactPrefix, static_cast<unsigned long long>(hash));
    std::FILE* file = std::fopen(path, "wb");
    const bool written = file != nullptr && std::fwrite(inputData, 1, inputSize, file) == inputSize;
    if (file != nullptr && std::fclose(file) != 0)
        std::perror(path);
    std::fprintf(stderr,
                 "==%d== ERROR: libFuzzer: timeout after %ld seconds\n"
                 "fuzz watchdog: an input of %zu bytes has run for %ld s, the limit is -timeout=%ld\n"
                 "Test unit %s %s\nSUMMARY: libFuzzer: timeout\n",
                 static_cast<int>(getpid()), ranSeconds, inputSize, ranSeconds, timeoutSeconds,
                 written ? "written to" : "could not be written to", path);
    _exit(70);
}

[[noreturn]] void Watch()
{
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::uint64_t now = turn.load(std::memory_order_acquire);
        const auto ran = std::chrono::duration_cast<std::chrono::seconds>(
            Clock::now() - Clock::time_point(Clock::duration(started.load())));
        // A crash being reported meanwhile ends the process itself.
        if (now % 2 == 1 && ran.count() >= timeoutSeconds && turn.compare_exchange_strong(now, kTakenOver) &&
            __sanitizer_acquire_crash_state())
            Report(static_cast<long>(ran.count()));
    }
}

void StartWatchdog()
{
    // libFuzzer's timer goes quiet: the watchdog times every input. Under qemu's i386 emulation a
    // thread that has handled a signal goes on with the thread-local data of the thread started
    // last, so the group fuzzer's driver, whose members side by side are threads, went on with the
    // data of an ended member at its first alarm.
    std::signal(SIGALRM, SIG_IGN);
    // The thread takes no signals: SIGALRM and the others stay with libFuzzer's threads.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    std::thread(Watch).detach();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

extern "C" int __wrap_LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (timeoutSeconds <= 0)
        return __real_LLVMFuzzerTestOneInput(data, size);
    // Started at the first input, after libFuzzer has set up.
    static const bool watching = (StartWatchdog(), true);
    (void)watching;
    inputData = data;
    inputSize = size;
    started.store(Clock::now().time_since_epoch().count());
    turn.fetch_add(1, std::memory_order_release);
    const int result = __real_LLVMFuzzerTestOneInput(data, size);
    std::uint64_t mine = turn.load(std::memory_order_relaxed);
    if (!turn.compare_exchange_strong(mine, mine + 1))
        for (;;)
            pause();
    return result;
}
