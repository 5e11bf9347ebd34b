// The Unicode PST header ([MS-PST] 2.2.2.6) with its ROOT (2.2.2.5).
//
// This writer produces wVer 23 (Unicode) files with bCryptMethod 0: block
// data is stored as is, without the permutation or cyclic encodings.
#ifndef TOLLAN_PLATFORM_PST_NDB_HEADER_H_
#define TOLLAN_PLATFORM_PST_NDB_HEADER_H_

#include <cstdint>

#include "platform/pst/ndb/btree.h"

namespace pst::ndb {

struct HeaderFields {
  uint64_t bid_next_p = 0;  // next page id
  uint64_t bid_next_b = 0;  // next block id
  uint32_t unique = 0;      // dwUnique
  uint32_t rgnid[32] = {};  // next nid index per node type
  // ROOT
  uint64_t ib_file_eof = 0;
  uint64_t ib_amap_last = 0;
  uint64_t cb_amap_free = 0;
  uint64_t cb_pmap_free = 0;
  PageRef nbt;
  PageRef bbt;
  uint8_t rgb_fm[128] = {};
  uint8_t rgb_fp[128] = {};
};

inline constexpr uint16_t kHeaderVersionUnicode = 23;
inline constexpr uint16_t kHeaderClientVersion = 19;
inline constexpr uint8_t kCryptNone = 0;
inline constexpr uint8_t kAMapValid2 = 2;

// Encodes the 564-byte header, both CRCs included.
void EncodeHeader(const HeaderFields& h, uint8_t* out);

// The rgnid counters of a new file ([MS-PST] 2.2.2.6): 0x400 for most node
// types, with their own starting points for folders, search folders,
// messages and associated messages.
void InitialNidCounters(uint32_t* rgnid);

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_HEADER_H_
