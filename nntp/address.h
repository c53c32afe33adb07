// TEMPORARY placeholder until the real address utilities land.
#pragma once
#include <cstdint>
namespace vexlo {
inline int ParseDottedAddress(const char*, uint32_t&) { return 0; }
inline int LookupHostAddress(const char*, uint32_t&) { return 0; }
}  // namespace vexlo
