#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

TEST(File, OpenModesKeepOrReplaceWhatIsThere) {
    CTempDir dir;
    std::string path = dir / "f";
    CFile f;
    EXPECT_FALSE(f.Open(path, CFile::Mode::Read));
    EXPECT_FALSE(f.Open(path, CFile::Mode::ReadWriteExisting));
    ASSERT_TRUE(f.Open(path, CFile::Mode::CreateExclusive));
    ASSERT_TRUE(f.Write("abcdef", 6));
    f.Close();
    EXPECT_FALSE(f.Open(path, CFile::Mode::CreateExclusive));

    ASSERT_TRUE(f.Open(path, CFile::Mode::CreateReadWrite));  // not truncated, starts at 0
    ASSERT_TRUE(f.Write("XY", 2));
    f.Close();
    EXPECT_EQ(ReadFileBytes(path), "XYcdef");

    ASSERT_TRUE(f.Open(path, CFile::Mode::Append));
    ASSERT_TRUE(f.Write("!", 1));
    f.Close();
    EXPECT_EQ(ReadFileBytes(path), "XYcdef!");

    ASSERT_TRUE(f.Open(path, CFile::Mode::CreateTruncate));
    EXPECT_EQ(f.Size(), 0);
    EXPECT_FALSE(f.Open(dir.Path(), CFile::Mode::Read));  // a directory is no file
}

TEST(File, SimulatedFullDiskWritesWhatFitsThenFails) {
    CTempDir dir;
    std::string path = dir / "f";
    CFile f;
    ASSERT_TRUE(f.Open(path, CFile::Mode::CreateTruncate));
    testing::FailWritesAfter(5);
    EXPECT_TRUE(f.Write("abc", 3));
    EXPECT_FALSE(f.Write("defg", 4));
    EXPECT_FALSE(f.Write("h", 1));
    testing::FailWritesAfter(-1);
    EXPECT_TRUE(f.Write("i", 1));
    f.Close();
    EXPECT_EQ(ReadFileBytes(path), "abcdei");
}

TEST(AtomicFile, CommitReplacesAndAFailureKeepsTheOldVersion) {
    CTempDir dir;
    std::string path = dir / "_QUEUE.DAT";
    WriteFileBytes(path, "old contents");
    {
        CAtomicFile file(path);
        ASSERT_TRUE(file.Open());
        testing::FailWritesAfter(3);
        EXPECT_FALSE(file.Write("new contents", 12));
        testing::FailWritesAfter(-1);
        EXPECT_FALSE(file.Write("more", 4));  // a failed file stays failed
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(ReadFileBytes(path), "old contents");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    {
        CAtomicFile file(path);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("new", 3));
        // Not committed (a crash or an early return): the old file stays.
    }
    EXPECT_EQ(ReadFileBytes(path), "old contents");
    {
        CAtomicFile file(path);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("new", 3));
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    CAtomicFile nowhere(dir / "missing/x");
    EXPECT_FALSE(nowhere.Open());
    EXPECT_FALSE(nowhere.Commit());
}

}  // namespace
}  // namespace vexlo
