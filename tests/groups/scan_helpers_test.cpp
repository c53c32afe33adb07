#include "groups/scan_helpers.h"

#include "group_test_files.h"

namespace vexlo {
namespace {

using namespace test;

TEST(GetScanRange, NeedsBothFilesWithEqualHeaders) {
    CTempDir dir;
    uint32_t first = 0, last = 0;
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last));
    WriteFileBytes(dir / "g.MSG", U32Bytes(3000) + U32Bytes(4233));
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last));  // only one file
    for (const std::string& bin : {U32Bytes(3000) + U32Bytes(4234), U32Bytes(3000) + U32Bytes(42),
                                   U32Bytes(3000) + std::string("\x93\x10", 2)}) {
        WriteFileBytes(dir / "g.BIN", bin);
        EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last)) << bin.size();
    }
    WriteFileBytes(dir / "g.BIN", U32Bytes(3000) + U32Bytes(4233) + "records");
    // The data directory may lack its final "/".
    ASSERT_TRUE(GetScanRange(dir.Path().substr(0, dir.Path().size() - 1), "g", first, last));
    EXPECT_EQ(first, 3000u);
    EXPECT_EQ(last, 4233u);
}

TEST(LoadNumbers, SortedAndStopAtDamage) {
    CTempDir dir;
    WriteHeaderFile(dir / "g.MSG", 1, 100, {Hdr{50, "b"}, Hdr{7, "c"}, Hdr{30, "d"}, Hdr{99, "e"}});
    const std::string msg = ReadFileBytes(dir / "g.MSG");
    std::string garbled = msg;  // garbage lengths in the second record
    garbled.replace(8 + kHeaderFixedSize + 1 + 22 + 16 + 20, 4, U32Bytes(0x7FFFFFFF));
    for (const auto& [bytes, want] : {std::pair{msg, Numbers{7, 30, 50, 99}},
                                      {msg.substr(0, msg.size() - 2), {7, 30, 50}},
                                      {garbled, {50}}}) {
        WriteFileBytes(dir / "g.MSG", bytes);
        Numbers list;
        LoadMessageNumbers(dir.Path(), "g", list);
        EXPECT_EQ(list, want);
    }
    // The numbers are added to the list, which is sorted even without a file.
    Numbers list{3, 1000, 2};
    LoadMessageNumbers(dir.Path(), "none", list);
    EXPECT_EQ(list, (Numbers{2, 3, 1000}));

    WriteBinaryFile(dir / "g.BIN", 1, 100, {MakeBinary("a (1/2)", {20, 10}), MakeBinary("b", {5})});
    LoadBinaryNumbers(dir.Path(), "g", list);
    EXPECT_EQ(list, (Numbers{2, 3, 5, 10, 20, 1000}));
    // A part count far beyond the file's size ends the reading, nothing is allocated.
    std::string bin = ReadFileBytes(dir / "g.BIN");
    bin.replace(8 + 4, 4, U32Bytes(0x40000000));
    WriteFileBytes(dir / "g.BIN", bin);
    list.clear();
    LoadBinaryNumbers(dir.Path(), "g", list);
    EXPECT_TRUE(list.empty());
}

TEST(GetOverviewResumeInfo, CutsAPartialRecordAndKeepsTheWholeOnes) {
    CTempDir dir;
    const std::string xov = dir / "g.XOV";
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
