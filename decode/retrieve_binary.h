// RetrieveBinary: the handler of download tasks (type 3, "DECODE").
//
// One call makes sure the task's save-to directory exists, selects the task's
// newsgroup (GROUP), reopens a half-written output file, and fetches every
// part not yet fetched with BODY, decoding the uuencoded lines into the output
// file as they arrive (CAttachmentWriter). After each part the task's resume
// point (partsFetched, bytesWritten) is stored, so a call that breaks off
// — connection lost, abort, program closed — is continued at the next part.
//
// The BODY commands are pipelined: the next part's command is sent before the
// current part's reply is read, so the server streams from part to part
// without a round trip between them; a task that starts at its first part
// sends its first BODY commands right behind the GROUP. Parts are still read,
// decoded and recorded one after the other. When the task ends with a command
// still outstanding on an open connection (a GROUP refused, a part refused, a
// part failing its check), that reply is read to its end and thrown away
// before the call returns; if that fails the connection is closed, as after
// a cut.
//
// The outcome is left in the task, as every handler does:
//   - completed: result 2, "Completed Successfully";
//   - permanent failure: result 3, inProgress 0 and the reason (a server
//     reply of 400 and above, an undecodable line, no attachment, ...);
//   - transient failure: only the status (a socket error, an unexpected
//     reply, a failed write); the run loop reconnects and calls again;
//   - abort (the channel's abort flag, checked after every body line): the
//     part in progress is cleaned up and the call returns at once.
// A body far longer than its part's overview line count (over four times it
// plus 100,000 lines) fails the task for good, cleaned up as after a read
// failure, so a hostile server cannot fill the disk through one part.
// A call that gives up in the middle of a body closes the connection (the
// rest of the body is still on its way); between tasks it stays open.
//
// Progress reports go to the task progress table at the start of every part
// and every 50 lines; the transfer statistics count the bytes of commands and
// replies, the bodies and the files received. Debug log lines: every BODY
// command beside its reply (logged as the reply is read), decoding errors, aborts, and the " DONE:"
// / "   AS:" pair of a completed task.
//
// Runs on the channel thread that owns the connection.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexlo {

class CAppContext;
class CNntpConnection;
class CTask;
class CTaskThread;

// The handler registered for task type 3.
void RetrieveBinary(CTaskThread& channel, CTask& task);

// The same with its parts named: the process objects, the connection (open and
// logged in) and the abort flag to poll.
void RetrieveBinary(CAppContext& context, CNntpConnection& connection,
                    const std::atomic<uint32_t>& abort, CTask& task);

}  // namespace vexlo
