// The yEnc side of CAttachmentWriter: a block's =ybegin opens the file (or
// finds it open from an earlier part), =ypart places the part's bytes, data
// lines are decoded and checksummed into the file, and =yend checks the part.
#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "core/app_context.h"
#include "decode/attachment_writer.h"
#include "decode/crc32.h"
#include "decode/uu_decoder.h"
#include "decode/yenc_decoder.h"
#include "platform/file.h"
#include "tasks/task.h"

namespace vexlo {

namespace {

// The resume point records at most this many bytes: a part may not end later.
constexpr int64_t kMaxFileBytes = std::numeric_limits<uint32_t>::max();
constexpr size_t kReadBackBlock = 1 << 20;
constexpr size_t kStageBytes = 64 * 1024;

[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

}  // namespace

CAttachmentWriter::LineResult CAttachmentWriter::YencError(uint32_t part,
                                                           const std::string& status) {
    const auto& articles = task_.GetArticles();
    const uint32_t article = part < articles.size() ? articles[part] : 0;
    context_.log.LogPrintf("yEnc Error In Part %u of %u [%u]: %s\r\n", part + 1, parts_, article,
                           status.c_str());
    yenc_.open = false;
    yencStaged_ = 0;
    file_.Close();
    if (!path_.empty()) RemoveFile(path_);
    context_.outputClaims.Release(task_.Key());
    Fail(status);
    return LineResult::kFailed;
}

CAttachmentWriter::LineResult CAttachmentWriter::YencBeginLine(uint32_t part,
                                                               std::string_view line) {
    if (ended_) return LineResult::kContent;  // behind a whole single-part file
    YencBegin header;
    if (!ParseYbegin(line, header))
        return YencError(
            part, Format("yEnc Error: Invalid =ybegin Line In Part %u Of %u", part + 1, parts_));
    if (!file_.IsOpen()) {
        std::string name;
        if (!CleanAttachmentName(header.name, name)) {
            SetProgress(0, 0);
            Fail("ERROR: Invalid Binary Filename");
            return LineResult::kFailed;
        }
        if (OpenOutput(name) == LineResult::kFailed) return LineResult::kFailed;
    }
    encoding_ = Encoding::kYenc;
    if (yencSize_ < 0) yencSize_ = header.size;
    yenc_ = YencBlock{};
    yenc_.open = true;
    yenc_.single = header.part == 0 || header.total == 1;
    yenc_.awaitingPart = header.part != 0;
    if (yenc_.awaitingPart) return LineResult::kContent;
    yenc_.expected = header.size;  // the block is the file, from its first byte
    if (header.size > kMaxFileBytes) {
        return YencError(
            part, Format("yEnc Error: Invalid =ybegin Line In Part %u Of %u", part + 1, parts_));
    }
    if (!file_.SeekTo(0)) {
        WriteFailure();
        return LineResult::kFailed;
    }
    return LineResult::kContent;
}

CAttachmentWriter::LineResult CAttachmentWriter::YencPartLine(uint32_t part,
                                                              std::string_view line) {
    YencPart range;
    if (!ParseYpart(line, range) || range.end > kMaxFileBytes ||
        (yencSize_ >= 0 && range.end > yencSize_)) {
        return YencError(
            part, Format("yEnc Error: Invalid =ypart Line In Part %u Of %u", part + 1, parts_));
    }
    yenc_.awaitingPart = false;
    yenc_.begin = range.begin - 1;
    yenc_.expected = range.end - range.begin + 1;
    if (!file_.SeekTo(yenc_.begin)) {
        WriteFailure();
        return LineResult::kFailed;
    }
    return LineResult::kContent;
}

CAttachmentWriter::LineResult CAttachmentWriter::YencLine(uint32_t part, std::string_view line) {
    // "=y" opens the keyword lines; no encoder escapes a "y".
    if (line.size() >= 2 && line[0] == '=' && line[1] == 'y') {
        if (IsYendLine(line)) {
            YencEnd end;
            if (!ParseYend(line, end))
                return YencError(part, Format("yEnc Error: Invalid =yend Line In Part %u Of %u",
                                              part + 1, parts_));
            return FinishYencBlock(part, &end) ? LineResult::kContent : LineResult::kFailed;
        }
        if (IsYpartLine(line) && yenc_.awaitingPart) return YencPartLine(part, line);
        if (IsYbeginLine(line) || IsYpartLine(line))
            return YencError(part, Format("yEnc Error: Part %u Of %u: %s Before =yend", part + 1,
                                          parts_, IsYbeginLine(line) ? "=ybegin" : "=ypart"));
    }
    if (yenc_.awaitingPart)
        return YencError(
            part, Format("yEnc Error: Part %u Of %u: =ypart Line Missing", part + 1, parts_));
    const size_t room = line.size() + kYencDecodeSlack;
    if (yencStage_.size() - yencStaged_ < room) {
        if (!YencFlushStage()) return LineResult::kFailed;
        if (yencStage_.size() < room || yencStage_.size() < kStageBytes)
            yencStage_.resize(std::max(room, kStageBytes));
    }
    const size_t n = DecodeYencLine(line, yencStage_.data() + yencStaged_, yenc_.escaped);
    if (yenc_.decoded + static_cast<int64_t>(n) > yenc_.expected) {
        return YencError(part,
                         Format("yEnc Error: Part %u Of %u Holds More Than Its %" PRId64 " Bytes",
                                part + 1, parts_, yenc_.expected));
    }
    yenc_.decoded += static_cast<int64_t>(n);
    yencStaged_ += n;
    return LineResult::kContent;
}

bool CAttachmentWriter::YencFlushStage() {
    if (yencStaged_ == 0) return true;
    yenc_.crc = Crc32(yenc_.crc, yencStage_.data(), yencStaged_);
    const bool written = file_.Write(yencStage_.data(), yencStaged_);
    yencStaged_ = 0;
    if (!written) WriteFailure();
    return written;
}

bool CAttachmentWriter::FinishYencBlock(uint32_t part, const YencEnd* end) {
    if (yenc_.awaitingPart) {
        YencError(part, Format("yEnc Error: Part %u Of %u: =ypart Line Missing", part + 1, parts_));
        return false;
    }
    yenc_.open = false;
    if (!YencFlushStage()) return false;
    if (end == nullptr) {
        // A part cut short by its poster or a server: taken when its bytes are
        // all there (there is no checksum to test them against).
        if (yenc_.decoded != yenc_.expected) {
            YencError(part, Format("yEnc Error: Part %u Of %u Ends Without =yend (%" PRId64
                                   " Of %" PRId64 " Bytes)",
                                   part + 1, parts_, yenc_.decoded, yenc_.expected));
            return false;
        }
        context_.log.LogPrintf("yEnc: part %u of %u has no =yend line; its %" PRId64
                               " bytes are taken unchecked\n",
                               part + 1, parts_, yenc_.decoded);
    } else {
        if (yenc_.decoded != yenc_.expected || (end->size >= 0 && end->size != yenc_.decoded)) {
            const int64_t expected = yenc_.decoded != yenc_.expected ? yenc_.expected : end->size;
            YencError(part, Format("yEnc Error: Part %u Of %u Decoded To %" PRId64
                                   " Bytes, %" PRId64 " Expected",
                                   part + 1, parts_, yenc_.decoded, expected));
            return false;
        }
        // A single-part block's checksum is crc32 (some posters write pcrc32).
        const bool useCrc32 = yenc_.single && end->hasCrc32;
        const bool hasCheck = useCrc32 || end->hasPcrc32;
        const uint32_t check = useCrc32 ? end->crc32 : end->pcrc32;
        if (hasCheck && check != yenc_.crc) {
            YencError(part,
                      Format("yEnc CRC Error In Part %u Of %u: %s=%08x, Decoded Data %08x",
                             part + 1, parts_, useCrc32 ? "crc32" : "pcrc32", check, yenc_.crc));
            return false;
        }
        if (!yenc_.single && end->hasCrc32) {
            yencHasFileCrc_ = true;
            yencFileCrc_ = end->crc32;
        }
    }
    yencSpans_.push_back({yenc_.begin, yenc_.decoded, yenc_.crc});
    // A single-part block is the whole attachment, like a uuencoded one at "end".
    return !yenc_.single || EndLine() != LineResult::kFailed;
}

CAttachmentWriter::PartResult CAttachmentWriter::CheckYencFile(uint32_t part) {
    if (!yencHasFileCrc_) {
        // The checksum is known only while the call that read it runs: a
        // part fetched before a resume (this call opened an existing file)
        // took it along.
        if (mode_ == COutputFile::OpenMode::OpenExisting)
            context_.log.LogPrintf(
                "yEnc: crc32 of %s not checked: no part fetched since the resume carried it\n",
                path_.c_str());
        return PartResult::kNext;
    }
    const int64_t length = file_.BytesWritten();
    if (length != yencSize_) {
        context_.log.LogPrintf("yEnc: crc32 of %s not checked: the file holds %" PRId64
                               " of its %" PRId64 " bytes\n",
                               path_.c_str(), length, yencSize_);
        return PartResult::kNext;
    }
    // From the parts of this call when they tile the file, else read back (a
    // resumed download, a part posted twice).
    std::vector<YencSpan> spans = yencSpans_;
    std::sort(spans.begin(), spans.end(),
              [](const YencSpan& a, const YencSpan& b) { return a.begin < b.begin; });
    uint32_t crc = 0;
    int64_t covered = 0;
    for (const YencSpan& span : spans) {
        if (span.begin != covered) break;
        crc = Crc32Combine(crc, span.crc, static_cast<uint64_t>(span.length));
        covered += span.length;
    }
    if (covered != length) {
        CFile file;
        std::vector<unsigned char> block(kReadBackBlock);
        if (!file_.Flush() || !file.Open(path_, CFile::Mode::Read)) {
            WriteFailure();
            return PartResult::kWriteFailed;
        }
        crc = 0;
        for (int64_t got; (got = file.Read(block.data(), block.size())) != 0;) {
            if (got < 0) {
                WriteFailure();
                return PartResult::kWriteFailed;
            }
            crc = Crc32(crc, block.data(), static_cast<size_t>(got));
        }
    }
    if (crc != yencFileCrc_) {
        YencError(part, Format("yEnc CRC Error In File: crc32=%08x, Decoded Data %08x",
                               yencFileCrc_, crc));
        return PartResult::kFailed;
    }
    return PartResult::kNext;
}

}  // namespace vexlo
