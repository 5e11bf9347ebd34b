// NodeReader: finds nodes and blocks of a Unicode PST by walking its two
// B-trees (NBT and BBT) page by page as it goes, instead of loading them, so
// that reading a file back takes the same small memory whatever its size:
// the header, a bounded cache of B-tree pages and the last leaf found in
// each tree (keys looked up one after another mostly share it), three
// read-ahead windows (one for each tree's pages, one for blocks: a message's
// blocks mostly lie together, so most reads cost no system call) and the
// blocks in hand. Blocks are handed out in place (BlockView, ForEachBlock)
// to the read-back's heap and table readers (heap_view.h, table_view.h).
//
// It trusts the structure as far as it must to find its way (bounds and
// page types are checked, block CRCs are not: the structural check that
// comes first reads every block against its CRC); a lookup in a damaged
// file fails instead of reading out of bounds.
//
//   std::string error;
//   auto file = check::FileSource::Open(path, &error);
//   NodeReader ndb(*file);
//   if (!ndb.Open(&error)) ...;
//   check::Subnode message;
//   if (ndb.FindNode(nid, &message)) { HeapView heap; heap.Load(ndb, message, &error); }
//
// Not thread-safe (the page cache is shared by the const lookups).
#ifndef TOLLAN_PLATFORM_PST_READBACK_NODE_READER_H_
#define TOLLAN_PLATFORM_PST_READBACK_NODE_READER_H_

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/check/source.h"

namespace pst::readback {

class NodeReader {
 public:
  explicit NodeReader(const check::Source& source) : source_(source) {}

  // Reads the header. False with *error when the source is not a Unicode
  // PST whose blocks can be decoded.
  bool Open(std::string* error);

  // The data and subnode trees of node `nid` (from the NBT).
  bool FindNode(uint32_t nid, check::Subnode* node) const;

  // The bytes of block `bid` (decoded when external), in place: valid until
  // the next read through this reader. False when the block is missing or
  // larger than a block can be.
  bool BlockView(uint64_t bid, const uint8_t** data, size_t* size) const;

  // Hands the decoded external blocks of a data tree to `take`, in order,
  // one at a time, in place (valid during the call; `take` must not read
  // through this reader). False when a block is missing or malformed, or
  // when `take` returns false.
  bool ForEachBlock(uint64_t bid, const std::function<bool(const uint8_t*, size_t)>& take) const;
  // The same without reading the external blocks: their ids, in order.
  // `take` may read through this reader, but not walk another data tree.
  bool ForEachBlockId(uint64_t bid, const std::function<bool(uint64_t)>& take) const;

 private:
  using Page = std::array<uint8_t, 512>;
  // Bytes of the file from `start`, read ahead in one call.
  struct Window {
    uint64_t start = 0;
    std::vector<uint8_t> bytes;
  };
  struct Frame {
    uint64_t bid;
    int depth;
  };
  // n bytes at offset, in place in `window`, refilled when needed; valid
  // until the window's next refill. Null past the end or on a read error.
  const uint8_t* WindowAt(Window* window, uint64_t offset, size_t n) const;
  // The last leaf page found in a B-tree, and the keys that lead to it.
  struct Leaf {
    Page page;
    uint64_t lo = 0, hi = 0;   // [lo, hi)
    uint8_t c_ent = 0, cb_ent = 0;
    bool valid = false;
  };
  // The leaf entry with `key` in the NBT (nbt) or BBT, copied to *entry.
  bool Lookup(bool nbt, uint64_t key, uint8_t* entry) const;
  // A page of the NBT (nbt) or BBT, through the cache.
  const Page* ReadPage(bool nbt, uint64_t ib) const;

  const check::Source& source_;
  check::Header header_;
  mutable std::unordered_map<uint64_t, Page> pages_;   // bounded: cleared when full
  // The pages of each B-tree lie together, apart from the other's.
  mutable Window page_windows_[2];   // BBT, NBT
  mutable Window block_window_;
  mutable Leaf leaves_[2];           // BBT, NBT
  mutable std::vector<uint8_t> decoded_;       // a permuted block, decoded
  mutable std::vector<Frame> data_stack_;      // ForEachBlock's walk
};

}  // namespace pst::readback

#endif  // TOLLAN_PLATFORM_PST_READBACK_NODE_READER_H_
