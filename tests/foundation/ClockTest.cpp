#include "Clock.h"

#include <gtest/gtest.h>

namespace {

class ClockTest : public ::testing::Test {
protected:
    void TearDown() override { animSetTime(0); }
};

TEST_F(ClockTest, FrozenClockReportsTheSetTimeUntilReleased)
{
    animSetTime(5000);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(5000UL, animTimeGetTime());
        utilSleep(5);
    }
    animSetTime(0);
    // Running again: the value moves with the system clock.
    const unsigned long first = animTimeGetTime();
    utilSleep(30);
    EXPECT_NE(first, animTimeGetTime());
}

TEST_F(ClockTest, ZeroCannotFreezeTheClock)
{
    animSetTime(0);
    const unsigned long first = animTimeGetTime();
    utilSleep(30);
    const unsigned long second = animTimeGetTime();
    EXPECT_NE(0UL, second);
    EXPECT_GE(second - first, 10UL);  // unsigned difference survives a wrap
}

TEST_F(ClockTest, RunningClockAdvancesWithSleep)
{
    const unsigned long before = animTimeGetTime();
    utilSleep(100);
    const unsigned long elapsed = animTimeGetTime() - before;
    EXPECT_GE(elapsed, 90UL);
    EXPECT_LT(elapsed, 60000UL);
}

}  // namespace
