// One-off EntryIDs, search keys and FlatEntryLists.
#include "platform/mail/entry_id.h"

#include "platform/mail/charset.h"
#include "platform/text/utf.h"

namespace mail {

namespace {

// MAPI_ONE_OFF_UID, the provider id of every one-off EntryID.
constexpr uint8_t kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                         0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr uint16_t kOneOffUnicode = 0x8000;
constexpr uint16_t kOneOffNoRichInfo = 0x0001;

void PutU16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutString(std::vector<uint8_t>* out, std::u16string_view s) {
  for (char16_t c : s) {
    // An embedded zero would end the string early; a one-off string cannot hold it.
    PutU16(out, c == 0 ? u' ' : c);
  }
  PutU16(out, 0);
}

bool GetString(const std::vector<uint8_t>& in, size_t* pos, std::u16string* out) {
  out->clear();
  while (*pos + 1 < in.size()) {
    char16_t c = static_cast<char16_t>(in[*pos] | (in[*pos + 1] << 8));
    *pos += 2;
    if (c == 0) return true;
    out->push_back(c);
  }
  return false;
}

}  // namespace

std::vector<uint8_t> MakeOneOffEntryId(std::u16string_view display_name, std::u16string_view address_type,
                                       std::u16string_view address) {
  std::vector<uint8_t> out;
  out.reserve(24 + 2 * (display_name.size() + address_type.size() + address.size() + 3));
  PutU32(&out, 0);  // long-term EntryID
  out.insert(out.end(), std::begin(kOneOffProvider), std::end(kOneOffProvider));
  PutU16(&out, 0);  // version
  PutU16(&out, kOneOffUnicode | kOneOffNoRichInfo);
  PutString(&out, display_name);
  PutString(&out, address_type);
  PutString(&out, address);
  return out;
}

bool ParseOneOffEntryId(const std::vector<uint8_t>& id, OneOffFields* out) {
  if (id.size() < 24) return false;
  for (int i = 0; i < 4; ++i) {
    if (id[i] != 0) return false;
  }
  for (int i = 0; i < 16; ++i) {
    if (id[4 + i] != kOneOffProvider[i]) return false;
  }
  if (id[20] != 0 || id[21] != 0) return false;
  out->flags = static_cast<uint16_t>(id[22] | (id[23] << 8));
  if ((out->flags & kOneOffUnicode) == 0) return false;
  size_t pos = 24;
  return GetString(id, &pos, &out->display_name) && GetString(id, &pos, &out->address_type) &&
         GetString(id, &pos, &out->address) && pos == id.size();
}

std::vector<uint8_t> MakeSearchKey(std::string_view address_type, std::u16string_view address) {
  std::string key(address_type);
  key += ':';
  key += text::Utf16ToUtf8(address);
  std::vector<uint8_t> out;
  out.reserve(key.size() + 1);
  for (char c : key) out.push_back(static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  out.push_back(0);
  return out;
}

std::vector<uint8_t> MakeFlatEntryList(const std::vector<std::vector<uint8_t>>& entry_ids) {
  std::vector<uint8_t> entries;
  for (const auto& id : entry_ids) {
    PutU32(&entries, static_cast<uint32_t>(id.size()));
    entries.insert(entries.end(), id.begin(), id.end());
    while (entries.size() % 4 != 0) entries.push_back(0);
  }
  std::vector<uint8_t> out;
  PutU32(&out, static_cast<uint32_t>(entry_ids.size()));
  PutU32(&out, static_cast<uint32_t>(entries.size()));
  out.insert(out.end(), entries.begin(), entries.end());
  return out;
}

}  // namespace mail
