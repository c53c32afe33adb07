// Header scans through the task engine with real channels against the real
// news server: every test fills a group of its own, queues SCAN NEW or SCAN ALL
// tasks and reads the group's .BIN and .MSG back. A relay in front of the
// server shows the XOVER ranges asked for and holds a reply in the middle for
// the abort cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/named_locks.h"
#include "decode/file_utils.h"
#include "group_test_files.h"
#include "groups/binary_match.h"
#include "groups/group_record.h"
#include "groups/scan_group.h"
#include "nntp/nntp_connection.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/raw_nntp_client.h"
#include "tasks/engine_harness.h"
#include "tasks/progress_table.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

namespace vexlo {
namespace {

using test::Article;
using test::CNntpRelay;
using test::Inn;
using test::Numbers;
using test::Strings;

constexpr const char* kPoster = "Scan Tester <scan@vexlo.test>";
constexpr const char* kScanned = "Newsgroup Scanned Successfully";

Article MakePost(const std::string& group, const std::string& subject) {
    Article a;
    a.messageId = test::UniqueMessageId("scan");
    a.newsgroups = group;
    a.subject = subject;
    a.from = kPoster;
    for (int i = 0; i < 3; ++i) a.bodyLines.push_back("body line " + std::to_string(i));
    return a;
}

// "<name> (<n>/<m>)" for n = 1..m, or with a printf pattern for the counter.
Strings PartSubjects(const std::string& name, int parts, const char* counter = " (%d/%d)") {
    Strings subjects;
    for (int n = 1; n <= parts; ++n) {
        char text[64];
        std::snprintf(text, sizeof text, counter, n, parts);
        subjects.push_back(name + text);
    }
    return subjects;
}

Numbers Seq(uint32_t from, uint32_t to) {
    Numbers list;
    for (uint32_t a = from; a <= to; ++a) list.push_back(a);
    return list;
}

// What a finished run left in its task, copied when the main thread saw it end.
struct Outcome {
    uint32_t result = 0;
    uint32_t inProgress = 0;
    std::string status;
    Numbers figures;  // binaries, new binaries, messages
};

class ScanITest : public ::testing::Test {
  protected:
    void SetUp() override {
        group_ = test::CreateUniqueGroup("alt.binaries.test.scan");
        ASSERT_FALSE(group_.empty());
    }

    // One channel on the server, or on a relay in front of it, with the
    // standard handlers; each scan attempt's status is noted too.
    void StartEngine(bool throughRelay = false) {
        uint16_t port = Inn().anonPort;
        if (throughRelay) {
            relay_ = std::make_unique<CNntpRelay>(Inn().anonPort);
            port = relay_->Port();
        }
        engine_ = std::make_unique<test::CEngineHarness>(Inn().host, port, 1);
        RegisterStandardHandlers(engine_->handlers);
        for (uint32_t type : {kTaskScanNew, kTaskScanAll}) {
            engine_->handlers.Register(type, [this](CTaskThread& channel, CTask& task) {
                ScanGroup(channel, task);
                std::lock_guard lock(mutex_);
                attempts_.push_back(task.GetStatusText());
            });
        }
        engine_->context.settings.SetRetries(2);
        engine_->context.settings.SetOption(OPT_AUTO_REMOVE_DONE, 0);
        engine_->context.settings.SetOption(OPT_SCAN_TO_TOP, 0);
        engine_->Open();
        engine_->controller->onTaskDone = [this](const CTask& t, int) {
            outcomes_.push_back(Outcome{t.GetResult(),
                                        t.GetInProgress(),
                                        t.GetStatusText(),
                                        {t.GetBinCount(), t.GetNewCount(), t.GetMsgCount()}});
        };
        engine_->controller->Groups().AddGroup(group_, "");
    }

    // Posts to the fixture; a fresh group numbers its articles in posting order.
    void Post(const std::vector<Article>& articles) {
        std::string error;
        ASSERT_TRUE(test::PostArticles(articles, &error)) << error;
        posted_.insert(posted_.end(), articles.begin(), articles.end());
    }
    void PostSubjects(const Strings& subjects) {
        std::vector<Article> articles;
        for (const auto& s : subjects) articles.push_back(MakePost(group_, s));
        Post(articles);
    }

    // Queues a scan of `group` (the test's own by default) the way the program
    // does; returns its queue row's task.
    CTask* QueueScan(uint32_t type, const std::string& group = "") {
        const std::string name = group.empty() ? group_ : group;
        if (type == kTaskScanNew) {
            engine_->controller->ScanGroups({name});
        } else {
            CTask task(&engine_->context.settings);
            task.SetType(type);
            task.SetSaveDir(engine_->context.DataPath());
            task.SetGroupName(name);
            task.SetSubject("(SCAN) " + name);
            engine_->controller->QueueTask(task, false);
        }
        return engine_->Queue().Row(engine_->Queue().Count() - 1).task.get();
    }

    // Starts processing and pumps until one more run has ended.
    bool RunOnce() {
        size_t before = outcomes_.size();
        engine_->controller->StartCommand();
        return engine_->PumpUntil([&] { return outcomes_.size() > before; }, 120000);
    }

    // Queues a scan and runs it to its end; the outcome of that run.
    Outcome Scan(uint32_t type = kTaskScanNew, const std::string& group = "") {
        QueueScan(type, group);
        if (!RunOnce()) ADD_FAILURE() << "the scan did not end";
        return outcomes_.empty() ? Outcome{} : outcomes_.back();
    }
    // Stops the running engine once `when` holds; `completed` runs ended before.
    void StopWhen(int completed, const std::function<bool()>& when) {
        ASSERT_TRUE(engine_->PumpUntil(when));
        engine_->controller->StopNowCommand();
        relay_->Release();
        ASSERT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
        ASSERT_EQ(outcomes_.size(), size_t(1 + completed));
        EXPECT_EQ(outcomes_.back().status, "ABORTED!");
    }

    Strings Attempts() {
        std::lock_guard lock(mutex_);
        return attempts_;
    }
    std::string File(const std::string& ext) const {
        return engine_->context.DataPath() + group_ + ext;
    }
    std::vector<CMessageItem> Messages() const { return test::ReadHeaderFile(File(".MSG")); }
    std::vector<CBinaryItem> Binaries() const { return test::ReadBinaryFile(File(".BIN")); }

    // The article numbers of .MSG and .BIN together, ascending (with repeats).
    Numbers StoredArticles() const {
        Numbers all = test::Articles(Messages());
        for (const CBinaryItem& b : Binaries()) b.AppendArticles(all);
        std::sort(all.begin(), all.end());
        return all;
    }

    // The range of each XOVER the relay passed on, in order.
    Strings XoverRanges() const {
        Strings ranges;
        for (const std::string& command : relay_->Commands()) {
            size_t at = command.find(" XOVER ");
            if (at != std::string::npos) ranges.push_back(command.substr(at + 7));
        }
        return ranges;
    }

    const GroupRecord& Row() const {
        const CGroupList& groups = engine_->controller->Groups();
        return groups.Group(groups.FindGroup(group_));
    }
    Numbers RowFigures() const {
        const GroupRecord& r = Row();
        return Numbers{uint32_t(r.binCount), uint32_t(r.newCount), uint32_t(r.msgCount)};
    }

    std::string group_;
    std::vector<Article> posted_;
    std::unique_ptr<CNntpRelay> relay_;
    std::unique_ptr<test::CEngineHarness> engine_;
    std::vector<Outcome> outcomes_;  // main thread only
    std::mutex mutex_;
    Strings attempts_;  // guarded by mutex_
};

TEST_F(ScanITest, FirstScanMatchesCompletePostsAndKeepsTheRestAsMessages) {
    StartEngine();
    std::vector<Article> posts;
    auto add = [&](const Strings& subjects) {
        for (const auto& s : subjects) posts.push_back(MakePost(group_, s));
    };
    add(PartSubjects("alpha.rar", 3));                  // 1-3 complete
    posts[0].from = "First Poster <first@vexlo.test>";  // the binary's poster
    for (int i = 0; i < 3; ++i) posts[i].bodyLines.resize(5 + i, "uu");
    add(PartSubjects("Beta.zip", 2, " [%d/%d]"));        // 4-5 square brackets
    add({"gamma.rar (1/3)", "gamma.rar (3/3)"});         // 6-7 part 2 missing
    add(PartSubjects("delta.r00", 10, " (%02d/%02d)"));  // 8-17 zero-padded
    add(PartSubjects("eps.r00", 10));                    // 18-27 unpadded: never whole
    add(PartSubjects("zeta.rar", 2));                    // 28-29
    add(PartSubjects("zeta.rar", 2));                    // 30-31 the same again
    add({"eta.rar (1/3)", "eta.rar (2/3)", "eta.rar (2/3)", "eta.rar (3/3)"});  // 32-35
    add({"one.gif (1/1)"});                                                     // 36
    add({"Hello there", "Re: question (about parts)", "kappa (/5)"});           // 37-39
    Post(posts);

    Outcome o = Scan();
    EXPECT_EQ(o.result, kResultCompleted);
    EXPECT_EQ(Attempts(), Strings{kScanned});
    EXPECT_EQ(o.figures, (Numbers{6, 6, 18}));
    EXPECT_EQ(RowFigures(), o.figures);
    EXPECT_NE(Row().lastScan, kNeverScanned);
    EXPECT_EQ(engine_->Queue().Row(0).icon, RowIcon::Completed);
    EXPECT_FALSE(FileExists(File(".XOV")));
    for (const char* ext : {".BIN", ".MSG"})
        EXPECT_EQ(test::FileRange(File(ext)), std::pair(1u, 39u)) << ext;

    const auto bins = Binaries();
    EXPECT_EQ(test::Subjects(bins),
              (Strings{"alpha.rar (3/3)", "Beta.zip [2/2]", "delta.r00 (10/10)", "eta.rar (3/3)",
                       "one.gif (1/1)", "zeta.rar (2/2)"}));
    EXPECT_EQ(test::Flags(bins), Numbers(6, kBinaryFlagNew));
    // Equal subjects come back in no fixed order: a repeated part (33/34) or a
    // repost (28-29/30-31) may give either copy.
    std::vector<Numbers> parts = test::Parts(bins);
    for (Numbers& p : parts)
        for (uint32_t& a : p) a = a == 34 ? 33 : a == 30 || a == 31 ? a - 2 : a;
    EXPECT_EQ(parts,
              (std::vector<Numbers>{{1, 2, 3}, {4, 5}, Seq(8, 17), {32, 33, 35}, {36}, {28, 29}}));
    EXPECT_EQ(bins[0].GetLines(), (Numbers{5, 6, 7}));
    EXPECT_EQ(bins[0].GetPoster(), "First Poster <first@vexlo.test>");
    EXPECT_EQ(bins[0].GetMessageId(), posts[0].messageId);
    EXPECT_EQ(std::count(bins[0].GetBytes().begin(), bins[0].GetBytes().end(), 0u), 0);

    const auto msgs = Messages();
    Strings expected = {"eps.r00 (1/10)", "eps.r00 (10/10)"};
    for (int n = 2; n <= 9; ++n) expected.push_back("eps.r00 (" + std::to_string(n) + "/10)");
    for (const char* s :
         {"eta.rar (2/3)", "gamma.rar (1/3)", "gamma.rar (3/3)", "Hello there", "kappa (/5)",
          "Re: question (about parts)", "zeta.rar (1/2)", "zeta.rar (2/2)"})
        expected.push_back(s);
    EXPECT_EQ(test::Subjects(msgs), expected);
    const CMessageItem& hello = msgs[13];
    EXPECT_EQ(Numbers({hello.GetArticle(), hello.GetFlags(), hello.GetLines()}),
              (Numbers{37, 1, 3}));
    EXPECT_GT(hello.GetBytes(), 0u);
    EXPECT_EQ(hello.GetPoster(), kPoster);
    EXPECT_EQ(hello.GetMessageId(), posts[36].messageId);
    EXPECT_EQ(StoredArticles(), Seq(1, 39));
}

TEST_F(ScanITest, RescansMergeNewPostsAndClearTheNewMark) {
    StartEngine(/*throughRelay=*/true);
    // An empty group gives an empty pair that the later scans build on.
    Outcome o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.figures, (Numbers{0, 0, 0}));
    for (const char* ext : {".BIN", ".MSG"}) EXPECT_EQ(test::FileRange(File(ext)).second, 0u);

    // 1-2 old.rar, 3 gamma 1/3, 4 gamma 3/3, 5 a note.
    PostSubjects({"old.rar (1/2)", "old.rar (2/2)", "gamma.rar (1/3)", "gamma.rar (3/3)", "note"});
    EXPECT_EQ(Scan().figures, (Numbers{1, 1, 3}));

    // 6 the missing gamma part, 7-8 new.rar, 9 another note.
    PostSubjects({"gamma.rar (2/3)", "new.rar (1/2)", "new.rar (2/2)", "another note"});
    o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.figures, (Numbers{3, 2, 2}));
    EXPECT_EQ(RowFigures(), o.figures);
    // The stored range ends below 100: the scans ask from article 1, not "-95".
    EXPECT_EQ(XoverRanges(), (Strings{"1-0", "1-5", "1-9"}));
    EXPECT_EQ(Attempts(), Strings(3, kScanned));
    auto bins = Binaries();
    EXPECT_EQ(test::Subjects(bins), (Strings{"gamma.rar (3/3)", "new.rar (2/2)", "old.rar (2/2)"}));
    EXPECT_EQ(test::Parts(bins), (std::vector<Numbers>{{3, 6, 4}, {7, 8}, {1, 2}}));
    EXPECT_EQ(test::Flags(bins), (Numbers{kBinaryFlagNew, kBinaryFlagNew, 0}));
    EXPECT_EQ(test::Subjects(Messages()), (Strings{"another note", "note"}));
    for (const char* ext : {".BIN", ".MSG"}) EXPECT_EQ(test::FileRange(File(ext)).second, 9u);
    EXPECT_EQ(StoredArticles(), Seq(1, 9));

    // A scan with nothing new keeps everything and marks nothing new.
    EXPECT_EQ(Scan().figures, (Numbers{3, 0, 2}));
    EXPECT_EQ(test::Flags(Binaries()), Numbers(3, 0));
    EXPECT_EQ(StoredArticles(), Seq(1, 9));
}

TEST_F(ScanITest, ScanAllAsksFromTheServersFirstArticleAndSkipsKnownOnes) {
    StartEngine(/*throughRelay=*/true);
    Strings subjects;
    for (int i = 1; i <= 150; ++i) subjects.push_back("note " + std::to_string(i));
    for (const auto& s : PartSubjects("first.rar", 3)) subjects.push_back(s);  // 151-153
    PostSubjects(subjects);
    ASSERT_EQ(Scan().result, kResultCompleted);

    PostSubjects({"note 151", "second.rar (1/2)", "second.rar (2/2)"});  // 154-156
    Outcome o = Scan(kTaskScanAll);
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.figures, (Numbers{2, 1, 151}));
    EXPECT_EQ(StoredArticles(), Seq(1, 156));

    // SCAN NEW asks from 100 below the stored last article.
    PostSubjects({"note 152"});  // 157
    EXPECT_EQ(Scan().figures, (Numbers{2, 0, 152}));
    EXPECT_EQ(XoverRanges(), (Strings{"1-153", "1-156", "56-157"}));
    EXPECT_EQ(StoredArticles(), Seq(1, 157));
    const auto bins = Binaries();
    EXPECT_EQ(test::Subjects(bins), (Strings{"first.rar (3/3)", "second.rar (2/2)"}));
    EXPECT_EQ(test::Parts(bins), (std::vector<Numbers>{Seq(151, 153), Seq(155, 156)}));
}

TEST_F(ScanITest, MissingGroupEndsWithTheServersLineAndResult3) {
    StartEngine();
    const std::string missing = group_ + ".missing";
    engine_->controller->Groups().AddGroup(missing, "");
    Outcome o = Scan(kTaskScanNew, missing);
    EXPECT_EQ(o.result, kResultError);
    EXPECT_EQ(o.inProgress, 0u);
    EXPECT_EQ(o.status.rfind("411 ", 0), 0u) << o.status;
    EXPECT_EQ(Attempts().size(), 1u);  // not tried again
    EXPECT_EQ(engine_->Queue().Row(0).icon, RowIcon::Error);
    const CGroupList& groups = engine_->controller->Groups();
    EXPECT_EQ(groups.Group(groups.FindGroup(missing)).lastScan, kNeverScanned);
    for (const char* ext : {".XOV", ".MSG", ".BIN"})
        EXPECT_FALSE(FileExists(engine_->context.DataPath() + missing + ext)) << ext;
}

// The overview line of article `article` of `group` as the server sends it.
std::string OverviewLine(const std::string& group, uint32_t article) {
    test::CRawNntpClient client;
    std::string greeting;
    std::vector<std::string> lines;
    if (!client.Connect(Inn().anonPort, &greeting) ||
        client.Command("GROUP " + group).rfind("211 ", 0) != 0 ||
        client.Command("XOVER " + std::to_string(article)).rfind("224 ", 0) != 0 ||
        !client.ReadBlock(&lines) || lines.size() != 1)
        return "";
    return lines[0];
}

// Regression: a line longer than the connection's line buffer arrives in
// pieces; its post vanished, and a line of exactly the buffer's length failed
// every scan of the group.
TEST_F(ScanITest, LongSubjectsAndOverviewLinesLongerThanTheLineBuffer) {
    StartEngine();
    // 1 a note, 2-3 a binary with a 5,000-character subject, 4-5 one with a
    // 40,000-character subject, 6 a probe.
    Strings subjects = {"before"};
    for (const auto& s : PartSubjects("very long name " + std::string(4970, 'x'), 2))
        subjects.push_back(s);
    for (const auto& s : PartSubjects("huge " + std::string(40000, 'h'), 2)) subjects.push_back(s);
    subjects.push_back("probe " + std::string(32000, 'p'));
    PostSubjects(subjects);
    // 7 a note whose overview line is exactly as long as the line buffer, so it
    // arrives as a full piece and an empty remainder.
    const std::string probe = OverviewLine(group_, 6);
    ASSERT_FALSE(probe.empty());
    const size_t overhead = probe.size() - subjects[5].size() - posted_[5].messageId.size();
    Article exact = MakePost(group_, "");
    exact.subject =
        "exact " +
        std::string(CNntpConnection::kMaxLineLength - overhead - exact.messageId.size() - 6, 'e');
    Post({exact, MakePost(group_, "after")});  // 7, 8
    ASSERT_EQ(OverviewLine(group_, 7).size(), static_cast<size_t>(CNntpConnection::kMaxLineLength));

    Outcome o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(Attempts(), Strings{kScanned});
    const auto bins = Binaries();
    EXPECT_EQ(test::Parts(bins), (std::vector<Numbers>{{4, 5}, {2, 3}}));
    for (const auto& [b, head] : {std::pair{&bins[0], "huge hhh"}, {&bins[1], "very long name"}}) {
        const std::string& subject = b->GetSubject();
        EXPECT_EQ(subject.size(), kMaxSubjectLength);  // head ... tail
        EXPECT_EQ(subject.rfind(head, 0), 0u);
        EXPECT_NE(subject.find("..."), std::string::npos);
        EXPECT_EQ(subject.substr(subject.size() - 6), " (2/2)");
    }
    const auto msgs = Messages();
    EXPECT_EQ(test::Articles(msgs), (Numbers{8, 1, 7, 6}));
    EXPECT_EQ(msgs[2].GetSubject().substr(msgs[2].GetSubject().size() - 3), "eee");
    EXPECT_EQ(StoredArticles(), Seq(1, 8));
}

// 3,000 small articles with one five-part binary spread over them.
class ScanLargeGroupITest : public ScanITest {
  protected:
    void SetUp() override {
        ScanITest::SetUp();
        if (HasFatalFailure()) return;
        Strings subjects;
        for (uint32_t i = 1; i <= kArticles; ++i) {
            auto at = std::find(kParts.begin(), kParts.end(), i) - kParts.begin();
            subjects.push_back(at < 5 ? "spread.rar (" + std::to_string(at + 1) + "/5)"
                                      : "small note " + std::to_string(i));
        }
        PostSubjects(subjects);
    }
    void ExpectWholeGroup(uint32_t articles = kArticles) {
        EXPECT_EQ(StoredArticles(), Seq(1, articles));
        const auto bins = Binaries();
        ASSERT_FALSE(bins.empty());
        EXPECT_EQ(bins.back().GetArticles(), Numbers(kParts.begin(), kParts.end()));
    }

    static constexpr uint32_t kArticles = 3000;
    static constexpr std::array<uint32_t, 5> kParts = {10, 700, 1500, 2200, 2990};
};

TEST_F(ScanLargeGroupITest, AnAbortInXoverLeavesAnXovThatTheNextScanContinues) {
    StartEngine(/*throughRelay=*/true);
    relay_->ArmCommand("XOVER", 1, 60000, CNntpRelay::Action::kHold);
    CTask* task = QueueScan(kTaskScanNew);
    engine_->controller->StartCommand();
    ASSERT_TRUE(relay_->WaitTriggered(30000));
    // The lines before the hold reach the channel; it is stopped while it waits for more.
    StopWhen(0, [&] {
        ProgressReport report;
        return engine_->context.progress.ReadProgress(task->Key(), report) && report.lines >= 100;
    });
    EXPECT_EQ(task->GetResult(), kResultUnprocessed);
    EXPECT_FALSE(FileExists(File(".MSG")));
    EXPECT_FALSE(FileExists(File(".BIN")));
    // The .XOV holds the range of the scan and the records received so far.
    EXPECT_EQ(test::FileRange(File(".XOV")), std::pair(1u, kArticles));
    const auto received = test::ReadHeaderFile(File(".XOV"));
    ASSERT_GE(received.size(), 99u);
    ASSERT_LT(received.size(), kArticles);
    const uint32_t through = static_cast<uint32_t>(received.size());
    EXPECT_EQ(test::Articles(received), Seq(1, through));
    // As if the program had been killed while it wrote a record.
    std::string xov = test::ReadFileBytes(File(".XOV"));
    test::WriteFileBytes(File(".XOV"), xov + xov.substr(8, 40));

    ASSERT_TRUE(RunOnce());  // the same task again
    EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
    EXPECT_EQ(XoverRanges(), (Strings{"1-3000", std::to_string(through + 1) + "-3000"}));
    EXPECT_FALSE(FileExists(File(".XOV")));
    ExpectWholeGroup();
    EXPECT_EQ(RowFigures(), (Numbers{1, 1, kArticles - 5}));
}

// Regression: the next scan took the merged .XOV left by this abort for an
// interrupted XOVER and lost or doubled articles.
TEST_F(ScanLargeGroupITest, AnAbortAtTheMatchingStepOfARescanLosesNothing) {
    StartEngine(/*throughRelay=*/true);
    ASSERT_EQ(Scan().result, kResultCompleted);
    PostSubjects({"late note", "late.rar (1/2)", "late.rar (2/2)"});  // 3001-3003
    // The rescan has merged its new headers with the old messages when it
    // waits for the group's lock; it is stopped there.
    ASSERT_EQ(engine_->context.locks.TryLock(group_), 1);
    QueueScan(kTaskScanNew);
    engine_->controller->StartCommand();
    StopWhen(1, [&] {
        engine_->Queue().RefreshProgress();
        return engine_->Queue().Row(1).progressText == "(MATCHING)";
    });
    engine_->context.locks.Unlock(group_);

    ASSERT_TRUE(RunOnce());
    EXPECT_EQ(outcomes_.back().result, kResultCompleted) << outcomes_.back().status;
    ExpectWholeGroup(kArticles + 3);
    EXPECT_EQ(test::Subjects(Binaries()), (Strings{"late.rar (2/2)", "spread.rar (5/5)"}));
}

}  // namespace
}  // namespace vexlo
