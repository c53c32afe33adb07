// The server worker's LIST job against a scripted peer (odd replies, broken
// connections, full disks — what a real server does not produce on demand),
// the resolving of the server's name, and the connection test's rows, cancel
// and close on refused connections.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "nntp/address.h"
#include "nntp/server_test.h"
#include "nntp/server_test_thread.h"
#include "nntp/transfer_stats.h"
#include "platform/file.h"
#include "support/recording_message_box.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;
using test::ReadFileBytes;

// A peer that greets, takes the LIST line and answers with `reply`, then
// hangs up (close) or waits for the client to leave.
CScriptPeer::Script ListReply(std::string reply, bool close = false) {
    return [reply, close](CPeerSession& s) {
        s.Write("200 scripted ready\r\n");
        if (s.ReadLine() != "LIST\r\n") return;
        s.Write(reply);
        close ? s.Close() : static_cast<void>(s.WaitForClose());
    };
}

const std::string kRefused = "ERROR(111): No Connection To Server!";

ServerLogin Loopback(uint16_t port) {
    return {CScriptPeer::kAddress, port, 0, "", "", {}};
}

class ServerWorkerTest : public ::testing::Test {
  protected:
    ~ServerWorkerTest() override { testing::FailWritesAfter(-1); }

    // The LIST job; the user cancels at the first progress report (after 50 names).
    int RunList(const CScriptPeer& peer, CTransferStats& stats) {
        const auto cancel = [this](int) { abort = 1; };
        abort = 0;
        return RunListJob(Loopback(peer.Port()), file, abort, stats, cancel, error);
    }

    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext app{dir.Path(), box};
    std::string file = dir / "_GROUPS.TMP";
    std::atomic<int> abort{0};
    std::string error;
    const uint16_t port = test::UnusedLoopbackPort();  // connections are refused there
};

TEST_F(ServerWorkerTest, ListWritesNamesCutAtTheFirstBlankOrSaysWhyItFailed) {
    const std::string list =
        "215 Newsgroups in form \"group high low status\"\r\nalt.test 0000000002 0000000001 y\r\n"
        "no-blank-line\r\nmisc.test\t2\t1\ty\r\n\r\nx  y\r\n.\r\n";
    const std::string readError = "ERROR: Socket Read() Error [LIST]";
    const std::string fileError = "Error Creating/Opening GROUP LIST File";
    const std::string twoNames = "215 list\r\na.b 1 1 y\r\nc.d 1 1 y\r\n.\r\n";
    std::string sixtyNames = "215 list\r\n", first50;
    for (int i = 0; i < 60; ++i) {
        sixtyNames += "g" + std::to_string(i) + " 1 1 y\r\n";
        if (i < 50) first50 += "g" + std::to_string(i) + "\r\n";
    }
    const struct {
        CScriptPeer::Script script;
        std::string error;
        std::string file;  // what the list file holds afterwards ("-": no file, "?": any)
        int failWritesAfter = -1;
        std::string dir = "";
    } cases[] = {
        // A tab is no blank: that line names nothing and is not written; what
        // follows "." is not read.
        {ListReply(list + "after.end 1 1 y\r\n"), "", "alt.test\r\nx\r\n"},
        {[](CPeerSession& s) { s.Write("400 go away\r\n"); }, "400 go away", "-"},
        {ListReply("502 no list for you\r\n"), "502 no list for you", "-"},
        {ListReply("list follows\r\n"), "ERROR: Unknown Server Response", "-"},
        {ListReply("\r\n"), readError, "-"},  // an empty status line is a failed read
        {ListReply("215 list\r\nalt.one 1 1 y\r\n", true), readError, "alt.one\r\n"},
        // The cancel is looked at before each line: the 51st is not taken.
        {ListReply(sixtyNames + ".\r\n"), "ABORTED BY USER!", first50},
        {ListReply(twoNames), fileError, "-", -1, "no/such/dir/"},
        {ListReply(twoNames), fileError, "?", 4},  // a full disk
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        file = dir / (c.dir + "_GROUPS.TMP");
        RemoveFile(file);
        CScriptPeer peer(c.script);
        CTransferStats stats;
        testing::FailWritesAfter(c.failWritesAfter);
        EXPECT_EQ(RunList(peer, stats), c.error.empty() ? 2 : -1);
        testing::FailWritesAfter(-1);
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(c.file == "?" ||
                    (c.file == "-" ? FileSize(file) == -1 : ReadFileBytes(file) == c.file));
        if (!c.error.empty()) continue;
        EXPECT_EQ(stats.Run().byteXmit, CInt96(6));
        EXPECT_EQ(stats.Run().byteRecv, CInt96(static_cast<int32_t>(list.size() - 2)));
    }
}

// How a server's name becomes its address.
TEST(Address, ParsesAndFormatsDottedTextAndLooksUpNames) {
    // Behind the 4th number anything goes, missing numbers read as 0, and
    // there is no range check (300 spills into the 3rd octet).
    const std::pair<const char*, uint32_t> good[] = {{"192.168.10.254", 0xC0A80AFEu},
                                                     {"1.2.3.4abc", 0x01020304u},
                                                     {".2.3.", 0x00020300u},
                                                     {"1.2.3.300", 0x0102032Cu}};
    for (const auto& [text, value] : good) {
        uint32_t address = 0;
        EXPECT_EQ(ParseDottedAddress(text, &address), 1) << text;
        EXPECT_EQ(address, value) << text;
    }
    for (const char* bad :
         {"10.0.1", "10.0.0.1.5", "news.server.example.com", "10.0x.0.1", " 10.0.0.1", ""}) {
        uint32_t address = 0xDEADBEEF;
        EXPECT_EQ(ParseDottedAddress(bad, &address), 0) << bad;
        EXPECT_EQ(address, 0xDEADBEEF) << bad;
    }
    EXPECT_EQ(FormatDottedAddress(0xC0A80AFEu), "192.168.10.254");
    uint32_t address = 0;  // names are looked up
    ASSERT_EQ(LookupHostAddress("localhost", &address), 1);
    EXPECT_EQ(address >> 24, 127u);
}

TEST_F(ServerWorkerTest, StartFromSettingsNeedsAResolvableServer) {
    CThreadMessageQueue notify;
    std::string why;
    EXPECT_EQ(StartServerWorker(app, notify, file, &why), nullptr);
    EXPECT_EQ(why, "Error Getting Server IP Address.");
    EXPECT_TRUE(box.Messages().size() == 1u && box.Messages()[0].icon == MessageIcon::Stop);
    app.settings.SetServer("127.0.0.1");
    auto worker = StartServerWorker(app, notify, file);
    EXPECT_TRUE(worker && worker->IsRunning());
}

TEST_F(ServerWorkerTest, FailedConnectionsShowTheirErrorTextUntilTheUserCancels) {
    // The second test is still tried after the first failed; the user cancels
    // while it runs: it still reports, the rows after it are cancelled.
    CServerTest test(app);
    std::vector<int> changes;
    test.onChange = [&](int row) {
        changes.push_back(row);
        if (row == 1 && test.Rows()[1].icon == kIconRunning) test.Cancel();
    };
    ASSERT_TRUE(test.Start(Loopback(port), "127.0.0.1", 4));
    EXPECT_EQ(test.Title(), "127.0.0.1, Port " + std::to_string(port));
    ASSERT_EQ(test.Rows().size(), 4u);
    EXPECT_EQ(test.Rows()[0].icon, kIconRunning);
    EXPECT_EQ(test.Rows()[0].result, "Connecting ...");
    EXPECT_EQ(test.Rows()[1].icon, kIconWaiting);
    EXPECT_EQ(test.Rows()[1].result, "-");
    EXPECT_TRUE(!test.OkEnabled() && test.CancelEnabled() && !test.CanClose());
    for (int i = 0; i < 200 && !test.IsFinished(); ++i) test.ProcessMessages(50);
    ASSERT_TRUE(test.IsFinished() && test.IsCancelled());
    for (size_t i = 0; i < test.Rows().size(); ++i) {
        EXPECT_EQ(test.Rows()[i].icon, i < 2 ? kIconFailed : kIconWaiting);
        EXPECT_EQ(test.Rows()[i].result, i < 2 ? kRefused : "-CANCELLED-");
    }
    EXPECT_TRUE(test.OkEnabled() && !test.CancelEnabled());
    EXPECT_EQ(changes.back(), -1);

    CServerTest none(app);  // no connections: finished at once
    ASSERT_TRUE(none.Start(Loopback(port), "news", 0));
    EXPECT_TRUE(none.Rows().empty() && none.CanClose());
}

}  // namespace
}  // namespace vexlo
