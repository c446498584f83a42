// What the test members send each other: every event is derived from its sender's tag and its
// sequence number, so that a receiver can check order, completeness and contents on its own.
#pragma once

#include <cstdint>
#include <string>

namespace member_traffic {

// The code carries the tag (1 to 255) in its top byte and the sequence number plus 1 below it,
// so it is never 0 and never one of the codes the event system keeps for itself.
inline unsigned int Code(int tag, long seq) { return (static_cast<unsigned int>(tag) << 24) | static_cast<unsigned int>(seq + 1); }
inline int TagOf(unsigned int code) { return static_cast<int>(code >> 24); }
inline long SeqOf(unsigned int code) { return static_cast<long>(code & 0xFFFFFFu) - 1; }

inline std::uint32_t Mix(int tag, long seq)
{
    std::uint32_t x = static_cast<std::uint32_t>(tag) * 0x9E3779B1u ^ static_cast<std::uint32_t>(seq) * 0x85EBCA77u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    return x ^ (x >> 12);
}

// Data sizes by mode: "none" sends values only, a number sends that many bytes with every event,
// "mixed" sends every other event with 1 to 4,096 bytes.
inline long DataSize(const std::string& mode, int tag, long seq)
{
    if (mode == "none")
        return 0;
    if (mode == "mixed")
        return seq % 2 == 0 ? 0 : static_cast<long>(1 + Mix(tag, seq) % 4096);
    return std::stol(mode);
}

inline unsigned char DataByte(int tag, long seq, long offset)
{
    return static_cast<unsigned char>(Mix(tag, seq) + static_cast<std::uint32_t>(offset) * 131u);
}

// The plain value an event without data carries.
inline long Value(int tag, long seq) { return static_cast<long>(Mix(tag, seq) | 0x80000000u); }

}  // namespace member_traffic
