// CRC-32 as zip, PNG and yEnc compute it (the IEEE 802.3 polynomial in its
// reflected form 0xEDB88320, starting value and final inversion 0xFFFFFFFF):
// the check values of yEnc's pcrc32= and crc32= fields.
//
// Crc32 continues a checksum over more bytes; Crc32Combine gives the checksum
// of two pieces laid end to end from the two pieces' checksums, so the check
// value of a whole file follows from those of its parts without reading it.
//
// Pure functions; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexlo {

// The checksum of the bytes checksummed into `crc` (0 for none) followed by
// data[0..n).
uint32_t Crc32(uint32_t crc, const void* data, size_t n);

// The checksum of A followed by B, from crcA, crcB and the length of B.
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB);

}  // namespace vexlo
