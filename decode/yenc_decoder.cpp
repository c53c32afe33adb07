#include "decode/yenc_decoder.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VEXLO_YENC_SSSE3 1
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

namespace {

// One character after another; `carry` is true while an "=" waits for the
// character it escapes.
unsigned char* DecodeScalar(const unsigned char* in, size_t n, unsigned char* o, bool& carry) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = in[i];
        if (carry) {
            *o++ = static_cast<unsigned char>(c - kEscapeOffset);
            carry = false;
        } else if (c == kEscape) {
            carry = true;
        } else {
            *o++ = static_cast<unsigned char>(c - kOffset);
        }
    }
    return o;
}

#if defined(VEXLO_YENC_SSSE3)
// For each pattern of "=" among eight characters: the positions of the other
// characters in order (then 0x80, which makes a shuffle write zero), and
// how many there are.
struct CompactTables {
    std::array<std::array<unsigned char, 8>, 256> shuffle;
    std::array<unsigned char, 256> keep;
};
constexpr CompactTables MakeCompactTables() {
    CompactTables t{};
    for (unsigned m = 0; m < 256; ++m) {
        unsigned k = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (!(m >> bit & 1)) t.shuffle[m][k++] = static_cast<unsigned char>(bit);
        t.keep[m] = static_cast<unsigned char>(k);
        for (; k < 8; ++k) t.shuffle[m][k] = 0x80;
    }
    return t;
}
constexpr CompactTables kCompact = MakeCompactTables();

#define VEXLO_SSSE3 __attribute__((target("ssse3,popcnt")))

// Sixteen characters v with their "=" at the bits of eq and an escape
// carried into the first when carryIn: every character shifted back (64 more
// for those behind an "="), the "=" taken out by a shuffle per half, the
// halves stored one behind the other. Writes 16 bytes at o; returns the end
// of the decoded ones.
VEXLO_SSSE3 inline unsigned char* DecodeBlock(__m128i v, unsigned eq, unsigned carryIn,
                                              unsigned char* o) {
    const unsigned escaped = ((eq << 1) | carryIn) & 0xffff;
    const __m128i bits = _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
    __m128i e = _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(escaped)),
                                 _mm_set_epi8(1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0));
    e = _mm_cmpeq_epi8(_mm_and_si128(e, bits), bits);
    const __m128i shift = _mm_add_epi8(_mm_set1_epi8(static_cast<char>(kOffset)),
                                       _mm_and_si128(e, _mm_set1_epi8(64)));
    const unsigned lo = eq & 0xff, hi = eq >> 8;
    __m128i order = _mm_unpacklo_epi64(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompact.shuffle[lo].data())),
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompact.shuffle[hi].data())));
    order = _mm_add_epi8(order, _mm_set_epi8(8, 8, 8, 8, 8, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0));
    const __m128i d = _mm_shuffle_epi8(_mm_sub_epi8(v, shift), order);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), d);
    o += kCompact.keep[lo];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_unpackhi_epi64(d, d));
    return o + kCompact.keep[hi];
}

VEXLO_SSSE3 size_t DecodeSsse3(const unsigned char* in, size_t n, unsigned char* out,
                               bool& escaped) {
    const __m128i equals = _mm_set1_epi8(static_cast<char>(kEscape));
    unsigned char* o = out;
    bool carry = escaped;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const auto eq = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, equals)));
        if (eq & ((eq << 1) | carry)) {  // an "=" escaped itself: rare, one by one
            o = DecodeScalar(in + i, 16, o, carry);
            continue;
        }
        o = DecodeBlock(v, eq, carry, o);
        carry = eq >> 15;
    }
    if (const size_t rest = n - i; rest > 0) {
        // The last characters in a block of zeros (never "="), of which only
        // the first `rest` count.
        alignas(16) unsigned char tail[16] = {};
        std::memcpy(tail, in + i, rest);
        const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
        const auto eq = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, equals)));
        if (eq & ((eq << 1) | carry)) {
            o = DecodeScalar(in + i, rest, o, carry);
        } else {
            DecodeBlock(v, eq, carry, o);
            o += rest - static_cast<size_t>(__builtin_popcount(eq));
            carry = eq >> (rest - 1) & 1;
        }
    }
    escaped = carry;
    return static_cast<size_t>(o - out);
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return has;
}
#endif

}  // namespace

size_t DecodeYencLine(std::string_view line, unsigned char* out, bool& escaped) {
    const auto* in = reinterpret_cast<const unsigned char*>(line.data());
#if defined(VEXLO_YENC_SSSE3)
    if (HasSsse3()) return DecodeSsse3(in, line.size(), out, escaped);
#endif
    return static_cast<size_t>(DecodeScalar(in, line.size(), out, escaped) - out);
}

size_t DecodeYencLinePortable(std::string_view line, unsigned char* out, bool& escaped) {
    const auto* in = reinterpret_cast<const unsigned char*>(line.data());
    return static_cast<size_t>(DecodeScalar(in, line.size(), out, escaped) - out);
}

}  // namespace vexlo
