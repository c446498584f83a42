// The installation medium this Setup.exe runs from: the folder of its own module, wherever the
// process was started from. The runtime starts from the medium's "setup" folder, and the
// executer takes the relative paths of the runtime's requests from the medium's folder.
#pragma once

#include "MediumPath.h"

class SetupMedium {
public:
    // Reads the module's path once, at start, and logs the medium's folder. False, leaving the
    // medium unknown, when the path does not fit the system's ANSI path buffers.
    static bool Locate();

    // The medium's folder ("D:\" for a drive's root), or null while it is unknown.
    static const char* Folder();

    // Makes the medium's folder, or its subfolder `relative`, the current folder: false, with a
    // logged reason, when the medium is unknown or the folder cannot be entered.
    static bool Enter(const char* relative = nullptr);

private:
    static char s_folder[kPathBuffer];
};
