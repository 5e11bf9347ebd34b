// Planning, layout and walk orders of index trees; see index_tree.h.
#include "tests/support/dbxgen/index_tree.h"

#include "tests/support/dbxgen/bytes.h"

namespace dbxgen {

namespace {

// Most records a tree of `height` levels holds with `fan_out` entries a node.
std::size_t Capacity(std::size_t fan_out, std::size_t height) {
  std::size_t capacity = 0;
  for (std::size_t level = 0; level < height; ++level) {
    if (capacity > (SIZE_MAX - fan_out) / (fan_out + 1)) return SIZE_MAX;
    capacity = capacity * (fan_out + 1) + fan_out;
  }
  return capacity;
}

}  // namespace

Result<IndexTree> IndexTree::Plan(std::size_t item_count, const TreeOptions& options) {
  if (options.fan_out < 1 || options.fan_out > kMaxNodeEntries) {
    return Status::Error("index fan-out must lie between 1 and 52, got " +
                         std::to_string(options.fan_out));
  }
  IndexTree tree;
  if (item_count == 0) return tree;
  if (options.shape == TreeOptions::Shape::kChain) {
    // Node k holds record count-1-k, so the in-order sequence runs from the
    // deepest node up to the root.
    tree.nodes_.resize(item_count);
    for (std::size_t k = 0; k < item_count; ++k) {
      Node& node = tree.nodes_[k];
      node.parent = k == 0 ? -1 : static_cast<int>(k - 1);
      node.first_child = k + 1 < item_count ? static_cast<int>(k + 1) : -1;
      node.items = item_count - k;
      node.entries.push_back(Entry{item_count - 1 - k, -1});
    }
    tree.depth_ = item_count;
    return tree;
  }
  tree.BuildBalanced(0, item_count, options.fan_out, -1, 1);
  return tree;
}

int IndexTree::BuildBalanced(std::size_t first_item, std::size_t count, std::size_t fan_out,
                             int parent, std::size_t level) {
  if (count == 0) return -1;
  if (level > depth_) depth_ = level;
  int index = static_cast<int>(nodes_.size());
  nodes_.emplace_back();
  nodes_[index].parent = parent;
  nodes_[index].items = count;

  std::size_t height = 1;
  while (Capacity(fan_out, height) < count) ++height;
  std::size_t child_capacity = Capacity(fan_out, height - 1);
  // Fewest entries m with m + (m + 1) * child_capacity >= count.
  std::size_t m = count;
  if (height > 1) {
    std::size_t over = count > child_capacity ? count - child_capacity : 0;
    m = (over + child_capacity) / (child_capacity + 1);
    if (m < 1) m = 1;
    if (m > fan_out) m = fan_out;
  }
  // The other records go to the m + 1 subtrees as evenly as possible.
  std::size_t rest = count - m;
  std::size_t groups = m + 1;
  std::size_t item = first_item;
  for (std::size_t g = 0; g < groups; ++g) {
    std::size_t size = rest / groups + (g < rest % groups ? 1 : 0);
    int child = BuildBalanced(item, size, fan_out, index, level + 1);
    item += size;
    if (g == 0) {
      nodes_[index].first_child = child;
    } else {
      nodes_[index].entries.back().child = child;
    }
    if (g < m) nodes_[index].entries.push_back(Entry{item++, -1});
  }
  return index;
}

std::size_t IndexTree::NodeSize(std::size_t entry_count) {
  std::size_t slots = entry_count > kUsualNodeEntries ? kMaxNodeEntries : kUsualNodeEntries;
  return kNodeHeadSize + slots * kNodeEntrySize;
}

uint64_t IndexTree::AssignOffsets(uint64_t base) {
  for (Node& node : nodes_) {
    node.offset = static_cast<uint32_t>(base);
    base += NodeSize(node.entries.size());
  }
  return base;
}

std::string IndexTree::NodeBytes(std::size_t index,
                                 const std::vector<uint32_t>& record_offsets) const {
  const Node& node = nodes_[index];
  std::string out(NodeSize(node.entries.size()), '\0');
  PutU32(out, 0x00, node.offset);
  PutU32(out, 0x08, OffsetOf(node.first_child));
  PutU32(out, 0x0C, OffsetOf(node.parent));
  out[0x11] = static_cast<char>(node.entries.size());
  PutU32(out, 0x14, static_cast<uint32_t>(ItemsOf(node.first_child)));
  std::size_t at = kNodeHeadSize;
  for (const Entry& entry : node.entries) {
    PutU32(out, at, record_offsets[entry.item]);
    PutU32(out, at + 4, OffsetOf(entry.child));
    PutU32(out, at + 8, static_cast<uint32_t>(ItemsOf(entry.child)));
    at += kNodeEntrySize;
  }
  return out;
}

std::vector<std::size_t> IndexTree::WalkOrder(WalkKind kind) const {
  std::vector<std::size_t> order;
  if (nodes_.empty()) return order;
  order.reserve(nodes_[0].items);
  // Explicit stack, so chains of any depth are walked.
  struct Frame {
    int node;
    std::size_t entry;  // next entry to handle
    bool started;       // first child pushed
    bool half;          // current entry: first half done
  };
  std::vector<Frame> stack{{0, 0, false, false}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const Node& node = nodes_[frame.node];
    if (!frame.started) {
      frame.started = true;
      if (node.first_child >= 0) stack.push_back({node.first_child, 0, false, false});
      continue;
    }
    if (frame.entry == node.entries.size()) {
      stack.pop_back();
      continue;
    }
    const Entry& entry = node.entries[frame.entry];
    if (!frame.half) {
      frame.half = true;
      if (kind == WalkKind::kFolderList) order.push_back(entry.item);
      if (entry.child >= 0) stack.push_back({entry.child, 0, false, false});
      continue;
    }
    if (kind == WalkKind::kFolderFile) order.push_back(entry.item);
    frame.half = false;
    ++frame.entry;
  }
  return order;
}

}  // namespace dbxgen
