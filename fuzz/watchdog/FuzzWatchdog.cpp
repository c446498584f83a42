// Ends a fuzz target whose input runs longer than libFuzzer's -timeout, as libFuzzer's own timer
// means to: a report, the input in a timeout-* file, and the exit status of -timeout_exitcode.
//
// libFuzzer's timer is a process-wide SIGALRM whose handler acts only on the thread that runs the
// input. qemu's i386 user emulation hands it to another thread (libFuzzer's memory watcher), so
// there a hung input ran until CTest's limit and left nothing to reproduce it with. A thread of our
// own that watches the clock works everywhere.
//
// Every fuzz target is linked with --wrap=LLVMFuzzerTestOneInput: libFuzzer calls the wrapper at
// the end of this file, which tells the watchdog when each input starts and ends.
#include <sanitizer/common_interface_defs.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

extern "C" int __real_LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Clock = std::chrono::steady_clock;

// libFuzzer's flags of these names, with libFuzzer's defaults; the last one given counts.
struct Options {
    long timeoutSeconds = 1200;  // not positive: no limit
    int timeoutExitCode = 70;
    const char* artifactPrefix = "./";
};

Options options;

const char* FlagValue(const char* argument, const char* name)
{
    const std::size_t length = std::strlen(name);
    if (argument[0] != '-' || std::strncmp(argument + 1, name, length) != 0 || argument[1 + length] != '=')
        return nullptr;
    return argument + 1 + length + 1;
}

// glibc hands every .init_array function the program's arguments, so the watchdog reads the very
// flags that libFuzzer parses.
void ReadOptions(int argc, char** argv, char**)
{
    for (int i = 1; i < argc; ++i) {
        if (const char* value = FlagValue(argv[i], "timeout"))
            options.timeoutSeconds = std::strtol(value, nullptr, 10);
        else if (const char* code = FlagValue(argv[i], "timeout_exitcode"))
            options.timeoutExitCode = static_cast<int>(std::strtol(code, nullptr, 10));
        else if (const char* prefix = FlagValue(argv[i], "artifact_prefix"))
            options.artifactPrefix = prefix;
    }
}

[[gnu::section(".init_array"), gnu::used]] void (*const readOptions)(int, char**, char**) = ReadOptions;

[[noreturn]] void WaitForTheEnd()
{
    for (;;)
        pause();
}

bool WriteAll(int fd, const void* bytes, std::size_t size)
{
    for (auto* next = static_cast<const char*>(bytes); size > 0;) {
        const ssize_t written = write(fd, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Named as libFuzzer names it, by a hash of the input's bytes (FNV-1a here, SHA-1 there). The
// report takes no lock that the hung input may hold: no allocation, no stdio stream.
bool WriteArtifact(const std::uint8_t* data, std::size_t size, char* path, std::size_t pathSize)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 1099511628211ull;
    std::snprintf(path, pathSize, "%stimeout-%016" PRIx64, options.artifactPrefix, hash);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, data, size);
    return close(fd) == 0 && written;
}

// One input runs at a time. `turn_` is odd while one runs and counts inputs, so that the watchdog
// ends the input it timed and no other: it takes the turn over, and the input's end, finding its
// turn gone, waits for the process to end instead of returning into libFuzzer.
class Watchdog {
public:
    Watchdog()
    {
        // The thread takes no signals: SIGALRM and the others stay with libFuzzer's threads.
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        std::thread([this] { Watch(); }).detach();
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    void Begin(const std::uint8_t* data, std::size_t size)
    {
        data_ = data;
        size_ = size;
        started_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        turn_.fetch_add(1, std::memory_order_release);
    }

    void End()
    {
        std::uint64_t turn = turn_.load(std::memory_order_relaxed);
        if (!turn_.compare_exchange_strong(turn, turn + 1))
            WaitForTheEnd();
    }

private:
    static constexpr std::uint64_t kTakenOver = UINT64_MAX;
    static constexpr auto kLookEvery = std::chrono::milliseconds(100);

    [[noreturn]] void Watch()
    {
        const std::chrono::seconds limit(options.timeoutSeconds);
        for (;;) {
            std::this_thread::sleep_for(kLookEvery);
            std::uint64_t turn = turn_.load(std::memory_order_acquire);
            const Clock::time_point started{Clock::duration(started_.load(std::memory_order_relaxed))};
            const auto ran = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started);
            if (turn % 2 == 1 && ran >= limit && turn_.compare_exchange_strong(turn, kTakenOver))
                Report(static_cast<long>(ran.count()));
        }
    }

    // A crash being reported meanwhile ends the process itself.
    [[noreturn]] void Report(long ranSeconds) const
    {
        if (!__sanitizer_acquire_crash_state())
            WaitForTheEnd();
        char path[4096];
        const bool written = WriteArtifact(data_, size_, path, sizeof path);
        const int error = errno;
        char report[8192];
        const int length = std::snprintf(
            report, sizeof report,
            "==%d== ERROR: libFuzzer: timeout after %ld seconds\n"
            "fuzz watchdog: an input of %zu bytes has run for %ld s, the limit is -timeout=%ld\n"
            "artifact_prefix='%s'; Test unit %s %s%s%s\n"
            "SUMMARY: libFuzzer: timeout\n",
            static_cast<int>(getpid()), ranSeconds, size_, ranSeconds, options.timeoutSeconds,
            options.artifactPrefix, written ? "written to" : "could not be written to", path,
            written ? "" : ": ", written ? "" : std::strerror(error));
        WriteAll(STDERR_FILENO, report, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof report - 1));
        _exit(options.timeoutExitCode);
    }

    std::atomic<std::uint64_t> turn_{0};
    std::atomic<Clock::rep> started_{0};
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace

extern "C" int __wrap_LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (options.timeoutSeconds <= 0)
        return __real_LLVMFuzzerTestOneInput(data, size);
    // Made at the first input, after libFuzzer has set up; never destroyed, as its thread runs on.
    static Watchdog& watchdog = *new Watchdog;
    watchdog.Begin(data, size);
    const int result = __real_LLVMFuzzerTestOneInput(data, size);
    watchdog.End();
    return result;
}
