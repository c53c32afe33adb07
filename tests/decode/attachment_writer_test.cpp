// The file side of a download, fed with body lines directly: what reaches the
// output file, the resume point after each part, resuming half-written files,
// the clean-ups, and the failures that name, path and data can cause.
#include "decode/attachment_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "core/app_context.h"
#include "decode/file_utils.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "tasks/task.h"

namespace vexlo {
namespace {
using test::RandomBytes;

using Result = CAttachmentWriter::LineResult;
using Part = CAttachmentWriter::PartResult;
using test::ReadFileBytes;
using test::WriteFileBytes;

// Body lines as a server sends them: a leading dot doubled.
std::vector<std::string> Stuffed(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        if (!line.empty() && line[0] == '.') line.insert(0, 1, '.');
    }
    return lines;
}

// The bodies of `data` posted as `parts` parts named `name`.
std::vector<std::vector<std::string>> Bodies(const std::string& name, const std::string& data,
                                             int parts) {
    std::vector<std::vector<std::string>> bodies;
    for (auto& post : test::MakeUuencodedPosts("alt.test", name, data, parts, "p <p@x>")) {
        bodies.push_back(Stuffed(std::move(post.bodyLines)));
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
        saveDir_ = dir_ / "save/";
        CreateDirectoryPath(saveDir_);
    }
    void TearDown() override { testing::FailWritesAfter(-1); }

    void MakeTask(int parts) {
        task_ = std::make_unique<CTask>(&context_.settings);
        task_->SetType(kTaskDecode);
        task_->SetSubject("holiday.zip (1/" + std::to_string(parts) + ")");
        task_->SetSaveDir(saveDir_);
        std::vector<uint32_t> articles, lines;
        for (int i = 0; i < parts; ++i) {
            articles.push_back(100 + static_cast<uint32_t>(i));
            lines.push_back(10);
        }
        task_->SetArticles(articles);
        task_->SetLines(lines);
        task_->SetInProgress(1);
    }

    // Feeds the body lines and the "." line of part k; the last line result
    // that was not a success, or the part's result.
    static Part FeedPart(CAttachmentWriter& writer, uint32_t k,
                         const std::vector<std::string>& body) {
        for (const std::string& line : body) {
            if (writer.Feed(k, line) == Result::kFailed) return Part::kWriteFailed;
        }
        EXPECT_EQ(writer.Feed(k, "."), Result::kEndOfBody);
        return writer.FinishPart(k);
    }

    std::string DebugLog() const { return ReadFileBytes(dir_ / "DEBUG.TXT"); }

    test::CTempDir dir_;
    test::CRecordingMessageBox box_;
    CAppContext context_;
    std::string saveDir_;
    std::unique_ptr<CTask> task_;
};

TEST_F(AttachmentWriterTest, PartsBecomeTheFileWithAResumePointBehindEach) {
    const std::string data = RandomBytes(10000, 1);
    auto bodies = Bodies("holiday.zip", data, 3);
    MakeTask(3);
    CAttachmentWriter writer(context_, *task_);
    const std::string path = saveDir_ + "holiday.zip";
    for (uint32_t k = 0; k < 3; ++k) {
        ASSERT_EQ(FeedPart(writer, k, bodies[k]), k < 2 ? Part::kNext : Part::kCompleted);
        EXPECT_EQ(task_->GetPartsFetched(), k + 1);
        // What the resume point claims is on disk already, not in a buffer.
        const std::string onDisk = ReadFileBytes(path);
        ASSERT_EQ(onDisk.size(), task_->GetBytesWritten());
        EXPECT_EQ(onDisk, data.substr(0, onDisk.size()));
    }
    EXPECT_EQ(ReadFileBytes(path), data);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(task_->GetOutputFile(), path);
    EXPECT_EQ(task_->GetResult(), kResultCompleted);
    EXPECT_EQ(task_->GetStatusText(), "Completed Successfully");
    EXPECT_EQ(context_.stats.Run().bodyRecv.ToString(), "3");
    EXPECT_EQ(context_.stats.Run().fileRecv.ToString(), "1");
    const std::string log = DebugLog();
    const std::string tail = " DONE: holiday.zip (1/3)\n   AS: " + path + "\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(AttachmentWriterTest, DotStuffingEmptyAndGraveLines) {
    // 45 + 14 bytes: the second encoded line announces 14 bytes with "." and
    // reaches the writer stuffed as "..".
    const std::string data = RandomBytes(59, 2);
    auto body = Bodies("dots.bin", data, 1)[0];
    ASSERT_EQ(body[2].substr(0, 2), "..");
    body.insert(body.begin() + 2, "");
    body.insert(body.begin() + 2, "`");
    MakeTask(1);
    CAttachmentWriter writer(context_, *task_);
    EXPECT_EQ(writer.Feed(0, "some text before the attachment"), Result::kContent);
    ASSERT_EQ(FeedPart(writer, 0, body), Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "dots.bin"), data);
}

TEST_F(AttachmentWriterTest, ASecondAttachmentNeverTouchesTheFirst) {
    const std::string first = RandomBytes(3000, 3);
    const std::string second = RandomBytes(2000, 4);
    // Part 1 holds the whole first file, then a second one of the same name
    // (rename off) and one of another name; the binary claims three parts.
    auto body = Bodies("same.bin", first, 1)[0];
    for (const auto& more : {Bodies("same.bin", second, 1)[0], Bodies("other.bin", second, 1)[0]})
        body.insert(body.end(), more.begin(), more.end());
    MakeTask(3);
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(FeedPart(writer, 0, body), Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "same.bin"), first);
    EXPECT_EQ(CountFiles(saveDir_), 1u);
    // Completed at once: no later part could reopen and extend the file.
    EXPECT_EQ(task_->GetPartsFetched(), 3u);
    EXPECT_EQ(task_->GetBytesWritten(), first.size());
    EXPECT_EQ(task_->GetResult(), kResultCompleted);
    EXPECT_EQ(context_.stats.Run().fileRecv.ToString(), "1");
}

TEST_F(AttachmentWriterTest, EndLineInAnEarlierPartCompletesAtThatPartsEnd) {
    const std::string data = RandomBytes(5000, 5);
    auto bodies = Bodies("early.bin", data, 2);
    bodies[0].insert(bodies[0].end(), bodies[1].begin(), bodies[1].end());  // all in part 1
    bodies[0].push_back("trailing text");
    MakeTask(4);
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(FeedPart(writer, 0, bodies[0]), Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "early.bin"), data);
    EXPECT_EQ(task_->GetPartsFetched(), 4u);
}

TEST_F(AttachmentWriterTest, PathsLongerThan259CharactersAreRefusedBeforeAnythingOpens) {
    saveDir_ = dir_ / (std::string(120, 'd') + "/");
    ASSERT_TRUE(CreateDirectoryPath(saveDir_));
    const size_t room = CAttachmentWriter::kMaxPathLength - saveDir_.size();

    // Exactly 259 characters: accepted.
    MakeTask(1);
    {
        CAttachmentWriter writer(context_, *task_);
        const std::string name(room, 'a');
        EXPECT_EQ(writer.Feed(0, "begin 644 " + name), Result::kContent);
        EXPECT_TRUE(writer.IsOpen());
        EXPECT_EQ(task_->GetOutputFile(), saveDir_ + name);
    }

    // One more: refused, nothing created.
    MakeTask(1);
    {
        CAttachmentWriter writer(context_, *task_);
        EXPECT_EQ(writer.Feed(0, "begin 644 " + std::string(room + 1, 'b')), Result::kFailed);
        EXPECT_EQ(task_->GetStatusText(), "ERROR: Output File Path Too Long");
        EXPECT_EQ(task_->GetResult(), kResultError);
        EXPECT_EQ(task_->GetInProgress(), 0u);
        EXPECT_EQ(task_->GetOutputFile(), "");
    }
    EXPECT_EQ(CountFiles(saveDir_), 1u);

    // A name that fits but whose renamed form ("-1") does not: the existing
    // file stays as it is.
    context_.settings.SetOption(OPT_RENAME_EXISTING, 1);
    const std::string almost(room - 1, 'c');
    WriteFileBytes(saveDir_ + almost, "keep me");
    MakeTask(1);
    {
        CAttachmentWriter writer(context_, *task_);
        EXPECT_EQ(writer.Feed(0, "begin 644 " + almost), Result::kFailed);
        EXPECT_EQ(task_->GetStatusText(), "ERROR: Output File Path Too Long");
    }
    EXPECT_EQ(ReadFileBytes(saveDir_ + almost), "keep me");
    EXPECT_EQ(CountFiles(saveDir_), 2u);
}

TEST_F(AttachmentWriterTest, ExistingNamesAreRenamedOrOverwrittenByTheOption) {
    const std::string data = RandomBytes(100, 6);
    WriteFileBytes(saveDir_ + "photo.gif", "old photo");

    context_.settings.SetOption(OPT_RENAME_EXISTING, 1);
    MakeTask(1);
    {
        CAttachmentWriter writer(context_, *task_);
        ASSERT_EQ(FeedPart(writer, 0, Bodies("photo.gif", data, 1)[0]), Part::kCompleted);
    }
    EXPECT_EQ(task_->GetOutputFile(), saveDir_ + "photo-1.gif");
    EXPECT_EQ(ReadFileBytes(saveDir_ + "photo-1.gif"), data);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "photo.gif"), "old photo");

    context_.settings.SetOption(OPT_RENAME_EXISTING, 0);
    MakeTask(1);
    {
        CAttachmentWriter writer(context_, *task_);
        ASSERT_EQ(FeedPart(writer, 0, Bodies("photo.gif", data, 1)[0]), Part::kCompleted);
    }
    EXPECT_EQ(task_->GetOutputFile(), saveDir_ + "photo.gif");
    EXPECT_EQ(ReadFileBytes(saveDir_ + "photo.gif"), data);
}

TEST_F(AttachmentWriterTest, NamesAreCleanedAndEmptyNamesRefused) {
    MakeTask(1);
    {
        CAttachmentWriter writer(context_, *task_);
        EXPECT_EQ(writer.Feed(0, "begin 644 \" my ../a:b|c*.zip \""), Result::kContent);
        EXPECT_EQ(task_->GetOutputFile(), saveDir_ + "my .._a_b_c_.zip");
    }
    MakeTask(1);
    task_->SetProgress(context_.locks, 1, 77);
    CAttachmentWriter writer(context_, *task_);
    EXPECT_EQ(writer.Feed(0, "begin 644 \""), Result::kFailed);
    EXPECT_EQ(task_->GetStatusText(), "ERROR: Invalid Binary Filename");
    EXPECT_EQ(task_->GetResult(), kResultError);
    EXPECT_EQ(task_->GetPartsFetched(), 0u);
    EXPECT_EQ(task_->GetBytesWritten(), 0u);
}

TEST_F(AttachmentWriterTest, AnUndecodableLineDeletesTheFile) {
    MakeTask(2);
    CAttachmentWriter writer(context_, *task_);
    auto body = Bodies("broken.bin", RandomBytes(500, 7), 2)[1];
    ASSERT_EQ(FeedPart(writer, 0, Bodies("broken.bin", RandomBytes(500, 7), 2)[0]), Part::kNext);
    const auto recorded = task_->GetBytesWritten();
    EXPECT_EQ(writer.Feed(1, body[0]), Result::kContent);
    EXPECT_EQ(writer.Feed(1, "M"), Result::kFailed);
    EXPECT_EQ(task_->GetStatusText(), "Error Decoding Line, Len=1: M");
    EXPECT_EQ(task_->GetResult(), kResultError);
    EXPECT_EQ(task_->GetInProgress(), 0u);
    EXPECT_FALSE(FileExists(saveDir_ + "broken.bin"));
    // The task record keeps what it had.
    EXPECT_EQ(task_->GetOutputFile(), saveDir_ + "broken.bin");
    EXPECT_EQ(task_->GetBytesWritten(), recorded);
    EXPECT_NE(DebugLog().find("Error Decoding Line: Part 1 of 2 [101], Line Len = 1\r\n"
                              "Line Text = M\r\n"),
              std::string::npos);
}

TEST_F(AttachmentWriterTest, AFirstPartWithoutBeginLineHoldsNoAttachment) {
    MakeTask(2);
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(FeedPart(writer, 0, {"=ybegin line=128 size=3 name=x.bin", "abc", "=yend size=3"}),
              Part::kFailed);
    EXPECT_EQ(task_->GetStatusText(), "No Binary Attachment Found");
    EXPECT_EQ(task_->GetResult(), kResultError);
    EXPECT_EQ(task_->GetInProgress(), 0u);
    EXPECT_EQ(CountFiles(saveDir_), 0u);
    EXPECT_NE(DebugLog().find("No Binary Attachment Found: holiday.zip (1/2)\n"),
              std::string::npos);
    EXPECT_EQ(context_.stats.Run().bodyRecv.ToString(), "0");
}

// Resuming: a first call fetches three of five parts, a second call continues.
class ResumeTest : public AttachmentWriterTest {
  protected:
    void SetUp() override {
        data_ = RandomBytes(20000, 8);
        bodies_ = Bodies("resume.bin", data_, 5);
        MakeTask(5);
        CAttachmentWriter writer(context_, *task_);
        for (uint32_t k = 0; k < 3; ++k) ASSERT_EQ(FeedPart(writer, k, bodies_[k]), Part::kNext);
        path_ = task_->GetOutputFile();
        recorded_ = task_->GetBytesWritten();
    }
    void FinishFrom(CAttachmentWriter& writer, uint32_t k) {
        for (; k < 5; ++k) {
            ASSERT_EQ(FeedPart(writer, k, bodies_[k]), k < 4 ? Part::kNext : Part::kCompleted);
        }
    }
    std::string data_;
    std::vector<std::vector<std::string>> bodies_;
    std::string path_;
    uint32_t recorded_ = 0;
};

TEST_F(ResumeTest, ALongerFileIsCutBackAndContinued) {
    WriteFileBytes(path_, ReadFileBytes(path_) + "half of part four");
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(writer.Resume(), CAttachmentWriter::ResumeResult::kResumed);
    EXPECT_EQ(FileSize(path_), recorded_);
    FinishFrom(writer, 3);
    EXPECT_EQ(ReadFileBytes(path_), data_);
}

TEST_F(ResumeTest, AMissingFileRestarts) {
    RemoveFile(path_);
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(writer.Resume(), CAttachmentWriter::ResumeResult::kRestarted);
    EXPECT_EQ(task_->GetStatusText(), "Resuming Failed: Partial File Missing.  Restarting.");
    EXPECT_EQ(task_->GetPartsFetched(), 0u);
    EXPECT_EQ(task_->GetBytesWritten(), 0u);
    EXPECT_EQ(task_->GetOutputFile(), "");
    FinishFrom(writer, 0);
    EXPECT_EQ(ReadFileBytes(path_), data_);
}

TEST_F(ResumeTest, AShortFileRestarts) {
    WriteFileBytes(path_, ReadFileBytes(path_).substr(0, recorded_ - 1));
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(writer.Resume(), CAttachmentWriter::ResumeResult::kRestarted);
    EXPECT_EQ(task_->GetStatusText(),
              "Resuming File Failed: Binary Size Less Than Expected.  Restarting.");
    EXPECT_EQ(task_->GetPartsFetched(), 0u);
    FinishFrom(writer, 0);
    EXPECT_EQ(ReadFileBytes(path_), data_);
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

TEST_F(ResumeTest, ABreakCutsBackToTheResumePointAndABreakInPartOneDeletes) {
    {
        CAttachmentWriter writer(context_, *task_);
        ASSERT_EQ(writer.Resume(), CAttachmentWriter::ResumeResult::kResumed);
        for (size_t i = 0; i < 10; ++i) ASSERT_EQ(writer.Feed(3, bodies_[3][i]), Result::kContent);
        ASSERT_TRUE(writer.CleanUpAfterBreak());
        EXPECT_FALSE(writer.IsOpen());
    }
    EXPECT_EQ(FileSize(path_), recorded_);
    EXPECT_EQ(task_->GetPartsFetched(), 3u);

    MakeTask(5);  // a fresh task: part 1 breaks off
    CAttachmentWriter writer(context_, *task_);
    for (size_t i = 0; i < 10; ++i) ASSERT_EQ(writer.Feed(0, bodies_[0][i]), Result::kContent);
    ASSERT_TRUE(writer.CleanUpAfterDataAbort());
    EXPECT_FALSE(FileExists(path_));
    EXPECT_EQ(task_->GetOutputFile(), "");
    EXPECT_EQ(task_->GetPartsFetched(), 0u);
}

TEST_F(ResumeTest, AFullDiskDeletesTheFileAndRestartsTheBinary) {
    CAttachmentWriter writer(context_, *task_);
    ASSERT_EQ(writer.Resume(), CAttachmentWriter::ResumeResult::kResumed);
    testing::FailWritesAfter(100);
    EXPECT_EQ(FeedPart(writer, 3, bodies_[3]), Part::kWriteFailed);
    EXPECT_EQ(task_->GetStatusText(), "Error Writing To Output File!");
    EXPECT_FALSE(FileExists(path_));
    EXPECT_EQ(task_->GetOutputFile(), "");
    EXPECT_EQ(task_->GetPartsFetched(), 0u);
    EXPECT_EQ(task_->GetBytesWritten(), 0u);
    // Transient: the run loop calls again.
    EXPECT_EQ(task_->GetResult(), kResultUnprocessed);
    EXPECT_EQ(task_->GetInProgress(), 1u);
}

}  // namespace
}  // namespace vexlo
