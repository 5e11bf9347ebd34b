// Table context layout: row-index BTH header, TCINFO, row-index records, row
// matrix, then the variable-size values row by row.
#include "platform/pst/ltp/tc_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/pst/ltp/bth_builder.h"
#include "platform/pst/ltp/heap_builder.h"
#include "platform/pst/ltp/prop_codec.h"

namespace pst::ltp {
namespace {

void Put16(uint8_t* p, uint16_t v) { p[0] = v & 0xFF; p[1] = v >> 8; }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

std::vector<TcColumn> AutoLayout(std::span<const uint32_t> tags) {
  std::vector<TcColumn> cols = {{kTagLtpRowId, 0, 4, 0}, {kTagLtpRowVer, 4, 4, 1}};
  std::vector<uint32_t> rest;
  for (uint32_t t : tags) {
    if (t != kTagLtpRowId && t != kTagLtpRowVer &&
        std::find(rest.begin(), rest.end(), t) == rest.end()) {
      rest.push_back(t);
    }
  }
  uint16_t offset = 8;
  for (uint8_t width : {8, 4, 2, 1}) {
    for (size_t i = 0; i < rest.size(); ++i) {
      uint8_t size = CellSize(static_cast<PropType>(rest[i] & 0xFFFF));
      if (size != width) continue;
      cols.push_back({rest[i], offset, size, static_cast<uint8_t>(2 + i)});
      offset += size;
    }
  }
  return cols;
}

TcBuilder::TcBuilder(std::vector<TcColumn> columns) : columns_(std::move(columns)) {}

Status TcBuilder::Create(std::vector<TcColumn> columns, std::unique_ptr<TcBuilder>* out) {
  if (columns.size() > 255) return Status::InvalidArgument("table has more than 255 columns");
  std::sort(columns.begin(), columns.end(),
            [](const TcColumn& a, const TcColumn& b) { return a.tag < b.tag; });
  bool has_id = false, has_ver = false;
  std::vector<bool> bits(256, false);
  uint16_t end_4b = 8, end_2b = 0, end_1b = 0;
  for (const TcColumn& c : columns) {
    if (c.tag == kTagLtpRowId) has_id = c.offset == 0 && c.size == 4;
    if (c.tag == kTagLtpRowVer) has_ver = c.offset == 4 && c.size == 4;
    if (c.bit >= columns.size() || bits[c.bit]) {
      return Status::InvalidArgument("table columns do not have distinct existence bits");
    }
    bits[c.bit] = true;
    uint16_t end = c.offset + c.size;
    if (c.size >= 4) end_4b = std::max(end_4b, end);
    if (c.size == 2) end_2b = std::max(end_2b, end);
    if (c.size == 1) end_1b = std::max(end_1b, end);
  }
  if (!has_id || !has_ver) {
    return Status::InvalidArgument("table lacks the row id and row version columns");
  }
  end_2b = std::max(end_2b, end_4b);
  end_1b = std::max(end_1b, end_2b);
  auto* b = new TcBuilder(std::move(columns));
  b->end_4b_ = end_4b;
  b->end_2b_ = end_2b;
  b->end_1b_ = end_1b;
  b->row_size_ = static_cast<uint16_t>(end_1b + (b->columns_.size() + 7) / 8);
  out->reset(b);
  return Status::Ok();
}

Status TcBuilder::AddRow(uint32_t row_id, uint32_t row_version,
                         std::span<const Property* const> cells) {
  if (cells.size() != columns_.size()) {
    return Status::InvalidArgument("row does not have one cell per column");
  }
  // A row that fails leaves nothing behind.
  const size_t fixed_at = fixed_.size(), vars_at = vars_.size(), bytes_at = var_bytes_.size();
  auto fail = [&](Status s) {
    fixed_.resize(fixed_at);
    vars_.resize(vars_at);
    var_bytes_.resize(bytes_at);
    return s;
  };
  fixed_.resize(fixed_at + row_size_, 0);
  for (size_t i = 0; i < columns_.size(); ++i) {
    const TcColumn& c = columns_[i];
    uint8_t* cell = fixed_.data() + fixed_at + c.offset;
    if (c.tag == kTagLtpRowId || c.tag == kTagLtpRowVer) {
      Put32(cell, c.tag == kTagLtpRowId ? row_id : row_version);
    } else {
      const Property* p = cells[i];
      if (p == nullptr) continue;
      if ((p->tag() & 0xFFFF) != (c.tag & 0xFFFF)) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "cell of type 0x%04X given for column 0x%08X",
                      p->tag() & 0xFFFF, c.tag);
        return fail(Status::InvalidArgument(buf));
      }
      if (IsFixedSize(p->type)) {
        uint64_t bits;
        Status s = FixedBits(*p, &bits);
        if (!s.ok()) return fail(s);
        for (size_t k = 0; k < c.size; ++k) cell[k] = (bits >> (8 * k)) & 0xFF;
      } else {
        const size_t at = var_bytes_.size();
        Status s = EncodeValue(*p, &var_bytes_);
        if (!s.ok()) return fail(s);
        vars_.push_back({static_cast<uint16_t>(i), at, var_bytes_.size() - at});
      }
    }
    uint8_t* ceb = fixed_.data() + fixed_at + end_1b_;
    ceb[c.bit / 8] |= static_cast<uint8_t>(0x80 >> (c.bit % 8));
  }
  rows_.push_back({row_id, static_cast<uint32_t>(vars_at)});
  return Status::Ok();
}

Status TcBuilder::Finish(SubnodeIds* ids, NodeData* out) {
  HeapBuilder heap;
  out->subnodes.clear();

  // Row index records, sorted by row id: dwRowID, dwRowIndex.
  std::vector<std::pair<uint32_t, uint32_t>> index;
  index.reserve(rows_.size());
  for (size_t i = 0; i < rows_.size(); ++i) index.emplace_back(rows_[i].id, static_cast<uint32_t>(i));
  std::sort(index.begin(), index.end());
  for (size_t i = 1; i < index.size(); ++i) {
    if (index[i].first == index[i - 1].first) {
      return Status::InvalidArgument("table has two rows with id " + std::to_string(index[i].first));
    }
  }
  std::vector<uint8_t> records(index.size() * 8);
  for (size_t i = 0; i < index.size(); ++i) {
    Put32(&records[i * 8], index[i].first);
    Put32(&records[i * 8 + 4], index[i].second);
  }

  const size_t tcinfo_size = 22 + 8 * columns_.size();
  BthLayout bth;
  Status s = BuildBth(&heap, 4, 4, records, &bth, tcinfo_size);
  if (!s.ok()) return s;
  const Hid tcinfo = bth.reserved;

  // Row matrix: one heap item while it fits, else a subnode whose blocks
  // each hold a whole number of rows ([MS-PST] 2.3.4.4).
  const size_t matrix_size = rows_.size() * row_size_;
  uint32_t hnid_rows = 0;
  Hid matrix_hid = 0;
  if (matrix_size > 0 && matrix_size <= HeapBuilder::kMaxItemSize) {
    s = heap.AllocateZeroed(matrix_size, &matrix_hid);
    if (!s.ok()) return s;
    hnid_rows = matrix_hid;
  }

  // Variable-size values, row by row.
  for (size_t r = 0; r < rows_.size(); ++r) {
    const size_t end = r + 1 < rows_.size() ? rows_[r + 1].first_var : vars_.size();
    for (size_t v = rows_[r].first_var; v < end; ++v) {
      const Var& var = vars_[v];
      std::span<const uint8_t> bytes(var_bytes_.data() + var.offset, var.size);
      uint32_t hnid = 0;
      if (bytes.size() > HeapBuilder::kMaxItemSize) {
        Nid nid = ids->Next(kNidTypeLtp);
        NodeData value;
        value.data.assign(bytes.begin(), bytes.end());
        out->subnodes.emplace_back(nid, std::move(value));
        hnid = nid;
      } else if (!bytes.empty()) {
        Hid hid;
        s = heap.Allocate(bytes, &hid);
        if (!s.ok()) return s;
        hnid = hid;
      }
      Put32(fixed_.data() + r * row_size_ + columns_[var.column].offset, hnid);
    }
  }
  std::vector<Var>().swap(vars_);
  std::vector<uint8_t>().swap(var_bytes_);

  if (matrix_hid != 0) {
    std::memcpy(heap.Item(matrix_hid).data(), fixed_.data(), matrix_size);
  } else if (matrix_size > 0) {
    // A data tree is one stream of full blocks. Each block holds as many
    // whole rows as fit and is padded with zeros to the full block, all but
    // the last, so that readers by block and readers by stream both find
    // row N at (N / per_block) * 8176 + (N % per_block) * row size.
    const size_t per_block = HeapBuilder::kBlockDataSize / row_size_;
    const size_t blocks = (rows_.size() + per_block - 1) / per_block;
    const size_t last_rows = rows_.size() - (blocks - 1) * per_block;
    NodeData matrix;
    matrix.data.assign((blocks - 1) * HeapBuilder::kBlockDataSize + last_rows * row_size_, 0);
    for (size_t i = 0; i < rows_.size(); ++i) {
      const size_t at = (i / per_block) * HeapBuilder::kBlockDataSize + (i % per_block) * row_size_;
      std::memcpy(matrix.data.data() + at, fixed_.data() + i * row_size_, row_size_);
    }
    Nid nid = ids->Next(kNidTypeLtp);
    out->subnodes.emplace_back(nid, std::move(matrix));
    hnid_rows = nid;
  }

  // TCINFO: bType, cCols, rgib[4], hidRowIndex, hnidRows, hidIndex, rgTCOLDESC.
  uint8_t* t = heap.Item(tcinfo).data();
  t[0] = 0x7C;
  t[1] = static_cast<uint8_t>(columns_.size());
  Put16(t + 2, end_4b_);
  Put16(t + 4, end_2b_);
  Put16(t + 6, end_1b_);
  Put16(t + 8, row_size_);
  Put32(t + 10, bth.header);
  Put32(t + 14, hnid_rows);
  Put32(t + 18, 0);
  for (size_t i = 0; i < columns_.size(); ++i) {
    uint8_t* d = t + 22 + 8 * i;
    Put32(d, columns_[i].tag);
    Put16(d + 4, columns_[i].offset);
    d[6] = columns_[i].size;
    d[7] = columns_[i].bit;
  }
  out->data = heap.Finish(HeapClient::kTable, tcinfo);
  rows_.clear();
  std::vector<uint8_t>().swap(fixed_);
  return Status::Ok();
}

}  // namespace pst::ltp
