// How the end of a scan replaces a group's .BIN and .MSG, so that a process
// killed at any instant leaves the group either as the scan found it or as
// the scan leaves it, and the next scan ends as if nothing had happened:
//
//  1. Until its commit the scan only writes new files beside the old ones:
//     the merged header set (.XOT), this scan's binaries (.NEW), and the next
//     .BIN and .MSG (.BIN.NEXT, .MSG.NEXT; each written under "<name>.tmp"
//     and renamed when whole). The received headers (.XOV) and the old
//     .MSG/.BIN pair are left as they are.
//  2. The commit, taken once both next files are whole and flushed to the
//     disk, is the removal of the .XOV.
//  3. Then the next files are renamed over .MSG and .BIN, and .NEW and .XOT
//     are removed.
//
// RecoverScanFiles, run under the group's lock before a scan looks at the
// group's files, finishes what a killed process left: with a .XOV nothing was
// committed, so the new files go and the scan continues the .XOV; without one
// the committed next files replace the old ones (step 3).
//
// Runs on the scanning channel's thread, under the group's named lock.
#pragma once

#include "groups/group_files.h"

namespace vexlo {

void RecoverScanFiles(const GroupFilePaths& paths);
// True when RecoverScanFiles would replace the .BIN or .MSG (a committed scan
// to finish), so it must run under the group's lock; otherwise it only
// removes files that no reader looks at.
bool RecoveryReplacesThePair(const GroupFilePaths& paths);

// Steps 2 and 3. False (nothing committed) when a next file cannot be flushed
// to the disk or the .XOV cannot be removed.
bool CommitScanFiles(const GroupFilePaths& paths);

// Removes the new files of a scan that ends before its commit (.XOT, .NEW and
// the next files, whole or not); the .XOV and the old pair stay.
void DiscardScanFiles(const GroupFilePaths& paths);

}  // namespace vexlo
