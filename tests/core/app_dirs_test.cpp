#include "core/app_dirs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/app_context.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

namespace fs = std::filesystem;
using test::CRecordingMessageBox;
using test::CTempDir;
using test::WriteFileBytes;

TEST(AppContext, StartHaltsWhenDataCannotBeMade) {
    CTempDir dir;
    WriteFileBytes(dir / "DATA", "");
    CRecordingMessageBox box;
    CAppContext app(dir.Path(), box);
    EXPECT_FALSE(app.Start());
    ASSERT_EQ(box.Texts(),
              (std::vector<std::string>{
                  "Error Creating 'DATA' Directory!\r\n\r\nVerify that the current "
                  "working directory\r\nis the application's directory.",
                  "Halting Program: Unable To Create or Verify Application Directories"}));
    EXPECT_EQ(std::pair(box.Messages()[0].icon, box.Messages()[1].icon),
              std::pair(MessageIcon::Exclamation, MessageIcon::Stop));
    // LOGS is not tried after DATA failed.
    EXPECT_FALSE(fs::exists(dir / "LOGS") || app.log.IsOpen());
}

TEST(AppContext, StartLoadsAndFinishWritesBack) {
    CTempDir dir;
    fs::create_directory(dir / "DATA");
    WriteFileBytes(dir / "DATA/_SETUP.INI", "[Settings]\r\nConn=3\r\n[History]\r\nFileRECV=5\r\n");
    CRecordingMessageBox box;
    CAppContext app(dir.Path(), box);
    ASSERT_TRUE(app.Start());
    EXPECT_TRUE(fs::is_directory(dir / "LOGS") && app.log.IsOpen());
    app.stats.AddFileReceived(1);
    app.settings.SetRetries(7);
    app.Finish();
    EXPECT_FALSE(app.log.IsOpen());
    EXPECT_TRUE(box.Texts().empty());
    // The loaded values went back with the changes.
    CProfileStore profile(dir / "DATA/_SETUP.INI");
    EXPECT_EQ(profile.GetProfileString("History", "FileRECV", ""), "6");
    EXPECT_EQ(profile.GetProfileInt("Settings", "Retries", 0), 7);
    EXPECT_EQ(profile.GetProfileInt("Settings", "Conn", 0), 3);
}

TEST(QueueAutoSave, DueAfterWholeIntervalsAcrossTheTickWrap) {
    // clang-format off
    struct Step { uint32_t now; int interval; bool due; };
    const std::vector<std::vector<Step>> runs = {
        // The first tick is due at once, whatever the clock says.
        {{0, 15, true}, {1000, 15, false}},
        {{0xFFFFFF00u, 15, true}, {0xFFFFFF00u + 1000, 15, false}},
        // Whole seconds since the last save; 0 saves on every tick.
        {{100'000, 15, true}, {114'999, 15, false}, {115'000, 15, true}, {116'000, 15, false},
         {130'000, 15, true}, {130'000, 0, true}, {175'000, 45, true}},
        // Past the wrap, elapsed = now - last - 1 modulo 2^32: 4096 + 10904 - 1 ms is short.
        {{0xFFFFF000u, 15, true}, {10'904, 15, false}, {10'905, 15, true}, {10'906, 15, false}}};
    // clang-format on
    for (size_t r = 0; r < runs.size(); ++r) {
        CQueueAutoSave save;
        for (const Step& step : runs[r])
            EXPECT_EQ(save.Due(step.now, step.interval), step.due)
                << "run " << r << " at " << step.now;
    }
}

}  // namespace
}  // namespace vexlo
