// Builds the node and block B-trees ([MS-PST] 2.2.2.7.7) bottom-up from
// entries sorted by key: full leaf pages of NBTENTRY or BBTENTRY records,
// then as many levels of BTENTRY pages as it takes to reach one root page.
#ifndef TOLLAN_PLATFORM_PST_NDB_BTREE_H_
#define TOLLAN_PLATFORM_PST_NDB_BTREE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/pst/status.h"

namespace pst::ndb {

// Where a page went.
struct PageRef {
  uint64_t bid = 0;
  uint64_t ib = 0;
};

// Places one finished 512-byte page: picks its offset and page id, fills in
// the trailer (the signature and CRC depend on both) and writes it.
using PageSink = std::function<Status(uint8_t ptype, uint8_t* page, PageRef* where)>;

// Number of pages a tree of `n` leaf entries of `leaf_entry_size` bytes takes.
uint64_t BTreePageCount(uint64_t n, size_t leaf_entry_size);

// Writes a B-tree of page type `ptype` whose leaves hold `entries`, packed
// records of `leaf_entry_size` bytes each starting with their 8-byte key, in
// ascending key order. An empty tree is one empty leaf page.
Status WriteBTree(uint8_t ptype, std::span<const uint8_t> entries, size_t leaf_entry_size,
                  const PageSink& sink, PageRef* root);

// Completes a page's trailer: ptype twice, the signature (B-tree and density
// list pages; 0 for the map pages), the CRC of the first 496 bytes, the bid.
void FinishPage(uint8_t* page, uint8_t ptype, uint64_t ib, uint64_t bid);

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_BTREE_H_
