#include "decode/file_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::WriteFileBytes;

TEST(FileUtils, TrailingSeparator) {
    std::string path = "/dl/new";
    SetTrailingBackslash(true, path);
    EXPECT_EQ(path, "/dl/new/");
    SetTrailingBackslash(true, path);
    EXPECT_EQ(path, "/dl/new/");
    SetTrailingBackslash(false, path);
    EXPECT_EQ(path, "/dl/new");
    SetTrailingBackslash(false, path);
    EXPECT_EQ(path, "/dl/new");

    std::string empty;
    SetTrailingBackslash(true, empty);
    EXPECT_EQ(empty, "/");
    SetTrailingBackslash(false, empty);
    EXPECT_EQ(empty, "");
}

TEST(FileUtils, CountAndFindChar) {
    EXPECT_EQ(CountChar("/a/b/", '/'), 3);
    EXPECT_EQ(CountChar("", '/'), 0);
    EXPECT_EQ(FindNthChar("/a/b/", '/', 1), 0);
    EXPECT_EQ(FindNthChar("/a/b/", '/', 3), 4);
    EXPECT_EQ(FindNthChar("/a/b/", '/', 4), -1);  // fewer occurrences
    EXPECT_EQ(FindNthChar("/a/b/", '/', 0), -1);
    EXPECT_EQ(FindNthChar("/a/b/", '/', -2), -1);
    EXPECT_EQ(FindNthChar("", '/', 1), -1);
    EXPECT_EQ(FindNthChar("abc", '/', 1), -1);
}

TEST(FileUtils, PathLevels) {
    EXPECT_EQ(CountPathLevels("/"), 1);
    EXPECT_EQ(CountPathLevels("/dl/new/sub"), 4);  // a trailing "/" is counted as if present
    EXPECT_EQ(CountPathLevels("/dl/new/sub/"), 4);
    EXPECT_EQ(CountPathLevels("dl"), 1);
    EXPECT_EQ(CountPathLevels(""), 1);  // "" is treated as "/"

    std::string out;
    ASSERT_TRUE(GetPathLevel("/dl/new/sub", 1, out));
    EXPECT_EQ(out, "/");
    ASSERT_TRUE(GetPathLevel("/dl/new/sub", 3, out));
    EXPECT_EQ(out, "/dl/new/");
    ASSERT_TRUE(GetPathLevel("/dl/new/sub", 4, out));
    EXPECT_EQ(out, "/dl/new/sub/");
    ASSERT_TRUE(GetPathLevel("dl/new", 1, out));
    EXPECT_EQ(out, "dl/");

    out = "untouched";
    EXPECT_FALSE(GetPathLevel("/dl/new/sub", 5, out));
    EXPECT_FALSE(GetPathLevel("/dl/new/sub", 0, out));
    EXPECT_EQ(out, "untouched");
}

TEST(FileUtils, FileAndDirectoryAreTellApart) {
    CTempDir dir;
    WriteFileBytes(dir / "x.zip", "data");
    WriteFileBytes(dir / "empty", "");

    EXPECT_TRUE(FileExists(dir / "x.zip"));
    EXPECT_TRUE(FileExists(dir / "empty"));
    EXPECT_FALSE(FileExists(dir / "missing"));
    EXPECT_FALSE(FileExists(dir.Path()));  // a directory is not a file
    EXPECT_FALSE(FileExists(""));

    EXPECT_TRUE(DirectoryExists(dir.Path()));
    std::string noSlash = dir.Path();
    SetTrailingBackslash(false, noSlash);
    EXPECT_TRUE(DirectoryExists(noSlash));
    EXPECT_FALSE(DirectoryExists(dir / "x.zip"));
    EXPECT_FALSE(DirectoryExists(dir / "missing"));
    EXPECT_FALSE(DirectoryExists(""));
}

TEST(FileUtils, FileExistsDoesNotWaitOnANamedPipe) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_TRUE(FileExists(dir / "pipe"));  // returns at once instead of blocking
}

TEST(FileUtils, CreatesNestedLevels) {
    CTempDir dir;
    ASSERT_TRUE(CreateDirectoryPath(dir / "dl"));
    // dl exists, new and new/sub don't: both are made, in order.
    EXPECT_TRUE(CreateDirectoryPath(dir / "dl/new/sub"));
    EXPECT_TRUE(DirectoryExists(dir / "dl/new/"));
    EXPECT_TRUE(DirectoryExists(dir / "dl/new/sub/"));
    // With a trailing separator, and again when everything is there.
    EXPECT_TRUE(CreateDirectoryPath(dir / "a/b/c/"));
    EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
    EXPECT_TRUE(CreateDirectoryPath(dir / "a/b/c/"));
}

TEST(FileUtils, CreateFailsWhenAFileIsInTheWay) {
    CTempDir dir;
    WriteFileBytes(dir / "file", "x");
    EXPECT_FALSE(CreateDirectoryPath(dir / "file"));      // the last level is a file
    EXPECT_FALSE(CreateDirectoryPath(dir / "file/sub"));  // a middle level is a file
    EXPECT_TRUE(FileExists(dir / "file"));
}

}  // namespace
}  // namespace vexlo
