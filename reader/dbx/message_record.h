// Decoding of the message records of a folder file: flags, dates, addresses,
// subject, identifiers and the position of the message body.
#ifndef TOLLAN_READER_DBX_MESSAGE_RECORD_H_
#define TOLLAN_READER_DBX_MESSAGE_RECORD_H_

#include <cstdint>
#include <string>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/format.h"
#include "reader/dbx/status.h"

namespace dbx {

// Bits of the message flag word (field 0x01).
inline constexpr uint32_t kFlagPendingChanges = 0x000008;
inline constexpr uint32_t kFlagMarked = 0x000020;
inline constexpr uint32_t kFlagRead = 0x000080;
inline constexpr uint32_t kFlagNewsPosting = 0x000800;
inline constexpr uint32_t kFlagDigitallySigned = 0x001000;
inline constexpr uint32_t kFlagAttachmentPresent = 0x004000;
inline constexpr uint32_t kFlagThreadWatched = 0x400000;
inline constexpr uint32_t kFlagThreadIgnored = 0x800000;

// How far a text window of a message record looks for its terminating zero.
inline constexpr size_t kMessageTextWindow = 8192;

// One message as its record describes it. Texts are raw single-byte text in
// the store's ANSI code page. Dates are automation dates (days since
// 30 December 1899, UTC, whole seconds); 0 when the record gives none.
struct DbxMessage {
  uint32_t record_offset = 0;
  // False when the record failed its own-offset test at the indexed offset
  // and 2 bytes further: every other value then keeps its default.
  bool decoded = false;
  uint32_t shift = 0;  // 0, or 2 when the record was found 2 bytes further

  uint32_t flags = 0;          // flag word, all 32 bits
  uint32_t body_position = 0;  // offset of the first body block; 0 = none
  // The body position ended up 8 or 12: it cannot point at a body block.
  bool body_unreadable = false;

  double date_created = 0;   // field 0x02
  double date_saved = 0;     // field 0x06
  double date_received = 0;  // field 0x12

  int32_t message_lines = 0;     // field 0x03
  int16_t message_priority = 0;  // low 8 bits of field 0x10

  std::string orig_subject;       // 0x05
  std::string message_id;         // 0x07
  std::string subject;            // 0x08
  std::string sender_addr_name;   // 0x09
  std::string answer_message_id;  // 0x0A
  std::string newsgroup;          // 0x0B
  std::string server;             // 0x0C
  std::string sender_name;        // 0x0D
  std::string sender_addr;        // 0x0E
  std::string recipient_name;     // 0x13
  std::string recipient_addr;     // 0x14
  std::string mail_account;       // 0x1A
  std::string registry_key;       // 0x1B

  uint32_t damage = 0;  // kDamage* bits

  bool pending_changes() const { return flags & kFlagPendingChanges; }
  bool message_marked() const { return flags & kFlagMarked; }
  bool message_read() const { return flags & kFlagRead; }
  bool news_posting() const { return flags & kFlagNewsPosting; }
  bool digitally_signed() const { return flags & kFlagDigitallySigned; }
  bool attachment_present() const { return flags & kFlagAttachmentPresent; }
  bool thread_watched() const { return flags & kFlagThreadWatched; }
  bool thread_ignored() const { return flags & kFlagThreadIgnored; }
};

// Decodes the message record at record_offset into *message (which starts
// from its defaults).
//
// The record's own-offset field must equal record_offset, either at
// record_offset or 2 bytes further (then every position of the record is
// shifted by 2); otherwise the message keeps its defaults. Entries are
// applied in stored order, a later entry of the same field winning. A number
// held indirectly is the 4-byte value at its data offset. A body position of
// 8 or 12 held directly is looked up as a 4-byte value at that data offset;
// a position that still is 8 or 12 marks the body unreadable. A text without
// a zero byte within 8192 bytes is cut there; a date that has no calendar
// form, or is held directly, leaves its field unchanged. Fails only on a
// device error.
DbxStatus DecodeMessageRecord(ByteSource& source, uint32_t record_offset, DbxMessage* message);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_MESSAGE_RECORD_H_
