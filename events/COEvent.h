// The one record that every exchange between event-capable objects moves: a synchronous send, a
// queued post, a dispatcher's fan-out, the idle tick and the transport between processes.
#pragma once

#include <cstddef>
#include <cstdint>

// The byte layout is binding: the inter-process dispatcher copies the 28 bytes into shared
// memory unchanged, where another process reads them.
struct COEvent {
    long senderID;            // 0 when the sender is not an object
    long receiverID;          // the object the record is being delivered to now; routing rewrites it
    long targetID;            // the receiver the record was built with; nothing reads it
    unsigned short flags;     // COEF_* routing flags
    unsigned short padding;   // no meaning; builders leave it 0
    unsigned int code;        // COE_* or an application's own code
    long dataSize;            // bytes in the block at `data`; 0 or less: `data` is a plain value
    void* data;               // the block, or a value (see COValueToData)
};

static_assert(offsetof(COEvent, senderID) == 0, "COEvent::senderID offset");
static_assert(offsetof(COEvent, receiverID) == 4, "COEvent::receiverID offset");
static_assert(offsetof(COEvent, targetID) == 8, "COEvent::targetID offset");
static_assert(offsetof(COEvent, flags) == 12, "COEvent::flags offset");
static_assert(offsetof(COEvent, padding) == 14, "COEvent padding offset");
static_assert(offsetof(COEvent, code) == 16, "COEvent::code offset");
static_assert(offsetof(COEvent, dataSize) == 20, "COEvent::dataSize offset");
static_assert(offsetof(COEvent, data) == 24, "COEvent::data offset");
#ifdef _WIN64
// The 64-bit test build keeps every offset; only the pointer at the end is wider. Records that
// cross processes travel in a fixed 28-byte form there, never as this struct.
static_assert(sizeof(COEvent) == 32 && alignof(COEvent) == 8, "COEvent on 64-bit");
#else
static_assert(sizeof(COEvent) == 28, "COEvent is a 28-byte record");
static_assert(alignof(COEvent) == 4, "COEvent is 4-byte aligned");
#endif

// Routing flags.
constexpr unsigned short COEF_ALL_RECEIVERS = 0x0001;  // a fan-out does not stop at the first taker
constexpr unsigned short COEF_SAME_MANAGER = 0x0002;   // a fan-out reaches only the sender's page
constexpr unsigned short COEF_BROADCAST = 0x0010;      // ignore receiverID; cleared before delivery
constexpr unsigned short COEF_ALL_OBJECTS = 0x0020;    // with COEF_BROADCAST: every registered object
constexpr unsigned short COEF_DELAYED = 0x0080;        // posting only: the delayed queue

// Codes the event system produces itself.
constexpr unsigned int COE_POS_CHANGED = 0x1001;  // data: x (low) and y (high), packed
constexpr unsigned int COE_IDLE = 0x1002;         // data: the time in milliseconds
constexpr unsigned int COE_KILLED = 0xC002;       // data: -1

// Answers of IsObjectType(int).
constexpr int COT_DISPATCHER = 11;
constexpr int COT_BASE = 13;

// IDs are handed out from here upwards; 0 names no object.
constexpr long CO_FIRST_ID = 0x10000000;

// Two 16-bit values in one 32-bit value: the first in the low half, the second in the high half.
inline long COPackShorts(short low, short high)
{
    const std::uint32_t packed = (static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16) |
                                 static_cast<std::uint16_t>(low);
    return static_cast<long>(static_cast<std::int32_t>(packed));
}

inline short COLowShort(long value) { return static_cast<short>(static_cast<std::uint32_t>(value) & 0xFFFFu); }

inline short COHighShort(long value) { return static_cast<short>(static_cast<std::uint32_t>(value) >> 16); }

// `data` carries plain 32-bit values as often as pointers.
inline void* COValueToData(long value) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(value)); }

inline long CODataToValue(const void* data)
{
    return static_cast<long>(reinterpret_cast<std::intptr_t>(data));
}

// A record addressed to `receiver`, which is also kept as its target.
inline COEvent COMakeEvent(long sender, long receiver, unsigned int code, void* data, long dataSize,
                           unsigned short flags)
{
    COEvent event{};
    event.senderID = sender;
    event.receiverID = receiver;
    event.targetID = receiver;
    event.flags = flags;
    event.code = code;
    event.dataSize = dataSize;
    event.data = data;
    return event;
}
