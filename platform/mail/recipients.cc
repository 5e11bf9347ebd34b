// Recipient rows and address properties.
#include "platform/mail/recipients.h"

#include "platform/mail/entry_id.h"
#include "platform/mail/prop_ids.h"

namespace mail {

namespace {

constexpr char16_t kSmtp[] = u"SMTP";

}  // namespace

std::u16string Address::DisplayName() const { return name.empty() ? address : name; }

pst::RecipientContent MakeRecipient(const Address& a, int32_t recipient_type) {
  pst::RecipientContent r;
  std::u16string display = a.DisplayName();
  std::vector<uint8_t> entry_id = MakeOneOffEntryId(display, kSmtp, a.address);
  auto& p = r.props;
  p.reserve(14);
  p.push_back(pst::MakeInt32(prop::kRecipientType, recipient_type));
  p.push_back(pst::MakeInt32(prop::kObjectType, kObjectTypeMailUser));
  p.push_back(pst::MakeInt32(prop::kDisplayType, kDisplayTypeMailUser));
  p.push_back(pst::MakeString(prop::kDisplayName, display));
  p.push_back(pst::MakeString(prop::kTransmittableDisplayName, display));
  p.push_back(pst::MakeString(prop::kAddressType, kSmtp));
  p.push_back(pst::MakeString(prop::kEmailAddress, a.address));
  p.push_back(pst::MakeString(prop::kSmtpAddress, a.address));
  p.push_back(pst::MakeBinary(prop::kEntryId, entry_id));
  // A one-off recipient has no address-book record; its EntryID identifies it.
  p.push_back(pst::MakeBinary(prop::kRecordKey, entry_id));
  p.push_back(pst::MakeBinary(prop::kSearchKey, MakeSearchKey("SMTP", a.address)));
  p.push_back(pst::MakeBool(prop::kSendRichInfo, false));
  p.push_back(pst::MakeInt32(prop::kRecipientFlags, 1));  // recipSendable
  p.push_back(pst::MakeInt32(prop::kRecipientTrackStatus, 0));
  return r;
}

std::u16string DisplayList(const std::vector<Address>& list) {
  std::u16string out;
  for (const auto& a : list) {
    if (!out.empty()) out += u"; ";
    out += a.DisplayName();
  }
  return out;
}

void SetSender(const Address& a, pst::MessageContent* msg) {
  std::u16string display = a.DisplayName();
  msg->Set(pst::MakeString(prop::kSenderName, display));
  msg->Set(pst::MakeString(prop::kSenderEmailAddress, a.address));
  msg->Set(pst::MakeString(prop::kSenderAddressType, kSmtp));
  msg->Set(pst::MakeString(prop::kSenderSmtpAddress, a.address));
  msg->Set(pst::MakeBinary(prop::kSenderEntryId, MakeOneOffEntryId(display, kSmtp, a.address)));
  msg->Set(pst::MakeBinary(prop::kSenderSearchKey, MakeSearchKey("SMTP", a.address)));
}

void SetSentRepresenting(const Address& a, pst::MessageContent* msg) {
  std::u16string display = a.DisplayName();
  msg->Set(pst::MakeString(prop::kSentRepresentingName, display));
  msg->Set(pst::MakeString(prop::kSentRepresentingEmailAddress, a.address));
  msg->Set(pst::MakeString(prop::kSentRepresentingAddressType, kSmtp));
  msg->Set(pst::MakeString(prop::kSentRepresentingSmtpAddress, a.address));
  msg->Set(pst::MakeBinary(prop::kSentRepresentingEntryId, MakeOneOffEntryId(display, kSmtp, a.address)));
  msg->Set(pst::MakeBinary(prop::kSentRepresentingSearchKey, MakeSearchKey("SMTP", a.address)));
}

void SetReplyTo(const std::vector<Address>& list, pst::MessageContent* msg) {
  if (list.empty()) return;
  std::vector<std::vector<uint8_t>> ids;
  for (const auto& a : list) ids.push_back(MakeOneOffEntryId(a.DisplayName(), kSmtp, a.address));
  msg->Set(pst::MakeString(prop::kReplyRecipientNames, DisplayList(list)));
  msg->Set(pst::MakeBinary(prop::kReplyRecipientEntries, MakeFlatEntryList(ids)));
}

}  // namespace mail
