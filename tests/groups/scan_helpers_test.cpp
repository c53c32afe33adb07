#include "groups/scan_helpers.h"

#include <gtest/gtest.h>

#include "group_test_files.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::Hdr;
using test::ReadFileBytes;
using test::U32Bytes;
using test::WriteFileBytes;

TEST(SplitOverviewLine, NeedsEightTabs) {
    OverviewFields f;
    // The standard eight fields without a trailing TAB are refused.
    EXPECT_FALSE(SplitOverviewLine("1\tsubj\tfrom\tdate\t<id>\trefs\t100\t7", f));
    ASSERT_TRUE(SplitOverviewLine("1\tsubj\tfrom\tdate\t<id>\trefs\t100\t7\tXref: a:1", f));
    EXPECT_EQ(f[0], "1");
    EXPECT_EQ(f[1], "subj");
    EXPECT_EQ(f[2], "from");
    EXPECT_EQ(f[4], "<id>");
    EXPECT_EQ(f[5], "refs");
    EXPECT_EQ(f[6], "100");
    EXPECT_EQ(f[7], "7");
    EXPECT_EQ(f[8], "Xref: a:1");
    // A trailing TAB makes an empty ninth field; more TABs stay in field 8.
    ASSERT_TRUE(SplitOverviewLine("1\ts\tf\td\ti\tr\t1\t2\t", f));
    EXPECT_EQ(f[8], "");
    ASSERT_TRUE(SplitOverviewLine("1\ts\tf\td\ti\tr\t1\t2\tx\ty", f));
    EXPECT_EQ(f[8], "x\ty");
    // The line ends at a NUL.
    std::string withNul("1\ts\tf\td\ti\tr\t1\t2", 16);
    withNul += std::string("\0\tx", 3);
    EXPECT_FALSE(SplitOverviewLine(withNul, f));
}

TEST(FindInSortedList, FindsTheFirstEqualEntry) {
    std::vector<uint32_t> list{3, 5, 5, 5, 9, 4000000000u};
    EXPECT_EQ(FindInSortedList(list, 5), 1);
    EXPECT_EQ(FindInSortedList(list, 3), 0);
    EXPECT_EQ(FindInSortedList(list, 4000000000u), 5);
    EXPECT_EQ(FindInSortedList(list, 4), -1);
    EXPECT_EQ(FindInSortedList(list, 10), -1);
    EXPECT_EQ(FindInSortedList({}, 1), -1);
}

TEST(GetScanRange, NeedsBothFilesWithEqualHeaders) {
    CTempDir dir;
    uint32_t first = 0, last = 0;
    std::string msg = dir / "g.MSG", bin = dir / "g.BIN";
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last));
    WriteFileBytes(msg, U32Bytes(3000) + U32Bytes(4233));
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last));  // only one file
    WriteFileBytes(bin, U32Bytes(3000) + U32Bytes(4234));
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last));  // headers differ
    WriteFileBytes(bin, U32Bytes(3000) + U32Bytes(42));
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last));
    WriteFileBytes(bin, U32Bytes(3000) + std::string("\x93\x10", 2));
    EXPECT_FALSE(GetScanRange(dir.Path(), "g", first, last));  // short header
    WriteFileBytes(bin, U32Bytes(3000) + U32Bytes(4233) + "records");
    // The data directory may lack its final "/".
    std::string noSlash = dir.Path().substr(0, dir.Path().size() - 1);
    ASSERT_TRUE(GetScanRange(noSlash, "g", first, last));
    EXPECT_EQ(first, 3000u);
    EXPECT_EQ(last, 4233u);
}

TEST(LoadNumbers, SortedAndStopAtDamage) {
    CTempDir dir;
    test::WriteHeaderFile(dir / "g.MSG", 1, 100,
                          {Hdr{50, "b"}, Hdr{7, "c"}, Hdr{30, "d"}, Hdr{99, "e"}});
    std::string msg = ReadFileBytes(dir / "g.MSG");
    std::vector<uint32_t> list{1000};
    LoadMessageNumbers(dir.Path(), "g", list);
    EXPECT_EQ(list, (std::vector<uint32_t>{7, 30, 50, 99, 1000}));

    // Cut inside the last record: the three whole ones.
    WriteFileBytes(dir / "g.MSG", msg.substr(0, msg.size() - 2));
    list.clear();
    LoadMessageNumbers(dir.Path(), "g", list);
    EXPECT_EQ(list, (std::vector<uint32_t>{7, 30, 50}));

    // Garbage lengths in the second record: only the first.
    std::string garbled = msg;
    size_t second = 8 + kHeaderFixedSize + 1 + 22 + 16;
    garbled.replace(second + 20, 4, U32Bytes(0x7FFFFFFF));
    WriteFileBytes(dir / "g.MSG", garbled);
    list.clear();
    LoadMessageNumbers(dir.Path(), "g", list);
    EXPECT_EQ(list, (std::vector<uint32_t>{50}));

    // Missing file: the list is only sorted.
    list = {3, 1, 2};
    LoadMessageNumbers(dir.Path(), "none", list);
    EXPECT_EQ(list, (std::vector<uint32_t>{1, 2, 3}));

    test::WriteBinaryFile(dir / "g.BIN", 1, 100,
                          {test::MakeBinary("a (1/2)", {20, 10}), test::MakeBinary("b", {5})});
    list.clear();
    LoadBinaryNumbers(dir.Path(), "g", list);
    EXPECT_EQ(list, (std::vector<uint32_t>{5, 10, 20}));

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
    std::string xov = dir / "g.XOV";
    uint32_t hs = 0, he = 0, fa = 0, la = 0;
    EXPECT_FALSE(GetOverviewResumeInfo(xov, hs, he, fa, la));  // missing

    test::WriteHeaderFile(xov, 4133, 5000, {Hdr{4133, "a"}, Hdr{4200, "b"}, Hdr{4500, "c"}});
    std::string whole = ReadFileBytes(xov);
    WriteFileBytes(xov, whole + whole.substr(8, 30));  // a fourth record cut short
    ASSERT_TRUE(GetOverviewResumeInfo(xov, hs, he, fa, la));
    EXPECT_EQ(hs, 4133u);
    EXPECT_EQ(he, 5000u);
    EXPECT_EQ(fa, 4133u);
    EXPECT_EQ(la, 4500u);
    EXPECT_EQ(ReadFileBytes(xov), whole);

    // A damaged tail (impossible lengths) is cut the same way.
    WriteFileBytes(xov, whole + std::string(40, '\xFF'));
    ASSERT_TRUE(GetOverviewResumeInfo(xov, hs, he, fa, la));
    EXPECT_EQ(ReadFileBytes(xov), whole);

    // A file without one whole record, or without a whole header, is deleted.
    WriteFileBytes(xov, whole.substr(0, 8 + 20));
    EXPECT_FALSE(GetOverviewResumeInfo(xov, hs, he, fa, la));
    EXPECT_LT(FileSize(xov), 0);
    WriteFileBytes(xov, whole.substr(0, 5));
    EXPECT_FALSE(GetOverviewResumeInfo(xov, hs, he, fa, la));
    EXPECT_LT(FileSize(xov), 0);
}

}  // namespace
}  // namespace vexlo
