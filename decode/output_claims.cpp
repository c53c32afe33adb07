#include "decode/output_claims.h"

namespace vexlo {

namespace {
bool ClaimedByOtherLocked(const std::map<uint32_t, std::string>& paths, const std::string& path,
                          uint32_t task) {
    for (const auto& [key, claimed] : paths)
        if (key != task && claimed == path) return true;
    return false;
}
}  // namespace

bool COutputClaims::TryClaim(uint32_t task, const std::string& path) {
    std::lock_guard lock(mutex_);
    if (ClaimedByOtherLocked(paths_, path, task)) return false;
    paths_[task] = path;
    return true;
}

void COutputClaims::Release(uint32_t task) {
    std::lock_guard lock(mutex_);
    paths_.erase(task);
}

bool COutputClaims::ClaimedByOther(const std::string& path, uint32_t task) const {
    std::lock_guard lock(mutex_);
    return ClaimedByOtherLocked(paths_, path, task);
}

}  // namespace vexlo
