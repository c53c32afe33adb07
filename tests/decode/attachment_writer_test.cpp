// The file side of a download, fed with body lines directly, for what the INN
// downloads do not produce: odd lines, a second attachment, over-long paths,
// empty names, the resume rules for a damaged or locked partial file, and yEnc
// blocks whose parts come out of order (also across a resume), lack a line or
// fail their checks.
#include "decode/attachment_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "core/app_context.h"
#include "decode/crc32.h"
#include "decode/file_utils.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/yenc_encoder.h"
#include "tasks/download_queue.h"
#include "tasks/task.h"

namespace vexlo {
namespace {
using Result = CAttachmentWriter::LineResult;
using Part = CAttachmentWriter::PartResult;
using test::RandomBytes;
using test::ReadFileBytes;
using test::WriteFileBytes;

// The bodies of `data` posted as `parts` uuencoded parts.
std::vector<std::vector<std::string>> Bodies(const std::string& name, const std::string& data,
                                             int parts) {
    std::vector<std::vector<std::string>> bodies;
    for (auto& post : test::MakeUuencodedPosts("alt.test", name, data, parts, "p <p@x>"))
        bodies.push_back(std::move(post.bodyLines));
    return bodies;
}

class AttachmentWriterTest : public ::testing::Test {
  protected:
    AttachmentWriterTest() : context_(dir_.Path(), box_) {
        context_.Start();
        CreateDirectoryPath(saveDir_);
    }

    void MakeTask(uint32_t parts) {
        // The task before gives up its file, as a task leaving the queue does.
        if (task_) context_.outputClaims.Release(task_->Key());
        task_ = std::make_unique<CTask>(&context_.settings);
        MakeDownloadTask(*task_,
                         {"alt.test", "file (1/" + std::to_string(parts) + ")", saveDir_,
                          std::vector<uint32_t>(parts, 100), std::vector<uint32_t>(parts, 10)});
        task_->SetInProgress(1);
    }

    // Feeds part k's body, dot-stuffed as a server sends it, and its "." line;
    // the part's result.
    static Part FeedPart(CAttachmentWriter& writer, uint32_t k,
                         const std::vector<std::string>& body) {
        for (const std::string& line : body) {
            if (writer.Feed(k, (line.starts_with('.') ? "." : "") + line) == Result::kFailed)
                return Part::kFailed;
        }
        EXPECT_EQ(writer.Feed(k, "."), Result::kEndOfBody);
        return writer.FinishPart(k);
    }

    std::string Log() const { return ReadFileBytes(dir_ / "DEBUG.TXT"); }

    test::CTempDir dir_;
    test::CRecordingMessageBox box_;
    CAppContext context_;
    std::string saveDir_ = dir_ / "save/";
    std::unique_ptr<CTask> task_;
};

TEST_F(AttachmentWriterTest, OddLinesAndTheFirstAttachmentsEndCompletesTheTask) {
    // Part 1 of 4: text, the whole file with a grave and an empty line in it,
    // then a file of the same name (rename off), one of another name and text.
    // 45 + 14 bytes: the second data line starts with "." and comes stuffed.
    const std::string first = RandomBytes(59, 3), second = RandomBytes(2000, 4);
    auto body = Bodies("same.bin", first, 1)[0];
    ASSERT_EQ(body[2][0], '.');
    body.insert(body.begin() + 2, {"`", ""});
    body.insert(body.begin(), "some text before the attachment");
    for (const auto& more : {Bodies("same.bin", second, 1)[0], Bodies("other.bin", second, 1)[0]})
        body.insert(body.end(), more.begin(), more.end());
    body.push_back("trailing text");
    MakeTask(4);
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(FeedPart(writer, 0, body), Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "same.bin"), first);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(saveDir_), {}), 1);
    EXPECT_EQ(task_->GetPartsFetched(), 4u);  // later parts are not fetched
    EXPECT_EQ(task_->GetBytesWritten(), first.size());
}

TEST_F(AttachmentWriterTest, LongPathsEmptyAndDirectoryNamesAreRefusedBeforeAnythingOpens) {
    saveDir_ = dir_ / (std::string(120, 'd') + "/");
    ASSERT_TRUE(CreateDirectoryPath(saveDir_));
    const size_t room = CAttachmentWriter::kMaxPathLength - saveDir_.size();
    WriteFileBytes(saveDir_ + std::string(room - 1, 'c'), "keep me");
    // A path of exactly 259 characters is fine; one more is not, nor a name
    // whose renamed form ("-1") is.
    const std::string tooLong = "ERROR: Output File Path Too Long";
    const std::string invalid = "ERROR: Invalid Binary Filename";
    const struct {
        std::string name;
        bool rename;
        std::string status;  // "" opens the file
    } cases[] = {{std::string(room, 'a'), false, ""},
                 {std::string(room + 1, 'b'), false, tooLong},
                 {std::string(room - 1, 'c'), true, tooLong},
                 {"\"", false, invalid},
                 {".", false, invalid},
                 {"..", false, invalid}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        context_.settings.SetOption(OPT_RENAME_EXISTING, c.rename);
        MakeTask(1);
        task_->SetProgress(context_.locks, 1, 77);
        CAttachmentWriter writer(context_, *task_);
        const bool fits = c.status.empty();
        EXPECT_EQ(writer.Feed(0, "begin 644 " + c.name), fits ? Result::kContent : Result::kFailed);
        EXPECT_EQ(task_->GetOutputFile(), fits ? saveDir_ + c.name : "");
        EXPECT_EQ(task_->GetStatusText(), c.status);
        EXPECT_EQ(task_->GetInProgress(), fits ? 1u : 0u);
        EXPECT_EQ(task_->GetResult(), fits ? kResultUnprocessed : kResultError);
        EXPECT_EQ(task_->GetBytesWritten(), 0u);  // the progress starts again
    }
    EXPECT_EQ(ReadFileBytes(saveDir_ + std::string(room - 1, 'c')), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(saveDir_), {}), 2);
}

// Resuming: a first call fetched three of five parts; the partial file is then
// changed before the next call.
class ResumeTest : public AttachmentWriterTest {
  protected:
    void SetUp() override { FetchThreeParts(); }
    void FetchThreeParts() {
        MakeTask(5);
        CAttachmentWriter writer(context_, *task_);
        for (uint32_t k = 0; k < 3; ++k) ASSERT_EQ(FeedPart(writer, k, bodies_[k]), Part::kNext);
        path_ = task_->GetOutputFile();
        recorded_ = task_->GetBytesWritten();
    }
    const std::string data_ = RandomBytes(20000, 8);
    const std::vector<std::vector<std::string>> bodies_ = Bodies("resume.bin", data_, 5);
    std::string path_;
    uint32_t recorded_ = 0;
};

TEST_F(ResumeTest, LongerFilesAreCutBackMissingOrShortOnesRestartAHeldOneFails) {
    using R = CAttachmentWriter::ResumeResult;
    const std::string threeParts = ReadFileBytes(path_);
    const struct {
        std::optional<std::string> file;  // nullopt: deleted
        R result;
        std::string status;  // "" for unchanged
        uint32_t from;
    } cases[] = {
        {threeParts + "half of part four", R::kResumed, "", 3},
        {std::nullopt, R::kRestarted, "Resuming Failed: Partial File Missing.  Restarting.", 0},
        {threeParts.substr(0, recorded_ - 1), R::kRestarted,
         "Resuming File Failed: Binary Size Less Than Expected.  Restarting.", 0},
        // Held open by another writer: the task fails, the file is left alone.
        {threeParts, R::kFailed, "ERROR: Resuming Binary Download Failed: Can't Open Output File!",
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        FetchThreeParts();
        c.file ? WriteFileBytes(path_, *c.file) : static_cast<void>(RemoveFile(path_));
        COutputFile other;
        ASSERT_TRUE(c.result != R::kFailed ||
                    other.Open(path_, COutputFile::OpenMode::OpenExisting));
        const std::string before = task_->GetStatusText();
        CAttachmentWriter writer(context_, *task_);
        ASSERT_EQ(writer.Resume(), c.result);
        EXPECT_EQ(task_->GetStatusText(), c.status.empty() ? before : c.status);
        EXPECT_EQ(task_->GetPartsFetched(), c.from);
        if (c.result == R::kFailed) {
            EXPECT_EQ(task_->GetResult(), kResultError);
            EXPECT_EQ(FileSize(path_), recorded_);
            continue;
        }
        EXPECT_EQ(task_->GetOutputFile(), c.from ? path_ : "");
        for (uint32_t k = c.from; k < 5; ++k)
            ASSERT_EQ(FeedPart(writer, k, bodies_[k]), k < 4 ? Part::kNext : Part::kCompleted);
        EXPECT_EQ(ReadFileBytes(path_), data_);
    }
}

// Task A stopped after part 3 of resume.bin and was saved in the queue file;
// in a later run task B, another binary of the same name, runs before A
// resumes (rename off). B names its file as if renaming were on, so A ends
// with its own bytes and B's file is kept.
TEST_F(ResumeTest, NoOtherTaskOpensAFileThatATaskFromTheQueueFileWillResume) {
    const std::string other = RandomBytes(3000, 9);
    CAppContext later(dir_.Path(), box_);
    later.Start();
    CDownloadQueue queue(later);
    queue.AddTask(*task_, false);
    queue.SaveQueueFile();
    queue.RemoveAllNotRunning();
    queue.LoadQueue();
    auto b = std::make_unique<CTask>(&later.settings);
    MakeDownloadTask(*b, {"alt.test", "b", saveDir_, {200}, {10}});
    CAttachmentWriter writerB(later, *b);
    ASSERT_EQ(FeedPart(writerB, 0, Bodies("resume.bin", other, 1)[0]), Part::kCompleted);
    EXPECT_EQ(b->GetOutputFile(), saveDir_ + "resume-1.bin");

    CAttachmentWriter writerA(later, *queue.Row(0).task);
    ASSERT_EQ(writerA.Resume(), CAttachmentWriter::ResumeResult::kResumed);
    for (uint32_t k = 3; k < 5; ++k)
        ASSERT_EQ(FeedPart(writerA, k, bodies_[k]), k < 4 ? Part::kNext : Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(path_), data_);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "resume-1.bin"), other);
    // Completed, A claims its file no more: the option's rule is back.
    CAttachmentWriter writerC(later, *b);
    b->SetProgress(later.locks, 0, 0);
    ASSERT_EQ(FeedPart(writerC, 0, Bodies("resume.bin", other, 1)[0]), Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(path_), other);
}

// yEnc bodies of file.bin in three parts, with the option on.
class YencWriterTest : public AttachmentWriterTest {
  protected:
    void SetUp() override { context_.settings.SetOption(OPT_DECODE_YENC, 1); }

    // Part `part` (one-based) of three of data_.
    std::vector<std::string> Body(int part) const {
        const size_t n = data_.size();
        return test::YencPartBody("file.bin", data_, part, 3, n * (part - 1) / 3, n * part / 3);
    }

    // Bytes whose encoded form must or may be escaped at the end.
    std::string data_ = RandomBytes(5000, 2) + "\xd6\xe0\xe3\x13\xdf\xf6\x04";
};

TEST_F(YencWriterTest, SingleBlockLinesThatLookLikeUuLinesAreData) {
    // "`", "end", an empty line and lines that start with "." are all data
    // inside a block; the block is the whole file and ends the task.
    const std::string bytes = "\x36\x3b\x44\x3a\x04\x41\x04";
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", Crc32(0, bytes.data(), bytes.size()));
    for (const std::string size : {"9", "7"}) {  // 7 bytes come; 9 fail the block
        MakeTask(2);
        CAttachmentWriter writer(context_, *task_);
        EXPECT_EQ(
            FeedPart(writer, 0,
                     {"text before", "=ybegin line=128 size=" + size + " name=\"quoted .bin\"", "`",
                      "end", "", ".k", "=n", "=yend size=" + size + " crc32=" + crc}),
            size == "7" ? Part::kCompleted : Part::kFailed);
    }
    EXPECT_EQ(ReadFileBytes(saveDir_ + "quoted .bin"), bytes);
    EXPECT_EQ(task_->GetPartsFetched(), 2u);  // the second part is not fetched
    EXPECT_NE(Log().find("yEnc Error: Part 1 Of 2 Decoded To 7 Bytes, 9 Expected"),
              std::string::npos);
}

TEST_F(YencWriterTest, PartsOutOfOrderAcrossAResumeAndBrokenPostsFailWithTheirStatus) {
    const auto without = [](std::vector<std::string> body, size_t line) {
        body.erase(body.begin() + static_cast<long>(line));
        return body;
    };
    const std::vector<std::string> part2 = Body(2);
    std::vector<std::string> flipped = part2, longer = part2, badFileCrc = Body(3);
    const size_t at = flipped[5].find_first_not_of('=', 1);  // a plain or escaped character
    flipped[5][at] = static_cast<char>(flipped[5][at] == 'k' ? 'l' : 'k');
    longer.insert(longer.end() - 1, "kk");
    badFileCrc.back().replace(badFileCrc.back().find(" crc32=") + 7, 8, "ffffffff");
    // The file's part 2 (the task's first article), whole or broken, comes
    // first, then part 1; after a resume part 3, whose file checksum is then
    // checked against the file read back.
    const struct {
        const char* what;
        std::vector<std::string> second, third;
        std::string status;  // "" completes
    } cases[] = {
        {"whole", part2, Body(3), ""},
        {"a changed byte", flipped, Body(3), "yEnc CRC Error In Part 1 Of 3: pcrc32="},
        {"file crc32", part2, badFileCrc, "yEnc CRC Error In File: crc32=ffffffff"},
        {"no =yend, all bytes", without(part2, part2.size() - 1), Body(3), ""},
        {"no =yend, a line short", without(without(part2, part2.size() - 1), 5), Body(3),
         "yEnc Error: Part 1 Of 3 Ends Without =yend ("},
        {"no =ypart", without(part2, 1), Body(3), "yEnc Error: Part 1 Of 3: =ypart Line Missing"},
        {"a line too many", longer, Body(3), "yEnc Error: Part 1 Of 3 Holds More Than Its "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveFile(saveDir_ + "file.bin");
        MakeTask(3);
        auto writer = std::make_unique<CAttachmentWriter>(context_, *task_);
        if (FeedPart(*writer, 0, c.second) == Part::kNext) {
            ASSERT_EQ(FeedPart(*writer, 1, Body(1)), Part::kNext);
            // The resume point: the file's length after each whole part.
            EXPECT_EQ(task_->GetBytesWritten(), FileSize(saveDir_ + "file.bin"));
            writer = std::make_unique<CAttachmentWriter>(context_, *task_);
            ASSERT_EQ(writer->Resume(), CAttachmentWriter::ResumeResult::kResumed);
            FeedPart(*writer, 2, c.third);
        }
        EXPECT_EQ(task_->GetStatusText().rfind(c.status.empty() ? "Completed" : c.status, 0), 0u)
            << task_->GetStatusText();
        EXPECT_EQ(FileExists(saveDir_ + "file.bin"), c.status.empty());
        EXPECT_TRUE(!c.status.empty() || ReadFileBytes(saveDir_ + "file.bin") == data_);
    }
    const std::string log = Log();
    EXPECT_EQ(log.find("not checked"), std::string::npos);
    EXPECT_NE(log.find("yEnc: part 1 of 3 has no =yend line"), std::string::npos);
    EXPECT_NE(log.find("yEnc Error In Part 1 of 3 [100]: yEnc CRC Error"), std::string::npos);

    // The part with the file's crc32 fetched before a resume: the file is
    // whole, and the log says that its checksum could not be checked.
    RemoveFile(saveDir_ + "file.bin");
    MakeTask(3);
    {
        CAttachmentWriter first(context_, *task_);
        ASSERT_EQ(FeedPart(first, 0, Body(3)), Part::kNext);
    }
    CAttachmentWriter resumed(context_, *task_);
    ASSERT_EQ(resumed.Resume(), CAttachmentWriter::ResumeResult::kResumed);
    ASSERT_EQ(FeedPart(resumed, 1, Body(1)), Part::kNext);
    ASSERT_EQ(FeedPart(resumed, 2, Body(2)), Part::kCompleted);
    EXPECT_TRUE(ReadFileBytes(saveDir_ + "file.bin") == data_);
    EXPECT_NE(Log().find("yEnc: crc32 of " + saveDir_ +
                         "file.bin not checked: no part fetched since the resume carried it"),
              std::string::npos);
}

}  // namespace
}  // namespace vexlo
