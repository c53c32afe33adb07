#include "groups/scan_group.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/number_readers.h"
#include "groups/binary_match.h"
#include "groups/group_command.h"
#include "groups/group_files.h"
#include "groups/header_record.h"
#include "platform/record_file.h"
#include "groups/scan_commit.h"
#include "groups/scan_finish.h"
#include "groups/scan_helpers.h"
#include "nntp/nntp_connection.h"
#include "platform/file.h"
#include "tasks/task.h"
#include "tasks/task_thread.h"

namespace vexlo {

namespace {

constexpr uint32_t kProgressEveryLines = 50;
// Longest overview line kept when a line arrives in pieces; a header with a
// longer subject (or poster) is dropped like a damaged line.
constexpr size_t kMaxJoinedLine = 1 << 20;
constexpr const char* kOverviewTooLong =
    "ERROR: Server Sent More Overview Lines Than Articles [XOVER]";

bool PutU32(CFile& file, uint32_t v) {
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return file.Write(b, 4);
}

uint32_t FieldNumber(std::string_view field) {
    return static_cast<uint32_t>(ReadLenientInt(field));
}

}  // namespace

uint32_t ScanRangeStart(uint32_t taskType, bool haveData, uint32_t oldLast, int32_t first) {
    int64_t start = taskType == kTaskScanNew && haveData ? static_cast<int64_t>(oldLast) - 100
                                                         : static_cast<int64_t>(first);
    return start < 1 ? 1u : static_cast<uint32_t>(start);
}

namespace {

// What one scan asks the server for.
struct OverviewRequest {
    std::string xovPath;
    uint32_t rangeStart = 0;  // the range the .XOV stands for
    uint32_t from = 0;        // the first article asked for (above rangeStart: continued)
    uint32_t rangeEnd = 0;
    bool haveData = false;
    const std::vector<uint32_t>* messageNumbers = nullptr;  // known articles (haveData)
    const std::vector<uint32_t>* binaryNumbers = nullptr;
};

// Sends XOVER and stores the new headers in the .XOV as the lines arrive.
// False when the scan ends here: the task says why (or the abort flag does).
bool ReceiveOverview(CTaskThread& channel, CTask& task, const OverviewRequest& request,
                     ProgressReport& report, uint64_t& lineCount) {
    CAppContext& context = channel.Context();
    CNntpConnection& connection = channel.Connection();
    CTransferStats& stats = context.stats;
    const std::string& xovPath = request.xovPath;
    const uint32_t rangeStart = request.rangeStart, from = request.from,
                   rangeEnd = request.rangeEnd;
    const bool haveData = request.haveData;
    const std::vector<uint32_t>& messageNumbers = *request.messageNumbers;
    const std::vector<uint32_t>& binaryNumbers = *request.binaryNumbers;

    char command[64];
    int length = std::snprintf(command, sizeof command, "XOVER %u-%u\r\n", from, rangeEnd);
    if (!connection.Send(command)) {
        connection.Quit();
        task.SetStatusText("Socket Send() Error [XOVER]");
        return false;
    }
    stats.AddBytesSent(static_cast<uint32_t>(length));
    report.state = kProgressTransferring;
    report.expectedLines =
        static_cast<uint32_t>(std::max<int64_t>(0, int64_t{rangeEnd} - int64_t{from} + 1));
    context.progress.PublishProgress(report);

    int n = connection.ReadLine();
    if (n < 1) {
        if (connection.GetSocket() != CNntpConnection::kInvalidSocket) connection.Quit();
        task.SetStatusText("Socket Read() Error [XOVER]");
        return false;
    }
    stats.AddBytesReceived(static_cast<uint32_t>(n));
    int code = ReplyCode(connection.GetLine());
    if (code < 0) {
        connection.Quit();
        task.SetStatusText("Unrecognized Server Response [XOVER]");
        return false;
    }
    if (code != 224) {
        task.SetStatusText(connection.GetLine());
        return false;
    }

    CFile xov;
    bool opened = from != rangeStart ? xov.Open(xovPath, CFile::Mode::ReadWriteExisting)
                                     : xov.Open(xovPath, CFile::Mode::CreateTruncate);
    if (!opened || !xov.Seek(0) || !PutU32(xov, rangeStart) || !PutU32(xov, rangeEnd) ||
        !xov.Seek(std::max<int64_t>(xov.Size(), 8))) {
        connection.Quit();
        task.SetStatusText("Error Creating/Opening XOVER Data File");
        return false;
    }

    // One line per article of the range at most, in ascending order (the
    // order the resume point of an interrupted scan relies on): a line for an
    // article outside the range, or not above the last one, is skipped, and a
    // response with more lines than the range has articles is not read on.
    const uint64_t rangeArticles = rangeEnd >= from ? uint64_t{rangeEnd} - from + 1 : 0;
    uint32_t lastArticleSeen = from - 1;
    {
        CRecordWriter writer(xov);
        OverviewFields fields;
        // A line longer than the connection's line buffer comes in pieces: the
        // pieces are joined here (up to kMaxJoinedLine bytes, a longer line
        // counts as invalid), and a remainder that is empty or "." is part of
        // the line, not a read failure or the end of the data.
        std::string joined;
        bool continuing = false, overlong = false;
        for (;;) {
            n = connection.ReadLine();
            if (n < 0 || (n == 0 && !continuing)) {
                writer.Flush();
                xov.Close();
                if (connection.GetSocket() != CNntpConnection::kInvalidSocket) connection.Quit();
                task.SetStatusText("Socket Read() Error [XOVER/DATA]");
                return false;
            }
            std::string_view line = connection.GetLine();
            if (!continuing && line == ".") break;
            if (channel.AbortRequested()) {
                writer.Flush();
                xov.Close();
                connection.Quit();
                return false;
            }
            if (n == CNntpConnection::kMaxLineLength) {  // a piece: the line goes on
                stats.AddBytesReceived(static_cast<uint32_t>(n));
                if (!continuing) joined.clear();
                overlong = overlong || joined.size() + line.size() > kMaxJoinedLine;
                if (overlong) {
                    std::string().swap(joined);
                } else {
                    joined.append(line);
                }
                continuing = true;
                continue;
            }
            stats.AddBytesReceived(static_cast<uint32_t>(n) + 2);
            if (continuing) {
                if (!overlong) joined.append(line);
                line = overlong ? std::string_view() : std::string_view(joined);
                continuing = overlong = false;
            }
            if (++lineCount > rangeArticles) {
                // What was stored is in range and in order: kept for the next scan.
                writer.Flush();
                xov.Close();
                connection.Quit();
                task.SetStatusText(kOverviewTooLong);
                task.SetResult(kResultError);
                task.SetInProgress(0);
                return false;
            }
            if (lineCount % kProgressEveryLines == 0) {
                report.lines = static_cast<uint32_t>(lineCount);
                context.progress.PublishProgress(report);
            }
            if (!SplitOverviewLine(line, fields)) continue;
            uint32_t article = FieldNumber(fields[0]);
            if (article <= lastArticleSeen || article > rangeEnd) continue;
            lastArticleSeen = article;
            if (haveData && (FindInSortedList(messageNumbers, article) >= 0 ||
                             FindInSortedList(binaryNumbers, article) >= 0))
                continue;
            if (!AppendHeaderRecord(writer, article, FieldNumber(fields[7]), FieldNumber(fields[6]),
                                    fields[1], fields[2], fields[4])) {
                xov.Close();
                connection.Quit();
                task.SetStatusText("Error Writing To XOVER Data File");
                return false;
            }
        }
        if (!writer.Flush()) {
            xov.Close();
            connection.Quit();
            task.SetStatusText("Error Writing To XOVER Data File");
            return false;
        }
    }
    xov.Close();
    return true;
}

}  // namespace

void ScanGroup(CTaskThread& channel, CTask& task) {
    CAppContext& context = channel.Context();
    CNntpConnection& connection = channel.Connection();
    const std::string dataDir = task.GetSaveDir();
    const std::string group = task.GetGroupName();
    const GroupFilePaths paths = GroupFilePaths::Make(dataDir, group);
    ProgressReport report{task.Key(), kProgressConnecting, kProgressKindScan, 0, 0, 0, 0};

    int32_t first = 0, last = 0;
    if (!SendGroupCommand(connection, task, context.stats, first, last)) return;
    if (channel.AbortRequested()) return void(connection.Quit());

    // What a killed earlier scan left is finished first: its commit (under
    // the group's lock, as it replaces the pair), or nothing of it but the
    // .XOV this scan continues.
    if (RecoveryReplacesThePair(paths)) {
        if (!WaitForGroupLock(context.locks, group, channel.AbortFlag()))
            return void(connection.Quit());
        RecoverScanFiles(paths);
        context.locks.Unlock(group);
    } else {
        RecoverScanFiles(paths);
    }

    uint32_t oldFirst = 0, oldLast = 0;
    bool haveData = GetScanRange(dataDir, group, oldFirst, oldLast);
    std::vector<uint32_t> messageNumbers, binaryNumbers;
    if (haveData) {
        LoadMessageNumbers(dataDir, group, messageNumbers);
        LoadBinaryNumbers(dataDir, group, binaryNumbers);
    }
    if (channel.AbortRequested()) return void(connection.Quit());

    OverviewRequest request;
    request.xovPath = paths.xov;
    request.rangeEnd = static_cast<uint32_t>(last);
    request.rangeStart = ScanRangeStart(task.GetType(), haveData, oldLast, first);
    request.from = request.rangeStart;
    request.haveData = haveData;
    request.messageNumbers = &messageNumbers;
    request.binaryNumbers = &binaryNumbers;
    uint32_t headerStart, headerEnd, firstArticle, lastArticle;
    if (GetOverviewResumeInfo(paths.xov, headerStart, headerEnd, firstArticle, lastArticle) &&
        headerStart <= request.rangeStart && request.rangeStart <= lastArticle)
        request.from = lastArticle + 1;

    // A continued .XOV that already reaches the server's last article (its
    // scan was stopped after the data) needs no XOVER: there is nothing to ask.
    const bool continuedToTheEnd =
        request.from != request.rangeStart && request.from > request.rangeEnd;
    uint64_t lineCount = 0;
    if (!continuedToTheEnd && !ReceiveOverview(channel, task, request, report, lineCount)) return;
    binaryNumbers = {};

    report.lines = static_cast<uint32_t>(lineCount);
    ScanFinishInput input;
    input.dataDir = dataDir;
    input.groupName = group;
    input.haveData = haveData;
    input.first = static_cast<uint32_t>(first);
    input.last = static_cast<uint32_t>(last);
    input.messageNumbers = &messageNumbers;
    ScanStepResult outcome =
        FinishHeaderScan(context.locks, channel.AbortFlag(), input, [&](uint32_t state) {
            report.state = state;
            context.progress.PublishProgress(report);
        });
    if (outcome.aborted) return;  // the run loop reports the abort
    task.SetStatusText(outcome.statusText);
    if (!outcome.ok) return;
    task.SetBinCount(outcome.binCount);
    task.SetNewCount(outcome.newCount);
    task.SetMsgCount(outcome.msgCount);
    task.SetResult(kResultCompleted);
}

}  // namespace vexlo
