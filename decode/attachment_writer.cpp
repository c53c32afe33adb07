#include "decode/attachment_writer.h"

#include <cerrno>
#include <limits>

#include "core/app_context.h"
#include "decode/file_utils.h"
#include "decode/uu_decoder.h"
#include "decode/yenc_decoder.h"
#include "platform/file.h"
#include "tasks/task.h"

namespace vexlo {

CAttachmentWriter::CAttachmentWriter(CAppContext& context, CTask& task)
    : context_(context),
      task_(task),
      saveDir_(task.GetSaveDir()),
      subject_(task.GetSubject()),
      renameExisting_(context.settings.TestOptions(OPT_RENAME_EXISTING) != 0),
      parts_(static_cast<uint32_t>(task.GetArticles().size())),
      decodeYenc_(context.settings.TestOptions(OPT_DECODE_YENC) != 0) {}

CAttachmentWriter::~CAttachmentWriter() {
    CloseKeep();
}

void CAttachmentWriter::CloseKeep() {
    file_.Close();
}

void CAttachmentWriter::Fail(std::string_view status) {
    task_.SetStatusText(status);
    task_.SetResult(kResultError);
    task_.SetInProgress(0);
}

bool CAttachmentWriter::SetProgress(uint32_t parts, int64_t bytes) {
    return task_.SetProgress(context_.locks, static_cast<int>(parts),
                             static_cast<uint32_t>(bytes)) != 0;
}

void CAttachmentWriter::GiveUpFile() {
    SetProgress(0, 0);
    task_.SetOutputFile("");
    context_.outputClaims.Release(task_.Key());
}

void CAttachmentWriter::WriteFailure() {
    if (file_.Error() == ENOSPC || file_.Error() == EDQUOT) return DiskFull();
    file_.Close();
    // The resume point goes first: a queue saved in between must not point
    // into a file that is gone.
    GiveUpFile();
    if (!path_.empty()) RemoveFile(path_);
    task_.SetStatusText("Error Writing To Output File!");
}

void CAttachmentWriter::DiskFull() {
    file_.Close();  // what was gathered is lost; the resume point says what counts
    if (task_.GetPartsFetched() > 0) {
        // Cut back to the resume point, giving the part's bytes back to the disk.
        CFile file;
        if (file.Open(path_, CFile::Mode::ReadWriteExisting))
            file.Truncate(task_.GetBytesWritten());
    } else {
        GiveUpFile();
        RemoveFile(path_);
    }
    task_.SetStatusText("ERROR: Disk Full Writing To Output File");
    // Not retried: the same disk would refuse the same bytes again.
    task_.SetOutOfSpace(true);
    task_.SetInProgress(0);
}

CAttachmentWriter::ResumeResult CAttachmentWriter::Resume() {
    mode_ = COutputFile::OpenMode::OpenExisting;
    const std::string path = task_.GetOutputFile();
    if (path.empty() || !file_.Open(path, COutputFile::OpenMode::OpenExisting)) {
        if (FileExists(path)) {
            Fail("ERROR: Resuming Binary Download Failed: Can't Open Output File!");
            return ResumeResult::kFailed;
        }
        GiveUpFile();
        task_.SetStatusText("Resuming Failed: Partial File Missing.  Restarting.");
        mode_ = COutputFile::OpenMode::Create;
        return ResumeResult::kRestarted;
    }
    path_ = path;
    context_.outputClaims.TryClaim(task_.Key(), path);
    const int64_t length = file_.BytesWritten();
    const int64_t recorded = task_.GetBytesWritten();
    if (length < recorded) {
        file_.Close();
        GiveUpFile();
        task_.SetStatusText("Resuming File Failed: Binary Size Less Than Expected.  Restarting.");
        mode_ = COutputFile::OpenMode::Create;
        return ResumeResult::kRestarted;
    }
    if (length > recorded && !file_.Truncate(recorded)) {
        WriteFailure();
        return ResumeResult::kFailed;
    }
    return ResumeResult::kResumed;
}

CAttachmentWriter::LineResult CAttachmentWriter::Feed(uint32_t part, std::string_view line) {
    if (line.size() == 1 && line[0] == '.') return LineResult::kEndOfBody;
    if (!line.empty() && line[0] == '.') line.remove_prefix(1);  // dot-stuffing
    // Every line inside a yEnc block is the block's, "`" and "end" included.
    if (yenc_.open) return YencLine(part, line);
    if (line.empty() || line == "`") return LineResult::kSkipped;
    if (encoding_ == Encoding::kYenc)  // between blocks only the next =ybegin counts
        return IsYbeginLine(line) ? YencBeginLine(part, line) : LineResult::kContent;
    if (line == "end") return EndLine();
    if (ended_) return LineResult::kContent;  // behind the attachment: never written
    if (decodeYenc_ && encoding_ == Encoding::kUnknown && IsYbeginLine(line))
        return YencBeginLine(part, line);
    if (file_.IsOpen()) return WriteDataLine(part, line);
    if (!IsBeginLine(line)) return LineResult::kContent;
    return OpenAtBeginLine(line);
}

CAttachmentWriter::LineResult CAttachmentWriter::EndLine() {
    if (!file_.IsOpen()) return LineResult::kSkipped;
    context_.stats.AddFileReceived(1);
    endedBytes_ = file_.BytesWritten();
    if (!file_.Close()) {
        WriteFailure();
        return LineResult::kFailed;
    }
    ended_ = true;
    return LineResult::kSkipped;
}

CAttachmentWriter::LineResult CAttachmentWriter::WriteDataLine(uint32_t part,
                                                               std::string_view line) {
    // Decoded straight into the output buffer when it has room, else through
    // a buffer of its own and Write.
    unsigned char bytes[kUuDecodeBufferSize];
    unsigned char* room = file_.Room(kUuDecodeBufferSize);
    int count = 0;
    encoding_ = Encoding::kUu;  // a resumed file shows its encoding here
    if (!DecodeUuLine(line, room != nullptr ? room : bytes, kUuLineLimit, count)) {
        DecodeError(part, line);
        return LineResult::kFailed;
    }
    if (room != nullptr) {
        file_.Commit(static_cast<size_t>(count));
    } else if (count > 0 && !file_.Write(bytes, static_cast<size_t>(count))) {
        WriteFailure();
        return LineResult::kFailed;
    }
    return LineResult::kContent;
}

void CAttachmentWriter::DecodeError(uint32_t part, std::string_view line) {
    const auto& articles = task_.GetArticles();
    const uint32_t article = part < articles.size() ? articles[part] : 0;
    const int length = static_cast<int>(line.size());
    context_.log.LogPrintf("Error Decoding Line: Part %d of %d [%d], Line Len = %d\r\n",
                           static_cast<int>(part), static_cast<int>(parts_),
                           static_cast<int>(article), length);
    context_.log.LogPrintf("Line Text = %.*s\r\n", length, line.data());
    file_.Close();
    RemoveFile(path_);
    context_.outputClaims.Release(task_.Key());
    std::string status = "Error Decoding Line, Len=" + std::to_string(length) + ": ";
    status.append(line.substr(0, CTask::kTextField));
    Fail(status);
}

CAttachmentWriter::LineResult CAttachmentWriter::OpenAtBeginLine(std::string_view line) {
    std::string name;
    if (!ParseBeginFileName(line, name)) {
        SetProgress(0, 0);
        Fail("ERROR: Invalid Binary Filename");
        return LineResult::kFailed;
    }
    const LineResult result = OpenOutput(name);
    if (result != LineResult::kFailed) encoding_ = Encoding::kUu;
    return result;
}

CAttachmentWriter::LineResult CAttachmentWriter::OpenOutput(const std::string& name) {
    // A file that another unfinished task will resume is never opened here:
    // this task then names its file as if renaming were on. The claim is taken
    // before the open, so two channels cannot both pick one free name.
    std::string path;
    const uint32_t key = task_.Key();
    auto claimedByOther = [&](const std::string& p) {
        return context_.outputClaims.ClaimedByOther(p, key);
    };
    auto taken = [&](const std::string& p) { return FileExists(p) || claimedByOther(p); };
    bool claimed = false;
    for (int attempt = 0; attempt < 3 && !claimed; ++attempt) {
        path = saveDir_ + name;
        const bool rename = renameExisting_ || claimedByOther(path);
        if (path.size() <= kMaxPathLength && rename && taken(path) &&
            !MakeUniqueFileName(path, taken)) {
            SetProgress(0, 0);
            Fail("ERROR: Unable To Create Unique Filename");
            return LineResult::kFailed;
        }
        if (path.size() > kMaxPathLength) {
            SetProgress(0, 0);
            Fail("ERROR: Output File Path Too Long");
            return LineResult::kFailed;
        }
        claimed = context_.outputClaims.TryClaim(key, path);
    }
    if (!claimed || !file_.Open(path, mode_)) {
        if (claimed) context_.outputClaims.Release(key);
        Fail("ERROR: Unable To Open Output File");
        return LineResult::kFailed;
    }
    path_ = path;
    task_.SetOutputFile(path);
    SetProgress(0, 0);
    return LineResult::kContent;
}

CAttachmentWriter::PartResult CAttachmentWriter::FinishPart(uint32_t part) {
    if (yenc_.open && !FinishYencBlock(part, nullptr)) return PartResult::kFailed;
    if (part == 0 && !file_.IsOpen() && !ended_ && task_.GetBytesWritten() == 0) {
        context_.log.LogPrintf("No Binary Attachment Found: %s\n", subject_.c_str());
        Fail("No Binary Attachment Found");
        return PartResult::kFailed;
    }
    context_.stats.AddBodyReceived(1);

    int64_t bytes = task_.GetBytesWritten();
    uint32_t partsDone = part + 1;
    if (ended_) {
        // The attachment is whole; what later parts hold is not part of it.
        bytes = endedBytes_;
        partsDone = parts_;
    } else if (file_.IsOpen()) {
        if (!file_.Flush()) {
            WriteFailure();
            return PartResult::kWriteFailed;
        }
        bytes = file_.BytesWritten();
        if (encoding_ == Encoding::kYenc && partsDone >= parts_) {
            const PartResult checked = CheckYencFile(part);
            if (checked != PartResult::kNext) return checked;
            context_.stats.AddFileReceived(1);  // a block's =yend is no file's end
        }
    }
    if (bytes > std::numeric_limits<uint32_t>::max()) {
        // The resume point cannot express it; the file is kept as it is.
        file_.Close();
        Fail("ERROR: Output File Larger Than 4 GB");
        return PartResult::kFailed;
    }
    SetProgress(partsDone, bytes);
    if (partsDone < parts_) return PartResult::kNext;

    if (!file_.Close()) {
        WriteFailure();
        return PartResult::kWriteFailed;
    }
    context_.outputClaims.Release(task_.Key());
    const std::string output = task_.GetOutputFile();
    context_.log.LogPrintf(" DONE: %s\n", subject_.c_str());
    context_.log.LogPrintf("   AS: %s\n", output.c_str());
    task_.SetStatusText("Completed Successfully");
    task_.SetResult(kResultCompleted);
    return PartResult::kCompleted;
}

bool CAttachmentWriter::CleanUp(bool keepData) {
    if (!file_.IsOpen()) return true;
    if (keepData) {
        if (!file_.Truncate(task_.GetBytesWritten()) || !file_.Close()) {
            WriteFailure();
            return false;
        }
        return true;
    }
    file_.Close();
    GiveUpFile();
    RemoveFile(path_);
    return true;
}

bool CAttachmentWriter::CleanUpAfterBreak() {
    return CleanUp(task_.GetPartsFetched() > 0);
}

bool CAttachmentWriter::CleanUpAfterDataAbort() {
    return CleanUp(task_.GetBytesWritten() > 0);
}

}  // namespace vexlo
