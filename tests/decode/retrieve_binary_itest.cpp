// Downloads from the real INN fixture through the engine: binaries posted as
// uuencoded or yEnc multi-part articles are queued as DECODE tasks and run on
// several channels, encrypted or not; the files must come out byte-identical.
// Fault cases put a relay between the channels and the server that cuts or
// holds a reply in a part.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>

#include "../tasks/engine_harness.h"
#include "core/named_locks.h"
#include "decode/file_utils.h"
#include "nntp/tls_settings.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/test_data.h"
#include "support/yenc_encoder.h"
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

// `data` posted as `parts` uuencoded articles (or yEnc ones), which `damage`
// may change first. In the test's own group they are numbered in the order
// posted, and the overview counts their body lines.
::testing::AssertionResult PostBinary(const std::string& group, const std::string& name,
                                      std::string data, int parts, Binary* binary,
                                      bool yenc = false,
                                      std::function<void(std::vector<Article>&)> damage = {}) {
    static std::map<std::string, uint32_t> posted;  // articles so far in each group
    binary->data = std::move(data);
    const auto make = yenc ? test::MakeYencodedPosts : test::MakeUuencodedPosts;
    auto posts = make(group, name, binary->data, parts, "Poster <p@x>", "%s (%d/%d)");
    // Message-ids made from some names could start with dots, which servers refuse.
    for (Article& post : posts) post.messageId = test::UniqueMessageId("retrieve");
    if (damage) damage(posts);
    std::string error;
    if (!test::PostArticles(posts, &error)) return ::testing::AssertionFailure() << error;
    for (const Article& post : posts) {
        binary->articles.push_back(++posted[group]);
        binary->lines.push_back(static_cast<uint32_t>(post.bodyLines.size()));
    }
    binary->subject = posts.front().subject;
    return ::testing::AssertionSuccess();
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An engine with the real handlers on the fixture's anonymous server (or a
// relay in front of it), saving into a directory with a blank in its name.
class Downloads : public ::testing::Test {
  protected:
    void StartEngine(int channels, uint16_t port, int tls = kTlsNone) {
        engine_ = std::make_unique<CEngineHarness>(Inn().host, port, channels);
        RegisterStandardHandlers(engine_->handlers);
        engine_->context.settings.SetTls(tls);
        engine_->context.settings.SetTlsCaFile(Inn().caFile);
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
        const auto ended = [](CTask* task) {
            const uint32_t result = task->GetResult();
            return (result == kResultCompleted || result == kResultError) &&
                   task->GetAssigned() == 0;
        };
        return engine_->PumpUntil(
            [&] {
                if (watch) watch();
                return std::ranges::all_of(tasks, ended);
            },
            120000);
    }

    std::string DebugLog() const { return ReadFileBytes(engine_->dir / "DEBUG.TXT"); }

    std::unique_ptr<CEngineHarness> engine_;
    std::string saveDir_;
};

TEST_F(Downloads, BinariesOfManySizesPartCountsNamesAndEncodingsComeOutByteIdentical) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.retrieve");
    ASSERT_FALSE(group.empty());
    // Sizes around line ends (45 bytes a uuencoded line; 14 bytes make a last
    // line that starts with "." and travels dot-stuffed), up to several MB in
    // 50 parts; names with blanks, quotes and characters that are replaced.
    // yEnc data holds a byte that yEnc escapes every five bytes, so escapes
    // meet line starts, line ends and part ends; the last binary is queued
    // with its articles in reverse: every part is placed by its offsets.
    const struct {
        size_t size;
        int parts;
        std::string name, saved;
        bool yenc = false;
    } shapes[] = {
        {1, 1, "\"holiday photos 2024.zip\"", "holiday photos 2024.zip"},
        {14, 1, "\"  spaced out .txt  \"", "spaced out .txt"},
        {59, 2, "a:b*c|d<e>f?.bin", "a_b_c_d_e_f?.bin"},
        {4514, 3, "..\\..\\etc/passwd", ".._.._etc_passwd"},
        {100000, 7, "caf\xe9 cr\xe8me.txt", "caf_ cr_me.txt"},
        {3145742, 50, "f6.bin", "f6.bin"},
        {1, 1, "one byte.bin", "one byte.bin", true},
        {600000, 4, "escapes.bin", "escapes.bin", true},
        {3000000, 9, "large file.iso", "large file.iso", true},
    };
    std::vector<Binary> binaries(std::size(shapes));
    std::vector<std::string> saved;
    for (size_t i = 0; i < binaries.size(); ++i) {
        const auto& shape = shapes[i];
        std::string data = RandomBytes(shape.size, static_cast<unsigned>(shape.size));
        for (size_t at = 0; shape.yenc && at < data.size(); at += 5)
            data[at] = "\xd6\xe0\xe3\x13\xdf\xf6\x04"[at % 7];
        ASSERT_TRUE(PostBinary(group, shape.name, data, shape.parts, &binaries[i], shape.yenc));
        saved.push_back(shape.saved);
    }
    std::reverse(binaries.back().articles.begin(), binaries.back().articles.end());
    std::reverse(binaries.back().lines.begin(), binaries.back().lines.end());
    // Over TLS from the first byte, verified against the fixture's authority.
    StartEngine(4, Inn().anonTlsPort, kTlsImplicit);
    engine_->context.settings.SetOption(OPT_DECODE_YENC, 1);
    std::vector<CTask*> tasks;
    for (const Binary& binary : binaries) tasks.push_back(Queue(group, binary));
    // Whenever a resume point is on record, the file holds that much of the
    // binary, whole: a process killed at that moment could continue there.
    int checks = 0, resumePointsSeen = 0;
    auto watch = [&] {
        if (++checks % 3 != 0) return;
        // The last binary is left out: the end of its file comes first.
        for (size_t i = 0; i + 1 < tasks.size(); ++i) {
            CTaskProgressGuard guard(engine_->context.locks);  // the point stays while read
            const uint32_t parts = tasks[i]->GetPartsFetched(), bytes = tasks[i]->GetBytesWritten();
            if (parts == 0 || parts == binaries[i].articles.size()) continue;
            ++resumePointsSeen;
            const std::string path = tasks[i]->GetOutputFile(), onDisk = ReadFileBytes(path);
            ASSERT_GE(onDisk.size(), bytes) << path;
            ASSERT_EQ(onDisk.substr(0, bytes), binaries[i].data.substr(0, bytes)) << path;
        }
    };
    ASSERT_TRUE(RunAll(tasks, watch));

    size_t parts = 0;
    for (size_t i = 0; i < tasks.size(); ++i) {
        SCOPED_TRACE(binaries[i].subject);
        EXPECT_EQ(tasks[i]->GetStatusText(), "Completed Successfully");
        const std::string path = saveDir_ + saved[i];
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

TEST_F(Downloads, RefusalsMissingAttachmentsAndDecodeErrorsFailForGood) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.refusals");
    ASSERT_FALSE(group.empty());
    Binary noAttachment, good, broken;  // yEnc is off: no attachment
    ASSERT_TRUE(PostBinary(group, "yenc.bin", "0123456789", 1, &noAttachment, true));
    ASSERT_TRUE(PostBinary(group, "good.bin", RandomBytes(7000, 9), 2, &good));
    ASSERT_TRUE(PostBinary(group, "broken.bin", RandomBytes(30000, 11), 3, &broken, false,
                           [](auto& posts) { posts[1].bodyLines[5] = "Mshort"; }));
    Binary missing = good, missingFirst = good;
    missing.subject = "missing.bin (1/2)";
    missing.articles[1] = 99999;
    missingFirst.articles[0] = 99998;  // its part 2 is asked for and must be read away

    // One channel through a relay, encrypted after STARTTLS: the refusals keep the connection.
    CNntpRelay relay(Inn().anonPort);
    StartEngine(1, relay.Port(), kTlsStartTls);
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
    EXPECT_EQ(gone->GetPartsFetched(), 1u);  // part 1 stays on disk and on record
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
using DownloadFaults = Downloads;

TEST_F(DownloadFaults, AConnectionCutAStopOrAnExitInAPartGoesOnFromThatPart) {
    // The next part's BODY is on its way as a part arrives: a cut comes in
    // part 3, or at the first byte of part 2's reply, after part 1 arrived
    // whole; the new connection asks again from the part that broke off.
    // "Stop now" while a reply is held in part 1 deletes the file; in part 3
    // it cuts the file back to the end of part 2. The program closing in part
    // 4 leaves three parts, which the saved queue finishes when it is read
    // again. Started again, the task goes on where it stopped.
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.faults");
    Binary binary;
    ASSERT_TRUE(!group.empty() &&
                PostBinary(group, "faults.bin", RandomBytes(200000, 12), 8, &binary));
    // Decoded bytes of the first n parts (45 bytes in each data line).
    const auto bytesOfParts = [&](size_t n) {
        return std::min(test::UuencodeLines(binary.data).size() * n / 8 * 45, binary.data.size());
    };
    std::unique_ptr<CNntpRelay> relay;
    // The article numbers BODY asked for on relayed connection `connection`, up to `n` of them.
    const auto bodies = [&](int connection, size_t n) {
        std::vector<uint32_t> bodies;
        const std::string prefix = std::to_string(connection) + " BODY ";
        for (const std::string& command : relay->Commands())
            if (command.starts_with(prefix))
                bodies.push_back(std::stoul(command.substr(prefix.size())));
        bodies.resize(std::min(bodies.size(), n));
        return bodies;
    };
    const struct {
        int body;
        size_t bytes;
        CNntpRelay::Action action;
        size_t resumeAt;
        bool exit = false;
    } cases[] = {{3, 12000, CNntpRelay::Action::kCut, 2},
                 {2, 0, CNntpRelay::Action::kCut, 1},
                 {1, 8000, CNntpRelay::Action::kHold, 0},
                 {3, 15000, CNntpRelay::Action::kHold, 2},
                 {4, 20000, CNntpRelay::Action::kHold, 3, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        // A new engine of two channels behind a new relay that breaks the
        // reply to BODY number `body` after `bytes` bytes.
        engine_.reset();
        relay = std::make_unique<CNntpRelay>(Inn().anonPort);
        relay->Arm(c.body, c.bytes, c.action);
        StartEngine(2, relay->Port());
        CTask* task = Queue(group, binary);
        if (c.action == CNntpRelay::Action::kHold) {
            engine_->controller->StartCommand();
            ASSERT_TRUE(relay->WaitTriggered(30000));
            // The relay passed the first parts, but the channel may still be reading them.
            ASSERT_TRUE(engine_->PumpUntil([&] {
                CTaskProgressGuard guard(engine_->context.locks);
                return FileExists(saveDir_ + "faults.bin") && task->GetPartsFetched() == c.resumeAt;
            }));
            if (c.exit) {
                // The channels are told to stop and waited for; the held reply
                // goes on meanwhile, and the channel notices at its next line.
                std::thread release([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    relay->Release();
                });
                engine_->Agent().DestroyChannels();
                release.join();
                engine_->Queue().SaveQueueFile();
                engine_->controller.reset();
                engine_->Open();  // a new start reads the queue file again
                ASSERT_EQ(engine_->Queue().Count(), 1u);
                task = engine_->Queue().Row(0).task.get();
            } else {
                engine_->controller->StopNowCommand();
                relay->Release();
                ASSERT_TRUE(engine_->PumpUntil([&] { return engine_->Agent().IsStopped(); }));
                EXPECT_EQ(task->GetStatusText(), "ABORTED!");
                EXPECT_EQ(task->GetResult(), kResultUnprocessed);
            }
            EXPECT_EQ(task->GetPartsFetched(), c.resumeAt);
            EXPECT_EQ(task->GetBytesWritten(), bytesOfParts(c.resumeAt));
            EXPECT_EQ(task->GetOutputFile(), c.resumeAt ? saveDir_ + "faults.bin" : "");
            EXPECT_EQ(FileExists(saveDir_ + "faults.bin"), c.resumeAt > 0);
            EXPECT_TRUE(ReadFileBytes(saveDir_ + "faults.bin") ==
                        binary.data.substr(0, bytesOfParts(c.resumeAt)));
        }
        ASSERT_TRUE(RunAll({task}));
        EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
        EXPECT_TRUE(ReadFileBytes(saveDir_ + "faults.bin") == binary.data);
        // The relay may have cut before the command for the part after next came.
        const auto& numbers = binary.articles;
        EXPECT_EQ(bodies(1, c.resumeAt + 1),
                  std::vector(numbers.begin(), numbers.begin() + c.resumeAt + 1));
        EXPECT_EQ(bodies(2, 8), std::vector(numbers.begin() + c.resumeAt, numbers.end()));
        EXPECT_EQ(engine_->context.stats.Run().bodyRecv.ToString(), "8");
    }
}

}  // namespace
}  // namespace vexlo
