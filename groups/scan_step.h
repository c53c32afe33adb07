// The outcome of one post-processing step of a header scan (sorting, merging,
// matching). The scan handler copies it into its task: `statusText` into the
// task's status when it is not empty, the three figures on success.
#pragma once

#include <cstdint>
#include <string>

namespace vexlo {

struct ScanStepResult {
    bool ok = false;
    // The channel's abort flag ended the step (statusText is then "Aborted").
    bool aborted = false;
    std::string statusText;
    uint32_t binCount = 0;  // binaries in the new .BIN
    uint32_t newCount = 0;  // binaries found by this scan
    uint32_t msgCount = 0;  // records in the new .MSG

    static ScanStepResult Failure(std::string text) {
        ScanStepResult r;
        r.statusText = std::move(text);
        return r;
    }
};

}  // namespace vexlo
