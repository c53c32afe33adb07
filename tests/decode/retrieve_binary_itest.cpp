// Downloads from the real INN fixture through the engine: binaries posted as
// uuencoded multi-part articles are queued as DECODE tasks and run on several
// channels; the files must come out byte-identical. Fault cases put a relay
// between the channels and the server that cuts or holds a reply in the
// middle of a part.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <random>
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
using test::RandomBytes;
using test::SplitTabs;

using test::Article;
using test::CEngineHarness;
using test::CNntpRelay;
using test::Inn;
using test::ReadFileBytes;
using test::WriteFileBytes;

// A binary as the header view would queue it: article numbers and line
// counts from the server's overview, in part order.
struct Binary {
    std::string subject;
    std::string data;
    std::vector<uint32_t> articles;
    std::vector<uint32_t> lines;
};

// Posts the articles and finds their numbers and line counts in the overview.
::testing::AssertionResult Post(const std::string& group, const std::vector<Article>& posts,
                                Binary* binary) {
    std::string error;
    if (!test::PostArticles(posts, &error)) return ::testing::AssertionFailure() << error;
    test::CRawNntpClient client;
    std::string greeting;
    if (!client.Connect(Inn().anonPort, &greeting)) return ::testing::AssertionFailure();
    const std::string reply = client.Command("GROUP " + group);
    std::vector<std::string> overview;
    if (client.Command("XOVER 1-").rfind("224", 0) != 0 || !client.ReadBlock(&overview))
        return ::testing::AssertionFailure() << "no overview of " << group << ": " << reply;
    std::map<std::string, std::pair<uint32_t, uint32_t>> byId;
    for (const std::string& line : overview) {
        auto f = SplitTabs(line);
        if (f.size() < 8) continue;
        byId[f[4]] = {static_cast<uint32_t>(std::stoul(f[0])),
                      static_cast<uint32_t>(std::stoul(f[7]))};
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

// An engine on the fixture's anonymous server (or a relay in front of it)
// with the real handlers.
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
        task.SetType(kTaskDecode);
        task.SetAffinity(0xff);
        task.SetSubject(binary.subject);
        task.SetGroupName(group);
        task.SetSaveDir(saveDir_);
        task.SetArticles(binary.articles);
        task.SetLines(binary.lines);
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
                    uint32_t result = task->GetResult();
                    if ((result != kResultCompleted && result != kResultError) ||
                        task->GetAssigned() != 0)
                        return false;
                }
                return true;
            },
            120000);
    }

    std::unique_ptr<CEngineHarness> engine_;
    std::string saveDir_;
};

TEST_F(Downloads, BinariesOfManySizesAndPartCountsComeOutByteIdentical) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.retrieve");
    ASSERT_FALSE(group.empty());
    // Sizes around line ends (45 bytes a line; 14 bytes make a last line that
    // starts with "." and travels dot-stuffed), up to several MB in 50 parts.
    const std::vector<std::pair<size_t, int>> shapes = {
        {1, 1},      {14, 1},       {59, 2},       {4514, 3},
        {100000, 7}, {1 << 20, 13}, {3145742, 50}, {5000000, 20},
    };
    std::vector<Binary> binaries(shapes.size());
    for (size_t i = 0; i < shapes.size(); ++i) {
        ASSERT_TRUE(PostBinary(group, "file" + std::to_string(i) + ".bin",
                               RandomBytes(shapes[i].first, static_cast<unsigned>(i + 10)),
                               shapes[i].second, &binaries[i]));
    }
    StartEngine(4);
    std::vector<CTask*> tasks;
    for (const Binary& binary : binaries) tasks.push_back(Queue(group, binary));

    // Whenever a resume point is on record, the file holds that much of the
    // binary, whole: a process killed at that moment could continue there.
    int checks = 0;
    int resumePointsSeen = 0;
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

    for (size_t i = 0; i < tasks.size(); ++i) {
        SCOPED_TRACE(binaries[i].subject);
        EXPECT_EQ(tasks[i]->GetStatusText(), "Completed Successfully");
        EXPECT_EQ(tasks[i]->GetResult(), kResultCompleted);
        const std::string path = saveDir_ + "file" + std::to_string(i) + ".bin";
        EXPECT_EQ(tasks[i]->GetOutputFile(), path);
        EXPECT_TRUE(ReadFileBytes(path) == binaries[i].data);
        EXPECT_EQ(tasks[i]->GetPartsFetched(), binaries[i].articles.size());
        EXPECT_EQ(tasks[i]->GetBytesWritten(), binaries[i].data.size());
    }
    EXPECT_GT(resumePointsSeen, 0);
    int parts = 0;
    for (const Binary& binary : binaries) parts += static_cast<int>(binary.articles.size());
    EXPECT_EQ(engine_->context.stats.Run().bodyRecv.ToString(), std::to_string(parts));
    EXPECT_EQ(engine_->context.stats.Run().fileRecv.ToString(), std::to_string(tasks.size()));
    const std::string log = ReadFileBytes(engine_->dir / "DEBUG.TXT");
    for (size_t i = 0; i < tasks.size(); ++i) {
        EXPECT_NE(log.find(" DONE: " + binaries[i].subject + "\n"), std::string::npos);
        EXPECT_NE(log.find("   AS: " + tasks[i]->GetOutputFile() + "\n"), std::string::npos);
    }
}

TEST_F(Downloads, NamesAreTakenFromTheBeginLineAndCleaned) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.names");
    ASSERT_FALSE(group.empty());
    const std::vector<std::pair<std::string, std::string>> names = {
        {"\"holiday photos 2024.zip\"", "holiday photos 2024.zip"},
        {"\"  spaced out .txt  \"", "spaced out .txt"},
        {"a:b*c|d<e>f?.bin", "a_b_c_d_e_f?.bin"},
        {"..\\..\\etc/passwd", ".._.._etc_passwd"},
        {"caf\xe9 cr\xe8me.txt", "caf_ cr_me.txt"},
    };
    std::vector<Binary> binaries(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        binaries[i].data = RandomBytes(3000 + i, 40 + i);
        auto posts =
            test::MakeUuencodedPosts(group, names[i].first, binaries[i].data, 2, "P <p@x>");
        // Message-ids made from these names could start with dots, which servers refuse.
        for (Article& post : posts) post.messageId = test::UniqueMessageId("names");
        ASSERT_TRUE(Post(group, posts, &binaries[i]));
    }
    StartEngine(3);
    std::vector<CTask*> tasks;
    for (const Binary& binary : binaries) tasks.push_back(Queue(group, binary));
    ASSERT_TRUE(RunAll(tasks));
    std::vector<std::string> expected;
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].second);
        EXPECT_EQ(tasks[i]->GetResult(), kResultCompleted) << tasks[i]->GetStatusText();
        EXPECT_EQ(tasks[i]->GetOutputFile(), saveDir_ + names[i].second);
        EXPECT_TRUE(ReadFileBytes(saveDir_ + names[i].second) == binaries[i].data);
        expected.push_back(names[i].second);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesIn(saveDir_), expected);
}

TEST_F(Downloads, AnExistingFileIsRenamedOrOverwrittenByTheOption) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.rename");
    ASSERT_FALSE(group.empty());
    Binary binary;
    ASSERT_TRUE(PostBinary(group, "photo.gif", RandomBytes(20000, 5), 3, &binary));
    StartEngine(2);
    ASSERT_TRUE(CreateDirectoryPath(saveDir_));
    WriteFileBytes(saveDir_ + "photo.gif", "the photo that was there");

    engine_->context.settings.SetOption(OPT_RENAME_EXISTING, 1);
    CTask* renamed = Queue(group, binary);
    ASSERT_TRUE(RunAll({renamed}));
    EXPECT_EQ(renamed->GetOutputFile(), saveDir_ + "photo-1.gif");
    EXPECT_TRUE(ReadFileBytes(saveDir_ + "photo-1.gif") == binary.data);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "photo.gif"), "the photo that was there");

    engine_->context.settings.SetOption(OPT_RENAME_EXISTING, 0);
    CTask* overwritten = Queue(group, binary);
    ASSERT_TRUE(RunAll({overwritten}));
    EXPECT_EQ(overwritten->GetOutputFile(), saveDir_ + "photo.gif");
    EXPECT_TRUE(ReadFileBytes(saveDir_ + "photo.gif") == binary.data);
    EXPECT_EQ(FilesIn(saveDir_), (std::vector<std::string>{"photo-1.gif", "photo.gif"}));
}

TEST_F(Downloads, ServerRefusalsAndBodiesWithoutAttachmentFailForGood) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.refusals");
    ASSERT_FALSE(group.empty());
    Article yenc;
    yenc.messageId = test::UniqueMessageId("yenc");
    yenc.newsgroups = group;
    yenc.subject = "yenc.bin (1/1)";
    yenc.from = "Poster <p@x>";
    yenc.bodyLines = {"=ybegin line=128 size=10 name=yenc.bin", "0123456789", "=yend size=10"};
    Binary noAttachment;
    ASSERT_TRUE(Post(group, {yenc}, &noAttachment));
    Binary good;
    ASSERT_TRUE(PostBinary(group, "good.bin", RandomBytes(7000, 9), 2, &good));
    Binary missing = good;
    missing.subject = "missing.bin (1/2)";
    missing.articles[1] = 99999;

    // One channel through a relay: the refusals keep the connection, so all
    // four tasks share one.
    CNntpRelay relay(Inn().anonPort);
    StartEngine(1, relay.Port());
    CTask* noFile = Queue(group, noAttachment);
    CTask* gone = Queue(group, missing);
    CTask* noGroup = Queue(group + ".nonexistent", good);
    CTask* fine = Queue(group, good);
    ASSERT_TRUE(RunAll({noFile, gone, noGroup, fine}));

    EXPECT_EQ(noFile->GetStatusText(), "No Binary Attachment Found");
    EXPECT_EQ(noFile->GetResult(), kResultError);
    EXPECT_EQ(noFile->GetInProgress(), 0u);
    EXPECT_EQ(noFile->GetOutputFile(), "");

    EXPECT_EQ(gone->GetStatusText(), "423 No such article number 99999");
    EXPECT_EQ(gone->GetResult(), kResultError);
    EXPECT_EQ(gone->GetInProgress(), 0u);
    EXPECT_EQ(gone->GetPartsFetched(), 1u);  // part 1 is on disk and on record

    EXPECT_EQ(noGroup->GetStatusText(), "411 No such group " + group + ".nonexistent");
    EXPECT_EQ(noGroup->GetResult(), kResultError);

    EXPECT_EQ(fine->GetResult(), kResultCompleted);
    EXPECT_TRUE(ReadFileBytes(saveDir_ + "good.bin") == good.data);
    EXPECT_EQ(FilesIn(saveDir_), (std::vector<std::string>{"good.bin"}));
    EXPECT_EQ(relay.Connections(), 1);
    const std::string log = ReadFileBytes(engine_->dir / "DEBUG.TXT");
    EXPECT_NE(log.find("BODY 99999\r\n423 No such article number 99999\r\n"), std::string::npos);
    EXPECT_NE(log.find("No Binary Attachment Found: yenc.bin (1/1)\n"), std::string::npos);
}

TEST_F(Downloads, AnUndecodableLineFailsTheTaskAndDeletesTheFile) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.broken");
    ASSERT_FALSE(group.empty());
    Binary binary;
    binary.data = RandomBytes(30000, 11);
    auto posts = test::MakeUuencodedPosts(group, "broken.bin", binary.data, 3, "Poster <p@x>");
    posts[1].bodyLines[5] = "Mshort";
    ASSERT_TRUE(Post(group, posts, &binary));
    StartEngine(2);
    CTask* task = Queue(group, binary);
    ASSERT_TRUE(RunAll({task}));
    EXPECT_EQ(task->GetStatusText(), "Error Decoding Line, Len=6: Mshort");
    EXPECT_EQ(task->GetResult(), kResultError);
    EXPECT_EQ(task->GetInProgress(), 0u);
    EXPECT_TRUE(FilesIn(saveDir_).empty());
    const std::string log = ReadFileBytes(engine_->dir / "DEBUG.TXT");
    EXPECT_NE(log.find("Error Decoding Line: Part 1 of 3 [" + std::to_string(binary.articles[1]) +
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
    size_t BytesOfParts(int n) const {
        const auto lines = test::UuencodeLines(binary_.data);
        size_t bytes = 0;
        for (size_t i = 0; i < lines.size() * n / 8; ++i) bytes += 45;
        return std::min(bytes, binary_.data.size());
    }

    // The BODY commands relayed on connection `connection`.
    std::vector<std::string> Bodies(int connection) const {
        std::vector<std::string> bodies;
        const std::string prefix = std::to_string(connection) + " BODY ";
        for (const std::string& command : relay_->Commands())
            if (command.rfind(prefix, 0) == 0) bodies.push_back(command.substr(prefix.size()));
        return bodies;
    }
    std::vector<std::string> Articles(size_t from) const {
        std::vector<std::string> articles;
        for (size_t i = from; i < binary_.articles.size(); ++i)
            articles.push_back(std::to_string(binary_.articles[i]));
        return articles;
    }

    std::string group_;
    Binary binary_;
    std::unique_ptr<CNntpRelay> relay_;
};

TEST_F(DownloadFaults, AConnectionCutInAPartIsRetriedFromThatPart) {
    relay_->Arm(3, 12000, CNntpRelay::Action::kCut);
    StartEngine(2, relay_->Port());
    CTask* task = Queue(group_, binary_);
    ASSERT_TRUE(RunAll({task}));
    EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
    EXPECT_TRUE(ReadFileBytes(task->GetOutputFile()) == binary_.data);
    std::vector<std::string> first = Articles(0);
    first.resize(3);
    EXPECT_EQ(Bodies(1), first);
    EXPECT_EQ(Bodies(2), Articles(2));
    EXPECT_EQ(engine_->context.stats.Run().bodyRecv.ToString(), "8");
}

TEST_F(DownloadFaults, AnAbortInPartOneDeletesTheFile) {
    relay_->Arm(1, 8000, CNntpRelay::Action::kHold);
    StartEngine(2, relay_->Port());
    CTask* task = Queue(group_, binary_);
    engine_->controller->StartCommand();
    ASSERT_TRUE(relay_->WaitTriggered(30000));
    const std::string path = saveDir_ + "faults.bin";
    ASSERT_TRUE(engine_->PumpUntil([&] { return FileExists(path); }));
    engine_->controller->StopNowCommand();
    relay_->Release();
    ASSERT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
    EXPECT_EQ(task->GetStatusText(), "ABORTED!");
    EXPECT_EQ(task->GetResult(), kResultUnprocessed);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(task->GetOutputFile(), "");
    EXPECT_EQ(task->GetPartsFetched(), 0u);
}

TEST_F(DownloadFaults, AnAbortInPartThreeCutsTheFileBackToTheEndOfPartTwo) {
    relay_->Arm(3, 15000, CNntpRelay::Action::kHold);
    StartEngine(2, relay_->Port());
    CTask* task = Queue(group_, binary_);
    engine_->controller->StartCommand();
    ASSERT_TRUE(relay_->WaitTriggered(30000));
    engine_->controller->StopNowCommand();
    relay_->Release();
    ASSERT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
    EXPECT_EQ(task->GetStatusText(), "ABORTED!");
    EXPECT_EQ(task->GetPartsFetched(), 2u);
    EXPECT_EQ(task->GetBytesWritten(), BytesOfParts(2));
    const std::string path = saveDir_ + "faults.bin";
    EXPECT_EQ(task->GetOutputFile(), path);
    EXPECT_TRUE(ReadFileBytes(path) == binary_.data.substr(0, BytesOfParts(2)));

    // Started again, it goes on at part 3.
    ASSERT_TRUE(RunAll({task}));
    EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
    EXPECT_TRUE(ReadFileBytes(path) == binary_.data);
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

    engine_->Open();  // a new start: the queue file is read again
    ASSERT_EQ(engine_->Queue().Count(), 1u);
    CTask* task = engine_->Queue().Row(0).task.get();
    EXPECT_EQ(task->GetPartsFetched(), 3u);
    EXPECT_EQ(task->GetBytesWritten(), BytesOfParts(3));
    EXPECT_EQ(FileSize(task->GetOutputFile()), static_cast<int64_t>(BytesOfParts(3)));
    ASSERT_TRUE(RunAll({task}));
    EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
    EXPECT_TRUE(ReadFileBytes(task->GetOutputFile()) == binary_.data);
    EXPECT_EQ(Bodies(2), Articles(3));
}

TEST_F(DownloadFaults, AllPartsOnRecordSendsNoBody) {
    StartEngine(1, relay_->Port());
    CTask task(&engine_->context.settings);
    task.SetType(kTaskDecode);
    task.SetAffinity(1);
    task.SetGroupName(group_);
    task.SetArticles(binary_.articles);
    task.SetLines(binary_.lines);
    task.SetProgress(engine_->context.locks, 8, 200000);
    engine_->controller->QueueTask(task, false);
    CTask* queued = engine_->Queue().Row(0).task.get();
    ASSERT_TRUE(RunAll({queued}));
    EXPECT_EQ(queued->GetStatusText(), "All Parts Already Marked As Fetched!");
    EXPECT_EQ(queued->GetResult(), kResultError);
    const auto commands = relay_->Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0], "1 GROUP " + group_);
    for (const std::string& command : commands) EXPECT_EQ(command.find("BODY"), std::string::npos);
}

// RetrieveBinary called on the test's own thread with its own connection:
// exact counting, the last progress report, and a full disk.
class DirectCalls : public DownloadFaults {
  protected:
    void SetUp() override {
        DownloadFaults::SetUp();
        box_ = std::make_unique<test::CRecordingMessageBox>();
        context_ = std::make_unique<CAppContext>(dir_.Path(), *box_);
        context_->Start();
        task_ = std::make_unique<CTask>(&context_->settings);
        task_->SetType(kTaskDecode);
        task_->SetGroupName(group_);
        task_->SetSaveDir(dir_ / "out/");
        task_->SetArticles(binary_.articles);
        task_->SetLines(binary_.lines);
        task_->SetInProgress(1);
    }
    void TearDown() override { testing::FailWritesAfter(-1); }

    bool Connect() { return connection_.Connect(0x7F000001, Inn().anonPort, 0, "", "") == 1; }

    test::CTempDir dir_;
    std::unique_ptr<test::CRecordingMessageBox> box_;
    std::unique_ptr<CAppContext> context_;
    std::unique_ptr<CTask> task_;
    CNntpConnection connection_;
    std::atomic<uint32_t> abort_{0};
};

TEST_F(DirectCalls, CountsEveryByteAndLeavesTheLastReport) {
    // What goes over the wire, fetched by a plain client.
    test::CRawNntpClient client;
    std::string greeting;
    ASSERT_TRUE(client.Connect(Inn().anonPort, &greeting));
    uint64_t sent = 0, received = client.Command("GROUP " + group_).size();
    sent += ("GROUP " + group_ + "\r\n").size();
    uint32_t lastPartLines = 0;
    for (uint32_t article : binary_.articles) {
        const std::string command = "BODY " + std::to_string(article);
        sent += command.size() + 2;
        received += client.Command(command).size() + 2;
        std::vector<std::string> wire;
        ASSERT_TRUE(client.ReadBlock(&wire));
        for (const std::string& line : wire) received += line.size() + 2;
        received += 3;  // ".\r\n"
        lastPartLines = static_cast<uint32_t>(wire.size()) + 1;
    }

    ASSERT_TRUE(Connect());
    RetrieveBinary(*context_, connection_, abort_, *task_);
    EXPECT_EQ(task_->GetResult(), kResultCompleted) << task_->GetStatusText();
    EXPECT_TRUE(ReadFileBytes(task_->GetOutputFile()) == binary_.data);
    EXPECT_NE(connection_.GetSocket(), CNntpConnection::kInvalidSocket);  // between commands
    EXPECT_EQ(context_->stats.Run().byteXmit.ToString(), std::to_string(sent));
    EXPECT_EQ(context_->stats.Run().byteRecv.ToString(), std::to_string(received));
    EXPECT_EQ(context_->stats.Run().bodyRecv.ToString(), "8");
    EXPECT_EQ(context_->stats.Run().fileRecv.ToString(), "1");

    ProgressReport report;
    ASSERT_TRUE(context_->progress.ReadProgress(task_->Key(), report));
    EXPECT_EQ(report.state, kProgressTransferring);
    EXPECT_EQ(report.kind, kProgressKindDownload);
    EXPECT_EQ(report.part, 8u);
    EXPECT_EQ(report.parts, 8u);
    EXPECT_EQ(report.lines, lastPartLines / 50 * 50);
    EXPECT_EQ(report.expectedLines, binary_.lines[7]);
    connection_.Quit();
}

TEST_F(DirectCalls, AFullDiskRestartsTheBinaryOnTheNextCall) {
    ASSERT_TRUE(Connect());
    testing::FailWritesAfter(70000);
    RetrieveBinary(*context_, connection_, abort_, *task_);
    EXPECT_EQ(task_->GetStatusText(), "Error Writing To Output File!");
    EXPECT_EQ(task_->GetResult(), kResultUnprocessed);
    EXPECT_EQ(task_->GetInProgress(), 1u);
    EXPECT_EQ(task_->GetPartsFetched(), 0u);
    EXPECT_EQ(task_->GetOutputFile(), "");
    EXPECT_TRUE(FilesIn(dir_ / "out/").empty());
    EXPECT_EQ(connection_.GetSocket(), CNntpConnection::kInvalidSocket);

    testing::FailWritesAfter(-1);
    ASSERT_TRUE(Connect());
    RetrieveBinary(*context_, connection_, abort_, *task_);
    EXPECT_EQ(task_->GetResult(), kResultCompleted) << task_->GetStatusText();
    EXPECT_TRUE(ReadFileBytes(dir_ / "out/faults.bin") == binary_.data);
    connection_.Quit();
}

}  // namespace
}  // namespace vexlo
