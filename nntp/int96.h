// CInt96: a wide signed counter for byte and item totals that never overflow
// in practice, with the decimal text form the profile stores.
//
// Held in a 128-bit integer; the text form accepts what a 96-bit counter
// writes (up to 29 digits).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexlo {

class CInt96 {
  public:
    constexpr CInt96() = default;
    constexpr CInt96(int32_t v) : value_(v) {}  // NOLINT: implicit by design

    static CInt96 FromWide(__int128 v) {
        CInt96 r;
        r.value_ = v;
        return r;
    }

    CInt96& operator+=(const CInt96& o) {
        value_ += o.value_;
        return *this;
    }
    CInt96& operator-=(const CInt96& o) {
        value_ -= o.value_;
        return *this;
    }
    CInt96& AddUnsigned(uint32_t n) {
        value_ += n;
        return *this;
    }
    friend CInt96 operator+(CInt96 a, const CInt96& b) { return a += b; }
    friend CInt96 operator-(CInt96 a, const CInt96& b) { return a -= b; }
    friend bool operator==(const CInt96& a, const CInt96& b) = default;
    friend auto operator<=>(const CInt96& a, const CInt96& b) { return a.value_ <=> b.value_; }

    bool IsZero() const { return value_ == 0; }
    bool IsNegative() const { return value_ < 0; }
    __int128 Wide() const { return value_; }
    // Nearest double, for rates and graphs.
    double ToDouble() const { return static_cast<double>(value_); }

    // Decimal digits with a leading "-" when negative.
    std::string ToString() const;
    // Blanks trimmed at both ends; an optional "-" (and blanks after it); then 0 to
    // 29 decimal digits and nothing else (none gives 0). False leaves the value unchanged.
    bool FromString(std::string_view text);

  private:
    __int128 value_ = 0;
};

}  // namespace vexlo
