#include "platform/profile_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

// Restores real writes even when a test fails half-way.
struct WriteFailureScope {
    explicit WriteFailureScope(int64_t bytes) { testing::FailWritesAfter(bytes); }
    ~WriteFailureScope() { testing::FailWritesAfter(-1); }
};

TEST(ProfileStore, WritingOneKeyKeepsEverythingElseOfTheFile) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    WriteFileBytes(path,
                   "; written by hand\n"
                   "[GroupBar-SCBar-123]\n"
                   "sizeHorzCX=200\n"
                   "\n"
                   "[Settings]\n"
                   "Server=news.example.com\n"
                   "Port=119\n"
                   "\n"
                   "[History]\n"
                   "ByteRECV=42\n");
    CProfileStore profile(path);
    ASSERT_TRUE(profile.WriteProfileInt("Settings", "Port", 563));
    ASSERT_TRUE(profile.WriteProfileString("Settings", "User", "joe"));
    ASSERT_TRUE(profile.WriteProfileString("QueueBar-SCBar-125", "sizeVertCY", "90"));

    EXPECT_EQ(ReadFileBytes(path),
              "; written by hand\r\n"
              "[GroupBar-SCBar-123]\r\n"
              "sizeHorzCX=200\r\n"
              "\r\n"
              "[Settings]\r\n"
              "Server=news.example.com\r\n"
              "Port=563\r\n"
              "User=joe\r\n"  // after the section's last key, before its blank line
              "\r\n"
              "[History]\r\n"
              "ByteRECV=42\r\n"
              "\r\n"
              "[QueueBar-SCBar-125]\r\n"
              "sizeVertCY=90\r\n");

    CProfileStore reread(path);
    EXPECT_EQ(reread.GetProfileInt("Settings", "Port", 0), 563);
    EXPECT_EQ(reread.GetProfileString("History", "ByteRECV", ""), "42");
    EXPECT_EQ(reread.GetProfileString("GroupBar-SCBar-123", "sizeHorzCX", ""), "200");
}

TEST(ProfileStore, ReadsValuesTheWayTheWindowsProfileDoes) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    WriteFileBytes(path,
                   "[settings]\r\n"
                   "  SERVER =  news.example.com  \r\n"
                   "Pass=\"  secret  \"\r\n"
                   "AppTitle=a=b=c\r\n"
                   "User=\r\n"
                   "; Port=1\r\n"
                   "Conn = 3 channels\r\n"
                   "Retries=-12\r\n"
                   "Quote=\"half\r\n"
                   "[Other]\r\n"
                   "Port=9\r\n");
    CProfileStore profile(path);
    EXPECT_EQ(profile.GetProfileString("Settings", "server", "-"), "news.example.com");
    EXPECT_EQ(profile.GetProfileString("SETTINGS", "Pass", "-"), "  secret  ");
    EXPECT_EQ(profile.GetProfileString("Settings", "AppTitle", "-"), "a=b=c");
    EXPECT_EQ(profile.GetProfileString("Settings", "User", "-"), "");
    EXPECT_EQ(profile.GetProfileString("Settings", "Quote", "-"), "\"half");
    EXPECT_EQ(profile.GetProfileString("Settings", "Missing", "dflt"), "dflt");
    EXPECT_EQ(profile.GetProfileInt("Settings", "Conn", 1), 3);
    EXPECT_EQ(profile.GetProfileInt("Settings", "Retries", 99), -12);
    EXPECT_EQ(profile.GetProfileInt("Settings", "User", 7), 0);  // present but empty
    // A commented key and a key of the next section do not belong to the section.
    EXPECT_EQ(profile.GetProfileInt("Settings", "Port", 119), 119);
    EXPECT_EQ(profile.GetProfileInt("Missing", "Port", 119), 119);
}

TEST(ProfileStore, LineEndingsOfEitherKindAndAnEditorsUtf8MarkRead) {
    CTempDir dir;
    WriteFileBytes(dir / "lf.ini", "[Settings]\nServer=a\nPort=1\n");
    WriteFileBytes(dir / "crlf.ini", "[Settings]\r\nServer=a\r\nPort=1");  // no final line end
    WriteFileBytes(dir / "bom.ini", "\xEF\xBB\xBF[Settings]\nServer=a\nPort=1\n");
    for (const char* name : {"lf.ini", "crlf.ini", "bom.ini"}) {
        CProfileStore profile(dir / name);
        EXPECT_EQ(profile.GetProfileString("Settings", "Server", ""), "a") << name;
        EXPECT_EQ(profile.GetProfileInt("Settings", "Port", 0), 1) << name;
    }
}

TEST(ProfileStore, AwkwardValuesComeBackAsWritten) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    const std::string values[] = {"  lead", "trail\t", "\"quoted\"", "\"\"", "a=b",
                                  "\"",     "; x",     "[x]",        ""};
    {
        CProfileStore profile(path);
        int i = 0;
        for (const auto& v : values)
            ASSERT_TRUE(profile.WriteProfileString("S", "K" + std::to_string(i++), v));
    }
    CProfileStore profile(path);
    int i = 0;
    for (const auto& v : values)
        EXPECT_EQ(profile.GetProfileString("S", "K" + std::to_string(i++), "-"), v);
}

TEST(ProfileStore, ValueWithALineBreakIsRefused) {
    CTempDir dir;
    CProfileStore profile(dir / "_SETUP.INI");
    ASSERT_TRUE(profile.WriteProfileString("Settings", "Server", "old"));
    EXPECT_FALSE(profile.WriteProfileString("Settings", "Server", "x\r\n[Settings]\r\nConn=9"));
    EXPECT_FALSE(profile.WriteProfileString("Settings", "Server", "x\ny"));
    EXPECT_EQ(profile.GetProfileString("Settings", "Server", ""), "old");
    EXPECT_EQ(CProfileStore(dir / "_SETUP.INI").Section("Settings").size(), 1u);
}

TEST(ProfileStore, GarbledFileReadsAsEmptyAndIsReplacedWhole) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    static const char kBytes[] =
        "\x7f"
        "ELF\x02\x01\x00\x00[Settings]\nServer=evil\n\xff\xfe";
    std::string garbage(kBytes, sizeof kBytes);  // with the final NUL
    WriteFileBytes(path, garbage);
    CProfileStore profile(path);
    EXPECT_EQ(profile.GetProfileString("Settings", "Server", "dflt"), "dflt");
    ASSERT_TRUE(profile.WriteProfileString("Settings", "Server", "news"));
    EXPECT_EQ(ReadFileBytes(path), "[Settings]\r\nServer=news\r\n");
}

TEST(ProfileStore, UnwritableDirectoryFailsTheWriteButKeepsTheValue) {
    CTempDir dir;
    std::string data = dir / "DATA";
    std::filesystem::create_directory(data);
    CProfileStore profile(data + "/_SETUP.INI");
    ASSERT_TRUE(profile.WriteProfileString("Settings", "Server", "a"));
    std::filesystem::remove_all(data);

    EXPECT_FALSE(profile.WriteProfileString("Settings", "Server", "b"));
    EXPECT_FALSE(profile.WriteProfileInt("Settings", "Port", 80));
    EXPECT_EQ(profile.GetProfileString("Settings", "Server", ""), "b");
    EXPECT_EQ(profile.GetProfileInt("Settings", "Port", 0), 80);

    // Once the directory is back, the next write brings every kept value to disk.
    std::filesystem::create_directory(data);
    ASSERT_TRUE(profile.WriteProfileInt("Settings", "Conn", 2));
    CProfileStore reread(data + "/_SETUP.INI");
    EXPECT_EQ(reread.GetProfileString("Settings", "Server", ""), "b");
    EXPECT_EQ(reread.GetProfileInt("Settings", "Port", 0), 80);
}

TEST(ProfileStore, FailedWriteLeavesTheOldFileWhole) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    CProfileStore profile(path);
    ASSERT_TRUE(profile.WriteProfileString("Settings", "Server", "news.example.com"));
    std::string before = ReadFileBytes(path);
    {
        WriteFailureScope full(12);  // the disk fills up part-way through the new version
        EXPECT_FALSE(profile.WriteProfileString("Settings", "AppTitle", "a long title"));
    }
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    ASSERT_TRUE(profile.WriteProfileInt("Settings", "Port", 119));
    CProfileStore reread(path);
    EXPECT_EQ(reread.GetProfileString("Settings", "AppTitle", ""), "a long title");
}

TEST(ProfileStore, BatchWritesTheFileOnceAtItsEnd) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    CProfileStore profile(path);
    ASSERT_TRUE(profile.WriteProfileString("Settings", "Server", "a"));
    std::string before = ReadFileBytes(path);
    {
        CProfileBatch outer(profile);
        EXPECT_TRUE(profile.WriteProfileString("Settings", "Server", "b"));
        {
            CProfileBatch inner(profile);
            EXPECT_TRUE(profile.WriteProfileInt("Settings", "Port", 25));
        }
        EXPECT_EQ(ReadFileBytes(path), before);  // the inner end does not write
        EXPECT_TRUE(profile.WriteProfileInt("History", "ByteRECV", 7));
        EXPECT_EQ(ReadFileBytes(path), before);
    }
    CProfileStore reread(path);
    EXPECT_EQ(reread.GetProfileString("Settings", "Server", ""), "b");
    EXPECT_EQ(reread.GetProfileInt("Settings", "Port", 0), 25);
    EXPECT_EQ(reread.GetProfileInt("History", "ByteRECV", 0), 7);
}

TEST(ProfileStore, FailedBatchReportsAndTheNextWriteCatchesUp) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    CProfileStore profile(path);
    {
        WriteFailureScope full(0);
        profile.BeginBatch();
        profile.WriteProfileString("Settings", "Server", "a");
        EXPECT_FALSE(profile.EndBatch());
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(profile.WriteProfileInt("Settings", "Port", 1));
    EXPECT_EQ(CProfileStore(path).GetProfileString("Settings", "Server", ""), "a");
}

}  // namespace
}  // namespace vexlo
