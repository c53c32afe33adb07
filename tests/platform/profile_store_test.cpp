#include "platform/profile_store.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class ProfileStoreTest : public ::testing::Test {
  protected:
    test::CTempDir dir;
    std::string path = dir / "_SETUP.INI";
};

TEST_F(ProfileStoreTest, WritingOneKeyKeepsEverythingElseOfTheFile) {
    WriteFileBytes(path,
                   "; written by hand\n[GroupBar-SCBar-123]\nsizeHorzCX=200\n\n"
                   "[Settings]\nServer=news.example.com\nPort=119\n\n[History]\nByteRECV=42\n");
    CProfileStore profile(path);
    ASSERT_TRUE(profile.WriteProfileInt("Settings", "Port", 563));
    ASSERT_TRUE(profile.WriteProfileString("Settings", "User", "joe"));
    ASSERT_TRUE(profile.WriteProfileString("QueueBar-SCBar-125", "sizeVertCY", "90"));
    // A new key goes after its section's last key, before the blank line.
    EXPECT_EQ(ReadFileBytes(path),
              "; written by hand\r\n[GroupBar-SCBar-123]\r\nsizeHorzCX=200\r\n\r\n"
              "[Settings]\r\nServer=news.example.com\r\nPort=563\r\nUser=joe\r\n\r\n"
              "[History]\r\nByteRECV=42\r\n\r\n[QueueBar-SCBar-125]\r\nsizeVertCY=90\r\n");
}

TEST_F(ProfileStoreTest, ReadsValuesTheWayTheWindowsProfileDoes) {
    // Either line end, no final one, and an editor's UTF-8 mark all read.
    for (const char* start : {"[settings]\n", "\xEF\xBB\xBF[settings]\r\n"}) {
        WriteFileBytes(path, std::string(start) +
                                 "  SERVER =  news.example.com  \r\nPass=\"  secret  \"\r\n"
                                 "AppTitle=a=b=c\r\nUser=\r\n; Port=1\r\nConn = 3 channels\r\n"
                                 "Retries=-12\nQuote=\"half\r\n[Other]\r\nPort=9");
        CProfileStore profile(path);
        SCOPED_TRACE(start);
        EXPECT_EQ(profile.GetProfileString("Settings", "server", "-"), "news.example.com");
        EXPECT_EQ(profile.GetProfileString("SETTINGS", "Pass", "-"), "  secret  ");
        EXPECT_EQ(profile.GetProfileString("Settings", "AppTitle", "-"), "a=b=c");
        EXPECT_EQ(profile.GetProfileString("Settings", "User", "-"), "");
        EXPECT_EQ(profile.GetProfileString("Settings", "Quote", "-"), "\"half");
        EXPECT_EQ(profile.GetProfileInt("Settings", "Conn", 1), 3);
        EXPECT_EQ(profile.GetProfileInt("Settings", "Retries", 99), -12);
        EXPECT_EQ(profile.GetProfileInt("Settings", "User", 7), 0);  // present but empty
        // A commented key and a key of the next section do not belong to the section.
        EXPECT_EQ(profile.GetProfileInt("Settings", "Port", 119), 119);
        EXPECT_EQ(profile.GetProfileInt("Other", "Port", 119), 9);
    }
}

TEST_F(ProfileStoreTest, AwkwardValuesComeBackAsWrittenAndLineBreaksAreRefused) {
    const std::string values[] = {"  lead", "trail\t", "\"quoted\"", "\"\"", "a=b",
                                  "\"",     "; x",     "[x]",        ""};
    CProfileStore writer(path);
    for (size_t i = 0; i < std::size(values); ++i)
        ASSERT_TRUE(writer.WriteProfileString("S", "K" + std::to_string(i), values[i]));
    // A line break would inject foreign keys or sections into the file.
    EXPECT_FALSE(writer.WriteProfileString("S", "K0", "x\r\n[Settings]\r\nConn=9") ||
                 writer.WriteProfileString("S", "K0", "x\ny"));
    CProfileStore profile(path);  // what the file holds
    for (size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(profile.GetProfileString("S", "K" + std::to_string(i), "-"), values[i]);
    EXPECT_EQ(profile.Section("S").size(), std::size(values));
    EXPECT_TRUE(profile.Section("Settings").empty());
}

TEST_F(ProfileStoreTest, BatchesWriteOnceAndAFailedWriteLeavesTheOldFileWholeTillTheNext) {
    CProfileStore profile(path);
    {
        CProfileBatch outer(profile);
        EXPECT_TRUE(profile.WriteProfileString("Settings", "Server", "b"));
        {
            CProfileBatch inner(profile);
            EXPECT_TRUE(profile.WriteProfileInt("History", "ByteRECV", 7));
        }
        EXPECT_EQ(FileSize(path), -1);  // the inner end does not write
    }
    const std::string before = ReadFileBytes(path);
    EXPECT_EQ(CProfileStore(path).GetProfileInt("History", "ByteRECV", 0), 7);
    testing::FailWritesAfter(12);  // the disk fills up part-way through the new version
    EXPECT_FALSE(profile.WriteProfileString("Settings", "AppTitle", "a long title"));
    profile.BeginBatch();
    profile.WriteProfileString("Settings", "Server", "c");
    EXPECT_FALSE(profile.EndBatch());
    testing::FailWritesAfter(-1);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(FileSize(path + ".tmp"), -1);
    ASSERT_TRUE(profile.WriteProfileInt("Settings", "Port", 1));  // the next write catches up
    CProfileStore after(path);
    EXPECT_EQ(after.GetProfileString("Settings", "Server", ""), "c");
    EXPECT_EQ(after.GetProfileString("Settings", "AppTitle", ""), "a long title");
}

}  // namespace
}  // namespace vexlo
