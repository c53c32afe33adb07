// RetrieveBinary against a scripted peer, for the BODY replies a real server
// does not send: an unexpected success code, a line without a code, silence,
// a cut in a part. Each is a transient failure: the connection is closed and
// the task left for the run loop to call again.
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

const char kPartOne[] = "222 1 <a@b> body\r\nbegin 644 x.bin\r\n#86)C\r\n.\r\n";

TEST(RetrieveBinaryOddReplies, AreRetriedOnANewConnection) {
    // The peer serves GROUP, then answers each BODY from `replies` in turn; ""
    // hangs up at once, a reply that starts with "!" is sent without it and
    // then hangs up.
    const struct {
        std::vector<std::string> replies;
        std::string status;
    } cases[] = {
        {{kPartOne, "223 2 <c@d> article exists\r\n"}, "223 2 <c@d> article exists"},
        {{"what?\r\n"}, "Unrecognized Server Response [BODY]"},
        {{""}, "Socket Read() Error [BODY]"},
        {{kPartOne, "!222 2 <c@d> body\r\n#86)C\r\n"}, "Socket Read() Error [BODY PART]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        std::vector<std::string> commands;
        CScriptPeer peer([&](CPeerSession& s) {
            s.Write("200 test server\r\n");
            commands.push_back(s.ReadLine());
            s.Write("211 2 1 2 alt.test\r\n");
            for (const std::string& reply : c.replies) {
                commands.push_back(s.ReadLine());
                if (reply.empty() || reply[0] == '!') {
                    s.Write(reply.substr(reply.empty() ? 0 : 1));
                    return s.Close();
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
        ASSERT_EQ(connection.Connect(CScriptPeer::kAddress, peer.Port(), 0, "", ""), 1);
        std::atomic<uint32_t> abort{0};
        RetrieveBinary(context, connection, abort, task);
        EXPECT_EQ(task.GetStatusText(), c.status);
        EXPECT_EQ(task.GetResult(), kResultUnprocessed);
        EXPECT_EQ(task.GetInProgress(), 1u);
        EXPECT_EQ(connection.GetSocket(), CNntpConnection::kInvalidSocket);
        if (c.replies.size() == 2) {
            EXPECT_EQ(commands.back(), "BODY 2\r\n");
        }
    }
}

}  // namespace
}  // namespace vexlo
