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

using test::CEngineHarness;
using test::CGate;

struct Started {
    std::mutex mutex;
    std::vector<std::pair<std::string, int>> runs;  // subject, channel number
    void Add(const CTask& task, int channel) {
        std::lock_guard lock(mutex);
        runs.emplace_back(task.GetSubject(), channel);
    }
    std::vector<std::pair<std::string, int>> Get() {
        std::lock_guard lock(mutex);
        return runs;
    }
};

// A handler that records where it ran, waits at the gate and completes.
TaskHandler GatedHandler(Started& started, CGate& gate) {
    return [&](CTaskThread& channel, CTask& task) {
        started.Add(task, channel.Index() + 1);
        if (!gate.Wait(channel.AbortFlag())) return;
        task.SetResult(kResultCompleted);
        task.SetStatusText("done");
    };
}

TEST(EngineTest, DispatchPassesOverBusyChannelsToALaterTask) {
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 3);
    Started started;
    CGate gate;
    engine.handlers.Register(kTaskDecode, GatedHandler(started, gate));
    engine.Open();
    engine.Add(kTaskDecode, 0b001, "one");
    engine.Add(kTaskDecode, 0b010, "two");
    engine.controller->StartCommand();
    ASSERT_TRUE(gate.WaitForWaiting(2));
    // Channels 1 and 2 are busy: {1,2} waits, {3} starts on channel 3.
    engine.Add(kTaskDecode, 0b011, "blocked");
    engine.Add(kTaskDecode, 0b100, "three");
    ASSERT_TRUE(gate.WaitForWaiting(3));
    auto runs = started.Get();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2], std::make_pair(std::string("three"), 3));
    EXPECT_EQ(engine.Queue().Row(2).icon, RowIcon::Waiting);

    gate.Open();
    ASSERT_TRUE(engine.PumpUntil(
        [&] { return engine.Queue().CountWaiting() == 0 && engine.Agent().BusyMask() == 0; }));
    runs = started.Get();
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[3].first, "blocked");
    for (size_t i = 0; i < engine.Queue().Count(); ++i)
        EXPECT_EQ(engine.Queue().Row(i).icon, RowIcon::Completed);
}

TEST(EngineTest, LowestAllowedFreeChannelIsChosen) {
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 3);
    Started started;
    CGate gate;
    gate.Open();
    engine.handlers.Register(kTaskDecode, GatedHandler(started, gate));
    engine.Open();
    engine.Add(kTaskDecode, 0b110, "two-or-three");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().BusyMask() == 0; }));
    ASSERT_EQ(started.Get().size(), 1u);
    EXPECT_EQ(started.Get()[0].second, 2);
}

TEST(EngineTest, TransientFailuresAreRetriedUpToTheLimit) {
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 1);
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
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 1);
    std::vector<int> sockets;
    std::vector<std::string> banners;
    int calls = 0;
    engine.handlers.Register(kTaskDecode, [&](CTaskThread& channel, CTask& task) {
        CNntpConnection& connection = channel.Connection();
        sockets.push_back(connection.GetSocket());
        banners.emplace_back(connection.GetBanner());
        // The connection really works: the server answers a command.
        connection.Send("DATE\r\n");
        char reply[768];
        EXPECT_GT(connection.ReadReply(reply, sizeof reply), 0);
        ++calls;
        if (calls == 1) return;                          // attempt 1: transient, connection open
        if (calls == 2) return void(connection.Quit());  // attempt 2: transient, closed
        task.SetResult(kResultCompleted);
    });
    engine.Open();
    engine.Add(kTaskDecode, 1, "reuse");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] {
        return engine.Queue().Row(0).icon != RowIcon::Running && engine.Agent().BusyMask() == 0;
    }));
    ASSERT_EQ(calls, 3);
    EXPECT_NE(sockets[0], CNntpConnection::kInvalidSocket);
    EXPECT_EQ(sockets[1], sockets[0]);  // kept open: no new connection
    EXPECT_NE(banners[0].find("200"), std::string::npos);
    EXPECT_EQ(engine.Queue().Row(0).icon, RowIcon::Completed);
}

TEST(EngineTest, StopAfterCurrentLetsRunningTasksFinish) {
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 2);
    Started started;
    CGate gate;
    engine.handlers.Register(kTaskDecode, GatedHandler(started, gate));
    engine.Open();
    for (const char* s : {"a", "b", "c"}) engine.Add(kTaskDecode, 0b11, s);
    engine.controller->StartCommand();
    ASSERT_TRUE(gate.WaitForWaiting(2));
    engine.controller->StopGracefullyCommand();
    EXPECT_TRUE(engine.Agent().IsStopping());
    gate.Open();
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }));
    EXPECT_EQ(started.Get().size(), 2u);  // "c" never started
    EXPECT_EQ(engine.Queue().Row(2).icon, RowIcon::Waiting);
    EXPECT_EQ(engine.Queue().Row(0).task->GetStatusText(), "done");
}

TEST(EngineTest, StopNowAbortsRunningTasks) {
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 2);
    Started started;
    CGate gate;  // never opened
    engine.handlers.Register(kTaskDecode, GatedHandler(started, gate));
    engine.Open();
    CTask* a = engine.Add(kTaskDecode, 0b11, "a");
    engine.Add(kTaskDecode, 0b11, "b");
    engine.controller->StartCommand();
    ASSERT_TRUE(gate.WaitForWaiting(2));
    engine.controller->StopNowCommand();
    EXPECT_TRUE(engine.Agent().IsStopping());
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }));
    EXPECT_EQ(a->GetStatusText(), "ABORTED!");
    EXPECT_EQ(engine.Queue().Row(0).icon, RowIcon::Waiting);  // result untouched
    // Processing can start again; the aborted tasks run to the end.
    gate.Open();
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil(
        [&] { return engine.Queue().CountWaiting() == 0 && engine.Agent().BusyMask() == 0; }));
    EXPECT_EQ(a->GetResult(), kResultCompleted);
}

TEST(EngineTest, DoneMessagesAreHandledOnceEachOnTheMainThread) {
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 4);
    engine.handlers.Register(kTaskDecode, [&](CTaskThread& channel, CTask& task) {
        task.SetResult(kResultCompleted);
        task.SetStatusText("channel " + std::to_string(channel.Index() + 1));
    });
    std::vector<std::string> done;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMain = true;
    engine.Open();
    engine.controller->onTaskDone = [&](const CTask& task, int channel) {
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
    EXPECT_EQ(engine.Agent().BusyMask(), 0u);
}

TEST(EngineTest, UnknownAndRawTaskTypesFailAtOnce) {
    CEngineHarness engine(test::Inn().host, test::Inn().anonPort, 1);
    engine.Open();
    CTask* raw = engine.Add(kTaskGet, 1, "raw");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Queue().Row(0).icon == RowIcon::Error; }));
    EXPECT_EQ(raw->GetStatusText(), "Task Type Not Implemented Yet");
}

}  // namespace
}  // namespace vexlo
