// Little-endian number encoding into byte strings, shared by the writers.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_BYTES_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace dbxgen {

inline void PutU32(std::string& out, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PutU64(std::string& out, std::size_t at, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void AppendU32(std::string& out, uint32_t value) {
  out.resize(out.size() + 4);
  PutU32(out, out.size() - 4, value);
}

inline void AppendU64(std::string& out, uint64_t value) {
  out.resize(out.size() + 8);
  PutU64(out, out.size() - 8, value);
}

inline std::string U32Bytes(uint32_t value) {
  std::string out(4, '\0');
  PutU32(out, 0, value);
  return out;
}

inline uint32_t GetU32(const std::string& in, std::size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_BYTES_H_
