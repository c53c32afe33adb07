// The GROUP step that every task on a channel starts with: select the task's
// newsgroup on the server and learn its article range.
//
// SendGroupCommand sends "GROUP <name>", reads the one-line reply and leaves
// its failures in the task:
//   - the command cannot be sent, no reply arrives, or the reply has no
//     three-digit code: the connection is closed (Quit), the status says which
//     ("Socket Send() Error [GROUP]", "Socket Read() Error [GROUP]",
//     "Unrecognized Server Response [GROUP]"), and the run loop may try again;
//   - 411 (no such group): the reply line becomes the status, result 3 and
//     inProgress 0, so the task is not tried again;
//   - any other code but 211: the reply line becomes the status;
//   - a 211 reply without its four words and a group name behind them:
//     "Invalid Server Response Data [GROUP]".
// In the last two cases the connection stays open. The command's bytes and
// the reply's text length are counted in the statistics.
//
// SendGroup and ReadGroupReply are its two halves, for a caller that sends
// more commands behind the GROUP before its reply arrives; the failures are
// left in the task as above.
//
// Runs on the channel thread that owns the connection.
#pragma once

#include <cstdint>
#include <string_view>

namespace vexlo {

class CNntpConnection;
class CTask;
class CTransferStats;

// True on a 211 reply; first and last are then the group's article range
// (a negative last becomes first; a negative first makes both 0).
bool SendGroupCommand(CNntpConnection& connection, CTask& task, CTransferStats& stats,
                      int32_t& first, int32_t& last);
bool SendGroup(CNntpConnection& connection, CTask& task, CTransferStats& stats);
bool ReadGroupReply(CNntpConnection& connection, CTask& task, CTransferStats& stats, int32_t& first,
                    int32_t& last);

// The article range of a 211 reply ("211 count first last name"): false when
// one of the four blanks that separate the code, the count, the two numbers
// and the group name is missing. The numbers are read leniently.
bool ParseGroupReply(std::string_view reply, int32_t& first, int32_t& last);

}  // namespace vexlo
