// Millisecond tick and sleeping: the system's wrapping 32-bit clock.
//
// GetTickCount32() counts milliseconds from an arbitrary origin and wraps to 0
// after 2^32 ms (about 49.7 days); callers compute elapsed times modulo 2^32.
// Thread-safe.
#pragma once

#include <cstdint>

namespace vexlo {

uint32_t GetTickCount32();

// Blocks the calling thread for about `ms` milliseconds.
void Sleep(uint32_t ms);

// Milliseconds from `from` to `to` on the wrapping tick, `to` taken as later.
inline uint32_t TickElapsed(uint32_t from, uint32_t to) {
    return to - from;
}

}  // namespace vexlo
