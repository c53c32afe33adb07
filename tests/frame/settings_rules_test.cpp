// The settings pages' rules the window tests do not reach: the password
// confirmation, what storing keeps, retries, and the shown interval and speed.
// (The port, login and speed refusals are tested through the sheet itself.)
#include <gtest/gtest.h>

#include "core/app_settings.h"
#include "frame/settings_rules.h"

namespace vexlo {
namespace {

TEST(SettingsRules, ServerPageStoresWhatWasTyped) {
    CAppSettings settings;
    settings.SetUser("old");
    settings.SetPass("keep");
    ServerPageValues values{"news.example", "8119", "", "", "", 3, true, kTlsNone, true, ""};
    values.user = "u";
    values.password = "Secret";
    values.confirm = "secret";
    EXPECT_STREQ(ApplyServerPage(values, settings), kPasswordMismatchText);
    EXPECT_EQ(settings.GetServer(), "");
    values.login = false;  // the confirmation is compared only with the login box ticked
    values.user = values.password = "";
    EXPECT_EQ(ApplyServerPage(values, settings), nullptr);
    EXPECT_EQ(settings.GetPort(), 8119);
    EXPECT_EQ(settings.GetConn(), 4);
    EXPECT_EQ(settings.GetUser(), "old");  // empty texts leave the stored ones
    EXPECT_EQ(ServerPageFromSettings(settings).confirm, "keep");
}

TEST(SettingsRules, OptionsPageStepByStep) {
    CAppSettings settings;
    settings.SetSaveQueue(300);
    settings.SetChanMaxBPS(12345);
    OptionsPageValues values = OptionsPageFromSettings(settings);
    EXPECT_EQ(values.interval, 4);
    EXPECT_EQ(values.speed, "8");
    EXPECT_EQ(SaveQueueIntervalIndex(45), 0);

    values.fullRowGroup = true;
    values.decodeYenc = true;
    values.appTitle = "VX";
    for (const char* retries : {"-1", "65536"}) {
        values.retries = retries;
        EXPECT_STREQ(ApplyOptionsPage(values, settings), kRetriesInvalidText);
    }
    EXPECT_TRUE(settings.TestOptions(OPT_FULL_ROW_GROUP));  // applied before the refusal
    EXPECT_FALSE(settings.TestOptions(OPT_DECODE_YENC));    // after it
    EXPECT_EQ(settings.GetAppTitle(), "");

    values.interval = 0;  // "(SELECT)" without auto-save keeps the interval
    values.retries = "7";
    values.speed = "100";  // out of range without the limit box: kept as it was
    EXPECT_EQ(ApplyOptionsPage(values, settings), nullptr);
    EXPECT_EQ(settings.GetSaveQueue(), 300);
    EXPECT_EQ(settings.GetRetries(), 7);
    EXPECT_EQ(settings.GetChanMaxBPS(), 12345);
    EXPECT_EQ(settings.GetAppTitle(), "VX");
    EXPECT_TRUE(OptionsPageFromSettings(settings).decodeYenc);
}

}  // namespace
}  // namespace vexlo
