// Property values as a message store holds them: a property tag (identifier in
// the high 16 bits, type in the low 16 bits, as in [MS-OXPROPS]) or a named
// property (property set GUID plus numeric id or string name), with a value of
// that type. The mail import produces these and the PST writer stores them.
#ifndef TOLLAN_PLATFORM_PST_PROPERTY_H_
#define TOLLAN_PLATFORM_PST_PROPERTY_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/pst/value_source.h"

namespace pst {

// Property types of [MS-OXCDATA] 2.11.1 that the writer supports.
enum class PropType : uint16_t {
  kInt16 = 0x0002,
  kInt32 = 0x0003,
  kDouble = 0x0005,
  kBoolean = 0x000B,
  kInt64 = 0x0014,
  kString = 0x001F,      // UTF-16LE (PT_UNICODE)
  kSysTime = 0x0040,     // FILETIME: 100 ns ticks since 1601-01-01 UTC
  kGuid = 0x0048,
  kBinary = 0x0102,
  kMvInt32 = 0x1003,
  kMvString = 0x101F,
  kMvBinary = 0x1102,
  kObject = 0x000D,      // embedded message / attachment data object
};

using Guid = std::array<uint8_t, 16>;  // in its on-disk (little-endian fields) byte order

// A named property: the property set and either a numeric id (kind kId) or a
// name (kind kString), as in [MS-OXCDATA] 2.6.
struct PropertyName {
  Guid property_set{};
  enum class Kind { kId, kString } kind = Kind::kId;
  uint32_t id = 0;
  std::u16string name;
  bool operator==(const PropertyName&) const = default;
};

using PropertyData = std::variant<
    int64_t,                            // kInt16, kInt32, kInt64, kBoolean (0/1)
    double,                             // kDouble
    uint64_t,                           // kSysTime (FILETIME ticks)
    std::u16string,                     // kString
    std::vector<uint8_t>,               // kBinary, kGuid (16 bytes)
    std::vector<int32_t>,               // kMvInt32
    std::vector<std::u16string>,        // kMvString
    std::vector<std::vector<uint8_t>>,  // kMvBinary
    std::shared_ptr<const ValueSource>>; // kBinary too large to hold whole (value_source.h)

struct Property {
  // For a tagged property: the 16-bit identifier (below 0x8000). For a named
  // property: 0, and `name` says which one; the writer assigns the identifier.
  uint16_t id = 0;
  PropType type = PropType::kInt32;
  bool named = false;
  PropertyName name;
  PropertyData value;

  uint32_t tag() const { return (uint32_t{id} << 16) | static_cast<uint16_t>(type); }
  // Equal in every field; a value too large to hold is equal only to the
  // same source.
  bool operator==(const Property&) const = default;
};

// Convenience constructors.
inline Property MakeInt32(uint16_t id, int32_t v) { return {id, PropType::kInt32, false, {}, int64_t{v}}; }
inline Property MakeInt64(uint16_t id, int64_t v) { return {id, PropType::kInt64, false, {}, v}; }
inline Property MakeBool(uint16_t id, bool v) { return {id, PropType::kBoolean, false, {}, int64_t{v ? 1 : 0}}; }
inline Property MakeTime(uint16_t id, uint64_t filetime) { return {id, PropType::kSysTime, false, {}, filetime}; }
inline Property MakeString(uint16_t id, std::u16string v) { return {id, PropType::kString, false, {}, std::move(v)}; }
inline Property MakeBinary(uint16_t id, std::vector<uint8_t> v) { return {id, PropType::kBinary, false, {}, std::move(v)}; }
inline Property MakeBinary(uint16_t id, std::shared_ptr<const ValueSource> v) {
  return {id, PropType::kBinary, false, {}, std::move(v)};
}

}  // namespace pst

#endif  // TOLLAN_PLATFORM_PST_PROPERTY_H_
