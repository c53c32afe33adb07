// The file steps of a scan: what is left of a scan before (the stored range,
// the known article numbers, a .XOV to continue) and the end of a scan.
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
    // The range of the group's .MSG/.BIN pair; (0, 0) when there is no
    // consistent pair. The data directory may be named without its final "/".
    std::pair<uint32_t, uint32_t> ScanRange(bool slash = true) {
        uint32_t f = 0, l = 0;
        const std::string data = dir.Path().substr(0, dir.Path().size() - !slash);
        if (!GetScanRange(data, "g", f, l)) return {0, 0};
        return {f, l};
    }

    CNamedLocks locks;
    std::atomic<uint32_t> abortFlag{0};
    Numbers states;
};

// How the steps fit together is the scan tests' job (peer, real server,
// interrupted); here the progress states and a damaged .XOV.
TEST_F(ScanFinishTest, StatesAndADamagedXov) {
    // A cut last record: the whole ones are used.
    WriteHeaderFile(Path("XOV"), 1, 9, {Hdr{1, "a (1/1)"}, Hdr{2, "b (1/1)"}, Hdr{3, "c"}});
    std::string xov = ReadFileBytes(Path("XOV"));
    WriteFileBytes(Path("XOV"), xov.substr(0, xov.size() - 4));
    auto r = Finish({}, 1, 9);
    ASSERT_TRUE(r.ok) << r.statusText;
    EXPECT_EQ(r.statusText, "Newsgroup Scanned Successfully");
    EXPECT_EQ(states, (Numbers{kProgressSorting, kProgressMerging, kProgressMatching}));
    EXPECT_EQ(Counts(r), (Numbers{2, 2, 0}));
    EXPECT_LT(FileSize(Path("XOV")), 0);
    EXPECT_EQ(ScanRange(), std::pair(1u, 9u));
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

TEST_F(ScanFinishTest, ScanRangeNeedsBothFilesWithEqualHeaders) {
    WriteFileBytes(Path("MSG"), U32Bytes(3000) + U32Bytes(4233));
    EXPECT_EQ(ScanRange(), std::pair(0u, 0u));  // only one file
    for (const std::string& bin : {U32Bytes(3000) + U32Bytes(4234), U32Bytes(3000) + U32Bytes(42),
                                   U32Bytes(3000) + std::string("\x93\x10", 2)}) {
        WriteFileBytes(Path("BIN"), bin);
        EXPECT_EQ(ScanRange(), std::pair(0u, 0u)) << bin.size();
    }
    WriteFileBytes(Path("BIN"), U32Bytes(3000) + U32Bytes(4233) + "records");
    EXPECT_EQ(ScanRange(false), std::pair(3000u, 4233u));
}

TEST_F(ScanFinishTest, OverviewResumeCutsAPartialRecordAndKeepsTheWholeOnes) {
    const std::string xov = Path("XOV");
    uint32_t hs = 0, he = 0, fa = 0, la = 0;
    EXPECT_FALSE(GetOverviewResumeInfo(xov, hs, he, fa, la));  // missing
    WriteHeaderFile(xov, 4133, 5000, {Hdr{4133, "a"}, Hdr{4200, "b"}, Hdr{4500, "c"}});
    const std::string whole = ReadFileBytes(xov);
    // A fourth record cut short, or a damaged tail (impossible lengths), is cut off.
    for (const std::string& tail : {whole.substr(8, 30), std::string(40, '\xFF')}) {
        WriteFileBytes(xov, whole + tail);
        ASSERT_TRUE(GetOverviewResumeInfo(xov, hs, he, fa, la));
        EXPECT_EQ(Numbers({hs, he, fa, la}), (Numbers{4133, 5000, 4133, 4500}));
        EXPECT_EQ(ReadFileBytes(xov), whole);
    }
    // A file without one whole record, or without a whole header, is deleted.
    for (size_t size : {8 + 20, 5}) {
        WriteFileBytes(xov, whole.substr(0, size));
        EXPECT_FALSE(GetOverviewResumeInfo(xov, hs, he, fa, la));
        EXPECT_LT(FileSize(xov), 0);
    }
}

}  // namespace
}  // namespace vexlo
