// DbxImage: builds small DBX files byte by byte for the reader tests. Every
// structure is written at an explicit offset, so that tests can lay out
// exactly the trees, records and chains (sound or damaged) they need.
#ifndef TOLLAN_TESTS_READER_DBX_DBX_IMAGE_H_
#define TOLLAN_TESTS_READER_DBX_DBX_IMAGE_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "reader/dbx/format.h"

namespace dbx::testing {

// One record entry: the index byte (0x80 set for a direct entry) and the
// 24-bit value.
struct Entry {
  uint8_t index_byte;
  uint32_t value;
};
inline Entry Direct(uint8_t index, uint32_t value) { return {uint8_t(index | 0x80), value}; }
inline Entry Indirect(uint8_t index, uint32_t data_offset) { return {index, data_offset}; }

class DbxImage {
 public:
  // A file of `kind` (kFolderFileKind or kFolderListKind) with a zeroed
  // header and folder-info block and an empty index.
  explicit DbxImage(uint32_t kind) {
    Put32(0, kDbxSignature);
    Put32(4, kind);
    Grow(0x2AC0);
  }

  std::string& bytes() { return bytes_; }
  const std::string& bytes() const { return bytes_; }

  void Grow(size_t size) {
    if (bytes_.size() < size) bytes_.resize(size, '\0');
  }
  void Put8(size_t at, uint8_t v) {
    Grow(at + 1);
    bytes_[at] = static_cast<char>(v);
  }
  void Put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) Put8(at + i, static_cast<uint8_t>(v >> (8 * i)));
  }
  void Put64(size_t at, uint64_t v) {
    Put32(at, static_cast<uint32_t>(v));
    Put32(at + 4, static_cast<uint32_t>(v >> 32));
  }
  void PutBytes(size_t at, const std::string& data) {
    Grow(at + data.size());
    bytes_.replace(at, data.size(), data);
  }

  void SetRoot(uint32_t offset) { Put32(0xE4, offset); }

  // An index node at `at`: its own offset, first child and entries
  // {record offset, child offset}. `count` overrides the stored entry count.
  void Node(uint32_t at, uint32_t first_child,
            const std::vector<std::pair<uint32_t, uint32_t>>& entries, int count = -1) {
    Grow(at + kIndexNodeSize);
    Put32(at, at);
    Put32(at + 8, first_child);
    Put8(at + 0x11, static_cast<uint8_t>(count >= 0 ? count : int(entries.size())));
    for (size_t i = 0; i < entries.size(); ++i) {
      Put32(at + 0x18 + 12 * i, entries[i].first);
      Put32(at + 0x18 + 12 * i + 4, entries[i].second);
    }
  }

  // A record at `at` whose own-offset field holds `own`, with its entries
  // and data area. Returns the offset of the data area.
  uint32_t Record(uint32_t at, const std::vector<Entry>& entries, const std::string& data,
                  uint32_t own) {
    Put32(at, own);
    Put8(at + 0x0A, static_cast<uint8_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      const uint32_t e = at + 12 + 4 * uint32_t(i);
      Put8(e, entries[i].index_byte);
      Put8(e + 1, static_cast<uint8_t>(entries[i].value));
      Put8(e + 2, static_cast<uint8_t>(entries[i].value >> 8));
      Put8(e + 3, static_cast<uint8_t>(entries[i].value >> 16));
    }
    const uint32_t data_at = at + 12 + 4 * uint32_t(entries.size());
    PutBytes(data_at, data);
    return data_at;
  }
  uint32_t Record(uint32_t at, const std::vector<Entry>& entries, const std::string& data = "") {
    return Record(at, entries, data, at);
  }

  // A body block at `at`.
  void Block(uint32_t at, uint32_t used, uint32_t next, const std::string& text) {
    Grow(at + kBodyBlockSize);
    Put32(at, at);
    Put32(at + 8, used);
    Put32(at + 12, next);
    PutBytes(at + 16, text.substr(0, kBodyTextSize));
  }

 private:
  std::string bytes_;
};

// Little-endian bytes of a 32-bit or 64-bit number, for data areas.
inline std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}
inline std::string Le64(uint64_t v) { return Le32(uint32_t(v)) + Le32(uint32_t(v >> 32)); }
// A zero-terminated text, for data areas.
inline std::string Sz(const std::string& s) { return s + std::string(1, '\0'); }

}  // namespace dbx::testing

#endif  // TOLLAN_TESTS_READER_DBX_DBX_IMAGE_H_
