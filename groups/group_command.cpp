#include "groups/group_command.h"

#include <string>

#include "core/number_readers.h"
#include "nntp/nntp_connection.h"
#include "nntp/transfer_stats.h"
#include "tasks/task.h"

namespace vexlo {

namespace {
constexpr int kNoSuchGroup = 411;
constexpr int kGroupSelected = 211;
}  // namespace

bool ParseGroupReply(std::string_view reply, int32_t& first, int32_t& last) {
    // words[0] code, [1] article count, [2] first, [3] last; the name follows.
    std::string_view words[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t blank = reply.find(' ', start);
        if (blank == std::string_view::npos) return false;
        words[i] = reply.substr(start, blank - start);
        start = blank + 1;
    }
    first = ReadLenientInt(words[2]);
    last = ReadLenientInt(words[3]);
    if (last < 0) last = first;
    if (first < 0) first = last = 0;
    return true;
}

bool SendGroupCommand(CNntpConnection& connection, CTask& task, CTransferStats& stats,
                      int32_t& first, int32_t& last) {
    return SendGroup(connection, task, stats) &&
           ReadGroupReply(connection, task, stats, first, last);
}

bool SendGroup(CNntpConnection& connection, CTask& task, CTransferStats& stats) {
    const std::string command = "GROUP " + task.GetGroupName() + "\r\n";
    if (!connection.Send(command)) {
        connection.Quit();
        task.SetStatusText("Socket Send() Error [GROUP]");
        return false;
    }
    stats.AddBytesSent(static_cast<uint32_t>(command.size()));
    return true;
}

bool ReadGroupReply(CNntpConnection& connection, CTask& task, CTransferStats& stats, int32_t& first,
                    int32_t& last) {
    char reply[CNntpConnection::kReplyBufferSize];
    int length = connection.ReadReply(reply, sizeof(reply));
    if (length <= 0) {
        connection.Quit();
        task.SetStatusText("Socket Read() Error [GROUP]");
        return false;
    }
    stats.AddBytesReceived(static_cast<uint32_t>(length));
    const std::string_view line(reply, static_cast<size_t>(length));

    const int code = ReplyCode(line);
    if (code < 0) {
        connection.Quit();
        task.SetStatusText("Unrecognized Server Response [GROUP]");
        return false;
    }
    if (code == kNoSuchGroup) {
        task.SetResult(kResultError);
        task.SetStatusText(line);
        task.SetInProgress(0);
        return false;
    }
    if (code != kGroupSelected) {
        task.SetStatusText(line);
        return false;
    }
    if (!ParseGroupReply(line, first, last)) {
        task.SetStatusText("Invalid Server Response Data [GROUP]");
        return false;
    }
    return true;
}

}  // namespace vexlo
