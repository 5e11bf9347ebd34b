// Reading messages back from a finished PST for comparison with what was
// written: the digest of a message node (its property context, recipient
// table, attachment table, attachments and embedded messages, [MS-PST]
// 2.4.5 and 2.4.6) and the order of a folder's messages (its contents
// table's rows, 2.4.4.5). Values are hashed straight from the blocks that
// hold them (a large value block by block), heaps and tables are read in
// place (heap_view.h, table_view.h), and a MessageReader keeps its buffers
// from message to message: memory stays bounded by one message's heaps and
// tables, and reading a message allocates next to nothing.
#ifndef TOLLAN_PLATFORM_PST_READBACK_MESSAGE_READER_H_
#define TOLLAN_PLATFORM_PST_READBACK_MESSAGE_READER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/pst/readback/digest.h"
#include "platform/pst/readback/node_reader.h"

namespace pst::readback {

// Reads the digests of messages one after another through `ndb`, which
// must outlive it. Not thread-safe.
//
//   MessageReader reader(ndb);
//   for (...) if (!reader.Read(node, &digest, &error)) ...;
class MessageReader {
 public:
  explicit MessageReader(const NodeReader& ndb);
  ~MessageReader();
  MessageReader(const MessageReader&) = delete;
  MessageReader& operator=(const MessageReader&) = delete;

  // The digest of the message whose data and subnode trees are `node` (a
  // top-level message node, or an embedded message's subnode). False with
  // *error saying what could not be read.
  bool Read(const check::Subnode& node, MessageDigest* out, std::string* error);

 private:
  struct Level;
  bool ReadAt(const check::Subnode& node, size_t depth, MessageDigest* out, std::string* error);

  const NodeReader& ndb_;
  std::vector<std::unique_ptr<Level>> levels_;   // one per depth of embedding
  ValueHasher hasher_;
};

// One message's digest through a MessageReader of its own.
bool ReadMessageDigest(const NodeReader& ndb, const check::Subnode& node, MessageDigest* out,
                       std::string* error);

// The node ids of the messages folder `folder_nid` lists, in the order of
// its contents table's rows. False with *error when the table cannot be read.
bool ReadFolderOrder(const NodeReader& ndb, uint32_t folder_nid, std::vector<uint32_t>* nids,
                     std::string* error);

}  // namespace pst::readback

#endif  // TOLLAN_PLATFORM_PST_READBACK_MESSAGE_READER_H_
