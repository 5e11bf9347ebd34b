// Test helpers: reading back the bytes the generator wrote, to check their
// structure without a DBX reader.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_TEST_BYTES_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_TEST_BYTES_H_

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace dbxgen::testing {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Little-endian reads; bytes past the end read as zero.
inline uint32_t U32(const std::string& bytes, uint64_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    uint64_t k = at + static_cast<uint64_t>(i);
    value = (value << 8) | (k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u);
  }
  return value;
}

inline uint64_t U64(const std::string& bytes, uint64_t at) {
  return U32(bytes, at) | (static_cast<uint64_t>(U32(bytes, at + 4)) << 32);
}

inline uint8_t U8(const std::string& bytes, uint64_t at) {
  return at < bytes.size() ? static_cast<uint8_t>(bytes[at]) : 0;
}

// One entry of a record: field index, direct flag, 24-bit value, and the
// offset its data lies at when indirect.
struct Entry {
  uint8_t index;
  bool direct;
  uint32_t value;
  uint64_t data_offset;
};

inline Entry EntryAt(const std::string& bytes, uint64_t record, std::size_t i) {
  uint32_t word = U32(bytes, record + 12 + 4 * i);
  uint8_t count = U8(bytes, record + 10);
  Entry e;
  e.index = word & 0x7F;
  e.direct = (word & 0x80) != 0;
  e.value = word >> 8;
  e.data_offset = record + 12 + 4 * count + e.value;
  return e;
}

// The first entry of `index` in the record; index 0xFF when there is none.
inline Entry FindEntry(const std::string& bytes, uint64_t record, uint8_t index) {
  uint8_t count = U8(bytes, record + 10);
  for (std::size_t i = 0; i < count; ++i) {
    Entry e = EntryAt(bytes, record, i);
    if (e.index == index) return e;
  }
  return Entry{0xFF, false, 0, 0};
}

inline std::string CString(const std::string& bytes, uint64_t at) {
  std::string out;
  while (at < bytes.size() && bytes[at] != '\0') out.push_back(bytes[at++]);
  return out;
}

}  // namespace dbxgen::testing

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_TEST_BYTES_H_
