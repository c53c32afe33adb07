// The server worker and the connection test against the real news server:
// greetings of several simultaneous connections, a refused login, the LIST
// job's names, its login rules and its abort in the middle of a list.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "nntp/nntp_connection.h"
#include "nntp/server_test.h"
#include "nntp/server_test_thread.h"
#include "nntp/transfer_stats.h"
#include "support/inn_fixture.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/task_messages.h"

namespace vexlo {
namespace {

using test::Inn;
using test::ReadFileBytes;

ServerLogin InnLogin(uint16_t port, int useLogin = 0, std::string password = "secret") {
    return {0x7F000001, port, useLogin, "tester", std::move(password), {}};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

class ServerTestITest : public ::testing::Test {
  protected:
    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext app{dir.Path(), box};
};

TEST_F(ServerTestITest, ThreeConnectionsShowThreeGreetingsAndStayOpenUntilClose) {
    CServerTest test(app);
    ASSERT_TRUE(test.Start(InnLogin(Inn().authPort, 1), Inn().host, 3));
    EXPECT_EQ(test.Title(), Inn().host + ", Port " + std::to_string(Inn().authPort));
    for (int i = 0; i < 400 && !test.IsFinished(); ++i) test.ProcessMessages(50);
    ASSERT_TRUE(test.IsFinished());
    ASSERT_EQ(test.Rows().size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const ServerTestRow& row = test.Rows()[static_cast<size_t>(i)];
        EXPECT_TRUE(row.ok) << row.result;
        EXPECT_EQ(row.channel, i + 1);
        EXPECT_EQ(row.icon, kIconCompleted);
        EXPECT_TRUE(row.result.starts_with("200 ")) << row.result;
        EXPECT_NE(row.result.find("InterNetNews NNRP server"), std::string::npos) << row.result;
        EXPECT_NE(test.Connection(i)->GetSocket(), CNntpConnection::kInvalidSocket);
    }
    test.Close();
    EXPECT_EQ(test.Connection(0), nullptr);
}

TEST_F(ServerTestITest, WrongPasswordShowsTheServersRefusalOnEveryRow) {
    std::vector<ServerTestRow> rows =
        RunServerTest(app, InnLogin(Inn().authPort, 1, "wrong"), Inn().host, 3, nullptr, nullptr);
    ASSERT_EQ(rows.size(), 3u);
    for (const ServerTestRow& row : rows) {
        EXPECT_FALSE(row.ok);
        EXPECT_EQ(row.icon, kIconFailed);
        EXPECT_TRUE(row.result.starts_with("481 ")) << row.result;
    }
}

// ---- The LIST job ----

class ListJobITest : public ::testing::Test {
  protected:
    test::CTempDir dir;
    std::string file = dir / "_GROUPS.TMP";
    CTransferStats stats;
    std::atomic<int> abort{0};
    std::string error;
};

TEST_F(ListJobITest, WritesTheServersGroupNamesAfterTheLoginItNeeds) {
    const struct {
        ServerLogin login;
        std::string error;  // the start of the error text; "" for success
    } cases[] = {{InnLogin(Inn().anonPort), ""},
                 {InnLogin(Inn().authPort), "480 "},
                 {InnLogin(Inn().authPort, 1), ""},
                 {InnLogin(Inn().authPort, 1, "wrong"), "481 "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.login.port) + " " + c.login.password);
        const int count = RunListJob(c.login, file, abort, stats, nullptr, error);
        EXPECT_TRUE(error.starts_with(c.error)) << error;
        if (!c.error.empty()) {
            EXPECT_EQ(count, -1);
            continue;
        }
        std::vector<std::string> names = Lines(ReadFileBytes(file));
        EXPECT_EQ(static_cast<int>(names.size()), count);
        for (const char* name : {"alt.binaries.test", "alt.binaries.pictures.test", "misc.test"})
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        for (const std::string& name : names) EXPECT_EQ(name.find(' '), std::string::npos) << name;
    }
}

TEST_F(ListJobITest, AbortInTheMiddleOfTheListStopsBeforeTheNextLine) {
    // Enough groups that the list goes on after the first progress report.
    for (int i = 0; i < 55; ++i)
        ASSERT_TRUE(test::CreateGroup("alt.binaries.test.serverlist.g" + std::to_string(i)));
    std::vector<int> reports;
    auto cancelAtFirstReport = [&](int names) {
        reports.push_back(names);
        abort = 1;
    };
    EXPECT_EQ(RunListJob(InnLogin(Inn().anonPort), file, abort, stats, cancelAtFirstReport, error),
              -1);
    EXPECT_EQ(error, "ABORTED BY USER!");
    EXPECT_EQ(reports, std::vector<int>{50});
    EXPECT_EQ(Lines(ReadFileBytes(file)).size(), 50u);
}

TEST_F(ListJobITest, WorkerRunsJobsInOrderAndReportsEach) {
    CThreadMessageQueue notify;
    CServerTestThread worker(stats, notify);
    worker.SetServer(InnLogin(Inn().anonPort));
    worker.SetListFile(file);
    CNntpConnection connection;
    worker.SetTestConnection(&connection);
    ASSERT_TRUE(worker.Start());
    worker.Post(WM_WORKER_CONNECT);
    worker.Post(WM_WORKER_LIST);
    // The test job's notice (0, 0) comes first, then the list's progress after
    // every 50 names and its completion.
    std::vector<WorkerNotice> notices;
    ThreadMessage message;
    while (notify.GetFor(message, 30000)) {
        notices.push_back(ReadWorkerNotice(message));
        if (notices.back().kind != kWorkerNoticeProgress) break;
    }
    ASSERT_GE(notices.size(), 2u);
    EXPECT_EQ(notices[0].count, 0);
    EXPECT_EQ(notices[0].kind, 0);
    EXPECT_NE(connection.GetSocket(), CNntpConnection::kInvalidSocket);  // left open
    const WorkerNotice done = notices.back();
    EXPECT_EQ(done.kind, kWorkerNoticeComplete);
    EXPECT_GE(done.count, 3);
    EXPECT_EQ(static_cast<int>(notices.size()), 2 + done.count / kListProgressInterval);
    EXPECT_EQ(stats.Run().byteXmit, CInt96(6));  // "LIST\r\n"

    // An abort asked for before the job reaches the list stops it at once.
    worker.SetAbort(1);
    worker.Post(WM_WORKER_LIST);
    ASSERT_TRUE(notify.GetFor(message, 30000));
    EXPECT_EQ(message.message, WM_TASK_DONE);
    EXPECT_EQ(ReadWorkerNotice(message).count, -1);
    EXPECT_EQ(ReadWorkerNotice(message).kind, kWorkerNoticeFailed);
    EXPECT_EQ(worker.GetErrorText(), "ABORTED BY USER!");
    EXPECT_EQ(ReadFileBytes(file), "");
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
    connection.Quit();
}

}  // namespace
}  // namespace vexlo
