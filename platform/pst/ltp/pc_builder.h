// PcBuilder: builds a property context ([MS-PST] 2.3.3): a BTH of 2-byte
// property ids over (type, value-or-HNID) records on a heap-on-node. Values
// of up to 4 bytes sit in the record, values up to 3580 bytes in the heap,
// larger ones in subnodes of the node (a value held by a ValueSource is read
// only when that subnode is written).
#ifndef TOLLAN_PLATFORM_PST_LTP_PC_BUILDER_H_
#define TOLLAN_PLATFORM_PST_LTP_PC_BUILDER_H_

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/pst/ltp/bth_builder.h"
#include "platform/pst/ltp/heap_builder.h"
#include "platform/pst/ltp/subnode_ids.h"
#include "platform/pst/ndb/ndb_writer.h"
#include "platform/pst/property.h"
#include "platform/pst/status.h"

namespace pst::ltp {

class PcBuilder {
 public:
  // `ids` gives subnode ids for large values; it must outlive the builder.
  explicit PcBuilder(SubnodeIds* ids) : ids_(ids) {}

  // Sets property `id` (the final 16-bit id: named properties must already
  // be mapped) to `prop`'s type and value, replacing an earlier one.
  Status Set(uint16_t id, const Property& prop);
  // Sets a PtypObject property: the value is (subnode id, size), the object
  // itself is a subnode added with AddSubnode.
  void SetObject(uint16_t id, Nid subnode, uint32_t size);
  // Adds a subnode owned by this node (attachment, table, embedded message).
  void AddSubnode(Nid nid, NodeData data);

  bool Has(uint16_t id) const { return props_.count(id) != 0; }

  // Lays out the heap and moves data and subnodes into *out. The builder
  // keeps the heap so RewriteInline can change a fixed value afterwards.
  Status Finish(NodeData* out);
  // Changes the inline (4-byte) value of property `id` in a finished node.
  Status RewriteInline(uint16_t id, uint32_t value, NodeData* out);

 private:
  struct Value {
    uint16_t type = 0;
    bool is_inline = false;
    uint32_t inline_value = 0;
    std::vector<uint8_t> bytes;
    std::shared_ptr<const ValueSource> source;  // a large value, not read yet
  };
  SubnodeIds* ids_;
  std::map<uint16_t, Value> props_;
  std::vector<std::pair<Nid, NodeData>> subnodes_;
  HeapBuilder heap_;
  BthLayout layout_;
  bool finished_ = false;
};

}  // namespace pst::ltp

#endif  // TOLLAN_PLATFORM_PST_LTP_PC_BUILDER_H_
