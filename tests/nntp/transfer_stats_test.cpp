#include "nntp/transfer_stats.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/profile_store.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::WriteFileBytes;

// Statistics on a clock the test moves by hand.
struct ManualClock {
    std::shared_ptr<uint32_t> now = std::make_shared<uint32_t>(0);
    CTransferStats::Clock Clock() const {
        return [now = now] { return *now; };
    }
    void Advance(uint32_t ms) const { *now += ms; }
};

struct Rings {
    CTransferStats::Ring sent{}, received{};
};

Rings History(CTransferStats& stats) {
    Rings r;
    stats.GetRateHistory(r.sent, r.received);
    return r;
}

TEST(TransferStats, CountersDoNotWrapAtThirtyTwoBits) {
    CTransferStats stats;
    stats.AddBytesReceived(4'294'967'295u);
    stats.AddBytesReceived(4'294'967'295u);
    EXPECT_EQ(stats.AllTime().byteRecv.ToString(), "8589934590");
    EXPECT_EQ(stats.Run().byteRecv.ToString(), "8589934590");
    stats.AddBytesSent(10);
    stats.AddBodyReceived(1);
    stats.AddFileReceived(2);
    auto run = stats.Run();
    EXPECT_EQ(run.byteXmit, CInt96(10));
    EXPECT_EQ(run.bodyRecv, CInt96(1));
    EXPECT_EQ(run.fileRecv, CInt96(2));
    EXPECT_TRUE(run.bodyXmit.IsZero());
    EXPECT_TRUE(run.fileXmit.IsZero());
}

TEST(TransferStats, HistoryLoadRejectsBadValuesAndRunTotalsStartAtZero) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    WriteFileBytes(path,
                   "[History]\r\nByteXMIT=-5\r\nByteRECV=12x\r\nBodyXMIT=  42  \r\n"
                   "BodyRECV=123456789012345678901234567890\r\nFileXMIT=99999999999999999999\r\n");
    CProfileStore profile(path);
    CTransferStats stats;
    stats.AddBytesSent(7);  // counted before the load: the all-time values are replaced
    stats.LoadHistory(profile);
    auto all = stats.AllTime();
    EXPECT_TRUE(all.byteXmit.IsZero());
    EXPECT_TRUE(all.byteRecv.IsZero());
    EXPECT_EQ(all.bodyXmit, CInt96(42));
    EXPECT_TRUE(all.bodyRecv.IsZero());
    EXPECT_EQ(all.fileXmit.ToString(), "99999999999999999999");
    EXPECT_TRUE(all.fileRecv.IsZero());  // missing key
    EXPECT_EQ(stats.Run().byteXmit, CInt96(7));

    stats.AddBytesReceived(3);
    stats.AddFileReceived(1);
    stats.SaveHistory(profile);
    CTransferStats reloaded;
    reloaded.LoadHistory(CProfileStore(path));
    EXPECT_EQ(reloaded.AllTime().byteRecv, CInt96(3));
    EXPECT_EQ(reloaded.AllTime().bodyXmit, CInt96(42));  // nothing counts it: saved back as is
    EXPECT_EQ(reloaded.AllTime().fileXmit.ToString(), "99999999999999999999");
    EXPECT_EQ(reloaded.AllTime().fileRecv, CInt96(1));
    EXPECT_TRUE(reloaded.Run().byteRecv.IsZero());
}

TEST(TransferStats, CurrentSecondIsIndexZero) {
    ManualClock clock;
    CTransferStats stats(clock.Clock());
    stats.AddBytesSent(100);
    stats.AddBytesSent(100);
    stats.AddBytesReceived(5);
    Rings r = History(stats);
    EXPECT_EQ(r.sent[0], 200u);
    EXPECT_EQ(r.received[0], 5u);
    clock.Advance(999);  // still the same second
    EXPECT_EQ(History(stats).sent[0], 200u);
}

TEST(TransferStats, SilenceAdvancesTheRingByWholeSeconds) {
    ManualClock clock;
    CTransferStats stats(clock.Clock());
    stats.AddBytesSent(100);
    stats.AddBytesSent(100);
    clock.Advance(2500);
    stats.AddBytesSent(1);
    Rings r = History(stats);
    EXPECT_EQ(r.sent[0], 1u);
    EXPECT_EQ(r.sent[1], 0u);  // the skipped second
    EXPECT_EQ(r.sent[2], 200u);
    // The 500 ms left over were dropped: the next second starts a full second later.
    clock.Advance(999);
    EXPECT_EQ(History(stats).sent[0], 1u);
    clock.Advance(1);
    EXPECT_EQ(History(stats).sent[1], 1u);
}

TEST(TransferStats, RingKeepsFifteenMinutesAndClearsAfterLongerSilence) {
    ManualClock clock;
    CTransferStats stats(clock.Clock());
    for (uint32_t s = 1; s <= 900; ++s) {
        stats.AddBytesReceived(s);
        clock.Advance(1000);
    }
    // Now one second after the 900th: the first second (1) fell out of the ring.
    Rings r = History(stats);
    EXPECT_EQ(r.received[0], 0u);
    EXPECT_EQ(r.received[1], 900u);
    EXPECT_EQ(r.received[899], 2u);

    clock.Advance(900'000);  // exactly 900 s: every slot passed and zeroed
    r = History(stats);
    for (uint32_t v : r.received) ASSERT_EQ(v, 0u);

    stats.AddBytesSent(9);
    clock.Advance(901'000);  // more than 900 s
    stats.AddBytesSent(4);
    r = History(stats);
    EXPECT_EQ(r.sent[0], 4u);
    for (size_t i = 1; i < r.sent.size(); ++i) ASSERT_EQ(r.sent[i], 0u) << i;
}

TEST(TransferStats, TickWrapCountsAsElapsedTime) {
    ManualClock clock;
    *clock.now = 0xFFFFFC18u;  // 1000 ms before the wrap
    CTransferStats stats(clock.Clock());
    stats.AddBytesSent(50);
    clock.Advance(3000);  // wraps to 2000
    stats.AddBytesSent(7);
    Rings r = History(stats);
    EXPECT_EQ(r.sent[0], 7u);
    EXPECT_EQ(r.sent[3], 50u);
}

TEST(TransferStats, ConcurrentCountingLosesNothing) {
    CTransferStats stats;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10'000; ++i) {
                stats.AddBytesReceived(1'000'000);
                stats.AddBodyReceived(1);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(stats.Run().byteRecv.ToString(), "40000000000");
    EXPECT_EQ(stats.AllTime().bodyRecv, CInt96(40'000));
}

TEST(FormatThousands, GroupsOfThreeFromTheRight) {
    EXPECT_EQ(FormatThousands("1234567"), "1,234,567");
    EXPECT_EQ(FormatThousands("123"), "123");
    EXPECT_EQ(FormatThousands("1234"), "1,234");
    EXPECT_EQ(FormatThousands("123456"), "123,456");
    EXPECT_EQ(FormatThousands("0"), "0");
    EXPECT_EQ(FormatThousands(""), "");
    EXPECT_EQ(FormatThousands("-123456"), "-123,456");
    EXPECT_EQ(FormatThousands(CInt96::FromWide(static_cast<__int128>(1) << 95).ToString()),
              "39,614,081,257,132,168,796,771,975,168");
}

}  // namespace
}  // namespace vexlo
