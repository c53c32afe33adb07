// The header scan without the real server: the range it asks for, and through a
// scripted peer the replies a real server never sends (no code, a cut
// connection, an overview that never ends) and lines longer than the
// connection's line buffer.
#include "groups/scan_group.h"

#include <filesystem>
#include <mutex>

#include "group_test_files.h"
#include "groups/group_command.h"
#include "nntp/nntp_connection.h"
#include "support/script_peer.h"
#include "tasks/engine_harness.h"
#include "tasks/task_handlers.h"
#include "tasks/task_thread.h"

namespace vexlo {
namespace {

using namespace test;
using namespace std::string_literals;

TEST(ScanRangeStart, OneHundredBelowTheStoredLastForScanNewElseTheServersFirst) {
    // (The plain ranges: the scan itests' XOVER commands.)
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 4233, 4200), 4133u);  // even below the first
    // Never below article 1: a stored range ending below 100 would ask "XOVER -40-60".
    for (uint32_t oldLast : {0u, 60u, 100u, 101u})  // 0: an empty group's pair
        EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, oldLast, 1), 1u) << oldLast;
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 102, 1), 2u);
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, false, 0, 0), 1u);   // an empty group ("211 0 0 0")
    EXPECT_EQ(ScanRangeStart(kTaskScanAll, false, 0, -5), 1u);  // a negative first
    // Large numbers stay unsigned.
    EXPECT_EQ(ScanRangeStart(kTaskScanNew, true, 0x80000063u, 1), 0x7FFFFFFFu);
}

// The GROUP step's range out of a 211 reply (the replies a real server does
// not send are the peer tests below; a real server's 211 and 411 are the scan
// itests').
TEST(ParseGroupReply, TakesTheThirdAndFourthWords) {
    const struct {
        const char* reply;
        bool ok;
        int32_t first, last;
    } rows[] = {
        {"211 1234 3000 4233 alt.binaries.test", true, 3000, 4233},
        {"211 0 1 0 misc.test", true, 1, 0},
        {"211 5 3000 -5 g", true, 3000, 3000},  // negative numbers fall back
        {"211 5 -3000 4233 g", true, 0, 0},
        {"211 5 x y g", true, 0, 0},  // lenient: no digits read as 0
        // The group name must follow the numbers.
        {"211 1234 3000 4233", false, 7, 7},
        {"211", false, 7, 7},
    };
    for (const auto& r : rows) {
        int32_t first = 7, last = 7;
        EXPECT_EQ(ParseGroupReply(r.reply, first, last), r.ok) << r.reply;
        EXPECT_EQ(std::pair(first, last), std::pair(r.first, r.last)) << r.reply;
    }
}

// Greets, then answers each command (noted in `commands` when given) with the
// next of `replies` (an empty one: nothing) and waits for the client to close,
// or hangs up after the last reply when `hangUp`.
CScriptPeer::Script Answers(std::vector<std::string> replies, Strings* commands = nullptr,
                            bool hangUp = false) {
    return [replies, commands, hangUp](CPeerSession& s) {
        s.Write("200 test server\r\n");
        for (const std::string& reply : replies) {
            const std::string command = s.ReadLine();
            if (commands) commands->push_back(command);
            if (!reply.empty()) s.Write(reply);
        }
        if (hangUp)
            s.Close();
        else
            s.WaitForClose();
    };
}

constexpr const char* kGroupReply = "211 5 1 5 g\r\n";
constexpr const char* kOverviewTooLong =
    "ERROR: Server Sent More Overview Lines Than Articles [XOVER]";

// One SCAN NEW of group "g" on a channel connected to a peer that runs
// `script`, tried once; the task's save-to directory is the data directory,
// with or without its "/".
struct PeerScan {
    explicit PeerScan(CScriptPeer::Script script, bool dataDirSlash = true)
        : peer(std::move(script)), engine("127.0.0.1", peer.Port(), 1) {
        engine.context.settings.SetRetries(0);
        engine.handlers.Register(kTaskScanNew, [this](CTaskThread& channel, CTask& task) {
            ScanGroup(channel, task);
            std::lock_guard lock(mutex);
            status = task.GetStatusText();
            open = channel.Connection().GetSocket() != CNntpConnection::kInvalidSocket;
            result = task.GetResult();
            inProgress = task.GetInProgress();
        });
        engine.Open();
        engine.controller->ScanGroups({"g"});
        task = engine.Queue().Row(0).task.get();
        const std::string data = engine.context.DataPath();
        if (!dataDirSlash) task->SetSaveDir(data.substr(0, data.size() - 1));
        engine.controller->StartCommand();
        EXPECT_TRUE(engine.PumpUntil([&] { return engine.Agent().BusyMask() == 0; }));
    }
    std::string File(const char* ext) const { return engine.context.DataPath() + "g" + ext; }

    CScriptPeer peer;
    CEngineHarness engine;
    CTask* task = nullptr;
    std::mutex mutex;
    // What the handler's one run left, before the engine's own handling:
    std::string status;                   // guarded by mutex
    bool open = false;                    // guarded by mutex
    uint32_t result = 0, inProgress = 0;  // guarded by mutex
};

// Overview lines need nine fields and an article in the range. Regression: a
// line longer than the connection's line buffer arrives in pieces; its post
// vanished, and a line of exactly the buffer's length (a full piece and an
// empty remainder) failed every scan of the group.
TEST(ScanGroupPeer, OverviewLinesNeedNineFieldsAndAnArticleInTheRangeAndMayBeLong) {
    const std::string name(5000, 'n'), huge(40000, 'h');
    const size_t exact = CNntpConnection::kMaxLineLength - Overview(10, "").size();
    std::string xover = "224 overview follows\r\n";
    for (const std::string& line :
         {Overview(1, "solo.gif (1/1)"), "2\teight fields\tp <p@x>\td\t<b@x>\t\t100\t5"s,
          "3\tnine fields\tp <p@x>\td\t<c@x>\t\t200\t7\t"s,
          "4\tNUL\tp <p@x>\td\t<e@x>\t\t100\t5\0\tx"s,  // the NUL ends it before its eighth TAB
          Overview(5, name + " (1/2)"), Overview(6, name + " (2/2)"), Overview(7, huge + " (1/2)"),
          Overview(8, huge + " (2/2)"), Overview(10, std::string(exact, 'e')),
          Overview(11, "after"), Overview(13, "behind the range"), "junk"s})
        xover += line + "\r\n";
    // The data directory as the task names it: with or without its final "/".
    for (bool slash : {true, false}) {
        SCOPED_TRACE(slash);
        Strings commands;
        PeerScan scan(Answers({"211 12 1 12 g\r\n", xover + ".\r\n"}, &commands), slash);
        ASSERT_EQ(scan.task->GetResult(), kResultCompleted) << scan.task->GetStatusText();
        EXPECT_EQ(commands, (Strings{"GROUP g\r\n", "XOVER 1-12\r\n"}));
        const auto bins = ReadBinaryFile(scan.File(".BIN"));
        EXPECT_EQ(Parts(bins), (std::vector<Numbers>{{7, 8}, {5, 6}, {1}}));
        for (const CBinaryItem& b : {bins[0], bins[1]})  // cut to head ... tail
            EXPECT_EQ(b.GetSubject().substr(kMaxSubjectLength - 6), " (2/2)");
        const auto msgs = ReadHeaderFile(scan.File(".MSG"));
        EXPECT_EQ(Articles(msgs), (Numbers{11, 10, 3}));  // eight fields: not stored
        EXPECT_EQ(Numbers({msgs[2].GetBytes(), msgs[2].GetLines()}), (Numbers{200, 7}));
        EXPECT_FALSE(std::filesystem::exists(scan.engine.dir / "DATAg.XOV"));
    }
}

// An empty group gives an empty pair that the later scans build on.
TEST(ScanGroupPeer, AnEmptyGroupGivesAnEmptyPair) {
    PeerScan scan(Answers({"211 0 1 0 g\r\n", "224 overview follows\r\n.\r\n"}));
    ASSERT_EQ(scan.task->GetResult(), kResultCompleted) << scan.task->GetStatusText();
    for (const char* ext : {".BIN", ".MSG"}) EXPECT_EQ(FileRange(scan.File(ext)).second, 0u);
}

// The GROUP and XOVER steps' failures: the status, whether the connection
// stays, whether the task is final (a 411, an overview that never ends), and
// what the .XOV keeps.
TEST(ScanGroupPeer, OddRepliesAndACutConnection) {
    // An XOVER that never ends is read no further than the range it asked for
    // can hold; only articles of the range, in ascending order, are stored.
    std::string endless = "224 overview follows\r\n";
    for (uint32_t article : {60u, 2u, 1u, 4u}) endless += Overview(article, "a") + "\r\n";
    for (uint32_t i = 0; i < 10000; ++i) endless += Overview(1000 + i, "a (1/2)") + "\r\n";
    const struct {
        std::vector<std::string> replies;
        bool hangUp;
        std::string status;
        bool open;
        uint32_t result = kResultUnprocessed;
        Numbers kept = {};  // the records left in the .XOV (none: no file)
    } rows[] = {
        {{"hello there\r\n"}, false, "Unrecognized Server Response [GROUP]", false},
        {{""}, true, "Socket Read() Error [GROUP]", false},
        {{"480 Login first\r\n"}, false, "480 Login first", true},
        {{"411 No such group g\r\n"}, false, "411 No such group g", true, kResultError},
        {{"211 3 1 3\r\n"}, false, "Invalid Server Response Data [GROUP]", true},
        {{kGroupReply, "503 program fault\r\n"}, false, "503 program fault", true},
        {{kGroupReply, "overview follows\r\n"}, false, "Unrecognized Server Response [XOVER]", 0},
        // A connection lost in the data keeps the records received.
        {{kGroupReply, "224 overview follows\r\n" + Overview(1, "a (1/2)") + "\r\n2\tb"},
         true,
         "Socket Read() Error [XOVER/DATA]",
         false,
         kResultUnprocessed,
         {1}},
        {{kGroupReply, endless}, true, kOverviewTooLong, false, kResultError, {2, 4}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.status);
        PeerScan scan(Answers(r.replies, nullptr, r.hangUp));
        EXPECT_EQ(scan.task->GetResult(), kResultError);  // no retries allowed
        std::lock_guard lock(scan.mutex);
        EXPECT_EQ(scan.status, r.status);
        EXPECT_EQ(scan.open, r.open);
        EXPECT_EQ(scan.result, r.result);
        EXPECT_EQ(scan.inProgress, r.result == kResultError ? 0u : 1u);
        EXPECT_EQ(FileSize(scan.File(".XOV")) >= 0, !r.kept.empty());
        if (r.kept.empty()) continue;
        EXPECT_EQ(FileRange(scan.File(".XOV")), std::pair(1u, 5u));
        EXPECT_EQ(Articles(ReadHeaderFile(scan.File(".XOV"))), r.kept);
    }
    // The command and the reply's text, without its CR LF, are counted.
    PeerScan scan(Answers({"480 Authentication required\r\n"}));
    const CTransferStats::Counters counters = scan.engine.context.stats.Run();
    EXPECT_EQ(counters.byteXmit.ToString(), "9");
    EXPECT_EQ(counters.byteRecv.ToString(), "27");
}

}  // namespace
}  // namespace vexlo
