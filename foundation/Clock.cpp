#include "Clock.h"

#include "Platform.h"

namespace {
// 0 means the clock runs. A plain 32-bit value, read and written without a lock.
volatile unsigned long s_clockOverride = 0;
}  // namespace

unsigned long animTimeGetTime()
{
    const unsigned long frozen = s_clockOverride;
    return frozen != 0 ? frozen : platform::MillisecondClock();
}

void animSetTime(unsigned long time) { s_clockOverride = time; }

void utilSleep(unsigned long milliseconds) { platform::SleepMilliseconds(milliseconds); }
