#include "tasks/download_queue.h"

#include <gtest/gtest.h>

#include "core/app_context.h"
#include "platform/file.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/task_agent.h"
#include "tasks/task_handlers.h"

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
    void SelectSubjects(const std::string& subjects) {
        for (size_t i = 0; i < queue.Count(); ++i)
            queue.Select(i, subjects.find(queue.Row(i).task->GetSubject()) != std::string::npos);
    }

    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext context;
    CDownloadQueue queue{context};
};

TEST_F(DownloadQueueTest, AddRefusesUnknownTypesAndNumbersTasks) {
    Add("a");
    Add("b", kTaskScanNew, /*top=*/true);
    CTask bad(&context.settings);
    bad.SetType(7);
    EXPECT_EQ(queue.AddTask(bad, false), 0);
    bad.SetType(kTaskDecode);
    bad.SetResult(4);
    EXPECT_EQ(queue.AddTask(bad, false), 0);
    EXPECT_EQ(Order(), "ba");
    EXPECT_EQ(queue.Row(0).task->GetId(), 2u);
    EXPECT_EQ(queue.Row(1).task->GetId(), 1u);
}

TEST_F(DownloadQueueTest, MovesKeepBlocksTogether) {
    for (const char* s : {"W", "X", "Y", "Z"}) Add(s);
    SelectSubjects("XY");
    queue.MoveUp();
    EXPECT_EQ(Order(), "XYWZ");
    queue.MoveUp();  // already at the edge
    EXPECT_EQ(Order(), "XYWZ");
    queue.MoveToBottom();
    EXPECT_EQ(Order(), "WZXY");
    queue.MoveDown();
    EXPECT_EQ(Order(), "WZXY");
    SelectSubjects("Z");
    queue.MoveToTop();
    EXPECT_EQ(Order(), "ZWXY");
    EXPECT_TRUE(queue.Row(0).selected);
}

TEST_F(DownloadQueueTest, DeleteAndRequeueSkipRunningRows) {
    for (const char* s : {"a", "b", "c"}) Add(s);
    // Make "b" running and "c" failed.
    queue.Select(1, true);
    const_cast<QueueRow&>(queue.Row(1)).icon = RowIcon::Running;
    queue.Row(2).task->SetResult(kResultError);
    queue.TaskFinished(queue.Row(2).task.get());
    EXPECT_EQ(queue.Row(2).icon, RowIcon::Error);
    EXPECT_EQ(queue.Row(2).progressText, "ERROR");

    queue.SelectAll();
    queue.RequeueSelected();
    EXPECT_EQ(queue.Row(2).icon, RowIcon::Waiting);
    EXPECT_EQ(queue.Row(2).task->GetResult(), kResultUnprocessed);
    EXPECT_EQ(queue.Row(1).icon, RowIcon::Running);

    box.QueueAnswer(MessageAnswer::Cancel);
    queue.DeleteSelected();
    EXPECT_EQ(queue.Count(), 3u);
    queue.DeleteSelected();
    EXPECT_EQ(Order(), "b");
    EXPECT_EQ(box.Texts().back(), "Delete Selected Item(s)?");
}

TEST_F(DownloadQueueTest, CompletedTasksAreRemovedWhenAutoRemoveIsOn) {
    Add("a");
    Add("b");
    queue.Row(0).task->SetResult(kResultCompleted);
    queue.TaskFinished(queue.Row(0).task.get());
    EXPECT_EQ(queue.Row(0).progressText, "OK");
    context.settings.SetOption(OPT_AUTO_REMOVE_DONE, 1);
    queue.Row(1).task->SetResult(kResultCompleted);
    queue.TaskFinished(queue.Row(1).task.get());
    EXPECT_EQ(Order(), "a");
}

TEST_F(DownloadQueueTest, SaveAndLoadContinueTaskNumbers) {
    Add("a");
    Add("b");
    Add("c");
    queue.Row(1).task->SetId(9);  // numbers 1, 9, 3
    queue.SaveQueueFile();
    EXPECT_EQ(FileSize(queue.QueuePath()), 4 + 3 * (1336 + 16));

    CDownloadQueue loaded(context);
    loaded.LoadQueue();
    ASSERT_EQ(loaded.Count(), 3u);
    EXPECT_EQ(loaded.Row(1).task->GetSubject(), "b");
    CTask next(&context.settings);
    next.SetType(kTaskScanNew);
    loaded.AddTask(next, false);
    EXPECT_EQ(loaded.Row(3).task->GetId(), 10u);
    EXPECT_TRUE(box.Texts().empty());
}

TEST_F(DownloadQueueTest, TruncatedFileKeepsEarlierRowsAndIsDeleted) {
    for (const char* s : {"a", "b", "c"}) Add(s);
    queue.SaveQueueFile();
    std::string bytes = test::ReadFileBytes(queue.QueuePath());
    test::WriteFileBytes(queue.QueuePath(), bytes.substr(0, bytes.size() - 100));

    CDownloadQueue loaded(context);
    loaded.LoadQueue();
    EXPECT_EQ(loaded.Count(), 2u);
    ASSERT_EQ(box.Texts().size(), 1u);
    EXPECT_EQ(box.Texts()[0],
              "WARNING: Unable To Read _QUEUE.DAT File Contents!\r\nNot all queued tasks have "
              "been loaded.");
    EXPECT_EQ(FileSize(queue.QueuePath()), -1);
    // A stopped load leaves the counter at 0: numbers may repeat.
    CTask next(&context.settings);
    next.SetType(kTaskScanNew);
    loaded.AddTask(next, false);
    EXPECT_EQ(loaded.Row(2).task->GetId(), 1u);
}

TEST_F(DownloadQueueTest, BadTypeStopsLoadWithFormatError) {
    Add("a");
    Add("b");
    queue.SaveQueueFile();
    std::string bytes = test::ReadFileBytes(queue.QueuePath());
    size_t second = 4 + 1336 + 16;
    bytes[second + 4] = 7;  // the second record's type
    test::WriteFileBytes(queue.QueuePath(), bytes);

    CDownloadQueue loaded(context);
    loaded.LoadQueue();
    EXPECT_EQ(loaded.Count(), 1u);
    EXPECT_EQ(box.Texts().at(0),
              "WARNING: Error Loading Queued Tasks - Format Error!\r\nNot all queued tasks have "
              "been loaded.");
    EXPECT_EQ(FileSize(queue.QueuePath()), -1);

    test::WriteFileBytes(queue.QueuePath(), "\x01\x00");
    CDownloadQueue tiny(context);
    tiny.LoadQueue();
    EXPECT_EQ(box.Texts().back(),
              "WARNING: Unable To Read _QUEUE.DAT File For Input!\r\nQueued tasks have not been "
              "loaded.");
}

TEST_F(DownloadQueueTest, FailedSaveLeavesPreviousFileWhole) {
    Add("a");
    queue.SaveQueueFile();
    std::string before = test::ReadFileBytes(queue.QueuePath());
    Add("b");
    testing::FailWritesAfter(100);
    queue.SaveQueueFile();
    testing::FailWritesAfter(-1);
    EXPECT_EQ(test::ReadFileBytes(queue.QueuePath()), before);
    EXPECT_EQ(box.Texts().back(),
              "WARNING: Unable To Write _QUEUE.DAT File!\r\nQueued tasks have not been saved.");
    EXPECT_EQ(FileSize(queue.QueuePath() + ".tmp"), -1);

    queue.RemoveAllNotRunning();
    queue.SaveQueueFile();  // an empty queue removes the file
    EXPECT_EQ(FileSize(queue.QueuePath()), -1);
}

TEST_F(DownloadQueueTest, ProgressTextsFollowTheReports) {
    Add("scan", kTaskScanNew);
    Add("dl");
    queue.Row(1).task->SetLines({100, 200, 100});
    for (size_t i = 0; i < 2; ++i) const_cast<QueueRow&>(queue.Row(i)).icon = RowIcon::Running;
    context.progress.PublishProgress(
        {queue.Row(0).task->Key(), kProgressTransferring, kProgressKindScan, 0, 0, 250, 1000});
    context.progress.PublishProgress(
        {queue.Row(1).task->Key(), kProgressTransferring, kProgressKindDownload, 2, 3, 50, 200});
    queue.RefreshProgress();
    EXPECT_EQ(queue.Row(0).progressText, "25% (250 of 1000)");
    EXPECT_EQ(queue.Row(1).progressText, "37% = (2/3) [Line 50/200]");
    context.progress.PublishProgress(
        {queue.Row(0).task->Key(), kProgressSorting, kProgressKindScan, 0, 0, 250, 1000});
    context.progress.RemoveProgress(queue.Row(1).task->Key());
    queue.RefreshProgress();
    EXPECT_EQ(queue.Row(0).progressText, "(SORTING)");
    EXPECT_EQ(queue.Row(1).progressText, "37% = (2/3) [Line 50/200]");  // no report: unchanged
}

}  // namespace
}  // namespace vexlo
