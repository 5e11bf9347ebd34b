// Reading messages back from a finished PST for comparison with what was
// written: the digest of a message node (its property context, recipient
// table, attachment table, attachments and embedded messages, [MS-PST]
// 2.4.5 and 2.4.6) and the order of a folder's messages (its contents
// table's rows, 2.4.4.5). Values go straight into their hashes; a value
// larger than the checker's value limit is hashed block by block, so memory
// stays bounded by one message's table and heap pages.
#ifndef TOLLAN_PLATFORM_PST_READBACK_MESSAGE_READER_H_
#define TOLLAN_PLATFORM_PST_READBACK_MESSAGE_READER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pst/readback/digest.h"
#include "platform/pst/readback/node_reader.h"

namespace pst::readback {

// The digest of the message whose data and subnode trees are `node` (a
// top-level message node, or an embedded message's subnode). False with
// *error saying what could not be read.
bool ReadMessageDigest(const NodeReader& ndb, const check::Subnode& node, MessageDigest* out,
                       std::string* error);

// The node ids of the messages folder `folder_nid` lists, in the order of
// its contents table's rows. False with *error when the table cannot be read.
bool ReadFolderOrder(const NodeReader& ndb, uint32_t folder_nid, std::vector<uint32_t>* nids,
                     std::string* error);

}  // namespace pst::readback

#endif  // TOLLAN_PLATFORM_PST_READBACK_MESSAGE_READER_H_
