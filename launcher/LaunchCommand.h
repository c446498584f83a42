// The command line with which the bootstrapper starts the setup runtime.
#pragma once

#include <cstddef>

// The bootstrapper keeps its own command line in a buffer of this size: longer ones are cut.
constexpr std::size_t kCommandLineBuffer = 800;

// Room for the runtime's command line; the longest one that can be built is 889 characters.
constexpr std::size_t kLaunchCommandBuffer = 1024;

// Copies up to kCommandLineBuffer - 1 characters of `source` (null counts as empty) and
// terminates them; the rest of `target` is zero-filled.
void CopyCommandLine(char (&target)[kCommandLineBuffer], const char* source);

// The runtime's command line: the fixed start naming the setup script, the executer's
// channel when the runtime has an executer (on NT-family systems, while the bootstrapper serves
// the channel), then a blank and the bootstrapper's own command line unchanged.
void FormatLaunchCommand(char (&buffer)[kLaunchCommandBuffer], bool withExecuter, const char* commandLine);
