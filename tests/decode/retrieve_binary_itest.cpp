// Downloads from the real INN fixture through the engine: binaries posted as
// uuencoded multi-part articles are queued as DECODE tasks and run on several
// channels; the files must come out byte-identical. Fault cases put a relay
// between the channels and the server that cuts or holds a reply in a part.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <thread>

#include "../tasks/engine_harness.h"
#include "core/named_locks.h"
#include "decode/file_utils.h"
#include "decode/retrieve_binary.h"
#include "nntp/nntp_connection.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/raw_nntp_client.h"
#include "support/test_data.h"
#include "tasks/task_handlers.h"

namespace vexlo {
namespace {
using test::Article;
using test::CEngineHarness;
using test::CNntpRelay;
using test::Inn;
using test::RandomBytes;
using test::ReadFileBytes;

// A binary as the header view would queue it: article numbers and line
// counts from the server's overview, in part order.
struct Binary {
    std::string subject, data;
    std::vector<uint32_t> articles, lines;
};

// Posts the articles and finds their numbers and line counts in the overview.
::testing::AssertionResult Post(const std::string& group, const std::vector<Article>& posts,
                                Binary* binary) {
    std::string error;
    if (!test::PostArticles(posts, &error)) return ::testing::AssertionFailure() << error;
    test::CRawNntpClient client;
    std::vector<std::string> overview;
    if (!client.Connect(Inn().anonPort, &error) || client.Command("GROUP " + group).empty() ||
        client.Command("XOVER 1-").rfind("224", 0) != 0 || !client.ReadBlock(&overview))
        return ::testing::AssertionFailure() << "no overview of " << group;
    std::map<std::string, std::pair<uint32_t, uint32_t>> byId;
    for (const std::string& line : overview) {
        auto f = test::SplitTabs(line);
        if (f.size() >= 8) byId[f[4]] = {std::stoul(f[0]), std::stoul(f[7])};
    }
    binary->articles.clear();
    binary->lines.clear();
    for (const Article& post : posts) {
        auto it = byId.find(post.messageId);
        if (it == byId.end()) return ::testing::AssertionFailure() << post.messageId;
        binary->articles.push_back(it->second.first);
        binary->lines.push_back(it->second.second);
    }
    binary->subject = posts.front().subject;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PostBinary(const std::string& group, const std::string& name,
                                      std::string data, int parts, Binary* binary) {
    binary->data = std::move(data);
    return Post(group, test::MakeUuencodedPosts(group, name, binary->data, parts, "Poster <p@x>"),
                binary);
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (!DirectoryExists(dir)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An engine with the real handlers on the fixture's anonymous server (or a
// relay in front of it), saving into a directory with a blank in its name.
class Downloads : public ::testing::Test {
  protected:
    void StartEngine(int channels, uint16_t port = 0) {
        engine_ =
            std::make_unique<CEngineHarness>(Inn().host, port ? port : Inn().anonPort, channels);
        RegisterStandardHandlers(engine_->handlers);
        engine_->context.settings.SetRetries(3);
        engine_->context.settings.SetOption(OPT_AUTO_REMOVE_DONE, 0);
        engine_->Open();
        saveDir_ = engine_->dir / "downloads/sub dir/";
    }

    CTask* Queue(const std::string& group, const Binary& binary) {
        CTask task(&engine_->context.settings);
        MakeDownloadTask(task, {group, binary.subject, saveDir_, binary.articles, binary.lines});
        engine_->controller->QueueTask(task, false);
        return engine_->Queue().Row(engine_->Queue().Count() - 1).task.get();
    }

    // Runs the queue until every listed task has finished its run.
    bool RunAll(const std::vector<CTask*>& tasks, const std::function<void()>& watch = {}) {
        engine_->controller->StartCommand();
        return engine_->PumpUntil(
            [&] {
                if (watch) watch();
                for (CTask* task : tasks) {
                    const uint32_t result = task->GetResult();
                    if ((result != kResultCompleted && result != kResultError) ||
                        task->GetAssigned() != 0)
                        return false;
                }
                return true;
            },
            120000);
    }

    std::string DebugLog() const { return ReadFileBytes(engine_->dir / "DEBUG.TXT"); }

    std::unique_ptr<CEngineHarness> engine_;
    std::string saveDir_;
};

TEST_F(Downloads, BinariesOfManySizesPartCountsAndNamesComeOutByteIdentical) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.retrieve");
    ASSERT_FALSE(group.empty());
    // Sizes around line ends (45 bytes a line; 14 bytes make a last line that
    // starts with "." and travels dot-stuffed), up to several MB in 50 parts;
    // names with blanks, quotes and characters that are replaced.
    const struct {
        size_t size;
        int parts;
        std::string name, saved;
    } shapes[] = {
        {1, 1, "\"holiday photos 2024.zip\"", "holiday photos 2024.zip"},
        {14, 1, "\"  spaced out .txt  \"", "spaced out .txt"},
        {59, 2, "a:b*c|d<e>f?.bin", "a_b_c_d_e_f?.bin"},
        {4514, 3, "..\\..\\etc/passwd", ".._.._etc_passwd"},
        {100000, 7, "caf\xe9 cr\xe8me.txt", "caf_ cr_me.txt"},
        {1 << 20, 13, "f5.bin", "f5.bin"},
        {3145742, 50, "f6.bin", "f6.bin"},
        {5000000, 20, "f7.bin", "f7.bin"},
    };
    std::vector<Binary> binaries;
    std::vector<std::string> saved;
    for (const auto& shape : shapes) {
        binaries.push_back(
            {"", RandomBytes(shape.size, static_cast<unsigned>(shape.size)), {}, {}});
        auto posts = test::MakeUuencodedPosts(group, shape.name, binaries.back().data, shape.parts,
                                              "Poster <p@x>");
        // Message-ids made from these names could start with dots, which servers refuse.
        for (Article& post : posts) post.messageId = test::UniqueMessageId("retrieve");
        ASSERT_TRUE(Post(group, posts, &binaries.back()));
        saved.push_back(shape.saved);
    }
    StartEngine(4);
    std::vector<CTask*> tasks;
    for (const Binary& binary : binaries) tasks.push_back(Queue(group, binary));

    // Whenever a resume point is on record, the file holds that much of the
    // binary, whole: a process killed at that moment could continue there.
    int checks = 0, resumePointsSeen = 0;
    auto watch = [&] {
        if (++checks % 3 != 0) return;
        for (size_t i = 0; i < tasks.size(); ++i) {
            uint32_t parts, bytes;
            std::string path;
            {
                CTaskProgressGuard guard(engine_->context.locks);
                parts = tasks[i]->GetPartsFetched();
                bytes = tasks[i]->GetBytesWritten();
                path = tasks[i]->GetOutputFile();
            }
            if (parts == 0 || parts == binaries[i].articles.size()) continue;
            ++resumePointsSeen;
            const std::string onDisk = ReadFileBytes(path);
            ASSERT_GE(onDisk.size(), bytes) << path;
            ASSERT_EQ(onDisk.substr(0, bytes), binaries[i].data.substr(0, bytes)) << path;
        }
    };
    ASSERT_TRUE(RunAll(tasks, watch));

    size_t parts = 0;
    for (size_t i = 0; i < tasks.size(); ++i) {
        SCOPED_TRACE(binaries[i].subject);
        EXPECT_EQ(tasks[i]->GetStatusText(), "Completed Successfully");
        EXPECT_EQ(tasks[i]->GetResult(), kResultCompleted);
        const std::string path = saveDir_ + saved[i];
        EXPECT_EQ(tasks[i]->GetOutputFile(), path);
        EXPECT_TRUE(ReadFileBytes(path) == binaries[i].data);
        EXPECT_EQ(tasks[i]->GetBytesWritten(), binaries[i].data.size());
        EXPECT_NE(DebugLog().find(" DONE: " + binaries[i].subject + "\n   AS: " + path + "\n"),
                  std::string::npos);
        parts += binaries[i].articles.size();
    }
    EXPECT_GT(resumePointsSeen, 0);
    EXPECT_EQ(engine_->context.stats.Run().bodyRecv.ToString(), std::to_string(parts));
    EXPECT_EQ(engine_->context.stats.Run().fileRecv.ToString(), std::to_string(tasks.size()));
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(FilesIn(saveDir_), saved);
}

TEST_F(Downloads, AnExistingFileIsRenamedOrOverwrittenByTheOption) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.rename");
    ASSERT_FALSE(group.empty());
    Binary binary;
    ASSERT_TRUE(PostBinary(group, "photo.gif", RandomBytes(20000, 5), 3, &binary));
    StartEngine(2);
    ASSERT_TRUE(CreateDirectoryPath(saveDir_));
    test::WriteFileBytes(saveDir_ + "photo.gif", "the photo that was there");
    for (const auto& [rename, name] : {std::pair{1, "photo-1.gif"}, {0, "photo.gif"}}) {
        engine_->context.settings.SetOption(OPT_RENAME_EXISTING, rename);
        CTask* task = Queue(group, binary);
        ASSERT_TRUE(RunAll({task}));
        EXPECT_EQ(task->GetOutputFile(), saveDir_ + name);
        EXPECT_TRUE(ReadFileBytes(saveDir_ + name) == binary.data);
        EXPECT_EQ(ReadFileBytes(saveDir_ + "photo.gif") == binary.data, !rename);  // else kept
    }
    EXPECT_EQ(FilesIn(saveDir_), (std::vector<std::string>{"photo-1.gif", "photo.gif"}));
}

TEST_F(Downloads, RefusalsMissingAttachmentsAndDecodeErrorsFailForGood) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.refusals");
    ASSERT_FALSE(group.empty());
    Article yenc{test::UniqueMessageId("yenc"),
                 group,
                 "yenc.bin (1/1)",
                 "Poster <p@x>",
                 "",
                 {"=ybegin line=128 size=10 name=yenc.bin", "0123456789", "=yend size=10"}};
    Binary noAttachment, good, broken;
    ASSERT_TRUE(Post(group, {yenc}, &noAttachment));
    ASSERT_TRUE(PostBinary(group, "good.bin", RandomBytes(7000, 9), 2, &good));
    Binary missing = good, missingFirst = good;
    missing.subject = "missing.bin (1/2)";
    missing.articles[1] = 99999;
    missingFirst.articles[0] = 99998;  // its part 2 is asked for and must be read away
    broken.data = RandomBytes(30000, 11);
    auto posts = test::MakeUuencodedPosts(group, "broken.bin", broken.data, 3, "Poster <p@x>");
    posts[1].bodyLines[5] = "Mshort";
    ASSERT_TRUE(Post(group, posts, &broken));

    // One channel through a relay: the refusals keep the connection.
    CNntpRelay relay(Inn().anonPort);
    StartEngine(1, relay.Port());
    CTask* noFile = Queue(group, noAttachment);
    CTask* gone = Queue(group, missing);
    CTask* firstGone = Queue(group, missingFirst);
    CTask* noGroup = Queue(group + ".nonexistent", good);
    CTask* fine = Queue(group, good);
    CTask* undecodable = Queue(group, broken);
    ASSERT_TRUE(RunAll({noFile, gone, firstGone, noGroup, fine, undecodable}));

    const std::pair<CTask*, std::string> failures[] = {
        {noFile, "No Binary Attachment Found"},
        {gone, "423 No such article number 99999"},
        {firstGone, "423 No such article number 99998"},
        {noGroup, "411 No such group " + group + ".nonexistent"},
        {undecodable, "Error Decoding Line, Len=6: Mshort"},
    };
    for (const auto& [task, status] : failures) {
        EXPECT_EQ(task->GetStatusText(), status);
        EXPECT_EQ(task->GetResult(), kResultError);
        EXPECT_EQ(task->GetInProgress(), 0u);
    }
    EXPECT_EQ(noFile->GetOutputFile(), "");
    EXPECT_EQ(gone->GetPartsFetched(), 1u);  // part 1 stays on disk and on record
    EXPECT_EQ(fine->GetResult(), kResultCompleted);
    // good.bin is the unfinished `gone`'s, which will resume it: `fine` names
    // its file as if renaming were on.
    EXPECT_EQ(fine->GetOutputFile(), saveDir_ + "good-1.bin");
    EXPECT_TRUE(ReadFileBytes(saveDir_ + "good-1.bin") == good.data);
    EXPECT_EQ(FileSize(saveDir_ + "good.bin"), gone->GetBytesWritten());
    // broken.bin deleted
    EXPECT_EQ(FilesIn(saveDir_), (std::vector<std::string>{"good-1.bin", "good.bin"}));
    EXPECT_EQ(relay.Connections(), 1);
    const std::string log = DebugLog();
    EXPECT_NE(log.find("BODY 99999\r\n423 No such article number 99999\r\n"), std::string::npos);
    EXPECT_NE(log.find("No Binary Attachment Found: yenc.bin (1/1)\n"), std::string::npos);
    EXPECT_NE(log.find("Error Decoding Line: Part 1 of 3 [" + std::to_string(broken.articles[1]) +
                       "], Line Len = 6\r\nLine Text = Mshort\r\n"),
              std::string::npos);
}

// Fault cases: one binary of eight parts behind a relay.
class DownloadFaults : public Downloads {
  protected:
    void SetUp() override {
        group_ = test::CreateUniqueGroup("alt.binaries.test.faults");
        ASSERT_FALSE(group_.empty());
        ASSERT_TRUE(PostBinary(group_, "faults.bin", RandomBytes(200000, 12), 8, &binary_));
        relay_ = std::make_unique<CNntpRelay>(Inn().anonPort);
    }

    // Decoded bytes of the first n parts (45 bytes in each data line).
    size_t BytesOfParts(size_t n) const {
        return std::min(test::UuencodeLines(binary_.data).size() * n / 8 * 45, binary_.data.size());
    }
    std::string Part(size_t n) const { return binary_.data.substr(0, BytesOfParts(n)); }

    // The article numbers BODY asked for on relayed connection `connection`.
    std::vector<uint32_t> Bodies(int connection) const {
        std::vector<uint32_t> bodies;
        const std::string prefix = std::to_string(connection) + " BODY ";
        for (const std::string& command : relay_->Commands())
            if (command.starts_with(prefix))
                bodies.push_back(std::stoul(command.substr(prefix.size())));
        return bodies;
    }
    std::vector<uint32_t> Articles(size_t from, size_t to = 8) const {
        return {binary_.articles.begin() + from, binary_.articles.begin() + to};
    }

    // Starts the download and presses "stop now" while the reply to BODY
    // number `body` is held after `bytes` bytes.
    CTask* StopInPart(int body, size_t bytes) {
        relay_->Arm(body, bytes, CNntpRelay::Action::kHold);
        StartEngine(2, relay_->Port());
        CTask* task = Queue(group_, binary_);
        engine_->controller->StartCommand();
        EXPECT_TRUE(relay_->WaitTriggered(30000));
        EXPECT_TRUE(engine_->PumpUntil([&] { return FileExists(saveDir_ + "faults.bin"); }));
        engine_->controller->StopNowCommand();
        relay_->Release();
        EXPECT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
        EXPECT_EQ(task->GetStatusText(), "ABORTED!");
        EXPECT_EQ(task->GetResult(), kResultUnprocessed);
        return task;
    }

    std::string group_;
    Binary binary_;
    std::unique_ptr<CNntpRelay> relay_;
};

TEST_F(DownloadFaults, AConnectionCutInAPartIsRetriedFromThatPart) {
    // The next part's BODY is on its way as a part arrives: the cut comes in
    // part 3, or at the first byte of part 2's reply, after part 1 arrived
    // whole. The new connection asks again from the part that broke off.
    const struct {
        int body;
        size_t bytes;
        size_t resumeAt;
    } cases[] = {{3, 12000, 2}, {2, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        engine_.reset();
        relay_ = std::make_unique<CNntpRelay>(Inn().anonPort);
        relay_->Arm(c.body, c.bytes, CNntpRelay::Action::kCut);
        StartEngine(2, relay_->Port());
        CTask* task = Queue(group_, binary_);
        ASSERT_TRUE(RunAll({task}));
        EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
        EXPECT_TRUE(ReadFileBytes(task->GetOutputFile()) == binary_.data);
        // The relay may have cut before the command for the part after next came.
        const auto first = Bodies(1);
        ASSERT_GE(first.size(), c.resumeAt + 1);
        EXPECT_EQ(std::vector(first.begin(), first.begin() + c.resumeAt + 1),
                  Articles(0, c.resumeAt + 1));
        EXPECT_EQ(Bodies(2), Articles(c.resumeAt));
        EXPECT_EQ(engine_->context.stats.Run().bodyRecv.ToString(), "8");
    }
}

TEST_F(DownloadFaults, AnAbortInPartOneDeletesTheFile) {
    CTask* task = StopInPart(1, 8000);
    EXPECT_FALSE(FileExists(saveDir_ + "faults.bin"));
    EXPECT_EQ(task->GetOutputFile(), "");
    EXPECT_EQ(task->GetPartsFetched(), 0u);
}

TEST_F(DownloadFaults, AnAbortInPartThreeCutsTheFileBackToTheEndOfPartTwo) {
    CTask* task = StopInPart(3, 15000);
    EXPECT_EQ(task->GetPartsFetched(), 2u);
    EXPECT_EQ(task->GetBytesWritten(), BytesOfParts(2));
    EXPECT_TRUE(ReadFileBytes(task->GetOutputFile()) == Part(2));
    // Started again, it goes on at part 3.
    ASSERT_TRUE(RunAll({task}));
    EXPECT_TRUE(ReadFileBytes(saveDir_ + "faults.bin") == binary_.data);
    EXPECT_EQ(Bodies(2), Articles(2));
}

TEST_F(DownloadFaults, ChannelsEndedMidDownloadAndTheSavedQueueFinishesTheFile) {
    relay_->Arm(4, 20000, CNntpRelay::Action::kHold);
    StartEngine(3, relay_->Port());
    Queue(group_, binary_);
    engine_->controller->StartCommand();
    ASSERT_TRUE(relay_->WaitTriggered(30000));
    // The program closes: the channels are told to stop and waited for; the
    // held reply goes on meanwhile, and the channel notices at its next line.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        relay_->Release();
    });
    engine_->Agent().DestroyChannels();
    release.join();
    engine_->Queue().SaveQueueFile();
    engine_->controller.reset();

    engine_->Open();  // a new start reads the queue file again
    ASSERT_EQ(engine_->Queue().Count(), 1u);
    CTask* task = engine_->Queue().Row(0).task.get();
    EXPECT_EQ(task->GetPartsFetched(), 3u);
    EXPECT_TRUE(ReadFileBytes(task->GetOutputFile()) == Part(3));
    ASSERT_TRUE(RunAll({task}));
    EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
    EXPECT_TRUE(ReadFileBytes(task->GetOutputFile()) == binary_.data);
    EXPECT_EQ(Bodies(2), Articles(3));
}

// RetrieveBinary called on the test's own thread with its own connection: a
// full disk, then exact byte counts and the last progress report.
class DirectCalls : public DownloadFaults {
  protected:
    void SetUp() override {
        DownloadFaults::SetUp();
        context_.Start();
        task_.SetType(kTaskDecode);
        task_.SetGroupName(group_);
        task_.SetSaveDir(dir_ / "out/");
        task_.SetArticles(binary_.articles);
        task_.SetLines(binary_.lines);
        task_.SetInProgress(1);
    }
    void TearDown() override { testing::FailWritesEverywhereAfter(-1, 0); }

    void Retrieve() {
        ASSERT_EQ(connection_.Connect(0x7F000001, Inn().anonPort, 0, "", ""), 1);
        RetrieveBinary(context_, connection_, abort_, task_);
    }

    test::CTempDir dir_;
    test::CRecordingMessageBox box_;
    CAppContext context_{dir_.Path(), box_};
    CTask task_{&context_.settings};
    CNntpConnection connection_;
    std::atomic<uint32_t> abort_{0};
};

// A failed write other than a full disk (which keeps the resume point, see
// retrieve_binary_test.cpp) restarts the binary from part 1.
TEST_F(DirectCalls, AFailedWriteRestartsTheBinaryAndTheNextCallCountsEveryByte) {
    testing::FailWritesEverywhereAfter(70000, EIO);
    Retrieve();
    EXPECT_EQ(task_.GetStatusText(), "Error Writing To Output File!");
    EXPECT_EQ(task_.GetResult(), kResultUnprocessed);
    EXPECT_EQ(task_.GetInProgress(), 1u);
    EXPECT_EQ(task_.GetPartsFetched(), 0u);
    EXPECT_EQ(task_.GetOutputFile(), "");
    EXPECT_TRUE(FilesIn(dir_ / "out/").empty());
    EXPECT_EQ(connection_.GetSocket(), CNntpConnection::kInvalidSocket);
    testing::FailWritesEverywhereAfter(-1, 0);

    // What the next call sends and receives, fetched by a plain client.
    test::CRawNntpClient client;
    std::string greeting;
    ASSERT_TRUE(client.Connect(Inn().anonPort, &greeting));
    size_t sent = ("GROUP " + group_ + "\r\n").size();
    size_t received = client.Command("GROUP " + group_).size();
    std::vector<std::string> wire;
    for (uint32_t article : binary_.articles) {
        const std::string command = "BODY " + std::to_string(article);
        sent += command.size() + 2;
        received += client.Command(command).size() + 2 + 3;  // and ".\r\n"
        ASSERT_TRUE(client.ReadBlock(&wire));
        for (const std::string& line : wire) received += line.size() + 2;
    }
    const auto before = context_.stats.Run();
    Retrieve();
    EXPECT_EQ(task_.GetResult(), kResultCompleted) << task_.GetStatusText();
    EXPECT_TRUE(ReadFileBytes(dir_ / "out/faults.bin") == binary_.data);
    EXPECT_NE(connection_.GetSocket(), CNntpConnection::kInvalidSocket);  // kept for the next task
    EXPECT_EQ((context_.stats.Run().byteXmit - before.byteXmit).ToString(), std::to_string(sent));
    EXPECT_EQ((context_.stats.Run().byteRecv - before.byteRecv).ToString(),
              std::to_string(received));
    ProgressReport report;
    ASSERT_TRUE(context_.progress.ReadProgress(task_.Key(), report));
    EXPECT_EQ(report.state, kProgressTransferring);
    EXPECT_EQ(report.kind, kProgressKindDownload);
    EXPECT_EQ(report.part, 8u);
    EXPECT_EQ(report.parts, 8u);
    EXPECT_EQ(report.lines, (wire.size() + 1) / 50 * 50);
    EXPECT_EQ(report.expectedLines, binary_.lines[7]);
    connection_.Quit();
}

}  // namespace
}  // namespace vexlo
