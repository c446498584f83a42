#include "COEvent.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(COEventPacking, FirstValueLowSecondHigh)
{
    EXPECT_EQ(0x0002FFFF, COPackShorts(-1, 2));
    EXPECT_EQ(-1, COLowShort(0x0002FFFF));
    EXPECT_EQ(2, COHighShort(0x0002FFFF));
}

TEST(COEventPacking, NegativeHighHalfRoundTrips)
{
    const long packed = COPackShorts(300, -5);
    EXPECT_LT(packed, 0);
    EXPECT_EQ(300, COLowShort(packed));
    EXPECT_EQ(-5, COHighShort(packed));
    EXPECT_EQ(static_cast<long>(0x8000FFFFu), COPackShorts(-1, -32768));
}

TEST(COEventPacking, PlainValuesTravelInTheDataField)
{
    EXPECT_EQ(1234, CODataToValue(COValueToData(1234)));
    EXPECT_EQ(-1, CODataToValue(COValueToData(-1)));
    EXPECT_EQ(nullptr, COValueToData(0));
}

TEST(COEventLayout, FieldsSitAtTheirByteOffsets)
{
    COEvent event{};
    event.senderID = 0x11111111;
    event.receiverID = 0x22222222;
    event.targetID = 0x33333333;
    event.flags = 0x4444;
    event.code = 0x55555555;
    event.dataSize = 0x66666666;
    event.data = COValueToData(0x77777777);
    unsigned char bytes[sizeof(COEvent)];
    std::memcpy(bytes, &event, sizeof bytes);
    // Little-endian, as another process reads the record.
    const unsigned char expected[28] = {0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x22, 0x33, 0x33,
                                        0x33, 0x33, 0x44, 0x44, 0x00, 0x00, 0x55, 0x55, 0x55, 0x55,
                                        0x66, 0x66, 0x66, 0x66, 0x77, 0x77, 0x77, 0x77};
    EXPECT_EQ(0, std::memcmp(expected, bytes, sizeof bytes));
}

}  // namespace
