// MessageContent: one message as the PST writer takes it: its properties, its
// recipient rows and its attachments (an attachment may hold an embedded
// message). The mail import fills it; the caller may add or replace properties
// (read flags, dates) before handing it to the writer.
#ifndef TOLLAN_PLATFORM_PST_MESSAGE_H_
#define TOLLAN_PLATFORM_PST_MESSAGE_H_

#include <memory>
#include <vector>

#include "platform/pst/property.h"

namespace pst {

struct MessageContent;

struct RecipientContent {
  std::vector<Property> props;  // PidTagRecipientType, PidTagDisplayName, ...
  bool operator==(const RecipientContent&) const = default;
};

struct AttachmentContent {
  // PidTagAttachMethod, PidTagAttachLongFilename, ...; the bytes of an
  // attachment by value are the PidTagAttachDataBinary property.
  std::vector<Property> props;
  // Set for an embedded message (PidTagAttachMethod 5, afEmbeddedMessage).
  std::unique_ptr<MessageContent> embedded;
  // The same properties and the same embedded message (by content).
  bool operator==(const AttachmentContent& other) const;
};

struct MessageContent {
  std::vector<Property> props;
  std::vector<RecipientContent> recipients;
  std::vector<AttachmentContent> attachments;

  // Replaces the property with the same id (or name) and type, or adds it.
  void Set(Property p);
  // The property with this tag, or nullptr.
  const Property* Find(uint32_t tag) const;

  // The same properties, recipients and attachments, in the same order.
  bool operator==(const MessageContent&) const = default;
};

inline bool AttachmentContent::operator==(const AttachmentContent& other) const {
  if (props != other.props || !embedded != !other.embedded) return false;
  return !embedded || *embedded == *other.embedded;
}

inline void MessageContent::Set(Property p) {
  for (auto& q : props) {
    if (q.named == p.named && q.type == p.type &&
        (p.named ? q.name == p.name : q.id == p.id)) {
      q = std::move(p);
      return;
    }
  }
  props.push_back(std::move(p));
}

inline const Property* MessageContent::Find(uint32_t tag) const {
  for (const auto& q : props) {
    if (!q.named && q.tag() == tag) return &q;
  }
  return nullptr;
}

}  // namespace pst

#endif  // TOLLAN_PLATFORM_PST_MESSAGE_H_
