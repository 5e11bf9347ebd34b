// SLBLOCK and SIBLOCK decoding.
#include "platform/pst/check/subnode_tree.h"

#include <array>

#include "platform/pst/check/format.h"

namespace pst::check {

namespace {

// Reads block `bid` as a subnode block: its level (0 or 1), its entries and
// their size. False when it is not one or is shorter than its entries.
bool ReadSubnodeBlock(uint64_t bid, const BlockViewReader& read, int* level, const uint8_t** entries,
                      size_t* count, size_t* size) {
  const uint8_t* b = nullptr;
  size_t n = 0;
  if (!read(bid, &b, &n) || n < 8 || b[0] != kBtypeSBlock || b[1] > 1) return false;
  // SLENTRYs (level 0) are 24 bytes, SIENTRYs (level 1) 16.
  *level = b[1];
  *count = Le16(b + 2);
  *size = *level == 0 ? 24 : 16;
  *entries = b + 8;
  return n >= 8 + *size * *count;
}

}  // namespace

bool ReadSubnodeTree(uint64_t bid, const BlockViewReader& read,
                     const std::function<void(uint32_t nid, const Subnode& node)>& take) {
  if (bid == 0) return true;
  int level = 0;
  const uint8_t* e = nullptr;
  size_t count = 0, size = 0;
  if (!ReadSubnodeBlock(bid, read, &level, &e, &count, &size)) return false;
  if (level == 0) {
    for (size_t i = 0; i < count; ++i, e += size) take(Le32(e), Subnode{Le64(e + 8), Le64(e + 16)});
    return true;
  }
  // An SIBLOCK: its children's bids are kept before the first is read (a
  // read replaces the view). A block holds at most 510 SIENTRYs.
  std::array<uint64_t, kMaxBlockData / 16> children;
  if (count > children.size()) return false;
  for (size_t i = 0; i < count; ++i) children[i] = Le64(e + 16 * i + 8);
  for (size_t c = 0, n = count; c < n; ++c) {
    if (!ReadSubnodeBlock(children[c], read, &level, &e, &count, &size)) return false;
    // No deeper than two levels: an SIBLOCK below an SIBLOCK is read as
    // far as it names nothing.
    if (level == 1 && count > 0) return false;
    if (level == 1) continue;
    for (size_t i = 0; i < count; ++i, e += size) take(Le32(e), Subnode{Le64(e + 8), Le64(e + 16)});
  }
  return true;
}

}  // namespace pst::check
