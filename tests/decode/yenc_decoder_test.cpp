// yEnc: the checksum, the line decoder and header readers, and the writer's
// handling of yEnc blocks fed line by line — escapes where lines start and
// end, parts whose offsets come out of order (also across a resume), a part
// without =yend, and checks that fail.
#include "decode/yenc_decoder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/app_context.h"
#include "decode/attachment_writer.h"
#include "decode/crc32.h"
#include "decode/file_utils.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/yenc_encoder.h"
#include "tasks/task.h"

namespace vexlo {
namespace {
using Result = CAttachmentWriter::LineResult;
using Part = CAttachmentWriter::PartResult;
using test::RandomBytes;
using test::ReadFileBytes;

// The lines decoded one after another, by both decoders; they must agree.
std::string Decode(const std::vector<std::string>& lines) {
    std::string out, portableOut;
    bool escaped = false, portableEscaped = false;
    for (const std::string& line : lines) {
        std::string bytes(line.size() + kYencDecodeSlack, '\0'), portable = bytes;
        bytes.resize(DecodeYencLine(line, reinterpret_cast<unsigned char*>(bytes.data()), escaped));
        portable.resize(DecodeYencLinePortable(
            line, reinterpret_cast<unsigned char*>(portable.data()), portableEscaped));
        out += bytes;
        portableOut += portable;
    }
    EXPECT_EQ(out, portableOut);
    return out;
}

TEST(Crc32, KnownValuesAndPiecesLaidEndToEnd) {
    EXPECT_EQ(Crc32(0, "", 0), 0u);
    EXPECT_EQ(Crc32(0, "a", 1), 0xe8b7be43u);
    EXPECT_EQ(Crc32(0, "123456789", 9), 0xcbf43926u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(Crc32(0, fox.data(), fox.size()), 0x414fa339u);
    std::string bytes;
    for (int i = 0; i < 768; ++i) bytes += static_cast<char>(i);
    EXPECT_EQ(Crc32(0, bytes.data(), bytes.size()), 0xb0c0df2au);
    // Pieces short and long, so every way through the function meets the others.
    const std::string data = RandomBytes(1000, 1);
    const uint32_t whole = Crc32(0, data.data(), data.size());
    for (size_t cut : {0, 1, 7, 8, 9, 63, 64, 65, 80, 500, 936, 999, 1000}) {
        const uint32_t a = Crc32(0, data.data(), cut);
        const uint32_t b = Crc32(0, data.data() + cut, data.size() - cut);
        EXPECT_EQ(Crc32(a, data.data() + cut, data.size() - cut), whole) << cut;
        EXPECT_EQ(Crc32Combine(a, b, data.size() - cut), whole) << cut;
    }
}

// Bytes whose encoded form must or may be escaped: NUL, LF, CR, "=", tab,
// blank and ".", each as (code - 42).
const std::string kCritical = {'\xd6', '\xe0', '\xe3', '\x13', '\xdf', '\xf6', '\x04'};

TEST(YencLines, EscapesAtLineStartsAndEndsAndAcrossLines) {
    const struct {
        std::vector<std::string> lines;
        std::string bytes;
    } cases[] = {
        {{"=nkl"}, "\x04\x41\x42"},           // an escaped "." opens the line
        {{"kl=`"}, "\x41\x42\xf6"},           // an escaped blank ends it
        {{"=I", "=@"}, "\xdf\xd6"},           // lines of one escape each
        {{"kl=", "}m"}, "\x41\x42\x13\x43"},  // an escape split over two lines
        {{"==", "k"}, std::string("\xd3\x41", 2)},
        {{std::string(15, 'k') + "==" + std::string(20, 'k')},  // "==" across a block's end
         std::string(15, 'A') + "\xd3" + std::string(20, 'A')},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.lines), c.bytes) << c.lines.front();
    // Round trips over every position of an escape in and around a 16-character
    // block, at line lengths that put escapes at every line start and end.
    for (size_t lineLength : {2, 15, 16, 17, 128}) {
        for (size_t size : {1, 16, 17, 33, 1000}) {
            std::string data = RandomBytes(size, static_cast<unsigned>(size));
            for (size_t i = 0; i < size; i += 3) data[i] = kCritical[i % kCritical.size()];
            const auto lines = test::YencodeLines(data, lineLength);
            EXPECT_EQ(Decode(lines), data) << size << " bytes, lines of " << lineLength;
        }
    }
}

TEST(YencLines, HeaderFieldsInAnyOrderAndMalformedLines) {
    YencBegin begin;
    ASSERT_TRUE(
        ParseYbegin("=ybegin size=900 line=128 total=3 part=2 name= my file=1.bin ", begin));
    EXPECT_EQ(begin.part, 2);
    EXPECT_EQ(begin.total, 3);
    EXPECT_EQ(begin.size, 900);
    EXPECT_EQ(begin.name, " my file=1.bin ");
    for (const char* bad : {"=ybegin line=128 name=x", "=ybegin size=9", "=ybegin size=-1 name=x",
                            "=ybegin part=x size=1 name=x", "=ybeginsize=1 name=x"})
        EXPECT_FALSE(ParseYbegin(bad, begin)) << bad;

    YencPart part;
    ASSERT_TRUE(ParseYpart("=ypart end=200 begin=101", part));
    EXPECT_EQ(part.begin, 101);
    EXPECT_EQ(part.end, 200);
    for (const char* bad : {"=ypart begin=0 end=5", "=ypart begin=6 end=5", "=ypart begin=1"})
        EXPECT_FALSE(ParseYpart(bad, part)) << bad;

    YencEnd end;
    ASSERT_TRUE(ParseYend("=yend size=100 part=2 pcrc32=00Ab12cD crc32=1", end));
    EXPECT_EQ(end.size, 100);
    EXPECT_TRUE(end.hasPcrc32 && end.hasCrc32);
    EXPECT_EQ(end.pcrc32, 0x00ab12cdu);
    EXPECT_EQ(end.crc32, 1u);
    ASSERT_TRUE(ParseYend("=yend", end));
    EXPECT_FALSE(end.hasPcrc32 || end.hasCrc32);
    EXPECT_FALSE(ParseYend("=yend pcrc32=123456789", end));
    EXPECT_FALSE(ParseYend("=yend pcrc32=xyz", end));
    EXPECT_FALSE(IsYendLine("=yendx"));
}

// The writer fed with yEnc bodies as a server sends them (dot-stuffed).
class YencWriterTest : public ::testing::Test {
  protected:
    YencWriterTest() : context_(dir_.Path(), box_) {
        context_.Start();
        context_.settings.SetOption(OPT_DECODE_YENC, 1);
        CreateDirectoryPath(saveDir_);
    }

    void MakeTask(uint32_t parts) {
        if (task_) context_.outputClaims.Release(task_->Key());
        task_ = std::make_unique<CTask>(&context_.settings);
        task_->SetType(kTaskDecode);
        task_->SetSubject("file.bin (1/" + std::to_string(parts) + ")");
        task_->SetSaveDir(saveDir_);
        task_->SetArticles(std::vector<uint32_t>(parts, 100));
        task_->SetLines(std::vector<uint32_t>(parts, 10));
        task_->SetInProgress(1);
    }

    // Part `part` (one-based) of three of data_.
    std::vector<std::string> Body(int part) const {
        const size_t n = data_.size();
        return test::YencPartBody("file.bin", data_, part, 3, n * (part - 1) / 3, n * part / 3);
    }

    Part FeedPart(CAttachmentWriter& writer, uint32_t k, std::vector<std::string> body) {
        for (std::string& line : body) {
            if (!line.empty() && line[0] == '.') line.insert(0, 1, '.');
            if (writer.Feed(k, line) == Result::kFailed) return Part::kFailed;
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
    std::string data_ = RandomBytes(5000, 2) + kCritical;
};

TEST_F(YencWriterTest, PartOffsetsOutOfOrderAlsoAcrossAResume) {
    // Articles in the order 2, 3, 1 of the file; then 3, 1 | resume | 2.
    for (const std::vector<int>& order : {std::vector<int>{2, 3, 1}, std::vector<int>{3, 1, 2}}) {
        const bool resume = order[0] == 3;
        SCOPED_TRACE(resume);
        RemoveFile(saveDir_ + "file.bin");
        MakeTask(3);
        auto writer = std::make_unique<CAttachmentWriter>(context_, *task_);
        for (uint32_t k = 0; k < 3; ++k) {
            if (resume && k == 2) {
                writer = std::make_unique<CAttachmentWriter>(context_, *task_);
                ASSERT_EQ(writer->Resume(), CAttachmentWriter::ResumeResult::kResumed);
            }
            ASSERT_EQ(FeedPart(*writer, k, Body(order[k])), k < 2 ? Part::kNext : Part::kCompleted)
                << task_->GetStatusText();
            // The resume point: the file's length after each whole part.
            EXPECT_EQ(task_->GetBytesWritten(), FileSize(saveDir_ + "file.bin"));
        }
        EXPECT_EQ(task_->GetStatusText(), "Completed Successfully");
        EXPECT_EQ(ReadFileBytes(saveDir_ + "file.bin"), data_);
    }
    EXPECT_EQ(context_.stats.Run().fileRecv.ToString(), "2");
    EXPECT_EQ(Log().find("not checked"), std::string::npos);
}

TEST_F(YencWriterTest, SingleBlockLinesThatLookLikeUuLinesAreData) {
    // "`", "end", an empty line and lines that start with "." are all data
    // inside a block; the block is the whole file and ends the task.
    const std::vector<std::string> body = {
        "text before",
        "=ybegin line=128 size=9 name=\"quoted .bin\"",
        "`",
        "end",
        "",
        ".k",
        "=n",
        "=yend size=9 crc32=" + [] {
            char hex[9];
            std::snprintf(hex, sizeof hex, "%08x", Crc32(0, "\x36\x3b\x44\x3a\x04\x41\x04", 7));
            return std::string(hex);
        }()};
    MakeTask(2);
    CAttachmentWriter writer(context_, *task_);
    EXPECT_EQ(FeedPart(writer, 0, body), Part::kFailed);  // 7 bytes, not 9
    EXPECT_EQ(task_->GetStatusText(), "yEnc Error: Part 1 Of 2 Decoded To 7 Bytes, 9 Expected");

    auto fixed = body;
    fixed[1] = "=ybegin line=128 size=7 name=\"quoted .bin\"";
    fixed.back().replace(fixed.back().find("size=9"), 6, "size=7");
    MakeTask(2);
    CAttachmentWriter again(context_, *task_);
    EXPECT_EQ(FeedPart(again, 0, fixed), Part::kCompleted);
    EXPECT_EQ(ReadFileBytes(saveDir_ + "quoted .bin"), "\x36\x3b\x44\x3a\x04\x41\x04");
    EXPECT_EQ(task_->GetPartsFetched(), 2u);  // the second part is not fetched
}

TEST_F(YencWriterTest, BrokenPostsFailWithTheirStatus) {
    auto change = [](std::vector<std::string> body, size_t line, const std::string& from,
                     const std::string& to) {
        if (to.empty() && from.empty()) {
            body.erase(body.begin() + static_cast<long>(line));
        } else {
            body[line].replace(body[line].find(from), from.size(), to);
        }
        return body;
    };
    const std::vector<std::string> part2 = Body(2);
    std::vector<std::string> flipped = part2;
    const size_t at = flipped[5].find_first_not_of('=', 1);  // a plain or escaped character
    flipped[5][at] = static_cast<char>(flipped[5][at] == 'k' ? 'l' : 'k');
    std::vector<std::string> badFileCrc = Body(3);
    badFileCrc.back().replace(badFileCrc.back().find(" crc32=") + 7, 8, "ffffffff");
    const struct {
        const char* what;
        std::vector<std::string> second, third;
        std::string status;  // "" completes
        bool file;
    } cases[] = {
        {"a changed byte", flipped, Body(3), "yEnc CRC Error In Part 2 Of 3: pcrc32=", false},
        {"file crc32", part2, badFileCrc, "yEnc CRC Error In File: crc32=ffffffff", false},
        {"no =yend, all bytes", change(part2, part2.size() - 1, "", ""), Body(3), "", true},
        {"no =yend, a line short", change(change(part2, part2.size() - 1, "", ""), 5, "", ""),
         Body(3), "yEnc Error: Part 2 Of 3 Ends Without =yend (", false},
        {"no =ypart", change(part2, 1, "", ""), Body(3),
         "yEnc Error: Part 2 Of 3: =ypart Line Missing", false},
        {"a line too many",
         [&] {
             auto body = part2;
             body.insert(body.end() - 1, "kk");
             return body;
         }(),
         Body(3), "yEnc Error: Part 2 Of 3 Holds More Than Its ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveFile(saveDir_ + "file.bin");
        MakeTask(3);
        CAttachmentWriter writer(context_, *task_);
        ASSERT_EQ(FeedPart(writer, 0, Body(1)), Part::kNext);
        FeedPart(writer, 1, c.second);
        if (task_->GetResult() != kResultError) FeedPart(writer, 2, c.third);
        EXPECT_EQ(task_->GetStatusText().rfind(c.status.empty() ? "Completed" : c.status, 0), 0u)
            << task_->GetStatusText();
        EXPECT_EQ(FileExists(saveDir_ + "file.bin"), c.file);
        if (c.file) {
            EXPECT_EQ(ReadFileBytes(saveDir_ + "file.bin"), data_);
        }
    }
    EXPECT_NE(Log().find("yEnc: part 2 of 3 has no =yend line"), std::string::npos);
    EXPECT_NE(Log().find("yEnc Error In Part 2 of 3 [100]: yEnc CRC Error"), std::string::npos);
}

TEST_F(YencWriterTest, OffTheBodyHoldsNoAttachment) {
    context_.settings.SetOption(OPT_DECODE_YENC, 0);
    MakeTask(3);
    CAttachmentWriter writer(context_, *task_);
    EXPECT_EQ(FeedPart(writer, 0, Body(1)), Part::kFailed);
    EXPECT_EQ(task_->GetStatusText(), "No Binary Attachment Found");
    EXPECT_FALSE(FileExists(saveDir_ + "file.bin"));
}

}  // namespace
}  // namespace vexlo
