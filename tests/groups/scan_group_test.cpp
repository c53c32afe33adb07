// The header scan without the real server: the range it asks for, and through a
// scripted peer the replies a real server never sends.
#include "groups/scan_group.h"

#include <gtest/gtest.h>

#include <filesystem>
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

TEST(ScanRangeStart, OneHundredBelowTheStoredLastForScanNewElseTheServersFirst) {
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 4233, 3000), 4133u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 4233, 4200), 4133u);  // even below the first
    EXPECT_EQ(ScanRangeStart(kTaskScanAll, true, 4233, 3000), 3000u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, false, 4233, 3000), 3000u);
    // Never below article 1: a stored range ending below 100 would ask "XOVER -40-60".
    for (uint32_t oldLast : {0u, 60u, 100u, 101u})  // 0: an empty group's pair
        EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, oldLast, 1), 1u) << oldLast;
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 102, 1), 2u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, false, 0, 0), 1u);   // an empty group ("211 0 0 0")
    EXPECT_EQ(ScanRangeStart(kTaskScanAll, false, 0, -5), 1u);  // a negative first
    // Large numbers stay unsigned.
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 0xFFFFFFFFu, 1), 0xFFFFFFFFu - 100);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 0x80000063u, 1), 0x7FFFFFFFu);
}

// Greets, selects group "g" (articles 1 to 5), answers XOVER with `xover` and
// waits for the client to close (or hangs up at once when `hangUp`).
CScriptPeer::Script AnswersXover(std::string xover, std::vector<std::string>* commands,
                                 bool hangUp = false) {
    return [xover, commands, hangUp](CPeerSession& s) {
        s.Write("200 test server\r\n");
        commands->push_back(s.ReadLine());
        s.Write("211 5 1 5 g\r\n");
        commands->push_back(s.ReadLine());
        s.Write(xover);
        if (hangUp)
            s.Close();
        else
            s.WaitForClose();
    };
}

// One SCAN NEW of group "g" on a channel connected to `port`, tried once; the
// task's save-to directory is the data directory, with or without its "/".
struct PeerScan {
    explicit PeerScan(uint16_t port, bool dataDirSlash = true) : engine("127.0.0.1", port, 1) {
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
        std::string dataDir = engine.context.DataPath();
        if (!dataDirSlash) dataDir.pop_back();
        scan.SetSaveDir(dataDir);
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

TEST(ScanGroupPeer, OverviewLinesNeedNineFieldsAndAnArticleInTheRange) {
    // The data directory as the task names it: with or without its final "/".
    for (bool slash : {true, false}) {
        SCOPED_TRACE(slash);
        std::vector<std::string> commands;
        CScriptPeer peer(
            AnswersXover("224 overview follows\r\n"
                         "1\tsolo.gif (1/1)\tp <p@x>\td\t<a@x>\t\t100\t5\tXref: x g:1\r\n"
                         "2\teight fields\tp <p@x>\td\t<b@x>\t\t100\t5\r\n"
                         "3\tnine fields\tp <p@x>\td\t<c@x>\t\t200\t7\t\r\n"
                         "9\tbehind the range\tp <p@x>\td\t<d@x>\t\t200\t7\t\r\n"
                         "junk\r\n"
                         ".\r\n",
                         &commands));
        PeerScan scan(peer.Port(), slash);
        EXPECT_EQ(scan.task->GetResult(), kResultCompleted) << scan.task->GetStatusText();
        EXPECT_EQ(commands, (std::vector<std::string>{"GROUP g\r\n", "XOVER 1-5\r\n"}));
        EXPECT_EQ(test::Parts(test::ReadBinaryFile(scan.File(".BIN"))),
                  std::vector<test::Numbers>{{1}});
        const auto msgs = test::ReadHeaderFile(scan.File(".MSG"));
        ASSERT_EQ(msgs.size(), 1u);  // the eight-field line is not stored
        EXPECT_EQ(msgs[0].GetSubject(), "nine fields");
        EXPECT_EQ(msgs[0].GetBytes(), 200u);
        EXPECT_EQ(msgs[0].GetLines(), 7u);
        EXPECT_FALSE(std::filesystem::exists(scan.engine.dir / "DATAg.XOV"));
    }
}

// An XOVER that never ends is read no further than the range it asked for can
// hold; only articles of the range, in ascending order, are stored.
TEST(ScanGroupPeer, AnOverviewThatNeverEndsEndsTheTask) {
    std::vector<std::string> commands;
    CScriptPeer peer([&](CPeerSession& s) {
        s.Write("200 test server\r\n");
        commands.push_back(s.ReadLine());
        s.Write("211 50 1 50 g\r\n");
        commands.push_back(s.ReadLine());
        auto line = [](uint32_t article) {
            return std::to_string(article) + "\ta (1/2)\tp\td\t<a@x>\t\t100\t5\tx\r\n";
        };
        std::string start = "224 overview follows\r\n";
        for (uint32_t article : {60u, 0u, 5u, 3u, 5u, 9u}) start += line(article);
        s.Write(start);
        std::string block;
        for (uint32_t i = 0; i < 1000; ++i) block += line(1000 + i);
        for (int i = 0; i < 150; ++i) s.Write(block);  // "endless": 150,000 lines
        s.Close();
    });
    PeerScan scan(peer.Port());
    EXPECT_EQ(commands, (std::vector<std::string>{"GROUP g\r\n", "XOVER 1-50\r\n"}));
    EXPECT_EQ(scan.task->GetResult(), kResultError);
    EXPECT_EQ(scan.task->GetInProgress(), 0u);
    std::lock_guard lock(scan.mutex);
    EXPECT_EQ(scan.status, "ERROR: Server Sent More Overview Lines Than Articles [XOVER]");
    EXPECT_FALSE(scan.open);
    EXPECT_EQ(test::FileRange(scan.File(".XOV")), std::pair(1u, 50u));
    EXPECT_EQ(test::Articles(test::ReadHeaderFile(scan.File(".XOV"))), (test::Numbers{5, 9}));
}

TEST(ScanGroupPeer, OddRepliesAndACutConnection) {
    const struct {
        std::string xover;
        bool hangUp;
        std::string status;
        bool open;
        test::Numbers kept;  // the records left in the .XOV (none: no file)
    } rows[] = {
        // Another code than 224 keeps the connection.
        {"503 program fault\r\n", false, "503 program fault", true, {}},
        {"overview follows\r\n1\ta\tb\tc\td\te\t1\t1\tx\r\n.\r\n",
         false,
         "Unrecognized Server Response [XOVER]",
         false,
         {}},
        // A connection lost in the data keeps the records received.
        {"224 overview follows\r\n1\ta (1/2)\tp\td\t<a@x>\t\t100\t5\tx\r\n2\tb",
         true,
         "Socket Read() Error [XOVER/DATA]",
         false,
         {1}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.status);
        std::vector<std::string> commands;
        CScriptPeer peer(AnswersXover(r.xover, &commands, r.hangUp));
        PeerScan scan(peer.Port());
        EXPECT_EQ(scan.task->GetResult(), kResultError);  // no retries allowed
        std::lock_guard lock(scan.mutex);
        EXPECT_EQ(scan.status, r.status);
        EXPECT_EQ(scan.open, r.open);
        EXPECT_EQ(FileSize(scan.File(".XOV")) >= 0, !r.kept.empty());
        if (r.kept.empty()) continue;
        EXPECT_EQ(test::FileRange(scan.File(".XOV")), std::pair(1u, 5u));
        EXPECT_EQ(test::Articles(test::ReadHeaderFile(scan.File(".XOV"))), r.kept);
    }
}

}  // namespace
}  // namespace vexlo
