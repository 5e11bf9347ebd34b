// MessageDigest: a small record of what a message holds, made of one 64-bit
// hash per value (never the values themselves), so that a converter can keep
// one for every message it writes and later prove the file against them.
// The same digest is computed from the MessageContent handed to the writer
// (DigestOf) and from the message read back from the finished file
// (message_reader.h); FirstDifference names the first value that differs.
//
// Covered: the message class, subject, sender and sent-representing names
// and addresses, submit and delivery times, message flags, plain and HTML
// bodies; the recipients' names, addresses and types, in order; every
// attachment's name, method and bytes, and an embedded message's digest in
// full. An absent value hashes to 0, so a value that is lost shows as well
// as one that is changed. A digest holds about 150 bytes plus 32 per
// attachment.
//
//   MessageDigest want = DigestOf(content);    // before PstFile::AddMessage
//   ...
//   std::string what = FirstDifference(want, read_back);   // "" when equal
#ifndef TOLLAN_PLATFORM_PST_READBACK_DIGEST_H_
#define TOLLAN_PLATFORM_PST_READBACK_DIGEST_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/pst/message.h"

namespace pst::readback {

// One hashed value of a digest: the property tags that feed it (the first
// one present counts for a single value; every one, in order, for a group
// over several rows) and the name a report gives it.
struct DigestField {
  std::vector<uint32_t> tags;
  const char* name;
};

// The message values, in the order of MessageDigest::values.
const std::vector<DigestField>& MessageFields();
// The recipient groups (hashed over every row), in the order of
// MessageDigest::recipients.
const std::vector<DigestField>& RecipientFields();
// The attachment values, in the order of AttachmentDigest::values.
const std::vector<DigestField>& AttachmentFields();

inline constexpr size_t kMessageValues = 11;
inline constexpr size_t kRecipientGroups = 3;
inline constexpr size_t kAttachmentValues = 3;

struct MessageDigest;

struct AttachmentDigest {
  std::array<uint64_t, kAttachmentValues> values{};
  std::unique_ptr<MessageDigest> embedded;   // set for an embedded message
};

struct MessageDigest {
  std::array<uint64_t, kMessageValues> values{};
  std::array<uint64_t, kRecipientGroups> recipients{};
  uint32_t recipient_count = 0;
  std::vector<AttachmentDigest> attachments;
};

// The hash of a stored value of property type `type`: its bytes as the file
// holds them (strings UTF-16LE, fixed-size values as 8 little-endian bytes).
// Never 0. ValueHasher does the same over a value that arrives in pieces.
uint64_t ValueHash(uint16_t type, const uint8_t* data, size_t n);
class ValueHasher {
 public:
  explicit ValueHasher(uint16_t type);
  ~ValueHasher();
  ValueHasher(const ValueHasher&) = delete;
  ValueHasher& operator=(const ValueHasher&) = delete;
  // Starts over for a new value of property type `type`.
  void Reset(uint16_t type);
  void Update(const uint8_t* data, size_t n);
  uint64_t Finish();

 private:
  void* state_;
};

// Folds one more value hash into a group's hash.
uint64_t MixHash(uint64_t group, uint64_t value);

// The digest of `content` as the writer stores it: the last property of a
// tag wins, a missing message class is "IPM.Note" and an embedded message's
// missing attach method is 5, as PstFile does.
MessageDigest DigestOf(const MessageContent& content);

// The first value in which `got` differs from `want`, named for a report
// ("subject", "attachment 2 bytes", "attachment 1 embedded message: plain
// body"); "" when they are equal.
std::string FirstDifference(const MessageDigest& want, const MessageDigest& got);

}  // namespace pst::readback

#endif  // TOLLAN_PLATFORM_PST_READBACK_DIGEST_H_
