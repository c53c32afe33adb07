#include "groups/scan_finish.h"

#include <gtest/gtest.h>

#include "group_test_files.h"
#include "groups/scan_helpers.h"
#include "support/temp_dir.h"
#include "tasks/progress_table.h"

namespace vexlo {
namespace {

using test::Articles;
using test::CTempDir;
using test::Hdr;
using test::ReadFileBytes;
using test::WriteFileBytes;
using Numbers = std::vector<uint32_t>;
using Strings = std::vector<std::string>;

// A group scanned twice, the way the scan handler drives these steps.
class ScanFinishTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& ext) { return dir.Path() + "g." + ext; }

    ScanStepResult Finish(const std::vector<Hdr>& received, uint32_t first, uint32_t last) {
        uint32_t oldFirst = 0, oldLast = 0;
        bool haveData = GetScanRange(dir.Path(), "g", oldFirst, oldLast);
        std::vector<uint32_t> messageNumbers;
        if (haveData) LoadMessageNumbers(dir.Path(), "g", messageNumbers);
        if (!received.empty() || FileSize(Path("XOV")) < 0) {
            test::WriteHeaderFile(Path("XOV"), haveData ? oldLast - 100 : first, last, received);
        }
        states.clear();
        ScanFinishInput in{dir.Path(), "g", haveData, first, last, &messageNumbers};
        return FinishHeaderScan(locks, abortFlag, in, [this](uint32_t s) { states.push_back(s); });
    }

    Strings BinSubjects() {
        Strings s;
        for (const auto& b : test::ReadBinaryFile(Path("BIN"))) s.push_back(b.GetSubject());
        return s;
    }

    CTempDir dir;
    CNamedLocks locks;
    std::atomic<uint32_t> abortFlag{0};
    std::vector<uint32_t> states;
};

TEST_F(ScanFinishTest, FirstAndSecondScan) {
    // As a server delivers them: two posts interleaved, one incomplete, a message.
    auto r = Finish({Hdr{3000, "b.rar (1/2)"}, Hdr{3001, "a.rar (1/2)"}, Hdr{3002, "hello"},
                     Hdr{3003, "a.rar (2/2)"}, Hdr{3004, "c.rar (1/2)"}},
                    3000, 4233);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.statusText, "Newsgroup Scanned Successfully");
    EXPECT_EQ(states, (Numbers{kProgressSorting, kProgressMerging, kProgressMatching}));
    EXPECT_EQ(r.binCount, 1u);
    EXPECT_EQ(r.newCount, 1u);
    EXPECT_EQ(r.msgCount, 3u);
    EXPECT_LT(FileSize(Path("XOV")), 0);
    uint32_t f = 0, l = 0;
    ASSERT_TRUE(GetScanRange(dir.Path(), "g", f, l));
    EXPECT_EQ(f, 3000u);
    EXPECT_EQ(l, 4233u);
    EXPECT_EQ(Articles(test::ReadHeaderFile(Path("MSG"))), (Numbers{3000, 3004, 3002}));

    // The server moved on: the first article is now 3001, so b's part 1 (3000)
    // has expired; part 2 of b and of c arrive.
    r = Finish({Hdr{4500, "b.rar (2/2)"}, Hdr{4501, "d.gif (1/1)"}, Hdr{4502, "c.rar (2/2)"}}, 3001,
               5000);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.newCount, 2u);  // c (old part 1 + new part 2) and d
    EXPECT_EQ(r.binCount, 3u);
    EXPECT_EQ(BinSubjects(), (Strings{"a.rar (2/2)", "c.rar (2/2)", "d.gif (1/1)"}));
    auto bins = test::ReadBinaryFile(Path("BIN"));
    EXPECT_EQ(bins[0].GetFlags(), 0u);  // found by the first scan
    EXPECT_EQ(bins[1].GetFlags(), 1u);
    EXPECT_EQ(bins[1].GetArticles(), (Numbers{3004, 4502}));
    // b's lone part 2 and the message remain; b's expired part 1 is gone.
    EXPECT_EQ(Articles(test::ReadHeaderFile(Path("MSG"))), (Numbers{4500, 3002}));
    EXPECT_EQ(r.msgCount, 2u);
    EXPECT_LT(FileSize(Path("XOV")), 0);
    EXPECT_LT(FileSize(Path("XOT")), 0);
    ASSERT_TRUE(GetScanRange(dir.Path(), "g", f, l));
    EXPECT_EQ(f, 3001u);
    EXPECT_EQ(l, 5000u);
}

TEST_F(ScanFinishTest, NoNewHeadersStillRewritesTheMessages) {
    ASSERT_TRUE(Finish({Hdr{10, "x"}, Hdr{11, "y"}, Hdr{12, "z (1/1)"}}, 10, 20).ok);
    WriteFileBytes(Path("XOV"), ReadFileBytes(Path("MSG")).substr(0, 8));  // "." at once
    auto r = Finish({}, 11, 30);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(Articles(test::ReadHeaderFile(Path("MSG"))), (Numbers{11}));
    EXPECT_EQ(r.binCount, 1u);
    EXPECT_EQ(r.newCount, 0u);
}

TEST_F(ScanFinishTest, DamagedXov) {
    // A cut last record: the whole ones are used.
    test::WriteHeaderFile(Path("XOV"), 1, 9, {Hdr{1, "a (1/1)"}, Hdr{2, "b (1/1)"}});
    std::string xov = ReadFileBytes(Path("XOV"));
    WriteFileBytes(Path("XOV"), xov.substr(0, xov.size() - 4));
    auto r = Finish({}, 1, 9);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.binCount, 1u);

    // No whole file header: the scan fails and keeps the file.
    WriteFileBytes(Path("XOV"), "1234");
    r = Finish({}, 1, 9);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.statusText, "Error Reading XOVER Data File");
    EXPECT_EQ(ReadFileBytes(Path("XOV")), "1234");
}

TEST_F(ScanFinishTest, LockedGroupAndAbortKeepTheXov) {
    ASSERT_TRUE(locks.TryLock("g"));
    abortFlag = 1;
    auto r = Finish({Hdr{1, "a (1/1)"}}, 1, 9);
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(r.statusText, "Aborted");
    EXPECT_GE(FileSize(Path("XOV")), 0);
    EXPECT_LT(FileSize(Path("BIN")), 0);
}

TEST_F(ScanFinishTest, AnAbortAfterTheMergeRemovesTheMergedXov) {
    ASSERT_TRUE(Finish({Hdr{10, "m"}, Hdr{11, "z (1/1)"}, Hdr{12, "a"}}, 10, 20).ok);
    // The rescan merges, then waits for the group's lock and is aborted there.
    ASSERT_TRUE(locks.TryLock("g"));
    abortFlag = 1;
    auto r = Finish({Hdr{21, "b"}}, 10, 30);
    EXPECT_TRUE(r.aborted);
    // The merged set (old messages and new headers in subject order) is not a
    // scan's received headers: no later scan may continue it.
    EXPECT_LT(FileSize(Path("XOV")), 0);
    EXPECT_LT(FileSize(Path("XOT")), 0);
    EXPECT_LT(FileSize(Path("MSG")), 0);
    EXPECT_EQ(test::ReadBinaryFile(Path("BIN")).size(), 1u);
    uint32_t f = 0, l = 0;
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", f, l));  // the next scan starts at the first
}

}  // namespace
}  // namespace vexlo
