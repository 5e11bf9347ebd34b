// Turning a Message into record fields; see message.h.
#include "tests/support/dbxgen/message.h"

#include <algorithm>

#include "tests/support/dbxgen/bytes.h"
#include "tests/support/dbxgen/filetime.h"
#include "tests/support/dbxgen/layout.h"

namespace dbxgen {

std::string StoredSubject(const Message& message) {
  std::string subject = message.subject.value_or("");
  if (!message.damage.unterminated_subject) return subject;
  const std::string filler = " -unterminated-";
  subject.erase(std::remove(subject.begin(), subject.end(), '\0'), subject.end());
  while (subject.size() < kMessageTextWindow + 8) subject += filler;
  subject.resize(kMessageTextWindow + 8);
  return subject;
}

uint64_t UnrepresentableReceivedDate() { return FileTimeFromCivil(12000, 1, 1); }

namespace {

Storage StorageOf(const Message& message, uint8_t index) {
  auto it = message.storage.find(index);
  return it == message.storage.end() ? Storage::kAuto : it->second;
}

}  // namespace

MessageRecordPlan PlanMessageRecord(const Message& message, std::size_t position,
                                    uint32_t body_offset) {
  MessageRecordPlan plan;
  std::vector<Field>& f = plan.fields;
  auto number = [&](uint8_t index, const std::optional<uint32_t>& value) {
    if (value) f.push_back(Field::Number(index, *value, StorageOf(message, index)));
  };
  auto text = [&](uint8_t index, const std::optional<std::string>& value) {
    if (value) f.push_back(Field::Text(index, *value, StorageOf(message, index)));
  };
  auto date = [&](uint8_t index, const std::optional<uint64_t>& value) {
    if (value) f.push_back(Field::Date(index, *value, StorageOf(message, index)));
  };
  const MessageDamage& damage = message.damage;

  number(kMsgId, message.id.value_or(static_cast<uint32_t>(position + 1)));
  number(kMsgFlags, message.flags);
  if (damage.unrepresentable_dates) {
    f.push_back(Field::Date(kMsgDateCreated, message.date_created.value_or(0x123456),
                            Storage::kDirect));
  } else {
    date(kMsgDateCreated, message.date_created);
  }
  number(kMsgLines, message.lines);

  // The body position: the first block's offset, or a pointer into the data
  // area that holds it.
  int data_slot = message.body_position_in_data_area;
  uint32_t slot_value = body_offset;
  if (damage.unreadable_body_position == 8 || damage.unreadable_body_position == 12) {
    data_slot = damage.unreadable_body_position;
    slot_value = static_cast<uint32_t>(data_slot);
  }
  if (data_slot == 8 || data_slot == 12) {
    plan.options.data_prefix.assign(16, '\0');
    PutU32(plan.options.data_prefix, static_cast<std::size_t>(data_slot), slot_value);
    f.push_back(Field::Number(kMsgBodyPosition, static_cast<uint32_t>(data_slot),
                              Storage::kDirect));
  } else if (body_offset != 0) {
    f.push_back(Field::Number(kMsgBodyPosition, body_offset, StorageOf(message, kMsgBodyPosition)));
  }

  text(kMsgOrigSubject, message.orig_subject);
  if (damage.unrepresentable_dates) {
    f.push_back(Field::Date(kMsgDateSaved, ~uint64_t{0}));
  } else {
    date(kMsgDateSaved, message.date_saved);
  }
  text(kMsgMessageId, message.message_id);
  if (damage.unterminated_subject) {
    f.push_back(Field::Raw(kMsgSubject, StoredSubject(message)));
  } else {
    text(kMsgSubject, message.subject);
  }
  text(kMsgSenderAddrName, message.sender_addr_name);
  text(kMsgAnswerMessageId, message.answer_message_id);
  text(kMsgNewsgroup, message.newsgroup);
  text(kMsgServer, message.server);
  text(kMsgSenderName, message.sender_name);
  text(kMsgSenderAddr, message.sender_addr);
  number(kMsgPriority, message.priority);
  number(kMsgSize, message.size.value_or(static_cast<uint32_t>(message.text.size())));
  if (damage.unrepresentable_dates) {
    f.push_back(Field::Date(kMsgDateReceived, UnrepresentableReceivedDate()));
  } else {
    date(kMsgDateReceived, message.date_received);
  }
  text(kMsgRecipientName, message.recipient_name);
  text(kMsgRecipientAddr, message.recipient_addr);
  text(kMsgAccount, message.account);
  text(kMsgRegistryKey, message.registry_key);
  if (message.extra_flags) {
    // Outlook Express keeps this word in the data area.
    Storage storage = StorageOf(message, kMsgExtraFlags);
    f.push_back(Field::Number(kMsgExtraFlags, *message.extra_flags,
                              storage == Storage::kAuto ? Storage::kIndirect : storage));
  }
  f.insert(f.end(), message.extra_fields.begin(), message.extra_fields.end());
  return plan;
}

}  // namespace dbxgen
