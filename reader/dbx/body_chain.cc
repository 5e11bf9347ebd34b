// Body chain reading with a guard against chains that do not end.
#include "reader/dbx/body_chain.h"

#include <unordered_set>

#include "reader/dbx/format.h"

namespace dbx {

std::string DbxBody::JoinedText() const {
  std::string text;
  text.reserve(JoinedSize());
  for (const DbxBodySegment& s : segments) text += s.text;
  return text;
}

uint64_t DbxBody::JoinedSize() const {
  uint64_t n = 0;
  for (const DbxBodySegment& s : segments) n += s.text.size();
  return n;
}

DbxStatus ReadBodyChain(ByteSource& source, uint32_t position, DbxBody* body) {
  // Blocks of a sound chain do not overlap, so a chain cannot hold more
  // blocks than fit into the file.
  const uint64_t max_blocks = source.size() / kBodyBlockSize + 1;
  std::unordered_set<uint32_t> seen;
  uint8_t bytes[kBodyBlockSize];
  uint32_t offset = position;
  for (uint64_t count = 0;; ++count) {
    if (count >= max_blocks || !seen.insert(offset).second) {
      body->chain_cut = true;
      return DbxStatus::Ok();
    }
    DbxStatus s = source.Read(offset, sizeof(bytes), bytes);
    if (!s.ok()) return s;
    const DbxBodyBlock block = DecodeBodyBlock(bytes);
    if (count == 0) {
      if (block.own_offset != position) return DbxStatus::Ok();
      body->found = true;
    }
    if (static_cast<int32_t>(block.used_length) < 0) {
      return DbxStatus(kErrorInvalidArgument, "body block at offset " + std::to_string(offset) +
                                                  " has a negative used length");
    }
    if (block.used_length > 32767) {
      return DbxStatus(kErrorOverflow, "body block at offset " + std::to_string(offset) +
                                           " has a used length of " +
                                           std::to_string(block.used_length));
    }
    DbxBodySegment segment;
    segment.used_length = block.used_length;
    size_t n = block.used_length < kBodyTextSize ? block.used_length : kBodyTextSize;
    segment.text.assign(reinterpret_cast<const char*>(block.text), n);
    body->segments.push_back(std::move(segment));
    if (block.next_offset == 0) return DbxStatus::Ok();
    offset = block.next_offset;
  }
}

}  // namespace dbx
