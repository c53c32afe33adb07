// The file steps of a scan's end (the writes, renames and removals after the
// last overview line), named, so that tests can stop a scan at each of them
// as a killed process would and check what the next scan makes of it.
//
// Thread-safe; the hook is set by tests before the scan runs.
#pragma once

#include <functional>

namespace vexlo {

// Marks the file step about to be taken.
void ScanFileStep(const char* step);

namespace testing {
// Called with the step's name before each file step (an empty hook: none).
void SetScanFileStepHook(std::function<void(const char* step)> hook);
}  // namespace testing

}  // namespace vexlo
