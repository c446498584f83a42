// A target that hangs when its input says so, for the watchdog's test: "spin" runs busy for ever,
// "wait" blocks for ever, anything else returns. Either way SIGALRM is masked first: the signal of
// libFuzzer's own timer then lands on another thread and goes unanswered, as under qemu, and only
// the watchdog can end the hang.
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input != "spin" && input != "wait")
        return 0;
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
    for (volatile unsigned turns = 0; input == "spin"; turns = turns + 1) {
    }
    for (;;)
        pause();
}
