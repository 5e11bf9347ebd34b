// MessageBuilder: turns a MessageContent into the node of a message object
// ([MS-PST] 2.4.5, 2.4.6): its property context, recipient table, attachment
// table and one subnode per attachment, an embedded message being a subnode
// of its attachment (recursively). Named properties are mapped through the
// store's name-to-id map. The store-computed sizes (PidTagMessageSize,
// PidTagAttachSize) are the bytes the object occupies in the file: its data
// stream plus the data of all its subnodes.
#ifndef TOLLAN_PLATFORM_PST_MESSAGING_MESSAGE_BUILDER_H_
#define TOLLAN_PLATFORM_PST_MESSAGING_MESSAGE_BUILDER_H_

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/pst/ltp/subnode_ids.h"
#include "platform/pst/ltp/tc_builder.h"
#include "platform/pst/message.h"
#include "platform/pst/messaging/name_map.h"
#include "platform/pst/ndb/ndb_writer.h"
#include "platform/pst/status.h"

namespace pst::messaging {

inline constexpr uint16_t kPidMessageClass = 0x001A;
inline constexpr uint16_t kPidMessageSize = 0x0E08;
inline constexpr uint16_t kPidMessageFlags = 0x0E07;
inline constexpr uint16_t kPidAttachSize = 0x0E20;
inline constexpr uint16_t kPidAttachDataObject = 0x3701;
inline constexpr uint16_t kPidAttachMethod = 0x3705;
inline constexpr uint16_t kPidRenderingPosition = 0x370B;
inline constexpr Nid kNidRecipientTable = 0x692;
inline constexpr Nid kNidAttachmentTable = 0x671;

// The bytes a node occupies: its data plus its subnodes' (recursively).
uint64_t StoredSize(const NodeData& node);

class MessageBuilder {
 public:
  explicit MessageBuilder(NameToIdMap* names) : names_(names) {}

  // Builds the node of `msg`. (*row)[i] receives the message's stored value
  // of row_columns[i] (computed ones included, the last property of a tag
  // winning) or nothing, for the folder's contents-table row.
  Status Build(const MessageContent& msg, const std::vector<ltp::TcColumn>& row_columns,
               NodeData* out, std::vector<std::optional<Property>>* row);

  // Property ids resolved, in id order, one property per id; the values
  // point into the caller's content or the builder's own defaults.
  class Resolved {
   public:
    // The property of `id`, or null.
    const Property* Find(uint16_t id) const;
    // Sets the property of `id`, replacing an earlier one.
    void Set(uint16_t id, const Property* p);
    // Sets it only when `id` has none yet.
    void SetDefault(uint16_t id, const Property* p) {
      if (Find(id) == nullptr) Set(id, p);
    }
    std::vector<std::pair<uint16_t, const Property*>>::const_iterator begin() const {
      return props_.begin();
    }
    std::vector<std::pair<uint16_t, const Property*>>::const_iterator end() const {
      return props_.end();
    }

   private:
    friend class MessageBuilder;
    std::vector<std::pair<uint16_t, const Property*>> props_;
  };

 private:
  Status Resolve(const Property& p, uint16_t* id);
  Status ResolveAll(const std::vector<Property>& in, const char* what, Resolved* out);
  Status BuildMessage(const MessageContent& msg, int depth, NodeData* out,
                      const std::vector<ltp::TcColumn>* row_columns,
                      std::vector<std::optional<Property>>* row);
  Status BuildAttachment(const AttachmentContent& a, int depth, NodeData* out,
                         ltp::TcBuilder* table, Nid nid, uint32_t row_version,
                         ltp::SubnodeIds* message_ids);

  NameToIdMap* names_;
};

}  // namespace pst::messaging

#endif  // TOLLAN_PLATFORM_PST_MESSAGING_MESSAGE_BUILDER_H_
