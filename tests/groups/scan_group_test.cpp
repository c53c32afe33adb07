// The header scan without the real server: the range it asks for, and through a
// scripted peer the replies a real server never sends.
#include "groups/scan_group.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "group_test_files.h"
#include "nntp/nntp_connection.h"
#include "support/script_peer.h"
#include "tasks/engine_harness.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"
#include "tasks/task_thread.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;

TEST(ScanRangeStart, ScanNewWithStoredDataStartsOneHundredBelowItsLastArticle) {
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 4233, 3000), 4133u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 4233, 4200), 4133u);  // even below first
}

TEST(ScanRangeStart, ScanAllAndScansWithoutDataStartAtTheServersFirst) {
    EXPECT_EQ(ScanRangeStart(kTaskScanAll, true, 4233, 3000), 3000u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, false, 4233, 3000), 3000u);
    EXPECT_EQ(ScanRangeStart(kTaskScanAll, false, 0, 3000), 3000u);
}

TEST(ScanRangeStart, NeverBelowArticleOne) {
    // A stored range ending below 100 would otherwise ask "XOVER -40-60".
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 60, 1), 1u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 100, 1), 1u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 101, 1), 1u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 102, 1), 2u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 0, 1), 1u);  // an empty group's pair
    // An empty group ("211 0 0 0") and the fallback for a negative first.
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, false, 0, 0), 1u);
    EXPECT_EQ(ScanRangeStart(kTaskScanAll, false, 0, -5), 1u);
}

TEST(ScanRangeStart, LargeArticleNumbersStayUnsigned) {
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 0xFFFFFFFFu, 1), 0xFFFFFFFFu - 100);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 0x80000063u, 1), 0x7FFFFFFFu);
}

// Greets, selects group "g" (articles 1 to 3) and answers XOVER with `xover`.
CScriptPeer::Script AnswersXover(std::string xover, std::vector<std::string>* commands) {
    return [xover, commands](CPeerSession& s) {
        s.Write("200 test server\r\n");
        commands->push_back(s.ReadLine());
        s.Write("211 3 1 3 g\r\n");
        commands->push_back(s.ReadLine());
        s.Write(xover);
        s.WaitForClose();
    };
}

// One SCAN NEW of group "g" on a channel connected to `port`, tried once.
struct PeerScan {
    explicit PeerScan(uint16_t port) : engine("127.0.0.1", port, 1) {
        engine.context.settings.SetRetries(0);
        engine.handlers.Register(kTaskScanNew, [this](CTaskThread& channel, CTask& task) {
            ScanGroup(channel, task);
            std::lock_guard lock(mutex);
            status = task.GetStatusText();
            open = channel.Connection().GetSocket() != CNntpConnection::kInvalidSocket;
        });
        engine.Open();
        CTask scan(&engine.context.settings);
        scan.SetType(kTaskScanNew);
        scan.SetSaveDir(engine.context.DataPath());
        scan.SetGroupName("g");
        engine.controller->QueueTask(scan, false);
        task = engine.Queue().Row(0).task.get();
        engine.controller->StartCommand();
        EXPECT_TRUE(engine.PumpUntil([&] { return engine.Agent().BusyMask() == 0; }));
    }
    std::string File(const char* ext) const { return engine.context.DataPath() + "g" + ext; }

    test::CEngineHarness engine;
    CTask* task = nullptr;
    std::mutex mutex;
    std::string status;  // after the handler's one run; guarded by mutex
    bool open = false;   // guarded by mutex
};

TEST(ScanGroupPeer, OverviewLinesNeedNineFields) {
    std::vector<std::string> commands;
    CScriptPeer peer(
        AnswersXover("224 overview follows\r\n"
                     "1\tsolo.gif (1/1)\tp <p@x>\td\t<a@x>\t\t100\t5\tXref: x g:1\r\n"
                     "2\teight fields\tp <p@x>\td\t<b@x>\t\t100\t5\r\n"
                     "3\tnine fields\tp <p@x>\td\t<c@x>\t\t200\t7\t\r\n"
                     "junk\r\n"
                     ".\r\n",
                     &commands));
    PeerScan scan(peer.Port());
    EXPECT_EQ(scan.task->GetResult(), kResultCompleted) << scan.task->GetStatusText();
    EXPECT_EQ(commands, (std::vector<std::string>{"GROUP g\r\n", "XOVER 1-3\r\n"}));
    const auto bins = test::ReadBinaryFile(scan.File(".BIN"));
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].GetArticles(), std::vector<uint32_t>{1});
    const auto msgs = test::ReadHeaderFile(scan.File(".MSG"));
    ASSERT_EQ(msgs.size(), 1u);  // the eight-field line is not stored
    EXPECT_EQ(msgs[0].GetSubject(), "nine fields");
    EXPECT_EQ(msgs[0].GetBytes(), 200u);
    EXPECT_EQ(msgs[0].GetLines(), 7u);
}

TEST(ScanGroupPeer, AnotherCodeThan224KeepsTheConnectionAndTheFiles) {
    std::vector<std::string> commands;
    CScriptPeer peer(AnswersXover("503 program fault\r\n", &commands));
    PeerScan scan(peer.Port());
    std::lock_guard lock(scan.mutex);
    EXPECT_EQ(scan.status, "503 program fault");
    EXPECT_TRUE(scan.open);
    EXPECT_EQ(scan.task->GetResult(), kResultError);  // no retries allowed
    EXPECT_LT(FileSize(scan.File(".XOV")), 0);
}

TEST(ScanGroupPeer, AStatusLineWithoutCodeClosesTheConnection) {
    std::vector<std::string> commands;
    CScriptPeer peer(
        AnswersXover("overview follows\r\n1\ta\tb\tc\td\te\t1\t1\tx\r\n.\r\n", &commands));
    PeerScan scan(peer.Port());
    std::lock_guard lock(scan.mutex);
    EXPECT_EQ(scan.status, "Unrecognized Server Response [XOVER]");
    EXPECT_FALSE(scan.open);
    EXPECT_LT(FileSize(scan.File(".XOV")), 0);
}

TEST(ScanGroupPeer, AConnectionLostInTheDataKeepsTheReceivedRecords) {
    std::vector<std::string> commands;
    CScriptPeer peer([&commands](CPeerSession& s) {
        s.Write("200 test server\r\n");
        commands.push_back(s.ReadLine());
        s.Write("211 3 1 3 g\r\n");
        commands.push_back(s.ReadLine());
        s.Write("224 overview follows\r\n1\ta (1/2)\tp\td\t<a@x>\t\t100\t5\tx\r\n2\tb");
        s.Close();
    });
    PeerScan scan(peer.Port());
    std::lock_guard lock(scan.mutex);
    EXPECT_EQ(scan.status, "Socket Read() Error [XOVER/DATA]");
    EXPECT_FALSE(scan.open);
    uint32_t first = 0, last = 0;
    const auto kept = test::ReadHeaderFile(scan.File(".XOV"), &first, &last);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(last, 3u);
    EXPECT_EQ(test::Articles(kept), std::vector<uint32_t>{1});
}

}  // namespace
}  // namespace vexlo
