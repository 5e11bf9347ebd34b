// The checksums and signatures of [MS-PST] 5.3 and 5.5, and the decoding of
// NDB_CRYPT_PERMUTE data blocks (5.1).
#ifndef TOLLAN_PLATFORM_PST_CHECK_CRC_H_
#define TOLLAN_PLATFORM_PST_CHECK_CRC_H_

#include <cstddef>
#include <cstdint>

namespace pst::check {

// CRC-32 (polynomial 0xEDB88320) started at 0 without final inversion, as the
// PST header, page and block trailers use it.
uint32_t ComputeCrc(const uint8_t* data, size_t n);

// The 16-bit wSig of a page or block trailer: ib XOR bid folded to 16 bits.
uint16_t ComputeSig(uint64_t ib, uint64_t bid);

// Undoes NDB_CRYPT_PERMUTE in place.
void DecodePermute(uint8_t* data, size_t n);

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_CRC_H_
