#include "nntp/transfer_stats.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/app_settings.h"
#include "nntp/rate_pacer.h"
#include "platform/profile_store.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

// The six counters as text, in the order the history section lists them.
std::string Text(const CTransferStats::Counters& c) {
    std::string text;
    for (const CInt96& n : {c.byteXmit, c.byteRecv, c.bodyXmit, c.bodyRecv, c.fileXmit, c.fileRecv})
        text += n.ToString() + " ";
    return text;
}

CTransferStats::Ring Sent(CTransferStats& stats) {
    CTransferStats::Ring sent{}, received{};
    stats.GetRateHistory(sent, received);
    return sent;
}

TEST(TransferStats, CountersNeitherWrapAtThirtyTwoBitsNorLoseConcurrentAdds) {
    CTransferStats stats;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10'000; ++i) {
                stats.AddBytesSent(1'000'000);
                stats.AddBodyReceived(1);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(Text(stats.Run()), "40000000000 0 0 40000 0 0 ");
}

TEST(TransferStats, HistoryLoadRejectsBadValuesAndRunTotalsStartAtZero) {
    test::CTempDir dir;
    const std::string path = dir / "_SETUP.INI";
    test::WriteFileBytes(path,
                         "[History]\r\nByteXMIT=-5\r\nByteRECV=12x\r\nBodyXMIT=  42  \r\n"
                         "BodyRECV=123456789012345678901234567890\r\n"
                         "FileXMIT=99999999999999999999\r\n");
    CProfileStore profile(path);
    CTransferStats stats;
    stats.AddBytesSent(7);  // counted before the load: the all-time values are replaced
    stats.LoadHistory(profile);
    // FileRECV is missing: zero too.
    EXPECT_EQ(Text(stats.AllTime()), "0 0 42 0 99999999999999999999 0 ");
    EXPECT_EQ(Text(stats.Run()), "7 0 0 0 0 0 ");

    stats.AddFileReceived(1);
    stats.SaveHistory(profile);
    CTransferStats reloaded;
    reloaded.LoadHistory(CProfileStore(path));
    // Nothing counts BodyXMIT: saved back as it was read.
    EXPECT_EQ(Text(reloaded.AllTime()), "0 0 42 0 99999999999999999999 1 ");
    EXPECT_EQ(Text(reloaded.Run()), "0 0 0 0 0 0 ");
}

TEST(TransferStats, TheRingAdvancesByWholeSecondsAndKeepsFifteenMinutes) {
    uint32_t now = 0xFFFFFC18u;  // 1000 ms before the tick wraps; moved by hand
    CTransferStats stats([&now] { return now; });
    stats.AddBytesSent(100);
    stats.AddBytesSent(100);
    now += 999;  // still the same second, at index 0
    EXPECT_EQ(Sent(stats)[0], 200u);
    now += 1501;  // past the wrap: 2.5 s in all
    stats.AddBytesSent(1);
    auto sent = Sent(stats);
    EXPECT_EQ(sent[0], 1u);
    EXPECT_EQ(sent[1], 0u);  // the skipped second
    EXPECT_EQ(sent[2], 200u);
    // The 500 ms left over were dropped: the next second starts a full second later.
    now += 999;
    EXPECT_EQ(Sent(stats)[0], 1u);
    now += 1;
    EXPECT_EQ(Sent(stats)[1], 1u);

    for (uint32_t s = 1; s <= 900; ++s) {
        stats.AddBytesSent(s);
        now += 1000;
    }
    // One second after the 900th: the first second (1) fell out of the ring.
    sent = Sent(stats);
    EXPECT_EQ(sent[0], 0u);
    EXPECT_EQ(sent[1], 900u);
    EXPECT_EQ(sent[899], 2u);
    for (uint32_t gap : {900'000u, 901'000u}) {  // exactly and more than 900 s of silence
        stats.AddBytesSent(9);
        now += gap;
        stats.AddBytesSent(4);
        sent = Sent(stats);
        EXPECT_EQ(sent[0], 4u) << gap;
        for (size_t i = 1; i < sent.size(); ++i) ASSERT_EQ(sent[i], 0u) << gap << " " << i;
    }
}

TEST(FormatThousands, GroupsOfThreeFromTheRight) {
    for (const auto& [digits, grouped] :
         {std::pair<std::string, std::string>{"1234567", "1,234,567"},
          {"123", "123"},
          {"1234", "1,234"},
          {"0", "0"},
          {"", ""},
          {"-123456", "-123,456"},  // no separator after the sign
          {CInt96::FromWide(static_cast<__int128>(1) << 95).ToString(),
           "39,614,081,257,132,168,796,771,975,168"}})
        EXPECT_EQ(FormatThousands(digits), grouped);
}

// The per-channel speed limit, on a clock that only moves when the pacer sleeps.
TEST(RatePacer, SleepsUntilTheBytesFitTheRate) {
    auto now = CRatePacer::Clock::time_point{};
    std::chrono::milliseconds slept{0};
    CRatePacer pacer(
        10 * 1024, [&](std::chrono::milliseconds ms) { now += ms, slept += ms; },
        [&] { return now; });
    pacer.Consumed(5 * 1024, {});
    EXPECT_EQ(slept.count(), 500);
    pacer.Consumed(5 * 1024, {});
    EXPECT_EQ(slept.count(), 1000);
    now += std::chrono::seconds(5);  // a slow server: nothing to wait for
    pacer.Consumed(10 * 1024, {});
    EXPECT_EQ(slept.count(), 1000);
    pacer.Consumed(30 * 1024, [] { return true; });  // an abort ends the wait
    EXPECT_EQ(slept.count(), 1000);
    CRatePacer(0).Consumed(1 << 30, {});  // no limit: returns at once on the real clock

    CAppSettings settings;
    settings.SetChanMaxBPS(40);
    EXPECT_EQ(CRatePacer::LimitFromSettings(settings), 0u);  // the limit is off
    settings.SetOption(OPT_LIMIT_SPEED, 1);
    EXPECT_EQ(CRatePacer::LimitFromSettings(settings), 40u * 1024);
    settings.SetChanMaxBPS(100);
    EXPECT_EQ(CRatePacer::LimitFromSettings(settings), 0u);
}

}  // namespace
}  // namespace vexlo
