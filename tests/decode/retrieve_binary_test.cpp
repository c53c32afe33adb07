// RetrieveBinary against a scripted peer, for the BODY replies a real server
// does not send: an unexpected success code, a line without a code, silence.
// Each is a transient failure: the connection is closed, the output file kept
// as it is, and the task left for the run loop to call again.
#include "decode/retrieve_binary.h"

#include <gtest/gtest.h>

#include "core/app_context.h"
#include "nntp/nntp_connection.h"
#include "support/recording_message_box.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"
#include "tasks/task.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;

struct Outcome {
    std::string status;
    uint32_t result = 0;
    uint32_t inProgress = 0;
    bool open = false;
    std::vector<std::string> commands;
};

// Serves GROUP, then answers each BODY from `replies` in turn; "" hangs up at
// once, a reply that starts with "!" is sent without it and then hangs up.
Outcome RunAgainst(const std::vector<std::string>& replies) {
    Outcome outcome;
    CScriptPeer peer([&](CPeerSession& s) {
        s.Write("200 test server\r\n");
        outcome.commands.push_back(s.ReadLine());
        s.Write("211 2 1 2 alt.test\r\n");
        for (const std::string& reply : replies) {
            outcome.commands.push_back(s.ReadLine());
            if (reply.empty() || reply[0] == '!') {
                s.Write(reply.substr(reply.empty() ? 0 : 1));
                s.Close();
                return;
            }
            s.Write(reply);
        }
        s.WaitForClose();
    });
    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext context(dir.Path(), box);
    context.Start();
    CTask task(&context.settings);
    task.SetType(kTaskDecode);
    task.SetGroupName("alt.test");
    task.SetSaveDir(dir / "out/");
    task.SetArticles({1, 2});
    task.SetLines({3, 3});
    task.SetInProgress(1);
    CNntpConnection connection(3000);
    EXPECT_EQ(connection.Connect(CScriptPeer::kAddress, peer.Port(), 0, "", ""), 1);
    std::atomic<uint32_t> abort{0};
    RetrieveBinary(context, connection, abort, task);
    outcome.status = task.GetStatusText();
    outcome.result = task.GetResult();
    outcome.inProgress = task.GetInProgress();
    outcome.open = connection.GetSocket() != CNntpConnection::kInvalidSocket;
    connection.Quit();
    return outcome;
}

const char kPartOne[] = "222 1 <a@b> body\r\nbegin 644 x.bin\r\n#86)C\r\n.\r\n";

TEST(RetrieveBinaryOddReplies, AnUnexpectedCodeIsRetriedOnANewConnection) {
    Outcome outcome = RunAgainst({kPartOne, "223 2 <c@d> article exists\r\n"});
    EXPECT_EQ(outcome.status, "223 2 <c@d> article exists");
    EXPECT_EQ(outcome.result, kResultUnprocessed);
    EXPECT_EQ(outcome.inProgress, 1u);
    EXPECT_FALSE(outcome.open);
    EXPECT_EQ(outcome.commands[1], "BODY 1\r\n");
    EXPECT_EQ(outcome.commands[2], "BODY 2\r\n");
}

TEST(RetrieveBinaryOddReplies, AReplyWithoutCodeOrNoReplyAtAll) {
    Outcome noCode = RunAgainst({"what?\r\n"});
    EXPECT_EQ(noCode.status, "Unrecognized Server Response [BODY]");
    EXPECT_FALSE(noCode.open);
    EXPECT_EQ(noCode.inProgress, 1u);

    Outcome silent = RunAgainst({""});
    EXPECT_EQ(silent.status, "Socket Read() Error [BODY]");
    EXPECT_FALSE(silent.open);

    Outcome cut = RunAgainst({kPartOne, "!222 2 <c@d> body\r\n#86)C\r\n"});
    EXPECT_EQ(cut.status, "Socket Read() Error [BODY PART]");
    EXPECT_FALSE(cut.open);
    EXPECT_EQ(cut.result, kResultUnprocessed);
}

}  // namespace
}  // namespace vexlo
