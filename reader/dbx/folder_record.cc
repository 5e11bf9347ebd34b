// Folder record decoding.
#include "reader/dbx/folder_record.h"

#include "reader/dbx/format.h"

namespace dbx {
namespace {

bool IsNumberField(uint8_t x) {
  return x == 0x00 || x == 0x01 || x == 0x04 || (x >= 0x06 && x <= 0x0A) ||
         (x >= 0x0D && x <= 0x12) || x == 0x1A || x == 0x1C;
}

bool IsTextField(uint8_t x) { return x == 0x02 || x == 0x03 || x == 0x05; }

}  // namespace

DbxStatus DecodeFolderRecord(ByteSource& source, uint32_t record_offset, DbxFolderRecord* f) {
  f->record_offset = record_offset;
  uint8_t head_bytes[kRecordHeadSize];
  DbxStatus s = source.Read(record_offset, kRecordHeadSize, head_bytes);
  if (!s.ok()) return s;
  const DbxRecord head = DecodeRecordHead(head_bytes);
  const uint64_t entries = uint64_t{record_offset} + kRecordHeadSize;
  const uint64_t data = entries + kRecordEntrySize * head.entry_count;

  std::string text;
  for (size_t i = 0; i < head.entry_count; ++i) {
    uint8_t raw[kRecordEntrySize];
    s = source.Read(entries + kRecordEntrySize * i, kRecordEntrySize, raw);
    if (!s.ok()) return s;
    const DbxRecordEntry e = DecodeRecordEntry(raw);
    const uint64_t at = data + e.value;

    if (IsNumberField(e.index)) {
      int32_t number = static_cast<int32_t>(e.value);
      if (!e.direct) {
        uint8_t bytes[4];
        s = source.Read(at, 4, bytes);
        if (!s.ok()) return s;
        number = static_cast<int32_t>(LoadLe32(bytes));
      }
      switch (e.index) {
        case 0x00: f->folder_index = number; break;
        case 0x01: f->parent_index = number; break;
        case 0x07: f->message_count = number; break;
        case 0x08: f->message_unread = number; break;
        case 0x06:
          if (number & kFolderFlagActive) f->is_active = true;
          if (number & kFolderFlagHasSubfolders) f->has_subfolders = true;
          break;
        default: break;
      }
    } else if (IsTextField(e.index)) {
      if (e.direct) {
        text = DirectEntryText(e.value);
      } else {
        bool terminated;
        s = ReadZeroTerminated(source, at, kFolderTextWindow, &text, &terminated);
        if (!s.ok()) return s;
        if (!terminated) f->damage |= kDamageUnterminatedText;
      }
      if (e.index == 0x02) f->folder_name = text;
      if (e.index == 0x03) f->folder_file = text;
    }
  }
  return DbxStatus::Ok();
}

}  // namespace dbx
