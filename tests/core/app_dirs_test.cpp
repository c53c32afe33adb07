#include "core/app_dirs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/app_context.h"
#include "decode/file_utils.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;
using test::CRecordingMessageBox;
using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

const char kDataError[] =
    "Error Creating 'DATA' Directory!\r\n\r\nVerify that the current working directory\r\n"
    "is the application's directory.";

TEST(AppDirectories, PathsAreBuiltFromTheApplicationDirectory) {
    EXPECT_EQ(GetDataPath("/srv/vx/"), "/srv/vx/DATA/");
    EXPECT_EQ(GetDataPath("/"), "/DATA/");
    EXPECT_EQ(GetProfilePath("/srv/vx/"), "/srv/vx/DATA/_SETUP.INI");
    EXPECT_EQ(GetDebugLogPath("/srv/vx/"), "/srv/vx/DEBUG.TXT");
    std::string appDir = ReadAppDirectory();
    EXPECT_EQ(appDir, fs::current_path().string() + "/");
}

TEST(AppDirectories, ExistingDataAndMissingLogs) {
    CTempDir dir;
    fs::create_directory(dir / "DATA");
    WriteFileBytes(dir / "DATA/_GROUPS.DAT", "keep");
    CRecordingMessageBox box;
    EXPECT_TRUE(CreateAppDirectories(dir.Path(), box));
    EXPECT_TRUE(fs::is_directory(dir / "LOGS"));
    EXPECT_EQ(ReadFileBytes(dir / "DATA/_GROUPS.DAT"), "keep");
    EXPECT_TRUE(box.Texts().empty());
    EXPECT_TRUE(CreateAppDirectories(dir.Path(), box));  // both there: nothing to do
}

TEST(AppDirectories, FileNamedDataInTheWayStopsTheStart) {
    CTempDir dir;
    WriteFileBytes(dir / "DATA", "not a directory");
    CRecordingMessageBox box;
    EXPECT_FALSE(CreateAppDirectories(dir.Path(), box));
    ASSERT_EQ(box.Messages().size(), 1u);
    EXPECT_EQ(box.Messages()[0].text, kDataError);
    EXPECT_EQ(box.Messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(fs::exists(dir / "LOGS"));  // not tried after DATA failed

    fs::remove(dir / "DATA");
    WriteFileBytes(dir / "LOGS", "");
    box.Clear();
    EXPECT_FALSE(CreateAppDirectories(dir.Path(), box));
    EXPECT_EQ(box.Texts(),
              std::vector<std::string>{"Error Creating 'LOGS' Directory!\r\n\r\nVerify that the "
                                       "current working directory\r\nis the application's "
                                       "directory."});
}

TEST(AppDirectories, CreateDirectoryPathMakesEveryMissingLevel) {
    CTempDir dir;
    EXPECT_TRUE(CreateDirectoryPath(dir / "dl/new/sub"));
    EXPECT_TRUE(DirectoryExists(dir / "dl/new/sub/"));
    EXPECT_TRUE(CreateDirectoryPath(dir / "dl/new/sub/"));  // already there
    WriteFileBytes(dir / "dl/file", "x");
    EXPECT_FALSE(CreateDirectoryPath(dir / "dl/file"));
    EXPECT_FALSE(CreateDirectoryPath(dir / "dl/file/deeper"));
    EXPECT_FALSE(DirectoryExists(dir / "dl/file"));
    EXPECT_FALSE(DirectoryExists(""));
}

TEST(AppContext, StartHaltsWhenDataCannotBeMade) {
    CTempDir dir;
    WriteFileBytes(dir / "DATA", "");
    CRecordingMessageBox box;
    CAppContext app(dir.Path(), box);
    EXPECT_FALSE(app.Start());
    ASSERT_EQ(box.Messages().size(), 2u);
    EXPECT_EQ(box.Messages()[0].text, kDataError);
    EXPECT_EQ(box.Messages()[1].text,
              "Halting Program: Unable To Create or Verify Application Directories");
    EXPECT_EQ(box.Messages()[1].icon, MessageIcon::Stop);
    EXPECT_FALSE(app.log.IsOpen());
}

TEST(AppContext, StartLoadsAndFinishWritesBack) {
    CTempDir dir;
    fs::create_directory(dir / "DATA");
    WriteFileBytes(dir / "DATA/_SETUP.INI",
                   "[Settings]\r\nServer=news.example.com\r\nConn=3\r\n"
                   "[History]\r\nFileRECV=5\r\n");
    CRecordingMessageBox box;
    {
        CAppContext app(dir.Path(), box);
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(app.DataPath(), dir.Path() + "DATA/");
        EXPECT_TRUE(fs::is_directory(dir / "LOGS"));
        EXPECT_TRUE(app.log.IsOpen());
        EXPECT_EQ(app.settings.GetServer(), "news.example.com");
        EXPECT_EQ(app.settings.GetConn(), 3);
        EXPECT_EQ(app.stats.AllTime().fileRecv, CInt96(5));
        app.stats.AddFileReceived(1);
        app.settings.SetRetries(7);
        app.log.WriteLog("line\n");
        app.Finish();
        EXPECT_FALSE(app.log.IsOpen());
    }
    EXPECT_TRUE(box.Texts().empty());
    EXPECT_EQ(ReadFileBytes(dir / "DEBUG.TXT"), "line\n");
    CProfileStore profile(dir / "DATA/_SETUP.INI");
    EXPECT_EQ(profile.GetProfileString("History", "FileRECV", ""), "6");
    EXPECT_EQ(profile.GetProfileInt("Settings", "Retries", 0), 7);
    EXPECT_EQ(profile.GetProfileInt("Settings", "Conn", 0), 3);
}

TEST(QueueAutoSave, FirstTickIsDueAtOnceWhateverTheClock) {
    for (uint32_t start : {0u, 500u, 0xFFFFFF00u}) {
        CQueueAutoSave save;
        EXPECT_TRUE(save.Due(start, 15)) << start;
        EXPECT_FALSE(save.Due(start + 1000, 15)) << start;
    }
}

TEST(QueueAutoSave, IntervalInWholeSeconds) {
    CQueueAutoSave save;
    ASSERT_TRUE(save.Due(100'000, 15));
    EXPECT_FALSE(save.Due(114'999, 15));  // 14.999 s
    EXPECT_TRUE(save.Due(115'000, 15));
    EXPECT_FALSE(save.Due(116'000, 15));  // counted from the last save
    EXPECT_TRUE(save.Due(130'000, 15));
    EXPECT_TRUE(save.Due(130'000, 0));  // an interval of 0 saves on every tick
    EXPECT_TRUE(save.Due(130'001, 0));
    EXPECT_TRUE(save.Due(130'001 + 45'000, 45));  // a stored 45 works as 45 s
}

TEST(QueueAutoSave, TickWrap) {
    CQueueAutoSave save;
    ASSERT_TRUE(save.Due(0xFFFFF000u, 15));  // 4096 ms before the wrap
    // now < last: elapsed = now - last - 1 modulo 2^32.
    EXPECT_FALSE(save.Due(10'000, 15));  // 4096 + 10000 - 1 ms: 14 s
    EXPECT_TRUE(save.Due(10'905, 15));   // 4096 + 10905 - 1 = 15000 ms
    EXPECT_FALSE(save.Due(10'906, 15));
}

}  // namespace
}  // namespace vexlo
