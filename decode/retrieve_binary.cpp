#include "decode/retrieve_binary.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/app_context.h"
#include "core/number_readers.h"
#include "decode/attachment_writer.h"
#include "decode/file_utils.h"
#include "groups/group_command.h"
#include "nntp/nntp_connection.h"
#include "nntp/rate_pacer.h"
#include "tasks/task.h"
#include "tasks/task_thread.h"

namespace vexlo {

namespace {

constexpr int kBodyFollows = 222;
constexpr int kFirstFailureCode = 400;
// BODY commands a channel keeps outstanding: the next part's command is on its
// way while the current body arrives, so the server streams without waiting a
// round trip between parts. Two is enough for that; more would only deepen
// what a failed part leaves to drain.
constexpr uint32_t kPipelineDepth = 2;
constexpr uint32_t kReportEveryLines = 50;
// A body is read no further than this many lines over four times the part's
// line count from the overview: a server that sends far more (a body that
// never ends) would otherwise fill the disk with one output file.
constexpr uint64_t kBodyLineAllowance = 100000;
constexpr const char* kBodyTooLong = "ERROR: Server Sent Far More Body Lines Than Expected [BODY]";

// Received body bytes, handed to the statistics every report interval instead
// of for every line: one lock per 50 lines keeps eight channels from queueing
// on the statistics, and the per-second rings still see every byte in time.
class CReceivedBytes {
  public:
    explicit CReceivedBytes(CTransferStats& stats) : stats_(stats) {}
    ~CReceivedBytes() { Flush(); }
    CReceivedBytes(const CReceivedBytes&) = delete;
    CReceivedBytes& operator=(const CReceivedBytes&) = delete;

    void Add(uint32_t n) { pending_ += n; }
    void Flush() {
        if (pending_ == 0) return;
        stats_.AddBytesReceived(pending_);
        pending_ = 0;
    }

  private:
    CTransferStats& stats_;
    uint32_t pending_ = 0;
};

// One call of RetrieveBinary.
class CRetrieval {
  public:
    CRetrieval(CAppContext& context, CNntpConnection& connection,
               const std::atomic<uint32_t>& abort, CTask& task)
        : context_(context),
          connection_(connection),
          abort_(abort),
          task_(task),
          parts_(static_cast<uint32_t>(task.GetArticles().size())),
          writer_(context, task),
          pacer_(CRatePacer::LimitFromSettings(context.settings)) {}

    void Run();

  private:
    enum class PartOutcome { kNext, kStop };

    // Sends the BODY commands of the parts before `end` not sent yet, as one
    // write. False (connection closed, status set) when the send failed.
    bool SendBodies(uint32_t end);
    // After the task stopped with its connection open: reads the replies of
    // the BODY commands still outstanding to their end, so the next command
    // on the connection is not answered by them. Closes the connection when
    // that fails.
    void DrainOutstanding();
    // Reads a multi-line body to its "." line, throwing it away; false when
    // the read failed, the line limit was passed or the task was aborted.
    bool SkipBody(uint32_t k);
    uint64_t LineLimit(uint32_t k) const;

    bool Aborted() const { return abort_.load() != 0; }
    void Report(uint32_t part, uint32_t lines);
    // Fetches and decodes part k (zero-based).
    PartOutcome FetchPart(uint32_t k);
    PartOutcome ReadBody(uint32_t k);
    // Permanent failure: result 3, inProgress 0, the status.
    void Fail(std::string_view status);

    CAppContext& context_;
    CNntpConnection& connection_;
    const std::atomic<uint32_t>& abort_;
    CTask& task_;
    const uint32_t parts_;
    CAttachmentWriter writer_;
    CRatePacer pacer_;  // the channel's speed limit
    // Parts [nextReply_, nextSend_) have their BODY sent and the reply not
    // yet read to its end.
    uint32_t nextSend_ = 0;
    uint32_t nextReply_ = 0;
};

void CRetrieval::Fail(std::string_view status) {
    task_.SetStatusText(status);
    task_.SetResult(kResultError);
    task_.SetInProgress(0);
}

void CRetrieval::Report(uint32_t part, uint32_t lines) {
    const auto& expected = task_.GetLines();
    ProgressReport report;
    report.task = task_.Key();
    report.state = kProgressTransferring;
    report.kind = kProgressKindDownload;
    report.part = part + 1;
    report.parts = parts_;
    report.lines = lines;
    report.expectedLines = part < expected.size() ? expected[part] : 0;
    context_.progress.PublishProgress(report);
}

void CRetrieval::Run() {
    task_.SetOutOfSpace(false);  // a full disk of an earlier run is told already
    if (!CreateDirectoryPath(task_.GetSaveDir())) {
        Fail("Error Creating Or Accessing Save-To Directory!");
        return;
    }

    task_.SetStatusText("Selecting GROUP");
    if (!SendGroup(connection_, task_, context_.stats)) return;
    // A fresh task's first BODY commands go right behind the GROUP, so its
    // first part streams in without a round trip of its own. A resumed task
    // waits for the GROUP reply: its resume may restart it from part 1.
    const bool fresh = task_.GetPartsFetched() == 0 && parts_ > 0;
    if (fresh && !SendBodies(kPipelineDepth)) return;
    int32_t first = 0;
    int32_t last = 0;
    if (!ReadGroupReply(connection_, task_, context_.stats, first, last)) {
        // Sent behind a GROUP that did not select the group, the BODY
        // commands ask for articles of whichever group was selected before.
        DrainOutstanding();
        return;
    }

    if (Aborted()) {
        connection_.Quit();
        return;
    }
    if (task_.GetPartsFetched() >= parts_) {
        Fail("All Parts Already Marked As Fetched!");
        return;
    }
    if (task_.GetPartsFetched() > 0 &&
        writer_.Resume() == CAttachmentWriter::ResumeResult::kFailed) {
        return;
    }

    if (!fresh) nextSend_ = nextReply_ = task_.GetPartsFetched();  // else sent behind the GROUP
    while (task_.GetPartsFetched() < parts_) {
        if (FetchPart(task_.GetPartsFetched()) == PartOutcome::kStop) break;
    }
    DrainOutstanding();
}

bool CRetrieval::SendBodies(uint32_t end) {
    end = std::min(end, parts_);
    if (nextSend_ >= end) return true;
    std::string commands;
    for (; nextSend_ < end; ++nextSend_)
        commands += "BODY " + std::to_string(task_.GetArticles()[nextSend_]) + "\r\n";
    if (!connection_.Send(commands)) {
        writer_.CloseKeep();
        connection_.Quit();
        task_.SetStatusText("Socket Send() Error [BODY]");
        return false;
    }
    context_.stats.AddBytesSent(static_cast<uint32_t>(commands.size()));
    return true;
}

uint64_t CRetrieval::LineLimit(uint32_t k) const {
    const auto& expected = task_.GetLines();
    return (k < expected.size() ? uint64_t{expected[k]} * 4 : 0) + kBodyLineAllowance;
}

void CRetrieval::DrainOutstanding() {
    for (; nextReply_ < nextSend_; ++nextReply_) {
        if (connection_.GetSocket() == CNntpConnection::kInvalidSocket) return;
        const int length = connection_.ReadLine();
        if (length < 0) return;  // closed by the read
        context_.stats.AddBytesReceived(static_cast<uint32_t>(length) + 2);
        const int code = ReplyCode(connection_.GetLine());
        // Anything but a one-line reply or a whole body leaves the stream in
        // an unknown place: the connection is dropped instead.
        if (code < 0 || (code == kBodyFollows && !SkipBody(nextReply_))) {
            connection_.Quit();
            return;
        }
    }
}

bool CRetrieval::SkipBody(uint32_t k) {
    CReceivedBytes received(context_.stats);
    const uint64_t lineLimit = LineLimit(k);
    for (uint64_t lines = 0; lines <= lineLimit && !Aborted(); ++lines) {
        const int length = connection_.ReadLine();
        if (length < 0) return false;
        received.Add(static_cast<uint32_t>(length) + 2);
        if (connection_.GetLine() == ".") return true;
    }
    return false;
}

CRetrieval::PartOutcome CRetrieval::FetchPart(uint32_t k) {
    char text[64];
    std::snprintf(text, sizeof(text), "Getting Part (%u/%u)", k + 1, parts_);
    task_.SetStatusText(text);

    Report(k, 0);
    if (!SendBodies(k + kPipelineDepth)) return PartOutcome::kStop;
    // The command goes into the debug log beside its reply.
    context_.log.LogPrintf("BODY %u\r\n", task_.GetArticles()[k]);

    const int length = connection_.ReadLine();
    if (length <= 0) {
        writer_.CloseKeep();
        connection_.Quit();
        task_.SetStatusText("Socket Read() Error [BODY]");
        return PartOutcome::kStop;
    }
    context_.stats.AddBytesReceived(static_cast<uint32_t>(length) + 2);
    const std::string reply(connection_.GetLine());
    context_.log.LogPrintf("%s\r\n", reply.c_str());

    const int code = ReplyCode(reply);
    if (code != kBodyFollows) ++nextReply_;  // a one-line reply, read whole
    if (code < 0) {
        writer_.CloseKeep();
        connection_.Quit();
        task_.SetStatusText("Unrecognized Server Response [BODY]");
        return PartOutcome::kStop;
    }
    if (code >= kFirstFailureCode) {
        // The article is gone or refused; asking again will not change that.
        writer_.CloseKeep();
        Fail(reply);
        return PartOutcome::kStop;
    }
    if (code != kBodyFollows) {
        writer_.CloseKeep();
        connection_.Quit();
        task_.SetStatusText(reply);
        return PartOutcome::kStop;
    }
    return ReadBody(k);
}

CRetrieval::PartOutcome CRetrieval::ReadBody(uint32_t k) {
    CReceivedBytes received(context_.stats);
    const uint64_t lineLimit = LineLimit(k);
    uint32_t lines = 0;
    for (;;) {
        const int length = connection_.ReadLine();
        if (length < 0) {
            connection_.Quit();
            task_.SetStatusText("Socket Read() Error [BODY PART]");
            writer_.CleanUpAfterBreak();
            return PartOutcome::kStop;
        }
        if (Aborted()) {
            connection_.Quit();
            task_.SetStatusText("Aborted");
            writer_.CleanUpAfterBreak();
            return PartOutcome::kStop;
        }
        received.Add(static_cast<uint32_t>(length) + 2);
        if (pacer_.Paces())
            pacer_.Consumed(static_cast<uint32_t>(length) + 2, [this] { return Aborted(); });
        if (++lines > lineLimit) {
            // The parts before stay on record; this one is dropped.
            connection_.Quit();
            writer_.CleanUpAfterBreak();
            Fail(kBodyTooLong);
            return PartOutcome::kStop;
        }
        if (lines % kReportEveryLines == 0) {
            Report(k, lines);
            received.Flush();
        }

        switch (writer_.Feed(k, connection_.GetLine())) {
            case CAttachmentWriter::LineResult::kEndOfBody:
                break;
            case CAttachmentWriter::LineResult::kSkipped:
                continue;
            case CAttachmentWriter::LineResult::kFailed:
                connection_.Quit();
                return PartOutcome::kStop;
            case CAttachmentWriter::LineResult::kContent:
                if (Aborted()) {
                    writer_.CleanUpAfterDataAbort();
                    context_.log.LogPrintf("ABORTED: %s\n", task_.GetSubject().c_str());
                    task_.SetStatusText("Aborted");
                    connection_.Quit();
                    return PartOutcome::kStop;
                }
                continue;
        }
        break;  // the "." line
    }
    ++nextReply_;
    received.Flush();

    switch (writer_.FinishPart(k)) {
        case CAttachmentWriter::PartResult::kNext:
            return PartOutcome::kNext;
        case CAttachmentWriter::PartResult::kWriteFailed:
            connection_.Quit();
            return PartOutcome::kStop;
        case CAttachmentWriter::PartResult::kCompleted:
        case CAttachmentWriter::PartResult::kFailed:
            return PartOutcome::kStop;
    }
    return PartOutcome::kStop;
}

}  // namespace

void RetrieveBinary(CAppContext& context, CNntpConnection& connection,
                    const std::atomic<uint32_t>& abort, CTask& task) {
    CRetrieval(context, connection, abort, task).Run();
}

void RetrieveBinary(CTaskThread& channel, CTask& task) {
    RetrieveBinary(channel.Context(), channel.Connection(), channel.AbortFlag(), task);
}

}  // namespace vexlo
