// CTransferStats: what went over the wire — all-time totals kept in the
// profile, totals of this run, and per-second rings of the last 900 seconds
// of bytes sent and received (for the bandwidth graph).
//
// Any thread counts into it. Every operation holds mutex_ for its whole (short)
// work and takes no other lock; counting allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>

#include "nntp/int96.h"

namespace vexlo {

class CProfileStore;

class CTransferStats {
  public:
    static constexpr size_t kRingSeconds = 900;
    using Ring = std::array<uint32_t, kRingSeconds>;
    using Clock = std::function<uint32_t()>;

    // `clock` returns the wrapping millisecond tick; the system tick by default.
    explicit CTransferStats(Clock clock = {});

    void AddBytesSent(uint32_t n);
    void AddBytesReceived(uint32_t n);
    void AddBodyReceived(uint32_t n);
    void AddFileReceived(uint32_t n);

    struct Counters {
        CInt96 byteXmit, byteRecv, bodyXmit, bodyRecv, fileXmit, fileRecv;
    };
    Counters AllTime() const;
    Counters Run() const;

    // Index 0 is the current (incomplete) second, index 899 the oldest.
    void GetRateHistory(Ring& sent, Ring& received);

    // Section "History": all-time counters as decimal text; bad or negative values load as 0.
    void LoadHistory(const CProfileStore& profile);
    void SaveHistory(CProfileStore& profile) const;

  private:
    void AdvanceClock();  // requires mutex_ held

    const Clock clock_;
    mutable std::mutex mutex_;
    Counters allTime_;     // guarded by mutex_
    Counters run_;         // guarded by mutex_
    uint32_t lastTick_;    // guarded by mutex_
    uint32_t slot_ = 0;    // guarded by mutex_
    Ring sentRing_{};      // guarded by mutex_
    Ring receivedRing_{};  // guarded by mutex_
};

// Inserts "," between groups of three digits from the right: 1234567 -> 1,234,567.
std::string FormatThousands(std::string digits);

}  // namespace vexlo
