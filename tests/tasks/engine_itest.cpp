// The task engine with real channel threads against the real news server,
// with test handlers in place of scans and downloads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "engine_harness.h"
#include "nntp/nntp_connection.h"
#include "support/inn_fixture.h"
#include "tasks/task_thread.h"

namespace vexlo {
namespace {

// An engine with `conn` channels on the anonymous INN server whose downloads
// run `handler`.
class CInnEngine : public test::CEngineHarness {
  public:
    CInnEngine(int conn, TaskHandler handler)
        : CEngineHarness(test::Inn().host, test::Inn().anonPort, conn, std::move(handler)) {
        Open();
    }
    bool RowIs(size_t row, RowIcon icon) { return Queue().Row(row).icon == icon; }
};

// Its handler records where it ran, waits until the test opens the gate (or
// its channel is aborted) and completes.
class CGatedEngine : public CInnEngine {
  public:
    explicit CGatedEngine(int conn)
        : CInnEngine(conn, [this](CTaskThread& channel, CTask& task) {
              {
                  std::lock_guard lock(mutex_);
                  runs_.emplace_back(task.GetSubject(), channel.Index() + 1);
              }
              ++waiting_;
              while (!open && channel.AbortFlag().load() == 0)
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              --waiting_;
              if (!open) return;
              task.SetResult(kResultCompleted);
              task.SetStatusText("done");
          }) {}
    // The tasks started so far: subject and channel number.
    std::vector<std::pair<std::string, int>> Runs() {
        std::lock_guard lock(mutex_);
        return runs_;
    }
    bool Waiting(int n) { return waiting_ >= n; }  // handlers at the gate

    std::atomic<bool> open{false};  // the gate

  private:
    std::atomic<int> waiting_{0};
    std::mutex mutex_;
    std::vector<std::pair<std::string, int>> runs_;  // guarded by mutex_
};

TEST(EngineTest, DispatchPassesOverBusyChannelsAndTakesTheLowestFree) {
    CGatedEngine engine(3);
    // Done messages are handled once each, on the main thread, with the
    // channel that ran the task.
    std::vector<std::pair<std::string, int>> done;
    bool onMain = true;
    engine.controller->onTaskDone = [&, mainThread = std::this_thread::get_id()](const CTask& task,
                                                                                 int channel) {
        done.emplace_back(task.GetSubject(), channel);
        onMain = onMain && std::this_thread::get_id() == mainThread;
    };
    engine.Add(kTaskDecode, 0b001, "one");
    engine.Add(kTaskDecode, 0b010, "two");
    ASSERT_TRUE(engine.RunUntil([&] { return engine.Waiting(2); }));
    // Channels 1 and 2 are busy: {1,2} waits, {3} starts on channel 3.
    engine.Add(kTaskDecode, 0b011, "blocked");
    engine.Add(kTaskDecode, 0b100, "three");
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Waiting(3); }));
    ASSERT_EQ(engine.Runs().size(), 3u);
    EXPECT_EQ(engine.Runs()[2], std::pair(std::string("three"), 3));
    EXPECT_TRUE(engine.RowIs(2, RowIcon::Waiting));

    engine.open = true;
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Idle(); }));
    engine.Add(kTaskDecode, 0b110, "two-or-three");
    ASSERT_TRUE(engine.PumpUntil([&] { return done.size() == 5u && engine.Idle(); }));
    auto runs = engine.Runs();
    EXPECT_EQ(runs[3].first, "blocked");
    EXPECT_EQ(runs[4], std::pair(std::string("two-or-three"), 2));
    std::sort(runs.begin(), runs.end());
    std::sort(done.begin(), done.end());
    EXPECT_EQ(done, runs);
    EXPECT_TRUE(onMain);
}

TEST(EngineTest, TransientFailuresEndAtTheRetryLimitAndRawTasksAtOnce) {
    std::vector<int> sockets;
    CInnEngine engine(1, [&](CTaskThread& channel, CTask& task) {
        CNntpConnection& connection = channel.Connection();
        sockets.push_back(connection.GetSocket());
        EXPECT_EQ(connection.GetBanner().substr(0, 4), "200 ");
        connection.Send("DATE\r\n");  // the connection really works
        char reply[768];
        EXPECT_GT(connection.ReadReply(reply, sizeof reply), 0);
        // Transient (inProgress stays 1); the first attempt leaves its
        // connection open, the later ones close it.
        task.SetStatusText("Socket Read() Error [BODY]");
        if (sockets.size() > 1) connection.Quit();
    });
    engine.context.settings.SetRetries(2);
    CTask* task = engine.Add(kTaskDecode, 1, "flaky");
    CTask* raw = engine.Add(kTaskGet, 1, "raw");  // a type without a handler fails at once
    ASSERT_TRUE(engine.RunUntil([&] { return engine.RowIs(0, RowIcon::Error) && engine.Idle(); }));
    EXPECT_EQ(raw->GetStatusText(), "Task Type Not Implemented Yet");
    EXPECT_TRUE(engine.RowIs(1, RowIcon::Error));
    ASSERT_EQ(sockets.size(), 3u);
    EXPECT_EQ(sockets[1], sockets[0]);  // kept open: no new connection
    EXPECT_EQ(task->GetStatusText(), "RETRY LIMIT EXCEEDED");
    EXPECT_EQ(task->GetInProgress(), 0u);
}

TEST(EngineTest, StopNowAbortsRunningTasksAndStopAfterCurrentLetsThemFinish) {
    CGatedEngine engine(2);
    CTask* a = engine.Add(kTaskDecode, 0b11, "a");
    for (const char* s : {"b", "c"}) engine.Add(kTaskDecode, 0b11, s);
    ASSERT_TRUE(engine.RunUntil([&] { return engine.Waiting(2); }));
    engine.controller->StopNowCommand();
    EXPECT_TRUE(engine.Agent().IsStopping());
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }));
    EXPECT_EQ(a->GetStatusText(), "ABORTED!");
    EXPECT_TRUE(engine.RowIs(0, RowIcon::Waiting));  // result untouched

    // Processing starts again with the aborted tasks; a stop after the
    // current ones lets them run to the end and starts no other.
    ASSERT_TRUE(engine.RunUntil([&] { return engine.Waiting(2); }));
    engine.controller->StopGracefullyCommand();
    EXPECT_TRUE(engine.Agent().IsStopping());
    engine.open = true;
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }));
    EXPECT_EQ(engine.Runs().size(), 4u);  // "c" never started
    EXPECT_TRUE(engine.RowIs(2, RowIcon::Waiting));
    EXPECT_EQ(a->GetResult(), kResultCompleted);
    EXPECT_EQ(a->GetStatusText(), "done");
}

}  // namespace
}  // namespace vexlo
