// Process-wide state of the bootstrapper. It lives as long as the process, and only its one
// thread touches it, so plain variables suffice.
#pragma once

#include "LaunchCommand.h"

// Non-zero until the splash closes; with g_keepAlive it decides when the main loop ends.
extern int g_splashVisible;

// Non-zero until the runtime has been launched (by the splash's first paint).
extern int g_launchPending;

// The platform is of the Windows NT family: only there does the bootstrapper serve as the
// runtime's executer.
extern bool g_isNT;

// The executer founded its channel "DispCvGSetup" and takes its requests: false when another
// process had made any of the channel's objects first, or the channel could not be made.
extern bool g_channelServed;

// The runtime is told the executer's channel: on NT, and only while the executer serves it.
// Without it the runtime starts as on 9x, knowing it has no executer.
inline bool RuntimeHasExecuter() { return g_isNT && g_channelServed; }

// Holds on the bootstrapper: 1 to start with when the runtime has an executer, raised and
// lowered by the runtime through the executer. Any value of 0 or less counts as released.
extern long g_keepAlive;

// The bootstrapper's own command line, cut to 799 characters, passed on to the runtime.
extern char g_commandLine[kCommandLineBuffer];
