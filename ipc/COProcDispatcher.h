// A dispatcher whose group of receivers spans processes. Every COProcDispatcher constructed with
// the same name, in any process, belongs to one group: each member owns an event queue in shared
// memory and enters it in the group's directory; an event handed to any member is appended to
// the queue of every member (its own included), and each member empties its own queue on its
// idle turns and hands the events to its local receivers.
//
// The structures below are a wire format shared with other programs built from the same
// description: fixed 32-bit little-endian fields, no pointers, byte for byte the same on every
// build. Everything in them is written by other processes and is checked before it is used.
#pragma once

#include "AfxExport.h"
#include "CODispatcher.h"
#include "SharedMemoryHeap.h"

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

static_assert(sizeof(long) == 4, "shared structures use 32-bit long fields");

class CORVANE_API COProcDispatcher : public CODispatcher, public SharedMemoryHeapClient {
public:
    // At the start of every block of the group.
    struct Header {
        long size;               // bytes of the structure; 0 means the block has ceased to exist
        long index;              // the block's index in its heap
        long lock;               // spin lock: -1 free, 0 held
        long refs;               // count minus one: -1 means no reference
        unsigned long reserved;  // written 0
    };

    struct QueueEntry {
        long queueIndex;         // a member's first queue block; 0 = free entry
        unsigned long reserved;  // written 0
    };

    static constexpr long kDirectoryEntries = 20;

    // The group's one directory: block 1 of the queue heap.
    struct QueueDirectory {
        Header header;
        long count;  // entries: 20
        QueueEntry entries[kDirectoryEntries];
    };

    // The 28-byte form in which a COEvent travels. `data` holds the event's data block index when
    // dataSize > 0, its value otherwise. A slot whose code is 0 is free.
    struct EventSlot {
        long senderID;
        long receiverID;
        long targetID;
        unsigned short flags;
        unsigned short padding;
        unsigned long code;
        long dataSize;
        unsigned long data;
    };

    // One block of a member's queue; `count` event slots follow it.
    struct EventQueueBlock {
        Header header;
        long count;               // 20 in a first block, 20 to 640 in a later one
        unsigned long nextIndex;  // the next block of the chain; 0 = none
        unsigned long next;       // non-zero once the consumer has mapped the next block
    };

    static constexpr long kFirstBlockSlots = 20;
    static constexpr long kMaxBlockSlots = 640;
    static constexpr long kDirectorySize = 184;
    static constexpr long kFirstBlockSize = 592;

    enum class Joining {
        JoinOrFound,
        // Founds the group or stays outside it: a member that must be the first of its group
        // (one that serves requests of whoever joins later) takes any of the group's kernel
        // objects that exist already for somebody else's, and joins nothing.
        FoundOnly,
    };

    // Joins (or founds) the group `name`. A null name is the empty name: the group "_Array".
    explicit COProcDispatcher(const char* name = nullptr);
    COProcDispatcher(const char* name, Joining joining);
    // Leaves the group; events still queued for this member are dropped.
    ~COProcDispatcher() override;

    // Puts every event into the queue of every member; the idle tick runs a delivery turn
    // instead. Always reports the event handled.
    bool HandleEvent(COEvent* event) override;
    // Delivers every event of the own queue, oldest first, to the local receivers.
    bool OnIdle(unsigned long time) override;
    void OnHeapOpened(bool created, void* root, SharedMemoryHeap* heap) override;

    // The members of the group besides this one that are still there: directory entries whose
    // first queue block still exists and passes CheckQueueBlock. An entry whose block has gone
    // belongs to a member that ended without leaving; it is not counted. Read-only: the
    // directory is left as it is.
    long GetOtherMemberCount();

    // For a FoundOnly member: the kernel object of the group (or of the event-data heap) that
    // existed before this member set out to create it, which kept it outside the group; empty
    // when it founded its group.
    const RkString& GetExistingObject() const { return m_existingObject; }

    // For a receiver that holds the data pointer of a delivered event.
    static long staticAddRefSharedMemory(void* data);
    static void staticUnrefSharedMemory(void* data);
    static bool staticLockSharedMemory(void* data, int timeout);
    static void staticUnlockSharedMemory(void* data);

    // Consistency checks of blocks that other processes write, against the bytes mapped here.
    // Each returns the number of slots or entries to use, or 0 when the block must be treated as
    // one that has ceased to exist. Read the answer once and index only below it.
    static long CheckQueueBlock(const EventQueueBlock* block, std::size_t length);
    static long CheckDirectory(const QueueDirectory* directory, std::size_t length);
    // The number of data bytes, or -1 when the data block is not usable for `dataSize` bytes.
    static long CheckDataBlock(const Header* block, std::size_t length, long dataSize);

    static EventSlot* Slots(EventQueueBlock* block);
    static const EventSlot* Slots(const EventQueueBlock* block);
    static long QueueBlockSize(long slots);

    static COEvent ToEvent(const EventSlot& slot);
    static EventSlot ToSlot(const COEvent& event);

protected:
    static Header* staticGetHeader(void* data);
    // A spin lock on the header's lock word; timeout in milliseconds, 0 without limit. A lock
    // whose holder is known to have ended is taken over (the rule is beside the code).
    static bool Lock(Header& header, int timeout);
    static void Unlock(Header& header);

    void PutEventInAllQueues(COEvent* event);
    // False only when the queue starting at `queueIndex` no longer exists.
    bool PutEventInOneQueue(long queueIndex, COEvent* event);
    long AddRefEventData(const COEvent* event);
    void UnrefEventData(const COEvent* event);
    // Takes the oldest event of the own queue; false when it is empty, or when a block of it
    // stays held by a live stranger (nothing is taken then).
    bool RemoveEventFromQueue(COEvent* event);
    EventQueueBlock* GetNextEventQueueBlock(EventQueueBlock* block);
    // False when a block of the chain stays held by a live stranger: the blocks collected up to
    // it are locked all the same.
    bool CollectEventQueueBlocks(std::vector<EventQueueBlock*>& blocks);
    void RemoveFreeEventQueueBlocks();
    void FreeEventBlocks();

    // True while this member's queue is entered in the group's directory.
    bool IsEntered();
    // Views of other members' queue blocks kept until their consumer attaches them.
    std::size_t GetPendingCount() const { return m_pendingBlocks.size(); }
    // Views of the own chain's later blocks.
    std::size_t GetAttachedCount() const { return m_attachedBlocks.size(); }

    // A later queue block that this member appended or wrote into before its consumer mapped
    // it; kept mapped (one view per block) until the consumer has.
    struct PendingBlock {
        EventQueueBlock* block;
        long queueIndex;  // the first block of the queue it belongs to
    };

    QueueDirectory* m_directory = nullptr;
    EventQueueBlock* m_ownQueue = nullptr;
    long m_ownQueueIndex = 0;
    std::unique_ptr<NamedSharedMemoryHeap> m_queueHeap;
    std::map<long, PendingBlock> m_pendingBlocks;  // by block index
    std::vector<Header*> m_dataBlocks;            // data blocks this member created

    static NamedSharedMemoryHeap* s_eventDataHeap;
    static int s_eventDataHeapUsers;

private:
    class DeliveryTurn;

    static bool IsUsableQueueBlock(const EventQueueBlock* block, std::size_t length);
    // The lock of a block of the group, taken the way every internal wait takes it: a holder
    // known to have ended is taken over, any other is waited for a few seconds at most (false).
    bool LockShared(Header& header);
    // The queue starting at `queueIndex` still exists and passes its check.
    bool IsQueueAlive(long queueIndex);
    bool IsOwnChainBlock(long index) const;
    void CreateOwnQueue();
    void EnterDirectory();
    void LeaveDirectory();
    bool IsQueueListed(long queueIndex);
    void WaitForPendingBlocks();
    // Maps and locks a queue block that passes the checks; null (nothing held) otherwise, with
    // `held` set when a live stranger keeps it locked.
    EventQueueBlock* MapQueueBlock(long index, long* slots, bool* held);
    void AppendQueueBlock(EventQueueBlock* last, long lastSlots, long queueIndex, COEvent* event);
    // Lets go of a view from MapQueueBlock (the own first block stays).
    void ReleaseQueueBlock(EventQueueBlock* block);
    void KeepPending(EventQueueBlock* block, long index, long queueIndex);
    void DropPendingBlock(long index);
    void DropPendingBlocksOf(long queueIndex);
    void DetachBlock(EventQueueBlock* block);
    // A block of the own chain that a take holds locked, with its slot count.
    struct TakenBlock {
        EventQueueBlock* block;
        long slots;
    };
    // Locks, behind the first block (held in `blocks`), every block through which events move
    // when the oldest is taken; false when one stays held (those before it stay in `blocks`).
    bool LockTakenBlocks(std::vector<TakenBlock>& blocks);
    static void MoveEventsForward(const std::vector<TakenBlock>& blocks);
    // The index under which this member mapped a block of its own chain.
    long KnownIndex(const EventQueueBlock* block) const;
    SharedBlock MapDataBlock(const COEvent& event);
    bool CopyDataToSharedMemory(COEvent* event);
    void FreeUnreferencedDataBlocks();

    std::size_t m_directoryLength = 0;
    RkString m_existingObject;
    // While an event with data is being put: this member's view of its new data block.
    Header* m_sendingData = nullptr;
    long m_sendingDataIndex = 0;
    DeliveryTurn* m_delivery = nullptr;  // the delivery turn that is running, told of the end
    std::map<long, EventQueueBlock*> m_attachedBlocks;  // the own chain's later blocks, by index
};

static_assert(sizeof(COProcDispatcher::Header) == 20, "Header is 20 bytes");
static_assert(offsetof(COProcDispatcher::Header, size) == 0, "Header::size");
static_assert(offsetof(COProcDispatcher::Header, index) == 4, "Header::index");
static_assert(offsetof(COProcDispatcher::Header, lock) == 8, "Header::lock");
static_assert(offsetof(COProcDispatcher::Header, refs) == 12, "Header::refs");
static_assert(offsetof(COProcDispatcher::Header, reserved) == 16, "Header::reserved");
static_assert(sizeof(COProcDispatcher::QueueEntry) == 8, "directory entry is 8 bytes");
static_assert(sizeof(COProcDispatcher::QueueDirectory) == COProcDispatcher::kDirectorySize, "QueueDirectory");
static_assert(offsetof(COProcDispatcher::QueueDirectory, count) == 20, "QueueDirectory::count");
static_assert(offsetof(COProcDispatcher::QueueDirectory, entries) == 24, "QueueDirectory::entries");
static_assert(sizeof(COProcDispatcher::EventSlot) == 28, "an event slot is 28 bytes");
static_assert(offsetof(COProcDispatcher::EventSlot, senderID) == offsetof(COEvent, senderID), "slot senderID");
static_assert(offsetof(COProcDispatcher::EventSlot, receiverID) == offsetof(COEvent, receiverID), "slot receiverID");
static_assert(offsetof(COProcDispatcher::EventSlot, targetID) == offsetof(COEvent, targetID), "slot targetID");
static_assert(offsetof(COProcDispatcher::EventSlot, flags) == offsetof(COEvent, flags), "slot flags");
static_assert(offsetof(COProcDispatcher::EventSlot, code) == offsetof(COEvent, code), "slot code");
static_assert(offsetof(COProcDispatcher::EventSlot, dataSize) == offsetof(COEvent, dataSize), "slot dataSize");
static_assert(offsetof(COProcDispatcher::EventSlot, data) == offsetof(COEvent, data), "slot data");
static_assert(sizeof(COProcDispatcher::EventQueueBlock) == 32, "queue block header is 32 bytes");
static_assert(offsetof(COProcDispatcher::EventQueueBlock, count) == 20, "EventQueueBlock::count");
static_assert(offsetof(COProcDispatcher::EventQueueBlock, nextIndex) == 24, "EventQueueBlock::nextIndex");
static_assert(offsetof(COProcDispatcher::EventQueueBlock, next) == 28, "EventQueueBlock::next");
