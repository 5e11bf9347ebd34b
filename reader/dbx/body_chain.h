// Reading a message body: the chain of 512-byte body blocks that starts at
// the body position of the message record.
#ifndef TOLLAN_READER_DBX_BODY_CHAIN_H_
#define TOLLAN_READER_DBX_BODY_CHAIN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/status.h"

namespace dbx {

// One block's share of the body.
struct DbxBodySegment {
  uint32_t offset = 0;       // where the block lies
  std::string text;          // the first used_length text bytes (all 512 when
                             // used_length is larger); zero bytes are kept
  uint32_t used_length = 0;  // as stored in the block
};

struct DbxBody {
  // The first block carried its own offset. When false there is no body and
  // no segment.
  bool found = false;
  std::vector<DbxBodySegment> segments;
  // The chain was stopped early: it led back to a block already read, ran
  // longer than the file can hold blocks, or ran past the end of the file
  // (cut short). The segments up to there are kept.
  bool chain_cut = false;

  // The complete stored message text: every segment's text in order.
  std::string JoinedText() const;
  // Length of JoinedText().
  uint64_t JoinedSize() const;
};

// Reads the chain starting at `position` into *body (which starts empty).
//
// The first block must carry its own offset; later blocks are taken as the
// chain names them. A used length that does not fit a signed 16-bit length
// fails the read: below 0 (as a signed 32-bit number) with error 5, above
// 32767 with error 6. The segments read before the failing block are kept.
DbxStatus ReadBodyChain(ByteSource& source, uint32_t position, DbxBody* body);

// The complete stored message text of a body chain, without its segments.
struct DbxBodyText {
  bool found = false;      // as DbxBody::found
  bool chain_cut = false;  // as DbxBody::chain_cut
  std::string text;        // as DbxBody::JoinedText()
};

// Reads the chain at `position` as one text, by the rules of ReadBodyChain,
// into *body (which starts empty). Cheaper than ReadBodyChain followed by
// JoinedText() when the segments themselves are not needed.
DbxStatus ReadBodyText(ByteSource& source, uint32_t position, DbxBodyText* body);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_BODY_CHAIN_H_
