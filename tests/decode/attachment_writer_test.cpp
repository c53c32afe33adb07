// The file side of a download, fed with body lines directly, for what the INN
// downloads do not produce: odd lines, a second attachment, over-long paths,
// empty names, and the resume rules for a damaged or locked partial file.
#include "decode/attachment_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "core/app_context.h"
#include "decode/file_utils.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "tasks/download_queue.h"
#include "tasks/task.h"

namespace vexlo {
namespace {
using Result = CAttachmentWriter::LineResult;
using Part = CAttachmentWriter::PartResult;
using test::RandomBytes;
using test::ReadFileBytes;
using test::WriteFileBytes;

// The bodies of `data` posted as `parts` parts, dot-stuffed as a server sends them.
std::vector<std::vector<std::string>> Bodies(const std::string& name, const std::string& data,
                                             int parts) {
    std::vector<std::vector<std::string>> bodies;
    for (auto& post : test::MakeUuencodedPosts("alt.test", name, data, parts, "p <p@x>")) {
        for (std::string& line : post.bodyLines)
            if (!line.empty() && line[0] == '.') line.insert(0, 1, '.');
        bodies.push_back(std::move(post.bodyLines));
    }
    return bodies;
}

size_t CountFiles(const std::string& dir) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) n += entry.is_regular_file();
    return n;
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
        task_->SetType(kTaskDecode);
        task_->SetSubject("holiday.zip (1/" + std::to_string(parts) + ")");
        task_->SetSaveDir(saveDir_);
        task_->SetArticles(std::vector<uint32_t>(parts, 100));
        task_->SetLines(std::vector<uint32_t>(parts, 10));
        task_->SetInProgress(1);
    }

    // Feeds part k's body and its "." line; the part's result.
    static Part FeedPart(CAttachmentWriter& writer, uint32_t k,
                         const std::vector<std::string>& body) {
        for (const std::string& line : body) {
            if (writer.Feed(k, line) == Result::kFailed) return Part::kWriteFailed;
        }
        EXPECT_EQ(writer.Feed(k, "."), Result::kEndOfBody);
        return writer.FinishPart(k);
    }

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
    ASSERT_EQ(body[2].substr(0, 2), "..");
    body.insert(body.begin() + 2, {"`", ""});
    body.insert(body.begin(), "some text before the attachment");
    for (const auto& more : {Bodies("same.bin", second, 1)[0], Bodies("other.bin", second, 1)[0]})
        body.insert(body.end(), more.begin(), more.end());
    body.push_back("trailing text");
    MakeTask(4);
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(FeedPart(writer, 0, body), Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "same.bin"), first);
    EXPECT_EQ(CountFiles(saveDir_), 1u);
    EXPECT_EQ(task_->GetPartsFetched(), 4u);  // later parts are not fetched
    EXPECT_EQ(task_->GetBytesWritten(), first.size());
    EXPECT_EQ(task_->GetResult(), kResultCompleted);
    EXPECT_EQ(context_.stats.Run().fileRecv.ToString(), "1");
}

TEST_F(AttachmentWriterTest, PathsLongerThan259CharactersAreRefusedBeforeAnythingOpens) {
    saveDir_ = dir_ / (std::string(120, 'd') + "/");
    ASSERT_TRUE(CreateDirectoryPath(saveDir_));
    const size_t room = CAttachmentWriter::kMaxPathLength - saveDir_.size();
    WriteFileBytes(saveDir_ + std::string(room - 1, 'c'), "keep me");
    // Exactly 259 is fine; one more is not, nor a name whose renamed form ("-1") is.
    const struct {
        std::string name;
        bool rename, fits;
    } cases[] = {{std::string(room, 'a'), false, true},
                 {std::string(room + 1, 'b'), false, false},
                 {std::string(room - 1, 'c'), true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.size());
        context_.settings.SetOption(OPT_RENAME_EXISTING, c.rename);
        MakeTask(1);
        CAttachmentWriter writer(context_, *task_);
        EXPECT_EQ(writer.Feed(0, "begin 644 " + c.name),
                  c.fits ? Result::kContent : Result::kFailed);
        EXPECT_EQ(writer.IsOpen(), c.fits);
        EXPECT_EQ(task_->GetOutputFile(), c.fits ? saveDir_ + c.name : "");
        EXPECT_EQ(task_->GetStatusText(), c.fits ? "" : "ERROR: Output File Path Too Long");
        EXPECT_EQ(task_->GetInProgress(), c.fits ? 1u : 0u);
    }
    EXPECT_EQ(ReadFileBytes(saveDir_ + std::string(room - 1, 'c')), "keep me");
    EXPECT_EQ(CountFiles(saveDir_), 2u);
}

TEST_F(AttachmentWriterTest, EmptyAndDirectoryNamesAreRefused) {
    for (const char* line : {"begin 644 \"", "begin 644 .", "begin 644 .."}) {
        SCOPED_TRACE(line);
        MakeTask(1);
        task_->SetProgress(context_.locks, 1, 77);
        CAttachmentWriter writer(context_, *task_);
        EXPECT_EQ(writer.Feed(0, line), Result::kFailed);
        EXPECT_EQ(task_->GetStatusText(), "ERROR: Invalid Binary Filename");
        EXPECT_EQ(task_->GetResult(), kResultError);
        EXPECT_EQ(task_->GetPartsFetched(), 0u);
        EXPECT_EQ(task_->GetBytesWritten(), 0u);
    }
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

TEST_F(ResumeTest, LongerFilesAreCutBackMissingOrShortOnesRestart) {
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file ? c.file->size() : 0);
        FetchThreeParts();
        if (c.file) {
            WriteFileBytes(path_, *c.file);
        } else {
            RemoveFile(path_);
        }
        const std::string before = task_->GetStatusText();
        CAttachmentWriter writer(context_, *task_);
        ASSERT_EQ(writer.Resume(), c.result);
        EXPECT_EQ(task_->GetStatusText(), c.status.empty() ? before : c.status);
        EXPECT_EQ(task_->GetPartsFetched(), c.from);
        EXPECT_EQ(task_->GetOutputFile(), c.from ? path_ : "");
        for (uint32_t k = c.from; k < 5; ++k)
            ASSERT_EQ(FeedPart(writer, k, bodies_[k]), k < 4 ? Part::kNext : Part::kCompleted);
        EXPECT_EQ(ReadFileBytes(path_), data_);
    }
}

// Task A stopped after part 3 of resume.bin; task B, another binary of the same
// name, is run before A resumes (rename off). B names its file as if renaming
// were on, so A ends with its own bytes and B's file is kept — whether A's
// claim comes from this run or from the saved queue of an earlier one.
TEST_F(ResumeTest, NoOtherTaskOpensAFileThatATaskWillResume) {
    const std::string other = RandomBytes(3000, 9);
    for (bool fromQueueFile : {false, true}) {
        SCOPED_TRACE(fromQueueFile);
        FetchThreeParts();
        CTask* a = task_.get();
        // A later run of the program: its own claims, A from the saved queue.
        CAppContext later(dir_.Path(), box_);
        CDownloadQueue queue(later);
        CAppContext& context = fromQueueFile ? later : context_;
        if (fromQueueFile) {
            later.Start();
            queue.AddTask(*task_, false);
            queue.SaveQueueFile();
            queue.RemoveAllNotRunning();
            queue.LoadQueue();
            a = queue.Row(0).task.get();
        }
        auto b = std::make_unique<CTask>(&context.settings);
        b->SetType(kTaskDecode);
        b->SetSaveDir(saveDir_);
        b->SetArticles({200});
        CAttachmentWriter writerB(context, *b);
        ASSERT_EQ(FeedPart(writerB, 0, Bodies("resume.bin", other, 1)[0]), Part::kCompleted);
        EXPECT_EQ(b->GetOutputFile(), saveDir_ + "resume-1.bin");

        CAttachmentWriter writerA(context, *a);
        ASSERT_EQ(writerA.Resume(), CAttachmentWriter::ResumeResult::kResumed);
        for (uint32_t k = 3; k < 5; ++k)
            ASSERT_EQ(FeedPart(writerA, k, bodies_[k]), k < 4 ? Part::kNext : Part::kCompleted);
        EXPECT_EQ(ReadFileBytes(path_), data_);
        EXPECT_EQ(ReadFileBytes(saveDir_ + "resume-1.bin"), other);
        RemoveFile(saveDir_ + "resume-1.bin");
        // Completed, A claims its file no more: the option's rule is back.
        CAttachmentWriter writerC(context, *b);
        b->SetProgress(context.locks, 0, 0);
        ASSERT_EQ(FeedPart(writerC, 0, Bodies("resume.bin", other, 1)[0]), Part::kCompleted);
        EXPECT_EQ(ReadFileBytes(path_), other);
    }
}

TEST_F(ResumeTest, AFileHeldByAnotherWriterFailsTheTask) {
    COutputFile other;
    ASSERT_TRUE(other.Open(path_, COutputFile::OpenMode::OpenExisting));
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(writer.Resume(), CAttachmentWriter::ResumeResult::kFailed);
    EXPECT_EQ(task_->GetStatusText(),
              "ERROR: Resuming Binary Download Failed: Can't Open Output File!");
    EXPECT_EQ(task_->GetResult(), kResultError);
    EXPECT_EQ(task_->GetPartsFetched(), 3u);
    EXPECT_EQ(FileSize(path_), recorded_);
}

}  // namespace
}  // namespace vexlo
