// The CRC-32 of [MS-PST] 5.3: the reflected 0xEDB88320 polynomial started at
// zero and not inverted. It guards the header, every page and every block.
#ifndef TOLLAN_PLATFORM_PST_NDB_CRC_H_
#define TOLLAN_PLATFORM_PST_NDB_CRC_H_

#include <cstddef>
#include <cstdint>

namespace pst::ndb {

// Continues `crc` over `n` bytes at `data`; start with 0.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n);

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_CRC_H_
