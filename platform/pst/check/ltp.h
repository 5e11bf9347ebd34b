// Readers for the lists, tables and properties layer of a PST ([MS-PST] 2.3):
// heap-on-node (HN), BTree-on-heap (BTH), property context (PC) and table
// context (TC). Each reader validates the structure as it goes and describes
// the first fault it cannot read past; softer faults are collected in a list.
#ifndef TOLLAN_PLATFORM_PST_CHECK_LTP_H_
#define TOLLAN_PLATFORM_PST_CHECK_LTP_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/pst/check/ndb_checker.h"

namespace pst::check {

using Bytes = std::vector<uint8_t>;

// The heap of one node or subnode.
class Heap {
 public:
  // Loads and validates the heap pages of a node whose data tree is bid_data
  // and whose subnodes are bid_sub. False with *error on a fault.
  bool Load(const NodeSource& ndb, uint64_t bid_data, uint64_t bid_sub, std::string* error);
  // Validates and takes decoded heap pages directly (a heap without
  // subnodes; for tests).
  bool LoadPages(std::vector<Bytes> pages, std::string* error);

  uint8_t client_sig() const { return client_sig_; }
  uint32_t user_root() const { return user_root_; }
  const std::map<uint32_t, Subnode>& subnodes() const { return subnodes_; }

  // The bytes of heap item `hid`.
  bool Get(uint32_t hid, Bytes* out, std::string* error) const;
  // The bytes behind an HNID: a heap item, or a subnode's data (0 is empty).
  // Subnode data longer than `limit` fails.
  bool GetHnid(uint32_t hnid, uint64_t limit, Bytes* out, std::string* error) const;
  // The data blocks of a subnode.
  bool SubnodeBlocks(uint32_t nid, std::vector<Bytes>* blocks, std::string* error) const;

 private:
  const NodeSource* ndb_ = nullptr;
  std::vector<Bytes> pages_;
  std::vector<std::vector<uint16_t>> allocs_;   // rgibAlloc of each page
  std::map<uint32_t, Subnode> subnodes_;
  uint8_t client_sig_ = 0;
  uint32_t user_root_ = 0;
};

struct BthRecord {
  Bytes key;
  Bytes data;
};

// Reads the BTH whose header is heap item `hid`, checking key order, record
// sizes and the expected key/data sizes.
bool ReadBth(const Heap& heap, uint32_t hid, uint8_t key_size, uint8_t data_size,
             std::vector<BthRecord>* records, std::string* error);

// A property value as stored: fixed-size values in their natural size,
// variable-size values as their bytes. `complete` is false when a value held
// in a subnode was too large to load (its existence was still checked).
struct PropValue {
  uint16_t type = 0;
  Bytes data;
  bool complete = true;
};
using PropMap = std::map<uint32_t, PropValue>;   // property tag -> value

// Reads a property context. Structural faults that stop reading return false
// with *error; faults in single values go to *problems.
bool ReadPc(const Heap& heap, PropMap* props, std::string* error, std::vector<std::string>* problems);

struct Column {
  uint32_t tag = 0;
  uint16_t ib = 0;
  uint8_t cb = 0;
  uint8_t bit = 0;
};
struct Row {
  uint32_t id = 0;
  PropMap cells;   // only the cells whose existence bit is set
};
struct Table {
  std::vector<Column> columns;
  std::vector<Row> rows;   // in row-index order
};

// Reads a table context, like ReadPc.
bool ReadTc(const Heap& heap, Table* table, std::string* error, std::vector<std::string>* problems);

// Checks a PT_UNICODE value: even length and paired surrogates. Empty string
// when sound, else what is wrong.
std::string CheckUnicode(const Bytes& utf16);

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_LTP_H_
