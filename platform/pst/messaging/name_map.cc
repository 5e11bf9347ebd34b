// Named-property map serialization.
#include "platform/pst/messaging/name_map.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/pst/ltp/pc_builder.h"
#include "platform/pst/ltp/subnode_ids.h"

namespace pst::messaging {
namespace {

void Append16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(v & 0xFF);
  out->push_back(v >> 8);
}
void Append32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back((v >> (8 * i)) & 0xFF);
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& s) {
  std::vector<uint8_t> out;
  out.reserve(2 * s.size());
  for (char16_t c : s) Append16(&out, c);
  return out;
}

// NAMEID: dwPropertyID, N and wGuid, wPropIdx.
void AppendNameId(std::vector<uint8_t>* out, uint32_t property_id, bool is_string,
                  uint16_t guid_index, uint16_t prop_index) {
  Append32(out, property_id);
  Append16(out, static_cast<uint16_t>((guid_index << 1) | (is_string ? 1 : 0)));
  Append16(out, prop_index);
}

}  // namespace

// {00020328-0000-0000-C000-000000000046} and {00020329-...}.
const Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

uint32_t NameToIdMap::Crc32(const uint8_t* data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::string NameToIdMap::Key(const PropertyName& name) {
  std::string key(reinterpret_cast<const char*>(name.property_set.data()), 16);
  if (name.kind == PropertyName::Kind::kId) {
    key += 'I';
    key.append(reinterpret_cast<const char*>(&name.id), 4);
  } else {
    key += 'S';
    key.append(reinterpret_cast<const char*>(name.name.data()), 2 * name.name.size());
  }
  return key;
}

Status NameToIdMap::Map(const PropertyName& name, uint16_t* id) {
  std::string key = Key(name);
  auto it = by_key_.find(key);
  if (it != by_key_.end()) {
    *id = it->second;
    return Status::Ok();
  }
  if (entries_.size() >= 0x7FFF) return Status::TooLarge("no named property ids left");
  if (name.kind == PropertyName::Kind::kString && name.name.empty()) {
    return Status::InvalidArgument("named property with an empty name");
  }
  Entry e{name, 0};
  if (name.property_set == kPsMapi) {
    e.guid_index = 1;
  } else if (name.property_set == kPsPublicStrings) {
    e.guid_index = 2;
  } else {
    auto g = std::find(guids_.begin(), guids_.end(), name.property_set);
    if (g == guids_.end()) {
      guids_.push_back(name.property_set);
      g = guids_.end() - 1;
    }
    e.guid_index = static_cast<uint16_t>(3 + (g - guids_.begin()));
  }
  *id = static_cast<uint16_t>(0x8000 + entries_.size());
  entries_.push_back(std::move(e));
  by_key_.emplace(std::move(key), *id);
  return Status::Ok();
}

Status NameToIdMap::Build(NodeData* out) const {
  std::vector<uint8_t> guid_stream, entry_stream, string_stream;
  for (const Guid& g : guids_) guid_stream.insert(guid_stream.end(), g.begin(), g.end());
  std::map<uint32_t, std::vector<uint8_t>> buckets;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    const bool is_string = e.name.kind == PropertyName::Kind::kString;
    uint32_t hash;
    uint32_t property_id;
    if (is_string) {
      std::vector<uint8_t> bytes = Utf16Bytes(e.name.name);
      hash = Crc32(bytes.data(), bytes.size());
      property_id = static_cast<uint32_t>(string_stream.size());
      Append32(&string_stream, static_cast<uint32_t>(bytes.size()));
      string_stream.insert(string_stream.end(), bytes.begin(), bytes.end());
      while (string_stream.size() % 4 != 0) string_stream.push_back(0);
    } else {
      hash = e.name.id;
      property_id = e.name.id;
    }
    AppendNameId(&entry_stream, property_id, is_string, e.guid_index, static_cast<uint16_t>(i));
    uint32_t bucket = (hash ^ ((uint32_t{e.guid_index} << 1) | (is_string ? 1 : 0))) % kBucketCount;
    AppendNameId(&buckets[bucket], hash, is_string, e.guid_index, static_cast<uint16_t>(i));
  }

  ltp::SubnodeIds ids;
  ltp::PcBuilder pc(&ids);
  Status s = pc.Set(0x0001, MakeInt32(0x0001, kBucketCount));
  if (s.ok()) s = pc.Set(0x0002, MakeBinary(0x0002, std::move(guid_stream)));
  if (s.ok()) s = pc.Set(0x0003, MakeBinary(0x0003, std::move(entry_stream)));
  if (s.ok()) s = pc.Set(0x0004, MakeBinary(0x0004, std::move(string_stream)));
  for (auto& [bucket, bytes] : buckets) {
    if (!s.ok()) break;
    uint16_t id = static_cast<uint16_t>(0x1000 + bucket);
    s = pc.Set(id, MakeBinary(id, std::move(bytes)));
  }
  if (!s.ok()) return s;
  return pc.Finish(out);
}

}  // namespace pst::messaging
