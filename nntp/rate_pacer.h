// CRatePacer: keeps one channel's download at or below a rate by sleeping
// between received lines. It paces what the caller has consumed since the
// pacer was made, so the socket's flow control slows the server down to the
// same rate. A rate of 0 paces nothing.
//
// The per-channel speed limit (OPT_LIMIT_SPEED with ChanMaxBPS kilobytes a
// second) is applied through it. Owned by one channel thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace vexlo {

class CAppSettings;

class CRatePacer {
  public:
    using Clock = std::chrono::steady_clock;
    // `bytesPerSecond` 0: unlimited. `sleep` waits (real sleeping by default);
    // `now` tells the time (the steady clock by default).
    explicit CRatePacer(uint64_t bytesPerSecond,
                        std::function<void(std::chrono::milliseconds)> sleep = {},
                        std::function<Clock::time_point()> now = {});

    // The channel's limit from the settings: ChanMaxBPS KB/s when the limit
    // is on and the value lies in 1..99, else 0.
    static uint64_t LimitFromSettings(const CAppSettings& settings);

    // False when the pacer paces nothing: a caller may then skip Consumed.
    bool Paces() const { return rate_ != 0; }

    // `bytes` more were received; sleeps (in slices of at most 50 ms, giving
    // up when `stop` says so) until they fit the rate.
    void Consumed(uint32_t bytes, const std::function<bool()>& stop);

  private:
    uint64_t rate_;
    std::function<void(std::chrono::milliseconds)> sleep_;
    std::function<Clock::time_point()> now_;
    Clock::time_point start_;
    uint64_t total_ = 0;
};

}  // namespace vexlo
