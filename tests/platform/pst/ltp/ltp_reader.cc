// Test-side reader of LTP structures.
#include "tests/platform/pst/ltp/ltp_reader.h"

#include <algorithm>

namespace pst::ltp::testing {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

HeapReader::HeapReader(const NodeData& node) : node_(node) {
  const auto& d = node.data;
  for (size_t at = 0; at < d.size(); at += 8176) {
    pages_.emplace_back(d.begin() + at, d.begin() + std::min(d.size(), at + 8176));
  }
  if (pages_.empty() || pages_[0].size() < 12) {
    Fail("heap shorter than its header");
    return;
  }
  if (pages_[0][2] != 0xEC) {
    Fail("heap signature is not 0xEC");
    return;
  }
  client_ = pages_[0][3];
  root_ = Get32(&pages_[0][4]);
}

std::vector<uint8_t> HeapReader::Item(uint32_t hid) {
  if ((hid & 0x1F) != 0) { Fail("HID has a non-zero type"); return {}; }
  size_t block = hid >> 16, index = (hid >> 5) & 0x7FF;
  if (block >= pages_.size() || index == 0) { Fail("HID out of range"); return {}; }
  const auto& p = pages_[block];
  size_t map = Get16(p.data());
  if (map + 4 > p.size()) { Fail("page map outside the page"); return {}; }
  size_t count = Get16(&p[map]);
  if (index > count || map + 4 + 2 * (count + 1) > p.size()) { Fail("HID index past the page map"); return {}; }
  size_t start = Get16(&p[map + 4 + 2 * (index - 1)]);
  size_t end = Get16(&p[map + 4 + 2 * index]);
  if (start > end || end > map) { Fail("heap item outside the page's items"); return {}; }
  return {p.begin() + start, p.begin() + end};
}

std::vector<uint8_t> HeapReader::Value(uint32_t hnid) {
  if (hnid == 0) return {};
  if ((hnid & 0x1F) == 0) return Item(hnid);
  for (const auto& [nid, sub] : node_.subnodes) {
    if (nid == hnid) return sub.data;
  }
  Fail("HNID names a missing subnode");
  return {};
}

std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> HeapReader::Bth(
    uint32_t header_hid, uint8_t* key_size, uint8_t* entry_size) {
  std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> out;
  std::vector<uint8_t> h = Item(header_hid);
  if (h.size() != 8 || h[0] != 0xB5) { Fail("bad BTH header"); return out; }
  const size_t k = h[1], e = h[2];
  if (key_size) *key_size = h[1];
  if (entry_size) *entry_size = h[2];
  struct Walker {
    HeapReader* r; size_t k, e;
    std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>>* out;
    void Walk(uint32_t hid, int level) {
      std::vector<uint8_t> item = r->Item(hid);
      size_t rec = level == 0 ? k + e : k + 4;
      if (item.empty() || item.size() % rec != 0) { r->Fail("BTH item size is not a whole number of records"); return; }
      for (size_t i = 0; i < item.size(); i += rec) {
        if (level == 0) {
          out->emplace_back(std::vector<uint8_t>(item.begin() + i, item.begin() + i + k),
                            std::vector<uint8_t>(item.begin() + i + k, item.begin() + i + rec));
        } else {
          Walk(Get32(&item[i + k]), level - 1);
        }
      }
    }
  } w{this, k, e, &out};
  if (Get32(&h[4]) != 0) w.Walk(Get32(&h[4]), h[3]);
  // Keys must ascend.
  for (size_t i = 1; i < out.size(); ++i) {
    auto key = [&](const std::vector<uint8_t>& b) {
      uint64_t v = 0;
      for (size_t j = b.size(); j-- > 0;) v = (v << 8) | b[j];
      return v;
    };
    if (key(out[i].first) <= key(out[i - 1].first)) Fail("BTH keys do not ascend");
  }
  return out;
}

std::map<uint16_t, PcValue> ReadPc(const NodeData& node, std::string* error) {
  std::map<uint16_t, PcValue> out;
  HeapReader heap(node);
  if (heap.ok() && heap.client() != 0xBC) *error = "heap is not a property context";
  uint8_t k = 0, e = 0;
  auto records = heap.Bth(heap.user_root(), &k, &e);
  if (heap.ok() && (k != 2 || e != 6)) *error = "PC BTH is not 2/6";
  for (const auto& [key, entry] : records) {
    PcValue v;
    v.type = Get16(entry.data());
    v.raw = Get32(entry.data() + 2);
    bool inline_value = v.type == 0x0002 || v.type == 0x0003 || v.type == 0x000B;
    if (inline_value) {
      v.bytes.assign(entry.begin() + 2, entry.end());
    } else {
      v.bytes = heap.Value(v.raw);
    }
    out[Get16(key.data())] = std::move(v);
  }
  if (!heap.ok() && error->empty()) *error = heap.error();
  return out;
}

TcTable ReadTc(const NodeData& node, std::string* error) {
  TcTable t;
  HeapReader heap(node);
  if (heap.ok() && heap.client() != 0x7C) *error = "heap is not a table context";
  std::vector<uint8_t> info = heap.Item(heap.user_root());
  if (info.size() < 22 || info[0] != 0x7C || info.size() != 22 + 8u * info[1]) {
    if (error->empty()) *error = "bad TCINFO";
    return t;
  }
  for (int i = 0; i < 4; ++i) t.rgib[i] = Get16(&info[2 + 2 * i]);
  for (size_t i = 0; i < info[1]; ++i) {
    const uint8_t* d = &info[22 + 8 * i];
    t.columns.push_back({Get32(d), Get16(d + 4), d[6], d[7]});
  }
  const size_t row_size = t.rgib[3];
  std::vector<uint8_t> matrix = heap.Value(Get32(&info[14]));
  std::vector<std::vector<uint8_t>> rows;
  // A matrix in a subnode is a stream of 8176-byte blocks, each holding
  // whole rows and padded to the full block.
  bool in_subnode = (Get32(&info[14]) & 0x1F) != 0;
  size_t per_block = in_subnode ? 8176 / row_size : SIZE_MAX;
  for (size_t at = 0; at + row_size <= matrix.size();) {
    rows.emplace_back(matrix.begin() + at, matrix.begin() + at + row_size);
    at += row_size;
    if (in_subnode && rows.size() % per_block == 0) at = (rows.size() / per_block) * 8176;
  }
  auto index = heap.Bth(Get32(&info[10]));
  if (index.size() != rows.size() && error->empty()) *error = "row index and matrix disagree";
  t.row_order.resize(rows.size());
  for (const auto& [key, entry] : index) {
    uint32_t id = Get32(key.data()), n = Get32(entry.data());
    if (n >= rows.size()) { if (error->empty()) *error = "row index past the matrix"; continue; }
    const auto& row = rows[n];
    if (Get32(row.data()) != id && error->empty()) *error = "row id cell differs from the index";
    t.row_order[n] = id;
    auto& cells = t.rows[id];
    for (const auto& c : t.columns) {
      bool present = row[t.rgib[2] + c.bit / 8] & (0x80 >> (c.bit % 8));
      if (!present) continue;
      std::vector<uint8_t> cell(row.begin() + c.offset, row.begin() + c.offset + c.size);
      uint16_t type = c.tag & 0xFFFF;
      bool fixed = type == 0x2 || type == 0x3 || type == 0xB || type == 0x5 || type == 0x14 ||
                   type == 0x40;
      cells[c.tag] = fixed ? cell : heap.Value(Get32(cell.data()));
    }
  }
  if (!heap.ok() && error->empty()) *error = heap.error();
  return t;
}

}  // namespace pst::ltp::testing
