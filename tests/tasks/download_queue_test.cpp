#include "tasks/download_queue.h"

#include <gtest/gtest.h>

#include <tuple>

#include "core/app_context.h"
#include "platform/file.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

class DownloadQueueTest : public ::testing::Test {
  protected:
    DownloadQueueTest() : context(dir.Path(), box) { context.Start(); }

    void Add(const std::string& subject, uint32_t type = kTaskDecode, bool top = false) {
        CTask task(&context.settings);
        task.SetType(type);
        task.SetSubject(subject);
        task.SetArticles({1, 2});
        task.SetLines({10, 20});
        ASSERT_EQ(queue.AddTask(task, top), 1);
    }
    std::string Order() const {
        std::string order;
        for (size_t i = 0; i < queue.Count(); ++i) order += queue.Row(i).task->GetSubject();
        return order;
    }
    // The number `to` gives its next task.
    uint32_t NextId(CDownloadQueue& to) {
        CTask next(&context.settings);
        next.SetType(kTaskScanNew);
        EXPECT_EQ(to.AddTask(next, false), 1);
        return to.Row(to.Count() - 1).task->GetId();
    }

    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext context;
    CDownloadQueue queue{context};
};

TEST_F(DownloadQueueTest, FinishedRowsAndRequeueAndDeleteSkippingRunningRows) {
    for (const char* s : {"a", "b", "c", "d"}) Add(s);
    const_cast<QueueRow&>(queue.Row(1)).icon = RowIcon::Running;  // "b"
    auto finish = [&](size_t row, uint32_t result) {
        queue.Row(row).task->SetResult(result);
        queue.TaskFinished(queue.Row(row).task.get());
    };
    finish(0, kResultCompleted);
    finish(2, kResultError);
    EXPECT_EQ(std::pair(queue.Row(0).progressText, queue.Row(2).progressText),
              std::pair(std::string("OK"), std::string("ERROR")));
    context.settings.SetOption(OPT_AUTO_REMOVE_DONE, 1);
    finish(3, kResultCompleted);  // removed at once
    EXPECT_EQ(Order(), "abc");

    queue.SelectAll();
    queue.RequeueSelected();
    EXPECT_EQ(std::tuple(queue.Row(2).icon, queue.Row(2).task->GetResult(), queue.Row(1).icon),
              std::tuple(RowIcon::Waiting, kResultUnprocessed, RowIcon::Running));
    box.QueueAnswer(MessageAnswer::Cancel);
    queue.DeleteSelected();
    EXPECT_EQ(queue.Count(), 3u);
    queue.DeleteSelected();
    EXPECT_EQ(Order(), "b");
    EXPECT_EQ(box.Texts().back(), "Delete Selected Item(s)?");
}

TEST_F(DownloadQueueTest, UnknownTypesAreRefusedNumbersContinueAfterALoadAndSavesAreWhole) {
    Add("a");
    Add("b", kTaskScanNew, /*top=*/true);
    Add("c");
    CTask bad(&context.settings);
    bad.SetType(7);
    EXPECT_EQ(queue.AddTask(bad, false), 0);
    bad.SetType(kTaskDecode);
    bad.SetResult(4);
    EXPECT_EQ(queue.AddTask(bad, false), 0);
    EXPECT_EQ(Order(), "bac");
    EXPECT_EQ(queue.Row(0).task->GetId(), 2u);
    queue.Row(1).task->SetId(9);  // numbers 2, 9, 3
    queue.SaveQueueFile();
    EXPECT_EQ(FileSize(queue.QueuePath()), 4 + 3 * (1336 + 16));
    CDownloadQueue loaded(context);
    loaded.LoadQueue();
    ASSERT_EQ(loaded.Count(), 3u);
    EXPECT_EQ(loaded.Row(1).task->GetSubject(), "a");
    EXPECT_EQ(NextId(loaded), 10u);
    EXPECT_TRUE(box.Texts().empty());

    // A failed save leaves the previous file whole; an empty queue removes it.
    const std::string before = test::ReadFileBytes(queue.QueuePath());
    Add("d");
    testing::FailWritesAfter(100);
    queue.SaveQueueFile();
    testing::FailWritesAfter(-1);
    EXPECT_EQ(test::ReadFileBytes(queue.QueuePath()), before);
    EXPECT_EQ(FileSize(queue.QueuePath() + ".tmp"), -1);
    EXPECT_EQ(box.Texts().back(),
              "WARNING: Unable To Write _QUEUE.DAT File!\r\nQueued tasks have not been saved.");
    queue.RemoveAllNotRunning();
    queue.SaveQueueFile();
    EXPECT_EQ(FileSize(queue.QueuePath()), -1);
}

TEST_F(DownloadQueueTest, DamagedFileKeepsEarlierRowsAndACopy) {
    const std::string notAll = "\r\nNot all queued tasks have been loaded.";
    const std::string contents = "WARNING: Unable To Read _QUEUE.DAT File Contents!" + notAll;
    for (const char* s : {"a", "b", "c"}) Add(s);
    queue.SaveQueueFile();
    const std::string whole = test::ReadFileBytes(queue.QueuePath());
    std::string badType = whole;
    badType[4 + 1336 + 16 + 4] = 7;  // of the second record
    const std::tuple<const char*, std::string, size_t, std::string> cases[] = {
        {"cut by one byte", whole.substr(0, whole.size() - 1), 2, contents},
        {"bad type", badType, 1, "WARNING: Error Loading Queued Tasks - Format Error!" + notAll},
        {"no count", std::string("\x01\x00", 2), 0,
         "WARNING: Unable To Read _QUEUE.DAT File For Input!\r\nQueued tasks have not been "
         "loaded."},
        {"bytes behind the last record", whole + "junk", 3, contents}};
    const std::string copy = queue.QueuePath() + ".bad";
    const std::string copyKept = "\r\nA copy of the damaged file was kept as " + copy + ".";
    for (const auto& [what, bytes, kept, warning] : cases) {
        SCOPED_TRACE(what);
        test::WriteFileBytes(queue.QueuePath(), bytes);
        // A command that only reads tells, and changes no file.
        box.Clear();
        CDownloadQueue reader(context);
        reader.LoadQueue(FileAccess::kReadOnly);
        EXPECT_EQ(reader.Count(), kept);
        EXPECT_EQ(box.Texts(), std::vector<std::string>{warning});
        EXPECT_EQ(test::ReadFileBytes(queue.QueuePath()), bytes);
        EXPECT_EQ(FileSize(copy), -1);
        // The owner keeps a copy before the queue file's rule deletes it.
        box.Clear();
        CDownloadQueue loaded(context);
        loaded.LoadQueue();
        EXPECT_EQ(loaded.Count(), kept);
        EXPECT_EQ(box.Texts(), std::vector<std::string>{warning + copyKept});
        EXPECT_EQ(FileSize(queue.QueuePath()), -1);
        EXPECT_EQ(test::ReadFileBytes(copy), bytes);
        RemoveFile(copy);
        // A stopped load leaves the counter at 0: numbers may repeat.
        EXPECT_EQ(NextId(loaded), kept == 3 ? 4u : 1u);
    }
}

TEST_F(DownloadQueueTest, ProgressTextsFollowTheReports) {
    Add("scan", kTaskScanNew);
    Add("dl");
    queue.Row(1).task->SetLines({100, 200, 100});
    for (size_t i = 0; i < 2; ++i) const_cast<QueueRow&>(queue.Row(i)).icon = RowIcon::Running;
    const uint32_t scan = queue.Row(0).task->Key(), dl = queue.Row(1).task->Key();
    context.progress.PublishProgress(
        {scan, kProgressTransferring, kProgressKindScan, 0, 0, 250, 1000});
    context.progress.PublishProgress(
        {dl, kProgressTransferring, kProgressKindDownload, 2, 3, 50, 200});
    queue.RefreshProgress();
    EXPECT_EQ(queue.Row(0).progressText + "|" + queue.Row(1).progressText,
              "25% (250 of 1000)|37% = (2/3) [Line 50/200]");
    context.progress.PublishProgress({scan, kProgressSorting, kProgressKindScan, 0, 0, 250, 1000});
    context.progress.RemoveProgress(dl);
    queue.RefreshProgress();
    // No report: the download's text stays.
    EXPECT_EQ(queue.Row(0).progressText + "|" + queue.Row(1).progressText,
              "(SORTING)|37% = (2/3) [Line 50/200]");
}

TEST_F(DownloadQueueTest, ViewNoticesBracketEveryChangeOfRows) {
    std::string notices;  // "<kind>@<index>:<rows then>", kinds by number
    queue.SetListener([&](const QueueChange& c) {
        notices += std::to_string(c.kind) + "@" + std::to_string(c.index) + ":" +
                   std::to_string(queue.Count()) + " ";
    });
    Add("a");
    Add("b", kTaskDecode, /*top=*/true);
    queue.Select(1, true);
    queue.MoveToTop();
    queue.DeleteSelected();
    queue.SaveQueueFile();
    queue.LoadQueue();  // appends the saved row to the one there
    EXPECT_EQ(notices, "0@0:0 1@0:1 0@0:1 1@0:2 5@1:2 4@0:2 4@1:2 2@0:2 3@0:1 6@0:1 7@0:2 ");
}

}  // namespace
}  // namespace vexlo
