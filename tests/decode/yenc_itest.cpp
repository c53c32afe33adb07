// yEnc downloads from the real INN fixture through the engine: multi-part
// yEnc posts come out byte-identical with OPT_DECODE_YENC on (also with the
// articles queued in another order than their offsets), end with "No Binary
// Attachment Found" with it off, and a part changed on its way fails its CRC.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "../tasks/engine_harness.h"
#include "decode/file_utils.h"
#include "support/inn_fixture.h"
#include "support/raw_nntp_client.h"
#include "support/test_data.h"
#include "support/yenc_encoder.h"
#include "tasks/task_handlers.h"

namespace vexlo {
namespace {
using test::Article;
using test::Inn;
using test::RandomBytes;
using test::ReadFileBytes;

struct Binary {
    std::string name, data, subject;
    std::vector<uint32_t> articles, lines;
};

// Posts the articles and reads their numbers and line counts from the overview.
::testing::AssertionResult Post(const std::string& group, const std::vector<Article>& posts,
                                Binary& binary) {
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
    for (const Article& post : posts) {
        auto it = byId.find(post.messageId);
        if (it == byId.end()) return ::testing::AssertionFailure() << post.messageId;
        binary.articles.push_back(it->second.first);
        binary.lines.push_back(it->second.second);
    }
    binary.subject = posts.front().subject;
    return ::testing::AssertionSuccess();
}

class YencDownloads : public ::testing::Test {
  protected:
    void SetUp() override {
        group_ = test::CreateUniqueGroup("alt.binaries.test.yenc");
        ASSERT_FALSE(group_.empty());
        engine_ = std::make_unique<test::CEngineHarness>(Inn().host, Inn().anonPort, 3);
        RegisterStandardHandlers(engine_->handlers);
        engine_->context.settings.SetOption(OPT_AUTO_REMOVE_DONE, 0);
        engine_->context.settings.SetOption(OPT_DECODE_YENC, 1);
        engine_->Open();
        saveDir_ = engine_->dir / "downloads/";
    }

    // Posts data as `parts` yEnc articles; `change` may alter the bodies first.
    Binary PostYenc(const std::string& name, std::string data, int parts,
                    const std::function<void(std::vector<Article>&)>& change = {}) {
        Binary binary{name, std::move(data), "", {}, {}};
        auto posts = test::MakeYencodedPosts(group_, name, binary.data, parts, "Poster <p@x>");
        if (change) change(posts);
        EXPECT_TRUE(Post(group_, posts, binary));
        return binary;
    }

    CTask* Queue(const Binary& binary) {
        CTask task(&engine_->context.settings);
        MakeDownloadTask(task, {group_, binary.subject, saveDir_, binary.articles, binary.lines});
        engine_->controller->QueueTask(task, false);
        return engine_->Queue().Row(engine_->Queue().Count() - 1).task.get();
    }

    bool RunAll(const std::vector<CTask*>& tasks) {
        engine_->controller->StartCommand();
        return engine_->PumpUntil(
            [&] {
                return std::all_of(tasks.begin(), tasks.end(), [](CTask* task) {
                    const uint32_t result = task->GetResult();
                    return (result == kResultCompleted || result == kResultError) &&
                           task->GetAssigned() == 0;
                });
            },
            120000);
    }

    std::string group_, saveDir_;
    std::unique_ptr<test::CEngineHarness> engine_;
};

TEST_F(YencDownloads, MultiPartPostsDecodeByteIdenticalAndNotWithTheOptionOff) {
    // Bytes that yEnc escapes, every few bytes, so escapes meet line starts,
    // line ends and part ends; one file of one byte in one part.
    std::string escapes = RandomBytes(600000, 1);
    for (size_t i = 0; i < escapes.size(); i += 5)
        escapes[i] = "\xd6\xe0\xe3\x13\xdf\xf6\x04"[i % 7];
    std::vector<Binary> binaries = {PostYenc("one byte.bin", "x", 1),
                                    PostYenc("escapes.bin", escapes, 4),
                                    PostYenc("large file.iso", RandomBytes(3000000, 2), 9)};
    // The last one queued with its articles in reverse: every part is placed by its offsets.
    Binary reversed = binaries.back();
    std::reverse(reversed.articles.begin(), reversed.articles.end());
    std::reverse(reversed.lines.begin(), reversed.lines.end());
    std::vector<CTask*> tasks;
    for (const Binary& binary : {binaries[0], binaries[1], reversed})
        tasks.push_back(Queue(binary));
    ASSERT_TRUE(RunAll(tasks));
    for (size_t i = 0; i < tasks.size(); ++i) {
        SCOPED_TRACE(binaries[i].name);
        EXPECT_EQ(tasks[i]->GetStatusText(), "Completed Successfully");
        EXPECT_EQ(tasks[i]->GetOutputFile(), saveDir_ + binaries[i].name);
        EXPECT_TRUE(ReadFileBytes(saveDir_ + binaries[i].name) == binaries[i].data);
    }
    EXPECT_EQ(engine_->context.stats.Run().fileRecv.ToString(), "3");

    // Off: the same posts hold no attachment, as before yEnc was known.
    engine_->context.settings.SetOption(OPT_DECODE_YENC, 0);
    RemoveFile(saveDir_ + binaries[1].name);
    CTask* off = Queue(binaries[1]);
    ASSERT_TRUE(RunAll({off}));
    EXPECT_EQ(off->GetStatusText(), "No Binary Attachment Found");
    EXPECT_EQ(off->GetResult(), kResultError);
    EXPECT_FALSE(FileExists(saveDir_ + binaries[1].name));
}

TEST_F(YencDownloads, APartChangedOnItsWayFailsItsCrc) {
    // One character of a data line of part 2 becomes another: same size, other bytes.
    Binary binary = PostYenc("damaged.bin", RandomBytes(200000, 3), 3, [](auto& posts) {
        std::string& line = posts[1].bodyLines[10];
        const size_t at = line.find_first_not_of('=', 1);
        line[at] = line[at] == 'k' ? 'l' : 'k';
    });
    CTask* task = Queue(binary);
    ASSERT_TRUE(RunAll({task}));
    EXPECT_EQ(task->GetResult(), kResultError);
    EXPECT_EQ(task->GetStatusText().rfind("yEnc CRC Error In Part 2 Of 3: pcrc32=", 0), 0u)
        << task->GetStatusText();
    EXPECT_FALSE(FileExists(saveDir_ + "damaged.bin"));
    EXPECT_NE(ReadFileBytes(engine_->dir / "DEBUG.TXT").find("yEnc Error In Part 2 of 3 ["),
              std::string::npos);
}

}  // namespace
}  // namespace vexlo
