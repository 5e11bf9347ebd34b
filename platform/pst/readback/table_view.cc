// Table contexts read in place.
#include "platform/pst/readback/table_view.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/pst/check/format.h"

namespace pst::readback {

using namespace pst::check;

namespace {

constexpr uint64_t kMatrixLimit = 64u << 20;   // as the checker's heap reader

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%" PRIx64, v);
  return buf;
}

}  // namespace

int FixedValueSize(uint16_t type) {
  switch (type) {
    case 0x0002: return 2;
    case 0x0003: case 0x0004: case 0x000A: return 4;
    case 0x000B: return 1;
    case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040: return 8;
    case 0x0048: return 16;
    default: return 0;
  }
}

bool TableView::Scan(const NodeReader& ndb, const HeapView& heap, const uint32_t* tags, size_t n,
                     const std::function<void(uint32_t row_id, const CellRef* cells)>& take, std::string* error) {
  if (heap.client_sig() != kClientTc) {
    *error = "heap client signature " + Hex(heap.client_sig()) + ", expected 0x7c (table context)";
    return false;
  }
  const uint8_t* info = nullptr;
  size_t info_size = 0;
  if (!heap.Get(heap.user_root(), &info, &info_size, error)) return false;
  if (info_size < 22 || info[0] != kClientTc) {
    *error = "TCINFO is malformed";
    return false;
  }
  const size_t c_cols = info[1];
  if (info_size != 22 + 8 * c_cols) {
    *error = "TCINFO size " + std::to_string(info_size) + " does not fit " + std::to_string(c_cols) + " columns";
    return false;
  }
  const uint16_t ib4 = Le16(info + 2), ib2 = Le16(info + 4), ib1 = Le16(info + 6), ibm = Le16(info + 8);
  const uint32_t hid_row_index = Le32(info + 10);
  const uint32_t hnid_rows = Le32(info + 14);
  if (!(ib4 <= ib2 && ib2 <= ib1 && ib1 <= ibm) || ibm != ib1 + (c_cols + 7) / 8) {
    *error = "TCINFO rgib offsets " + std::to_string(ib4) + "/" + std::to_string(ib2) + "/" + std::to_string(ib1) +
             "/" + std::to_string(ibm) + " are inconsistent";
    return false;
  }
  // The columns: each inside its row section with a bit of its own; of two
  // columns with one tag the later counts.
  wanted_.assign(n, Column());
  bool bit_taken[256] = {};
  for (size_t i = 0; i < c_cols; ++i) {
    const uint8_t* d = info + 22 + 8 * i;
    const uint32_t tag = Le32(d);
    const uint16_t ib = Le16(d + 4);
    const uint8_t cb = d[6], bit = d[7];
    const size_t lo = cb >= 4 ? 0 : (cb == 2 ? ib4 : ib2);
    const size_t hi = cb >= 4 ? ib4 : (cb == 2 ? ib2 : ib1);
    if (ib < lo || ib + cb > hi) {
      *error = "column " + Hex(tag) + ": data at " + std::to_string(ib) + "+" + std::to_string(cb) +
               " lies outside its row section";
      return false;
    }
    if (bit >= c_cols || bit_taken[bit]) {
      *error = "column " + Hex(tag) + ": cell existence bit " + std::to_string(bit) + " is invalid or shared";
      return false;
    }
    bit_taken[bit] = true;
    for (size_t k = 0; k < n; ++k) {
      if (tags[k] == tag) wanted_[k] = {true, ib, cb, bit, static_cast<uint16_t>(tag & 0xFFFF)};
    }
  }

  index_.clear();
  if (!heap.ForEachRecord(hid_row_index, 4, 4, [this](const uint8_t* key, const uint8_t* data) {
        index_.emplace_back(Le32(key), Le32(data));
        return true;
      }, error)) {
    *error = "row index: " + *error;
    return false;
  }

  // The row matrix: a heap item, or a subnode whose blocks each hold
  // floor(8176 / row size) rows, every block but the last padded.
  if (hnid_rows != 0 && ibm < 4) {
    *error = "rows of " + std::to_string(ibm) + " bytes cannot hold a row id";
    return false;
  }
  size_t block_count = 0, rows_per_block = 0;
  const uint8_t* item = nullptr;
  size_t item_size = 0;
  if (hnid_rows != 0 && (hnid_rows & kNidTypeMask) == kNidTypeHid) {
    if (!heap.Get(hnid_rows, &item, &item_size, error)) {
      *error = "row matrix: " + *error;
      return false;
    }
    block_count = 1;
    rows_per_block = std::max<size_t>(1, item_size / ibm);
  } else if (hnid_rows != 0) {
    const Subnode* sub = heap.FindSubnode(hnid_rows);
    if (sub == nullptr) {
      *error = "row matrix: subnode " + Hex(hnid_rows) + " does not exist";
      return false;
    }
    uint64_t total = 0;
    if (!ndb.ForEachBlock(sub->bid_data, [&](const uint8_t* data, size_t size) {
          total += size;
          if (total > kMatrixLimit) return false;
          if (block_count == blocks_.size()) blocks_.emplace_back();
          blocks_[block_count++].assign(data, data + size);
          return true;
        })) {
      *error = "row matrix: subnode " + Hex(hnid_rows) + " data cannot be read";
      return false;
    }
    rows_per_block = kMaxBlockData / ibm;
    if (rows_per_block == 0) {
      *error = "rows of " + std::to_string(ibm) + " bytes do not fit a block";
      return false;
    }
  }
  auto block = [&](size_t i, size_t* size) -> const uint8_t* {
    if (item != nullptr) {
      *size = item_size;
      return item;
    }
    *size = blocks_[i].size();
    return blocks_[i].data();
  };
  size_t total_rows = 0;
  for (size_t i = 0; i < block_count; ++i) {
    size_t size = 0;
    block(i, &size);
    if (i + 1 == block_count && size % ibm != 0) {
      *error = "last row matrix block of " + std::to_string(size) + " bytes is not whole rows of " +
               std::to_string(ibm);
      return false;
    }
    total_rows += std::min(size / ibm, rows_per_block);
  }
  if (index_.size() != total_rows) {
    *error = "row index lists " + std::to_string(index_.size()) + " rows but the row matrix holds " +
             std::to_string(total_rows);
    return false;
  }
  // Row ids by row, each row named once by the index.
  ids_.assign(total_rows, 0);
  used_.assign(total_rows, 0);
  for (const auto& [id, at] : index_) {
    if (at >= total_rows || used_[at]) {
      *error = "row index entry for row " + Hex(id) + " points at row " + std::to_string(at) +
               ", which is out of range or taken";
      return false;
    }
    used_[at] = true;
    ids_[at] = id;
  }

  cells_.assign(n, CellRef());
  size_t at = 0;
  for (size_t i = 0; i < block_count; ++i) {
    size_t size = 0;
    const uint8_t* rows = block(i, &size);
    const size_t count = std::min(size / ibm, rows_per_block);
    for (size_t r = 0; r < count; ++r, ++at) {
      const uint8_t* row = rows + r * ibm;
      for (size_t k = 0; k < n; ++k) {
        const Column& w = wanted_[k];
        CellRef& c = cells_[k];
        c = CellRef();
        if (!w.found || !((row[ib1 + w.bit / 8] >> (7 - w.bit % 8)) & 1)) continue;
        const int fixed = FixedValueSize(w.type);
        if (fixed > 0 && fixed <= 8) {
          c = {true, w.type, row + w.ib, w.cb, 0};
        } else if (w.cb >= 4) {   // else no room for an HNID: not read
          c = {true, w.type, nullptr, 0, Le32(row + w.ib)};
        }
      }
      take(ids_[at], cells_.data());
    }
  }
  return true;
}

}  // namespace pst::readback
