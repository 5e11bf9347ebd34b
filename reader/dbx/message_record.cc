// Message record decoding.
#include "reader/dbx/message_record.h"

#include "reader/dbx/date_time.h"
#include "reader/dbx/format.h"

namespace dbx {
namespace {

enum class Form { kNone, kNumber, kText, kDate };

Form FieldForm(uint8_t index) {
  switch (index) {
    case 0x00: case 0x01: case 0x03: case 0x04: case 0x10:
    case 0x11: case 0x16: case 0x18: case 0x19: case 0x1C:
      return Form::kNumber;
    case 0x05: case 0x07: case 0x08: case 0x09: case 0x0A: case 0x0B: case 0x0C:
    case 0x0D: case 0x0E: case 0x13: case 0x14: case 0x1A: case 0x1B:
      return Form::kText;
    case 0x02: case 0x06: case 0x12:
      return Form::kDate;
    default:
      return Form::kNone;
  }
}

std::string* TextField(DbxMessage* m, uint8_t index) {
  switch (index) {
    case 0x05: return &m->orig_subject;
    case 0x07: return &m->message_id;
    case 0x08: return &m->subject;
    case 0x09: return &m->sender_addr_name;
    case 0x0A: return &m->answer_message_id;
    case 0x0B: return &m->newsgroup;
    case 0x0C: return &m->server;
    case 0x0D: return &m->sender_name;
    case 0x0E: return &m->sender_addr;
    case 0x13: return &m->recipient_name;
    case 0x14: return &m->recipient_addr;
    case 0x1A: return &m->mail_account;
    case 0x1B: return &m->registry_key;
    default: return nullptr;
  }
}

double* DateField(DbxMessage* m, uint8_t index) {
  switch (index) {
    case 0x02: return &m->date_created;
    case 0x06: return &m->date_saved;
    case 0x12: return &m->date_received;
    default: return nullptr;
  }
}

DbxStatus ReadLe32(ByteSource& source, uint64_t offset, uint32_t* value) {
  uint8_t bytes[4];
  DbxStatus s = source.Read(offset, 4, bytes);
  *value = LoadLe32(bytes);
  return s;
}

}  // namespace

DbxStatus DecodeMessageRecord(ByteSource& source, uint32_t record_offset, DbxMessage* m) {
  m->record_offset = record_offset;

  // Find the record head at r, or 2 bytes further. Read errors here only
  // leave the message undecoded.
  uint8_t head_bytes[kRecordHeadSize];
  uint64_t start = record_offset;
  if (!source.Read(start, kRecordHeadSize, head_bytes).ok()) return DbxStatus::Ok();
  DbxRecord head = DecodeRecordHead(head_bytes);
  if (head.own_offset != record_offset) {
    start = uint64_t{record_offset} + 2;
    if (!source.Read(start, kRecordHeadSize, head_bytes).ok()) return DbxStatus::Ok();
    head = DecodeRecordHead(head_bytes);
    if (head.own_offset != record_offset) return DbxStatus::Ok();
    m->shift = 2;
  }
  m->decoded = true;

  const uint64_t data = start + kRecordHeadSize + kRecordEntrySize * head.entry_count;
  // All entries lie in one piece after the head; read them at once.
  uint8_t entry_bytes[255 * kRecordEntrySize];
  DbxStatus s = source.Read(start + kRecordHeadSize, kRecordEntrySize * head.entry_count,
                            entry_bytes);
  if (!s.ok()) return s;

  std::string text;
  for (size_t i = 0; i < head.entry_count; ++i) {
    uint8_t raw[kRecordEntrySize];
    for (size_t k = 0; k < kRecordEntrySize; ++k) raw[k] = entry_bytes[i * kRecordEntrySize + k];
    const DbxRecordEntry e = DecodeRecordEntry(raw);
    const uint64_t at = data + e.value;  // data offset of an indirect entry

    switch (FieldForm(e.index)) {
      case Form::kNumber: {
        uint32_t number = e.value;
        if (!e.direct) {
          s = ReadLe32(source, at, &number);
          if (!s.ok()) return s;
        }
        if (e.index == 0x01) {
          m->flags = number;
        } else if (e.index == 0x03) {
          m->message_lines = static_cast<int32_t>(number);
        } else if (e.index == 0x10) {
          m->message_priority = static_cast<int16_t>(number & 0xFF);
        } else if (e.index == 0x04) {
          // A direct position of 8 or 12 names a place in the data area that
          // holds the position.
          if (e.direct && (number == 8 || number == 12)) {
            s = ReadLe32(source, data + number, &number);
            if (!s.ok()) return s;
          }
          m->body_position = number;
        }
        break;
      }
      case Form::kText: {
        if (e.direct) {
          text = DirectEntryText(e.value);
        } else {
          bool terminated;
          s = ReadZeroTerminated(source, at, kMessageTextWindow, &text, &terminated);
          if (!s.ok()) return s;
          if (!terminated) m->damage |= kDamageUnterminatedText;
        }
        *TextField(m, e.index) = text;
        break;
      }
      case Form::kDate: {
        if (e.direct) {
          m->damage |= kDamageBadDate;
          break;
        }
        uint8_t stamp[8];
        s = source.Read(at, sizeof(stamp), stamp);
        if (!s.ok()) return s;
        std::optional<double> date = FileTimeToAutomationDate(LoadLe64(stamp));
        if (date) {
          *DateField(m, e.index) = *date;
        } else {
          m->damage |= kDamageBadDate;
        }
        break;
      }
      case Form::kNone:
        break;
    }
  }
  m->body_unreadable = m->body_position == 8 || m->body_position == 12;
  return DbxStatus::Ok();
}

}  // namespace dbx
