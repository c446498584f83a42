// The framework's millisecond clock, which can be frozen for repeatable timing, and its sleep.
#pragma once

#include "AfxExport.h"

// The frozen time if one is set, otherwise milliseconds since the system started.
CORVANE_API unsigned long animTimeGetTime();

// Freezes the clock at `time`; 0 lets it run again (so it cannot be frozen at 0).
CORVANE_API void animSetTime(unsigned long time);

// Suspends the calling thread; used by every polling wait.
CORVANE_API void utilSleep(unsigned long milliseconds);
