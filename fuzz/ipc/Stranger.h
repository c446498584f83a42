// A process outside the group that writes into the group's shared memory as it pleases: it holds
// a block's lock word for a while, takes names before the group allocates them and keeps them,
// and fills the directory's free entries.
#pragma once

#include "PlatformSharedMemory.h"

#include <string>
#include <vector>

namespace group_fuzz {

// A view of the named mapping only when it exists already: looking never creates anything.
platform::MappedView ExistingView(const char* name);
// The index the heap with base name `base` hands out next (0 while it does not exist).
long NextHeapIndex(const std::string& base);

class Stranger {
public:
    explicit Stranger(const std::string& group) : m_queueHeap(group + "_Array") {}
    ~Stranger() { LetGo(); }
    Stranger(const Stranger&) = delete;
    Stranger& operator=(const Stranger&) = delete;

    // Takes the lock word of queue block `index` as a member built from the wire format does
    // (from -1 to 0, without naming itself); nothing when it holds one already, or when the block
    // does not exist or is held.
    void Hold(long index);
    // Unlocks as such a member does, whatever the word holds; false when the word did not come
    // back free, because somebody took the lock over while it held it.
    bool LetGo();
    // The queue block whose lock it holds; 0 when none.
    long Held() const { return m_heldIndex; }
    // Takes the name of the block that the group's queue heap (or the event-data heap) hands out
    // `ahead` allocations from now, and keeps it.
    void Squat(bool dataHeap, long ahead);
    // True while a taken name, or a held block, still lies ahead of its heap's allocations.
    bool SquatAhead() const;
    // True while it keeps a view of a block or a name, which may keep a dead member's queue.
    bool KeepsBlocks() const { return m_heldIndex != 0 || !m_squats.empty(); }
    // Fills every free entry of the directory with a queue that does not exist.
    void FillDirectory();

private:
    struct Squatted {
        std::string heap;
        long index;
        platform::NamedMapping name;
    };

    std::string m_queueHeap;
    platform::MappedView m_held;
    long m_heldIndex = 0;
    std::vector<Squatted> m_squats;
};

}  // namespace group_fuzz
