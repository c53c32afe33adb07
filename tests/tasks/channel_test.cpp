// Channels against servers that cannot serve, and the agent's states and the
// close rule without a server.
#include <gtest/gtest.h>

#include <atomic>

#include "engine_harness.h"
#include "platform/file.h"
#include "support/nntp_relay.h"
#include "support/script_peer.h"
#include "tasks/task_thread.h"

namespace vexlo {
namespace {

TEST(ChannelTest, DroppedConnectionsAreRetriedWithPausesUntilAborted) {
    // A relay to a port where nothing listens drops every connection at once,
    // as a server at its connection limit does.
    test::CNntpRelay server(test::UnusedLoopbackPort());
    std::atomic<int> handlerCalls{0};
    test::CEngineHarness engine("127.0.0.1", server.Port(), 1,
                                [&](CTaskThread&, CTask&) { ++handlerCalls; });
    engine.Open();
    CTask* task = engine.Add(kTaskDecode, 1, "never connects");
    EXPECT_FALSE(engine.RunUntil([] { return false; }, 1600));  // runs for 1.6 s
    // Attempts at 0, 0.25, 0.75, 1.75 s: a handful, not thousands.
    EXPECT_TRUE(server.Connections() >= 2 && server.Connections() <= 5) << server.Connections();
    engine.controller->StopNowCommand();  // stops within a second, pauses or not
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }, 1000));
    EXPECT_EQ(task->GetStatusText(), "ABORTED!");
    EXPECT_EQ(handlerCalls.load(), 0);
}

TEST(ChannelTest, UnresolvableServerEndsAfterTheRetries) {
    test::CEngineHarness engine("no-such-host.invalid", 119, 1);
    engine.context.settings.SetRetries(1);
    engine.Open();
    CTask* task = engine.Add(kTaskDecode, 1, "nowhere");
    ASSERT_TRUE(engine.RunUntil([&] { return engine.Idle(); }));
    EXPECT_EQ(task->GetResult(), kResultError);
    EXPECT_EQ(task->GetStatusText(), "RETRY LIMIT EXCEEDED");
}

TEST(ChannelTest, AgentStatesConnChangeAndTheCloseRule) {
    test::CEngineHarness engine("127.0.0.1", 1, 2);
    engine.Open();
    CTaskAgent& agent = engine.Agent();
    EXPECT_TRUE(agent.IsStopped());
    EXPECT_EQ(agent.FreeChannels(), 0u);  // nothing is handed out while stopped
    // Stops while stopped and a second start change nothing (braces: in order).
    EXPECT_EQ((std::vector{agent.StopNow(), agent.StopAfterCurrent(), agent.StartProcessing(),
                           agent.StartProcessing()}),
              (std::vector{0, 0, 1, 0}));
    EXPECT_EQ(agent.FreeChannels(), 3u);
    EXPECT_EQ(agent.StopAfterCurrent(), 1);
    EXPECT_TRUE(agent.IsStopped());  // no channel was busy
    engine.context.settings.SetConn(4);
    engine.controller->ApplyConnChange(2);
    EXPECT_TRUE(agent.ChannelCount() == 4 && agent.IsStopped());

    // Close is refused while tasks are listed and processing is on, and then
    // stops and saves nothing.
    engine.Add(kTaskDecode, 1, "listed");
    agent.StartProcessing();  // running, but nothing dispatched yet
    EXPECT_FALSE(engine.controller->RequestClose());
    EXPECT_EQ(engine.box.Texts().back(),
              "Application cannot close while processing is enabled.\r\nClick the Stop button to "
              "stop processing.");
    EXPECT_EQ(agent.ChannelCount(), 4);
    EXPECT_EQ(FileSize(engine.Queue().QueuePath()), -1);
    // With an empty queue, close is allowed while processing is on.
    engine.Queue().RemoveAllNotRunning();
    EXPECT_TRUE(engine.controller->RequestClose());
    EXPECT_EQ(agent.GetState(), CTaskAgent::kNoChannels);
}

}  // namespace
}  // namespace vexlo
