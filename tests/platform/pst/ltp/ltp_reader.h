// A small reader of heap-on-node, BTH, property and table contexts over
// in-memory node data, for checking what the builders produce. It follows
// [MS-PST] 2.3 independently of the builders' code and checks structure as it
// reads (signatures, page maps, bounds), reporting problems as test failures.
#ifndef TOLLAN_TESTS_PLATFORM_PST_LTP_LTP_READER_H_
#define TOLLAN_TESTS_PLATFORM_PST_LTP_LTP_READER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/pst/ndb/ndb_writer.h"

namespace pst::ltp::testing {

uint16_t Get16(const uint8_t* p);
uint32_t Get32(const uint8_t* p);

class HeapReader {
 public:
  // Splits `node.data` into pages of 8176 bytes (as the node writer does).
  explicit HeapReader(const NodeData& node);
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  uint8_t client() const { return client_; }
  uint32_t user_root() const { return root_; }
  size_t pages() const { return pages_.size(); }
  // The bytes of a heap item; sets an error for a bad HID.
  std::vector<uint8_t> Item(uint32_t hid);
  // A heap item or the data of a subnode (an HNID).
  std::vector<uint8_t> Value(uint32_t hnid);
  // Records of the BTH at `header_hid`: key bytes to entry bytes.
  std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> Bth(uint32_t header_hid,
                                                                       uint8_t* key_size = nullptr,
                                                                       uint8_t* entry_size = nullptr);

 private:
  void Fail(const std::string& e) { if (error_.empty()) error_ = e; }
  const NodeData& node_;
  std::vector<std::vector<uint8_t>> pages_;
  uint8_t client_ = 0;
  uint32_t root_ = 0;
  std::string error_;
};

struct PcValue {
  uint16_t type = 0;
  uint32_t raw = 0;            // dwValueHnid
  std::vector<uint8_t> bytes;  // value bytes (inline ones little-endian, 4 bytes)
};

// property id -> value
std::map<uint16_t, PcValue> ReadPc(const NodeData& node, std::string* error);

struct TcTable {
  struct Column { uint32_t tag; uint16_t offset; uint8_t size; uint8_t bit; };
  std::vector<Column> columns;
  uint16_t rgib[4] = {0, 0, 0, 0};
  // Row id -> (tag -> cell bytes; variable cells resolved to value bytes).
  std::map<uint32_t, std::map<uint32_t, std::vector<uint8_t>>> rows;
  std::vector<uint32_t> row_order;  // row ids in matrix order
};

TcTable ReadTc(const NodeData& node, std::string* error);

}  // namespace pst::ltp::testing

#endif  // TOLLAN_TESTS_PLATFORM_PST_LTP_LTP_READER_H_
