// The spin lock in every shared block.
//
// The lock word is shared with members built only from the wire format: -1 is free, 0 held, and
// a contender raises it above 0 for an instant. Such a member's Lock waits without limit and
// takes only -1 for free, so nothing here ever writes the word but to take and give back the
// lock (a raise and its fall included): it holds -1 or 0 once every contender has let go.
//
// Beside the word, one of our members that holds a block's lock writes its process id into the
// header's `reserved` word, and clears it before unlocking (other members write 0 there when they
// create a block, and never read it). A waiter takes a lock over only from a holder that is
// known to be dead: `reserved` names a process that has ended. The waiter that swaps its own id
// in holds the lock as it stands, and unlocks it as usual. A lock whose `reserved` is 0 is never
// taken over: its holder may be a member that does not name itself, a peer inside its join that
// nobody sees yet, or one of ours in the instant between taking the word and naming itself.
// A wait for a holder that does not let go (one of those, a member stuck behind a dead one, or a
// hostile process) ends after kLiveHolderWaitMs, and the caller skips what the lock guards: that
// queue, for this event, or this turn.
#include "COProcDispatcherInternals.h"

#include "Clock.h"

using namespace group;

namespace {

constexpr unsigned long kLockRetryMs = 10;
constexpr int kLockYields = 200;
// Holds last microseconds, milliseconds under a loaded emulator.
constexpr unsigned long kLiveHolderWaitMs = 5000;
// How often a wait asks whether the holder has ended: a question to the system, which holds of
// microseconds should not pay for.
constexpr unsigned long kEndedHolderCheckMs = 50;

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

void Pause(int* yields)
{
    // A holder keeps a lock for a few microseconds: give up the processor a few times before
    // settling into the slow polling that a long hold calls for.
    if (++*yields <= kLockYields)
        platform::SleepMilliseconds(0);
    else
        utilSleep(kLockRetryMs);
}

// Takes the lock, taking it over from a holder known to have ended; false once `limit` ms have
// passed (0: no limit).
bool Acquire(Header& header, unsigned long limit)
{
    const unsigned long start = platform::MillisecondClock();
    unsigned long lastEndedCheck = start;
    int yields = 0;
    while (!TryAcquire(header)) {
        // Elapsed time, so that the clock's wrap does not end the wait early.
        const unsigned long now = platform::MillisecondClock();
        if (now - lastEndedCheck >= kEndedHolderCheckMs) {
            lastEndedCheck = now;
            if (TakeOverFromEnded(header))
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
    return Acquire(header, timeout > 0 ? static_cast<unsigned long>(timeout) : 0);
}

void COProcDispatcher::Unlock(Header& header)
{
    if (ReadShared(header.reserved) == OwnId())
        header.reserved = 0;
    Decrement(header.lock);
}

bool COProcDispatcher::LockShared(Header& header) { return Acquire(header, kLiveHolderWaitMs); }
