#include "platform/file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;
using Mode = CFile::Mode;

TEST(File, OpenModesAFullDiskThatWritesWhatFitsAndAtomicReplacement) {
    test::CTempDir dir;
    std::string path = dir / "f";
    CFile f;
    // Nothing there yet, and a directory is no file.
    EXPECT_FALSE(f.Open(path, Mode::Read) || f.Open(path, Mode::ReadWriteExisting) ||
                 f.Open(dir.Path(), Mode::Read));
    ASSERT_TRUE(f.Open(path, Mode::CreateExclusive) && f.Write("abcdef", 6));
    EXPECT_FALSE(f.Open(path, Mode::CreateExclusive));
    // CreateReadWrite neither truncates nor appends; Append does.
    ASSERT_TRUE(f.Open(path, Mode::CreateReadWrite) && f.Write("XY", 2));
    ASSERT_TRUE(f.Open(path, Mode::Append) && f.Write("!", 1));
    f.Close();
    EXPECT_EQ(ReadFileBytes(path), "XYcdef!");
    ASSERT_TRUE(f.Open(path, Mode::CreateTruncate));
    EXPECT_EQ(f.Size(), 0);

    testing::FailWritesAfter(5);
    EXPECT_TRUE(f.Write("abc", 3));
    EXPECT_FALSE(f.Write("defg", 4));  // "de" still fits, as on a real full disk
    EXPECT_FALSE(f.Write("h", 1));
    testing::FailWritesAfter(-1);
    EXPECT_TRUE(f.Write("i", 1));
    f.Close();
    EXPECT_EQ(ReadFileBytes(path), "abcdei");

    // An atomic file: only a commit replaces the old version.
    path = dir / "_QUEUE.DAT";
    WriteFileBytes(path, "old contents");
    {
        CAtomicFile file(path);
        ASSERT_TRUE(file.Open());
        testing::FailWritesAfter(3);
        EXPECT_FALSE(file.Write("new contents", 12));
        testing::FailWritesAfter(-1);
        EXPECT_FALSE(file.Write("more", 4) || file.Commit());  // a failed file stays failed
    }
    {
        CAtomicFile file(path);  // a crash or an early return before the commit
        ASSERT_TRUE(file.Open() && file.Write("new", 3));
    }
    EXPECT_EQ(ReadFileBytes(path), "old contents");
    EXPECT_EQ(FileSize(path + ".tmp"), -1);
    CAtomicFile file(path);
    ASSERT_TRUE(file.Open() && file.Write("new", 3) && file.Commit());
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_FALSE(CAtomicFile(dir / "missing/x").Open());
}

}  // namespace
}  // namespace vexlo
