#include "COEvent.h"

#include <gtest/gtest.h>

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

}  // namespace
