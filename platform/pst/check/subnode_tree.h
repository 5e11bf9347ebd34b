// Reading a subnode tree ([MS-PST] 2.2.2.8.3.3): an SIBLOCK (level 1) names
// SLBLOCKs (level 0), whose SLENTRYs are the subnodes of a node. The one
// decoding of these blocks, used by the checker's reader and by the
// read-back's node reader; each reads the blocks its own way.
//
//   bool ok = ReadSubnodeTree(bid_sub, read_block,
//                             [&](uint32_t nid, const Subnode& s) { ... });
//
// It fails (quietly: the checker's own walk reports structural faults)
// when a block cannot be read, is not a subnode block or is shorter than
// its entries, or when the tree is deeper than two levels.
#ifndef TOLLAN_PLATFORM_PST_CHECK_SUBNODE_TREE_H_
#define TOLLAN_PLATFORM_PST_CHECK_SUBNODE_TREE_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/pst/check/ndb_checker.h"

namespace pst::check {

// Gives the raw bytes of block `bid` in *data and *size, valid until the
// next call. False when the block cannot be read.
using BlockViewReader = std::function<bool(uint64_t bid, const uint8_t** data, size_t* size)>;

// Hands every SLENTRY of the tree rooted at block `bid` to `take` (nothing
// when bid is 0), in the order of the tree. Allocates nothing.
bool ReadSubnodeTree(uint64_t bid, const BlockViewReader& read,
                     const std::function<void(uint32_t nid, const Subnode& node)>& take);

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_SUBNODE_TREE_H_
