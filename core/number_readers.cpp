#include "core/number_readers.h"

namespace vexlo {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

int CountLeadingDigits(std::string_view text) {
    int n = 0;
    while (static_cast<size_t>(n) < text.size() && IsDigit(text[static_cast<size_t>(n)])) ++n;
    return n;
}

int32_t ReadLenientInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

int ReplyCode(std::string_view line) {
    return CountLeadingDigits(line) == 3 ? ReadLenientInt(line) : -1;
}

}  // namespace vexlo
