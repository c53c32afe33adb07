// The connections to the real news server. CNntpConnection: one walk
// (greeting, login, GROUP, QUIT) in plain text, over NNTPS and over STARTTLS,
// through every certificate check that opens or refuses the connection, and
// the login passing only encrypted. (Pipelined BODY commands and their
// dot-stuffed lines in each mode: retrieve_binary_itest.cpp; a connection cut
// in the middle of a reply: nntp_connection_test.cpp and the download tests.)
// The connection test and the server worker: several simultaneous logins over
// NNTPS with what was accepted unverified in the debug log, the worker's jobs
// in order with the login the server needs, and a refused certificate's text
// where connection failures show (the test's rows, the group list, a task
// that does not retry it).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "../tasks/engine_harness.h"
#include "core/app_context.h"
#include "core/number_readers.h"
#include "nntp/nntp_connection.h"
#include "nntp/server_test.h"
#include "nntp/server_test_thread.h"
#include "nntp/transfer_stats.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/task_messages.h"

namespace vexlo {
namespace {

using test::Inn;
using test::ReadFileBytes;

TEST(NntpConnectionInn, OneWalkInPlainTextOverNntpsAndOverStartTls) {
    ASSERT_NE(Inn().anonTlsPort, 0) << "the INN fixture was started without its TLS ports";
    // {verify, CA file, host name, password ("": no login), error ("" when it
    // opens)}. The fixture's certificate reads as self-signed until its
    // authority is trusted. In plain text the certificate settings do not matter.
    const std::string ca = Inn().caFile;
    const struct {
        bool verify;
        std::string caFile, hostName, password, error;
    } checks[] = {
        {true, "", "", "", "TLS: certificate not trusted (self-signed): 127.0.0.1"},
        {true, ca, "", "", ""},
        {true, ca, test::kInnTlsHost, "", ""},
        {true, ca, "localhost", "", ""},
        {true, ca, "wrong.vexlo.test", "",
         "TLS: certificate does not match the host name: wrong.vexlo.test"},
        {false, "", "wrong.vexlo.test", "", ""},
        {true, "/no/such/ca.pem", "", "", "TLS: CA file cannot be read: /no/such/ca.pem"},
        {true, ca, "", "secret", ""},
        {true, ca, "", "wrong", "481 Authentication failed"},
    };
    // The plain-text logins go through a relay that notes what it can read.
    test::CNntpRelay loginRelay(Inn().authPort);
    for (const int mode : {kTlsNone, kTlsImplicit, kTlsStartTls}) {
        for (const auto& check : checks) {
            const std::string expected =
                mode == kTlsNone && check.error.starts_with("TLS: ") ? "" : check.error;
            SCOPED_TRACE("mode " + std::to_string(mode) + ", " + check.caFile + ", " +
                         check.hostName + ", " + check.password);
            const bool login = !check.password.empty();
            const uint16_t port = mode == kTlsImplicit
                                      ? (login ? Inn().authTlsPort : Inn().anonTlsPort)
                                      : (login ? loginRelay.Port() : Inn().anonPort);
            CNntpConnection conn;
            conn.SetTls({mode, check.verify, check.caFile, check.hostName});
            EXPECT_EQ(conn.Connect(0x7F000001, port, login ? 1 : 0, "tester", check.password),
                      expected.empty() ? 1 : 0);
            EXPECT_EQ(conn.GetError(), expected);
            EXPECT_EQ(conn.IsTlsRefused(), expected.starts_with("TLS: "));
            if (!expected.empty()) continue;
            EXPECT_EQ(conn.IsEncrypted(), mode != kTlsNone);
            EXPECT_TRUE(conn.GetBanner().starts_with("200 ")) << conn.GetBanner();
            ASSERT_TRUE(conn.Send("GROUP misc.test\r\n"));
            EXPECT_TRUE(conn.ReadLine() > 0 && ReplyCode(conn.GetLine()) == 211) << conn.GetLine();
            EXPECT_EQ(conn.Quit(), 0);
        }
    }
    // The relay read the plain-text logins (connections 1 and 2); of the
    // STARTTLS ones (3 and 4) nothing but the command itself.
    std::map<std::string, std::string> seen;
    for (const std::string& line : loginRelay.Commands())
        seen[line.substr(0, line.find(' '))] += line.substr(line.find(' ') + 1) + "\n";
    EXPECT_TRUE(seen["1"].starts_with("AUTHINFO USER tester\nAUTHINFO PASS secret\n")) << seen["1"];
    for (const char* connection : {"3", "4"}) {
        EXPECT_TRUE(seen[connection].starts_with("STARTTLS\n")) << seen[connection];
        EXPECT_EQ(seen[connection].find("AUTHINFO"), std::string::npos) << seen[connection];
    }
}

const std::string kSelfSigned = "TLS: certificate not trusted (self-signed): 127.0.0.1";

ServerLogin InnLogin(uint16_t port, int useLogin, const TlsSettings& tls = {}) {
    return {0x7F000001, port, useLogin, "tester", "secret", tls};
}

class ServerTestITest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(Inn().anonTlsPort, 0) << "the INN fixture was started without its TLS ports";
        ASSERT_TRUE(app.Start());
    }

    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext app{dir.Path(), box};
    std::string file = dir / "_GROUPS.TMP";
    std::atomic<int> abort{0};
    std::string error;
};

TEST_F(ServerTestITest, ThreeLoginsShowThreeGreetingsAndStayOpenUntilClose) {
    CServerTest test(app);
    const TlsSettings unverified{
        .mode = kTlsImplicit, .verify = false, .caFile = "", .hostName = "", .log = &app.log};
    ASSERT_TRUE(test.Start(InnLogin(Inn().authTlsPort, 1, unverified), Inn().host, 3));
    for (int i = 0; i < 400 && !test.IsFinished(); ++i) test.ProcessMessages(50);
    ASSERT_TRUE(test.IsFinished());
    ASSERT_EQ(test.Rows().size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const ServerTestRow& row = test.Rows()[static_cast<size_t>(i)];
        EXPECT_EQ(row.icon, kIconCompleted) << row.result;
        EXPECT_TRUE(row.result.starts_with("200 ") &&
                    row.result.find("InterNetNews NNRP") != std::string::npos)
            << row.result;
        EXPECT_TRUE(test.Connection(i)->IsEncrypted());
    }
    test.Close();
    EXPECT_EQ(test.Connection(0), nullptr);
    app.Finish();
    const std::string log = ReadFileBytes(dir / "DEBUG.TXT");
    const std::string accepted =
        "TLS: certificate of 127.0.0.1 accepted without verification (TlsVerify 0): "
        "not trusted (self-signed)\n";
    size_t notes = 0;
    for (size_t at = log.find(accepted); at != std::string::npos; at = log.find(accepted, at + 1))
        ++notes;
    EXPECT_EQ(notes, 3u) << log;
}

TEST_F(ServerTestITest, WorkerRunsJobsInOrderAndReportsEach) {
    // Enough groups that the list reports its progress.
    for (int i = 0; i < kListProgressInterval; ++i)
        ASSERT_TRUE(test::CreateGroup("alt.binaries.test.serverlist.g" + std::to_string(i)));
    CTransferStats stats;
    CThreadMessageQueue notify;
    CServerTestThread worker(stats, notify);
    worker.SetServer(InnLogin(Inn().authPort, 1));
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
    ASSERT_GE(notices.size(), 3u);
    EXPECT_TRUE(notices[0].count == 0 && notices[0].kind == 0);
    EXPECT_NE(connection.GetSocket(), CNntpConnection::kInvalidSocket);  // left open
    const WorkerNotice done = notices.back();
    EXPECT_EQ(done.kind, kWorkerNoticeComplete);
    EXPECT_EQ(static_cast<int>(notices.size()), 2 + done.count / kListProgressInterval);
    // The names alone, one a line.
    const std::string names = "\r\n" + ReadFileBytes(file);
    EXPECT_EQ(std::count(names.begin(), names.end(), '\n'), done.count + 1);
    for (const char* name : {"alt.binaries.test", "alt.binaries.pictures.test", "misc.test"})
        EXPECT_NE(names.find("\r\n" + std::string(name) + "\r\n"), std::string::npos) << name;

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
    connection.Quit();
}

TEST_F(ServerTestITest, ARefusedCertificateShowsInTheRowsTheGroupListAndTheTask) {
    const ServerLogin login =
        InnLogin(Inn().anonTlsPort, 0, {.mode = kTlsImplicit, .caFile = "", .hostName = ""});
    // The user cancels once the first row has its result: the rows after it are not tried.
    std::atomic<bool> cancel{false};
    std::vector<std::string> reported;
    const auto rows = RunServerTest(app, login, Inn().host, 3, &cancel, [&](const auto& row) {
        reported.push_back(std::to_string(row.channel) + " " + row.result);
        cancel = true;
    });
    EXPECT_EQ(rows.at(0).icon, kIconFailed);
    EXPECT_EQ(reported,
              (std::vector<std::string>{"1 " + kSelfSigned, "2 -CANCELLED-", "3 -CANCELLED-"}));
    EXPECT_EQ(RunListJob(login, file, abort, app.stats, nullptr, error), -1);
    EXPECT_EQ(error, kSelfSigned);
    ServerLogin trusted = login;  // the authority trusted: the row shows the greeting
    trusted.tls.caFile = Inn().caFile;
    EXPECT_TRUE(RunServerTest(app, trusted, Inn().host, 1, nullptr, nullptr).at(0).ok);

    // A channel does not retry what cannot work: the task ends at once.
    test::CEngineHarness engine(Inn().host, Inn().anonTlsPort, 1);
    engine.context.settings.SetTls(kTlsImplicit);
    engine.Open();
    CTask* task = engine.Add(kTaskDecode, 1, "refused");
    engine.controller->StartCommand();
    ASSERT_TRUE(engine.PumpUntil([&] { return engine.Agent().BusyMask() == 0; }));
    EXPECT_EQ(task->GetResult(), kResultError);
    EXPECT_EQ(task->GetStatusText(), kSelfSigned);
    EXPECT_EQ(task->GetInProgress(), 0u);
}

}  // namespace
}  // namespace vexlo
