// CTaskProgressTable: live progress of running tasks, written by channel
// threads and read by the main thread once a second.
//
// 32 slots of seven 32-bit words; a slot whose first word is 0 is free.
// Reports are copied whole under mutex_, so a reader never sees half a report.
// Thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace vexlo {

enum ProgressState : uint32_t {
    kProgressConnecting = 0,
    kProgressTransferring = 1,
    kProgressSorting = 2,
    kProgressMerging = 3,
    kProgressMatching = 4,
};

// The word the writer sets in word 2: scans and downloads.
inline constexpr uint32_t kProgressKindScan = 4;
inline constexpr uint32_t kProgressKindDownload = 1;

struct ProgressReport {
    uint32_t task = 0;           // identity of the task (never 0 in a published report)
    uint32_t state = 0;          // ProgressState
    uint32_t kind = 0;           // kProgressKindScan or kProgressKindDownload
    uint32_t part = 0;           // 1-based part number (downloads)
    uint32_t parts = 0;          // number of parts (downloads)
    uint32_t lines = 0;          // lines received so far
    uint32_t expectedLines = 0;  // lines expected
};

class CTaskProgressTable {
  public:
    static constexpr size_t kSlots = 32;

    // Stores the report in the task's slot, or the first free one; dropped when full.
    void PublishProgress(const ProgressReport& report);
    bool ReadProgress(uint32_t task, ProgressReport& out) const;
    bool RemoveProgress(uint32_t task);

  private:
    mutable std::mutex mutex_;
    std::array<ProgressReport, kSlots> slots_{};  // guarded by mutex_
};

}  // namespace vexlo
