// NameToIdMap: the store's named-property map ([MS-PST] 2.4.7). Assigns each
// named property (property set + numeric id or string name) a property id
// from 0x8000 up, and serializes the map node (NID 0x61): the GUID, entry and
// string streams and the hash buckets.
#ifndef TOLLAN_PLATFORM_PST_MESSAGING_NAME_MAP_H_
#define TOLLAN_PLATFORM_PST_MESSAGING_NAME_MAP_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/pst/ndb/ndb_writer.h"
#include "platform/pst/property.h"
#include "platform/pst/status.h"

namespace pst::messaging {

// PS_MAPI and PS_PUBLIC_STRINGS, which the map names by number, not by GUID.
extern const Guid kPsMapi;
extern const Guid kPsPublicStrings;

class NameToIdMap {
 public:
  static constexpr uint32_t kBucketCount = 251;

  // The property id of `name`, assigning the next free one on first use.
  // Fails when all 0x7FFF ids are taken.
  Status Map(const PropertyName& name, uint16_t* id);

  size_t size() const { return entries_.size(); }

  // The map's property context.
  Status Build(NodeData* out) const;

  // CRC-32 as [MS-PST] 5.3 computes it (initial value 0, no final inversion).
  static uint32_t Crc32(const uint8_t* data, size_t size);

 private:
  struct Entry {
    PropertyName name;
    uint16_t guid_index;  // wGuid: 1 PS_MAPI, 2 PS_PUBLIC_STRINGS, 3+ GUID stream
  };
  static std::string Key(const PropertyName& name);

  std::vector<Entry> entries_;  // index = property id - 0x8000
  std::map<std::string, uint16_t> by_key_;
  std::vector<Guid> guids_;
};

}  // namespace pst::messaging

#endif  // TOLLAN_PLATFORM_PST_MESSAGING_NAME_MAP_H_
