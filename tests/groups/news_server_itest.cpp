// The group folder against the real news server.
//
// Header scans through the task engine with real channels: every test fills a
// group of its own, queues SCAN NEW or SCAN ALL tasks and reads the group's
// .BIN and .MSG back. A relay in front of the server shows the commands sent
// and holds a reply in the middle for the abort.
//
// The server group list dialog model and the command line's fetch: a refresh
// replaces _GROUPS.ALL with the server's names, a failed one leaves it as it
// was (the dialog's failures are the unit tests' job).
#include <algorithm>
#include <atomic>
#include <memory>
#include <numeric>

#include "decode/file_utils.h"
#include "group_test_files.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "tasks/engine_harness.h"
#include "tasks/progress_table.h"
#include "tasks/task_handlers.h"

namespace vexlo {
namespace {

using namespace test;

constexpr const char* kPoster = "Scan Tester <scan@vexlo.test>";

Numbers Seq(uint32_t from, uint32_t to) {
    Numbers list(to - from + 1);
    std::iota(list.begin(), list.end(), from);
    return list;
}

class ScanITest : public ::testing::Test {
  protected:
    // A group of its own, and one channel on a relay in front of the server,
    // with the standard handlers.
    void SetUp() override {
        group_ = CreateUniqueGroup("alt.binaries.test.scan");
        ASSERT_FALSE(group_.empty());
        relay_ = std::make_unique<CNntpRelay>(Inn().anonPort);
        engine_ = std::make_unique<CEngineHarness>(Inn().host, relay_->Port(), 1);
        RegisterStandardHandlers(engine_->handlers);
        engine_->context.settings.SetRetries(2);
        engine_->context.settings.SetOption(OPT_AUTO_REMOVE_DONE, 0);
        engine_->context.settings.SetOption(OPT_SCAN_TO_TOP, 0);
        engine_->Open();
        engine_->controller->Groups().AddGroup(group_, "");
    }

    // Posts to the fixture; a fresh group numbers its articles in posting order.
    std::vector<Article> PostSubjects(const Strings& subjects) {
        const std::vector<Article> posts = Map(subjects, [&](const std::string& s) {
            return Article{UniqueMessageId("scan"), group_, s, kPoster, "", Strings(3, "body")};
        });
        std::string error;
        EXPECT_TRUE(PostArticles(posts, &error)) << error;
        return posts;
    }

    // Queues a scan of the group the way the program does, as a SCAN ALL when
    // `type` says so; returns its queue row's task.
    CTask* QueueScan(uint32_t type) {
        engine_->controller->ScanGroups({group_});
        CTask* task = engine_->Queue().Row(engine_->Queue().Count() - 1).task.get();
        task->SetType(type);
        return task;
    }

    // Starts processing and pumps until the channel is idle again.
    void Run() {
        engine_->controller->StartCommand();
        EXPECT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().BusyMask() == 0; }, 120000));
    }
    // Queues a scan and runs it to its end; the figures the group list then shows.
    Numbers Scan(uint32_t type = kTaskScanNew) {
        QueueScan(type);
        Run();
        return RowFigures();
    }
    std::string File(const std::string& ext) const {
        return engine_->context.DataPath() + group_ + ext;
    }
    std::vector<CBinaryItem> Binaries() const { return ReadBinaryFile(File(".BIN")); }

    // The article numbers of .MSG and .BIN together, ascending (with repeats).
    Numbers StoredArticles() const {
        Numbers all = Articles(ReadHeaderFile(File(".MSG")));
        for (const CBinaryItem& b : Binaries()) b.AppendArticles(all);
        std::sort(all.begin(), all.end());
        return all;
    }

    // The arguments of each `verb` command the relay passed on, in order.
    Strings Sent(const std::string& verb) const {
        Strings args;
        for (const std::string& command : relay_->Commands()) {
            size_t at = command.find(" " + verb + " ");
            if (at != std::string::npos) args.push_back(command.substr(at + verb.size() + 2));
        }
        return args;
    }

    // The figures the group list shows for the group: binaries, new binaries, messages.
    Numbers RowFigures() const {
        const CGroupList& groups = engine_->controller->Groups();
        const GroupRecord& r = groups.Group(groups.FindGroup(group_));
        return Numbers{uint32_t(r.binCount), uint32_t(r.newCount), uint32_t(r.msgCount)};
    }

    std::string group_;
    std::unique_ptr<CNntpRelay> relay_;
    std::unique_ptr<CEngineHarness> engine_;
};

// 3,000 small articles with one five-part binary spread over them and the
// first part of another: the scan is stopped in its XOVER, continued, and the
// group scanned again. The matching rules in detail are the binary match
// tests' job; here the fields come from a real server's overview lines, new
// posts merge with the stored ones, SCAN NEW asks from 100 below the stored
// last article, SCAN ALL from the server's first one, and known articles are
// not doubled.
TEST_F(ScanITest, AnAbortedScanIsContinuedAndRescansMergeNewPosts) {
    constexpr uint32_t kArticles = 3000;
    const Numbers spread = {10, 700, 1500, 2200, 2990};
    Strings subjects;
    for (uint32_t i = 1; i <= kArticles; ++i) {
        auto at = std::find(spread.begin(), spread.end(), i) - spread.begin();
        subjects.push_back(at < 5 ? "spread.rar (" + std::to_string(at + 1) + "/5)"
                                  : "small note " + std::to_string(i));
    }
    subjects[19] = "tail.rar (1/2)";
    const std::vector<Article> posts = PostSubjects(subjects);
    relay_->ArmCommand("XOVER", 1, 60000, CNntpRelay::Action::kHold);
    CTask* task = QueueScan(kTaskScanNew);
    engine_->controller->StartCommand();
    ASSERT_TRUE(relay_->WaitTriggered(30000));
    // The lines before the hold reach the channel; it is stopped while it waits for more.
    ASSERT_TRUE(engine_->PumpUntil([&] {
        ProgressReport report;
        return engine_->context.progress.ReadProgress(task->Key(), report) && report.lines >= 100;
    }));
    engine_->controller->StopNowCommand();
    relay_->Release();
    ASSERT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
    EXPECT_EQ(task->GetStatusText(), "ABORTED!");
    EXPECT_EQ(task->GetResult(), kResultUnprocessed);
    for (const char* ext : {".MSG", ".BIN"}) EXPECT_FALSE(FileExists(File(ext))) << ext;
    // The .XOV holds the range of the scan and the records received so far.
    EXPECT_EQ(FileRange(File(".XOV")), std::pair(1u, kArticles));
    const auto received = ReadHeaderFile(File(".XOV"));
    ASSERT_GE(received.size(), 99u);
    ASSERT_LT(received.size(), kArticles);
    const uint32_t through = static_cast<uint32_t>(received.size());
    EXPECT_EQ(Articles(received), Seq(1, through));
    // As if the program had been killed while it wrote a record.
    std::string xov = ReadFileBytes(File(".XOV"));
    WriteFileBytes(File(".XOV"), xov + xov.substr(8, 40));

    Run();  // the same task again
    EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
    EXPECT_FALSE(FileExists(File(".XOV")));
    EXPECT_EQ(StoredArticles(), Seq(1, kArticles));
    EXPECT_EQ(Parts(Binaries()), std::vector<Numbers>{spread});
    EXPECT_EQ(RowFigures(), (Numbers{1, 1, kArticles - 5}));
    EXPECT_EQ(Binaries()[0].GetPoster(), kPoster);
    EXPECT_EQ(Binaries()[0].GetMessageId(), posts[9].messageId);
    EXPECT_EQ(Binaries()[0].GetLines(), Numbers(5, 3));

    // The missing part completes the post from the .MSG, and only it is new;
    // SCAN ALL clears the mark.
    PostSubjects({"tail.rar (2/2)", "another note"});
    EXPECT_EQ(Scan(), (Numbers{2, 1, kArticles - 5}));
    EXPECT_EQ(Parts(Binaries())[1], (Numbers{20, kArticles + 1}));
    EXPECT_EQ(Flags(Binaries()), (Numbers{0, kBinaryFlagNew}));
    EXPECT_EQ(Scan(kTaskScanAll), (Numbers{2, 0, kArticles - 5}));
    EXPECT_EQ(Sent("XOVER"),
              (Strings{"1-3000", std::to_string(through + 1) + "-3000", "2900-3002", "1-3002"}));
    EXPECT_EQ(StoredArticles(), Seq(1, kArticles + 2));
}

bool HasLine(const std::string& text, const std::string& name) {
    return ("\n" + text).find("\n" + name + "\r\n") != std::string::npos;
}

using ServerGroupListITest = AppFilesTest<>;

// The dialog's refresh on the open server, then the command line's fetch with
// a login, right and wrong.
TEST_F(ServerGroupListITest, RefreshAndFetchReplaceTheListWithTheServersNames) {
    app.settings.SetServer(Inn().host);
    app.settings.SetPort(Inn().anonPort);
    WriteFileBytes(Data("_GROUPS.ALL"), "alt.binaries.old\r\n");
    CServerGroupList model(app, groups);
    model.Open();
    ASSERT_TRUE(model.HasWorker());
    ASSERT_TRUE(model.Refresh());
    ASSERT_TRUE(FinishRefresh(model));
    const std::string all = ReadFileBytes(Data("_GROUPS.ALL"));
    EXPECT_TRUE(HasLine(all, "misc.test"));
    EXPECT_FALSE(HasLine(all, "alt.binaries.old"));
    EXPECT_EQ(FileSize(Data("_GROUPS.TMP")), -1);
    EXPECT_EQ(model.StatusText(), "Group Refresh Complete - " +
                                      std::to_string(std::count(all.begin(), all.end(), '\n')) +
                                      " Groups Read");
    EXPECT_TRUE(box.Texts().empty());
    // The default filter shows the binaries groups only, sorted.
    const Strings& rows = model.Rows();
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return CompareGroupNames(a, b) < 0;
    }));
    EXPECT_NE(std::find(rows.begin(), rows.end(), "alt.binaries.test"), rows.end());
    EXPECT_EQ(std::find(rows.begin(), rows.end(), "misc.test"), rows.end());
    EXPECT_EQ(EnabledControls(model), "ok refresh");
    model.Close();

    app.settings.SetPort(Inn().authPort);
    app.settings.SetAuth(1);
    app.settings.SetUser("tester");
    app.settings.SetPass("secret");
    std::atomic<bool> abort{false};
    FetchGroupListResult result = FetchServerGroupList(app, &abort, nullptr);
    ASSERT_TRUE(result.completed) << result.errorText;
    EXPECT_TRUE(result.installed);
    EXPECT_GE(result.count, 3);
    const std::string fetched = ReadFileBytes(Data("_GROUPS.ALL"));

    // A wrong password leaves the fetched list alone.
    app.settings.SetPass("wrong");
    result = FetchServerGroupList(app, &abort, nullptr);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.errorText.rfind("481 ", 0), 0u) << result.errorText;
    EXPECT_EQ(ReadFileBytes(Data("_GROUPS.ALL")), fetched);
}

}  // namespace
}  // namespace vexlo
