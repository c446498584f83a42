// The bootstrapper's watch over the runtime it serves on NT. The runtime holds the bootstrapper
// alive and releases it when done; one that crashes, is killed or ends without releasing would
// leave an invisible Setup.exe behind that keeps the medium busy and turns every later start
// away. The watch notices when nobody is left who could release the holds, and drops them.
#pragma once

#include "Win32Owners.h"

class RuntimeWatch {
public:
    // Takes over the process of the runtime just started. Only for a runtime told the channel,
    // which holds the bootstrapper; without a runtime to watch the watch does nothing.
    static void Watch(KernelHandle runtime);

    // One event turn of the main loop, with the watch's decision around it.
    static void EventTurn();

private:
    static bool RuntimeHasEnded();
    static bool NobodyLeftToRelease();

    static KernelHandle s_runtime;
    static long s_reportedMembers;  // other members last logged after the runtime ended
};
