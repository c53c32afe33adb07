#include "decode/output_file.h"

#include <gtest/gtest.h>

#include <string>

#include "decode/file_utils.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using Mode = COutputFile::OpenMode;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::string Bytes(size_t n, char first) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 50);
    return s;
}

bool Put(COutputFile& out, const std::string& s) {
    return out.Write(s.data(), s.size());
}

class OutputFileTest : public ::testing::Test {
  protected:
    void TearDown() override { testing::FailWritesAfter(-1); }
    test::CTempDir dir_;
    std::string path_ = dir_ / "out.bin";
};

TEST_F(OutputFileTest, GathersBlocksAndKeepsThemInPlaceThroughTruncateAndSeekTo) {
    const std::string a = Bytes(40, 'a'), b = Bytes(40, 'b'), big = Bytes(100, 'A');
    COutputFile out(64);
    ASSERT_TRUE(out.Open(path_, Mode::Create));
    ASSERT_TRUE(Put(out, a));
    EXPECT_EQ(FileSize(path_), 0);  // still gathered
    ASSERT_TRUE(Put(out, b));       // no room: the first goes out as a block
    EXPECT_EQ(FileSize(path_), 40);
    EXPECT_EQ(out.BytesWritten(), 80);
    ASSERT_TRUE(out.Truncate(50));  // drops gathered bytes only
    EXPECT_EQ(out.BytesWritten(), 50);
    EXPECT_FALSE(out.Truncate(51));  // cannot grow
    ASSERT_TRUE(Put(out, big));      // larger than the buffer: written directly
    EXPECT_EQ(ReadFileBytes(path_), a + b.substr(0, 10) + big);
    ASSERT_TRUE(Put(out, "zz"));
    ASSERT_TRUE(out.Truncate(30));  // below what is on disk
    ASSERT_TRUE(Put(out, "tail"));  // continues at 30: no hole, no old bytes
    // A part from further on first, then one gathered below the end.
    ASSERT_TRUE(out.SeekTo(40) && Put(out, "later"));
    EXPECT_EQ(out.BytesWritten(), 45);
    ASSERT_TRUE(out.SeekTo(0) && Put(out, "first"));
    EXPECT_EQ(out.BytesWritten(), 45);
    ASSERT_TRUE(out.Truncate(42));  // keeps the gathered bytes below the cut
    ASSERT_TRUE(Put(out, "!"));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFileBytes(path_),
              "first" + a.substr(5, 25) + "tail" + std::string(6, '\0') + "la!");
}

TEST_F(OutputFileTest, OpenModesAndASecondWriter) {
    WriteFileBytes(path_, "old content");
    COutputFile out, second;
    ASSERT_TRUE(out.Open(path_, Mode::OpenExisting));
    EXPECT_EQ(out.BytesWritten(), 11);
    ASSERT_TRUE(Put(out, "+new") && out.Flush());
    EXPECT_FALSE(second.Open(path_, Mode::Create));  // destroys nothing
    EXPECT_FALSE(second.Open(path_, Mode::OpenExisting));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFileBytes(path_), "old content+new");
    ASSERT_TRUE(out.Open(path_, Mode::Create));  // cuts the old file
    EXPECT_EQ(FileSize(path_), 0);
    for (const auto& [path, mode] : {std::pair{dir_ / "missing", Mode::OpenExisting},
                                     {dir_.Path(), Mode::Create},
                                     {dir_ / "no/such/dir", Mode::Create}})
        EXPECT_FALSE(out.Open(path, mode)) << path;
    EXPECT_FALSE(FileExists(dir_ / "missing"));
    EXPECT_FALSE(Put(out, "x"));  // not open
    EXPECT_FALSE(out.Flush());
    EXPECT_TRUE(out.Close());
}

TEST_F(OutputFileTest, AFullDiskFailsEveryCallUntilReopened) {
    COutputFile out(64);
    ASSERT_TRUE(out.Open(path_, Mode::Create));
    testing::FailWritesAfter(100);
    int lines = 0;
    while (lines < 10 && Put(out, Bytes(45, 'a'))) ++lines;
    EXPECT_LT(lines, 10);
    EXPECT_FALSE(Put(out, "x"));
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Truncate(0));
    EXPECT_FALSE(out.Close());

    testing::FailWritesAfter(-1);
    ASSERT_TRUE(out.Open(path_, Mode::Create));
    ASSERT_TRUE(Put(out, Bytes(45, 'a')));
    testing::FailWritesAfter(10);  // the gathered bytes do not fit on flush
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Close());
}

}  // namespace
}  // namespace vexlo
