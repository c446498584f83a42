#include "OwnerLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(OwnerLockTest, RecursionCountsDepthAndRecordsTheOwner)
{
    OwnerLock lock;
    EXPECT_EQ(0, lock.depth);
    lock.Lock();
    lock.Lock();
    EXPECT_EQ(2, lock.depth);
    EXPECT_EQ(platform::CurrentThreadId(), lock.ownerThread);
    lock.Unlock();
    EXPECT_EQ(1, lock.depth);
    lock.Unlock();
    EXPECT_EQ(0, lock.depth);
    // The last holder stays recorded after the lock is free.
    EXPECT_EQ(platform::CurrentThreadId(), lock.ownerThread);
}

TEST(OwnerLockTest, AnotherThreadWaitsUntilEveryLevelIsReleased)
{
    OwnerLock lock;
    std::atomic<int> stage{0};
    std::atomic<bool> acquired{false};
    DWORD otherThread = 0;

    lock.Lock();
    lock.Lock();
    std::thread other([&] {
        otherThread = platform::CurrentThreadId();
        stage = 1;
        lock.Lock();
        acquired = true;
        EXPECT_EQ(1, lock.depth);
        lock.Unlock();
    });
    while (stage.load() == 0)
        platform::SleepMilliseconds(1);

    platform::SleepMilliseconds(50);
    EXPECT_FALSE(acquired.load());
    lock.Unlock();
    platform::SleepMilliseconds(50);
    EXPECT_FALSE(acquired.load()) << "one Unlock of two must not release the lock";
    lock.Unlock();
    other.join();

    EXPECT_TRUE(acquired.load());
    EXPECT_EQ(0, lock.depth);
    EXPECT_EQ(otherThread, lock.ownerThread);
    EXPECT_NE(platform::CurrentThreadId(), lock.ownerThread);
}

TEST(PlatformTest, AtomicCountersReturnTheNewValueUnderContention)
{
    volatile long counter = -1;
    EXPECT_EQ(0, platform::AtomicIncrement(&counter));
    EXPECT_EQ(-1, platform::AtomicDecrement(&counter));

    constexpr int kPerThread = 20000;
    std::thread up([&] { for (int i = 0; i < kPerThread; ++i) platform::AtomicIncrement(&counter); });
    std::thread down([&] { for (int i = 0; i < kPerThread / 2; ++i) platform::AtomicDecrement(&counter); });
    up.join();
    down.join();
    EXPECT_EQ(-1 + kPerThread / 2, counter);
}

}  // namespace
