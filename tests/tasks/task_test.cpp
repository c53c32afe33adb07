// A task: its fields' rules, text forms and queue record, and the table of
// its progress reports.
#include "tasks/task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "core/app_settings.h"
#include "core/named_locks.h"
#include "platform/file.h"
#include "platform/record_file.h"
#include "support/temp_dir.h"
#include "tasks/progress_table.h"

namespace vexlo {
namespace {

// Every field the queue record stores.
auto StoredFields(const CTask& t) {
    return std::tuple(t.GetId(), t.GetType(), t.GetResult(), t.GetInProgress(), t.GetAffinity(),
                      t.GetSize(), t.GetStatusText(), t.GetGroupName(), t.GetSaveDir(),
                      t.GetSubject(), t.GetOutputFile(), t.GetPartsFetched(), t.GetBytesWritten(),
                      t.GetArticles(), t.GetLines());
}

TEST(Task, TextFieldsCutOrRefuseLongTextsAndTextForms) {
    CTask task;
    EXPECT_EQ(task.SetStatusText(std::string(300, 's')), 0);
    EXPECT_EQ(task.GetStatusText(), std::string(258, 's') + "+");
    EXPECT_EQ(task.SetStatusText(std::string(259, 's')), 1);
    EXPECT_EQ(task.GetStatusText().size(), 259u);
    EXPECT_EQ(task.SetSubject(std::string(300, 'x')), 0);
    EXPECT_EQ(task.GetSubject(), std::string(258, 'x') + "+");
    task.SetGroupName("old.name");
    EXPECT_EQ(task.SetGroupName(std::string(300, 'g')), 0);
    EXPECT_EQ(task.GetGroupName(), "");  // refused texts leave the field empty

    task.SetType(kTaskScanNew);
    EXPECT_STREQ(task.TypeName(), "SCAN NEW");
    EXPECT_EQ(task.SizeText(), "n/a");
    task.SetType(kTaskDecode);
    for (auto [size, text] :
         {std::pair{1023u, "~0.00 K"}, {1572864u, "~1.50 MB"}, {1u << 30, "~1.00 GB"}}) {
        task.SetSize(size);
        EXPECT_EQ(task.SizeText(), text);
    }
    task.SetType(9);
    task.SetResult(7);
    EXPECT_STREQ(task.TypeLongName(), "<UNKNOWN>");
    EXPECT_STREQ(task.ResultLongName(), "<UNKNOWN>");
    EXPECT_STREQ(task.ResultText(), "");
    EXPECT_EQ(ProgressPercent(11, 10), 100);
    EXPECT_EQ(PartProgressPercent({}, 1, 50), 0);
}

TEST(Task, AffinityProgressRecordRoundTripLayoutAndCopy) {
    test::CTempDir dir;
    CNamedLocks locks;
    CAppSettings settings;
    settings.SetConn(4);
    CTask task(&settings);
    EXPECT_EQ(task.SetAffinity(0b100001), 1);  // reduced to the configured channels
    EXPECT_EQ(task.GetAffinity(), 1u);
    EXPECT_EQ(task.SetAffinity(0b100000), 0);  // channel 6 does not exist
    EXPECT_EQ(task.GetAffinity(), 1u);
    task.SetAffinity(0b1101);
    EXPECT_EQ(task.AffinityText(), "1/3/4");

    task.SetType(kTaskDecode);
    task.SetGroupName("alt.binaries.test");
    task.SetSaveDir("/tmp/dl/");
    task.SetSubject("file.zip (1/3)");
    task.SetArticles({100, 101, 102});
    task.SetLines({3000, 3001, 3002});
    EXPECT_EQ(task.SetProgress(locks, 3, 999), 1);  // 0 to the part count
    EXPECT_EQ(task.SetProgress(locks, 4, 1), 0);
    EXPECT_EQ(task.SetProgress(locks, -1, 1), 0);
    EXPECT_EQ(task.GetPartsFetched(), 3u);
    EXPECT_EQ(task.GetBytesWritten(), 999u);
    EXPECT_FALSE(locks.IsHeld(kTaskProgressLock));

    // Every stored field goes into the queue record and into a copy.
    task.SetId(42);
    task.SetResult(kResultPartial);
    task.SetInProgress(1);
    task.SetSize(123456);
    task.SetStatusText("Connecting ...");
    task.SetOutputFile("/tmp/dl/file.zip");
    task.SetAssigned(1);  // neither is stored
    task.SetBinCount(5);
    task.SetMsgCount(9);
    CTask copy;  // takes everything but Assigned
    copy.CopyFrom(task);
    EXPECT_EQ(StoredFields(copy), StoredFields(task));
    EXPECT_EQ(std::tuple(copy.GetMsgCount(), copy.GetAssigned()), std::tuple(9u, 0u));
    EXPECT_NE(copy.Key(), task.Key());

    std::string record;
    task.WriteRecord(locks, record);
    ASSERT_EQ(record.size(), 1336u + 8 * 3);
    test::WriteFileBytes(dir / "rec", record);
    test::WriteFileBytes(dir / "short", record.substr(0, record.size() - 2));
    CFile file;
    CTask back(&settings);
    ASSERT_TRUE(file.Open(dir / "rec", CFile::Mode::Read));
    CRecordReader whole(file);
    ASSERT_EQ(back.ReadRecord(whole), 1);
    EXPECT_EQ(StoredFields(back), StoredFields(task));
    EXPECT_EQ(back.GetAssigned() + back.GetBinCount(), 0u);
    // A file that ends inside the line counts is refused.
    ASSERT_TRUE(file.Open(dir / "short", CFile::Mode::Read));
    CRecordReader cut(file);
    EXPECT_EQ(back.ReadRecord(cut), 0);
}

// The progress table: the reports the channels publish and the queue reads.
ProgressReport Report(uint32_t task, uint32_t lines) {
    return {task, kProgressTransferring, kProgressKindDownload, 2, 5, lines, lines * 2};
}

// The lines of the task's report; -1 when the table has none.
int64_t Lines(CTaskProgressTable& table, uint32_t task) {
    ProgressReport out;
    return table.ReadProgress(task, out) ? int64_t{out.lines} : -1;
}

TEST(TaskProgressTable, OneSlotPerTaskAndTheThirtyThirdIsDroppedUntilASlotIsFree) {
    CTaskProgressTable table;
    table.PublishProgress(Report(0, 1));  // task 0 would mark a free slot: ignored
    EXPECT_EQ(Lines(table, 0), -1);
    for (uint32_t task = 1; task <= 33; ++task) table.PublishProgress(Report(task, task));
    EXPECT_EQ(Lines(table, 33), -1);
    for (uint32_t task = 1; task <= 32; ++task) EXPECT_EQ(Lines(table, task), task);
    table.PublishProgress(Report(32, 99));  // a listed task still updates its own slot
    EXPECT_EQ(Lines(table, 32), 99);
    EXPECT_TRUE(table.RemoveProgress(7));
    EXPECT_FALSE(table.RemoveProgress(7));
    EXPECT_EQ(Lines(table, 7), -1);
    // Task 8 must update its slot where it is, not take task 7's free one
    // before it, which the thirty-third task then takes.
    table.PublishProgress(Report(8, 50));
    table.PublishProgress(Report(33, 3));
    table.PublishProgress(Report(34, 1));
    EXPECT_EQ(std::tuple(Lines(table, 8), Lines(table, 33), Lines(table, 34)),
              std::tuple(50, 3, -1));
    EXPECT_TRUE(table.RemoveProgress(8));
    EXPECT_EQ(Lines(table, 8), -1);  // no second copy left behind
}

TEST(TaskProgressTable, ReaderNeverSeesHalfAReport) {
    CTaskProgressTable table;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (uint32_t i = 1; !stop; ++i) table.PublishProgress({1, i, i, i, i, i, i});
    });
    ProgressReport out;
    for (int n = 0; n < 20'000; ++n) {
        if (!table.ReadProgress(1, out)) continue;
        ASSERT_TRUE(out.state == out.kind && out.kind == out.part && out.part == out.parts &&
                    out.parts == out.lines && out.lines == out.expectedLines);
    }
    stop = true;
    writer.join();
}

}  // namespace
}  // namespace vexlo
