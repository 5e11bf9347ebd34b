// Message: everything the generator writes for one message of a folder file,
// that is its information record (every field kind a message record has) and
// its complete Internet-message text, which goes into a chain of 512-byte
// body blocks. Unset optional fields are left out of the record.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_MESSAGE_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/dbxgen/record.h"

namespace dbxgen {

// Field indexes of message records.
enum MessageField : uint8_t {
  kMsgId = 0x00,
  kMsgFlags = 0x01,
  kMsgDateCreated = 0x02,
  kMsgLines = 0x03,
  kMsgBodyPosition = 0x04,
  kMsgOrigSubject = 0x05,
  kMsgDateSaved = 0x06,
  kMsgMessageId = 0x07,
  kMsgSubject = 0x08,
  kMsgSenderAddrName = 0x09,
  kMsgAnswerMessageId = 0x0A,
  kMsgNewsgroup = 0x0B,
  kMsgServer = 0x0C,
  kMsgSenderName = 0x0D,
  kMsgSenderAddr = 0x0E,
  kMsgPriority = 0x10,
  kMsgSize = 0x11,
  kMsgDateReceived = 0x12,
  kMsgRecipientName = 0x13,
  kMsgRecipientAddr = 0x14,
  kMsgAccount = 0x1A,
  kMsgRegistryKey = 0x1B,
  kMsgExtraFlags = 0x1C,
};

// Bits of the message flag word (field 0x01).
inline constexpr uint32_t kFlagPendingChanges = 0x000008;
inline constexpr uint32_t kFlagMarked = 0x000020;
inline constexpr uint32_t kFlagRead = 0x000080;
inline constexpr uint32_t kFlagNewsPosting = 0x000800;
inline constexpr uint32_t kFlagSigned = 0x001000;
inline constexpr uint32_t kFlagAttachment = 0x004000;
inline constexpr uint32_t kFlagThreadWatched = 0x400000;
inline constexpr uint32_t kFlagThreadIgnored = 0x800000;
// Set by Outlook Express on downloaded messages; a flag word with it needs
// more than 24 bits and is kept in the data area (0x01000081 is typical).
inline constexpr uint32_t kFlagDownloaded = 0x01000000;

// Ways a message can be damaged on purpose. Each names what a reader meets.
struct MessageDamage {
  // The record's own-offset field matches neither the indexed offset nor the
  // 2-byte shifted one: the record cannot be decoded.
  bool bad_own_offset = false;
  // The last body block points back to the first one.
  bool cyclic_body_chain = false;
  // The subject is written without its zero byte and is longer than the
  // 8192-byte text window (see StoredSubject()).
  bool unterminated_subject = false;
  // DateCreated as a direct entry, DateSaved at 2^64-1 and DateReceived in
  // the year 12000: none of them has a representable calendar date.
  bool unrepresentable_dates = false;
  // The last body block claims 600 used bytes.
  bool overlong_last_segment = false;
  // 8 or 12: the body position entry holds 8 (or 12) and the data area holds
  // the same value there, so no body block can be found.
  int unreadable_body_position = 0;
  // Deleted the way Outlook Express deletes before the folder is compacted:
  // the body chain stays in the file, the record's space is freed (zeroed)
  // and the index has no entry for it.
  bool deleted = false;
};

struct Message {
  std::optional<uint32_t> id;  // 0x00; left out: the position in the folder + 1
  std::optional<uint32_t> flags;
  std::optional<uint64_t> date_created;  // FILETIME
  std::optional<uint32_t> lines;
  std::optional<std::string> orig_subject;
  std::optional<uint64_t> date_saved;
  std::optional<std::string> message_id;
  std::optional<std::string> subject;
  std::optional<std::string> sender_addr_name;
  std::optional<std::string> answer_message_id;
  std::optional<std::string> newsgroup;
  std::optional<std::string> server;
  std::optional<std::string> sender_name;
  std::optional<std::string> sender_addr;
  std::optional<uint32_t> priority;  // 1 high, 3 normal, 5 low
  std::optional<uint32_t> size;      // 0x11; left out: the length of `text`
  std::optional<uint64_t> date_received;
  std::optional<std::string> recipient_name;
  std::optional<std::string> recipient_addr;
  std::optional<std::string> account;
  std::optional<std::string> registry_key;
  std::optional<uint32_t> extra_flags;  // 0x1C

  // Storage of particular fields (by index); others use Storage::kAuto.
  std::map<uint8_t, Storage> storage;
  // Fields appended after the standard ones, in this order (duplicates and
  // unknown indexes included).
  std::vector<Field> extra_fields;

  // The complete stored Internet-message text (ANSI bytes, CR LF lines).
  std::string text;
  // Used lengths of the body blocks (each at most 512, summing to the text
  // length); empty: 512 in every block but the last.
  std::vector<uint32_t> segment_lengths;

  // Format variants that Outlook Express files show and readers must follow:
  // 8 or 12 keeps the body position at that data offset and points the entry
  // there; `shifted_record` puts the record 2 bytes after its indexed offset.
  int body_position_in_data_area = 0;
  bool shifted_record = false;

  MessageDamage damage;
};

// The bytes written for the subject: the subject itself, or for an
// unterminated subject the subject followed by filler, 8200 bytes long,
// without a zero byte. A reader that stops at its 8192-byte window returns
// the first 8192 of them.
std::string StoredSubject(const Message& message);

// The FILETIME written as DateReceived for unrepresentable dates (year 12000).
uint64_t UnrepresentableReceivedDate();

// What the writer needs to lay out one message record.
struct MessageRecordPlan {
  std::vector<Field> fields;
  RecordOptions options;
};

// Fields of the record of the message at `position` (0-based) in its folder,
// whose first body block lies at `body_offset` (0 without a body).
MessageRecordPlan PlanMessageRecord(const Message& message, std::size_t position,
                                    uint32_t body_offset);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_MESSAGE_H_
