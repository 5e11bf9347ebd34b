// B-tree lookups and data-tree reads for reading a PST back.
#include "platform/pst/readback/node_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/pst/check/crc.h"
#include "platform/pst/check/format.h"
#include "platform/pst/check/report.h"

namespace pst::readback {

using namespace pst::check;

namespace {
constexpr size_t kMaxCachedPages = 1024;   // 512 KB
constexpr int kMaxDepth = 8;
constexpr size_t kPageWindow = 16 << 10;
constexpr size_t kBlockWindow = 512 << 10;
// How far a block window reaches back from the read that refills it: the
// writer puts a message's property context after its other blocks, so the
// reads that follow a miss go back as well as forward.
constexpr size_t kBlockWindowBehind = 64 << 10;
}  // namespace

bool NodeReader::Open(std::string* error) {
  Report report;
  NdbChecker header_reader(source_, &report);
  if (!header_reader.ReadHeader()) {
    *error = report.fatal;
    return false;
  }
  header_ = header_reader.header();
  if (!header_reader.CanDecode()) {
    *error = "the file's blocks are encoded in a way that cannot be read back";
    return false;
  }
  return true;
}

const uint8_t* NodeReader::WindowAt(Window* window, uint64_t offset, size_t n) const {
  const uint64_t size = source_.size();
  if (offset > size || n > size - offset) return nullptr;
  if (offset < window->start || offset + n > window->start + window->bytes.size()) {
    const bool pages = window != &block_window_;
    const size_t want = pages ? kPageWindow : kBlockWindow;
    const uint64_t start = offset - std::min<uint64_t>(offset, pages ? 0 : kBlockWindowBehind);
    const size_t len = static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(want, offset - start + n), size - start));
    window->bytes.resize(len);
    if (!source_.ReadAt(start, window->bytes.data(), len)) {
      window->bytes.clear();
      return nullptr;
    }
    window->start = start;
  }
  return window->bytes.data() + (offset - window->start);
}

const NodeReader::Page* NodeReader::ReadPage(bool nbt, uint64_t ib) const {
  auto it = pages_.find(ib);
  if (it != pages_.end()) return &it->second;
  const uint8_t* bytes = ib % kPageSize == 0 ? WindowAt(&page_windows_[nbt ? 1 : 0], ib, kPageSize) : nullptr;
  if (bytes == nullptr) return nullptr;
  if (pages_.size() >= kMaxCachedPages) pages_.clear();
  Page& page = pages_[ib];
  std::memcpy(page.data(), bytes, page.size());
  return &page;
}

bool NodeReader::Lookup(bool nbt, uint64_t key, uint8_t* entry) const {
  // Keys looked up one after another mostly share a leaf: one in the last
  // leaf's range is found there without walking down from the root.
  Leaf& leaf = leaves_[nbt ? 1 : 0];
  if (!leaf.valid || key < leaf.lo || key >= leaf.hi) {
    const uint8_t ptype = nbt ? kPtypeNbt : kPtypeBbt;
    uint64_t ib = nbt ? header_.nbt.ib : header_.bbt.ib;
    uint64_t lo = 0, hi = UINT64_MAX;
    leaf.valid = false;
    for (int depth = 0;; ++depth) {
      const Page* page = depth < kMaxDepth ? ReadPage(nbt, ib) : nullptr;
      if (page == nullptr) return false;
      const uint8_t* p = page->data();
      if (p[kPageTrailerOffset] != ptype) return false;
      const uint8_t c_ent = p[488], cb_ent = p[490], level = p[491];
      const uint8_t want = level > 0 ? kBtEntrySize : (nbt ? kNbtEntrySize : kBtEntrySize);
      if (cb_ent != want || size_t{c_ent} * cb_ent > kBtEntriesSize) return false;
      if (level == 0) {
        leaf = {*page, lo, hi, c_ent, cb_ent, true};
        break;
      }
      // The last child whose first key is not above `key`; every key from
      // its key to the next child's takes the same way down.
      int child = -1;
      for (int i = 0; i < c_ent && Le64(p + i * cb_ent) <= key; ++i) child = i;
      if (child < 0) return false;
      lo = std::max(lo, Le64(p + child * cb_ent));
      if (child + 1 < c_ent) hi = std::min(hi, Le64(p + (child + 1) * cb_ent));
      ib = Le64(p + child * cb_ent + 16);
    }
  }
  const uint8_t* p = leaf.page.data();
  for (int i = 0; i < leaf.c_ent; ++i) {
    if (Le64(p + i * leaf.cb_ent) == key) {
      std::memcpy(entry, p + i * leaf.cb_ent, leaf.cb_ent);
      return true;
    }
  }
  return false;
}

bool NodeReader::FindNode(uint32_t nid, Subnode* node) const {
  uint8_t e[kNbtEntrySize];
  if (!Lookup(true, nid, e)) return false;
  node->bid_data = Le64(e + 8);
  node->bid_sub = Le64(e + 16);
  return true;
}

bool NodeReader::BlockView(uint64_t bid, const uint8_t** data, size_t* size) const {
  uint8_t e[kBtEntrySize];
  if (!Lookup(false, bid & ~kBidReserved, e)) return false;
  const uint64_t ib = Le64(e + 8);
  const uint16_t cb = Le16(e + 16);
  if (cb > kMaxBlockData) return false;
  const uint8_t* bytes = WindowAt(&block_window_, ib, cb);
  if (bytes == nullptr) return false;
  if (!(bid & kBidInternal) && header_.crypt_method == kCryptPermute) {
    decoded_.assign(bytes, bytes + cb);
    DecodePermute(decoded_.data(), cb);
    bytes = decoded_.data();
  }
  *data = bytes;
  *size = cb;
  return true;
}

bool NodeReader::ForEachBlockId(uint64_t bid, const std::function<bool(uint64_t)>& take) const {
  std::vector<Frame>& stack = data_stack_;
  stack.assign(1, Frame{bid, 0});
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    if (f.depth > 2) return false;
    if (!(f.bid & kBidInternal)) {
      if (!take(f.bid)) return false;
      continue;
    }
    // XBLOCK (level 1) or XXBLOCK (level 2): the child bids, in order.
    const uint8_t* b = nullptr;
    size_t n = 0;
    if (!BlockView(f.bid, &b, &n) || n < 8 || b[0] != kBtypeXBlock || b[1] < 1 || b[1] > 2) return false;
    const size_t c_ent = Le16(b + 2);
    if (n < 8 + 8 * c_ent) return false;
    for (size_t i = c_ent; i-- > 0;) stack.push_back({Le64(b + 8 + 8 * i), f.depth + 1});
  }
  return true;
}

bool NodeReader::ForEachBlock(uint64_t bid,
                              const std::function<bool(const uint8_t*, size_t)>& take) const {
  return ForEachBlockId(bid, [&](uint64_t block) {
    const uint8_t* b = nullptr;
    size_t n = 0;
    return BlockView(block, &b, &n) && take(b, n);
  });
}

}  // namespace pst::readback
