// ReadBack: an independent reader of what the node database writer produced,
// for tests. It loads the whole file, checks the header, every page and block
// trailer, the B-trees, the allocation maps (recomputed from the blocks and
// pages found), the density list and the block reference counts, and reads
// node contents back.
#ifndef TOLLAN_TESTS_PLATFORM_PST_NDB_READ_BACK_H_
#define TOLLAN_TESTS_PLATFORM_PST_NDB_READ_BACK_H_

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "platform/pst/ndb/ndb_writer.h"

namespace pst::ndb::testing {

struct NodeRef {
  Nid parent = 0;
  Bid data = 0;
  Bid sub = 0;
};

struct BlockRef {
  uint64_t ib = 0;
  uint16_t cb = 0;
  uint16_t cref = 0;
};

// A node's content read back: its data and its subnodes by id.
struct Content {
  std::vector<uint8_t> data;
  std::map<Nid, Content> subnodes;
  bool operator==(const Content&) const = default;
};

// The same shape built from what a test handed to the writer.
Content ToContent(const NodeData& d);

class ReadBack {
 public:
  ReadBack() = default;
  ReadBack(const ReadBack&) = delete;
  ReadBack& operator=(const ReadBack&) = delete;
  ~ReadBack();

  // Loads `path`; any structural fault found is returned as an error naming it.
  Status Open(const std::string& path);

  const std::map<Nid, NodeRef>& nodes() const { return nodes_; }
  const std::map<Bid, BlockRef>& blocks() const { return blocks_; }
  uint32_t rgnid(int type) const { return rgnid_[type]; }
  uint64_t file_eof() const { return file_eof_; }
  uint64_t amap_free() const { return amap_free_; }
  int nbt_depth() const { return nbt_depth_; }
  int bbt_depth() const { return bbt_depth_; }
  std::span<const uint8_t> bytes() const { return f_; }

  Status ReadNode(Nid nid, Content* out) const;
  Status ReadData(Bid bid, std::vector<uint8_t>* out) const;

 private:
  Status CheckHeader();
  Status WalkTree(uint64_t bid, uint64_t ib, uint8_t ptype, int level_expected, uint64_t min_key,
                  int* depth);
  Status CheckPage(uint64_t ib, uint8_t ptype, uint64_t bid) const;
  Status Block(Bid bid, const uint8_t** data, uint16_t* cb) const;
  Status ReadSubnodes(Bid bid, std::map<Nid, Content>* out) const;
  Status CountRefs(Bid bid, bool subnode_tree, std::map<Bid, uint32_t>* refs) const;
  Status CheckMaps();
  void Use(uint64_t ib, uint64_t size);

  std::span<const uint8_t> f_;  // the file, mapped read-only
  uint32_t rgnid_[32] = {};
  uint64_t file_eof_ = 0, amap_last_ = 0, amap_free_ = 0, pmap_free_ = 0;
  uint64_t nbt_bid_ = 0, nbt_ib_ = 0, bbt_bid_ = 0, bbt_ib_ = 0, next_b_ = 0, next_p_ = 0;
  int nbt_depth_ = 0, bbt_depth_ = 0;
  std::map<Nid, NodeRef> nodes_;
  std::map<Bid, BlockRef> blocks_;
  std::vector<uint64_t> pages_;   // B-tree pages seen
  std::vector<uint8_t> used_;     // recomputed AMap bits, one byte per 64-byte unit
  std::string overlap_;
};

}  // namespace pst::ndb::testing

#endif  // TOLLAN_TESTS_PLATFORM_PST_NDB_READ_BACK_H_
