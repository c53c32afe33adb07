#include "core/debug_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
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

TEST_F(DebugLogTest, WritesTextsExactlyWhileOpenAndTheLockIsFreeAndDropsThemOtherwise) {
    EXPECT_FALSE(log.WriteLog("x\n"));      // not open yet
    EXPECT_FALSE(log.OpenLog(dir.Path()));  // a directory cannot be the log
    WriteFileBytes(path, "earlier run\n");
    ASSERT_TRUE(log.OpenLog(path));
    EXPECT_TRUE(log.WriteLog("BODY <a@b>\r\n"));
    EXPECT_TRUE(log.WriteLog("abcdef", 3));
    EXPECT_FALSE(log.WriteLog(nullptr) || log.LogPrintf("%s", ""));
    EXPECT_TRUE(log.LogPrintf("Chan=%d : %s\n", 2, "pic (1/2)"));
    // An overlong formatted text is cut to the format buffer.
    EXPECT_TRUE(log.LogPrintf("Line = %s", std::string(10'000, 'x').c_str()));
    EXPECT_TRUE(log.CloseLog());
    EXPECT_FALSE(log.WriteLog("after close\n"));
    EXPECT_EQ(ReadFileBytes(path), "earlier run\nBODY <a@b>\r\nabcChan=2 : pic (1/2)\nLine = " +
                                       std::string(CDebugLog::kFormatBytes - 8, 'x'));
    EXPECT_FALSE(locks.IsHeld(kDebugLogLock));

    // A writer in the middle of its write: a text is dropped, and a close
    // waits for the writer.
    ASSERT_TRUE(log.OpenLog(path));
    ASSERT_EQ(locks.TryLock(kDebugLogLock), 1);
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
    EXPECT_EQ(ReadFileBytes(path).find("dropped"), std::string::npos);
}

TEST_F(DebugLogTest, ConcurrentWritersNeverInterleaveWithinOneText) {
    constexpr int kThreads = 4, kLines = 400;
    // Texts of very different sizes, so a torn write would show.
    auto text = [](int t, int i) {
        return "T" + std::to_string(t) + " L" + std::to_string(i) + " " +
               std::string(static_cast<size_t>((i * 37 + t * 101) % 3000), 'a' + t) + "|";
    };
    ASSERT_TRUE(log.OpenLog(path));
    std::vector<std::vector<std::string>> written(kThreads), read(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                if (log.LogPrintf("%s\n", text(t, i).c_str())) written[t].push_back(text(t, i));
        });
    for (auto& t : threads) t.join();
    log.CloseLog();
    std::istringstream in(ReadFileBytes(path));
    // A line that does not start as a writer's text throws: a failure.
    for (std::string line; std::getline(in, line);)
        read.at(static_cast<size_t>(line.at(1) - '0')).push_back(line);
    EXPECT_TRUE(read == written) << "each writer's texts whole and in its order";
    for (const auto& lines : written)
        EXPECT_GT(lines.size(), kLines / 2u) << "a busy log drops only now and then";
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
