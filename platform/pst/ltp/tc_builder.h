// TcBuilder: builds a table context ([MS-PST] 2.3.4): the TCINFO with its
// column descriptions, the row index (a BTH of row id to row number) and the
// row matrix with fixed-width cells and cell-existence bits. The matrix lives
// in the heap while it fits one heap item, otherwise in a subnode whose
// blocks each hold whole rows, every block but the last padded to 8176 bytes. Variable-size cells hold HNIDs of values in
// the heap or, for values over 3580 bytes, in subnodes.
#ifndef TOLLAN_PLATFORM_PST_LTP_TC_BUILDER_H_
#define TOLLAN_PLATFORM_PST_LTP_TC_BUILDER_H_

#include <cstdint>
#include <span>
#include <vector>

#include "platform/pst/ltp/subnode_ids.h"
#include "platform/pst/ndb/ndb_writer.h"
#include "platform/pst/property.h"
#include "platform/pst/status.h"

namespace pst::ltp {

inline constexpr uint32_t kTagLtpRowId = 0x67F20003;
inline constexpr uint32_t kTagLtpRowVer = 0x67F30003;

// One column: its property tag, where its cell starts in a row, the cell
// width and its bit in the cell-existence block (TCOLDESC).
struct TcColumn {
  uint32_t tag = 0;
  uint16_t offset = 0;
  uint8_t size = 0;
  uint8_t bit = 0;
};

// A layout for the given tags: row id and row version first, then 8-, 4-,
// 2- and 1-byte cells, existence bits in the order of `tags`. Tags of the
// row id and row version columns in `tags` are ignored.
std::vector<TcColumn> AutoLayout(std::span<const uint32_t> tags);

class TcBuilder {
 public:
  // `columns` must include the row id and row version columns at offsets 0
  // and 4 and give each column a distinct bit. Any order.
  static Status Create(std::vector<TcColumn> columns, std::unique_ptr<TcBuilder>* out);

  const std::vector<TcColumn>& columns() const { return columns_; }
  size_t row_count() const { return rows_.size(); }
  size_t row_size() const { return row_size_; }

  // Adds a row. `cells[i]` is the value of columns()[i] or nullptr where the
  // row has none. The row id and row version cells are taken from the
  // arguments, not from `cells`. Row ids must be unique.
  Status AddRow(uint32_t row_id, uint32_t row_version, std::span<const Property* const> cells);

  // Lays out the table and moves it into *out; `ids` gives subnode ids.
  Status Finish(SubnodeIds* ids, NodeData* out);

 private:
  explicit TcBuilder(std::vector<TcColumn> columns);

  struct Row {
    uint32_t id;
    uint32_t first_var;  // its variable-size values: vars_[first_var, next row's)
  };
  // A variable-size value: its column index and its bytes in var_bytes_.
  struct Var {
    uint16_t column;
    size_t offset;
    size_t size;
  };
  std::vector<TcColumn> columns_;  // sorted by tag
  uint16_t end_4b_ = 0, end_2b_ = 0, end_1b_ = 0, row_size_ = 0;
  std::vector<Row> rows_;
  std::vector<uint8_t> fixed_;  // row_size_ bytes per row, variable cells still empty
  std::vector<Var> vars_;
  std::vector<uint8_t> var_bytes_;
};

}  // namespace pst::ltp

#endif  // TOLLAN_PLATFORM_PST_LTP_TC_BUILDER_H_
