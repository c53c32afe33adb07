#include "tasks/progress_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vexlo {
namespace {

ProgressReport Report(uint32_t task, uint32_t lines) {
    return {task, kProgressTransferring, kProgressKindDownload, 2, 5, lines, lines * 2};
}

TEST(TaskProgressTable, ThirtyThirdTaskIsDroppedUntilASlotIsFree) {
    CTaskProgressTable table;
    for (uint32_t task = 1; task <= 32; ++task) table.PublishProgress(Report(task, task));
    table.PublishProgress(Report(33, 1));
    ProgressReport out;
    EXPECT_FALSE(table.ReadProgress(33, out));
    for (uint32_t task = 1; task <= 32; ++task) {
        ASSERT_TRUE(table.ReadProgress(task, out));
        EXPECT_EQ(out.lines, task);
    }
    table.PublishProgress(Report(32, 99));  // a listed task still updates its own slot
    ASSERT_TRUE(table.ReadProgress(32, out));
    EXPECT_EQ(out.lines, 99u);

    EXPECT_TRUE(table.RemoveProgress(7));
    EXPECT_FALSE(table.RemoveProgress(7));
    EXPECT_FALSE(table.ReadProgress(7, out));
    table.PublishProgress(Report(33, 3));  // takes the freed slot
    ASSERT_TRUE(table.ReadProgress(33, out));
    EXPECT_EQ(out.lines, 3u);
    table.PublishProgress(Report(34, 1));
    EXPECT_FALSE(table.ReadProgress(34, out));
}

TEST(TaskProgressTable, RepublishingKeepsOneSlotPerTask) {
    CTaskProgressTable table;
    table.PublishProgress(Report(5, 1));
    table.PublishProgress(Report(6, 1));
    EXPECT_TRUE(table.RemoveProgress(5));  // leaves a free slot before task 6's
    table.PublishProgress(Report(6, 50));  // must update 6 where it is, not take the free slot
    EXPECT_TRUE(table.RemoveProgress(6));
    ProgressReport out;
    EXPECT_FALSE(table.ReadProgress(6, out));  // no second copy left behind
    EXPECT_FALSE(table.ReadProgress(0, out));
    table.PublishProgress(Report(0, 1));  // task 0 would mark a free slot: ignored
    for (uint32_t task = 1; task <= 32; ++task) table.PublishProgress(Report(task, 1));
    EXPECT_TRUE(table.ReadProgress(32, out));
}

TEST(TaskProgressTable, ReaderNeverSeesHalfAReport) {
    CTaskProgressTable table;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (uint32_t i = 1; !stop; ++i) {
            table.PublishProgress({1, i, i, i, i, i, i});
        }
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
