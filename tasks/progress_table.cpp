#include "tasks/progress_table.h"

namespace vexlo {

void CTaskProgressTable::PublishProgress(const ProgressReport& report) {
    if (report.task == 0) return;
    std::lock_guard lock(mutex_);
    ProgressReport* free = nullptr;
    for (auto& slot : slots_) {
        if (slot.task == report.task) {
            slot = report;
            return;
        }
        if (slot.task == 0 && free == nullptr) free = &slot;
    }
    if (free != nullptr) *free = report;
}

bool CTaskProgressTable::ReadProgress(uint32_t task, ProgressReport& out) const {
    if (task == 0) return false;
    std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (slot.task == task) {
            out = slot;
            return true;
        }
    }
    return false;
}

bool CTaskProgressTable::RemoveProgress(uint32_t task) {
    if (task == 0) return false;
    std::lock_guard lock(mutex_);
    for (auto& slot : slots_) {
        if (slot.task == task) {
            slot = ProgressReport{};
            return true;
        }
    }
    return false;
}

}  // namespace vexlo
