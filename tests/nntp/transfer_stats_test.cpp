// The transfer counters and their number type, the rate ring, the thousands
// separators and the per-channel speed limit.
#include "nntp/transfer_stats.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/app_settings.h"
#include "nntp/int96.h"
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

// The bytes sent in the last `n` seconds, the current one first.
std::vector<uint32_t> Sent(CTransferStats& stats, size_t n = CTransferStats::kRingSeconds) {
    CTransferStats::Ring sent{}, received{};
    stats.GetRateHistory(sent, received);
    return {sent.begin(), sent.begin() + static_cast<long>(n)};
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
    EXPECT_EQ(Sent(stats, 1), std::vector<uint32_t>{200});
    now += 1501;  // past the wrap: 2.5 s in all, the second between them empty
    stats.AddBytesSent(1);
    EXPECT_EQ(Sent(stats, 3), (std::vector<uint32_t>{1, 0, 200}));
    // The 500 ms left over were dropped: the next second starts a full second later.
    now += 999;
    EXPECT_EQ(Sent(stats, 1), std::vector<uint32_t>{1});
    now += 1;
    EXPECT_EQ(Sent(stats, 2), (std::vector<uint32_t>{0, 1}));

    for (uint32_t s = 1; s <= 900; ++s) {
        stats.AddBytesSent(s);
        now += 1000;
    }
    // One second after the 900th: the first second (1) fell out of the ring.
    EXPECT_EQ(Sent(stats, 2), (std::vector<uint32_t>{0, 900}));
    EXPECT_EQ(Sent(stats).back(), 2u);
    std::vector<uint32_t> quiet(CTransferStats::kRingSeconds, 0);
    quiet[0] = 4;
    for (uint32_t gap : {900'000u, 901'000u}) {  // exactly and more than 900 s of silence
        stats.AddBytesSent(9);
        now += gap;
        stats.AddBytesSent(4);
        EXPECT_EQ(Sent(stats), quiet) << gap;
    }
}

TEST(FormatThousands, GroupsOfThreeFromTheRight) {
    for (const auto& [digits, grouped] :
         {std::pair<std::string, std::string>{"1234567", "1,234,567"},
          {"123", "123"},
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

// The counters' number type. (Sums past 32 bits: the counters above; the text
// of the widest values: FormatThousands.)
TEST(Int96, SignedArithmeticAndTextReadStrictlyInsideTrimmedBlanks) {
    EXPECT_EQ(CInt96(-1) + CInt96(1), CInt96(0));
    EXPECT_TRUE((CInt96(3) - CInt96(5)).IsNegative());
    EXPECT_LT(CInt96(-2), CInt96(1));
    const std::pair<const char*, const char*> good[] = {
        {"-2147483648", "-2147483648"},
        {"18446744073709551616", "18446744073709551616"},
        {"79228162514264337593543950335", "79228162514264337593543950335"},
        {"-99999999999999999999999999999", "-99999999999999999999999999999"},
        {"  42  ", "42"},
        {"-  7", "-7"},
        {"", "0"},
        {"-", "0"},
        {"-0", "0"},
        {"00012", "12"}};
    for (const auto& [text, value] : good) {
        CInt96 v;
        EXPECT_TRUE(v.FromString(text)) << text;
        EXPECT_EQ(v.ToString(), value) << text;
    }
    for (const char* bad : {"12x", "+5", "1 2", "--1", "0x10", "123456789012345678901234567890"}) {
        CInt96 v(9);
        EXPECT_FALSE(v.FromString(bad)) << bad;
        EXPECT_EQ(v, CInt96(9)) << "unchanged after " << bad;
    }
}

}  // namespace
}  // namespace vexlo
