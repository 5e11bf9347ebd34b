// Serialisation of fields into record bytes; see record.h.
#include "tests/support/dbxgen/record.h"

#include "tests/support/dbxgen/bytes.h"
#include "tests/support/dbxgen/layout.h"

namespace dbxgen {

Field Field::Number(uint8_t index, uint32_t value, Storage storage) {
  Field f;
  f.index = index;
  f.kind = Kind::kNumber;
  f.number = value;
  f.storage = storage;
  return f;
}

Field Field::Text(uint8_t index, std::string text, Storage storage) {
  Field f;
  f.index = index;
  f.kind = Kind::kText;
  f.bytes = std::move(text);
  f.storage = storage;
  return f;
}

Field Field::Date(uint8_t index, uint64_t filetime, Storage storage) {
  Field f;
  f.index = index;
  f.kind = Kind::kDate;
  f.filetime = filetime;
  f.storage = storage;
  return f;
}

Field Field::Raw(uint8_t index, std::string bytes) {
  Field f;
  f.index = index;
  f.kind = Kind::kRaw;
  f.bytes = std::move(bytes);
  f.storage = Storage::kIndirect;
  return f;
}

bool IsDirect(const Field& field) {
  switch (field.storage) {
    case Storage::kDirect: return true;
    case Storage::kIndirect: return false;
    case Storage::kAuto: break;
  }
  return field.kind == Field::Kind::kNumber && field.number <= kMaxDirectValue;
}

namespace {

// The three value bytes of a direct entry.
uint32_t DirectValue(const Field& field) {
  switch (field.kind) {
    case Field::Kind::kNumber: return field.number & kMaxDirectValue;
    case Field::Kind::kDate: return static_cast<uint32_t>(field.filetime & kMaxDirectValue);
    case Field::Kind::kText:
    case Field::Kind::kRaw: {
      uint32_t value = 0;
      for (std::size_t i = 0; i < 3 && i < field.bytes.size(); ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(field.bytes[i])) << (8 * i);
      }
      return value;
    }
  }
  return 0;
}

void AppendIndirectValue(std::string& data, const Field& field) {
  switch (field.kind) {
    case Field::Kind::kNumber: AppendU32(data, field.number); break;
    case Field::Kind::kDate: AppendU64(data, field.filetime); break;
    case Field::Kind::kText: data += field.bytes; data.push_back('\0'); break;
    case Field::Kind::kRaw: data += field.bytes; break;
  }
}

}  // namespace

Result<std::string> BuildRecord(const std::vector<Field>& fields, const RecordOptions& options) {
  if (fields.size() > 255) {
    return Status::Error("a record holds at most 255 fields, got " + std::to_string(fields.size()));
  }
  std::string entries;
  std::string data = options.data_prefix;
  for (const Field& field : fields) {
    if (field.index > 0x7F) {
      return Status::Error("field index " + std::to_string(field.index) + " is above 127");
    }
    uint32_t value;
    uint8_t head = field.index;
    if (IsDirect(field)) {
      head |= kDirectFlag;
      value = DirectValue(field);
    } else {
      if (data.size() > kMaxDirectValue) {
        return Status::Error("record data area exceeds 16 MiB at field " +
                             std::to_string(field.index));
      }
      value = static_cast<uint32_t>(data.size());
      AppendIndirectValue(data, field);
    }
    AppendU32(entries, head | (value << 8));
  }
  std::size_t body = entries.size() + data.size();
  body = (body + 3) & ~std::size_t{3};

  std::string record(kRecordHeadSize, '\0');
  PutU32(record, 0, options.own_offset);
  PutU32(record, 4, static_cast<uint32_t>(body));
  std::size_t total = kRecordHeadSize + body;
  uint16_t total16 = total > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(total);
  record[8] = static_cast<char>(total16 & 0xFF);
  record[9] = static_cast<char>(total16 >> 8);
  record[10] = static_cast<char>(fields.size());
  record[11] = static_cast<char>(options.change_count);
  record += entries;
  record += data;
  record.resize(kRecordHeadSize + body, '\0');
  return record;
}

}  // namespace dbxgen
