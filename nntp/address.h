// IPv4 address utilities. Addresses travel through the program as 32-bit
// host-order integers with the first octet in the top byte:
// a.b.c.d == a << 24 | b << 16 | c << 8 | d.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexlo {

// Reads a dotted address such as "192.168.0.1". The text must hold exactly
// three "." characters. The first three numbers must each be followed right
// behind their digits by a "."; the fourth is read up to its first non-digit
// and anything behind it is ignored ("1.2.3.4abc" is 1.2.3.4). A missing number
// reads as 0 (".2.3.4" is 0.2.3.4). Numbers are not range-checked: they are
// shifted into place and or-ed together. Returns 1 and stores the address, or
// 0 (address untouched) so the caller can try LookupHostAddress.
int ParseDottedAddress(std::string_view text, uint32_t* address);

// Resolves a host name to its first IPv4 address. Returns 1 and stores it, or
// 0 when the look-up fails or yields no address. Blocks while resolving.
int LookupHostAddress(const char* name, uint32_t* address);

// "a.b.c.d" from the four bytes of `address`, top byte first.
std::string FormatDottedAddress(uint32_t address);

}  // namespace vexlo
