// The header view's model: loading a group's .BIN/.MSG under its lock, the
// filter and new-only rules, sorting, and turning selected rows into tasks.
#include "groups/header_list.h"

#include <array>

#include "group_test_files.h"
#include "tasks/main_controller.h"
#include "tasks/task_handlers.h"

namespace vexlo {
namespace {

using namespace test;

constexpr const char* kGroup = "alt.binaries.test";

class HeaderListTest : public ::testing::Test {
  protected:
    HeaderListTest() : context(dir.Path(), box), controller(context, handlers) {
        context.Start();
        controller.Groups().AddGroup(kGroup, dir / "dl/");
        // .BIN: range 100..200; (new, subject, poster, message id, articles, lines, bytes)
        WriteGroupFile(context.DataPath() + kGroup + ".BIN", 100, 200, [](CRecordWriter& out) {
            WriteBinaryRecord(out, 1, "a.rar (2/2)", "Ann <ann@x>", "<a@x>", {100, 101}, {300, 300},
                              {1, 1});
            WriteBinaryRecord(out, 0, "b.zip (1/1)", "BOB <bob@x>", "<b@x>", {150}, {100}, {1});
            WriteBinaryRecord(out, 1, "c.jpg (3/3)", "Cy <cy@x>", "<c@x>", {198, 199, 200},
                              {10, 20, 30}, {1, 1, 1});
        });
        WriteHeaderFile(context.DataPath() + kGroup + ".MSG", 100, 200,
                        {Hdr{120, "part two", "Dee <d@x>", "<m2@x>", 50, 4000},
                         Hdr{110, "part one", "Dee <d@x>", "<m1@x>", 40, 3000}});
    }
    Strings Subjects() const {
        return Map(list.Rows(), [&](const HeaderRow& r) { return std::string(list.Subject(r)); });
    }

    CTempDir dir;
    CRecordingMessageBox box;
    CAppContext context;
    CTaskHandlers handlers;
    CMainController controller;
    CHeaderList list{context};
};

TEST_F(HeaderListTest, RowsCarryLifeAndNewMarkFollowSortAndFilterAndTellALockedGroup) {
    ASSERT_TRUE(list.OpenGroup(kGroup));
    // By the lowest article in 100..200: 100, 150, 198.
    EXPECT_EQ(Map(list.Rows(), &CHeaderList::LifeText), (Strings{"  0%", " 50%", " 98%"}));
    EXPECT_EQ(list.Rows()[0].lines, 600u);
    EXPECT_EQ(list.Poster(list.Rows()[1]), "BOB <bob@x>");
    EXPECT_EQ(Map(list.Rows(), [](const HeaderRow& r) { return r.isNew; }),
              (std::vector<bool>{true, false, true}));
    // A one-article range is all new; articles outside the range count as its ends.
    const std::pair<std::array<uint32_t, 3>, int> lives[] = {
        {{5, 5, 5}, 100},       {{150, 100, 200}, 50},      {{0, 100, 200}, 0},
        {{201, 100, 200}, 100}, {{0xFFFFFFFFu, 1, 2}, 100}, {{0, 0xFFFFFFF0u, 0xFFFFFFFFu}, 0}};
    for (const auto& [args, life] : lives)
        EXPECT_EQ(LifePercent(args[0], args[1], args[2]), life) << args[0];

    // Sorting alternates per column.
    list.SortByColumn(2);  // Lines ascending: 60, 100, 600
    EXPECT_EQ(Subjects().front(), "c.jpg (3/3)");
    list.SortByColumn(2);  // then descending
    EXPECT_EQ(Subjects().front(), "a.rar (2/2)");
    list.SortByColumn(0);  // Header ascending
    EXPECT_EQ(Subjects(), (Strings{"a.rar (2/2)", "b.zip (1/1)", "c.jpg (3/3)"}));
    // The filter covers the poster and ignores case; new-only keeps the marked rows.
    list.SetFilter("bob");
    ASSERT_TRUE(list.Reload());
    EXPECT_EQ(Subjects(), Strings{"b.zip (1/1)"});
    EXPECT_EQ(list.Rows()[0].index, 1u);  // indexes stay those of the file
    list.SetFilter("");
    list.SetShowOnlyNew(true);
    list.Reload();
    EXPECT_EQ(Subjects(), (Strings{"a.rar (2/2)", "c.jpg (3/3)"}));

    // A locked or unlisted group is reported; the rows stay as they were.
    list.SelectAll();
    context.locks.TryLock(kGroup);  // a scan is rewriting the group
    EXPECT_EQ(list.QueueSelectedBinaries(controller, "", false, 1), 0);
    EXPECT_EQ(box.Texts().back(),
              "Newsgroup is currently locked.\r\nPlease wait until it has finished updating.");
    EXPECT_FALSE(list.Reload());
    EXPECT_EQ(box.Texts().back(),
              "The Newsgroup is currently locked.\r\nPlease wait until it has been updated.");
    EXPECT_EQ(list.Rows().size(), 2u);
    context.locks.Unlock(kGroup);
    controller.Groups().SelectAll();
    controller.Groups().DeleteSelectedGroups();
    EXPECT_EQ(list.QueueSelectedBinaries(controller, "", false, 1), 0);
    EXPECT_EQ(box.Texts().back(), "ERROR: Current Newsgroup Is Not In Group List!");
    EXPECT_EQ(controller.Queue().Count(), 0u);
}

TEST_F(HeaderListTest, SelectedBinariesBecomeOneTaskEachAfterTheDownloadDialog) {
    controller.ScanGroups({kGroup});  // a task already queued
    context.settings.SetConn(4);
    ASSERT_TRUE(list.OpenGroup(kGroup));
    int asked = 0;
    auto dialog = [&](DownloadChoice& choice) {
        ++asked;
        EXPECT_EQ(choice.saveDir, dir / "dl/");
        choice.saveDir = dir / "other/";
        choice.affinity = 0b0110;
        choice.atTop = true;
        return asked > 1;  // the first run is cancelled
    };
    EXPECT_EQ(list.QueueSelectedBinaries(controller, dialog), 0);  // cancelled: nothing stored
    EXPECT_EQ(context.settings.GetAffinity(), 1u);
    EXPECT_EQ(list.QueueSelectedBinaries(controller, dialog), 0);  // no row selected
    EXPECT_EQ(asked, 2);  // the dialog was shown before the selection was looked at
    EXPECT_EQ(context.settings.GetAffinity(), 0b0110u);

    list.Select(0, true);
    list.Select(2, true);
    EXPECT_EQ(list.SelectedLines(), 660u);
    EXPECT_EQ(list.QueueSelectedBinaries(controller, dialog), 2);
    CDownloadQueue& queue = controller.Queue();
    ASSERT_EQ(queue.Count(), 3u);  // in list order, at the top
    const CTask& a = *queue.Row(0).task;
    EXPECT_EQ(a.GetSubject(), "a.rar (2/2)");
    EXPECT_EQ(queue.Row(1).task->GetSubject(), "c.jpg (3/3)");
    EXPECT_EQ(a.GetType(), kTaskDecode);
    EXPECT_EQ(a.GetArticles(), (std::vector<uint32_t>{100, 101}));
    EXPECT_EQ(a.GetSize(), 600u * 45);
    EXPECT_EQ(a.GetSaveDir(), dir / "other/");
    EXPECT_EQ(a.GetAffinity(), 0b0110u);
    // Without the dialog: into the group's directory, at the end.
    context.settings.SetOption(OPT_NO_DOWNLOAD_DIALOG, 1);
    EXPECT_EQ(list.QueueSelectedBinaries(controller, dialog), 2);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(queue.Row(4).task->GetSaveDir(), dir / "dl/");
}

TEST_F(HeaderListTest, JoinedMessagesFollowTheGivenOrder) {
    list.SetMode(HeaderMode::Messages);
    ASSERT_TRUE(list.OpenGroup(kGroup));
    list.SelectAll();
    EXPECT_EQ(list.JoinSelectedMessages(controller, {1, 0}, dir / "out", false, 1), 1);
    const CTask& task = *controller.Queue().Row(0).task;
    EXPECT_EQ(task.GetArticles(), (std::vector<uint32_t>{110, 120}));
    EXPECT_EQ(task.GetLines(), (std::vector<uint32_t>{40, 50}));
    EXPECT_EQ(task.GetSubject(), "part two");  // the last part's subject
    EXPECT_EQ(task.GetSize(), 7000u);
    EXPECT_EQ(task.GetSaveDir(), dir / "out/");

    // Through the dialog: it sees the parts top to bottom while the group is
    // locked, and its order and queue end make the task.
    auto dialog = [&](JoinChoice& parts) {
        EXPECT_TRUE(context.locks.IsHeld(kGroup));
        EXPECT_EQ(parts.subjects, (Strings{"part two", "part one"}));
        std::swap(parts.subjects[0], parts.subjects[1]);
        std::swap(parts.articles[0], parts.articles[1]);
        parts.atTop = true;
        return true;
    };
    EXPECT_EQ(list.JoinSelectedMessages(controller, dialog), 1);
    EXPECT_EQ(controller.Queue().Row(0).task->GetArticles(), (std::vector<uint32_t>{110, 120}));
    EXPECT_EQ(controller.Queue().Row(0).task->GetSaveDir(), dir / "dl/");
    EXPECT_EQ(list.JoinSelectedMessages(controller, [](JoinChoice&) { return false; }), 0);
    EXPECT_FALSE(context.locks.IsHeld(kGroup));
    EXPECT_EQ(controller.Queue().Count(), 2u);
}

}  // namespace
}  // namespace vexlo
