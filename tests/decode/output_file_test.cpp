#include "decode/output_file.h"

#include <gtest/gtest.h>

#include <string>

#include "decode/file_utils.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
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
    CTempDir dir_;
    std::string path_ = dir_ / "out.bin";
};

TEST_F(OutputFileTest, GathersLinesIntoBlocks) {
    COutputFile out(100);
    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::Create));
    std::string expected;
    std::string line = Bytes(45, 'a');
    ASSERT_TRUE(Put(out, line));
    ASSERT_TRUE(Put(out, line));
    expected += line + line;
    EXPECT_EQ(FileSize(path_), 0);  // still gathered
    EXPECT_EQ(out.BytesWritten(), 90);
    ASSERT_TRUE(Put(out, line));  // no room: the first two go to disk as one block
    expected += line;
    EXPECT_EQ(FileSize(path_), 90);
    EXPECT_EQ(out.BytesWritten(), 135);

    ASSERT_TRUE(out.Flush());
    EXPECT_EQ(ReadFileBytes(path_), expected);
    ASSERT_TRUE(out.Flush());  // nothing gathered: no change
    EXPECT_EQ(FileSize(path_), 135);

    std::string big = Bytes(250, 'A');  // larger than the buffer: written directly
    ASSERT_TRUE(Put(out, line));
    ASSERT_TRUE(Put(out, big));
    expected += line + big;
    EXPECT_EQ(ReadFileBytes(path_), expected);
    ASSERT_TRUE(out.Close());
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(ReadFileBytes(path_), expected);
}

TEST_F(OutputFileTest, DestructorWritesWhatIsGathered) {
    {
        COutputFile out;
        ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::Create));
        ASSERT_TRUE(Put(out, "abc"));
    }
    EXPECT_EQ(ReadFileBytes(path_), "abc");
}

TEST_F(OutputFileTest, OpenModes) {
    WriteFileBytes(path_, "old content");
    COutputFile out;
    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::OpenExisting));
    EXPECT_EQ(out.BytesWritten(), 11);
    ASSERT_TRUE(Put(out, "+new"));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFileBytes(path_), "old content+new");

    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::Create));  // cuts the old file
    EXPECT_EQ(out.BytesWritten(), 0);
    EXPECT_EQ(FileSize(path_), 0);
    ASSERT_TRUE(out.Close());

    EXPECT_FALSE(out.Open(dir_ / "missing", COutputFile::OpenMode::OpenExisting));
    EXPECT_FALSE(FileExists(dir_ / "missing"));
    EXPECT_FALSE(out.Open(dir_.Path(), COutputFile::OpenMode::Create));  // a directory
    EXPECT_FALSE(out.Open(dir_ / "no/such/dir", COutputFile::OpenMode::Create));
    EXPECT_FALSE(Put(out, "x"));  // not open
    EXPECT_FALSE(out.Flush());
    EXPECT_TRUE(out.Close());
}

TEST_F(OutputFileTest, SecondWriterIsRefusedAndDestroysNothing) {
    COutputFile first;
    ASSERT_TRUE(first.Open(path_, COutputFile::OpenMode::Create));
    ASSERT_TRUE(Put(first, "first"));
    ASSERT_TRUE(first.Flush());

    COutputFile second;
    EXPECT_FALSE(second.Open(path_, COutputFile::OpenMode::Create));
    EXPECT_FALSE(second.Open(path_, COutputFile::OpenMode::OpenExisting));
    EXPECT_EQ(ReadFileBytes(path_), "first");

    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(second.Open(path_, COutputFile::OpenMode::OpenExisting));
}

TEST_F(OutputFileTest, TruncateWithinAndBelowTheBuffer) {
    COutputFile out(64);
    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::Create));
    ASSERT_TRUE(Put(out, Bytes(40, 'a')));
    ASSERT_TRUE(Put(out, Bytes(40, 'b')));  // the first 40 are on disk now
    EXPECT_EQ(FileSize(path_), 40);

    ASSERT_TRUE(out.Truncate(50));  // drops gathered bytes only
    EXPECT_EQ(out.BytesWritten(), 50);
    EXPECT_FALSE(out.Truncate(51));  // cannot grow
    ASSERT_TRUE(out.Flush());
    EXPECT_EQ(ReadFileBytes(path_), Bytes(40, 'a') + Bytes(10, 'b'));

    ASSERT_TRUE(Put(out, "zz"));
    ASSERT_TRUE(out.Truncate(30));  // below what is on disk
    EXPECT_EQ(FileSize(path_), 30);
    ASSERT_TRUE(Put(out, "tail"));  // continues at 30: no hole, no old bytes
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFileBytes(path_), Bytes(30, 'a') + "tail");
}

TEST_F(OutputFileTest, ResumeCutsBackALongerFile) {
    WriteFileBytes(path_, "part1part2-partial");
    COutputFile out;
    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::OpenExisting));
    ASSERT_TRUE(out.Truncate(10));
    ASSERT_TRUE(Put(out, "part3"));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFileBytes(path_), "part1part2part3");
}

TEST_F(OutputFileTest, FullDiskIsAFalseResult) {
    COutputFile out(64);
    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::Create));
    testing::FailWritesAfter(100);
    std::string line = Bytes(45, 'a');
    bool ok = true;
    int lines = 0;
    while (ok && lines < 10) {
        ok = Put(out, line);
        ++lines;
    }
    EXPECT_FALSE(ok);
    EXPECT_LT(lines, 10);
    // Once failed, the writer stays failed.
    EXPECT_FALSE(Put(out, "x"));
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Truncate(0));
    EXPECT_FALSE(out.Close());

    testing::FailWritesAfter(-1);
    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::Create));  // usable again
    EXPECT_TRUE(Put(out, "ok"));
    EXPECT_TRUE(out.Close());
}

TEST_F(OutputFileTest, FullDiskOnFlush) {
    COutputFile out;
    ASSERT_TRUE(out.Open(path_, COutputFile::OpenMode::Create));
    ASSERT_TRUE(Put(out, Bytes(45, 'a')));
    testing::FailWritesAfter(10);
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Close());
}

}  // namespace
}  // namespace vexlo
