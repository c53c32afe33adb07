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

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

TEST(DebugLog, WritesTextsExactlyAndAppendsToAnEarlierRun) {
    CTempDir dir;
    std::string path = dir / "DEBUG.TXT";
    WriteFileBytes(path, "earlier run\n");
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(path));
    EXPECT_TRUE(log.WriteLog("BODY <a@b>\r\n"));
    EXPECT_TRUE(log.WriteLog("abcdef", 3));
    EXPECT_TRUE(log.LogPrintf("! FAILED: ProcessTask() Chan=%d : Channel is BUSY : SUBJ = %s\n", 2,
                              "pic (1/2)"));
    EXPECT_TRUE(log.CloseLog());
    EXPECT_EQ(ReadFileBytes(path),
              "earlier run\nBODY <a@b>\r\nabc"
              "! FAILED: ProcessTask() Chan=2 : Channel is BUSY : SUBJ = pic (1/2)\n");
    EXPECT_FALSE(locks.IsHeld(kDebugLogLock));
}

TEST(DebugLog, ClosedOrUnopenableLogDropsEverything) {
    CTempDir dir;
    CNamedLocks locks;
    CDebugLog log(locks);
    EXPECT_FALSE(log.WriteLog("x\n"));
    EXPECT_FALSE(log.LogPrintf("%d\n", 1));
    EXPECT_TRUE(log.CloseLog());

    EXPECT_FALSE(log.OpenLog(dir.Path()));  // a directory cannot be the log
    EXPECT_FALSE(log.WriteLog("x\n"));

    std::string path = dir / "DEBUG.TXT";
    ASSERT_TRUE(log.OpenLog(path));
    ASSERT_TRUE(log.CloseLog());
    EXPECT_FALSE(log.WriteLog("after close\n"));
    EXPECT_FALSE(log.WriteLog(nullptr));
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(DebugLog, EmptyAndOverlongFormattedTexts) {
    CTempDir dir;
    std::string path = dir / "DEBUG.TXT";
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(path));
    EXPECT_FALSE(log.LogPrintf("%s", ""));
    EXPECT_EQ(ReadFileBytes(path), "");
    std::string longText(10'000, 'x');
    EXPECT_TRUE(log.LogPrintf("Line Text = %s\r\n", longText.c_str()));
    log.CloseLog();
    std::string written = ReadFileBytes(path);
    EXPECT_EQ(written.size(), CDebugLog::kFormatBytes - 1);
    EXPECT_EQ(written.substr(0, 12), "Line Text = ");
}

TEST(DebugLog, BusyLockDropsTheText) {
    CTempDir dir;
    std::string path = dir / "DEBUG.TXT";
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(path));
    ASSERT_EQ(locks.TryLock(kDebugLogLock), 1);
    EXPECT_FALSE(log.WriteLog("dropped\n"));
    locks.Unlock(kDebugLogLock);
    EXPECT_TRUE(log.WriteLog("kept\n"));
    log.CloseLog();
    EXPECT_EQ(ReadFileBytes(path), "kept\n");
}

TEST(DebugLog, CloseWaitsForTheWriterHoldingTheLock) {
    CTempDir dir;
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(dir / "DEBUG.TXT"));
    ASSERT_EQ(locks.TryLock(kDebugLogLock), 1);  // a writer in the middle of its write
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
}

TEST(DebugLog, ConcurrentWritersNeverInterleaveWithinOneText) {
    constexpr int kThreads = 4, kLines = 400;
    CTempDir dir;
    std::string path = dir / "DEBUG.TXT";
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(path));
    std::vector<int> written(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                // Texts of very different sizes, so a torn write would show.
                std::string body(static_cast<size_t>((i * 37 + t * 101) % 3000), 'a' + t);
                if (log.LogPrintf("T%d L%d %s|\n", t, i, body.c_str())) ++written[t];
            }
        });
    }
    for (auto& t : threads) t.join();
    log.CloseLog();

    std::istringstream in(ReadFileBytes(path));
    std::string line;
    std::map<int, int> seen, lastIndex;
    while (std::getline(in, line)) {
        int t = -1, i = -1, consumed = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "T%d L%d %n", &t, &i, &consumed), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        std::string expected(static_cast<size_t>((i * 37 + t * 101) % 3000), 'a' + t);
        ASSERT_EQ(line.substr(static_cast<size_t>(consumed)), expected + "|");
        EXPECT_GT(i, lastIndex.count(t) ? lastIndex[t] : -1);  // each writer's order kept
        lastIndex[t] = i;
        ++seen[t];
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(seen[t], written[t]) << "thread " << t;
        EXPECT_GT(written[t], kLines / 2) << "a busy log drops only now and then";
    }
}

TEST(DebugLog, FileOverFourMegabytesIsKeptAsDebugOld) {
    CTempDir dir;
    std::string path = dir / "DEBUG.TXT";
    std::string big(CDebugLog::kRotateBytes + 1, 'o');
    WriteFileBytes(path, big);
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(path));
    EXPECT_TRUE(log.WriteLog("new run\n"));
    log.CloseLog();
    EXPECT_EQ(ReadFileBytes(path), "new run\n");
    EXPECT_EQ(std::filesystem::file_size(dir / "DEBUG.OLD"), big.size());
}

TEST(DebugLog, LongRunRotatesOnceItIsPastFourMegabytes) {
    CTempDir dir;
    std::string path = dir / "DEBUG.TXT";
    WriteFileBytes(path, std::string(CDebugLog::kRotateBytes - 4, 'o'));
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(path));  // not yet past the limit: kept
    EXPECT_TRUE(log.WriteLog("12345678\n"));
    EXPECT_FALSE(std::filesystem::exists(dir / "DEBUG.OLD"));
    EXPECT_TRUE(log.WriteLog("after\n"));
    log.CloseLog();
    EXPECT_EQ(ReadFileBytes(path), "after\n");
    EXPECT_EQ(std::filesystem::file_size(dir / "DEBUG.OLD"),
              static_cast<uintmax_t>(CDebugLog::kRotateBytes + 5));
}

}  // namespace
}  // namespace vexlo
