// The server worker's LIST job against a scripted peer (odd replies, broken
// connections, full disks — what a real server does not produce on demand),
// and the connection test's rows, cancel and close.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "nntp/nntp_connection.h"
#include "nntp/server_test.h"
#include "nntp/server_test_thread.h"
#include "nntp/transfer_stats.h"
#include "platform/file.h"
#include "support/recording_message_box.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"
#include "tasks/task_messages.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CRecordingMessageBox;
using test::CScriptPeer;
using test::CTempDir;
using test::ReadFileBytes;

// A peer that greets, takes the LIST line and answers with `reply`.
CScriptPeer::Script ListReply(std::string reply) {
    return [reply](CPeerSession& s) {
        s.Write("200 scripted ready\r\n");
        if (s.ReadLine() != "LIST\r\n") return;
        s.Write(reply);
        s.WaitForClose();
    };
}

ServerLogin Loopback(uint16_t port) {
    ServerLogin server;
    server.address = CScriptPeer::kAddress;
    server.port = port;
    return server;
}

class ListJobTest : public ::testing::Test {
  protected:
    ~ListJobTest() override { testing::FailWritesAfter(-1); }

    int Run(const CScriptPeer& peer, std::vector<int>* progress = nullptr) {
        return RunListJob(
            Loopback(peer.Port()), dir / "_GROUPS.TMP", abort, stats,
            [progress](int count) {
                if (progress) progress->push_back(count);
            },
            error);
    }

    CTempDir dir;
    CTransferStats stats;
    std::atomic<int> abort{0};
    std::string error;
};

TEST_F(ListJobTest, WritesNamesCutAtTheFirstBlankAndCountsEveryByte) {
    const std::string status = "215 Newsgroups in form \"group high low status\"";
    const std::vector<std::string> lines = {
        "alt.test 0000000002 0000000001 y", "no-blank-line", "misc.test\t2\t1\ty", "", "x  y", "."};
    std::string reply = status + "\r\n";
    uint32_t received = static_cast<uint32_t>(status.size());
    for (const std::string& line : lines) {
        reply += line + "\r\n";
        received += static_cast<uint32_t>(line.size()) + 2;
    }
    CScriptPeer peer(ListReply(reply + "after.end 1 1 y\r\n"));
    EXPECT_EQ(Run(peer), 2) << error;
    EXPECT_EQ(error, "");
    // A tab is no blank: that line names nothing and is not written.
    EXPECT_EQ(ReadFileBytes(dir / "_GROUPS.TMP"), "alt.test\r\nx\r\n");
    EXPECT_EQ(stats.Run().byteXmit, CInt96(6));
    EXPECT_EQ(stats.Run().byteRecv, CInt96(static_cast<int32_t>(received)));
}

TEST_F(ListJobTest, PostsProgressAfterEvery50Names) {
    std::string reply = "215 list\r\n";
    for (int i = 0; i < 120; ++i) reply += "group." + std::to_string(i) + " 1 1 y\r\n";
    CScriptPeer peer(ListReply(reply + ".\r\n"));
    std::vector<int> progress;
    EXPECT_EQ(Run(peer, &progress), 120);
    EXPECT_EQ(progress, (std::vector<int>{50, 100}));
}

TEST_F(ListJobTest, RefusedOrUnknownRepliesBecomeTheErrorText) {
    {
        CScriptPeer peer(ListReply("502 no list for you\r\n"));
        EXPECT_EQ(Run(peer), -1);
        EXPECT_EQ(error, "502 no list for you");
    }
    for (const char* odd : {"21 short code\r\n", "2150 long code\r\n", "list follows\r\n"}) {
        CScriptPeer peer(ListReply(odd));
        EXPECT_EQ(Run(peer), -1);
        EXPECT_EQ(error, "ERROR: Unknown Server Response") << odd;
    }
    // An empty status line counts as a failed read.
    CScriptPeer peer(ListReply("\r\n"));
    EXPECT_EQ(Run(peer), -1);
    EXPECT_EQ(error, "ERROR: Socket Read() Error [LIST]");
    EXPECT_EQ(FileSize(dir / "_GROUPS.TMP"), -1);  // no file before a 215
}

TEST_F(ListJobTest, ConnectionErrorsAndBrokenListsSayWhy) {
    {
        CScriptPeer peer([](CPeerSession& s) { s.Write("400 go away\r\n"); });
        EXPECT_EQ(Run(peer), -1);
        EXPECT_EQ(error, "400 go away");
    }
    {
        CScriptPeer peer([](CPeerSession& s) {
            s.Write("200 scripted ready\r\n");
            s.ReadLine();
            s.Write("215 list\r\nalt.one 1 1 y\r\n");
            s.Close();
        });
        EXPECT_EQ(Run(peer), -1);
        EXPECT_EQ(error, "ERROR: Socket Read() Error [LIST]");
        EXPECT_EQ(ReadFileBytes(dir / "_GROUPS.TMP"), "alt.one\r\n");
    }
}

TEST_F(ListJobTest, AbortIsSeenBeforeTheNextLine) {
    std::string reply = "215 list\r\n";
    for (int i = 0; i < 80; ++i) reply += "group." + std::to_string(i) + " 1 1 y\r\n";
    CScriptPeer peer(ListReply(reply + ".\r\n"));
    int count = RunListJob(
        Loopback(peer.Port()), dir / "_GROUPS.TMP", abort, stats, [this](int) { abort = 1; },
        error);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(error, "ABORTED BY USER!");
    std::string written = ReadFileBytes(dir / "_GROUPS.TMP");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 50);
}

TEST_F(ListJobTest, FileThatCannotBeCreatedOrWrittenFailsTheJob) {
    {
        CScriptPeer peer(ListReply("215 list\r\na.b 1 1 y\r\n.\r\n"));
        EXPECT_EQ(RunListJob(Loopback(peer.Port()), dir / "no/such/dir/_GROUPS.TMP", abort, stats,
                             nullptr, error),
                  -1);
        EXPECT_EQ(error, "Error Creating/Opening GROUP LIST File");
    }
    CScriptPeer peer(ListReply("215 list\r\na.b 1 1 y\r\nc.d 1 1 y\r\n.\r\n"));
    testing::FailWritesAfter(4);  // the disk fills up
    EXPECT_EQ(Run(peer), -1);
    EXPECT_EQ(error, "Error Creating/Opening GROUP LIST File");
}

// ---- The worker thread ----

TEST(ServerWorker, ListJobPostsItsNoticesAndKeepsTheErrorText) {
    CTempDir dir;
    CTransferStats stats;
    CThreadMessageQueue notify;
    CScriptPeer peer(ListReply("503 scripted refusal\r\n"));
    CServerTestThread worker(stats, notify);
    worker.SetServer(Loopback(peer.Port()));
    worker.SetListFile(dir / "_GROUPS.TMP");
    ASSERT_TRUE(worker.Start());
    worker.Post(WM_WORKER_LIST);
    ThreadMessage message;
    ASSERT_TRUE(notify.GetFor(message, 10000));
    EXPECT_EQ(message.message, WM_TASK_DONE);
    WorkerNotice notice = ReadWorkerNotice(message);
    EXPECT_EQ(notice.count, -1);
    EXPECT_EQ(notice.kind, -1);
    EXPECT_EQ(worker.GetErrorText(), "503 scripted refusal");
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
}

TEST(ServerWorker, StartFromSettingsNeedsAResolvableServer) {
    CTempDir dir;
    CRecordingMessageBox box;
    CAppContext app(dir.Path(), box);
    CThreadMessageQueue notify;
    std::string why;
    EXPECT_EQ(StartServerWorker(app, notify, dir / "_GROUPS.TMP", &why), nullptr);
    EXPECT_EQ(why, "Error Getting Server IP Address.");
    ASSERT_EQ(box.Messages().size(), 1u);
    EXPECT_EQ(box.Messages()[0].icon, MessageIcon::Stop);

    app.settings.SetServer("127.0.0.1");
    auto worker = StartServerWorker(app, notify, dir / "_GROUPS.TMP");
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(worker->IsRunning());
}

// ---- The connection test ----

class ServerTestTest : public ::testing::Test {
  protected:
    void Finish(CServerTest& test) {
        for (int i = 0; i < 200 && !test.IsFinished(); ++i) test.ProcessMessages(50);
        ASSERT_TRUE(test.IsFinished());
    }

    CTempDir dir;
    CRecordingMessageBox box;
    CAppContext app{dir.Path(), box};
};

TEST_F(ServerTestTest, FailedConnectionsShowTheirErrorTextAndTheNextIsStillTried) {
    const uint16_t port = test::UnusedLoopbackPort();
    CServerTest test(app);
    std::vector<int> changes;
    test.onChange = [&](int row) { changes.push_back(row); };
    ASSERT_TRUE(test.Start(Loopback(port), "127.0.0.1", 2));
    EXPECT_EQ(test.Title(), "127.0.0.1, Port " + std::to_string(port));
    ASSERT_EQ(test.Rows().size(), 2u);
    EXPECT_EQ(test.Rows()[0].icon, kIconRunning);
    EXPECT_EQ(test.Rows()[0].result, "Connecting ...");
    EXPECT_EQ(test.Rows()[1].icon, kIconWaiting);
    EXPECT_EQ(test.Rows()[1].result, "-");
    EXPECT_FALSE(test.OkEnabled());
    EXPECT_TRUE(test.CancelEnabled());
    EXPECT_FALSE(test.CanClose());
    Finish(test);
    for (const ServerTestRow& row : test.Rows()) {
        EXPECT_FALSE(row.ok);
        EXPECT_EQ(row.icon, kIconFailed);
        EXPECT_EQ(row.result, "ERROR(111): No Connection To Server!");
    }
    EXPECT_EQ(test.Rows()[1].channel, 2);
    EXPECT_TRUE(test.OkEnabled());
    EXPECT_FALSE(test.CancelEnabled());
    EXPECT_EQ(changes.back(), -1);
}

TEST_F(ServerTestTest, CancelDuringTheSecondTestCancelsTheRowsAfterIt) {
    CServerTest test(app);
    // The user cancels as soon as the second test has started.
    test.onChange = [&test](int row) {
        if (row == 1 && test.Rows()[1].icon == kIconRunning) test.Cancel();
    };
    ASSERT_TRUE(test.Start(Loopback(test::UnusedLoopbackPort()), "127.0.0.1", 4));
    Finish(test);
    EXPECT_TRUE(test.IsCancelled());
    EXPECT_EQ(test.Rows()[0].icon, kIconFailed);
    EXPECT_EQ(test.Rows()[1].icon, kIconFailed);  // the running test still reports
    EXPECT_EQ(test.Rows()[1].result, "ERROR(111): No Connection To Server!");
    EXPECT_EQ(test.Rows()[2].result, "-CANCELLED-");
    EXPECT_EQ(test.Rows()[3].result, "-CANCELLED-");
    EXPECT_EQ(test.Rows()[3].icon, kIconWaiting);
    EXPECT_TRUE(test.OkEnabled());
    EXPECT_FALSE(test.CancelEnabled());
}

TEST_F(ServerTestTest, ConnectionsStayOpenUntilCloseWhichQuitsThem) {
    std::string quitLine;
    {
        CScriptPeer peer([&](CPeerSession& s) {
            s.Write("200 scripted ready\r\n");
            quitLine = s.ReadLine();
        });
        CServerTest test(app);
        ASSERT_TRUE(test.Start(Loopback(peer.Port()), "127.0.0.1", 1));
        Finish(test);
        EXPECT_TRUE(test.Rows()[0].ok);
        EXPECT_EQ(test.Rows()[0].icon, kIconCompleted);
        EXPECT_EQ(test.Rows()[0].result, "200 scripted ready");
        ASSERT_NE(test.Connection(0), nullptr);
        EXPECT_NE(test.Connection(0)->GetSocket(), CNntpConnection::kInvalidSocket);
        test.Close();
        EXPECT_EQ(test.Connection(0), nullptr);
    }  // the peer's session has ended
    EXPECT_EQ(quitLine, "QUIT\r\n");
}

TEST_F(ServerTestTest, NoConnectionsGiveAFinishedEmptyTest) {
    CServerTest test(app);
    ASSERT_TRUE(test.Start(Loopback(119), "news", 0));
    EXPECT_TRUE(test.Rows().empty());
    EXPECT_TRUE(test.CanClose());
    EXPECT_FALSE(test.CancelEnabled());
}

TEST_F(ServerTestTest, RunServerTestReportsEachRowAndHonoursCancel) {
    std::atomic<bool> cancel{false};
    std::vector<std::string> reported;
    std::vector<ServerTestRow> rows =
        RunServerTest(app, Loopback(test::UnusedLoopbackPort()), "127.0.0.1", 3, &cancel,
                      [&](const ServerTestRow& row) {
                          reported.push_back(std::to_string(row.channel) + " " + row.result);
                          cancel = true;  // cancel after the first report
                      });
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].icon, kIconFailed);
    EXPECT_EQ(rows[1].result, "-CANCELLED-");
    EXPECT_EQ(rows[2].result, "-CANCELLED-");
    EXPECT_EQ(reported, (std::vector<std::string>{"1 ERROR(111): No Connection To Server!",
                                                  "2 -CANCELLED-", "3 -CANCELLED-"}));
}

}  // namespace
}  // namespace vexlo
