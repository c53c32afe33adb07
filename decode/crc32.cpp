#include "decode/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace vexlo {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// Slicing by eight: table k gives the effect of a byte followed by k zero
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

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
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
