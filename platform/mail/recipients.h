// People named by a message: recipient rows (one per address, with what
// Outlook needs to show, reply to and search them), the display lists
// (PidTagDisplayTo/Cc/Bcc), and the sender, sent-representing and reply-to
// properties. Every address is an SMTP one-off ([MS-OXCMAIL] 2.2.3.1).
#ifndef TOLLAN_PLATFORM_MAIL_RECIPIENTS_H_
#define TOLLAN_PLATFORM_MAIL_RECIPIENTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pst/message.h"

namespace mail {

struct Address {
  std::u16string name;     // display name as written, may be empty
  std::u16string address;  // addr-spec, may be empty for a name without an address

  // The name, or the address when there is no name.
  std::u16string DisplayName() const;
};

// The properties of one recipient row of `recipient_type` (1 To, 2 Cc,
// 3 Bcc).
pst::RecipientContent MakeRecipient(const Address& a, int32_t recipient_type);

// Display names joined with "; ", as PidTagDisplayTo shows them.
std::u16string DisplayList(const std::vector<Address>& list);

// PidTagSender* (from the Sender field, or From when there is none) and
// PidTagSentRepresenting* (from From).
void SetSender(const Address& a, pst::MessageContent* msg);
void SetSentRepresenting(const Address& a, pst::MessageContent* msg);

// PidTagReplyRecipientNames and PidTagReplyRecipientEntries.
void SetReplyTo(const std::vector<Address>& list, pst::MessageContent* msg);

}  // namespace mail

#endif  // TOLLAN_PLATFORM_MAIL_RECIPIENTS_H_
