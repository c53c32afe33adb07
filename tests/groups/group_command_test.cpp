// The GROUP step: reading the range out of a 211 reply, and the replies a real
// server does not send (no code, a cut connection) against a scripted peer.
// The 211 and 411 of a real server are covered by the scan itests.
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
    const struct {
        const char* reply;
        bool ok;
        int32_t first, last;
    } rows[] = {
        {"211 1234 3000 4233 alt.binaries.test", true, 3000, 4233},
        {"211 0 1 0 misc.test", true, 1, 0},
        {"211 5 3000 -5 g", true, 3000, 3000},  // negative numbers fall back
        {"211 5 -3000 4233 g", true, 0, 0},
        {"211 5 x y g", true, 0, 0},  // lenient: no digits read as 0
        // The group name must follow the numbers.
        {"211 1234 3000 4233", false, 7, 7},
        {"211 1234 3000", false, 7, 7},
        {"211", false, 7, 7},
    };
    for (const auto& r : rows) {
        int32_t first = 7, last = 7;
        EXPECT_EQ(ParseGroupReply(r.reply, first, last), r.ok) << r.reply;
        EXPECT_EQ(first, r.first) << r.reply;
        EXPECT_EQ(last, r.last) << r.reply;
    }
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

// Sends GROUP to a peer that answers with `reply` (hangs up when it is empty).
GroupRun RunGroup(const std::string& reply) {
    GroupRun run;
    CScriptPeer peer([&](CPeerSession& s) {
        s.Write("200 test server\r\n");
        run.command = s.ReadLine();
        if (reply.empty()) return s.Close();
        s.Write(reply);
        s.WaitForClose();
    });
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

TEST(SendGroupCommand, FailuresAndWhetherTheConnectionStays) {
    const struct {
        std::string reply;  // empty: the peer hangs up
        std::string status;
        bool open;
        uint32_t result, inProgress;
    } rows[] = {
        {"hello there\r\n", "Unrecognized Server Response [GROUP]", false, kResultUnprocessed, 1},
        {"", "Socket Read() Error [GROUP]", false, kResultUnprocessed, 1},
        {"480 Authentication required for command\r\n", "480 Authentication required for command",
         true, kResultUnprocessed, 1},
        // Only 411 is final.
        {"411 No such group alt.binaries.test\r\n", "411 No such group alt.binaries.test", true,
         kResultError, 0},
        {"211 3 1 3\r\n", "Invalid Server Response Data [GROUP]", true, kResultUnprocessed, 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.status);
        GroupRun run = RunGroup(r.reply);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.open, r.open);
        EXPECT_EQ(run.result, r.result);
        EXPECT_EQ(run.inProgress, r.inProgress);
    }
}

}  // namespace
}  // namespace vexlo
