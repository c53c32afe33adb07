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

// An engine on the anonymous INN server whose download handler records where
// it ran, waits at the gate (or until its channel is aborted) and completes.
class CGatedEngine : public test::CEngineHarness {
  public:
    explicit CGatedEngine(int conn) : CEngineHarness(test::Inn().host, test::Inn().anonPort, conn) {
        handlers.Register(kTaskDecode, [this](CTaskThread& channel, CTask& task) {
            {
                std::lock_guard lock(mutex_);
                runs_.emplace_back(task.GetSubject(), channel.Index() + 1);
            }
            if (!gate.Wait(channel.AbortFlag())) return;
            task.SetResult(kResultCompleted);
            task.SetStatusText("done");
        });
        Open();
    }
    // The tasks started so far: subject and channel number.
    std::vector<std::pair<std::string, int>> Runs() {
        std::lock_guard lock(mutex_);
        return runs_;
    }
    bool PumpUntilIdle() {
        return PumpUntil([&] { return Queue().CountWaiting() == 0 && Agent().BusyMask() == 0; });
    }

    test::CGate gate;

  private:
    std::mutex mutex_;
    std::vector<std::pair<std::string, int>> runs_;  // guarded by mutex_
};

TEST(EngineTest, DispatchPassesOverBusyChannelsAndTakesTheLowestFree) {
    CGatedEngine engine(3);
    engine.Add(kTaskDecode, 0b001, "one");
    engine.Add(kTaskDecode, 0b010, "two");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.gate.WaitForWaiting(2));
    // Channels 1 and 2 are busy: {1,2} waits, {3} starts on channel 3.
    engine.Add(kTaskDecode, 0b011, "blocked");
    engine.Add(kTaskDecode, 0b100, "three");
    ASSERT_TRUE(engine.gate.WaitForWaiting(3));
    ASSERT_EQ(engine.Runs().size(), 3u);
    EXPECT_EQ(engine.Runs()[2], std::pair(std::string("three"), 3));
    EXPECT_EQ(engine.Queue().Row(2).icon, RowIcon::Waiting);

    engine.gate.Open();
    ASSERT_TRUE(engine.PumpUntilIdle());
    engine.Add(kTaskDecode, 0b110, "two-or-three");
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Runs().size() == 5u; }));
    ASSERT_TRUE(engine.PumpUntilIdle());
    EXPECT_EQ(engine.Runs()[3].first, "blocked");
    EXPECT_EQ(engine.Runs()[4], std::pair(std::string("two-or-three"), 2));
    for (size_t i = 0; i < engine.Queue().Count(); ++i)
        EXPECT_EQ(engine.Queue().Row(i).icon, RowIcon::Completed) << i;
}

TEST(EngineTest, TransientFailuresAreRetriedUpToTheLimit) {
    test::CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 1);
    engine.context.settings.SetRetries(2);
    std::atomic<int> attempts{0};
    engine.handlers.Register(kTaskDecode, [&](CTaskThread& channel, CTask& task) {
        ++attempts;
        task.SetStatusText("Socket Read() Error [BODY]");
        channel.Connection().Quit();  // transient: inProgress stays 1
    });
    engine.Open();
    CTask* task = engine.Add(kTaskDecode, 1, "flaky");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Queue().Row(0).icon == RowIcon::Error; }));
    EXPECT_EQ(attempts.load(), 3);
    EXPECT_EQ(task->GetStatusText(), "RETRY LIMIT EXCEEDED");
    EXPECT_EQ(task->GetResult(), kResultError);
    EXPECT_EQ(task->GetInProgress(), 0u);
}

TEST(EngineTest, ChannelReconnectsOnlyWhenItsConnectionIsClosed) {
    test::CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 1);
    std::vector<int> sockets;
    engine.handlers.Register(kTaskDecode, [&](CTaskThread& channel, CTask& task) {
        CNntpConnection& connection = channel.Connection();
        sockets.push_back(connection.GetSocket());
        EXPECT_EQ(connection.GetBanner().substr(0, 4), "200 ");
        connection.Send("DATE\r\n");  // the connection really works
        char reply[768];
        EXPECT_GT(connection.ReadReply(reply, sizeof reply), 0);
        if (sockets.size() == 1) return;  // attempt 1: transient, connection left open
        if (sockets.size() == 2) return void(connection.Quit());  // attempt 2: closed
        task.SetResult(kResultCompleted);
    });
    engine.Open();
    engine.Add(kTaskDecode, 1, "reuse");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] {
        return engine.Queue().Row(0).icon != RowIcon::Running && engine.Agent().BusyMask() == 0;
    }));
    ASSERT_EQ(sockets.size(), 3u);
    EXPECT_NE(sockets[0], CNntpConnection::kInvalidSocket);
    EXPECT_EQ(sockets[1], sockets[0]);  // kept open: no new connection
    EXPECT_EQ(engine.Queue().Row(0).icon, RowIcon::Completed);
}

TEST(EngineTest, StopAfterCurrentLetsRunningTasksFinish) {
    CGatedEngine engine(2);
    for (const char* s : {"a", "b", "c"}) engine.Add(kTaskDecode, 0b11, s);
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.gate.WaitForWaiting(2));
    engine.controller->StopGracefullyCommand();
    EXPECT_TRUE(engine.Agent().IsStopping());
    engine.gate.Open();
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }));
    EXPECT_EQ(engine.Runs().size(), 2u);  // "c" never started
    EXPECT_EQ(engine.Queue().Row(2).icon, RowIcon::Waiting);
    EXPECT_EQ(engine.Queue().Row(0).task->GetStatusText(), "done");
}

TEST(EngineTest, StopNowAbortsRunningTasks) {
    CGatedEngine engine(2);
    CTask* a = engine.Add(kTaskDecode, 0b11, "a");
    engine.Add(kTaskDecode, 0b11, "b");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.gate.WaitForWaiting(2));
    engine.controller->StopNowCommand();
    EXPECT_TRUE(engine.Agent().IsStopping());
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }));
    EXPECT_EQ(a->GetStatusText(), "ABORTED!");
    EXPECT_EQ(engine.Queue().Row(0).icon, RowIcon::Waiting);  // result untouched
    // Processing can start again; the aborted tasks run to the end.
    engine.gate.Open();
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntilIdle());
    EXPECT_EQ(a->GetResult(), kResultCompleted);
}

TEST(EngineTest, DoneMessagesAreHandledOnceEachOnTheMainThread) {
    test::CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 4);
    engine.handlers.Register(kTaskDecode, [&](CTaskThread& channel, CTask& task) {
        task.SetResult(kResultCompleted);
        task.SetStatusText("channel " + std::to_string(channel.Index() + 1));
    });
    engine.Open();
    std::vector<std::string> done;
    bool onMain = true;
    engine.controller->onTaskDone = [&, mainThread = std::this_thread::get_id()](const CTask& task,
                                                                                 int channel) {
        done.push_back(task.GetSubject());
        onMain = onMain && std::this_thread::get_id() == mainThread;
        EXPECT_EQ(task.GetStatusText(), "channel " + std::to_string(channel));
    };
    for (int i = 0; i < 12; ++i) engine.Add(kTaskDecode, 0xf, "t" + std::to_string(i));
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] { return done.size() == 12u; }));
    EXPECT_TRUE(onMain);
    std::sort(done.begin(), done.end());
    EXPECT_EQ(std::unique(done.begin(), done.end()), done.end());
}

TEST(EngineTest, RawTaskTypeFailsAtOnce) {
    test::CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 1);
    engine.Open();
    CTask* raw = engine.Add(kTaskGet, 1, "raw");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Queue().Row(0).icon == RowIcon::Error; }));
    EXPECT_EQ(raw->GetStatusText(), "Task Type Not Implemented Yet");
}

}  // namespace
}  // namespace vexlo
