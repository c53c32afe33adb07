#include "platform/message_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/tick.h"

namespace vexlo {
namespace {

TEST(ThreadMessageQueue, DeliversInOrderAndQuitsAfterPendingMessages) {
    CThreadMessageQueue queue;
    ASSERT_TRUE(queue.Post(3075, 1, -1));
    ASSERT_TRUE(queue.Post(3076, 2));
    queue.PostQuit();
    EXPECT_FALSE(queue.Post(3074));  // nothing is taken after the quit mark

    ThreadMessage m;
    ASSERT_TRUE(queue.Get(m));
    EXPECT_EQ(m.message, 3075u);
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_EQ(m.lParam, -1);
    ASSERT_TRUE(queue.Get(m));
    EXPECT_EQ(m.message, 3076u);
    EXPECT_FALSE(queue.Get(m));
    EXPECT_FALSE(queue.Get(m));  // stays at the end
}

TEST(ThreadMessageQueue, GetForTellsTimeoutFromQuit) {
    CThreadMessageQueue queue;
    ThreadMessage m;
    bool quit = true;
    EXPECT_FALSE(queue.GetFor(m, 20, &quit));
    EXPECT_FALSE(quit);
    EXPECT_FALSE(queue.Peek().has_value());

    std::thread poster([&] {
        Sleep(20);
        queue.Post(3125, 7);
    });
    EXPECT_TRUE(queue.GetFor(m, 10'000, &quit));  // woken by the post, not the timeout
    EXPECT_EQ(m.wParam, 7u);
    poster.join();

    queue.PostQuit();
    EXPECT_FALSE(queue.GetFor(m, 10'000, &quit));
    EXPECT_TRUE(quit);
}

TEST(ThreadMessageQueue, ManyProducersLoseNothingAndKeepEachOnesOrder) {
    constexpr int kProducers = 6, kEach = 2000;
    CThreadMessageQueue queue;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, p] {
            for (int i = 0; i < kEach; ++i) queue.Post(static_cast<uint32_t>(p), i);
        });
    }
    std::vector<uintptr_t> next(kProducers, 0);
    ThreadMessage m;
    for (int n = 0; n < kProducers * kEach; ++n) {
        ASSERT_TRUE(queue.Get(m));
        ASSERT_LT(m.message, static_cast<uint32_t>(kProducers));
        EXPECT_EQ(m.wParam, next[m.message]++);
    }
    for (auto& t : producers) t.join();
    EXPECT_FALSE(queue.Peek().has_value());
}

TEST(Tick, ElapsedAcrossTheWrap) {
    EXPECT_EQ(TickElapsed(0xFFFFFF00u, 0x100u), 0x200u);
    EXPECT_EQ(TickElapsed(1000, 2500), 1500u);
}

}  // namespace
}  // namespace vexlo
