#include "decode/file_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
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
    EXPECT_EQ(CountChar("/a/b/", '/'), 3);
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

}  // namespace
}  // namespace vexlo
