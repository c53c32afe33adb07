#include "core/app_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/profile_store.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::WriteFileBytes;

std::vector<int> Parse(std::string_view text, int n) {
    std::vector<int> out(static_cast<size_t>(n), -999);
    out.resize(static_cast<size_t>(ParseIntList(text, ':', n, out.data())));
    return out;
}

std::vector<int> QueueWidths(const CAppSettings& s) {
    std::vector<int> w;
    for (int i = 0; i < CAppSettings::kQueueColumns; ++i) w.push_back(s.GetQueueWidth(i));
    return w;
}

std::vector<int> HeaderWidths(const CAppSettings& s) {
    std::vector<int> w;
    for (int i = 0; i < CAppSettings::kHeaderColumns; ++i) w.push_back(s.GetHeaderWidth(i));
    return w;
}

// Settings loaded from a profile whose [Settings] section holds `lines`.
CAppSettings LoadFrom(const CTempDir& dir, const std::string& lines) {
    std::string path = dir / "_SETUP.INI";
    WriteFileBytes(path, "[Settings]\r\n" + lines);
    CProfileStore profile(path);
    CAppSettings s;
    EXPECT_TRUE(s.Load(profile));
    return s;
}

TEST(ParseIntList, ListRules) {
    EXPECT_EQ(Parse("", 4), std::vector<int>{});
    EXPECT_EQ(Parse("x1:2", 4), std::vector<int>{});
    EXPECT_EQ(Parse(" 1:2", 4), std::vector<int>{});  // a blank first is not a digit
    EXPECT_EQ(Parse("7", 4), std::vector<int>{7});
    EXPECT_EQ(Parse("-", 4), std::vector<int>{0});
    EXPECT_EQ(Parse("1:-2:3", 4), (std::vector<int>{1, -2, 3}));
    EXPECT_EQ(Parse("1:2:3:4:5", 4), (std::vector<int>{1, 2, 3, 4}));  // rest ignored
    EXPECT_EQ(Parse("1:2:3:4:x", 4), std::vector<int>{});              // checked before the count
    EXPECT_EQ(Parse("1:a:3:4", 4), std::vector<int>{});                // one bad value rejects all
    EXPECT_EQ(Parse("1::3", 4), std::vector<int>{});                   // an empty value is bad too
    EXPECT_EQ(Parse("1:2:", 4), (std::vector<int>{1, 2}));    // a final separator is not looked at
    EXPECT_EQ(Parse("12x:5", 4), (std::vector<int>{12, 5}));  // a value ends at a non-digit
    EXPECT_EQ(Parse("1:+2", 4), std::vector<int>{});
}

TEST(AppSettings, MissingFileGivesTheDefaults) {
    CTempDir dir;
    CProfileStore profile(dir / "_SETUP.INI");
    CAppSettings s;
    ASSERT_TRUE(s.Load(profile));
    EXPECT_EQ(s.GetServer(), "");
    EXPECT_EQ(s.GetPort(), 119);
    EXPECT_EQ(s.GetConn(), 1);
    EXPECT_EQ(s.GetRetries(), 99);
    EXPECT_EQ(s.GetAuth(), 0);
    EXPECT_EQ(s.GetAffinity(), 1u);
    EXPECT_EQ(s.GetOptions(), 0u);
    EXPECT_EQ(s.GetSaveQueue(), 0);
    EXPECT_EQ(s.GetChanMaxBPS(), 0);
    EXPECT_EQ(s.GetAppTitle(), "");
    EXPECT_EQ(s.GetSaveDefault(), "");
    EXPECT_EQ(HeaderWidths(s), (std::vector<int>{512, 39, 52, 162}));
    EXPECT_EQ(s.GetGroupWidth(5), 322);
    EXPECT_EQ(QueueWidths(s), (std::vector<int>{56, 80, 64, 75, 38, 552, 184, 308}));
}

TEST(AppSettings, ColumnWidthTextsAreCheckedAndClamped) {
    CTempDir dir;
    EXPECT_EQ(QueueWidths(LoadFrom(dir, "LVCWQ=56:80:64\r\n")), std::vector<int>(8, 32));
    EXPECT_EQ(QueueWidths(LoadFrom(dir, "LVCWQ=5:2000:64:75:38:552:184:308\r\n")),
              (std::vector<int>{8, 1280, 64, 75, 38, 552, 184, 308}));
    EXPECT_EQ(QueueWidths(LoadFrom(dir, "LVCWQ=1:2:3:4:5:6:7:8:9\r\n")),
              (std::vector<int>{8, 8, 8, 8, 8, 8, 8, 8}));
    EXPECT_EQ(QueueWidths(LoadFrom(dir, "LVCWQ=10:20:30:40:50:60:70:80:90\r\n")),
              (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80}));
    EXPECT_EQ(HeaderWidths(LoadFrom(dir, "LVCWH=100:x1:52:162\r\n")), std::vector<int>(4, 32));
    EXPECT_EQ(HeaderWidths(LoadFrom(dir, "LVCWH=\r\n")), std::vector<int>(4, 32));

    CAppSettings s;
    s.SetHeaderWidth(0, 3);
    s.SetHeaderWidth(1, 5000);
    s.SetHeaderWidth(4, 100);  // outside the range: ignored
    s.SetHeaderWidth(-1, 100);
    EXPECT_EQ(s.GetHeaderWidth(0), 8);
    EXPECT_EQ(s.GetHeaderWidth(1), 1280);
    EXPECT_EQ(s.GetHeaderWidth(4), 0);
    EXPECT_EQ(s.GetQueueWidth(-1), 0);
    EXPECT_EQ(s.GetGroupWidth(6), 0);
}

TEST(AppSettings, SettersStoreOnlyValidValues) {
    CAppSettings s;
    EXPECT_TRUE(s.SetServer("news.example.com"));
    EXPECT_FALSE(s.SetServer(""));  // an empty text never clears
    EXPECT_FALSE(s.SetServer(std::string(260, 'x')));
    EXPECT_EQ(s.GetServer(), "news.example.com");
    EXPECT_TRUE(s.SetPass(std::string(259, 'p')));
    EXPECT_EQ(s.GetPass().size(), 259u);

    EXPECT_FALSE(s.SetPort(0));
    EXPECT_FALSE(s.SetPort(65536));
    EXPECT_TRUE(s.SetPort(65535));
    EXPECT_EQ(s.GetPort(), 65535);
    EXPECT_FALSE(s.SetConn(0));
    EXPECT_FALSE(s.SetConn(9));
    EXPECT_TRUE(s.SetConn(8));
    EXPECT_FALSE(s.SetRetries(-1));
    EXPECT_FALSE(s.SetRetries(65536));
    EXPECT_TRUE(s.SetRetries(0));
    EXPECT_EQ(s.GetRetries(), 0);

    EXPECT_FALSE(s.SetSaveQueue(45));
    EXPECT_FALSE(s.SetSaveQueue(0));
    for (const auto& interval : kSaveQueueIntervals) EXPECT_TRUE(s.SetSaveQueue(interval.seconds));
    EXPECT_EQ(s.GetSaveQueue(), 900);

    s.SetOption(OPT_RENAME_EXISTING | OPT_SCAN_TO_TOP, 1);
    s.SetOption(OPT_SCAN_TO_TOP, 2);  // any state but 1 clears
    EXPECT_EQ(s.GetOptions(), static_cast<uint32_t>(OPT_RENAME_EXISTING));
    EXPECT_NE(s.TestOptions(OPT_RENAME_EXISTING | OPT_AUTO_SAVE_QUEUE), 0u);
    EXPECT_EQ(s.TestOptions(OPT_AUTO_SAVE_QUEUE), 0u);
}

TEST(AppSettings, AffinityIsMaskedByTheChannelCount) {
    CAppSettings s;
    ASSERT_TRUE(s.SetConn(2));
    EXPECT_EQ(s.GetChannelMask(), 3u);
    EXPECT_FALSE(s.SetAffinity(12));
    EXPECT_EQ(s.GetAffinity(), 1u);
    EXPECT_TRUE(s.SetAffinity(7));
    EXPECT_EQ(s.GetAffinity(), 3u);
    ASSERT_TRUE(s.SetConn(8));
    EXPECT_EQ(s.GetChannelMask(), 255u);
}

TEST(AppSettings, ChannelMaskRepairsAStoredConnOutOfRange) {
    CTempDir dir;
    for (int conn : {0, 9, -3}) {
        CAppSettings s = LoadFrom(dir, "Conn=" + std::to_string(conn) + "\r\nAffinity=6\r\n");
        EXPECT_EQ(s.GetConn(), conn) << "taken as read";
        EXPECT_EQ(s.GetChannelMask(), 1u);
        EXPECT_EQ(s.GetConn(), 1);
        EXPECT_EQ(s.GetAffinity(), 1u);
    }
}

TEST(AppSettings, SaveDefaultIsDroppedWhenItsDirectoryIsGone) {
    CTempDir dir;
    std::string folder = dir / "downloads/";
    std::filesystem::create_directory(folder);
    CAppSettings s;
    s.SetSaveDefault(folder);
    EXPECT_EQ(s.GetSaveDefault(), folder);
    s.SetSaveDefault(std::string(260, 'x'));  // too long: ignored
    EXPECT_EQ(s.GetSaveDefault(), folder);
    std::filesystem::remove(folder);
    EXPECT_EQ(s.GetSaveDefault(), "");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(s.GetSaveDefault(), "");  // emptied for good, not just hidden
}

TEST(AppSettings, LoadTakesStoredValuesAsTheyStand) {
    CTempDir dir;
    CAppSettings s = LoadFrom(dir,
                              "SaveQueue=45\r\nPort=70000\r\nRetries=-4\r\nAuth=7\r\n"
                              "AppTitle=" +
                                  std::string(260, 't') + "\r\n");
    EXPECT_EQ(s.GetSaveQueue(), 45);
    EXPECT_EQ(s.GetPort(), 70000);
    EXPECT_EQ(s.GetRetries(), -4);
    EXPECT_EQ(s.GetAuth(), 7);
    EXPECT_EQ(s.GetAppTitle(), "");  // too long for its field: left empty
    EXPECT_EQ(LoadFrom(dir, "AppTitle=" + std::string(259, 't') + "\r\n").GetAppTitle().size(),
              259u);
}

TEST(AppSettings, SaveThenLoadGivesEveryFieldBack) {
    CTempDir dir;
    std::string path = dir / "_SETUP.INI";
    WriteFileBytes(path, "[History]\r\nByteRECV=99\r\n");
    CAppSettings s;
    s.SetServer("news.example.com");
    s.SetPort(563);
    s.SetConn(4);
    s.SetRetries(3);
    s.SetAuth(1);
    s.SetUser("joe");
    s.SetPass(" p=a\"ss ");
    s.SetAffinity(10);
    s.SetOption(OPT_AUTO_SAVE_QUEUE | OPT_START_MAXIMIZED | 0x80000000u, 1);
    s.SetSaveQueue(300);
    s.SetSaveDefault(dir.Path());
    s.SetChanMaxBPS(42);
    s.SetAppTitle("My Title");
    for (int i = 0; i < CAppSettings::kHeaderColumns; ++i) s.SetHeaderWidth(i, 100 + i);
    for (int i = 0; i < CAppSettings::kGroupColumns; ++i) s.SetGroupWidth(i, 200 + i);
    for (int i = 0; i < CAppSettings::kQueueColumns; ++i) s.SetQueueWidth(i, 300 + i);
    {
        CProfileStore profile(path);
        ASSERT_TRUE(s.Save(profile));
    }
    CProfileStore profile(path);
    EXPECT_EQ(profile.GetProfileString("History", "ByteRECV", ""), "99");
    EXPECT_EQ(profile.GetProfileString("Settings", "LVCWH", ""), "100:101:102:103");
    EXPECT_EQ(profile.Section("Settings").size(), 16u);
    CAppSettings r;
    ASSERT_TRUE(r.Load(profile));
    EXPECT_EQ(r.GetServer(), "news.example.com");
    EXPECT_EQ(r.GetPort(), 563);
    EXPECT_EQ(r.GetConn(), 4);
    EXPECT_EQ(r.GetRetries(), 3);
    EXPECT_EQ(r.GetAuth(), 1);
    EXPECT_EQ(r.GetUser(), "joe");
    EXPECT_EQ(r.GetPass(), " p=a\"ss ");
    EXPECT_EQ(r.GetAffinity(), 10u);
    EXPECT_EQ(r.GetOptions(), s.GetOptions());
    EXPECT_EQ(r.GetSaveQueue(), 300);
    EXPECT_EQ(r.GetSaveDefault(), dir.Path());
    EXPECT_EQ(r.GetChanMaxBPS(), 42);
    EXPECT_EQ(r.GetAppTitle(), "My Title");
    EXPECT_EQ(HeaderWidths(r), (std::vector<int>{100, 101, 102, 103}));
    EXPECT_EQ(r.GetGroupWidth(5), 205);
    EXPECT_EQ(QueueWidths(r), (std::vector<int>{300, 301, 302, 303, 304, 305, 306, 307}));
}

}  // namespace
}  // namespace vexlo
