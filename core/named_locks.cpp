#include "core/named_locks.h"

#include <algorithm>

#include "platform/tick.h"

namespace vexlo {

int CNamedLocks::TryLock(std::string_view name) {
    std::lock_guard lock(mutex_);
    if (std::find(held_.begin(), held_.end(), name) != held_.end()) return 0;
    held_.emplace_back(name);
    return 1;
}

int CNamedLocks::LockWithRetries(std::string_view name, int attempts) {
    for (int i = 0; i < attempts; ++i) {
        if (i > 0) Sleep(5);
        if (TryLock(name)) return 1;
    }
    return 0;
}

int CNamedLocks::Unlock(std::string_view name) {
    std::lock_guard lock(mutex_);
    auto it = std::find(held_.begin(), held_.end(), name);
    if (it == held_.end()) return 0;
    held_.erase(it);
    return 1;
}

void CNamedLocks::LockTaskProgress() {
    while (!TryLock(kTaskProgressLock)) Sleep(55);
}

void CNamedLocks::UnlockTaskProgress() {
    Unlock(kTaskProgressLock);
}

bool CNamedLocks::IsHeld(std::string_view name) const {
    std::lock_guard lock(mutex_);
    return std::find(held_.begin(), held_.end(), name) != held_.end();
}

}  // namespace vexlo
