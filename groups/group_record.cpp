#include "groups/group_record.h"

#include <cstdio>

#include "core/app_settings.h"

namespace vexlo {

namespace {

unsigned char FoldLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

int CompareGroupNames(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = FoldLower(static_cast<unsigned char>(a[i]));
        unsigned char cb = FoldLower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool IsUsableGroupName(std::string_view name) {
    if (name.empty() || name.size() > kMaxTextLength) return false;
    if (name == "." || name == "..") return false;
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c == 0x7F || c == '/') return false;
    }
    return true;
}

std::string FormatScanTime(const std::tm& t) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = (t.tm_wday >= 0 && t.tm_wday < 7) ? kDays[t.tm_wday] : "???";
    const char* month = (t.tm_mon >= 0 && t.tm_mon < 12) ? kMonths[t.tm_mon] : "???";
    int hour12 = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %s %02d %02d:%02d %s", day, month, t.tm_mday, hour12,
                  t.tm_min, t.tm_hour < 12 ? "AM" : "PM");
    return buffer;
}

std::string FormatScanTime(std::time_t when) {
    std::tm local{};
    // Only a moment the C library cannot convert fails; it reads as no scan.
    if (localtime_r(&when, &local) == nullptr) return kNeverScanned;
    return FormatScanTime(local);
}

}  // namespace vexlo
