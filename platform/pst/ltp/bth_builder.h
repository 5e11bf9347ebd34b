// BTH builder: writes a BTree-on-heap ([MS-PST] 2.3.2) into a HeapBuilder
// from records sorted by key. Leaf records fill heap items of up to 3580
// bytes; index levels are added above them until one item holds the root.
#ifndef TOLLAN_PLATFORM_PST_LTP_BTH_BUILDER_H_
#define TOLLAN_PLATFORM_PST_LTP_BTH_BUILDER_H_

#include <cstdint>
#include <span>
#include <vector>

#include "platform/pst/ltp/heap_builder.h"
#include "platform/pst/status.h"

namespace pst::ltp {

// Where the records of a built BTH live, so callers can fill in record data
// (HNIDs of values allocated afterwards) in place.
struct BthLayout {
  Hid header = 0;             // the BTHHEADER item
  std::vector<Hid> leaves;    // leaf items in key order
  size_t records_per_leaf = 0;
  size_t record_size = 0;
  Hid reserved = 0;           // the item reserved right after the header

  // The bytes of record `index` (in key order).
  std::span<uint8_t> Record(HeapBuilder* heap, size_t index) const;
  // Where record `index` begins in the heap's finished stream.
  size_t RecordOffset(const HeapBuilder& heap, size_t index) const;
};

// Builds the BTH. `records` holds record_count records of key_size +
// entry_size bytes each, keys little-endian and strictly ascending.
// key_size is 2, 4, 8 or 16; entry_size 1 to 32. A non-zero
// `reserve_after_header` allocates a zeroed item of that size between the
// header and the records (a table's TCINFO sits there in Outlook's files).
Status BuildBth(HeapBuilder* heap, uint8_t key_size, uint8_t entry_size,
                std::span<const uint8_t> records, BthLayout* layout,
                size_t reserve_after_header = 0);

}  // namespace pst::ltp

#endif  // TOLLAN_PLATFORM_PST_LTP_BTH_BUILDER_H_
