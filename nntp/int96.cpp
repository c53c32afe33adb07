#include "nntp/int96.h"

#include <algorithm>

namespace vexlo {

std::string CInt96::ToString() const {
    unsigned __int128 magnitude =
        value_ < 0 ? static_cast<unsigned __int128>(-(value_ + 1)) + 1 : value_;
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value_ < 0) digits.push_back('-');
    std::reverse(digits.begin(), digits.end());
    return digits;
}

bool CInt96::FromString(std::string_view text) {
    auto trim = [](std::string_view s) {
        while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        return s;
    };
    text = trim(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text = trim(text.substr(1));
    }
    if (text.size() > 29) return false;
    __int128 v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value_ = negative ? -v : v;
    return true;
}

}  // namespace vexlo
