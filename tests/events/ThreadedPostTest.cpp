#include "EventsTestSupport.h"

#include <atomic>
#include <thread>

namespace {

using ThreadedPostTest = EventSystemTest;

constexpr int kThreads = 4;
constexpr int kPostsPerThread = 10000;

TEST_F(ThreadedPostTest, EveryPostIsDeliveredOnceInEachThreadsOrder)
{
    std::vector<int> nextExpected(kThreads, 0);
    int delivered = 0;
    int outOfOrder = 0;
    Probe receiver(nullptr, false);
    receiver.m_onEvent = [&](COEvent* event) {
        const int thread = static_cast<int>(event->code);
        const int sequence = static_cast<int>(event->senderID);
        if (thread < 0 || thread >= kThreads || sequence != nextExpected[thread])
            ++outOfOrder;
        else
            ++nextExpected[thread];
        ++delivered;
    };

    std::atomic<int> finishedPosters{0};
    std::vector<std::thread> posters;
    for (int thread = 0; thread < kThreads; ++thread) {
        posters.emplace_back([&, thread] {
            const long to = receiver.GetID();
            for (int sequence = 0; sequence < kPostsPerThread; ++sequence) {
                // Every eighth post carries a block, so copying and freeing run concurrently too.
                char payload[4] = {1, 2, 3, 4};
                const bool withData = sequence % 8 == 0;
                CommonObjectEventManager::staticPostEvent(sequence, to, static_cast<unsigned int>(thread),
                                                          withData ? payload : nullptr, withData ? 4 : 0, 0);
            }
            ++finishedPosters;
        });
    }
    while (finishedPosters.load() < kThreads) {
        CommonObjectEventManager::staticDispatchEvents(1);
        receiver.received.clear();
        std::this_thread::yield();
    }
    for (std::thread& poster : posters)
        poster.join();
    CommonObjectEventManager::staticDispatchEvents(1);

    EXPECT_EQ(0, outOfOrder);
    EXPECT_EQ(kThreads * kPostsPerThread, delivered);
    for (int thread = 0; thread < kThreads; ++thread)
        EXPECT_EQ(kPostsPerThread, nextExpected[thread]);
}

}  // namespace
