// Heaps and their BTrees read in place.
#include "platform/pst/readback/heap_view.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/pst/check/format.h"
#include "platform/pst/check/subnode_tree.h"

namespace pst::readback {

using namespace pst::check;

namespace {

constexpr size_t kMaxPages = (64u << 20) / 8192;   // 64 MB, as the checker's heap reader
constexpr size_t kMaxRecords = 1u << 20;
constexpr int kMaxLevels = 8;

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%" PRIx64, v);
  return buf;
}

// A little-endian key of up to 8 bytes as a number: keys compare as these do.
uint64_t Key(const uint8_t* p, size_t n) {
  uint64_t k = 0;
  for (size_t i = n; i-- > 0;) k = (k << 8) | p[i];
  return k;
}

}  // namespace

bool HeapView::Load(const NodeReader& ndb, const Subnode& node, std::string* error) {
  ndb_ = &ndb;
  page_count_ = 0;
  page_bids_.clear();
  subnodes_.clear();
  const bool listed = ndb.ForEachBlockId(node.bid_data, [this](uint64_t bid) {
    page_bids_.push_back(bid);
    return page_bids_.size() <= kMaxPages;
  });
  if (!listed || page_bids_.empty()) {
    *error = "data tree cannot be read";
    return false;
  }
  if (!ReadSubnodeTree(
          node.bid_sub, [&ndb](uint64_t bid, const uint8_t** d, size_t* n) { return ndb.BlockView(bid, d, n); },
          [this](uint32_t nid, const Subnode& s) { subnodes_.emplace_back(nid, s); })) {
    *error = "subnode tree cannot be read";
    return false;
  }
  // Stable, so that of two entries with one nid the later counts, as in the
  // checker's map.
  std::stable_sort(subnodes_.begin(), subnodes_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (pages_.size() < page_bids_.size()) pages_.resize(page_bids_.size());
  loaded_.assign(page_bids_.size(), 0);
  page_count_ = page_bids_.size();
  if (!LoadPage(0, error)) {
    page_count_ = 0;
    return false;
  }
  client_sig_ = pages_[0][3];
  user_root_ = Le32(&pages_[0][4]);
  return true;
}

bool HeapView::LoadPage(size_t i, std::string* error) const {
  if (loaded_[i]) return true;
  const uint8_t* data = nullptr;
  size_t n = 0;
  if (!ndb_->BlockView(page_bids_[i], &data, &n)) {
    *error = "heap page " + std::to_string(i) + " cannot be read";
    return false;
  }
  pages_[i].assign(data, data + n);
  if (!CheckPage(i, error)) return false;
  loaded_[i] = 1;
  return true;
}

bool HeapView::CheckPage(size_t i, std::string* error) const {
  const std::vector<uint8_t>& p = pages_[i];
  const size_t header = i == 0 ? 12 : (i >= 8 && (i - 8) % 128 == 0 ? 66 : 2);
  const std::string where = "heap page " + std::to_string(i);
  if (p.size() < header) {
    *error = where + " is shorter than its header";
    return false;
  }
  if (i == 0 && p[2] != kHnSig) {
    *error = "HNHDR bSig is " + Hex(p[2]) + ", expected 0xec";
    return false;
  }
  const size_t ib_hnpm = Le16(&p[0]);
  if (ib_hnpm % 2 != 0 || ib_hnpm < header || ib_hnpm + 4 > p.size()) {
    *error = where + ": ibHnpm " + std::to_string(ib_hnpm) + " is outside the page";
    return false;
  }
  const size_t c_alloc = Le16(&p[ib_hnpm]);
  const size_t c_free = Le16(&p[ib_hnpm + 2]);
  if (ib_hnpm + 4 + 2 * (c_alloc + 1) > p.size()) {
    *error = where + ": HNPAGEMAP with " + std::to_string(c_alloc) + " allocations runs past the page";
    return false;
  }
  if (c_free > c_alloc) {
    *error = where + ": cFree " + std::to_string(c_free) + " exceeds cAlloc " + std::to_string(c_alloc);
    return false;
  }
  const uint8_t* offs = &p[ib_hnpm + 4];
  if (Le16(offs) != header) {
    *error = where + ": first allocation at " + std::to_string(Le16(offs)) + ", expected " + std::to_string(header);
    return false;
  }
  for (size_t k = 1; k <= c_alloc; ++k) {
    if (Le16(offs + 2 * k) < Le16(offs + 2 * (k - 1))) {
      *error = where + ": rgibAlloc out of order at entry " + std::to_string(k);
      return false;
    }
  }
  if (Le16(offs + 2 * c_alloc) > ib_hnpm) {
    *error = where + ": allocations overlap the HNPAGEMAP";
    return false;
  }
  return true;
}

bool HeapView::Get(uint32_t hid, const uint8_t** data, size_t* size, std::string* error) const {
  const size_t page = hid >> 16;
  const size_t index = (hid >> 5) & 0x7FF;
  if (hid == 0 || (hid & kNidTypeMask) != kNidTypeHid) {
    *error = "HID " + Hex(hid) + " is not a heap id";
    return false;
  }
  if (page < page_count_ && index > 0) {
    if (!LoadPage(page, error)) return false;
    // The page is checked: its map lies inside it, in order.
    const std::vector<uint8_t>& p = pages_[page];
    const uint8_t* map = &p[Le16(&p[0])];
    if (index <= Le16(map)) {
      const size_t from = Le16(map + 4 + 2 * (index - 1)), to = Le16(map + 4 + 2 * index);
      *data = p.data() + from;
      *size = to - from;
      return true;
    }
  }
  *error = "HID " + Hex(hid) + " names no allocation of the heap";
  return false;
}

const Subnode* HeapView::FindSubnode(uint32_t nid) const {
  auto it = std::upper_bound(subnodes_.begin(), subnodes_.end(), nid,
                             [](uint32_t n, const auto& e) { return n < e.first; });
  if (it == subnodes_.begin() || (it - 1)->first != nid) return nullptr;
  return &(it - 1)->second;
}

bool HeapView::ForEachRecord(uint32_t hid, uint8_t key_size, uint8_t data_size,
                             const std::function<bool(const uint8_t* key, const uint8_t* data)>& take,
                             std::string* error) const {
  const uint8_t* h = nullptr;
  size_t n = 0;
  if (!Get(hid, &h, &n, error)) return false;
  if (n != 8 || h[0] != kClientBth) {
    *error = "BTHHEADER at " + Hex(hid) + " is not a BTH header";
    return false;
  }
  if (h[1] != key_size || h[2] != data_size || key_size == 0 || key_size > 8) {
    *error = "BTH key/data sizes " + std::to_string(h[1]) + "/" + std::to_string(h[2]) + ", expected " +
             std::to_string(key_size) + "/" + std::to_string(data_size);
    return false;
  }
  const int levels = h[3];
  const uint32_t root = Le32(h + 4);
  if (root == 0) return true;
  if (levels > kMaxLevels) {
    *error = "BTH with " + std::to_string(levels) + " index levels";
    return false;
  }
  // Depth first in key order. Keys rise strictly from record to record, so
  // a node reached twice fails at its first record and the walk is bounded.
  size_t records = 0;
  uint64_t last = 0;
  stack_.assign(1, Frame{root, levels, 0});
  while (!stack_.empty()) {
    const Frame f = stack_.back();
    stack_.pop_back();
    const uint8_t* node = nullptr;
    if (!Get(f.hid, &node, &n, error)) return false;
    const size_t rec = key_size + (f.level > 0 ? 4 : data_size);
    if (n == 0 || n % rec != 0) {
      *error = "BTH node " + Hex(f.hid) + " of " + std::to_string(n) + " bytes is not a whole number of " +
               std::to_string(rec) + "-byte records";
      return false;
    }
    if (Key(node, key_size) < f.lo) {
      *error = "BTH node " + Hex(f.hid) + " holds keys below its index entry";
      return false;
    }
    const size_t count = n / rec;
    if (f.level > 0) {
      for (size_t i = 1; i < count; ++i) {
        if (Key(node + i * rec, key_size) <= Key(node + (i - 1) * rec, key_size)) {
          *error = "BTH index keys out of order";
          return false;
        }
      }
      for (size_t i = count; i-- > 0;) {
        const uint8_t* r = node + i * rec;
        stack_.push_back({Le32(r + key_size), f.level - 1, Key(r, key_size)});
      }
      continue;
    }
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* r = node + i * rec;
      const uint64_t key = Key(r, key_size);
      if (records > 0 && key <= last) {
        *error = "BTH keys out of order";
        return false;
      }
      if (++records > kMaxRecords) {
        *error = "BTH with more than a million records";
        return false;
      }
      last = key;
      if (!take(r, r + key_size)) return true;
    }
  }
  return true;
}

}  // namespace pst::readback
