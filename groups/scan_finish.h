// The steps of a header scan after the last overview line has been stored:
// index and sort the .XOV by subject, merge it with the old .MSG when the
// group had a consistent .MSG/.BIN pair, match binaries and rewrite .BIN and
// .MSG. The scan handler calls FinishHeaderScan once its .XOV is complete and
// flushed, and copies the outcome into its task.
//
// Runs on the scanning channel's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/named_locks.h"
#include "groups/scan_step.h"

namespace vexlo {

inline constexpr const char* kStatusReadXoverFailed = "Error Reading XOVER Data File";
inline constexpr const char* kStatusScanSucceeded = "Newsgroup Scanned Successfully";

struct ScanFinishInput {
    std::string dataDir;  // may lack its final "/"
    std::string groupName;
    bool haveData = false;  // GetScanRange found a consistent .MSG/.BIN pair
    uint32_t first = 0;     // the GROUP reply's range
    uint32_t last = 0;
    // Sorted article numbers of the old .MSG (LoadMessageNumbers); used only with haveData.
    const std::vector<uint32_t>* messageNumbers = nullptr;
};

// Posts the progress states kProgressSorting, kProgressMerging and
// kProgressMatching through `onState` (may be empty) as it reaches them. On
// success the new .BIN and .MSG are in place, the .XOV is gone, statusText is
// "Newsgroup Scanned Successfully" and the three figures are set. On failure
// statusText tells what failed, and the group's files are as the scan found
// them: the old pair, and the .XOV for the next scan to continue
// (groups/scan_commit.h says how a killed process leaves them).
ScanStepResult FinishHeaderScan(CNamedLocks& locks, const std::atomic<uint32_t>& abortFlag,
                                const ScanFinishInput& input,
                                const std::function<void(uint32_t state)>& onState);

}  // namespace vexlo
