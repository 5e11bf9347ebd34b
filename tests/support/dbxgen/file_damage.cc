// Node faults shared by both kinds of file; see file_damage.h.
#include "tests/support/dbxgen/file_damage.h"

#include <algorithm>

#include "tests/support/dbxgen/bytes.h"
#include "tests/support/dbxgen/layout.h"

namespace dbxgen {

Status DamageNodes(const FileDamage& damage, std::vector<std::string>& nodes) {
  if (nodes.empty()) return Status::Ok();
  if (damage.cyclic_tree) {
    // The last node is a leaf; its first child becomes the root.
    PutU32(nodes.back(), 0x08, GetU32(nodes.front(), 0x00));
  }
  if (damage.overfull_node) {
    auto full = std::find_if(nodes.begin(), nodes.end(), [](const std::string& node) {
      return static_cast<unsigned char>(node[0x11]) == kMaxNodeEntries;
    });
    if (full == nodes.end()) {
      return Status::Error("overfull-node damage needs a node of 52 entries "
                           "(fan-out 52 and at least 52 records)");
    }
    (*full)[0x11] = 60;
  }
  return Status::Ok();
}

uint32_t RootOffsetToWrite(const FileDamage& damage, uint32_t root) {
  if (damage.root_offset) return *damage.root_offset;
  if (damage.root_into_node && root != 0) return root + 12;
  return root;
}

std::optional<uint64_t> CutLength(const FileDamage& damage, uint64_t length) {
  std::optional<uint64_t> cut;
  if (damage.cut_half) cut = length / 2;
  if (damage.truncate_to && *damage.truncate_to < length && (!cut || *damage.truncate_to < *cut)) {
    cut = *damage.truncate_to;
  }
  if (damage.cut_tail) {
    uint64_t tail = *damage.cut_tail < length ? length - *damage.cut_tail : 0;
    if (!cut || tail < *cut) cut = tail;
  }
  return cut;
}

}  // namespace dbxgen
