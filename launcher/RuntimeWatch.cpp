#include "RuntimeWatch.h"

#include "COProcDispatcher.h"
#include "CommonObjectEventManager.h"
#include "ExecuterProtocol.h"
#include "LauncherGlobals.h"
#include "SetupLog.h"

#include <utility>

KernelHandle RuntimeWatch::s_runtime;
long RuntimeWatch::s_reportedMembers = -1;

namespace {

// The other members of the channel that are still there. A channel that could not open its
// group has none: nobody could reach this process through it.
long OtherMembers()
{
    auto* channel = dynamic_cast<COProcDispatcher*>(CommonObjectEventManager::FindObjectByID(
        CommonObjectEventManager::staticGetDispatcher(kExecuterChannel)));
    return channel != nullptr ? channel->GetOtherMemberCount() : 0;
}

}  // namespace

void RuntimeWatch::Watch(KernelHandle runtime) { s_runtime = std::move(runtime); }

bool RuntimeWatch::RuntimeHasEnded()
{
    return s_runtime.IsOpen() && WaitForSingleObject(s_runtime.Get(), 0) == WAIT_OBJECT_0;
}

bool RuntimeWatch::NobodyLeftToRelease()
{
    if (g_keepAlive <= 0 || !RuntimeHasEnded())
        return false;
    const long others = OtherMembers();
    if (others != s_reportedMembers) {
        SetupLog::Write("watch: the runtime has ended, %ld other member(s) in the group", others);
        s_reportedMembers = others;
    }
    return others == 0;
}

// The holds are dropped (the keep-alive count set to 0, so that the loop ends at its next test
// once the splash is closed) when, both before and after the event turn of a pass:
//   - the keep-alive count is above 0,
//   - the runtime started from the splash has ended (its process handle is signalled), and
//   - no member of the group besides this process's own is left: every other entry of the
//     directory is free or names a first queue block that has ceased to exist (its member
//     ended without leaving).
// Nobody is then left who could release a hold: the runtime's own is the one it never gave
// back, and every other was taken by a member that has gone. A departed member queues nothing
// more, so the turn in between delivers everything it asked for before the bootstrapper ends.
// A member that is still there, or joins during the turn, keeps every hold as it is: its holds
// stay valid and it may still release them. On 9x no runtime is watched and nothing changes.
void RuntimeWatch::EventTurn()
{
    const bool orphanedBefore = NobodyLeftToRelease();
    CommonObjectEventManager::staticDispatchEvents(0);
    if (orphanedBefore && NobodyLeftToRelease()) {
        SetupLog::Write("watch: nobody left to release, keep-alive count %ld dropped to 0", g_keepAlive);
        g_keepAlive = 0;
    }
}
