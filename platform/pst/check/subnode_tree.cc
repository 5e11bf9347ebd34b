// SLBLOCK and SIBLOCK decoding.
#include "platform/pst/check/subnode_tree.h"

#include <utility>
#include <vector>

#include "platform/pst/check/format.h"

namespace pst::check {

bool ReadSubnodeTree(uint64_t bid, const BlockViewReader& read,
                     const std::function<void(uint32_t nid, const Subnode& node)>& take) {
  if (bid == 0) return true;
  std::vector<std::pair<uint64_t, int>> stack{{bid, 0}};
  while (!stack.empty()) {
    auto [block, depth] = stack.back();
    stack.pop_back();
    const uint8_t* b = nullptr;
    size_t n = 0;
    if (depth > 1 || !read(block, &b, &n)) return false;
    if (n < 8 || b[0] != kBtypeSBlock || b[1] > 1) return false;
    // SLENTRYs (level 0) are 24 bytes, SIENTRYs (level 1) 16.
    const size_t c_ent = Le16(b + 2);
    const size_t ent = b[1] == 0 ? 24 : 16;
    if (n < 8 + ent * c_ent) return false;
    for (size_t i = 0; i < c_ent; ++i) {
      const uint8_t* p = b + 8 + ent * i;
      if (b[1] == 1) {
        stack.push_back({Le64(p + 8), depth + 1});
      } else {
        take(Le32(p), Subnode{Le64(p + 8), Le64(p + 16)});
      }
    }
  }
  return true;
}

}  // namespace pst::check
