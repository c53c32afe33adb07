// RetrieveBinary against scripted peers, for what a real server does not
// send — an unexpected success code, a line without a code, silence, a cut in
// a part (transient failures: the connection is closed and the task left for
// the run loop to call again), a body that never ends — for failed writes and
// a disk that fills up while the queue runs, and for exact byte counts.
#include "decode/retrieve_binary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>

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

// A reply to BODY: the status line, the body dot-stuffed and the "." line.
std::string BodyReply(const std::string& status, const std::vector<std::string>& body) {
    std::string reply = status + "\r\n";
    for (const std::string& line : body)
        reply += (line.starts_with('.') ? "." : "") + line + "\r\n";
    return reply + ".\r\n";
}

// A news server of group alt.test: GROUP, BODY <article> answered with
// replies[article] as it stands ("" hangs up; one that starts with "!" is
// sent without it, then hangs up; none: 430) and QUIT, over any number of
// connections one after the other. Counts the BODY commands.
class CArticleServer {
  public:
    explicit CArticleServer(std::map<uint32_t, std::string> replies)
        : replies_(std::move(replies)), peer_([this](CPeerSession& s) { Serve(s); }, 50) {}

    uint16_t Port() const { return peer_.Port(); }
    int BodyCommands() const { return bodyCommands_; }

  private:
    void Serve(CPeerSession& s) {
        s.Write("200 test server\r\n");
        for (std::string line = s.ReadLine(); !line.empty(); line = s.ReadLine()) {
            if (line.starts_with("GROUP ")) {
                s.Write("211 9 1 9 alt.test\r\n");
            } else if (line.starts_with("BODY ")) {
                ++bodyCommands_;
                auto it = replies_.find(static_cast<uint32_t>(std::stoul(line.substr(5))));
                const std::string reply = it == replies_.end() ? "430 no such\r\n" : it->second;
                s.Write(reply.starts_with('!') ? reply.substr(1) : reply);
                if (reply.empty() || reply.starts_with('!')) return;
            } else {
                s.Write(line.starts_with("QUIT") ? "205 bye\r\n" : "500 what?\r\n");
            }
        }
    }

    const std::map<uint32_t, std::string> replies_;
    std::atomic<int> bodyCommands_{0};
    CScriptPeer peer_;
};

// Files file0.bin, file1.bin, ... of `data` in three parts each, as the
// replies to BODY 1 to 3 for the first, 4 to 6 for the second, and so on.
std::map<uint32_t, std::string> Replies(const std::vector<std::string>& data) {
    std::map<uint32_t, std::string> replies;
    for (uint32_t binary = 0; binary < data.size(); ++binary) {
        const auto posts = test::MakeUuencodedPosts(
            "alt.test", "file" + std::to_string(binary) + ".bin", data[binary], 3, "p <p@x>");
        for (uint32_t k = 0; k < 3; ++k)
            replies[binary * 3 + k + 1] = BodyReply("222 body follows", posts[k].bodyLines);
    }
    return replies;
}

// RetrieveBinary called on the test's thread with a task of its own.
class RetrieveBinaryDirect : public ::testing::Test {
  protected:
    RetrieveBinaryDirect() { context_.Start(); }
    void TearDown() override { testing::FailWritesEverywhereAfter(-1, 0); }

    // A task of `articles` of alt.test (`lines` lines each), as the run loop hands it out.
    void MakeTask(std::vector<uint32_t> articles, uint32_t lines) {
        // The task before gives up its file, as a task leaving the queue does.
        if (task_) context_.outputClaims.Release(task_->Key());
        task_ = std::make_unique<CTask>(&context_.settings);
        std::vector<uint32_t> counts(articles.size(), lines);
        MakeDownloadTask(*task_, {"alt.test", "x.bin", saveDir_, std::move(articles), counts});
        task_->SetInProgress(1);
    }
    void Retrieve(uint16_t port) {
        ASSERT_EQ(connection_.Connect(CScriptPeer::kAddress, port, 0, "", ""), 1);
        RetrieveBinary(context_, connection_, abort_, *task_);
    }

    test::CTempDir dir_;
    test::CRecordingMessageBox box_;
    CAppContext context_{dir_.Path(), box_};
    const std::string saveDir_ = dir_ / "out/";
    std::unique_ptr<CTask> task_;
    CNntpConnection connection_{3000};
    std::atomic<uint32_t> abort_{0};
};

TEST_F(RetrieveBinaryDirect, OddRepliesAndFailedWritesAreRetriedAnEndlessBodyFailsForGood) {
    // Part 2 "endless" is 300,000 lines where 100 were said: it is not taken
    // on and on, the task ends for good with part 1 kept. A failed write other
    // than a full disk (which keeps the resume point, see below) restarts the
    // binary from part 1; the next call completes it and counts every byte.
    const std::string first = test::RandomBytes(4500, 3);  // 100 lines a part
    const auto posts = test::MakeUuencodedPosts("alt.test", "x.bin", first + first, 2, "p <p@x>");
    const std::string partOne = BodyReply("222 1 <a@b> body", posts[0].bodyLines);
    const std::string partTwo = BodyReply("222 2 <c@d> body", posts[1].bodyLines);
    std::string endless = "222 2 <c@d> body\r\n";
    const std::string line = test::UuencodeLines(std::string(45, 'x'))[0] + "\r\n";
    for (int i = 0; i < 300000; ++i) endless += line;
    const struct {
        std::string first, second;  // the replies to BODY 1 and BODY 2
        std::string status;
        int failWritesAfter = -1;
    } cases[] = {
        {partOne, "223 2 <c@d> article exists\r\n", "223 2 <c@d> article exists"},
        {"what?\r\n", "", "Unrecognized Server Response [BODY]"},
        {"", "", "Socket Read() Error [BODY]"},
        {partOne, "!222 2 <c@d> body\r\n#86)C\r\n", "Socket Read() Error [BODY PART]"},
        {partOne, endless, "ERROR: Server Sent Far More Body Lines Than Expected [BODY]"},
        {partOne, partTwo, "Error Writing To Output File!", 6000},
        {partOne, partTwo, "Completed Successfully"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        CArticleServer server({{1, c.first}, {2, c.second}});
        std::filesystem::remove_all(saveDir_);
        // The clean run goes on with the task whose write failed.
        if (!c.status.starts_with("Completed")) MakeTask({1, 2}, 100);
        testing::FailWritesEverywhereAfter(c.failWritesAfter, EIO);
        const auto before = context_.stats.Run();
        Retrieve(server.Port());
        testing::FailWritesEverywhereAfter(-1, 0);
        const bool forGood = c.status.starts_with("ERROR"),
                   done = c.status.starts_with("Completed");
        EXPECT_EQ(task_->GetStatusText(), c.status);
        EXPECT_EQ(task_->GetResult(), done      ? kResultCompleted
                                      : forGood ? kResultError
                                                : kResultUnprocessed);
        EXPECT_EQ(task_->GetInProgress(), forGood ? 0u : 1u);
        // A connection is kept only for the next task.
        EXPECT_EQ(connection_.GetSocket() != CNntpConnection::kInvalidSocket, done);
        if (c.first != partOne) continue;
        EXPECT_EQ(server.BodyCommands(), 2);
        const size_t kept = c.failWritesAfter > 0 ? 0 : done ? 2 : 1;
        EXPECT_EQ(task_->GetPartsFetched(), kept);
        EXPECT_EQ(task_->GetBytesWritten(), kept * first.size());
        EXPECT_EQ(task_->GetOutputFile(), kept ? saveDir_ + "x.bin" : "");
        EXPECT_EQ(FileExists(saveDir_ + "x.bin"), kept > 0);
        EXPECT_EQ(test::ReadFileBytes(saveDir_ + "x.bin"),
                  (first + first).substr(0, kept * first.size()));
        if (!done) continue;
        // Sent: "GROUP alt.test" and two "BODY n" with CR LF; received: the
        // GROUP reply without its CR LF, and the two replies.
        const auto run = context_.stats.Run();
        EXPECT_EQ((run.byteXmit - before.byteXmit).ToString(), "32");
        EXPECT_EQ((run.byteRecv - before.byteRecv).ToString(),
                  std::to_string(18 + partOne.size() + partTwo.size()));
        ProgressReport report;
        ASSERT_TRUE(context_.progress.ReadProgress(task_->Key(), report));
        EXPECT_TRUE(report.state == kProgressTransferring && report.kind == kProgressKindDownload);
        EXPECT_EQ(std::tie(report.part, report.parts, report.expectedLines),
                  std::tuple(2u, 2u, 100u));
        EXPECT_EQ(report.lines, (std::ranges::count(partTwo, '\n') - 1) / 50 * 50);
        connection_.Quit();
    }
}

// A full disk keeps the task's resume point and stops the queue: nothing is
// fetched again until Start, which resumes where the disk filled up.
TEST(RetrieveBinaryFullDisk, KeepsTheResumePointAndStopsTheQueueUntilStart) {
    const std::vector<std::string> data = {test::RandomBytes(60750, 10),
                                           test::RandomBytes(60750, 11)};
    for (int error : {ENOSPC, EDQUOT}) {
        SCOPED_TRACE(error);
        CArticleServer server(Replies(data));
        test::CEngineHarness engine("127.0.0.1", server.Port(), 1);
        RegisterStandardHandlers(engine.handlers);
        engine.context.settings.SetRetries(2);
        engine.Open();
        const std::string saveDir = engine.dir / "save/";
        std::vector<CTask*> tasks;
        for (uint32_t binary = 0; binary < 2; ++binary) {
            CTask task(&engine.context.settings);
            const uint32_t first = binary * 3 + 1;
            MakeDownloadTask(task, {"alt.test",
                                    "file",
                                    saveDir,
                                    {first, first + 1, first + 2},
                                    {450, 450, 450},
                                    60750,
                                    1});
            engine.controller->QueueTask(task, false);
            tasks.push_back(engine.Queue().Row(binary).task.get());
        }
        // Part 1 (20,250 bytes) fits; part 2 does not.
        testing::FailWritesEverywhereAfter(30000, error);
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

        testing::FailWritesEverywhereAfter(-1, 0);
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
