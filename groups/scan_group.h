// ScanGroup: the handler of "SCAN NEW" and "SCAN ALL" tasks.
//
// Selects the group with GROUP, works out the range to ask for, fetches the
// overview lines with one XOVER and stores each new header in the group's
// .XOV as it arrives; an interrupted scan leaves the .XOV and the next scan
// continues it. After the last line it sorts, merges and matches the headers
// into a new .BIN/.MSG pair. The outcome goes into the task only: result 2
// and the three figures on success; result 3 for a missing group; otherwise a
// status text with inProgress left at 1, so the run loop tries again.
//
// Only overview lines of articles inside the range asked for, in ascending
// order, are stored; a response with more lines than that range has articles
// (an XOVER that never ends) fails the task for good with "ERROR: Server Sent
// More Overview Lines Than Articles [XOVER]", keeping what was stored.
//
// An overview line longer than the connection's line buffer arrives in
// pieces; they are joined (up to 1 MiB) so a header with a very long subject
// is kept like any other.
//
// The range never starts below article 1: a group whose stored range ends
// below 100 would otherwise ask "XOVER -50-60", which servers refuse.
//
// Runs on a channel thread, with that channel's connection.
#pragma once

#include <cstdint>

namespace vexlo {

class CTask;
class CTaskThread;

void ScanGroup(CTaskThread& channel, CTask& task);

// The first article number to ask for: 100 below the stored last article for
// SCAN NEW of a group with stored data, else the server's first; never below 1.
uint32_t ScanRangeStart(uint32_t taskType, bool haveData, uint32_t oldLast, int32_t first);

}  // namespace vexlo
