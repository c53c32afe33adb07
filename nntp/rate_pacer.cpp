#include "nntp/rate_pacer.h"

#include <algorithm>
#include <thread>

#include "core/app_settings.h"

namespace vexlo {

CRatePacer::CRatePacer(uint64_t bytesPerSecond,
                       std::function<void(std::chrono::milliseconds)> sleep,
                       std::function<Clock::time_point()> now)
    : rate_(bytesPerSecond), sleep_(std::move(sleep)), now_(std::move(now)) {
    if (!sleep_) sleep_ = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
    if (!now_) now_ = [] { return Clock::now(); };
    start_ = now_();
}

uint64_t CRatePacer::LimitFromSettings(const CAppSettings& settings) {
    int kb = settings.GetChanMaxBPS();
    if (!settings.TestOptions(OPT_LIMIT_SPEED) || kb < 1 || kb > 99) return 0;
    return static_cast<uint64_t>(kb) * 1024;
}

void CRatePacer::Consumed(uint32_t bytes, const std::function<bool()>& stop) {
    if (rate_ == 0) return;
    total_ += bytes;
    // The moment the bytes so far are due at the rate.
    const auto due = start_ + std::chrono::milliseconds(total_ * 1000 / rate_);
    for (auto now = now_(); now < due && !(stop && stop()); now = now_()) {
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now);
        sleep_(std::clamp(wait, std::chrono::milliseconds(1), std::chrono::milliseconds(50)));
    }
}

}  // namespace vexlo
