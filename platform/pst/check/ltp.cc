// Heap-on-node, BTree-on-heap, property context and table context readers.
#include "platform/pst/check/ltp.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <set>

#include "platform/pst/check/format.h"

namespace pst::check {
namespace {

constexpr uint64_t kHeapLimit = 64u << 20;     // a PC or TC heap larger than this is not read
constexpr uint64_t kValueLimit = 1u << 20;     // subnode values loaded for comparison
constexpr size_t kMaxRecords = 1u << 20;

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%" PRIx64, v);
  return buf;
}

// Size of a fixed-size property type, 0 for variable-size types, -1 unknown.
int FixedSize(uint16_t type) {
  switch (type) {
    case 0x0002: return 2;
    case 0x0003: case 0x0004: case 0x000A: return 4;
    case 0x000B: return 1;
    case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040: return 8;
    case 0x0048: return 16;
    case 0x001E: case 0x001F: case 0x0102: case 0x000D: case 0x00FB: case 0x00FD: case 0x00FE:
      return 0;
    case 0x1002: case 0x1003: case 0x1004: case 0x1005: case 0x1006: case 0x1007:
    case 0x1014: case 0x1040: case 0x1048: case 0x101E: case 0x101F: case 0x1102:
      return 0;
    default: return -1;
  }
}

// Element size of a fixed multi-value type, 0 for variable elements.
int MultiElementSize(uint16_t type) {
  return (type & 0x1000) && type != 0x101E && type != 0x101F && type != 0x1102
             ? FixedSize(static_cast<uint16_t>(type & 0x0FFF))
             : 0;
}

// Compares little-endian keys of equal size.
int CompareKeys(const Bytes& a, const Bytes& b) {
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

std::string TagName(uint32_t tag) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%08X", tag);
  return buf;
}

// Checks a variable-size value of `type`; empty when sound.
std::string CheckValue(uint16_t type, const Bytes& v) {
  if (type == 0x001F) return CheckUnicode(v);
  if (int elem = MultiElementSize(type); elem > 0) {
    if (v.size() % static_cast<size_t>(elem) != 0) return "multi-value size is not a whole number of elements";
    return "";
  }
  if (type == 0x101E || type == 0x101F || type == 0x1102) {
    if (v.empty()) return "";
    if (v.size() < 4) return "multi-value shorter than its count";
    uint64_t count = Le32(v.data());
    if (4 + 4 * count > v.size()) return "multi-value offsets run past the value";
    uint64_t prev = 4 + 4 * count;
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t off = Le32(v.data() + 4 + 4 * i);
      if (off < prev || off > v.size()) return "multi-value offsets out of order or out of range";
      if (type == 0x101F) {
        uint64_t end = i + 1 < count ? Le32(v.data() + 8 + 4 * i) : v.size();
        if (end >= off && (end - off) % 2 != 0) return "multi-value string of odd byte length";
      }
      prev = off;
    }
  }
  return "";
}

}  // namespace

std::string CheckUnicode(const Bytes& s) {
  if (s.size() % 2 != 0) return "UTF-16 string of odd byte length " + std::to_string(s.size());
  for (size_t i = 0; i < s.size(); i += 2) {
    uint16_t c = Le16(&s[i]);
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 2 >= s.size() || Le16(&s[i + 2]) < 0xDC00 || Le16(&s[i + 2]) > 0xDFFF) {
        return "UTF-16 string with an unpaired high surrogate at byte " + std::to_string(i);
      }
      i += 2;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return "UTF-16 string with an unpaired low surrogate at byte " + std::to_string(i);
    }
  }
  return "";
}

// ---------------------------------------------------------------- HN

bool Heap::Load(const NodeSource& ndb, uint64_t bid_data, uint64_t bid_sub, std::string* error) {
  ndb_ = &ndb;
  if (!ndb.ReadData(bid_data, kHeapLimit, &pages_) || pages_.empty()) {
    *error = "data tree cannot be read";
    return false;
  }
  if (!ndb.ReadSubnodes(bid_sub, &subnodes_)) {
    *error = "subnode tree cannot be read";
    return false;
  }
  return LoadPages(std::move(pages_), error);
}

bool Heap::LoadPages(std::vector<Bytes> pages, std::string* error) {
  pages_ = std::move(pages);
  if (pages_.empty()) {
    *error = "heap without pages";
    return false;
  }
  allocs_.clear();
  for (size_t i = 0; i < pages_.size(); ++i) {
    const Bytes& p = pages_[i];
    size_t header = i == 0 ? 12 : (i >= 8 && (i - 8) % 128 == 0 ? 66 : 2);
    std::string where = "heap page " + std::to_string(i);
    if (p.size() < header) {
      *error = where + " is shorter than its header";
      return false;
    }
    if (i == 0) {
      if (p[2] != kHnSig) {
        *error = "HNHDR bSig is " + Hex(p[2]) + ", expected 0xec";
        return false;
      }
      client_sig_ = p[3];
      user_root_ = Le32(&p[4]);
    }
    size_t ib_hnpm = Le16(&p[0]);
    if (ib_hnpm % 2 != 0 || ib_hnpm < header || ib_hnpm + 4 > p.size()) {
      *error = where + ": ibHnpm " + std::to_string(ib_hnpm) + " is outside the page";
      return false;
    }
    size_t c_alloc = Le16(&p[ib_hnpm]);
    size_t c_free = Le16(&p[ib_hnpm + 2]);
    if (ib_hnpm + 4 + 2 * (c_alloc + 1) > p.size()) {
      *error = where + ": HNPAGEMAP with " + std::to_string(c_alloc) + " allocations runs past the page";
      return false;
    }
    if (c_free > c_alloc) {
      *error = where + ": cFree " + std::to_string(c_free) + " exceeds cAlloc " + std::to_string(c_alloc);
      return false;
    }
    std::vector<uint16_t> offs(c_alloc + 1);
    for (size_t k = 0; k <= c_alloc; ++k) offs[k] = Le16(&p[ib_hnpm + 4 + 2 * k]);
    if (offs[0] != header) {
      *error = where + ": first allocation at " + std::to_string(offs[0]) + ", expected " + std::to_string(header);
      return false;
    }
    for (size_t k = 1; k <= c_alloc; ++k) {
      if (offs[k] < offs[k - 1]) {
        *error = where + ": rgibAlloc out of order at entry " + std::to_string(k);
        return false;
      }
    }
    if (offs[c_alloc] > ib_hnpm) {
      *error = where + ": allocations overlap the HNPAGEMAP";
      return false;
    }
    allocs_.push_back(std::move(offs));
  }
  return true;
}

bool Heap::Get(uint32_t hid, Bytes* out, std::string* error) const {
  if (hid == 0 || (hid & kNidTypeMask) != kNidTypeHid) {
    *error = "HID " + Hex(hid) + " is not a heap id";
    return false;
  }
  size_t page = hid >> 16;
  size_t index = (hid >> 5) & 0x7FF;
  // allocs_ holds only the pages that loaded soundly.
  if (page >= allocs_.size() || index == 0 || index >= allocs_[page].size()) {
    *error = "HID " + Hex(hid) + " names no allocation of the heap";
    return false;
  }
  const auto& offs = allocs_[page];
  out->assign(pages_[page].begin() + offs[index - 1], pages_[page].begin() + offs[index]);
  return true;
}

bool Heap::SubnodeBlocks(uint32_t nid, std::vector<Bytes>* blocks, std::string* error) const {
  auto it = subnodes_.find(nid);
  if (it == subnodes_.end()) {
    *error = "subnode " + Hex(nid) + " does not exist";
    return false;
  }
  if (!ndb_->ReadData(it->second.bid_data, kHeapLimit, blocks)) {
    *error = "subnode " + Hex(nid) + " data cannot be read";
    return false;
  }
  return true;
}

bool Heap::GetHnid(uint32_t hnid, uint64_t limit, Bytes* out, std::string* error) const {
  out->clear();
  if (hnid == 0) return true;
  if ((hnid & kNidTypeMask) == kNidTypeHid) return Get(hnid, out, error);
  auto it = subnodes_.find(hnid);
  if (it == subnodes_.end()) {
    *error = "value subnode " + Hex(hnid) + " does not exist";
    return false;
  }
  std::vector<Bytes> blocks;
  if (!ndb_->ReadData(it->second.bid_data, limit, &blocks)) {
    *error = "value subnode " + Hex(hnid) + " cannot be read within " + std::to_string(limit) + " bytes";
    return false;
  }
  for (const Bytes& b : blocks) out->insert(out->end(), b.begin(), b.end());
  return true;
}

// ---------------------------------------------------------------- BTH

bool ReadBth(const Heap& heap, uint32_t hid, uint8_t key_size, uint8_t data_size,
             std::vector<BthRecord>* records, std::string* error) {
  records->clear();
  Bytes h;
  if (!heap.Get(hid, &h, error)) return false;
  if (h.size() != 8 || h[0] != kClientBth) {
    *error = "BTHHEADER at " + Hex(hid) + " is not a BTH header";
    return false;
  }
  if (h[1] != key_size || h[2] != data_size) {
    *error = "BTH key/data sizes " + std::to_string(h[1]) + "/" + std::to_string(h[2]) + ", expected " +
             std::to_string(key_size) + "/" + std::to_string(data_size);
    return false;
  }
  int levels = h[3];
  uint32_t root = Le32(&h[4]);
  if (root == 0) return true;
  if (levels > 8) {
    *error = "BTH with " + std::to_string(levels) + " index levels";
    return false;
  }
  std::set<uint32_t> seen;
  // Depth-first walk in key order; each frame is (hid, level, low bound key).
  struct Frame { uint32_t hid; int level; Bytes lo; bool has_lo; };
  std::vector<Frame> stack{{root, levels, {}, false}};
  while (!stack.empty()) {
    Frame f = std::move(stack.back());
    stack.pop_back();
    if (!seen.insert(f.hid).second) {
      *error = "BTH node " + Hex(f.hid) + " is reached twice";
      return false;
    }
    Bytes node;
    if (!heap.Get(f.hid, &node, error)) return false;
    size_t rec = key_size + (f.level > 0 ? 4 : data_size);
    if (node.empty() || node.size() % rec != 0) {
      *error = "BTH node " + Hex(f.hid) + " of " + std::to_string(node.size()) +
               " bytes is not a whole number of " + std::to_string(rec) + "-byte records";
      return false;
    }
    size_t n = node.size() / rec;
    Bytes first(node.begin(), node.begin() + key_size);
    if (f.has_lo && CompareKeys(first, f.lo) < 0) {
      *error = "BTH node " + Hex(f.hid) + " holds keys below its index entry";
      return false;
    }
    std::vector<Frame> children;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* r = node.data() + i * rec;
      Bytes key(r, r + key_size);
      if (f.level > 0) {
        children.push_back({Le32(r + key_size), f.level - 1, key, true});
        continue;
      }
      if (!records->empty() && CompareKeys(key, records->back().key) <= 0) {
        *error = "BTH keys out of order";
        return false;
      }
      if (records->size() >= kMaxRecords) {
        *error = "BTH with more than a million records";
        return false;
      }
      records->push_back({std::move(key), Bytes(r + key_size, r + key_size + data_size)});
    }
    for (size_t i = 1; i < children.size(); ++i) {
      if (CompareKeys(children[i].lo, children[i - 1].lo) <= 0) {
        *error = "BTH index keys out of order";
        return false;
      }
    }
    for (size_t i = children.size(); i-- > 0;) stack.push_back(std::move(children[i]));
  }
  return true;
}

// ---------------------------------------------------------------- PC

bool ReadPc(const Heap& heap, PropMap* props, std::string* error, std::vector<std::string>* problems) {
  props->clear();
  if (heap.client_sig() != kClientPc) {
    *error = "heap client signature " + Hex(heap.client_sig()) + ", expected 0xbc (property context)";
    return false;
  }
  std::vector<BthRecord> records;
  if (!ReadBth(heap, heap.user_root(), 2, 6, &records, error)) {
    *error = "property context: " + *error;
    return false;
  }
  for (const BthRecord& r : records) {
    uint16_t id = Le16(r.key.data());
    uint16_t type = Le16(r.data.data());
    uint32_t hnid = Le32(r.data.data() + 2);
    uint32_t tag = (static_cast<uint32_t>(id) << 16) | type;
    PropValue v;
    v.type = type;
    int size = FixedSize(type);
    std::string err;
    if (size < 0) {
      problems->push_back("property " + TagName(tag) + " has an unknown type");
      continue;
    }
    if (size > 0 && size <= 4) {
      v.data.assign(r.data.begin() + 2, r.data.begin() + 2 + size);
    } else if (size > 4) {
      if (!heap.GetHnid(hnid, kValueLimit, &v.data, &err) || v.data.size() != static_cast<size_t>(size)) {
        problems->push_back("property " + TagName(tag) + ": " +
                            (err.empty() ? "value is " + std::to_string(v.data.size()) + " bytes, expected " +
                                               std::to_string(size)
                                         : err));
        continue;
      }
    } else if (!heap.GetHnid(hnid, kValueLimit, &v.data, &err)) {
      if ((hnid & kNidTypeMask) != kNidTypeHid && heap.subnodes().count(hnid)) {
        v.complete = false;   // exists, too large to compare
      } else {
        problems->push_back("property " + TagName(tag) + ": " + err);
        continue;
      }
    } else if (std::string bad = CheckValue(type, v.data); !bad.empty()) {
      problems->push_back("property " + TagName(tag) + ": " + bad);
    }
    (*props)[tag] = std::move(v);
  }
  return true;
}

// ---------------------------------------------------------------- TC

bool ReadTc(const Heap& heap, Table* table, std::string* error, std::vector<std::string>* problems) {
  table->columns.clear();
  table->rows.clear();
  if (heap.client_sig() != kClientTc) {
    *error = "heap client signature " + Hex(heap.client_sig()) + ", expected 0x7c (table context)";
    return false;
  }
  Bytes info;
  if (!heap.Get(heap.user_root(), &info, error)) return false;
  if (info.size() < 22 || info[0] != kClientTc) {
    *error = "TCINFO is malformed";
    return false;
  }
  size_t c_cols = info[1];
  if (info.size() != 22 + 8 * c_cols) {
    *error = "TCINFO size " + std::to_string(info.size()) + " does not fit " + std::to_string(c_cols) + " columns";
    return false;
  }
  uint16_t ib4 = Le16(&info[2]), ib2 = Le16(&info[4]), ib1 = Le16(&info[6]), ibm = Le16(&info[8]);
  uint32_t hid_row_index = Le32(&info[10]);
  uint32_t hnid_rows = Le32(&info[14]);
  if (!(ib4 <= ib2 && ib2 <= ib1 && ib1 <= ibm) || ibm != ib1 + (c_cols + 7) / 8) {
    *error = "TCINFO rgib offsets " + std::to_string(ib4) + "/" + std::to_string(ib2) + "/" +
             std::to_string(ib1) + "/" + std::to_string(ibm) + " are inconsistent";
    return false;
  }
  std::set<uint8_t> bits;
  for (size_t i = 0; i < c_cols; ++i) {
    const uint8_t* d = &info[22 + 8 * i];
    Column c{Le32(d), Le16(d + 4), d[6], d[7]};
    uint16_t type = c.tag & 0xFFFF;
    int fixed = FixedSize(type);
    size_t want = fixed > 0 && fixed <= 8 ? static_cast<size_t>(fixed) : 4;
    std::string col = "column " + TagName(c.tag);
    if (fixed < 0) problems->push_back(col + " has an unknown type");
    if (i > 0 && c.tag <= table->columns.back().tag) problems->push_back(col + " is out of tag order");
    if (c.cb != want) problems->push_back(col + ": cbData " + std::to_string(c.cb) + ", expected " + std::to_string(want));
    size_t lo = c.cb >= 4 ? 0 : (c.cb == 2 ? ib4 : ib2);
    size_t hi = c.cb >= 4 ? ib4 : (c.cb == 2 ? ib2 : ib1);
    if (c.ib < lo || c.ib + c.cb > hi) {
      *error = col + ": data at " + std::to_string(c.ib) + "+" + std::to_string(c.cb) +
               " lies outside its row section";
      return false;
    }
    if (c.bit >= c_cols || !bits.insert(c.bit).second) {
      *error = col + ": cell existence bit " + std::to_string(c.bit) + " is invalid or shared";
      return false;
    }
    table->columns.push_back(c);
  }
  auto find_col = [&](uint32_t tag) -> const Column* {
    for (const Column& c : table->columns) if (c.tag == tag) return &c;
    return nullptr;
  };
  const Column* row_id = find_col(0x67F20003);
  const Column* row_ver = find_col(0x67F30003);
  if (row_id == nullptr || row_id->ib != 0 || row_id->bit != 0 || row_ver == nullptr ||
      row_ver->ib != 4 || row_ver->bit != 1) {
    problems->push_back("columns PidTagLtpRowId/PidTagLtpRowVer are missing or misplaced");
  }

  std::vector<BthRecord> index;
  if (!ReadBth(heap, hid_row_index, 4, 4, &index, error)) {
    *error = "row index: " + *error;
    return false;
  }
  // The row matrix: a heap item, or a subnode whose data tree is a stream of
  // full blocks. Each block holds floor(8176 / row size) rows and every block
  // but the last is padded to 8176 bytes, so that row N lies at
  // (N / rows per block) * 8176 + (N % rows per block) * row size, where
  // readers of the stream look for it.
  std::vector<Bytes> row_blocks;
  size_t rows_per_block = 0;
  // Every row starts with its 4-byte row id.
  if (hnid_rows != 0 && ibm < 4) {
    *error = "rows of " + std::to_string(ibm) + " bytes cannot hold a row id";
    return false;
  }
  if (hnid_rows != 0) {
    if ((hnid_rows & kNidTypeMask) == kNidTypeHid) {
      row_blocks.emplace_back();
      if (!heap.Get(hnid_rows, &row_blocks[0], error)) {
        *error = "row matrix: " + *error;
        return false;
      }
      rows_per_block = std::max<size_t>(1, row_blocks[0].size() / ibm);
    } else {
      if (!heap.SubnodeBlocks(hnid_rows, &row_blocks, error)) {
        *error = "row matrix: " + *error;
        return false;
      }
      rows_per_block = kMaxBlockData / ibm;
      if (rows_per_block == 0) {
        *error = "rows of " + std::to_string(ibm) + " bytes do not fit a block";
        return false;
      }
    }
  }
  // Rows held by each block; a short block that is not the last is read as
  // far as it holds whole rows, so the rest of the table is still checked.
  std::vector<size_t> block_start;   // the number of the first row of each block
  size_t total_rows = 0;
  for (size_t i = 0; i < row_blocks.size(); ++i) {
    const Bytes& b = row_blocks[i];
    const bool last = i + 1 == row_blocks.size();
    if (last && b.size() % ibm != 0) {
      *error = "last row matrix block of " + std::to_string(b.size()) + " bytes is not whole rows of " +
               std::to_string(ibm);
      return false;
    }
    size_t n = std::min(b.size() / ibm, rows_per_block);
    if (!last && b.size() != kMaxBlockData) {
      problems->push_back("row matrix block " + std::to_string(i) + " of " + std::to_string(row_blocks.size()) +
                          " holds " + std::to_string(b.size()) + " bytes; every block but the last must be padded "
                          "to " + std::to_string(kMaxBlockData) + " bytes (" + std::to_string(rows_per_block) +
                          " rows of " + std::to_string(ibm) + "), or readers of the stream find the wrong rows");
    }
    block_start.push_back(total_rows);
    total_rows += n;
  }
  if (index.size() != total_rows) {
    *error = "row index lists " + std::to_string(index.size()) + " rows but the row matrix holds " +
             std::to_string(total_rows);
    return false;
  }
  std::vector<bool> used(total_rows, false);
  std::vector<Row> rows(total_rows);
  for (const BthRecord& r : index) {
    uint32_t id = Le32(r.key.data());
    uint32_t at = Le32(r.data.data());
    if (at >= total_rows || used[at]) {
      *error = "row index entry for row " + Hex(id) + " points at row " + std::to_string(at) +
               ", which is out of range or taken";
      return false;
    }
    used[at] = true;
    // Find the row by block, as the blocks hold it.
    const size_t block = std::upper_bound(block_start.begin(), block_start.end(), at) - block_start.begin() - 1;
    const uint8_t* row = row_blocks[block].data() + (at - block_start[block]) * ibm;
    Row out;
    out.id = id;
    if (Le32(row) != id) {
      problems->push_back("row " + std::to_string(at) + " holds row id " + Hex(Le32(row)) +
                          " but the row index says " + Hex(id));
    }
    for (const Column& c : table->columns) {
      if (!((row[ib1 + c.bit / 8] >> (7 - c.bit % 8)) & 1)) continue;
      PropValue v;
      v.type = c.tag & 0xFFFF;
      int fixed = FixedSize(v.type);
      if (fixed > 0 && fixed <= 8) {
        v.data.assign(row + c.ib, row + c.ib + c.cb);
      } else if (c.cb < 4) {
        continue;   // no room for an HNID; its cbData is already named
      } else {
        std::string err;
        uint32_t hnid = Le32(row + c.ib);
        if (!heap.GetHnid(hnid, kValueLimit, &v.data, &err)) {
          if ((hnid & kNidTypeMask) != kNidTypeHid && heap.subnodes().count(hnid)) {
            v.complete = false;
          } else {
            problems->push_back("row " + Hex(id) + " column " + TagName(c.tag) + ": " + err);
            continue;
          }
        } else if (std::string bad = CheckValue(v.type, v.data); !bad.empty()) {
          problems->push_back("row " + Hex(id) + " column " + TagName(c.tag) + ": " + bad);
        }
      }
      out.cells[c.tag] = std::move(v);
    }
    rows[at] = std::move(out);
  }
  table->rows = std::move(rows);
  return true;
}

}  // namespace pst::check
