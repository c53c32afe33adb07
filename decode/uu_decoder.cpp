#include "decode/uu_decoder.h"

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "decode/file_utils.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VEXLO_UU_SSSE3 1
#endif

namespace vexlo {

namespace {

// The 6-bit value of each character, (code - 32) AND 63, so that both the
// blank and "`" stand for 0; characters outside the alphabet are not refused.
// One table per position in a group, pre-shifted, so that a group of four
// characters becomes its 24 bits with four loads and three ORs.
constexpr std::array<uint32_t, 256> MakeValueTable(int shift) {
    std::array<uint32_t, 256> table{};
    for (uint32_t c = 0; c < 256; ++c) table[c] = ((c - 32) & 63) << shift;
    return table;
}
constexpr std::array<uint32_t, 256> kValue0 = MakeValueTable(18);
constexpr std::array<uint32_t, 256> kValue1 = MakeValueTable(12);
constexpr std::array<uint32_t, 256> kValue2 = MakeValueTable(6);
constexpr std::array<uint32_t, 256> kValue3 = MakeValueTable(0);  // also the plain value

inline uint32_t GroupBits(const unsigned char* in) {
    return kValue0[in[0]] | kValue1[in[1]] | kValue2[in[2]] | kValue3[in[3]];
}

constexpr int kMaxUniqueSuffix = 9998;

// Decodes `groups` whole groups of four characters into three bytes each.
inline void DecodeGroupsScalar(const unsigned char* in, unsigned char* out, uint32_t groups) {
    for (; groups > 0; --groups, in += 4, out += 3) {
        uint32_t bits = GroupBits(in);
        out[0] = static_cast<unsigned char>(bits >> 16);
        out[1] = static_cast<unsigned char>(bits >> 8);
        out[2] = static_cast<unsigned char>(bits);
    }
}

#if defined(VEXLO_UU_SSSE3)
#define VEXLO_SSSE3 __attribute__((target("ssse3")))

// Sixteen characters at a time, as four groups: each character's value
// (code - 32) AND 63, pairs joined into 12 bits (first * 64 + second), those
// pairs into the group's 24 bits, and the three bytes of each group shuffled
// out high byte first. A block's store writes 16 bytes of which 12 count; the
// next block's store overwrites the other four. Returns the groups left over.
VEXLO_SSSE3 uint32_t DecodeGroupsSsse3(const unsigned char* in, unsigned char* out,
                                       uint32_t groups) {
    const __m128i blank = _mm_set1_epi8(32);
    const __m128i sixBits = _mm_set1_epi8(63);
    const __m128i pairs = _mm_set1_epi16(0x0140);      // bytes 64, 1
    const __m128i quads = _mm_set1_epi32(0x00011000);  // words 4096, 1
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    for (; groups >= 4; groups -= 4, in += 16, out += 12) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        v = _mm_and_si128(_mm_sub_epi8(v, blank), sixBits);
        v = _mm_madd_epi16(_mm_maddubs_epi16(v, pairs), quads);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(v, order));
    }
    return groups;
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

// The line's length and count checked; n > 0 bytes to decode from in (past
// the count character). `fast`: the vector path may take the whole groups.
inline void DecodeCheckedLine(const unsigned char* in, unsigned char* out, uint32_t n, bool fast) {
    uint32_t whole = n / 3;
#if defined(VEXLO_UU_SSSE3)
    // The stores of 16 bytes stay inside out's kUuDecodeBufferSize bytes: at
    // most 20 groups (60 bytes) go through them, the last store ending at 64.
    if (fast && whole >= 4) {
        const uint32_t rest = DecodeGroupsSsse3(in, out, whole);
        in += 4 * (whole - rest);
        out += 3 * (whole - rest);
        whole = rest;
    }
#else
    (void)fast;
#endif
    DecodeGroupsScalar(in, out, whole);
    in += 4 * whole;
    out += 3 * whole;
    if (uint32_t rest = n % 3; rest != 0) {
        uint32_t bits = GroupBits(in);
        out[0] = static_cast<unsigned char>(bits >> 16);
        if (rest == 2) out[1] = static_cast<unsigned char>(bits >> 8);
    }
}

bool DecodeLine(std::string_view line, unsigned char* out, int limit, int& count, bool fast) {
    const size_t length = line.size();
    if (length == 0 || limit < 0 || length > static_cast<size_t>(limit)) return false;
    const auto* in = reinterpret_cast<const unsigned char*>(line.data());
    const uint32_t n = kValue3[in[0]];
    count = static_cast<int>(n);
    if (n == 0) return true;
    // Every group the count needs must be complete; checked once for the line.
    if (1 + 4 * ((n + 2) / 3) > length) return false;
    DecodeCheckedLine(in + 1, out, n, fast);
    return true;
}

}  // namespace

bool IsBeginLine(std::string_view line) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (line.size() < 11) return false;
    static constexpr std::string_view kBegin = "begin";
    for (size_t i = 0; i < kBegin.size(); ++i) {
        if ((line[i] | 0x20) != kBegin[i]) return false;  // | 0x20 lowers a letter
    }
    return line[5] == ' ' && digit(line[6]) && digit(line[7]) && digit(line[8]) && line[9] == ' ';
}

bool ParseBeginFileName(std::string_view line, std::string& name) {
    if (line.size() < 11) return false;
    return CleanAttachmentName(line.substr(10), name);
}

bool CleanAttachmentName(std::string_view posted, std::string& name) {
    if (!posted.empty() && posted[0] == '"') posted.remove_prefix(1);
    std::string text(posted);
    if (text.empty()) return false;
    if (text.back() == '"') text.pop_back();
    TrimSpaces(text);
    CleanFileName(text);
    // "." and ".." name the save-to directory and its parent: no file name.
    if (text.empty() || text == "." || text == "..") return false;
    name = std::move(text);
    return true;
}

void TrimSpaces(std::string& text) {
    size_t end = text.find_last_not_of(' ');
    if (end == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(end + 1);
    text.erase(0, text.find_first_not_of(' '));
}

void CleanFileName(std::string& text) {
    static constexpr std::string_view kUnsafe = "\\/<>:\"|*";
    for (char& ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 32 || c > 127 || kUnsafe.find(ch) != std::string_view::npos) ch = '_';
    }
}

bool DecodeUuLine(std::string_view line, unsigned char* out, int limit, int& count) {
#if defined(VEXLO_UU_SSSE3)
    return DecodeLine(line, out, limit, count, HasSsse3());
#else
    return DecodeLine(line, out, limit, count, false);
#endif
}

bool DecodeUuLinePortable(std::string_view line, unsigned char* out, int limit, int& count) {
    return DecodeLine(line, out, limit, count, false);
}

bool MakeUniqueFileName(std::string& path) {
    return MakeUniqueFileName(path, [](const std::string& p) { return FileExists(p); });
}

bool MakeUniqueFileName(std::string& path, const std::function<bool(const std::string&)>& taken) {
    if (!taken(path)) return true;
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    bool hasExtension =
        dot != std::string::npos && dot != 0 && (slash == std::string::npos || dot > slash);
    std::string stem = hasExtension ? path.substr(0, dot) : path;
    std::string extension = hasExtension ? path.substr(dot) : std::string();
    for (int n = 1; n <= kMaxUniqueSuffix; ++n) {
        std::string candidate = stem + '-' + std::to_string(n) + extension;
        if (!taken(candidate)) {
            path = std::move(candidate);
            return true;
        }
    }
    return false;
}

}  // namespace vexlo
