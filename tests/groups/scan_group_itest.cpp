// Header scans through the task engine with real channels against the real
// news server: every test fills a group of its own, queues SCAN NEW or SCAN ALL
// tasks and reads the group's .BIN and .MSG back. A relay in front of the
// server shows the XOVER ranges asked for and holds a reply in the middle for
// the abort and progress cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
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
using test::CEngineHarness;
using test::CNntpRelay;
using test::Inn;

constexpr const char* kPoster = "Scan Tester <scan@vexlo.test>";
constexpr const char* kScanned = "Newsgroup Scanned Successfully";

Article MakePost(const std::string& group, const std::string& subject, int lines = 3,
                 const std::string& poster = kPoster) {
    Article a;
    a.messageId = test::UniqueMessageId("scan");
    a.newsgroups = group;
    a.subject = subject;
    a.from = poster;
    for (int i = 0; i < lines; ++i) a.bodyLines.push_back("body line " + std::to_string(i));
    return a;
}

// "<name> (<n>/<m>)" for n = 1..m, or with a printf pattern for the counter.
std::vector<std::string> PartSubjects(const std::string& name, int parts,
                                      const char* counter = " (%d/%d)") {
    std::vector<std::string> subjects;
    for (int n = 1; n <= parts; ++n) {
        char text[64];
        std::snprintf(text, sizeof text, counter, n, parts);
        subjects.push_back(name + text);
    }
    return subjects;
}

std::vector<uint32_t> Numbers(uint32_t from, uint32_t to) {
    std::vector<uint32_t> list;
    for (uint32_t a = from; a <= to; ++a) list.push_back(a);
    return list;
}

// What a finished run left in its task, copied when the main thread saw it end.
struct Outcome {
    uint32_t result = 0;
    uint32_t inProgress = 0;
    std::string status;
    uint32_t binCount = 0, newCount = 0, msgCount = 0;
};

class ScanITest : public ::testing::Test {
  protected:
    void SetUp() override {
        group_ = test::CreateUniqueGroup("alt.binaries.test.scan");
        ASSERT_FALSE(group_.empty());
    }

    // One channel on the server, or on a relay in front of it. The scan
    // handlers are the standard ones; each attempt's status is noted too.
    void StartEngine(bool throughRelay = false) {
        uint16_t port = Inn().anonPort;
        if (throughRelay) {
            relay_ = std::make_unique<CNntpRelay>(Inn().anonPort);
            port = relay_->Port();
        }
        engine_ = std::make_unique<CEngineHarness>(Inn().host, port, 1);
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
        engine_->controller->onTaskDone = [this](const CTask& task, int) {
            Outcome o;
            o.result = task.GetResult();
            o.inProgress = task.GetInProgress();
            o.status = task.GetStatusText();
            o.binCount = task.GetBinCount();
            o.newCount = task.GetNewCount();
            o.msgCount = task.GetMsgCount();
            outcomes_.push_back(o);
        };
        engine_->controller->Groups().AddGroup(group_, "");
    }

    // Posts to the fixture; a fresh group numbers its articles in posting order.
    void Post(const std::vector<Article>& articles) {
        std::string error;
        ASSERT_TRUE(test::PostArticles(articles, &error)) << error;
        posted_.insert(posted_.end(), articles.begin(), articles.end());
    }
    void PostSubjects(const std::vector<std::string>& subjects) {
        std::vector<Article> articles;
        for (const auto& s : subjects) articles.push_back(MakePost(group_, s));
        Post(articles);
    }
    uint32_t Posted() const { return static_cast<uint32_t>(posted_.size()); }

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

    // Starts processing and pumps until one more run has ended; `watch` runs
    // on every turn of the pump.
    bool RunOnce(const std::function<void()>& watch = {}) {
        size_t before = outcomes_.size();
        engine_->controller->StartCommand();
        return engine_->PumpUntil(
            [&] {
                if (watch) watch();
                return outcomes_.size() > before;
            },
            120000);
    }

    // Queues a scan and runs it to its end; the outcome of that run.
    Outcome Scan(uint32_t type = kTaskScanNew, const std::string& group = "") {
        QueueScan(type, group);
        if (!RunOnce()) {
            ADD_FAILURE() << "the scan did not end";
            return {};
        }
        return outcomes_.back();
    }

    std::vector<std::string> Attempts() {
        std::lock_guard lock(mutex_);
        return attempts_;
    }

    std::string File(const std::string& ext) const {
        return engine_->context.DataPath() + group_ + ext;
    }
    std::vector<CMessageItem> Messages(uint32_t* first = nullptr, uint32_t* last = nullptr) const {
        if (first) std::tie(*first, *last) = test::FileRange(File(".MSG"));
        return test::ReadHeaderFile(File(".MSG"));
    }
    std::vector<CBinaryItem> Binaries(uint32_t* first = nullptr, uint32_t* last = nullptr) const {
        if (first) std::tie(*first, *last) = test::FileRange(File(".BIN"));
        return test::ReadBinaryFile(File(".BIN"));
    }

    // The article numbers of .MSG and .BIN together, ascending (with repeats).
    std::vector<uint32_t> StoredArticles() const {
        std::vector<uint32_t> all = test::Articles(Messages());
        for (const CBinaryItem& b : Binaries()) b.AppendArticles(all);
        std::sort(all.begin(), all.end());
        return all;
    }

    // The range of each XOVER the relay passed on, in order.
    std::vector<std::string> XoverRanges() const {
        std::vector<std::string> ranges;
        for (const std::string& command : relay_->Commands()) {
            size_t at = command.find(" XOVER ");
            if (at != std::string::npos) ranges.push_back(command.substr(at + 7));
        }
        return ranges;
    }

    // Lines the running scan has reported receiving (0 before its first report).
    uint32_t LinesReported(const CTask* task) const {
        ProgressReport report;
        return engine_->context.progress.ReadProgress(task->Key(), report) ? report.lines : 0;
    }

    const GroupRecord& Row() const {
        const CGroupList& groups = engine_->controller->Groups();
        return groups.Group(groups.FindGroup(group_));
    }

    std::string group_;
    std::vector<Article> posted_;
    std::unique_ptr<CNntpRelay> relay_;
    std::unique_ptr<CEngineHarness> engine_;
    std::vector<Outcome> outcomes_;  // main thread only
    std::mutex mutex_;
    std::vector<std::string> attempts_;  // guarded by mutex_
};

std::vector<std::string> BinarySubjects(const std::vector<CBinaryItem>& items) {
    std::vector<std::string> s;
    for (const auto& b : items) s.push_back(b.GetSubject());
    return s;
}

const CBinaryItem* FindBinary(const std::vector<CBinaryItem>& items, const std::string& subject) {
    for (const auto& b : items)
        if (b.GetSubject() == subject) return &b;
    return nullptr;
}

TEST_F(ScanITest, FirstScanMatchesCompletePostsAndKeepsTheRestAsMessages) {
    StartEngine();
    std::vector<Article> posts;
    auto add = [&](const std::vector<std::string>& subjects) {
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
    ASSERT_EQ(Posted(), 39u);

    Outcome o = Scan();
    EXPECT_EQ(o.result, kResultCompleted);
    EXPECT_EQ(o.status, kScanned);
    EXPECT_EQ(Attempts(), std::vector<std::string>{kScanned});
    EXPECT_EQ(o.binCount, 6u);
    EXPECT_EQ(o.newCount, 6u);
    EXPECT_EQ(o.msgCount, 18u);
    EXPECT_EQ(Row().binCount, 6);
    EXPECT_EQ(Row().newCount, 6);
    EXPECT_EQ(Row().msgCount, 18);
    EXPECT_NE(Row().lastScan, kNeverScanned);
    EXPECT_EQ(engine_->Queue().Row(0).icon, RowIcon::Completed);

    uint32_t first = 0, last = 0;
    const auto bins = Binaries(&first, &last);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(last, 39u);
    EXPECT_EQ(BinarySubjects(bins),
              (std::vector<std::string>{"alpha.rar (3/3)", "Beta.zip [2/2]", "delta.r00 (10/10)",
                                        "eta.rar (3/3)", "one.gif (1/1)", "zeta.rar (2/2)"}));
    for (const auto& b : bins) EXPECT_EQ(b.GetFlags(), kBinaryFlagNew) << b.GetSubject();

    const CBinaryItem& alpha = bins[0];
    EXPECT_EQ(alpha.GetArticles(), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(alpha.GetLines(), (std::vector<uint32_t>{5, 6, 7}));
    EXPECT_EQ(alpha.GetPoster(), "First Poster <first@vexlo.test>");
    EXPECT_EQ(alpha.GetMessageId(), posts[0].messageId);
    for (uint32_t bytes : alpha.GetBytes()) EXPECT_GT(bytes, 0u);
    EXPECT_EQ(bins[1].GetArticles(), (std::vector<uint32_t>{4, 5}));
    EXPECT_EQ(bins[2].GetArticles(), Numbers(8, 17));
    // A repeated part: the one later in subject order is kept, the other is a message.
    ASSERT_EQ(bins[3].PartCount(), 3u);
    EXPECT_EQ(bins[3].GetArticles()[0], 32u);
    EXPECT_TRUE(bins[3].GetArticles()[1] == 33 || bins[3].GetArticles()[1] == 34);
    EXPECT_EQ(bins[3].GetArticles()[2], 35u);
    EXPECT_EQ(bins[4].GetArticles(), std::vector<uint32_t>{36});
    // A repost: one part 1 and one part 2 make the binary, the others stay messages.
    ASSERT_EQ(bins[5].PartCount(), 2u);
    EXPECT_TRUE(bins[5].GetArticles()[0] == 28 || bins[5].GetArticles()[0] == 30);
    EXPECT_TRUE(bins[5].GetArticles()[1] == 29 || bins[5].GetArticles()[1] == 31);

    const auto msgs = Messages(&first, &last);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(last, 39u);
    std::vector<std::string> expected = {"eps.r00 (1/10)", "eps.r00 (10/10)"};
    for (int n = 2; n <= 9; ++n) expected.push_back("eps.r00 (" + std::to_string(n) + "/10)");
    for (const char* s :
         {"eta.rar (2/3)", "gamma.rar (1/3)", "gamma.rar (3/3)", "Hello there", "kappa (/5)",
          "Re: question (about parts)", "zeta.rar (1/2)", "zeta.rar (2/2)"})
        expected.push_back(s);
    EXPECT_EQ(test::Subjects(msgs), expected);
    const CMessageItem& hello = msgs[13];
    EXPECT_EQ(hello.GetArticle(), 37u);
    EXPECT_EQ(hello.GetFlags(), 1u);
    EXPECT_EQ(hello.GetLines(), 3u);
    EXPECT_GT(hello.GetBytes(), 0u);
    EXPECT_EQ(hello.GetPoster(), kPoster);
    EXPECT_EQ(hello.GetMessageId(), posts[36].messageId);

    EXPECT_EQ(StoredArticles(), Numbers(1, 39));
    EXPECT_FALSE(FileExists(File(".XOV")));
}

TEST_F(ScanITest, SecondScanMergesNewPostsAndClearsTheNewMarkOfOldBinaries) {
    StartEngine(/*throughRelay=*/true);
    // 1-2 old.rar, 3 gamma 1/3, 4 gamma 3/3, 5 a note.
    PostSubjects({"old.rar (1/2)", "old.rar (2/2)", "gamma.rar (1/3)", "gamma.rar (3/3)", "note"});
    Outcome o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.binCount, 1u);
    EXPECT_EQ(o.msgCount, 3u);

    // 6 the missing gamma part, 7-8 new.rar, 9 another note.
    PostSubjects({"gamma.rar (2/3)", "new.rar (1/2)", "new.rar (2/2)", "another note"});
    o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.status, kScanned);
    EXPECT_EQ(o.binCount, 3u);
    EXPECT_EQ(o.newCount, 2u);
    EXPECT_EQ(o.msgCount, 2u);
    EXPECT_EQ(Row().binCount, 3);
    EXPECT_EQ(Row().newCount, 2);
    EXPECT_EQ(Row().msgCount, 2);
    // The stored range ends below 100: the scan asks from article 1, not "-95".
    EXPECT_EQ(XoverRanges(), (std::vector<std::string>{"1-5", "1-9"}));
    EXPECT_EQ(Attempts(), (std::vector<std::string>{kScanned, kScanned}));

    uint32_t first = 0, last = 0;
    const auto bins = Binaries(&first, &last);
    EXPECT_EQ(last, 9u);
    ASSERT_EQ(BinarySubjects(bins),
              (std::vector<std::string>{"gamma.rar (3/3)", "new.rar (2/2)", "old.rar (2/2)"}));
    EXPECT_EQ(bins[0].GetArticles(), (std::vector<uint32_t>{3, 6, 4}));
    EXPECT_EQ(bins[0].GetFlags(), kBinaryFlagNew);
    EXPECT_EQ(bins[1].GetArticles(), (std::vector<uint32_t>{7, 8}));
    EXPECT_EQ(bins[1].GetFlags(), kBinaryFlagNew);
    EXPECT_EQ(bins[2].GetArticles(), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(bins[2].GetFlags(), 0u);
    const auto msgs = Messages(&first, &last);
    EXPECT_EQ(last, 9u);
    EXPECT_EQ(test::Subjects(msgs), (std::vector<std::string>{"another note", "note"}));
    EXPECT_EQ(StoredArticles(), Numbers(1, 9));

    // A third scan with nothing new keeps everything and marks nothing new.
    o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.binCount, 3u);
    EXPECT_EQ(o.newCount, 0u);
    EXPECT_EQ(o.msgCount, 2u);
    for (const auto& b : Binaries()) EXPECT_EQ(b.GetFlags(), 0u);
    EXPECT_EQ(StoredArticles(), Numbers(1, 9));
}

TEST_F(ScanITest, AnEmptyGroupGivesAnEmptyPairThatLaterScansBuildOn) {
    StartEngine(/*throughRelay=*/true);
    Outcome o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.binCount + o.newCount + o.msgCount, 0u);
    uint32_t first = 9, last = 9;
    EXPECT_TRUE(Binaries(&first, &last).empty());
    EXPECT_EQ(last, 0u);
    EXPECT_TRUE(Messages(&first, &last).empty());
    EXPECT_EQ(last, 0u);

    PostSubjects({"a.bin (1/1)", "hello"});
    o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.binCount, 1u);
    EXPECT_EQ(o.newCount, 1u);
    EXPECT_EQ(o.msgCount, 1u);
    EXPECT_EQ(StoredArticles(), Numbers(1, 2));
    EXPECT_EQ(XoverRanges(), (std::vector<std::string>{"1-0", "1-2"}));
}

TEST_F(ScanITest, ScanAllAsksFromTheServersFirstArticleAndSkipsKnownOnes) {
    StartEngine(/*throughRelay=*/true);
    std::vector<std::string> subjects;
    for (int i = 1; i <= 150; ++i) subjects.push_back("note " + std::to_string(i));
    for (const auto& s : PartSubjects("first.rar", 3)) subjects.push_back(s);  // 151-153
    PostSubjects(subjects);
    ASSERT_EQ(Scan().result, kResultCompleted);

    PostSubjects({"note 151", "second.rar (1/2)", "second.rar (2/2)"});  // 154-156
    Outcome o = Scan(kTaskScanAll);
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.binCount, 2u);
    EXPECT_EQ(o.newCount, 1u);
    EXPECT_EQ(o.msgCount, 151u);
    EXPECT_EQ(StoredArticles(), Numbers(1, 156));

    // SCAN NEW asks from 100 below the stored last article.
    PostSubjects({"note 152"});  // 157
    o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.newCount, 0u);
    EXPECT_EQ(o.msgCount, 152u);
    EXPECT_EQ(XoverRanges(), (std::vector<std::string>{"1-153", "1-156", "56-157"}));
    EXPECT_EQ(StoredArticles(), Numbers(1, 157));
    const auto bins = Binaries();
    ASSERT_EQ(BinarySubjects(bins),
              (std::vector<std::string>{"first.rar (3/3)", "second.rar (2/2)"}));
    EXPECT_EQ(bins[0].GetArticles(), Numbers(151, 153));
    EXPECT_EQ(bins[1].GetArticles(), Numbers(155, 156));
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

TEST_F(ScanITest, AFiveThousandCharacterSubjectIsMatchedWithTheRestOfTheGroup) {
    StartEngine();
    const std::string head = "very long name " + std::string(4970, 'x');
    std::vector<std::string> subjects = {"before"};
    for (const auto& s : PartSubjects(head, 2)) subjects.push_back(s);
    subjects.push_back("after");
    for (const auto& s : PartSubjects("short.rar", 2)) subjects.push_back(s);
    ASSERT_GE(subjects[1].size(), 4985u);
    PostSubjects(subjects);

    Outcome o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(o.binCount, 2u);
    EXPECT_EQ(o.msgCount, 2u);
    const auto bins = Binaries();
    ASSERT_EQ(bins.size(), 2u);
    const CBinaryItem& longOne = bins[1].GetSubject().rfind("very", 0) == 0 ? bins[1] : bins[0];
    const std::string& subject = longOne.GetSubject();
    EXPECT_LE(subject.size(), 1023u);
    EXPECT_EQ(subject.rfind("very long name xxx", 0), 0u);
    EXPECT_EQ(subject.substr(subject.size() - 6), " (2/2)");
    EXPECT_NE(subject.find("..."), std::string::npos);
    EXPECT_EQ(longOne.GetArticles(), (std::vector<uint32_t>{2, 3}));
    EXPECT_NE(FindBinary(bins, "short.rar (2/2)"), nullptr);
    EXPECT_EQ(test::Subjects(Messages()), (std::vector<std::string>{"after", "before"}));
    EXPECT_EQ(StoredArticles(), Numbers(1, 6));
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

TEST_F(ScanITest, OverviewLinesLongerThanTheLineBufferAreJoined) {
    StartEngine();
    // 1 a note, 2-3 a binary with a 40,000-character subject, 4 a probe.
    std::vector<std::string> subjects = {"before"};
    for (const auto& s : PartSubjects("huge " + std::string(40000, 'h'), 2)) subjects.push_back(s);
    subjects.push_back("probe " + std::string(32000, 'p'));
    PostSubjects(subjects);
    // 5 a note whose overview line is exactly as long as the connection's
    // line buffer, so it arrives as a full piece and an empty remainder.
    const std::string probe = OverviewLine(group_, 4);
    ASSERT_FALSE(probe.empty());
    const size_t overhead = probe.size() - subjects[3].size() - posted_[3].messageId.size();
    Article exact = MakePost(group_, "");
    exact.subject =
        "exact " +
        std::string(CNntpConnection::kMaxLineLength - overhead - exact.messageId.size() - 6, 'e');
    Post({exact, MakePost(group_, "after")});  // 5, 6
    ASSERT_EQ(OverviewLine(group_, 5).size(), static_cast<size_t>(CNntpConnection::kMaxLineLength));

    Outcome o = Scan();
    ASSERT_EQ(o.result, kResultCompleted) << o.status;
    EXPECT_EQ(Attempts(), std::vector<std::string>{kScanned});
    const auto bins = Binaries();
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].GetArticles(), (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(bins[0].GetSubject().rfind("huge hhh", 0), 0u);
    const auto msgs = Messages();
    ASSERT_EQ(msgs.size(), 4u);
    EXPECT_EQ(test::Articles(msgs), (std::vector<uint32_t>{6, 1, 5, 4}));
    EXPECT_EQ(msgs[2].GetSubject().substr(msgs[2].GetSubject().size() - 3), "eee");
    EXPECT_EQ(StoredArticles(), Numbers(1, 6));
}

// 3,000 small articles with one five-part binary spread over them.
class ScanLargeGroupITest : public ScanITest {
  protected:
    void SetUp() override {
        ScanITest::SetUp();
        if (HasFatalFailure()) return;
        std::vector<std::string> subjects;
        const std::vector<int> parts = {10, 700, 1500, 2200, 2990};
        for (int i = 1; i <= kArticles; ++i) {
            auto at = std::find(parts.begin(), parts.end(), i);
            if (at != parts.end()) {
                subjects.push_back("spread.rar (" + std::to_string(at - parts.begin() + 1) + "/5)");
            } else {
                subjects.push_back("small note " + std::to_string(i));
            }
        }
        PostSubjects(subjects);
    }

    void ExpectWholeGroup() {
        EXPECT_EQ(StoredArticles(), Numbers(1, kArticles));
        const auto bins = Binaries();
        ASSERT_EQ(bins.size(), 1u);
        EXPECT_EQ(bins[0].GetArticles(), (std::vector<uint32_t>{10, 700, 1500, 2200, 2990}));
    }

    static constexpr int kArticles = 3000;
};

TEST_F(ScanLargeGroupITest, AnAbortInXoverLeavesAnXovThatTheNextScanContinues) {
    StartEngine(/*throughRelay=*/true);
    relay_->ArmCommand("XOVER", 1, 60000, CNntpRelay::Action::kHold);
    CTask* task = QueueScan(kTaskScanNew);
    engine_->controller->StartCommand();
    ASSERT_TRUE(relay_->WaitTriggered(30000));
    // The lines before the hold reach the channel; it is stopped while it waits for more.
    ASSERT_TRUE(engine_->PumpUntil([&] { return LinesReported(task) >= 100; }));
    engine_->controller->StopNowCommand();
    relay_->Release();
    ASSERT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_EQ(task->GetStatusText(), "ABORTED!");
    EXPECT_EQ(task->GetResult(), kResultUnprocessed);
    EXPECT_FALSE(FileExists(File(".MSG")));
    EXPECT_FALSE(FileExists(File(".BIN")));

    // The .XOV holds the range of the scan and the records received so far.
    uint32_t first = 0, last = 0;
    std::tie(first, last) = test::FileRange(File(".XOV"));
    const auto received = test::ReadHeaderFile(File(".XOV"));
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(last, static_cast<uint32_t>(kArticles));
    ASSERT_GE(received.size(), 99u);
    ASSERT_LT(received.size(), static_cast<size_t>(kArticles));
    const uint32_t through = static_cast<uint32_t>(received.size());
    EXPECT_EQ(test::Articles(received), Numbers(1, through));
    // As if the program had been killed while it wrote a record.
    std::string xov = test::ReadFileBytes(File(".XOV"));
    test::WriteFileBytes(File(".XOV"), xov + xov.substr(8, 40));

    ASSERT_TRUE(RunOnce());  // the same task again
    EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
    EXPECT_EQ(XoverRanges(),
              (std::vector<std::string>{"1-3000", std::to_string(through + 1) + "-3000"}));
    EXPECT_FALSE(FileExists(File(".XOV")));
    ExpectWholeGroup();
    EXPECT_EQ(Row().binCount, 1);
    EXPECT_EQ(Row().msgCount, kArticles - 5);
}

TEST_F(ScanLargeGroupITest, ProgressShowsThePercentageAndThenMatching) {
    StartEngine(/*throughRelay=*/true);
    // The group's lock keeps the scan at its matching step until the test lets go.
    ASSERT_EQ(engine_->context.locks.TryLock(group_), 1);
    relay_->ArmCommand("XOVER", 1, 60000, CNntpRelay::Action::kHold);
    CTask* task = QueueScan(kTaskScanNew);
    engine_->controller->StartCommand();
    ASSERT_TRUE(relay_->WaitTriggered(30000));
    ASSERT_TRUE(engine_->PumpUntil([&] { return LinesReported(task) >= 50; }));

    std::vector<std::string> seen;
    auto watch = [&] {
        engine_->Queue().RefreshProgress();
        const std::string& text = engine_->Queue().Row(0).progressText;
        if (seen.empty() || seen.back() != text) seen.push_back(text);
    };
    auto showing = [&](const std::string& wanted) {
        return engine_->PumpUntil([&] {
            watch();
            return seen.back().find(wanted) != std::string::npos;
        });
    };
    // Held in the middle of the XOVER reply: "<p>% (<lines> of 3000)".
    ASSERT_TRUE(showing(" of 3000)"));
    unsigned percent = 0, lines = 0;
    ASSERT_EQ(std::sscanf(seen.back().c_str(), "%u%% (%u of 3000)", &percent, &lines), 2)
        << seen.back();
    EXPECT_GE(lines, 50u);
    EXPECT_LT(lines, 3000u);
    EXPECT_NEAR(percent, lines * 100 / 3000, 1);

    relay_->Release();
    ASSERT_TRUE(showing("(MATCHING)"));
    EXPECT_FALSE(FileExists(File(".BIN")));
    engine_->context.locks.Unlock(group_);
    ASSERT_TRUE(RunOnce(watch));
    EXPECT_EQ(outcomes_.back().result, kResultCompleted) << outcomes_.back().status;
    ExpectWholeGroup();
}

TEST_F(ScanLargeGroupITest, AnAbortAtTheMatchingStepOfARescanLosesNothing) {
    StartEngine(/*throughRelay=*/true);
    ASSERT_EQ(Scan().result, kResultCompleted);
    PostSubjects({"late note", "late.rar (1/2)", "late.rar (2/2)"});  // 3001-3003

    // The rescan has merged its new headers with the old messages when it
    // waits for the group's lock; it is stopped there.
    ASSERT_EQ(engine_->context.locks.TryLock(group_), 1);
    QueueScan(kTaskScanNew);
    engine_->controller->StartCommand();
    ASSERT_TRUE(engine_->PumpUntil([&] {
        engine_->Queue().RefreshProgress();
        return engine_->Queue().Row(1).progressText == "(MATCHING)";
    }));
    engine_->controller->StopNowCommand();
    ASSERT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
    EXPECT_EQ(outcomes_.back().status, "ABORTED!");
    engine_->context.locks.Unlock(group_);

    ASSERT_TRUE(RunOnce());
    EXPECT_EQ(outcomes_.back().result, kResultCompleted) << outcomes_.back().status;
    std::vector<uint32_t> all = Numbers(1, kArticles + 3);
    EXPECT_EQ(StoredArticles(), all);
    std::set<std::string> subjects;
    for (const auto& b : Binaries()) subjects.insert(b.GetSubject());
    EXPECT_EQ(subjects, (std::set<std::string>{"late.rar (2/2)", "spread.rar (5/5)"}));
}

}  // namespace
}  // namespace vexlo
