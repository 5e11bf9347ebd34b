// Iterative in-order walk of a DBX index tree with a visited set.
#include "reader/dbx/index_walk.h"

#include <unordered_set>
#include <vector>

#include "reader/dbx/format.h"

namespace dbx {
namespace {

// One node on the walk's stack and how far its handling has come.
struct Frame {
  DbxIndexNode node;
  bool first_child_done = false;
  size_t next_entry = 0;       // the entry to handle next
  bool entry_child_done = false;  // messages order: next_entry's child walked
};

}  // namespace

DbxStatus WalkIndex(ByteSource& source, uint32_t root_offset, IndexOrder order,
                    const RecordVisitor& visit) {
  std::unordered_set<uint32_t> seen;
  std::vector<Frame> stack;

  // Reads the node at `offset` and pushes it when it is valid and new.
  auto enter = [&](uint32_t offset) -> DbxStatus {
    if (!seen.insert(offset).second) return DbxStatus::Ok();
    uint8_t bytes[kIndexNodeSize];
    DbxStatus s = source.Read(offset, sizeof(bytes), bytes);
    if (!s.ok()) return s;
    Frame frame;
    frame.node = DecodeIndexNode(bytes);
    if (frame.node.own_offset == offset) stack.push_back(frame);
    return DbxStatus::Ok();
  };

  DbxStatus s = enter(root_offset);
  while (s.ok() && !stack.empty()) {
    Frame& top = stack.back();
    uint32_t child = 0;
    if (!top.first_child_done) {
      top.first_child_done = true;
      child = top.node.first_child;
    } else if (top.next_entry >= top.node.UsableEntries()) {
      stack.pop_back();
      continue;
    } else {
      const DbxIndexEntry entry = top.node.entries[top.next_entry];
      if (order == IndexOrder::kFolders) {
        ++top.next_entry;
        s = visit(entry.record_offset);
        child = entry.child_offset;
      } else if (!top.entry_child_done) {
        top.entry_child_done = true;
        child = entry.child_offset;
      } else {
        top.entry_child_done = false;
        ++top.next_entry;
        s = visit(entry.record_offset);
      }
    }
    // `top` may dangle after enter() grows the stack; it is not used again.
    if (s.ok() && child != 0) s = enter(child);
  }
  return s;
}

}  // namespace dbx
