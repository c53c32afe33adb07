#include "groups/scan_steps.h"

#include <atomic>
#include <mutex>

namespace vexlo {

namespace {
std::mutex hookMutex;
std::function<void(const char*)> hook;  // guarded by hookMutex
std::atomic<bool> hookSet{false};       // keeps scans without a hook off the mutex
}  // namespace

void ScanFileStep(const char* step) {
    if (!hookSet.load(std::memory_order_relaxed)) return;
    std::function<void(const char*)> call;
    {
        std::lock_guard lock(hookMutex);
        call = hook;
    }
    if (call) call(step);
}

namespace testing {
void SetScanFileStepHook(std::function<void(const char* step)> newHook) {
    std::lock_guard lock(hookMutex);
    hookSet = static_cast<bool>(newHook);
    hook = std::move(newHook);
}
}  // namespace testing

}  // namespace vexlo
