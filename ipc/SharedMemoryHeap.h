// Numbered blocks of named shared memory. Every process that sees the same named kernel objects
// can open a block by the heap's base name and the block's index; no pointer is ever shared.
//
// Kernel objects of a heap with base name B: the mutex "<B>Mutex", the 8-byte base mapping "<B>"
// (its first 32-bit word is the index the next Alloc hands out) and one paging-file mapping
// "<B>_<i>" per block i, created with the requested size plus 4 bytes.
#pragma once

#include "AfxExport.h"

#include "PlatformSharedMemory.h"
#include "RkString.h"

#include <cstddef>
#include <list>

// This process's record of one mapped block.
struct SharedBlock {
    platform::MappedView view;     // null when mapping failed
    long index = 0;                // the block's number in its heap
    platform::NamedMapping handle;  // closed when the mapping could not be created or opened
    std::size_t length = 0;        // bytes this process may touch through the view (0 without one)
};

class CORVANE_API SharedMemoryHeap {
public:
    // A new zero-filled block of `size` bytes, mapped; null when the heap is unusable.
    virtual void* Alloc(int size) = 0;
    // Unmaps this process's view at `view`; unknown addresses are ignored.
    virtual void Free(void* view) = 0;
    // The index of the block mapped at `view`, or 0 (also a valid index) for an unknown address.
    virtual long GetIndex(void* view) = 0;
    // A new view of block `index` (every call makes a new handle and view). A block that no
    // process holds any more comes back as a fresh zero-filled mapping, so its first word reads 0.
    virtual void* Map(long index, SharedBlock** record) = 0;
    virtual void Release(SharedBlock* record) = 0;

protected:
    ~SharedMemoryHeap() = default;
};

class CORVANE_API SharedMemoryHeapClient {
public:
    // Called once from the heap's constructor, under the heap's mutex: `created` when this
    // process made the heap, `root` the view of block 0 (4 bytes of it are the client's).
    virtual void OnHeapOpened(bool created, void* root, SharedMemoryHeap* heap) = 0;

protected:
    ~SharedMemoryHeapClient() = default;
};

class CORVANE_API NamedSharedMemoryHeap : public SharedMemoryHeap {
public:
    enum class Opening {
        OpenOrCreate,  // joins the heap of that name, or creates it
        // Only a heap that this object creates itself: a mutex or base mapping of that name that
        // exists already was made by somebody else, and leaves the heap unusable untouched (its
        // mutex is never waited for).
        CreateOnly,
    };

    // Opens or creates the heap `base` (null is the empty name). With a client, block 0 of a
    // fresh heap is reserved as the client's root block. A base name too long to form every
    // object name, or objects that cannot be opened, leave the heap unusable.
    NamedSharedMemoryHeap(const char* base, SharedMemoryHeapClient* client, Opening opening = Opening::OpenOrCreate);
    virtual ~NamedSharedMemoryHeap();
    NamedSharedMemoryHeap(const NamedSharedMemoryHeap&) = delete;
    NamedSharedMemoryHeap& operator=(const NamedSharedMemoryHeap&) = delete;

    void* Alloc(int size) override;
    void Free(void* view) override;
    long GetIndex(void* view) override;
    void* Map(long index, SharedBlock** record) override;
    void Release(SharedBlock* record) override;

    bool IsUsable() const { return m_mutex.IsOpen(); }
    // A view of block `index` that belongs to the caller: the heap keeps no record of it, so no
    // Free or Release reaches it, and it outlives the heap. Its view is null on failure.
    SharedBlock MapUnlisted(long index) const;
    // Bytes this process may touch through a view it got from Alloc or Map; 0 when unknown.
    std::size_t GetLength(const void* view) const;
    // Views this object currently holds.
    std::size_t GetMappedCount() const { return m_blocks.size(); }
    // The first kernel object that this object set out to create and found made already (a
    // block for Alloc; with CreateOnly also the mutex and the base mapping); empty if none.
    const RkString& GetExistingObject() const { return m_existingObject; }

    // The kernel object name of block `index` of the heap `base`.
    static RkString BlockName(const char* base, long index);

private:
    bool OpenHeapMutex(const RkString& name, Opening opening);
    void OpenRoot(SharedMemoryHeapClient* client);
    void NoteExisting(const char* name);
    SharedBlock& CreateOrOpen(long index, int size, bool* existed);
    const SharedBlock* Find(const void* view) const;
    // Unmaps, closes and drops the first record that matches.
    template <class Match>
    void Forget(Match matches);

    RkString m_base;
    platform::NamedMutex m_mutex;
    SharedBlock m_baseBlock;
    long* m_baseView = nullptr;
    std::list<SharedBlock> m_blocks;  // in mapping order; records stay put while listed
    RkString m_existingObject;
};
