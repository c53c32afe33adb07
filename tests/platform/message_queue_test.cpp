#include "platform/message_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "platform/tick.h"

namespace vexlo {
namespace {

TEST(ThreadMessageQueue, DeliversInOrderAndTellsTimeoutFromQuit) {
    CThreadMessageQueue queue;
    ThreadMessage m;
    bool quit = true;
    EXPECT_FALSE(queue.GetFor(m, 20, &quit) || quit);  // a timeout
    std::thread poster([&] {
        Sleep(20);
        queue.Post(3075, 1, -1);
        queue.Post(3076, 2);
        queue.PostQuit();
    });
    ASSERT_TRUE(queue.GetFor(m, 10'000, &quit));  // woken by the post, not the timeout
    EXPECT_EQ(std::tuple(m.message, m.wParam, m.lParam), std::tuple(3075u, 1u, -1));
    poster.join();
    EXPECT_FALSE(queue.Post(3074));  // nothing is taken after the quit mark
    ASSERT_TRUE(queue.Get(m));       // but what came before it is delivered
    EXPECT_EQ(m.message, 3076u);
    EXPECT_FALSE(queue.Get(m) || queue.GetFor(m, 10'000, &quit));
    EXPECT_TRUE(quit);
}

}  // namespace
}  // namespace vexlo
