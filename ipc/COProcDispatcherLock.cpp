// The spin lock in every shared block.
//
// The lock word is shared with members built only from the wire format: -1 is free, 0 held, and
// a contender raises it above 0 for an instant. Such a member's Lock waits without limit and
// takes only -1 for free, so nothing here ever leaves the word anywhere else when it lets go.
//
// Beside the word, one of our members that holds a block's lock writes its process id into the
// header's `reserved` word, and clears it before unlocking (other members write 0 there when they
// create a block, and never read it). A waiter takes a lock over only from a holder that is
// known to be dead:
//   - `reserved` names a process that has ended: the waiter that swaps its own id in holds the
//     lock as it stands, and unlocks it as usual;
//   - `reserved` is 0 (a member that does not name itself, or one of ours in the instant between
//     taking the word and naming itself) and no other member of the group is alive any more:
//     nobody can be holding it, or contending for it.
// A live holder is never taken over. A wait for one that does not let go (a member stuck behind a
// dead one, or a hostile process) ends after kLiveHolderWaitMs, and the caller skips what the
// lock guards: that queue, for this event, or this turn.
#include "COProcDispatcherInternals.h"

#include "Clock.h"

using namespace group;

namespace {

constexpr unsigned long kLockRetryMs = 10;
constexpr int kLockYields = 200;
// Holds last microseconds, milliseconds under a loaded emulator.
constexpr unsigned long kLiveHolderWaitMs = 5000;
// How often a wait asks whether the holder has ended (a question to the system, which holds of
// microseconds should not pay for), and whether the rest of the group is still there.
constexpr unsigned long kEndedHolderCheckMs = 50;
constexpr unsigned long kOrphanCheckMs = 1000;

unsigned long OwnId() { return static_cast<unsigned long>(platform::CurrentProcessId()); }

long volatile* Word(unsigned long& field) { return reinterpret_cast<long volatile*>(&field); }

bool TryAcquire(Header& header)
{
    if (ReadShared(header.lock) != -1)
        return false;
    if (Increment(header.lock) == 0) {
        header.reserved = OwnId();
        return true;
    }
    Decrement(header.lock);
    return false;
}

// The holder named in `reserved` has ended: the one waiter that swaps its own id in holds the
// lock. The word stays as it is; contenders' raises come and go.
bool TakeOverFromEnded(Header& header)
{
    const unsigned long holder = ReadShared(header.reserved);
    if (holder == 0 || holder == OwnId() || platform::IsProcessRunning(holder))
        return false;
    const long found = platform::AtomicCompareExchange(Word(header.reserved), static_cast<long>(OwnId()),
                                                       static_cast<long>(holder));
    return static_cast<unsigned long>(found) == holder;
}

// Nobody else of the group is alive: the word is held by the dead, and nobody contends.
bool TakeOverFromNobody(Header& header)
{
    if (platform::AtomicCompareExchange(Word(header.reserved), static_cast<long>(OwnId()), 0) != 0)
        return false;
    header.lock = 0;
    return true;
}

void Pause(int* yields)
{
    // A holder keeps a lock for a few microseconds: give up the processor a few times before
    // settling into the slow polling that a long hold calls for.
    if (++*yields <= kLockYields)
        platform::SleepMilliseconds(0);
    else
        utilSleep(kLockRetryMs);
}

// Takes the lock, taking it over from a holder known to be dead; false once `limit` ms have
// passed (0: no limit). `othersGone` answers whether any other member of the group is alive.
template <class OthersGone>
bool Acquire(Header& header, unsigned long limit, OthersGone othersGone)
{
    const unsigned long start = platform::MillisecondClock();
    unsigned long lastEndedCheck = start;
    unsigned long lastOrphanCheck = start;
    int yields = 0;
    while (!TryAcquire(header)) {
        // Elapsed time, so that the clock's wrap does not end the wait early.
        const unsigned long now = platform::MillisecondClock();
        if (now - lastEndedCheck >= kEndedHolderCheckMs) {
            lastEndedCheck = now;
            if (TakeOverFromEnded(header))
                return true;
        }
        if (now - lastOrphanCheck >= kOrphanCheckMs) {
            lastOrphanCheck = now;
            if (ReadShared(header.reserved) == 0 && othersGone() && TakeOverFromNobody(header))
                return true;
        }
        if (limit != 0 && now - start > limit)
            return false;
        Pause(&yields);
    }
    return true;
}

}  // namespace

bool COProcDispatcher::Lock(Header& header, int timeout)
{
    // Without the group at hand, nobody is known to be alive or gone.
    return Acquire(header, timeout > 0 ? static_cast<unsigned long>(timeout) : 0, [] { return false; });
}

void COProcDispatcher::Unlock(Header& header)
{
    if (ReadShared(header.reserved) == OwnId())
        header.reserved = 0;
    Decrement(header.lock);
}

bool COProcDispatcher::LockShared(Header& header)
{
    return Acquire(header, kLiveHolderWaitMs, [this] { return !AnyOtherMemberAlive(); });
}
