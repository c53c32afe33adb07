// CAttachmentWriter: the file side of one download call — it reopens a
// half-written output file, turns the body lines of each part into decoded
// bytes in that file, and records the task's resume point after every part.
//
// The retrieval (decode/retrieve_binary.h) owns the connection; it hands every
// body line to Feed as it arrives and calls FinishPart at each part's "." line.
// Every failure the writer reports is already written into the task (status,
// result, inProgress, resume point, output file name) and the file is dealt
// with; the caller only closes the connection and returns.
//
// Rules it keeps:
//  - While partsFetched > 0, the first bytesWritten bytes of the task's
//    outputFile are complete decoded data of the parts fetched. The file is
//    flushed before a resume point is stored, and the resume point advances only
//    at the end of a part, so a killed process leaves a file that the next call
//    can cut back and continue.
//  - One task yields one file: the first attachment. Once its "end" line has
//    closed the file, the rest of that part is read but ignored (a second
//    "begin" line opens nothing and the file is never written again), and the
//    task completes at that part's end; later parts are not fetched.
//  - The opened file is claimed for the task (COutputClaims) until the task
//    completes or gives the file up; a path another unfinished task claims is
//    never opened: the name is made unique as if renaming were on.
//  - A full disk ("no space" or "quota exceeded") is no reason to start
//    again: the resume point stays, the task ends its run with
//    "ERROR: Disk Full Writing To Output File" and is marked out of space;
//    other write failures restart the binary from part 1.
//  - A begin line whose output path (save-to directory and cleaned name, after
//    a rename) is longer than 259 characters fails the task with
//    "ERROR: Output File Path Too Long" before anything is opened.
//  - With OPT_DECODE_YENC, a "=ybegin" line where a begin line could open the
//    file starts a yEnc block instead (decode/yenc_decoder.h): its name= names
//    the file as a begin line's name does, each part's bytes go to the offset
//    its =ypart gives (parts may come in any order), and every part's size and
//    pcrc32, and the whole file's crc32 once the file holds all its bytes, are
//    checked; a mismatch fails the task like an undecodable line, with a
//    status that says what did not match. The resume point is the file's
//    length after each whole part, as for uuencoded parts.
//
// Owned by the channel thread that runs the download; one object per call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/output_file.h"

namespace vexlo {

class CAppContext;
class CTask;
struct YencEnd;

class CAttachmentWriter {
  public:
    // Longest output path the task record can hold.
    static constexpr size_t kMaxPathLength = 259;

    // Reads the task's save-to directory, its subject and the rename option
    // now; the open mode is "create" until Resume says otherwise.
    CAttachmentWriter(CAppContext& context, CTask& task);
    // Closes a file that is still open; it stays on disk as it is.
    ~CAttachmentWriter();
    CAttachmentWriter(const CAttachmentWriter&) = delete;
    CAttachmentWriter& operator=(const CAttachmentWriter&) = delete;

    enum class ResumeResult {
        kResumed,    // the file is open at bytesWritten; fetching goes on at partsFetched
        kRestarted,  // the file was missing or short: resume point (0, 0), status says so
        kFailed,     // the task failed (status set); the call ends
    };
    // For a task with partsFetched > 0: reopens outputFile and cuts it back to
    // bytesWritten.
    ResumeResult Resume();

    enum class LineResult {
        kEndOfBody,  // the "." line: call FinishPart
        kSkipped,    // an empty line, a lone "`" or the "end" line
        kContent,    // a data line, a begin line, or other text (an abort checkpoint)
        kFailed,     // the task failed; the connection must be closed
    };
    // One line of the body of part `part` (zero-based) as the server sent it:
    // CR LF removed, still dot-stuffed.
    LineResult Feed(uint32_t part, std::string_view line);

    enum class PartResult {
        kNext,         // resume point stored; go on with the next part
        kCompleted,    // the task is completed (result 2)
        kFailed,       // permanent failure: the first part held no begin line, or
                       // the file outgrew what the resume point can record
        kWriteFailed,  // the file could not be written: restart from part 1
    };
    // The "." line of part `part` arrived.
    PartResult FinishPart(uint32_t part);

    // The partial-file clean-ups when a part breaks off (read failure or abort
    // as a line arrives: A; abort after a data or begin line: B). With data of
    // earlier parts on record the file is cut back to bytesWritten and kept;
    // otherwise it is deleted and the resume point reset. False when a file
    // operation failed (then handled as a write failure).
    bool CleanUpAfterBreak();      // A: tests partsFetched > 0
    bool CleanUpAfterDataAbort();  // B: tests bytesWritten > 0

    // Closes the output file if open and keeps it as it is (the resume point
    // decides what of it counts).
    void CloseKeep();

    bool IsOpen() const { return file_.IsOpen(); }

  private:
    enum class Encoding { kUnknown, kUu, kYenc };  // of the open file (unknown after Resume)

    LineResult OpenAtBeginLine(std::string_view line);
    // Finds the path for a cleaned name, claims it and opens it.
    LineResult OpenOutput(const std::string& name);
    LineResult WriteDataLine(uint32_t part, std::string_view line);
    LineResult EndLine();
    bool CleanUp(bool keepData);
    // Permanent failure: result 3, inProgress 0, the status.
    void Fail(std::string_view status);
    // A file operation failed: the file is closed and deleted, the resume point
    // reset, and the run loop starts the binary again.
    void WriteFailure();
    // Resume point (0, 0), no output file, the file's claim released.
    void GiveUpFile();
    // A write failed for want of space ("no space", "quota exceeded"): the
    // resume point is kept (the file cut back to it), the task is not retried
    // and is marked out of space, so the queue stops (CMainController).
    void DiskFull();
    void DecodeError(uint32_t part, std::string_view line);
    bool SetProgress(uint32_t parts, int64_t bytes);

    // The yEnc side (decode/attachment_writer_yenc.cpp).
    LineResult YencBeginLine(uint32_t part, std::string_view line);
    LineResult YencLine(uint32_t part, std::string_view line);
    LineResult YencPartLine(uint32_t part, std::string_view line);
    // Ends the open block at its =yend (or, with end null, at the part's "."
    // line without one) and checks it. False when the task failed.
    bool FinishYencBlock(uint32_t part, const YencEnd* end);
    // At the last part: the whole file's crc32, when one was given and the
    // file holds all its bytes. kNext when it matches or is not checked.
    PartResult CheckYencFile(uint32_t part);
    // A yEnc block that does not check: handled as an undecodable line.
    LineResult YencError(uint32_t part, const std::string& status);
    // Adds the gathered decoded bytes to the block's checksum and the file.
    bool YencFlushStage();

    CAppContext& context_;
    CTask& task_;
    const std::string saveDir_;
    const std::string subject_;
    const bool renameExisting_;
    const uint32_t parts_;

    COutputFile file_;
    COutputFile::OpenMode mode_ = COutputFile::OpenMode::Create;
    std::string path_;        // the file that is or was last open
    bool ended_ = false;      // the attachment's "end" line closed the file
    int64_t endedBytes_ = 0;  // its length then

    const bool decodeYenc_;
    Encoding encoding_ = Encoding::kUnknown;

    // The yEnc block being read, from its =ybegin to its =yend.
    struct YencBlock {
        bool open = false;
        bool awaitingPart = false;  // =ybegin had part=: its =ypart comes next
        bool single = false;        // no part= (or total=1): the block is the whole file
        bool escaped = false;       // the last line ended with a lone "="
        int64_t begin = 0;          // offset of its first byte in the file
        int64_t expected = 0;       // bytes it announces
        int64_t decoded = 0;
        uint32_t crc = 0;
    };
    // A block decoded in this call: where its bytes lie and their checksum.
    struct YencSpan {
        int64_t begin, length;
        uint32_t crc;
    };
    YencBlock yenc_;
    int64_t yencSize_ = -1;        // the whole file's, from the first =ybegin of this call
    bool yencHasFileCrc_ = false;  // a part of this call carried the file's crc32
    uint32_t yencFileCrc_ = 0;
    std::vector<YencSpan> yencSpans_;
    // Decoded bytes gather here and go to the checksum and the file in large
    // pieces: the checksum runs far faster over long stretches.
    std::vector<unsigned char> yencStage_;
    size_t yencStaged_ = 0;
};

}  // namespace vexlo
