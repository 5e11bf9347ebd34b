// HeapView: the heap-on-node of one node or subnode ([MS-PST] 2.3.1) and
// its BTrees-on-heap (2.3.2), read in place for reading a file back: each
// heap page is copied, when first asked for, into a buffer that the view
// keeps from load to load, heap items are handed out as pointers into
// them, and a BTH is walked record by record. After the first few messages
// a load allocates nothing; a large heap of which little is read (a
// folder's contents table holds an item per message) costs only the pages
// read.
//
// It checks the structure as check::Heap and check::ReadBth do (page maps,
// key order, record sizes, bounded depth), each page when it is read, and
// fails with the same kind of message instead of reading past a fault.
//
//   HeapView heap;
//   if (!heap.Load(ndb, node, &error)) ...;
//   heap.ForEachRecord(heap.user_root(), 2, 6, [&](const uint8_t* key, const uint8_t* data) {
//     ...; return true;
//   }, &error);
//
// Not thread-safe; a view is reused, not shared.
#ifndef TOLLAN_PLATFORM_PST_READBACK_HEAP_VIEW_H_
#define TOLLAN_PLATFORM_PST_READBACK_HEAP_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/readback/node_reader.h"

namespace pst::readback {

class HeapView {
 public:
  // Loads the heap whose data and subnode trees are `node`. False with
  // *error on a fault; the view is then empty.
  bool Load(const NodeReader& ndb, const check::Subnode& node, std::string* error);

  uint8_t client_sig() const { return client_sig_; }
  uint32_t user_root() const { return user_root_; }

  // Heap item `hid`, in place (valid until the next Load). Reads its page
  // through the NodeReader of the last Load, which must still be alive.
  bool Get(uint32_t hid, const uint8_t** data, size_t* size, std::string* error) const;
  // The subnode `nid` of the node, or nullptr.
  const check::Subnode* FindSubnode(uint32_t nid) const;

  // Hands every leaf record of the BTH whose header is item `hid` to
  // `take`, in key order; `take` returns false to stop early (then this
  // returns true). Keys of up to 8 bytes. `take` must not walk a BTH of
  // this view.
  bool ForEachRecord(uint32_t hid, uint8_t key_size, uint8_t data_size,
                     const std::function<bool(const uint8_t* key, const uint8_t* data)>& take,
                     std::string* error) const;

 private:
  struct Frame {
    uint32_t hid;
    int level;
    uint64_t lo;   // the index entry's key: the node's keys are not below it
  };
  // Reads and checks page i, unless it is in hand.
  bool LoadPage(size_t i, std::string* error) const;
  bool CheckPage(size_t i, std::string* error) const;

  const NodeReader* ndb_ = nullptr;
  std::vector<uint64_t> page_bids_;                   // this heap's pages
  size_t page_count_ = 0;                             // 0 after a failed load
  mutable std::vector<std::vector<uint8_t>> pages_;   // buffers kept from load to load
  mutable std::vector<uint8_t> loaded_;               // which pages hold this heap's
  std::vector<std::pair<uint32_t, check::Subnode>> subnodes_;   // by nid
  uint8_t client_sig_ = 0;
  uint32_t user_root_ = 0;
  mutable std::vector<Frame> stack_;   // ForEachRecord's walk
};

}  // namespace pst::readback

#endif  // TOLLAN_PLATFORM_PST_READBACK_HEAP_VIEW_H_
