#include "decode/crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VEXLO_CRC32_PCLMUL 1
#endif

namespace vexlo {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// Slicing by eight (for short pieces, the ends of long ones, and processors
// without carry-less multiplication): table k gives the effect of a byte followed by k zero
// bytes, so eight bytes are folded in with eight independent loads.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
    CrcTables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t crc = b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ kPolynomial : crc >> 1;
        t[0][b] = crc;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xff];
    return t;
}
constexpr CrcTables kTables = MakeTables();

inline uint32_t Byte(uint32_t crc, unsigned char c) {
    return kTables[0][(crc ^ c) & 0xff] ^ (crc >> 8);
}

// a * b modulo the polynomial, both in the reflected form (x^0 in the top bit).
constexpr uint32_t MultModP(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if (a & m) {
            product ^= b;
            if ((a & (m - 1)) == 0) break;
        }
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

// x^(2^k) modulo the polynomial, k = 0..31 (the powers repeat after that).
constexpr std::array<uint32_t, 32> MakePowers() {
    std::array<uint32_t, 32> powers{};
    uint32_t p = 1u << 30;  // x^1
    for (auto& power : powers) {
        power = p;
        p = MultModP(p, p);
    }
    return powers;
}
constexpr std::array<uint32_t, 32> kPowers = MakePowers();

// x^(n * 2^k) modulo the polynomial.
uint32_t XPowerModP(uint64_t n, unsigned k) {
    uint32_t p = 1u << 31;  // x^0
    for (; n != 0; n >>= 1, ++k)
        if (n & 1) p = MultModP(kPowers[k & 31], p);
    return p;
}

#if defined(VEXLO_CRC32_PCLMUL)
// Carry-less multiplication (PCLMULQDQ), for processors that have it: four
// 16-byte lanes are folded forward over 64 bytes at a time, then into one
// lane, then reduced to 32 bits (Barrett). The constants are x^k modulo the
// polynomial for the folding distances, in the reflected form, and the
// polynomial with its Barrett quotient. `crc` is the running register (not
// inverted); n is at least 64 and a multiple of 16.
#define VEXLO_PCLMUL __attribute__((target("pclmul,sse4.1")))

VEXLO_PCLMUL inline __m128i Load16(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x moved forward by the distance k stands for, added to the next 16 bytes.
VEXLO_PCLMUL inline __m128i Fold16(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

VEXLO_PCLMUL uint32_t FoldPclmul(uint32_t crc, const unsigned char* p, size_t n) {
    const __m128i k1k2 = _mm_set_epi64x(0x00000001c6e41596, 0x0000000154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00000000ccaa009e, 0x00000001751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0000000163cd6124);
    const __m128i poly = _mm_set_epi64x(0x00000001f7011641, 0x00000001db710641);
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    __m128i x1 = _mm_xor_si128(Load16(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load16(p + 16), x3 = Load16(p + 32), x4 = Load16(p + 48);
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x1 = Fold16(x1, k1k2, Load16(p));
        x2 = Fold16(x2, k1k2, Load16(p + 16));
        x3 = Fold16(x3, k1k2, Load16(p + 32));
        x4 = Fold16(x4, k1k2, Load16(p + 48));
    }
    x1 = Fold16(Fold16(Fold16(x1, k3k4, x2), k3k4, x3), k3k4, x4);
    for (; n >= 16; p += 16, n -= 16) x1 = Fold16(x1, k3k4, Load16(p));
    // 128 to 64 bits, then 64 to 32, then the remainder.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4),
                       _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool HasPclmul() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}
#endif

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
#if defined(VEXLO_CRC32_PCLMUL)
    if (n >= 64 && HasPclmul()) {
        const size_t folded = n & ~size_t{15};
        crc = FoldPclmul(crc, p, folded);
        p += folded;
        n -= folded;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        for (; n >= 8; n -= 8, p += 8) {
            uint32_t lo, hi;
            std::memcpy(&lo, p, 4);
            std::memcpy(&hi, p + 4, 4);
            lo ^= crc;
            crc = kTables[7][lo & 0xff] ^ kTables[6][(lo >> 8) & 0xff] ^
                  kTables[5][(lo >> 16) & 0xff] ^ kTables[4][lo >> 24] ^ kTables[3][hi & 0xff] ^
                  kTables[2][(hi >> 8) & 0xff] ^ kTables[1][(hi >> 16) & 0xff] ^
                  kTables[0][hi >> 24];
        }
    }
    for (; n > 0; --n) crc = Byte(crc, *p++);
    return ~crc;
}

uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB) {
    // Appending lengthB bytes multiplies A's remainder by x^(8 * lengthB).
    return MultModP(XPowerModP(lengthB, 3), crcA) ^ crcB;
}

}  // namespace vexlo
