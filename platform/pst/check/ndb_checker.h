// NdbChecker: checks the node database layer of a Unicode PST file — the
// header, the two B-trees (NBT and BBT), every block with its trailer, data
// trees and subnode trees, block reference counts, and the allocation maps
// (AMap, PMap, FMap, FPMap, density list) — and afterwards serves the checked
// nodes and their data to the layers above.
#ifndef TOLLAN_PLATFORM_PST_CHECK_NDB_CHECKER_H_
#define TOLLAN_PLATFORM_PST_CHECK_NDB_CHECKER_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/pst/check/report.h"
#include "platform/pst/check/source.h"

namespace pst::check {

struct Bref {
  uint64_t bid = 0;
  uint64_t ib = 0;
};

// The fields of the Unicode HEADER and its ROOT that the checks use.
struct Header {
  uint16_t version = 0;
  uint16_t client_version = 0;
  uint8_t platform_create = 0, platform_access = 0;
  uint64_t bid_next_p = 0;
  uint64_t bid_next_b = 0;
  uint32_t rgnid[32] = {};
  uint64_t ib_file_eof = 0;
  uint64_t ib_amap_last = 0;
  uint64_t cb_amap_free = 0;
  uint64_t cb_pmap_free = 0;
  Bref nbt, bbt;
  uint8_t amap_valid = 0;
  uint8_t sentinel = 0;
  uint8_t crypt_method = 0;
};

// A BBT leaf entry, with the offset of the page that holds it.
struct BlockEntry {
  uint64_t bid = 0;
  uint64_t ib = 0;
  uint16_t cb = 0;
  uint16_t cref = 0;
  uint64_t page = 0;
};

// An NBT leaf entry, with the offset of the page that holds it.
struct NodeEntry {
  uint64_t nid = 0;
  uint64_t bid_data = 0;
  uint64_t bid_sub = 0;
  uint32_t nid_parent = 0;
  uint64_t page = 0;
};

// A subnode (SLENTRY).
struct Subnode {
  uint64_t bid_data = 0;
  uint64_t bid_sub = 0;
};

// What the lists, tables and properties layer reads nodes through: the data
// and subnode trees of a node, by their block ids. The checker serves them
// from the B-trees it has checked; a reader may look them up as it goes.
class NodeSource {
 public:
  virtual ~NodeSource() = default;
  // The decoded contents of a data tree's external blocks, in order. False
  // when a block is missing or malformed or the total passes `limit` bytes.
  virtual bool ReadData(uint64_t bid, uint64_t limit, std::vector<std::vector<uint8_t>>* blocks) const = 0;
  // A subnode tree as nid -> subnode. False like ReadData.
  virtual bool ReadSubnodes(uint64_t bid, std::map<uint32_t, Subnode>* out) const = 0;
};

class NdbChecker : public NodeSource {
 public:
  NdbChecker(const Source& source, Report* report);

  // Reads the header. False (with report->fatal set) when the source is not a
  // Unicode PST at all; header field faults are reported as problems.
  bool ReadHeader();
  // Runs every node-database check, adding problems to the report.
  void CheckAll();
  // Whether CheckAll lists every map page in report->map_pages (off by default).
  void set_list_map_pages(bool on) { list_map_pages_ = on; }

  const Header& header() const { return header_; }
  const std::map<uint64_t, NodeEntry>& nodes() const { return nodes_; }
  const NodeEntry* FindNode(uint64_t nid) const;
  const BlockEntry* FindBlock(uint64_t bid) const;
  // True if external data can be decoded (no encoding or permutation).
  bool CanDecode() const;

  // Reads a data tree: the decoded contents of its external blocks in order.
  // Fails (quietly: structural faults are reported by CheckAll) when a block
  // is missing or malformed, or when the total passes `limit` bytes.
  bool ReadData(uint64_t bid, uint64_t limit, std::vector<std::vector<uint8_t>>* blocks) const override;
  // Reads a subnode tree into nid -> subnode. Quiet like ReadData.
  bool ReadSubnodes(uint64_t bid, std::map<uint32_t, Subnode>* out) const override;
  // Offset of the first data block of a data tree, for reporting (0 if none).
  uint64_t DataOffset(uint64_t bid) const;

 private:
  void CheckHeaderFields();
  void WalkBTree(bool nbt, const Bref& ref, int parent_level, uint64_t key_lo, uint64_t key_hi,
                 bool has_hi, int depth);
  void CheckBlocks();
  void CheckNodes();
  bool CheckDataTree(uint64_t bid, uint64_t from, const std::string& owner, int depth,
                     uint64_t* size);
  void CheckSubnodeTree(uint64_t bid, uint64_t from, const std::string& owner, int depth);
  bool Reference(uint64_t bid, uint64_t from, const std::string& owner, bool want_internal,
                 const BlockEntry** entry);
  void CheckRefCounts();
  void CheckCounters();
  void CheckMaps();
  void CheckDList(uint64_t amap_count);
  bool ReadBlockRaw(const BlockEntry& e, std::vector<uint8_t>* out) const;
  bool MarkUsed(uint64_t ib, uint64_t size, const std::string& what);
  bool IsUsed(uint64_t ib) const;
  bool ReadPage(uint64_t ib, uint8_t* page);
  bool CheckMapPage(uint64_t ib, uint8_t ptype, const char* name, uint8_t* page);
  std::string MapPageFault(uint64_t ib, uint8_t ptype, uint8_t* page) const;
  void CheckFPMaps(uint64_t amap_index);
  void ListMapPage(uint64_t ib, uint64_t amap_index, const char* kind);

  const Source& source_;
  Report* report_;
  Header header_;
  uint64_t eof_ = 0;   // the usable end: min(ibFileEof, real size)
  std::map<uint64_t, NodeEntry> nodes_;
  std::map<uint64_t, BlockEntry> blocks_;
  std::set<uint64_t> visited_pages_;
  uint64_t max_page_bid_ = 0;
  bool list_map_pages_ = false;
  std::unordered_map<uint64_t, uint32_t> refs_;          // bid -> references seen
  std::unordered_map<uint64_t, uint64_t> tree_sizes_;    // checked internal data trees
  std::set<uint64_t> bad_trees_;                         // internal blocks found malformed
  std::set<uint64_t> walked_subtrees_;                   // SLBLOCK/SIBLOCK already walked
  // 64-byte units in use, one bit each, most significant bit first: the
  // same layout as the AMap bytes, which start on a byte boundary (0x4400/64
  // and 3968 units per AMap are multiples of 8), so maps compare bytewise.
  std::vector<uint8_t> used_;
};

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_NDB_CHECKER_H_
