// The settings, and the readers of the numbers and number lists they are
// stored as.
#include "core/app_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "core/number_readers.h"
#include "platform/profile_store.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;
using Ints = std::vector<int>;

// The queue's (or the header list's) column widths.
Ints Widths(const CAppSettings& s, bool queue) {
    Ints widths;
    for (int i = 0; i < (queue ? CAppSettings::kQueueColumns : CAppSettings::kHeaderColumns); ++i)
        widths.push_back(queue ? s.GetQueueWidth(i) : s.GetHeaderWidth(i));
    return widths;
}

// Settings loaded from a profile whose [Settings] section holds `lines`.
CAppSettings LoadFrom(const CTempDir& dir, const std::string& lines) {
    WriteFileBytes(dir / "_SETUP.INI", "[Settings]\r\n" + lines);
    CAppSettings s;
    EXPECT_TRUE(s.Load(CProfileStore(dir / "_SETUP.INI")));
    return s;
}

TEST(ParseIntList, ListRules) {
    // Every value is checked before the count is applied; one bad or empty value
    // rejects the list, a value ends at its first non-digit, a final separator
    // is not looked at.
    // clang-format off
    const std::pair<const char*, Ints> cases[] = {
        {"", {}}, {"x1:2", {}}, {" 1:2", {}}, {"7", {7}}, {"-", {0}}, {"1:-2:3", {1, -2, 3}},
        {"1:2:3:4:5", {1, 2, 3, 4}}, {"1:2:3:4:x", {}}, {"1:a:3:4", {}}, {"1::3", {}},
        {"1:2:", {1, 2}}, {"12x:5", {12, 5}}, {"1:+2", {}}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        Ints out(4, -999);
        out.resize(static_cast<size_t>(ParseIntList(text, ':', 4, out.data())));
        EXPECT_EQ(out, expected) << '"' << text << '"';
    }
}

TEST(NumberReaders, ReplyCodesAndLenientDecimals) {
    EXPECT_EQ(CountLeadingDigits("200 ready"), 3);
    EXPECT_EQ(CountLeadingDigits(" 200"), 0);
    // A reply code has exactly three digits.
    for (auto [text, code] :
         {std::pair{"211 3 1 3 g", 211}, {"20 short", -1}, {"2000 x", -1}, {"", -1}})
        EXPECT_EQ(ReplyCode(text), code) << text;
    for (auto [text, value] : {std::pair{" \t-42xyz", -42},
                               {"+7", 7},
                               {"abc", 0},
                               {"-", 0},
                               {"4294967295", -1}})  // wraps like a 32-bit integer
        EXPECT_EQ(ReadLenientInt(text), value) << text;
}

TEST(AppSettings, ColumnWidthTextsAreCheckedAndAGarbledProfileGivesTheDefaults) {
    CTempDir dir;
    const std::pair<const char*, Ints> queue[] = {
        {"56:80:64", Ints(8, 32)},  // too few values: every column at 32
        {"5:2000:64:75:38:552:184:308", {8, 1280, 64, 75, 38, 552, 184, 308}},
        {"1:2:3:4:5:6:7:8:9", Ints(8, 8)},
        {"10:20:30:40:50:60:70:80:90", {10, 20, 30, 40, 50, 60, 70, 80}}};
    for (const auto& [text, expected] : queue)
        EXPECT_EQ(Widths(LoadFrom(dir, std::string("LVCWQ=") + text + "\r\n"), true), expected)
            << text;
    for (const char* text : {"100:x1:52:162", ""})
        EXPECT_EQ(Widths(LoadFrom(dir, std::string("LVCWH=") + text + "\r\n"), false), Ints(4, 32))
            << text;

    CAppSettings s;  // columns 4 and -1 are outside the range: ignored
    for (auto [index, width] : {std::pair{0, 3}, {1, 5000}, {4, 100}, {-1, 100}})
        s.SetHeaderWidth(index, width);
    EXPECT_EQ(Widths(s, false), (Ints{8, 1280, 0, 0}));
    EXPECT_EQ(s.GetHeaderWidth(4), 0);

    // A garbled profile gives the defaults, and the next save writes a whole file.
    const std::string path = dir / "_SETUP.INI";
    s = LoadFrom(dir, "Conn=5\nPort=25\n\xff\xfe" + std::string(1, '\0'));
    EXPECT_EQ(std::tuple(s.GetPort(), s.GetConn(), s.GetRetries(), s.GetAffinity()),
              std::tuple(119, 1, 99, 1u));
    EXPECT_EQ(Widths(s, false), (Ints{512, 39, 52, 162}));
    EXPECT_EQ(Widths(s, true), (Ints{56, 80, 64, 75, 38, 552, 184, 308}));
    CProfileStore profile(path);
    ASSERT_TRUE(s.Save(profile));
    std::string written = ReadFileBytes(path);
    EXPECT_EQ(written.rfind("[Settings]\r\nServer=\r\nPort=119\r\n", 0), 0u) << written;
    EXPECT_EQ(written.find('\0'), std::string::npos);
    EXPECT_EQ(CProfileStore(path).Section("Settings").size(), 16u);
}

TEST(AppSettings, OnlyValidValuesAreStoredOrLoadedAndABadStoredConnIsRepaired) {
    CAppSettings s;
    EXPECT_TRUE(s.SetServer("news.example.com"));
    // An empty text never clears; a line break would reach the server as a
    // second command.
    EXPECT_FALSE(s.SetServer("") || s.SetServer(std::string(260, 'x')) || s.SetUser("me\r\nPOST"));
    EXPECT_EQ(s.GetServer(), "news.example.com");
    EXPECT_TRUE(s.SetPort(65535) && s.SetConn(8) && s.SetRetries(0) && s.SetSaveQueue(900));
    EXPECT_FALSE(s.SetPort(0) || s.SetPort(65536) || s.SetConn(0) || s.SetConn(9) ||
                 s.SetRetries(-1) || s.SetRetries(65536) || s.SetSaveQueue(45));
    EXPECT_EQ(s.GetChannelMask(), 255u);
    s.SetOption(OPT_RENAME_EXISTING | OPT_SCAN_TO_TOP, 1);
    s.SetOption(OPT_SCAN_TO_TOP, 2);  // any state but 1 clears
    EXPECT_EQ(s.GetOptions(), static_cast<uint32_t>(OPT_RENAME_EXISTING));
    // The affinity is masked by the channels.
    ASSERT_TRUE(s.SetConn(2));
    EXPECT_FALSE(s.SetAffinity(12));
    EXPECT_EQ(s.GetAffinity(), 1u);
    EXPECT_TRUE(s.SetAffinity(7));
    EXPECT_EQ(s.GetAffinity(), 3u);
    // A stored Conn outside 1..8 is repaired where it is loaded, as the channel
    // mask would repair it: no channels, more than eight, or a shift past 32 bits
    // never reach the channels.
    CTempDir dir;
    for (int conn : {0, -3, 9, 31, 32, 100}) {
        s = LoadFrom(dir, "Conn=" + std::to_string(conn) + "\r\nAffinity=6\r\n");
        EXPECT_EQ(std::tuple(s.GetConn(), s.GetAffinity(), s.GetChannelMask()),
                  std::tuple(1, 1u, 1u))
            << conn;
    }
    s = LoadFrom(dir, "Conn=3\r\nAffinity=6\r\nAppTitle=" + std::string(260, 't') + "\r\n");
    EXPECT_EQ(std::pair(s.GetConn(), s.GetAffinity()), std::pair(3, 6u));
    EXPECT_EQ(s.GetAppTitle(), "");  // too long for its field: left empty

    // The save-to folder must exist, and once gone it is emptied for good.
    std::string folder = dir / "downloads/";
    std::filesystem::create_directory(folder);
    s.SetSaveDefault(folder);
    s.SetSaveDefault(std::string(260, 'x'));  // too long: ignored
    EXPECT_EQ(s.GetSaveDefault(), folder);
    std::filesystem::remove(folder);
    EXPECT_EQ(s.GetSaveDefault(), "");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(s.GetSaveDefault(), "");
}

// Values out of the setters' ranges (Port, Retries) are taken as they stand.
TEST(AppSettings, LoadThenSaveGivesEveryFieldBack) {
    CTempDir dir;
    const std::string history = "[History]\r\nByteRECV=99\r\n";
    std::string file = history + "\r\n[Settings]\r\n";
    for (const std::string& line : std::vector<std::string>{
             "Server=news.example.com", "Port=70000", "Conn=4", "Retries=-4", "Auth=1", "User=joe",
             "Pass=\" p=a\"ss \"", "Affinity=10", "Options=-2147481344", "SaveQueue=300",
             "SaveDefault=" + dir.Path(), "ChanMaxBPS=42", "AppTitle=My Title",
             "LVCWH=100:101:102:103", "LVCWG=200:201:202:203:204:205",
             "LVCWQ=300:301:302:303:304:305:306:307"})
        file += line + "\r\n";
    WriteFileBytes(dir / "in.ini", file);
    CAppSettings s;
    ASSERT_TRUE(s.Load(CProfileStore(dir / "in.ini")));
    EXPECT_EQ(s.GetPass(), " p=a\"ss ");
    EXPECT_EQ(s.GetOptions(), 0x80000000u | OPT_AUTO_SAVE_QUEUE | OPT_START_MAXIMIZED);
    WriteFileBytes(dir / "out.ini", history);
    CProfileStore out(dir / "out.ini");
    ASSERT_TRUE(s.Save(out));
    EXPECT_EQ(ReadFileBytes(dir / "out.ini"), file);
}

// The encryption keys: read with their defaults, repaired when unknown, and
// written only once they differ from the defaults or stand in the file.
TEST(AppSettings, EncryptionKeysStayOutOfTheFileUntilUsed) {
    CTempDir dir;
    const std::tuple<std::string, int, int, std::string> loads[] = {
        {"", 0, 1, ""},
        {"TLS=1\r\nTlsVerify=0\r\nTlsCaFile=/etc/news/ca.pem\r\n", 1, 0, "/etc/news/ca.pem"},
        {"TLS=2\r\nTlsVerify=5\r\n", 2, 1, ""},
        {"TLS=3\r\n", 0, 1, ""},
        {"TLS=-1\r\n", 0, 1, ""}};
    for (const auto& [lines, tls, verify, caFile] : loads) {
        CAppSettings s = LoadFrom(dir, lines);
        EXPECT_EQ(std::tuple(s.GetTls(), s.GetTlsVerify(), s.GetTlsCaFile()),
                  std::tuple(tls, verify, caFile))
            << lines;
    }
    CAppSettings s;
    EXPECT_FALSE(s.SetTls(3) || s.SetTlsCaFile(std::string(260, 'c')) ||
                 s.SetTlsCaFile("ca\n.pem"));

    CProfileStore out(dir / "out.ini");
    s.Save(out);
    EXPECT_EQ(ReadFileBytes(dir / "out.ini").find("Tls"), std::string::npos);
    ASSERT_TRUE(s.SetTls(2));
    s.Save(out);
    EXPECT_TRUE(ReadFileBytes(dir / "out.ini").ends_with("TLS=2\r\nTlsVerify=1\r\nTlsCaFile=\r\n"));
    s.SetTls(0);  // back to the default: stored, not dropped
    s.Save(out);
    EXPECT_TRUE(ReadFileBytes(dir / "out.ini").ends_with("TLS=0\r\nTlsVerify=1\r\nTlsCaFile=\r\n"));
}

}  // namespace
}  // namespace vexlo
