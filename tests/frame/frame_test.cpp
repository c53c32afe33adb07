// The main window's rules without a window: caption, status panes, command
// states and the docking bars' saved sizes. (The rate texts are seen in the
// graph plot's test.)
#include <gtest/gtest.h>

#include "frame/bar_sizes.h"
#include "frame/commands.h"
#include "frame/frame_texts.h"
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

}  // namespace
}  // namespace vexlo
