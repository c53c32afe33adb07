// The file side below the writer: path helpers, what exists on disk and
// creating directories level by level; the output file that gathers lines
// into blocks, keeps them in place through truncate and seek, refuses a second
// writer and fails every call once the disk is full.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "decode/file_utils.h"
#include "decode/output_file.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

namespace vexlo {
namespace {

using test::CTempDir;
using Mode = COutputFile::OpenMode;
using test::RandomBytes;
using test::ReadFileBytes;
using test::WriteFileBytes;

TEST(FileUtils, TrailingSeparatorCountsAndPathLevels) {
    for (const auto& [in, add, out] : {std::tuple{"/dl/new", true, "/dl/new/"},
                                       {"/dl/new/", true, "/dl/new/"},
                                       {"/dl/new/", false, "/dl/new"},
                                       {"", true, "/"},
                                       {"", false, ""}}) {
        std::string path = in;
        SetTrailingBackslash(add, path);
        EXPECT_EQ(path, out) << in << " " << add;
    }
    EXPECT_EQ(FindNthChar("/a/b/", '/', 3), 4);
    for (int n : {4, 0, -2}) EXPECT_EQ(FindNthChar("/a/b/", '/', n), -1) << n;

    // A missing trailing "/" counts as if present; "" is "/".
    for (const auto& [path, levels] :
         {std::pair{"/", 1}, {"/dl/new/sub", 4}, {"/dl/new/sub/", 4}, {"dl", 1}, {"", 1}})
        EXPECT_EQ(CountPathLevels(path), levels) << path;
    for (const auto& [path, level, out] : {std::tuple{"/dl/new/sub", 1, "/"},
                                           {"/dl/new/sub", 3, "/dl/new/"},
                                           {"/dl/new/sub", 4, "/dl/new/sub/"},
                                           {"dl/new", 1, "dl/"}}) {
        std::string got;
        EXPECT_TRUE(GetPathLevel(path, level, got));
        EXPECT_EQ(got, out) << path << " " << level;
    }
    std::string out = "untouched";
    EXPECT_FALSE(GetPathLevel("/dl/new/sub", 5, out));
    EXPECT_FALSE(GetPathLevel("/dl/new/sub", 0, out));
    EXPECT_EQ(out, "untouched");
}

TEST(FileUtils, FilesAndDirectoriesAreToldApartAndCreatedLevelByLevel) {
    CTempDir dir;
    WriteFileBytes(dir / "empty", "");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    // {path, a file, a directory}; a pipe is a file at once, without waiting for a writer.
    const std::string noSlash = dir.Path().substr(0, dir.Path().size() - 1);
    for (const auto& [path, file, directory] : {std::tuple{dir / "empty", true, false},
                                                {dir / "pipe", true, false},
                                                {dir / "missing", false, false},
                                                {dir.Path(), false, true},
                                                {noSlash, false, true},
                                                {std::string(), false, false}}) {
        EXPECT_EQ(FileExists(path), file) << path;
        EXPECT_EQ(DirectoryExists(path), directory) << path;
    }

    ASSERT_TRUE(CreateDirectoryPath(dir / "dl"));
    EXPECT_TRUE(CreateDirectoryPath(dir / "dl/new/sub"));
    EXPECT_TRUE(DirectoryExists(dir / "dl/new/sub/"));
    EXPECT_TRUE(CreateDirectoryPath(dir / "dl/new/sub/"));  // all there already
    EXPECT_FALSE(CreateDirectoryPath(dir / "empty"));       // the last level is a file
    EXPECT_FALSE(CreateDirectoryPath(dir / "empty/sub"));   // a middle level is a file
    EXPECT_TRUE(FileExists(dir / "empty"));
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
    const std::string a = RandomBytes(40, 1), b = RandomBytes(40, 2), big = RandomBytes(100, 3);
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
    EXPECT_TRUE(!out.Flush() && out.Close());
}

TEST_F(OutputFileTest, AFullDiskFailsEveryCallUntilReopened) {
    COutputFile out(64);
    ASSERT_TRUE(out.Open(path_, Mode::Create));
    testing::FailWritesAfter(100);
    int lines = 0;
    while (lines < 10 && Put(out, RandomBytes(45, 4))) ++lines;
    EXPECT_LT(lines, 10);
    EXPECT_FALSE(Put(out, "x"));
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Truncate(0));
    EXPECT_FALSE(out.Close());

    testing::FailWritesAfter(-1);
    ASSERT_TRUE(out.Open(path_, Mode::Create));
    ASSERT_TRUE(Put(out, RandomBytes(45, 4)));
    testing::FailWritesAfter(10);  // the gathered bytes do not fit on flush
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Close());
}

}  // namespace
}  // namespace vexlo
