// RetrieveBinary against a scripted peer, for what a real server does not
// send — an unexpected success code, a line without a code, silence, a cut in
// a part (transient failures: the connection is closed and the task left for
// the run loop to call again), a body that never ends — and for a disk that
// fills up while the queue runs.
#include "decode/retrieve_binary.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "core/app_context.h"
#include "decode/file_utils.h"
#include "nntp/nntp_connection.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/recording_message_box.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "tasks/engine_harness.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;

// A news server of a few articles of group alt.test: GROUP, BODY <article>
// (the article's lines, dot-stuffed) and QUIT, over any number of connections
// one after the other. Counts the BODY commands.
class CArticleServer {
  public:
    explicit CArticleServer(std::map<uint32_t, std::vector<std::string>> bodies)
        : bodies_(std::move(bodies)), peer_([this](CPeerSession& s) { Serve(s); }, 50) {}

    uint16_t Port() const { return peer_.Port(); }
    int BodyCommands() const {
        std::lock_guard lock(mutex_);
        return bodyCommands_;
    }

  private:
    void Serve(CPeerSession& s) {
        s.Write("200 test server\r\n");
        for (std::string line = s.ReadLine(); !line.empty(); line = s.ReadLine()) {
            if (line.rfind("GROUP ", 0) == 0) {
                s.Write("211 9 1 9 alt.test\r\n");
            } else if (line.rfind("BODY ", 0) == 0) {
                auto it = bodies_.find(static_cast<uint32_t>(std::stoul(line.substr(5))));
                {
                    std::lock_guard lock(mutex_);
                    ++bodyCommands_;
                }
                if (it == bodies_.end()) {
                    s.Write("430 no such article\r\n");
                    continue;
                }
                std::string reply = "222 body follows\r\n";
                for (const std::string& body : it->second)
                    reply += (body.rfind('.', 0) == 0 ? "." : "") + body + "\r\n";
                s.Write(reply + ".\r\n");
            } else if (line.rfind("QUIT", 0) == 0) {
                s.Write("205 bye\r\n");
                return;
            } else {
                s.Write("500 what?\r\n");
            }
        }
    }

    const std::map<uint32_t, std::vector<std::string>> bodies_;
    mutable std::mutex mutex_;
    int bodyCommands_ = 0;  // guarded by mutex_
    CScriptPeer peer_;
};

// Every write of every thread fails with `error` once `bytes` more bytes are written.
struct CFullDisk {
    CFullDisk(int64_t bytes, int error) { testing::FailWritesEverywhereAfter(bytes, error); }
    ~CFullDisk() { Lift(); }
    void Lift() { testing::FailWritesEverywhereAfter(-1, 0); }
};

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

// A body far longer than the part's overview said is not taken on and on: the
// task ends for good, with the parts before it kept.
TEST(RetrieveBinaryHostileServer, ABodyThatNeverEndsEndsTheTask) {
    const std::string first = test::RandomBytes(4500, 3);
    const auto posts = test::MakeUuencodedPosts("alt.test", "x.bin", first + first, 2, "p <p@x>");
    CScriptPeer peer([&](CPeerSession& s) {
        s.Write("200 test server\r\n");
        s.ReadLine();
        s.Write("211 2 1 2 alt.test\r\n");
        s.ReadLine();
        std::string part = "222 1 <a@b> body\r\n";
        for (const std::string& line : posts[0].bodyLines) part += line + "\r\n";
        s.Write(part + ".\r\n");
        s.ReadLine();
        s.Write("222 2 <c@d> body\r\n");
        const std::string line = test::UuencodeLines(std::string(45, 'x'))[0] + "\r\n";
        std::string block;
        for (int i = 0; i < 1000; ++i) block += line;
        for (int i = 0; i < 300; ++i) s.Write(block);  // "endless": 300,000 lines
        s.Close();
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
    task.SetLines({100, 100});
    task.SetInProgress(1);
    CNntpConnection connection(3000);
    ASSERT_EQ(connection.Connect(CScriptPeer::kAddress, peer.Port(), 0, "", ""), 1);
    std::atomic<uint32_t> abort{0};
    RetrieveBinary(context, connection, abort, task);
    EXPECT_EQ(task.GetStatusText(), "ERROR: Server Sent Far More Body Lines Than Expected [BODY]");
    EXPECT_EQ(task.GetResult(), kResultError);
    EXPECT_EQ(task.GetInProgress(), 0u);
    EXPECT_EQ(connection.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(task.GetPartsFetched(), 1u);
    EXPECT_EQ(task.GetBytesWritten(), first.size());
    EXPECT_EQ(test::ReadFileBytes(dir / "out/x.bin"), first);
}

// A full disk keeps the task's resume point and stops the queue: nothing is
// fetched again until Start, which resumes where the disk filled up.
TEST(RetrieveBinaryFullDisk, KeepsTheResumePointAndStopsTheQueueUntilStart) {
    std::map<uint32_t, std::vector<std::string>> bodies;
    std::vector<std::string> data;
    for (uint32_t binary = 0; binary < 2; ++binary) {
        data.push_back(test::RandomBytes(60750, 10 + binary));  // 450 lines a part
        const auto posts = test::MakeUuencodedPosts(
            "alt.test", "file" + std::to_string(binary) + ".bin", data.back(), 3, "p <p@x>");
        for (uint32_t k = 0; k < 3; ++k) bodies[binary * 3 + k + 1] = posts[k].bodyLines;
    }
    for (int error : {ENOSPC, EDQUOT}) {
        SCOPED_TRACE(error);
        CArticleServer server(bodies);
        test::CEngineHarness engine("127.0.0.1", server.Port(), 1);
        RegisterStandardHandlers(engine.handlers);
        engine.context.settings.SetRetries(2);
        engine.Open();
        const std::string saveDir = engine.dir / "save/";
        std::vector<CTask*> tasks;
        for (uint32_t binary = 0; binary < 2; ++binary) {
            CTask task(&engine.context.settings);
            DownloadParts parts{"alt.test", "file", saveDir, {}, {450, 450, 450}, 60750, 1};
            parts.articles = {binary * 3 + 1, binary * 3 + 2, binary * 3 + 3};
            MakeDownloadTask(task, parts);
            engine.controller->QueueTask(task, false);
            tasks.push_back(engine.Queue().Row(binary).task.get());
        }
        // Part 1 (20,250 bytes) fits; part 2 does not.
        CFullDisk disk(30000, error);
        engine.controller->StartCommand();
        ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().IsStopped(); }));
        EXPECT_EQ(server.BodyCommands(), 3);  // part 3's was sent as part 2 came
        EXPECT_EQ(engine.box.Texts(),
                  std::vector<std::string>{"WARNING: Disk Full Writing To " + saveDir +
                                           "\r\nProcessing has been stopped. Free some space, "
                                           "then click Start to resume."});
        EXPECT_EQ(tasks[0]->GetPartsFetched(), 1u);
        EXPECT_EQ(tasks[0]->GetBytesWritten(), 20250u);
        EXPECT_EQ(FileSize(tasks[0]->GetOutputFile()), 20250);
        EXPECT_EQ(tasks[0]->GetStatusText(), "ERROR: Disk Full Writing To Output File");
        EXPECT_EQ(tasks[1]->GetStatusText(), "");  // never started
        for (size_t row = 0; row < 2; ++row)
            EXPECT_EQ(engine.Queue().Row(row).icon, RowIcon::Waiting);

        disk.Lift();
        engine.controller->StartCommand();
        ASSERT_TRUE(engine.PumpUntil([&] {
            return tasks[0]->GetResult() == kResultCompleted &&
                   tasks[1]->GetResult() == kResultCompleted;
        }));
        EXPECT_EQ(server.BodyCommands(), 3 + 2 + 3);
        for (size_t binary = 0; binary < 2; ++binary)
            EXPECT_EQ(test::ReadFileBytes(tasks[binary]->GetOutputFile()), data[binary]);
        EXPECT_EQ(engine.box.Texts().size(), 1u);
    }
}

}  // namespace
}  // namespace vexlo
