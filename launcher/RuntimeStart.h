// The start of the setup runtime from the current folder.
#pragma once

#include "LaunchCommand.h"

// Starts the file Lumeplay.exe of the current folder by its full path, with `commandLine` as
// its command line, this process's current folder and show command SW_SHOW. A program of that
// name beside Setup.exe, elsewhere on the search path or on the PATH is never considered.
// False if it could not be started.
bool StartRuntime(char (&commandLine)[kLaunchCommandBuffer]);
