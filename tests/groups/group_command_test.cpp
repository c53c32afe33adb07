// The GROUP step: reading the range out of a 211 reply, and the replies a real
// server does not send (no code, a cut connection) against a scripted peer.
// The 211 and 411 of a real server are covered by the download itests.
#include "groups/group_command.h"

#include <gtest/gtest.h>

#include "nntp/nntp_connection.h"
#include "nntp/transfer_stats.h"
#include "support/script_peer.h"
#include "tasks/task.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;

TEST(ParseGroupReply, TakesTheThirdAndFourthWords) {
    int32_t first = -1, last = -1;
    ASSERT_TRUE(ParseGroupReply("211 1234 3000 4233 alt.binaries.test", first, last));
    EXPECT_EQ(first, 3000);
    EXPECT_EQ(last, 4233);
    ASSERT_TRUE(ParseGroupReply("211 0 1 0 misc.test", first, last));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 0);
}

TEST(ParseGroupReply, NeedsTheGroupNameBehindTheNumbers) {
    int32_t first = 7, last = 7;
    EXPECT_FALSE(ParseGroupReply("211 1234 3000 4233", first, last));
    EXPECT_FALSE(ParseGroupReply("211 1234 3000", first, last));
    EXPECT_FALSE(ParseGroupReply("211", first, last));
    EXPECT_EQ(first, 7);
}

TEST(ParseGroupReply, NegativeNumbersFallBack) {
    int32_t first = 0, last = 0;
    ASSERT_TRUE(ParseGroupReply("211 5 3000 -5 g", first, last));
    EXPECT_EQ(first, 3000);
    EXPECT_EQ(last, 3000);
    ASSERT_TRUE(ParseGroupReply("211 5 -3000 4233 g", first, last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
    ASSERT_TRUE(ParseGroupReply("211 5 x y g", first, last));  // lenient: no digits read as 0
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
}

// Greets, answers the GROUP command with `reply` (nothing when empty: the
// peer hangs up) and waits for the client to finish.
CScriptPeer::Script AnswersGroup(std::string reply, std::string* command) {
    return [reply, command](CPeerSession& s) {
        s.Write("200 test server\r\n");
        *command = s.ReadLine();
        if (reply.empty()) {
            s.Close();
            return;
        }
        s.Write(reply);
        s.WaitForClose();
    };
}

struct GroupRun {
    bool ok = false;
    std::string status;
    bool open = false;
    uint32_t result = 0;
    uint32_t inProgress = 0;
    std::string command;
    CTransferStats::Counters counters;
};

GroupRun RunGroup(const std::string& reply) {
    GroupRun run;
    CScriptPeer peer(AnswersGroup(reply, &run.command));
    CNntpConnection connection(3000);
    CTransferStats stats;
    CTask task;
    task.SetGroupName("alt.binaries.test");
    task.SetInProgress(1);
    EXPECT_EQ(connection.Connect(CScriptPeer::kAddress, peer.Port(), 0, "", ""), 1);
    int32_t first = 0, last = 0;
    run.ok = SendGroupCommand(connection, task, stats, first, last);
    run.status = task.GetStatusText();
    run.open = connection.GetSocket() != CNntpConnection::kInvalidSocket;
    run.result = task.GetResult();
    run.inProgress = task.GetInProgress();
    run.counters = stats.Run();
    connection.Quit();
    return run;
}

TEST(SendGroupCommand, CountsTheCommandAndTheReplyText) {
    GroupRun run = RunGroup("211 3 1 3 alt.binaries.test\r\n");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.command, "GROUP alt.binaries.test\r\n");
    EXPECT_EQ(run.counters.byteXmit.ToString(), "25");
    EXPECT_EQ(run.counters.byteRecv.ToString(), "27");  // the reply's text, no CR LF
    EXPECT_TRUE(run.open);
}

TEST(SendGroupCommand, ReplyWithoutCodeClosesTheConnection) {
    GroupRun run = RunGroup("hello there\r\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.status, "Unrecognized Server Response [GROUP]");
    EXPECT_FALSE(run.open);
    EXPECT_EQ(run.inProgress, 1u);
}

TEST(SendGroupCommand, NoReplyClosesTheConnection) {
    GroupRun run = RunGroup("");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.status, "Socket Read() Error [GROUP]");
    EXPECT_FALSE(run.open);
}

TEST(SendGroupCommand, OtherCodesKeepTheConnectionAndOnly411IsFinal) {
    GroupRun busy = RunGroup("480 Authentication required for command\r\n");
    EXPECT_FALSE(busy.ok);
    EXPECT_EQ(busy.status, "480 Authentication required for command");
    EXPECT_TRUE(busy.open);
    EXPECT_EQ(busy.result, kResultUnprocessed);
    EXPECT_EQ(busy.inProgress, 1u);

    GroupRun missing = RunGroup("411 No such group alt.binaries.test\r\n");
    EXPECT_EQ(missing.status, "411 No such group alt.binaries.test");
    EXPECT_TRUE(missing.open);
    EXPECT_EQ(missing.result, kResultError);
    EXPECT_EQ(missing.inProgress, 0u);

    GroupRun cut = RunGroup("211 3 1 3\r\n");
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.status, "Invalid Server Response Data [GROUP]");
    EXPECT_TRUE(cut.open);
}

}  // namespace
}  // namespace vexlo
