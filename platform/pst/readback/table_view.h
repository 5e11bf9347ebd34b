// TableView: the rows of a table context ([MS-PST] 2.3.4) read in place for
// reading a file back, with only the columns asked for: each row comes with
// its row id (from the row index) and a reference to each asked cell, in
// the order of the row matrix. The matrix, heap items and the view's
// buffers are reused from table to table, so reading a table allocates
// nothing once the buffers have grown to the largest table read.
//
// The structure is checked as check::ReadTc checks it (TCINFO, column
// placement, existence bits, the row index against the matrix); a fault
// that stops reading fails with a message naming it.
//
//   TableView table;
//   const uint32_t tags[] = {0x3001001F};
//   table.Scan(ndb, heap, tags, 1, [&](uint32_t id, const CellRef* cells) {...}, &error);
#ifndef TOLLAN_PLATFORM_PST_READBACK_TABLE_VIEW_H_
#define TOLLAN_PLATFORM_PST_READBACK_TABLE_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/pst/readback/heap_view.h"
#include "platform/pst/readback/node_reader.h"

namespace pst::readback {

// One cell of a row as stored. A fixed-size value of up to 8 bytes lies in
// the row (`bytes`, `size`); any other value is behind `hnid`.
struct CellRef {
  bool present = false;   // the cell's existence bit is set
  uint16_t type = 0;
  const uint8_t* bytes = nullptr;
  uint8_t size = 0;
  uint32_t hnid = 0;
};

// The size of a fixed-size property type, 0 when the type's values are
// held behind an HNID (variable-size or unknown types).
int FixedValueSize(uint16_t type);

class TableView {
 public:
  // Reads the table context in `heap` and hands every row to `take` with
  // the cells of the columns `tags[0..n)` (absent ones not present); the
  // cells are valid during the call, which may read through `ndb`. False
  // with *error when the table cannot be read; rows handed over before a
  // fault is found are then to be dropped.
  bool Scan(const NodeReader& ndb, const HeapView& heap, const uint32_t* tags, size_t n,
            const std::function<void(uint32_t row_id, const CellRef* cells)>& take, std::string* error);

 private:
  // Where an asked column lies in a row.
  struct Column {
    bool found = false;
    uint16_t ib = 0;
    uint8_t cb = 0;
    uint8_t bit = 0;
    uint16_t type = 0;
  };
  std::vector<Column> wanted_;
  std::vector<std::pair<uint32_t, uint32_t>> index_;   // (row id, row) of the row index
  std::vector<uint32_t> ids_;                          // row id by row
  std::vector<uint8_t> used_;                          // rows the index names
  std::vector<std::vector<uint8_t>> blocks_;           // the row matrix's blocks
  std::vector<CellRef> cells_;
};

}  // namespace pst::readback

#endif  // TOLLAN_PLATFORM_PST_READBACK_TABLE_VIEW_H_
