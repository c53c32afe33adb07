// The two number readers every reply code and stored number goes through.
#pragma once

#include <cstdint>
#include <string_view>

namespace vexlo {

// Number of decimal digits at the very start of `text` (0 when the first
// character is not a digit). A reply has a three-digit code when this is 3.
int CountLeadingDigits(std::string_view text);

// Lenient decimal reader: skips blanks and tabs, takes an optional sign, reads
// digits up to the first non-digit; 0 when there is no digit. Wraps like a
// 32-bit integer on overflow.
int32_t ReadLenientInt(std::string_view text);

// The reply code of a server line: the number when the line starts with exactly
// three digits, otherwise -1.
int ReplyCode(std::string_view line);

}  // namespace vexlo
