#include "nntp/address.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>

#include "core/number_readers.h"

namespace vexlo {

int ParseDottedAddress(std::string_view text, uint32_t* address) {
    if (std::count(text.begin(), text.end(), '.') != 3) return 0;
    uint32_t parts[4] = {};
    std::string_view rest = text;
    for (int i = 0; i < 3; ++i) {
        const size_t digits = static_cast<size_t>(CountLeadingDigits(rest));
        if (digits >= rest.size() || rest[digits] != '.') return 0;
        parts[i] = static_cast<uint32_t>(ReadLenientInt(rest.substr(0, digits)));
        rest.remove_prefix(digits + 1);
    }
    parts[3] = static_cast<uint32_t>(ReadLenientInt(rest));
    *address = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
    return 1;
}

int LookupHostAddress(const char* name, uint32_t* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return 0;
    int ok = 0;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        *address = ntohl(in->sin_addr.s_addr);
        ok = 1;
        break;
    }
    freeaddrinfo(found);
    return ok;
}

std::string FormatDottedAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFFu,
                  (address >> 8) & 0xFFu, address & 0xFFu);
    return text;
}

}  // namespace vexlo
