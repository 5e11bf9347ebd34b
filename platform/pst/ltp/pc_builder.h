// PcBuilder: builds a property context ([MS-PST] 2.3.3): a BTH of 2-byte
// property ids over (type, value-or-HNID) records on a heap-on-node. Values
// of up to 4 bytes sit in the record, values up to 3580 bytes in the heap,
// larger ones in subnodes of the node (a value held by a ValueSource is read
// only when that subnode is written).
#ifndef TOLLAN_PLATFORM_PST_LTP_PC_BUILDER_H_
#define TOLLAN_PLATFORM_PST_LTP_PC_BUILDER_H_

#include <cstdint>
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

  bool Has(uint16_t id) const { return Find(id) != nullptr; }

  // Lays out the heap and moves data and subnodes into *out. The builder
  // keeps the heap so RewriteInline can change a fixed value afterwards.
  Status Finish(NodeData* out);
  // Changes the inline (4-byte) value of property `id` in a finished node.
  Status RewriteInline(uint16_t id, uint32_t value, NodeData* out);

 private:
  struct Value {
    uint16_t id = 0;
    uint16_t type = 0;
    bool is_inline = false;
    uint32_t inline_value = 0;
    // The encoded value: a heap-sized one in small_ at [offset, offset +
    // size), a larger one in `bytes`.
    uint32_t offset = 0;
    uint32_t size = 0;
    std::vector<uint8_t> bytes;
    std::shared_ptr<const ValueSource> source;  // a large value, not read yet
  };
  // The value of `id`, or null.
  Value* Find(uint16_t id);
  const Value* Find(uint16_t id) const { return const_cast<PcBuilder*>(this)->Find(id); }
  // The place of `id` in props_: an existing value is replaced, a new one
  // inserted in id order (usually at the end: callers set in id order).
  Value& Slot(uint16_t id);

  SubnodeIds* ids_;
  std::vector<Value> props_;  // sorted by id
  std::vector<uint8_t> small_;    // heap-sized encoded values, one after another
  std::vector<uint8_t> scratch_;  // the value being encoded
  std::vector<std::pair<Nid, NodeData>> subnodes_;
  HeapBuilder heap_;
  BthLayout layout_;
  bool finished_ = false;
};

}  // namespace pst::ltp

#endif  // TOLLAN_PLATFORM_PST_LTP_PC_BUILDER_H_
