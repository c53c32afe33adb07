#include "decode/yenc_decoder.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vexlo {

namespace {

constexpr unsigned char kEscape = '=';
constexpr unsigned char kOffset = 42;
constexpr unsigned char kEscapeOffset = 64 + kOffset;
constexpr size_t kMaxDigits = 18;  // keeps every number far inside int64_t

bool StartsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

bool ParseNumber(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > kMaxDigits) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool ParseHex(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            digit = static_cast<unsigned>((c | 0x20) - 'a' + 10);
        else
            return false;
        value = value << 4 | digit;
    }
    return true;
}

// Calls field(key, value) for each "key=value" after the keyword, blank
// separated; "name=" takes the rest of the line. False as soon as field does.
template <typename F>
bool ForEachField(std::string_view line, size_t from, F&& field) {
    size_t at = from;
    while (at < line.size()) {
        if (line[at] == ' ') {
            ++at;
            continue;
        }
        if (StartsWith(line.substr(at), "name=")) return field("name", line.substr(at + 5));
        size_t end = line.find(' ', at);
        if (end == std::string_view::npos) end = line.size();
        const std::string_view token = line.substr(at, end - at);
        const size_t equals = token.find('=');
        if (equals != std::string_view::npos &&
            !field(token.substr(0, equals), token.substr(equals + 1)))
            return false;
        at = end;
    }
    return true;
}

}  // namespace

bool IsYbeginLine(std::string_view line) {
    return StartsWith(line, "=ybegin ");
}

bool IsYpartLine(std::string_view line) {
    return StartsWith(line, "=ypart ");
}

bool IsYendLine(std::string_view line) {
    return StartsWith(line, "=yend") && (line.size() == 5 || line[5] == ' ');
}

bool ParseYbegin(std::string_view line, YencBegin& out) {
    out = YencBegin{};
    bool named = false;
    auto field = [&](std::string_view key, std::string_view value) {
        if (key == "name") {
            out.name.assign(value);
            named = true;
            return true;
        }
        if (key == "part") return ParseNumber(value, out.part);
        if (key == "total") return ParseNumber(value, out.total);
        if (key == "size") return ParseNumber(value, out.size);
        return true;  // line= and fields of later versions are not needed
    };
    return IsYbeginLine(line) && ForEachField(line, 8, field) && named && out.size >= 0;
}

bool ParseYpart(std::string_view line, YencPart& out) {
    out = YencPart{};
    auto field = [&](std::string_view key, std::string_view value) {
        if (key == "begin") return ParseNumber(value, out.begin);
        if (key == "end") return ParseNumber(value, out.end);
        return true;
    };
    return IsYpartLine(line) && ForEachField(line, 7, field) && out.begin >= 1 &&
           out.end >= out.begin;
}

bool ParseYend(std::string_view line, YencEnd& out) {
    out = YencEnd{};
    auto field = [&](std::string_view key, std::string_view value) {
        if (key == "size") return ParseNumber(value, out.size);
        if (key == "pcrc32") {
            out.hasPcrc32 = ParseHex(value, out.pcrc32);
            return out.hasPcrc32;
        }
        if (key == "crc32") {
            out.hasCrc32 = ParseHex(value, out.crc32);
            return out.hasCrc32;
        }
        return true;
    };
    return IsYendLine(line) && ForEachField(line, 5, field);
}

size_t DecodeYencLine(std::string_view line, unsigned char* out, bool& escaped) {
    const auto* in = reinterpret_cast<const unsigned char*>(line.data());
    const size_t n = line.size();
    unsigned char* o = out;
    size_t i = 0;
    if (escaped && n > 0) {
        *o++ = static_cast<unsigned char>(in[0] - kEscapeOffset);
        i = 1;
    }
    escaped = false;
#if defined(__SSE2__)
    // Sixteen characters at a time: all of them are stored shifted back, and
    // the output advances only up to the first "=", whose pair is decoded on
    // its own before the next block starts behind it. The store stays inside
    // out, as the output never runs ahead of the input.
    const __m128i equals = _mm_set1_epi8(static_cast<char>(kEscape));
    const __m128i offset = _mm_set1_epi8(static_cast<char>(kOffset));
    while (i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_sub_epi8(v, offset));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, equals)));
        if (mask == 0) {
            i += 16;
            o += 16;
            continue;
        }
        const auto k = static_cast<size_t>(__builtin_ctz(mask));
        i += k + 1;
        o += k;
        if (i == n) {
            escaped = true;
            return static_cast<size_t>(o - out);
        }
        *o++ = static_cast<unsigned char>(in[i++] - kEscapeOffset);
    }
#endif
    while (i < n) {
        const unsigned char c = in[i++];
        if (c != kEscape) {
            *o++ = static_cast<unsigned char>(c - kOffset);
        } else if (i == n) {
            escaped = true;
        } else {
            *o++ = static_cast<unsigned char>(in[i++] - kEscapeOffset);
        }
    }
    return static_cast<size_t>(o - out);
}

}  // namespace vexlo
