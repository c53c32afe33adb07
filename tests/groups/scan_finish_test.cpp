#include "groups/scan_finish.h"

#include "group_test_files.h"
#include "groups/scan_helpers.h"
#include "tasks/progress_table.h"

namespace vexlo {
namespace {

using namespace test;

// A group scanned again and again, the way the scan handler drives these steps.
class ScanFinishTest : public GroupFilesTest {
  protected:
    ScanStepResult Finish(const std::vector<Hdr>& received, uint32_t first, uint32_t last) {
        uint32_t oldFirst = 0, oldLast = 0;
        bool haveData = GetScanRange(dir.Path(), "g", oldFirst, oldLast);
        Numbers messageNumbers;
        if (haveData) LoadMessageNumbers(dir.Path(), "g", messageNumbers);
        if (!received.empty() || FileSize(Path("XOV")) < 0)
            WriteHeaderFile(Path("XOV"), haveData ? oldLast - 100 : first, last, received);
        states.clear();
        ScanFinishInput in{dir.Path(), "g", haveData, first, last, &messageNumbers};
        return FinishHeaderScan(locks, abortFlag, in, [this](uint32_t s) { states.push_back(s); });
    }
    Numbers MessageArticles() { return Articles(ReadHeaderFile(Path("MSG"))); }
    // The range of the group's .MSG/.BIN pair; (0, 0) when there is no consistent pair.
    std::pair<uint32_t, uint32_t> ScanRange() {
        uint32_t f = 0, l = 0;
        if (!GetScanRange(dir.Path(), "g", f, l)) return {0, 0};
        return {f, l};
    }

    CNamedLocks locks;
    std::atomic<uint32_t> abortFlag{0};
    Numbers states;
};

TEST_F(ScanFinishTest, FirstAndSecondScanWithExpiredArticles) {
    // As a server delivers them: two posts interleaved, one incomplete, a message.
    auto r = Finish({Hdr{3000, "b.rar (1/2)"}, Hdr{3001, "a.rar (1/2)"}, Hdr{3002, "hello"},
                     Hdr{3003, "a.rar (2/2)"}, Hdr{3004, "c.rar (1/2)"}},
                    3000, 4233);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.statusText, "Newsgroup Scanned Successfully");
    EXPECT_EQ(states, (Numbers{kProgressSorting, kProgressMerging, kProgressMatching}));
    EXPECT_EQ(Numbers({r.binCount, r.newCount, r.msgCount}), (Numbers{1, 1, 3}));
    EXPECT_EQ(MessageArticles(), (Numbers{3000, 3004, 3002}));

    // The server's first article is now 3001, so b's part 1 (3000) has
    // expired; part 2 of b and of c arrive.
    r = Finish({Hdr{4500, "b.rar (2/2)"}, Hdr{4501, "d.gif (1/1)"}, Hdr{4502, "c.rar (2/2)"}}, 3001,
               5000);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(Numbers({r.binCount, r.newCount, r.msgCount}), (Numbers{3, 2, 2}));
    auto bins = ReadBinaryFile(Path("BIN"));
    EXPECT_EQ(Subjects(bins), (Strings{"a.rar (2/2)", "c.rar (2/2)", "d.gif (1/1)"}));
    EXPECT_EQ(Flags(bins), (Numbers{0, 1, 1}));  // a was found by the first scan
    EXPECT_EQ(bins[1].GetArticles(), (Numbers{3004, 4502}));
    // b's lone part 2 and the message remain; b's expired part 1 is gone.
    EXPECT_EQ(MessageArticles(), (Numbers{4500, 3002}));
    for (const char* ext : {"XOV", "XOT"}) EXPECT_LT(FileSize(Path(ext)), 0) << ext;
    EXPECT_EQ(ScanRange(), std::pair(3001u, 5000u));
}

TEST_F(ScanFinishTest, DamagedXov) {
    // A cut last record: the whole ones are used.
    WriteHeaderFile(Path("XOV"), 1, 9, {Hdr{1, "a (1/1)"}, Hdr{2, "b (1/1)"}});
    std::string xov = ReadFileBytes(Path("XOV"));
    WriteFileBytes(Path("XOV"), xov.substr(0, xov.size() - 4));
    auto r = Finish({}, 1, 9);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.binCount, 1u);
    // No whole file header: the scan fails and keeps the file.
    WriteFileBytes(Path("XOV"), "1234");
    r = Finish({}, 1, 9);
    EXPECT_EQ(r.statusText, "Error Reading XOVER Data File");
    EXPECT_EQ(ReadFileBytes(Path("XOV")), "1234");
}

// Regression: the merge once replaced the .XOV with the merged set and deleted
// the .MSG, so a later scan took the merged set for received headers and lost
// or doubled articles. Until its commit a scan leaves the received headers and
// the old pair as they are.
TEST_F(ScanFinishTest, AnAbortAfterTheMergeKeepsTheReceivedXovAndTheOldPair) {
    ASSERT_TRUE(Finish({Hdr{10, "m"}, Hdr{11, "z (1/1)"}, Hdr{12, "a"}}, 10, 20).ok);
    const std::string bin = ReadFileBytes(Path("BIN")), msg = ReadFileBytes(Path("MSG"));
    // The rescan merges, then waits for the group's lock and is aborted there.
    ASSERT_TRUE(locks.TryLock("g"));
    abortFlag = 1;
    auto r = Finish({Hdr{21, "b"}}, 10, 30);
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(r.statusText, "Aborted");
    EXPECT_EQ(Articles(ReadHeaderFile(Path("XOV"))), Numbers{21});
    EXPECT_LT(FileSize(Path("XOT")), 0);
    EXPECT_EQ(ReadFileBytes(Path("BIN")), bin);
    EXPECT_EQ(ReadFileBytes(Path("MSG")), msg);
    EXPECT_EQ(ScanRange(), std::pair(10u, 20u));  // the next scan continues the .XOV
}

}  // namespace
}  // namespace vexlo
