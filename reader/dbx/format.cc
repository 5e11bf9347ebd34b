// Decoding of the fixed-size DBX structures from raw bytes.
#include "reader/dbx/format.h"

#include <cstring>

namespace dbx {

DbxFileHeader DecodeFileHeader(const uint8_t (&bytes)[kFileHeaderSize]) {
  DbxFileHeader h;
  h.signature = LoadLe32(bytes);
  h.file_kind = LoadLe32(bytes + 4);
  h.root_offset = LoadLe32(bytes + 0xE4);
  h.message_count = LoadLe32(bytes + 0xC4);
  return h;
}

DbxFolderInfo DecodeFolderInfo(const uint8_t (&bytes)[kFolderInfoSize]) {
  DbxFolderInfo info;
  info.source_type = bytes[0x004];
  const uint8_t* name = bytes + 0x105;
  const void* zero = std::memchr(name, 0, kInternalNameSize);
  size_t length = zero ? static_cast<const uint8_t*>(zero) - name : kInternalNameSize;
  info.internal_name.assign(reinterpret_cast<const char*>(name), length);
  info.internal_name_terminated = zero != nullptr;
  info.session_number = static_cast<int32_t>(LoadLe32(bytes + 0x215));
  return info;
}

DbxIndexNode DecodeIndexNode(const uint8_t (&bytes)[kIndexNodeSize]) {
  DbxIndexNode node;
  node.own_offset = LoadLe32(bytes);
  node.first_child = LoadLe32(bytes + 0x08);
  node.entry_count = bytes[0x11];
  for (size_t i = 0; i < kMaxNodeEntries; ++i) {
    const uint8_t* e = bytes + 0x18 + 12 * i;
    node.entries[i].record_offset = LoadLe32(e);
    node.entries[i].child_offset = LoadLe32(e + 4);
  }
  return node;
}

DbxRecord DecodeRecordHead(const uint8_t (&bytes)[kRecordHeadSize]) {
  DbxRecord r;
  r.own_offset = LoadLe32(bytes);
  r.entry_count = bytes[0x0A];
  return r;
}

DbxRecordEntry DecodeRecordEntry(const uint8_t (&bytes)[kRecordEntrySize]) {
  DbxRecordEntry e;
  e.index = bytes[0] & 0x7F;
  e.direct = (bytes[0] & 0x80) != 0;
  e.value = uint32_t{bytes[1]} | uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]} << 16;
  return e;
}

std::string DirectEntryText(uint32_t value) {
  const char b1 = static_cast<char>(value & 0xFF);
  const char b2 = static_cast<char>((value >> 8) & 0xFF);
  const char b3 = static_cast<char>((value >> 16) & 0xFF);
  std::string text;
  if (b1 == 0) return text;
  text.push_back(b1);
  if (b2 == 0) return text;
  text.push_back(b2);
  if (b3 != 0) text.push_back(b3);
  return text;
}

DbxBodyBlock DecodeBodyBlock(const uint8_t (&bytes)[kBodyBlockSize]) {
  DbxBodyBlock b;
  b.own_offset = LoadLe32(bytes);
  b.used_length = LoadLe32(bytes + 0x08);
  b.next_offset = LoadLe32(bytes + 0x0C);
  b.text = bytes + 0x10;
  return b;
}

}  // namespace dbx
