#include "tasks/progress_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

namespace vexlo {
namespace {

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
