// IndexTree: the shape of a DBX index tree over a sequence of records, planned
// before any byte is written. Nodes hold up to `fan_out` entries; every node
// has a first child (the subtree in front of entry 0) and each entry a child
// (the subtree after it), as in a B-tree. Items are numbered in the tree's
// in-order sequence (first child, entry 0, its child, entry 1, ...), which is
// how Outlook Express keeps its indexes sorted.
//
// Two readings of the same tree differ: the folder list delivers each entry
// before the subtree that follows it (the in-order sequence), a folder file
// delivers it after that subtree. WalkOrder() gives both.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_INDEX_TREE_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_INDEX_TREE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/dbxgen/layout.h"
#include "tests/support/dbxgen/status.h"

namespace dbxgen {

struct TreeOptions {
  enum class Shape {
    kBalanced,  // as few levels as the fan-out allows
    kChain,     // one entry per node, each node the first child of the one
                // before: as many levels as there are records
  };
  std::size_t fan_out = kUsualNodeEntries;  // entries per node, 1 to 52
  Shape shape = Shape::kBalanced;
};

enum class WalkKind {
  kFolderFile,  // child subtree, then the entry's record
  kFolderList,  // the entry's record, then its child subtree
};

class IndexTree {
 public:
  struct Entry {
    std::size_t item = 0;  // record number in in-order sequence
    int child = -1;        // node index, -1 for none
  };
  struct Node {
    uint32_t offset = 0;
    int parent = -1;
    int first_child = -1;
    std::size_t items = 0;  // records in this node's subtree
    std::vector<Entry> entries;
  };

  // Plans a tree over `item_count` records. Nodes are numbered in pre-order,
  // root first. An empty tree has no nodes.
  static Result<IndexTree> Plan(std::size_t item_count, const TreeOptions& options);

  // Gives the nodes consecutive offsets from `base` in pre-order and returns
  // the offset after the last node. A node takes 636 bytes (51 slots, as
  // Outlook Express allocates them) or 648 bytes when it holds 52 entries.
  uint64_t AssignOffsets(uint64_t base);

  // The bytes of node `index`; `record_offsets[item]` is where record `item` lies.
  std::string NodeBytes(std::size_t index, const std::vector<uint32_t>& record_offsets) const;

  // Records in the order a walk of the given kind delivers them.
  std::vector<std::size_t> WalkOrder(WalkKind kind) const;

  static std::size_t NodeSize(std::size_t entry_count);

  const std::vector<Node>& nodes() const { return nodes_; }
  uint32_t root_offset() const { return nodes_.empty() ? 0 : nodes_[0].offset; }
  std::size_t depth() const { return depth_; }

 private:
  int BuildBalanced(std::size_t first_item, std::size_t count, std::size_t fan_out, int parent,
                    std::size_t level);
  std::size_t ItemsOf(int node) const { return node < 0 ? 0 : nodes_[node].items; }
  uint32_t OffsetOf(int node) const { return node < 0 ? 0 : nodes_[node].offset; }

  std::vector<Node> nodes_;
  std::size_t depth_ = 0;
};

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_INDEX_TREE_H_
