#include "nntp/transfer_stats.h"

#include "platform/profile_store.h"
#include "platform/tick.h"

namespace vexlo {

namespace {
constexpr const char* kHistorySection = "History";
}

CTransferStats::CTransferStats(Clock clock)
    : clock_(clock ? std::move(clock) : Clock(GetTickCount32)), lastTick_(clock_()) {}

void CTransferStats::AdvanceClock() {
    uint32_t now = clock_();
    uint32_t elapsed = now - lastTick_;
    if (elapsed < 1000) return;
    uint32_t seconds = elapsed / 1000;
    if (seconds > kRingSeconds) {
        sentRing_.fill(0);
        receivedRing_.fill(0);
        slot_ = 0;
    } else {
        for (uint32_t i = 0; i < seconds; ++i) {
            slot_ = (slot_ + 1) % kRingSeconds;
            sentRing_[slot_] = 0;
            receivedRing_[slot_] = 0;
        }
    }
    lastTick_ = now;
}

void CTransferStats::AddBytesSent(uint32_t n) {
    std::lock_guard lock(mutex_);
    AdvanceClock();
    sentRing_[slot_] += n;
    allTime_.byteXmit.AddUnsigned(n);
    run_.byteXmit.AddUnsigned(n);
}

void CTransferStats::AddBytesReceived(uint32_t n) {
    std::lock_guard lock(mutex_);
    AdvanceClock();
    receivedRing_[slot_] += n;
    allTime_.byteRecv.AddUnsigned(n);
    run_.byteRecv.AddUnsigned(n);
}

void CTransferStats::AddBodyReceived(uint32_t n) {
    std::lock_guard lock(mutex_);
    allTime_.bodyRecv.AddUnsigned(n);
    run_.bodyRecv.AddUnsigned(n);
}

void CTransferStats::AddFileReceived(uint32_t n) {
    std::lock_guard lock(mutex_);
    allTime_.fileRecv.AddUnsigned(n);
    run_.fileRecv.AddUnsigned(n);
}

CTransferStats::Counters CTransferStats::AllTime() const {
    std::lock_guard lock(mutex_);
    return allTime_;
}

CTransferStats::Counters CTransferStats::Run() const {
    std::lock_guard lock(mutex_);
    return run_;
}

void CTransferStats::GetRateHistory(Ring& sent, Ring& received) {
    std::lock_guard lock(mutex_);
    AdvanceClock();
    size_t slot = slot_;
    for (size_t i = 0; i < kRingSeconds; ++i) {
        sent[i] = sentRing_[slot];
        received[i] = receivedRing_[slot];
        slot = slot == 0 ? kRingSeconds - 1 : slot - 1;
    }
}

namespace {
CInt96 LoadCounter(const CProfileStore& profile, const char* key) {
    CInt96 value;
    if (!value.FromString(profile.GetProfileString(kHistorySection, key, "0")) ||
        value.IsNegative())
        return CInt96();
    return value;
}
}  // namespace

void CTransferStats::LoadHistory(const CProfileStore& profile) {
    Counters loaded;
    loaded.byteXmit = LoadCounter(profile, "ByteXMIT");
    loaded.byteRecv = LoadCounter(profile, "ByteRECV");
    loaded.bodyXmit = LoadCounter(profile, "BodyXMIT");
    loaded.bodyRecv = LoadCounter(profile, "BodyRECV");
    loaded.fileXmit = LoadCounter(profile, "FileXMIT");
    loaded.fileRecv = LoadCounter(profile, "FileRECV");
    std::lock_guard lock(mutex_);
    allTime_ = loaded;
}

void CTransferStats::SaveHistory(CProfileStore& profile) const {
    Counters c = AllTime();
    CProfileBatch batch(profile);
    profile.WriteProfileString(kHistorySection, "ByteXMIT", c.byteXmit.ToString());
    profile.WriteProfileString(kHistorySection, "ByteRECV", c.byteRecv.ToString());
    profile.WriteProfileString(kHistorySection, "BodyXMIT", c.bodyXmit.ToString());
    profile.WriteProfileString(kHistorySection, "BodyRECV", c.bodyRecv.ToString());
    profile.WriteProfileString(kHistorySection, "FileXMIT", c.fileXmit.ToString());
    profile.WriteProfileString(kHistorySection, "FileRECV", c.fileRecv.ToString());
}

std::string FormatThousands(std::string digits) {
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    int count = 0;
    for (size_t i = digits.size(); i-- > 0;) {
        out.push_back(digits[i]);
        // Never between a sign and the first digit ("-123", not "-,123").
        if (++count % 3 == 0 && i > 0 && digits[i - 1] >= '0' && digits[i - 1] <= '9')
            out.push_back(',');
    }
    return {out.rbegin(), out.rend()};
}

}  // namespace vexlo
