// The main window's rules without a window: caption, status panes, command
// states, the docking bars' saved sizes, the graph's rates and line, and the
// settings pages' rules the window tests do not reach (the password
// confirmation, what storing keeps, retries, the shown interval and speed;
// the port, login and speed refusals are tested through the sheet itself).
#include <gtest/gtest.h>

#include "core/app_settings.h"
#include "frame/bar_sizes.h"
#include "frame/commands.h"
#include "frame/frame_texts.h"
#include "frame/graph_plot.h"
#include "frame/settings_rules.h"
#include "platform/profile_store.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

TEST(FrameTexts, CaptionAndPanes) {
    struct Case {
        CaptionState state;
        const char* caption;
    } cases[] = {
        {{"", "", "", false}, "[No Group Open]"},
        {{"My", "", "abc", true}, "My - [No Group Open]"},
        {{"", "alt.bin", "", false}, "alt.bin"},
        {{"VX", "alt.bin", "abc", false}, "VX - alt.bin + \"abc\""},
        {{"", "alt.bin", "", true}, "alt.bin (NEW)"},
        {{"", "alt.bin", "x y", true}, "alt.bin + \"x y\" (NEW)"},
    };
    for (const Case& c : cases) EXPECT_EQ(BuildCaption(c.state), c.caption);

    EXPECT_EQ(SelectionPaneText(0, 500), "No Items Selected");
    EXPECT_EQ(SelectionPaneText(3, 100 + 200 + 300), "Selected: 3 (~26.37 K)");
    // 1024 K is the first MB figure; 1024 MB the first GB one.
    EXPECT_EQ(SelectionPaneText(1, 1024ull * 1024 / 45 + 1), "Selected: 1 (~1.00 MB)");
    EXPECT_EQ(SelectionPaneText(2, 1024ull * 1024 * 1024 / 45 * 3), "Selected: 2 (~3.00 GB)");
    EXPECT_EQ(QueuePaneText(0), "No Tasks");
    EXPECT_EQ(QueuePaneText(12), "Queue: 12");
}

TEST(Commands, RulesFollowTheState) {
    using Agent = CommandContext::Agent;
    const CommandContext idle{.agent = Agent::Stopped};
    CommandContext busy{.agent = Agent::Running,
                        .groupRows = 3,
                        .groupsSelected = 2,
                        .queueRows = 4,
                        .tasksSelected = 1,
                        .groupOpen = true,
                        .headerRowsSelected = 5,
                        .filterSet = true};
    CommandContext stopping = busy;
    stopping.agent = Agent::Stopping;
    stopping.tasksSelected = 2;
    stopping.binariesMode = false;

    struct Case {
        int id;
        bool idle, busy, stopping;
    } cases[] = {
        {ID_START, true, false, true},
        {ID_STOP_NOW, false, true, true},
        {ID_STOP_GRACEFULLY, false, true, false},
        {ID_SCAN_SELECTED, false, true, true},
        {ID_SCAN_ALL, true, true, true},
        {ID_DELETE_GROUPS, false, true, true},
        {ID_GROUPS_SELECT_ALL, false, true, true},
        {ID_QUEUE_SELECT_ALL, false, true, true},
        {ID_QUEUE_TOP, false, true, true},
        {ID_TASK_INFO, false, true, false},
        {ID_GET_DECODE, false, true, false},
        {ID_JOIN_PARTS, false, false, true},
        {ID_FILTER, false, true, true},
        {ID_CLEAR_FILTER, false, true, true},
        {ID_SETTINGS, true, true, true},
        {ID_HISTORY, true, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EvaluateCommand(c.id, idle).enabled, c.idle) << c.id;
        EXPECT_EQ(EvaluateCommand(c.id, busy).enabled, c.busy) << c.id;
        EXPECT_EQ(EvaluateCommand(c.id, stopping).enabled, c.stopping) << c.id;
    }
    EXPECT_TRUE(EvaluateCommand(ID_VIEW_BIN, busy).checked);
    EXPECT_TRUE(EvaluateCommand(ID_VIEW_MSG, stopping).checked);
    busy.queueBarShown = false;
    EXPECT_FALSE(EvaluateCommand(ID_VIEW_QUEUEBAR, busy).checked);
    EXPECT_TRUE(EvaluateCommand(ID_VIEW_GROUPBAR, busy).checked);
    // Prompts carry a tip after the status text.
    EXPECT_STREQ(CommandPrompt(ID_QUEUE_TOP), "Move Selected Task(s) To Top Of Queue\nMove To Top");
    EXPECT_STREQ(CommandPrompt(ID_QUEUE_SELECT_ALL), "");
}

TEST(BarSizes, LoadKeepsMinimumsAndDefaults) {
    test::CTempDir dir;
    CProfileStore profile(dir / "setup.ini");
    BarSizes sizes;
    LoadBarSizes(profile, "QueueBar", 125, sizes);
    EXPECT_EQ(sizes, BarSizes{});  // a missing section leaves 200 x 200

    profile.WriteProfileInt("QueueBar-SCBar-125", "sizeHorzCY", 10);
    profile.WriteProfileInt("QueueBar-SCBar-125", "sizeFloatCX", 5);
    profile.WriteProfileInt("QueueBar-SCBar-125", "sizeVertCX", 300);
    LoadBarSizes(profile, "QueueBar", 125, sizes);
    EXPECT_EQ(sizes.horz, (BarSize{200, 32}));
    EXPECT_EQ(sizes.floating, (BarSize{37, 200}));
    EXPECT_EQ(sizes.vert, (BarSize{300, 200}));

    SaveBarSizes(profile, "GroupBar", 123, sizes);
    BarSizes back;
    LoadBarSizes(CProfileStore(dir / "setup.ini"), "GroupBar", 123, back);
    EXPECT_EQ(back, sizes);
    EXPECT_EQ(ClampFloatingSize({10, 50}), (BarSize{37, 50}));
}

constexpr int kW = 524, kH = 78, kText = 13;  // plot height P = 61

TEST(GraphPlot, RatesScaleAndLineFromBothRings) {
    EXPECT_EQ(GraphSeconds(6), 1);
    EXPECT_EQ(GraphSeconds(5), 0);
    EXPECT_EQ(GraphSeconds(5000), 899);
    CTransferStats::Ring sent{}, received{};
    // Without traffic the line fills the width one pixel above the bottom edge.
    const GraphPlot none = PlotRates(sent, received, 300, kH, kText);
    EXPECT_EQ(none.scale, 0u);
    ASSERT_EQ(none.line.size(), 148u);  // the last 148 seconds
    EXPECT_EQ(none.line.front(), (GraphPoint{295, kH - 5}));
    EXPECT_EQ(none.line.back(), (GraphPoint{1, kH - 5}));

    received[0] = 50000;  // the incomplete second is not drawn
    received[1] = 1536;   // 512 / 103 = 4 tenths: rates are rounded down
    received[2] = 30500;
    sent[899] = 60999;  // sent bytes only raise the peak
    const GraphPlot plot = PlotRates(sent, received, kW, kH, kText);
    EXPECT_EQ(plot.current, 1536u);
    EXPECT_EQ(plot.currentText, "CURRENT: 1.4 K/sec");
    EXPECT_EQ(plot.peakText, "PEAK: 59.5 K/sec");
    EXPECT_EQ(plot.scale, 1000u);  // 61000 / 61
    EXPECT_EQ(plot.line[0], (GraphPoint{kW - 5, kH - 4 - 1}));
    EXPECT_EQ(plot.line[1], (GraphPoint{kW - 7, kH - 4 - 30}));
    EXPECT_EQ(plot.line[2].y, kH - 4);
}

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
