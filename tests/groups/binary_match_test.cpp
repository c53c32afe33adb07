#include "groups/binary_match.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "group_test_files.h"
#include "groups/message_db.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::Articles;
using test::CTempDir;
using test::Hdr;
using test::MakeBinary;
using test::ReadFileBytes;
using test::Subjects;
using test::WriteFileBytes;
using Strings = std::vector<std::string>;
using Numbers = std::vector<uint32_t>;

TEST(ParsePartCounter, RecognisesCounters) {
    uint32_t n = 99, m = 99;
    ASSERT_TRUE(ParsePartCounter("a.rar (3/12)", n, m));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(m, 12u);
    ASSERT_TRUE(ParsePartCounter("i [2/5]", n, m));
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(m, 5u);
    ASSERT_TRUE(ParsePartCounter("g (01/10)", n, m));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(m, 10u);
    // The rightmost counter wins.
    ASSERT_TRUE(ParsePartCounter("j (2/5) [1/1]", n, m));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(m, 1u);
    // A counter further left when the right bracket holds none.
    ASSERT_TRUE(ParsePartCounter("set [01/20] - \"f.rar\" yEnc (7/9) (x)", n, m));
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(m, 9u);
    // Mixed brackets, absent digits, several slashes.
    ASSERT_TRUE(ParsePartCounter("x (4/6]", n, m));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(m, 6u);
    ASSERT_TRUE(ParsePartCounter("k (/5)", n, m));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(m, 5u);
    ASSERT_TRUE(ParsePartCounter("k (5/)", n, m));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(m, 0u);
    ASSERT_TRUE(ParsePartCounter("v (1/2/3)", n, m));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(m, 3u);

    EXPECT_FALSE(ParsePartCounter("l (12)", n, m));
    EXPECT_FALSE(ParsePartCounter("m (1/2", n, m));
    EXPECT_FALSE(ParsePartCounter("m (1/", n, m));
    EXPECT_FALSE(ParsePartCounter("n (1 /2)", n, m));
    EXPECT_FALSE(ParsePartCounter("", n, m));
    EXPECT_FALSE(ParsePartCounter("no counter at all", n, m));
}

TEST(SameSubjectPattern, DigitsMayDiffer) {
    EXPECT_TRUE(SameSubjectPattern("a.rar (1/3)", "a.rar (2/3)"));
    EXPECT_TRUE(SameSubjectPattern("g (01/10)", "g (10/10)"));
    EXPECT_TRUE(SameSubjectPattern("v1 (1/2)", "v2 (2/2)"));  // any digits
    EXPECT_TRUE(SameSubjectPattern("", ""));
    EXPECT_FALSE(SameSubjectPattern("h (9/10)", "h (10/10)"));  // length differs
    EXPECT_FALSE(SameSubjectPattern("a.rar (1/3)", "b.rar (2/3)"));
    EXPECT_FALSE(SameSubjectPattern("A.rar (1/3)", "a.rar (2/3)"));  // case counts here
}

TEST(BinaryItem, AccessorsAndEmptyItem) {
    CBinaryItem empty;
    std::vector<uint32_t> list;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_FALSE(empty.SetFlags(1));
    EXPECT_FALSE(empty.AppendArticles(list));
    EXPECT_EQ(empty.TotalLines(), 0u);
    EXPECT_EQ(empty.LowestArticle(), 0u);

    CBinaryItem b;
    ASSERT_TRUE(b.Assign(1, "s", "p", "<m>", {30, 4000000000u, 10}, {100, 200, 300}, {1, 2, 3}));
    EXPECT_TRUE(b.SetFlags(0));
    EXPECT_EQ(b.GetFlags(), 0u);
    EXPECT_EQ(b.TotalLines(), 600u);
    EXPECT_EQ(b.EstimatedSize(), 600u * 45);
    EXPECT_EQ(b.LowestArticle(), 10u);  // unsigned comparison
    ASSERT_TRUE(b.AppendArticles(list));
    EXPECT_EQ(list, (Numbers{30, 4000000000u, 10}));
    EXPECT_FALSE(b.Assign(1, "s", "p", "<m>", {1, 2}, {1}, {1, 2}));
}

TEST(BinaryItem, RoundTripAndDamagedRecords) {
    CTempDir dir;
    std::string big(5000, 'b');
    test::WriteBinaryFile(dir / "g.BIN", 1, 9,
                          {MakeBinary("one (1/2)", {5, 6}), MakeBinary(big + " (1/1)", {7}),
                           MakeBinary("three", {8})});
    auto items = test::ReadBinaryFile(dir / "g.BIN");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].GetArticles(), (Numbers{5, 6}));
    EXPECT_EQ(items[0].GetLines(), (Numbers{10, 10}));
    EXPECT_EQ(items[0].GetBytes(), (Numbers{1000, 1000}));
    EXPECT_EQ(items[1].GetSubject().size(), kMaxSubjectLength);
    EXPECT_EQ(items[1].GetSubject().substr(kMaxSubjectLength - 6), " (1/1)");

    std::string bytes = ReadFileBytes(dir / "g.BIN");
    // Cut anywhere inside the last record: the first two stay readable.
    for (size_t cut = 1; cut < 20 + 5 + 6 + 3 + 12; cut += 7) {
        WriteFileBytes(dir / "c.BIN", bytes.substr(0, bytes.size() - cut));
        EXPECT_EQ(test::ReadBinaryFile(dir / "c.BIN").size(), 2u) << cut;
    }
    // A damaged text length or part count in the first record ends the reading.
    std::string garbled = bytes;
    garbled.replace(8 + 12, 4, test::U32Bytes(2000));  // poster length over its bound
    WriteFileBytes(dir / "c.BIN", garbled);
    EXPECT_TRUE(test::ReadBinaryFile(dir / "c.BIN").empty());
    garbled = bytes;
    garbled.replace(8 + 4, 4, test::U32Bytes(0xFFFFFFFF));
    WriteFileBytes(dir / "c.BIN", garbled);
    EXPECT_TRUE(test::ReadBinaryFile(dir / "c.BIN").empty());
}

// Runs the matching pass over headers given in subject order (the order is
// taken as it is, not sorted), without old data.
class MatchTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& ext) { return dir.Path() + "g." + ext; }

    ScanStepResult Match(const Strings& subjects, bool haveData = false, uint32_t first = 1,
                         uint32_t last = 1000) {
        std::vector<Hdr> headers;
        uint32_t article = 101;
        for (const auto& s : subjects) {
            headers.push_back(Hdr{article, s, "poster" + std::to_string(article),
                                  "<" + std::to_string(article) + "@x>", article % 7 + 1,
                                  article * 10});
            ++article;
        }
        test::WriteHeaderFile(Path("XOV"), 1, 1000, headers);
        CHeaderFile file(Path("XOV"));
        HeaderIndex index;
        EXPECT_TRUE(IndexHeaderRecords(file, index));
        testing::FailWritesAfter(failWritesAfter);
        ScanStepResult r = MatchBinaries(locks, abortFlag, dir.Path(), "g", file, index.offsets,
                                         haveData, first, last);
        testing::FailWritesAfter(-1);
        return r;
    }

    std::vector<CBinaryItem> Binaries() { return test::ReadBinaryFile(Path("BIN")); }
    Numbers MessageArticles() { return Articles(test::ReadHeaderFile(Path("MSG"))); }

    CTempDir dir;
    CNamedLocks locks;
    std::atomic<uint32_t> abortFlag{0};
    int64_t failWritesAfter = -1;  // simulated full disk while matching
};

TEST_F(MatchTest, CompletePostsBecomeBinaries) {
    auto r = Match({"a.rar (1/3)", "a.rar (2/3)", "a.rar (3/3)", "b.gif (1/1)"});
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.binCount, 2u);
    EXPECT_EQ(r.newCount, 2u);
    EXPECT_EQ(r.msgCount, 0u);
    auto bins = Binaries();
    ASSERT_EQ(bins.size(), 2u);
    EXPECT_EQ(bins[0].GetSubject(), "a.rar (3/3)");  // the last part's subject
    EXPECT_EQ(bins[0].GetPoster(), "poster101");     // part 1's poster and id
    EXPECT_EQ(bins[0].GetMessageId(), "<101@x>");
    EXPECT_EQ(bins[0].GetArticles(), (Numbers{101, 102, 103}));
    EXPECT_EQ(bins[0].GetLines(), (Numbers{101 % 7 + 1, 102 % 7 + 1, 103 % 7 + 1}));
    EXPECT_EQ(bins[0].GetBytes(), (Numbers{1010, 1020, 1030}));
    EXPECT_EQ(bins[0].GetFlags(), 1u);
    EXPECT_EQ(bins[1].GetArticles(), (Numbers{104}));
    EXPECT_EQ(ReadFileBytes(Path("MSG")).size(), 8u);
    EXPECT_FALSE(locks.IsHeld("g"));
}

TEST_F(MatchTest, IncompleteAndOutOfSequencePostsStayMessages) {
    auto r = Match({"c.zip (1/3)", "c.zip (3/3)", "x.rar (1/2)", "y.rar (2/2)"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.binCount, 0u);
    EXPECT_EQ(r.msgCount, 4u);
    EXPECT_EQ(MessageArticles(), (Numbers{101, 102, 103, 104}));
    EXPECT_EQ(ReadFileBytes(Path("BIN")).size(), 8u);  // header only
}

TEST_F(MatchTest, RepeatedParts) {
    // A repeated last part starts nothing; a repeated middle part replaces the first.
    auto r = Match({"d.rar (1/2)", "d.rar (2/2)", "d.rar (2/2)",                   // 101-103
                    "e.rar (1/3)", "e.rar (2/3)", "e.rar (2/3)", "e.rar (3/3)"});  // 104-107
    ASSERT_TRUE(r.ok);
    auto bins = Binaries();
    ASSERT_EQ(bins.size(), 2u);
    EXPECT_EQ(bins[0].GetArticles(), (Numbers{101, 102}));
    EXPECT_EQ(bins[1].GetArticles(), (Numbers{104, 106, 107}));
    EXPECT_EQ(MessageArticles(), (Numbers{103, 105}));
}

TEST_F(MatchTest, RepostsSortedTogether) {
    auto r = Match({"f.rar (1/2)", "f.rar (1/2)", "f.rar (2/2)", "f.rar (2/2)"});
    ASSERT_TRUE(r.ok);
    auto bins = Binaries();
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].GetArticles(), (Numbers{102, 103}));
    EXPECT_EQ(MessageArticles(), (Numbers{101, 104}));
}

TEST_F(MatchTest, PaddedCountersMatchUnpaddedDoNot) {
    Strings subjects;
    for (int k = 1; k <= 10; ++k) {
        subjects.push_back("g (" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "/10)");
    }
    for (int k = 1; k <= 10; ++k) subjects.push_back("h (" + std::to_string(k) + "/10)");
    auto r = Match(subjects);
    ASSERT_TRUE(r.ok);
    auto bins = Binaries();
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].GetSubject(), "g (10/10)");
    EXPECT_EQ(bins[0].PartCount(), 10u);
    EXPECT_EQ(r.msgCount, 10u);
}

TEST_F(MatchTest, RecordsWithoutCounterDoNotBreakAPost) {
    auto r = Match({"p.rar [1/2]", "p.rar comment", "k (/5)", "p.rar [2/2]"});
    ASSERT_TRUE(r.ok);
    auto bins = Binaries();
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].GetArticles(), (Numbers{101, 104}));
    EXPECT_EQ(MessageArticles(), (Numbers{102, 103}));
}

TEST_F(MatchTest, MessagesOutsideTheRangeAreDropped) {
    auto r = Match({"plain 1", "plain 2", "plain 3"}, false, 102, 102);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(MessageArticles(), (Numbers{102}));
    uint32_t first = 0, last = 0;
    test::ReadHeaderFile(Path("MSG"), &first, &last);
    EXPECT_EQ(first, 102u);
    EXPECT_EQ(last, 102u);
    test::ReadBinaryFile(Path("BIN"), &first, &last);
    EXPECT_EQ(first, 102u);
    EXPECT_EQ(last, 102u);
}

TEST_F(MatchTest, AFiveThousandCharacterSubjectScansMatchesAndLists) {
    std::string longName(5000, 'L');
    auto r = Match({"a.rar (1/2)", "a.rar (2/2)", longName + " (1/2)", longName + " (2/2)",
                    longName, "z.rar (1/1)"});
    ASSERT_TRUE(r.ok) << r.statusText;
    auto bins = Binaries();
    ASSERT_EQ(bins.size(), 3u);
    EXPECT_EQ(bins[1].GetArticles(), (Numbers{103, 104}));
    EXPECT_EQ(bins[1].GetSubject().size(), kMaxSubjectLength);
    EXPECT_EQ(bins[2].GetArticles(), (Numbers{106}));
    auto msgs = test::ReadHeaderFile(Path("MSG"));
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].GetArticle(), 105u);
    EXPECT_EQ(msgs[0].GetSubject().size(), kMaxSubjectLength);
}

TEST_F(MatchTest, DamagedHeaderRecordFailsAndLeavesNoBin) {
    test::WriteHeaderFile(Path("XOV"), 1, 1000, {Hdr{101, "a (1/1)"}, Hdr{102, "b (1/1)"}});
    WriteFileBytes(Path("BIN"), "stale");
    CHeaderFile file(Path("XOV"));
    // An offset in the middle of a record (its lengths are garbage to the reader).
    Numbers offsets{8, 8 + 4};
    auto r = MatchBinaries(locks, abortFlag, dir.Path(), "g", file, offsets, false, 1, 1000);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.statusText, "Exception Caught While Matching Parts");
    EXPECT_LT(FileSize(Path("BIN")), 0);
    EXPECT_LT(FileSize(Path("BIN.tmp")), 0);
    EXPECT_FALSE(locks.IsHeld("g"));
}

TEST_F(MatchTest, WriteFailureWithOldDataRestoresTheOldBin) {
    test::WriteBinaryFile(Path("BIN"), 1, 100, {MakeBinary("old (1/1)", {50})});
    std::string oldBin = ReadFileBytes(Path("BIN"));
    failWritesAfter = 4;
    auto r = Match({"a (1/1)"}, true);
    EXPECT_EQ(r.statusText, "Exception Caught While Matching Parts");
    EXPECT_EQ(ReadFileBytes(Path("BIN")), oldBin);
    EXPECT_LT(FileSize(Path("NEW")), 0);
    EXPECT_LT(FileSize(Path("OLD")), 0);
}

TEST_F(MatchTest, MissingBinWithOldDataCannotBeRenamed) {
    auto r = Match({"a (1/1)"}, true);
    EXPECT_EQ(r.statusText, "Error Renaming BIN to OLD");
    EXPECT_FALSE(locks.IsHeld("g"));
}

TEST_F(MatchTest, MergesWithOldBinariesAndExpiresOldOnes) {
    test::WriteBinaryFile(Path("BIN"), 1, 100,
                          {MakeBinary("b.rar (1/1)", {60}), MakeBinary("expired (1/2)", {40, 90}),
                           MakeBinary("m.rar (2/2)", {70, 71}), MakeBinary("same (1/1)", {80})});
    WriteFileBytes(Path("OLD"), "stale");
    auto r = Match({"a.rar (1/1)", "n.rar (1/1)", "same (1/1)", "plain"}, true, 50, 1000);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.newCount, 3u);
    EXPECT_EQ(r.binCount, 6u);
    auto bins = Binaries();
    Strings subjects;
    for (const auto& b : bins) subjects.push_back(b.GetSubject());
    EXPECT_EQ(subjects, (Strings{"a.rar (1/1)", "b.rar (1/1)", "m.rar (2/2)", "n.rar (1/1)",
                                 "same (1/1)", "same (1/1)"}));
    // New binaries carry the new mark; old ones lose it. New first on equal subjects.
    EXPECT_EQ(bins[0].GetFlags(), 1u);
    EXPECT_EQ(bins[1].GetFlags(), 0u);
    EXPECT_EQ(bins[4].GetArticles(), (Numbers{103}));
    EXPECT_EQ(bins[4].GetFlags(), 1u);
    EXPECT_EQ(bins[5].GetArticles(), (Numbers{80}));
    EXPECT_EQ(bins[5].GetFlags(), 0u);
    uint32_t first = 0, last = 0;
    test::ReadBinaryFile(Path("BIN"), &first, &last);
    EXPECT_EQ(first, 50u);
    EXPECT_EQ(last, 1000u);
    EXPECT_LT(FileSize(Path("NEW")), 0);
    EXPECT_LT(FileSize(Path("OLD")), 0);
    EXPECT_EQ(MessageArticles(), (Numbers{104}));
}

TEST_F(MatchTest, DamagedOldBinKeepsItsWholeRecords) {
    test::WriteBinaryFile(Path("BIN"), 1, 100,
                          {MakeBinary("b (1/1)", {60}), MakeBinary("c (1/1)", {61})});
    std::string bin = ReadFileBytes(Path("BIN"));
    WriteFileBytes(Path("BIN"), bin.substr(0, bin.size() - 3));
    auto r = Match({"d (1/1)"}, true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.binCount, 2u);
    Strings subjects;
    for (const auto& b : Binaries()) subjects.push_back(b.GetSubject());
    EXPECT_EQ(subjects, (Strings{"b (1/1)", "d (1/1)"}));
}

TEST(MergeBinaryFiles, FailsWhenAnInputIsMissing) {
    CTempDir dir;
    test::WriteBinaryFile(dir / "g.NEW", 1, 2, {});
    std::vector<uint32_t> used;
    uint32_t kept = 0;
    EXPECT_FALSE(MergeBinaryFiles(dir / "g.BIN", used, dir / "g.NEW", dir / "g.OLD", 1, kept));
    EXPECT_LT(FileSize(dir / "g.BIN"), 0);
}

TEST(GroupLock, WaitGivesUpOnAbort) {
    CNamedLocks locks;
    std::atomic<uint32_t> abortFlag{0};
    ASSERT_TRUE(locks.TryLock("g"));
    CTempDir dir;
    CHeaderFile none(dir / "g.XOV");
    auto start = std::chrono::steady_clock::now();
    auto result = std::async(std::launch::async, [&] {
        return MatchBinaries(locks, abortFlag, dir.Path(), "g", none, {}, false, 1, 2);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    abortFlag = 1;
    ScanStepResult r = result.get();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(r.statusText, "Aborted");
    EXPECT_TRUE(locks.IsHeld("g"));  // still the other holder's
    EXPECT_LT(FileSize(dir / "g.BIN"), 0);

    // An abort flag already set gives up even when the lock is free.
    locks.Unlock("g");
    EXPECT_FALSE(WaitForGroupLock(locks, "g", abortFlag));
    EXPECT_FALSE(locks.IsHeld("g"));
}

TEST(GroupLock, WaitTakesTheLockOnceItIsFree) {
    CNamedLocks locks;
    std::atomic<uint32_t> abortFlag{0};
    ASSERT_TRUE(locks.TryLock("g"));
    auto waiter =
        std::async(std::launch::async, [&] { return WaitForGroupLock(locks, "g", abortFlag); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    locks.Unlock("g");
    EXPECT_TRUE(waiter.get());  // at the next try, about a second after the first
    EXPECT_TRUE(locks.IsHeld("g"));
}

}  // namespace
}  // namespace vexlo
