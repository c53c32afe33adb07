#include "core/named_locks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/tick.h"

namespace vexlo {
namespace {

TEST(NamedLocks, HeldNameIsRefusedEvenToItsHolderAndAnyThreadMayRelease) {
    CNamedLocks locks;
    // Letter case makes another name; names are compared in full, not as
    // prefixes. (Braces call in order.)
    EXPECT_EQ((std::vector{locks.TryLock("alt.binaries.test"), locks.TryLock("alt.binaries.test"),
                           locks.TryLock("ALT.BINARIES.TEST"), locks.TryLock("alt.binaries.test2"),
                           locks.TryLock("alt.binaries")}),
              (std::vector{1, 0, 1, 1, 1}));
    std::thread other([&] {
        EXPECT_EQ(locks.TryLock("alt.binaries.test"), 0);
        EXPECT_EQ(locks.Unlock("alt.binaries.test"), 1);
    });
    other.join();
    EXPECT_EQ(locks.Unlock("alt.binaries.test"), 0);
    EXPECT_TRUE(locks.IsHeld("ALT.BINARIES.TEST"));
    ASSERT_EQ(locks.TryLock("alt.binaries.test"), 1);  // free again
    { CNamedLockHolder holder(locks, "alt.binaries.test"); }
    EXPECT_FALSE(locks.IsHeld("alt.binaries.test"));
}

TEST(NamedLocks, WaitsGiveUpAfterTheirAttemptsOrEndWhenTheHolderReleases) {
    CNamedLocks locks;
    ASSERT_EQ(locks.TryLock(kDebugLogLock), 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(locks.LockWithRetries(kDebugLogLock, 10), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));  // 9 pauses
    EXPECT_EQ(locks.LockWithRetries(kDebugLogLock, 0), 0);
    locks.LockTaskProgress();
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        EXPECT_EQ(locks.LockWithRetries(kDebugLogLock, 100'000), 1);
        CTaskProgressGuard guard(locks);
        got = true;
    });
    Sleep(20);
    locks.Unlock(kDebugLogLock);  // taken by the waiter, which then waits for the progress lock
    Sleep(120);                   // two polls of the progress waiter
    EXPECT_FALSE(got);
    EXPECT_TRUE(locks.IsHeld(kDebugLogLock));
    locks.UnlockTaskProgress();
    waiter.join();
    EXPECT_TRUE(got);
    EXPECT_FALSE(locks.IsHeld(kTaskProgressLock));  // the guard gave it back
}

}  // namespace
}  // namespace vexlo
