// SubnodeIds: hands out node ids for the subnodes of one node (large values,
// attachments, tables). Subnode ids only need to be unique within their
// parent node ([MS-PST] 2.2.2.1).
#ifndef TOLLAN_PLATFORM_PST_LTP_SUBNODE_IDS_H_
#define TOLLAN_PLATFORM_PST_LTP_SUBNODE_IDS_H_

#include <cstdint>

#include "platform/pst/ndb/ndb_writer.h"

namespace pst::ltp {

// Node types used for subnodes.
inline constexpr uint8_t kNidTypeAttachment = 0x05;
inline constexpr uint8_t kNidTypeLtp = 0x1F;

class SubnodeIds {
 public:
  // A fresh id of the given node type.
  Nid Next(uint8_t nid_type) { return (next_index_++ << 5) | (nid_type & 0x1F); }

 private:
  uint32_t next_index_ = 0x401;  // above the indexes of the fixed internal nids
};

}  // namespace pst::ltp

#endif  // TOLLAN_PLATFORM_PST_LTP_SUBNODE_IDS_H_
