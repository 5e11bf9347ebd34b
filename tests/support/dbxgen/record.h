// Fields and records: the information record that describes one message (in
// a folder file) or one folder (in the folder list). A record is a 12-byte
// head, one 4-byte entry per field and a data area for the values that do not
// fit in an entry. This file turns a list of fields into those bytes.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_RECORD_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_RECORD_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/dbxgen/status.h"

namespace dbxgen {

// Where a field's value is kept.
//   kAuto: numbers up to 24 bits in the entry, larger ones in the data area;
//          texts and dates in the data area (what Outlook Express does).
//   kDirect: in the entry's three value bytes (a number's low 24 bits, a
//          text's first three bytes, a date's low 24 bits, which carries no date).
//   kIndirect: in the data area (numbers as 4 bytes, texts with a zero byte,
//          dates as an 8-byte FILETIME, raw bytes as they are).
enum class Storage { kAuto, kDirect, kIndirect };

struct Field {
  enum class Kind { kNumber, kText, kDate, kRaw };

  uint8_t index = 0;  // 0 to 127
  Kind kind = Kind::kNumber;
  Storage storage = Storage::kAuto;
  uint32_t number = 0;    // kNumber
  uint64_t filetime = 0;  // kDate: 100-ns ticks since 1601-01-01 UTC
  std::string bytes;      // kText (without its zero byte) and kRaw

  static Field Number(uint8_t index, uint32_t value, Storage storage = Storage::kAuto);
  static Field Text(uint8_t index, std::string text, Storage storage = Storage::kAuto);
  static Field Date(uint8_t index, uint64_t filetime, Storage storage = Storage::kAuto);
  // Raw bytes in the data area, written exactly as given (no zero byte added).
  static Field Raw(uint8_t index, std::string bytes);
};

struct RecordOptions {
  // Written as the record's own offset; normally the offset the record lies at.
  uint32_t own_offset = 0;
  // Bytes at the start of the data area that no entry points at; field data
  // follows them. Used to place a 4-byte value at data offset 8 or 12.
  std::string data_prefix;
  // Byte +0x0B of the head: Outlook Express counts rewrites of a record there.
  uint8_t change_count = 1;
};

// Builds the record's bytes: head, entries (in the order given) and data area,
// padded to a multiple of 4. Fails when a field index is above 127, when there
// are more than 255 fields, or when the data area outgrows 24-bit offsets.
Result<std::string> BuildRecord(const std::vector<Field>& fields, const RecordOptions& options);

// True when the field ends up in its entry rather than in the data area.
bool IsDirect(const Field& field);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_RECORD_H_
