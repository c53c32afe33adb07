#include "core/debug_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "core/named_locks.h"
#include "platform/tick.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

class DebugLogTest : public ::testing::Test {
  protected:
    test::CTempDir dir;
    std::string path = dir / "DEBUG.TXT";
    CNamedLocks locks;
    CDebugLog log{locks};
};

TEST_F(DebugLogTest, WritesTextsExactlyWhileOpenAndDropsThemOtherwise) {
    EXPECT_FALSE(log.WriteLog("x\n"));      // not open yet
    EXPECT_FALSE(log.OpenLog(dir.Path()));  // a directory cannot be the log
    WriteFileBytes(path, "earlier run\n");
    ASSERT_TRUE(log.OpenLog(path));
    EXPECT_TRUE(log.WriteLog("BODY <a@b>\r\n"));
    EXPECT_TRUE(log.WriteLog("abcdef", 3));
    EXPECT_FALSE(log.WriteLog(nullptr));
    EXPECT_FALSE(log.LogPrintf("%s", ""));
    EXPECT_TRUE(log.LogPrintf("Chan=%d : %s\n", 2, "pic (1/2)"));
    // An overlong formatted text is cut to the format buffer.
    EXPECT_TRUE(log.LogPrintf("Line = %s", std::string(10'000, 'x').c_str()));
    EXPECT_TRUE(log.CloseLog());
    EXPECT_FALSE(log.WriteLog("after close\n"));
    EXPECT_EQ(ReadFileBytes(path), "earlier run\nBODY <a@b>\r\nabcChan=2 : pic (1/2)\nLine = " +
                                       std::string(CDebugLog::kFormatBytes - 8, 'x'));
    EXPECT_FALSE(locks.IsHeld(kDebugLogLock));
}

TEST_F(DebugLogTest, BusyLockDropsTheTextAndCloseWaitsForTheHolder) {
    ASSERT_TRUE(log.OpenLog(path));
    ASSERT_EQ(locks.TryLock(kDebugLogLock), 1);  // a writer in the middle of its write
    EXPECT_FALSE(log.WriteLog("dropped\n"));
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        log.CloseLog();
        closed = true;
    });
    Sleep(50);
    EXPECT_FALSE(closed);
    locks.Unlock(kDebugLogLock);
    closer.join();
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST_F(DebugLogTest, ConcurrentWritersNeverInterleaveWithinOneText) {
    constexpr int kThreads = 4, kLines = 400;
    // Texts of very different sizes, so a torn write would show.
    auto body = [](int t, int i) {
        return std::string(static_cast<size_t>((i * 37 + t * 101) % 3000), 'a' + t);
    };
    ASSERT_TRUE(log.OpenLog(path));
    std::vector<int> written(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                if (log.LogPrintf("T%d L%d %s|\n", t, i, body(t, i).c_str())) ++written[t];
        });
    }
    for (auto& t : threads) t.join();
    log.CloseLog();

    std::istringstream in(ReadFileBytes(path));
    std::map<int, int> seen, lastIndex;
    for (std::string line; std::getline(in, line);) {
        int t = -1, i = -1, consumed = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "T%d L%d %n", &t, &i, &consumed), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        ASSERT_EQ(line.substr(static_cast<size_t>(consumed)), body(t, i) + "|");
        EXPECT_GT(i, lastIndex.count(t) ? lastIndex[t] : -1);  // each writer's order kept
        lastIndex[t] = i;
        ++seen[t];
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(seen[t], written[t]) << "thread " << t;
        EXPECT_GT(written[t], kLines / 2) << "a busy log drops only now and then";
    }
}

TEST_F(DebugLogTest, RotatesToDebugOldPastFourMegabytesAtOpenAndDuringARun) {
    const std::string old = dir / "DEBUG.OLD";
    WriteFileBytes(path, std::string(CDebugLog::kRotateBytes + 1, 'o'));
    ASSERT_TRUE(log.OpenLog(path));
    EXPECT_TRUE(log.WriteLog("new run\n"));
    log.CloseLog();
    EXPECT_EQ(ReadFileBytes(path), "new run\n");
    EXPECT_EQ(fs::file_size(old), static_cast<uintmax_t>(CDebugLog::kRotateBytes + 1));

    fs::remove(old);
    WriteFileBytes(path, std::string(CDebugLog::kRotateBytes - 4, 'o'));
    ASSERT_TRUE(log.OpenLog(path));  // not yet past the limit: kept
    EXPECT_TRUE(log.WriteLog("12345678\n"));
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(log.WriteLog("after\n"));
    log.CloseLog();
    EXPECT_EQ(ReadFileBytes(path), "after\n");
    EXPECT_EQ(fs::file_size(old), static_cast<uintmax_t>(CDebugLog::kRotateBytes + 5));
}

}  // namespace
}  // namespace vexlo
