// The start of the setup runtime from the medium's "setup" folder.
#pragma once

#include "LaunchCommand.h"
#include "Win32Owners.h"

// Changes the current folder to the medium's subfolder "setup", wherever the process was started
// from, and starts the file Lumeplay.exe there by its full path, with `commandLine` as its command
// line, that folder as its current folder and show command SW_SHOW. A program of that name beside
// Setup.exe, under the current folder, elsewhere on the search path or on the PATH is never
// started, and without the medium's folder "setup" nothing is. The runtime's process, or no
// handle if it could not be started.
KernelHandle StartRuntime(char (&commandLine)[kLaunchCommandBuffer]);
