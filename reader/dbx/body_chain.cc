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

namespace {

// Drops the segments from the first block that repeats an earlier one on.
void CutAtFirstRepeat(std::vector<DbxBodySegment>* segments) {
  std::unordered_set<uint32_t> seen;
  for (size_t i = 0; i < segments->size(); ++i) {
    if (!seen.insert((*segments)[i].offset).second) {
      segments->resize(i);
      return;
    }
  }
}

}  // namespace

DbxStatus ReadBodyChain(ByteSource& source, uint32_t position, DbxBody* body) {
  // Blocks of a sound chain do not overlap, so a chain cannot hold more
  // blocks than fit into the file.
  const uint64_t max_blocks = source.size() / kBodyBlockSize + 1;
  // Loops are found with Brent's method, which needs no memory per block:
  // `mark` is a block seen earlier, moved forward at powers of two. A loop is
  // found within a few rounds of it; the repeated blocks read by then are
  // dropped again.
  uint32_t mark = position;
  uint64_t power = 1, since_mark = 0;
  uint8_t head[16];
  uint32_t offset = position;
  for (uint64_t count = 0;; ++count) {
    if (count > 0) {
      if (offset == mark || count >= max_blocks) {
        CutAtFirstRepeat(&body->segments);
        body->chain_cut = true;
        return DbxStatus::Ok();
      }
      if (++since_mark == power) {
        mark = offset;
        power *= 2;
        since_mark = 0;
      }
    }
    DbxStatus s = source.Read(offset, sizeof(head), head);
    if (!s.ok()) return s;
    const uint32_t own_offset = LoadLe32(head);
    const uint32_t used_length = LoadLe32(head + 0x08);
    const uint32_t next_offset = LoadLe32(head + 0x0C);
    if (count == 0) {
      if (own_offset != position) return DbxStatus::Ok();
      body->found = true;
    }
    if (static_cast<int32_t>(used_length) < 0) {
      return DbxStatus(kErrorInvalidArgument, "body block at offset " + std::to_string(offset) +
                                                  " has a negative used length");
    }
    if (used_length > 32767) {
      return DbxStatus(kErrorOverflow, "body block at offset " + std::to_string(offset) +
                                           " has a used length of " +
                                           std::to_string(used_length));
    }
    DbxBodySegment& segment = body->segments.emplace_back();
    segment.offset = offset;
    segment.used_length = used_length;
    segment.text.resize(used_length < kBodyTextSize ? used_length : kBodyTextSize);
    s = source.Read(uint64_t{offset} + sizeof(head), segment.text.size(),
                    reinterpret_cast<uint8_t*>(segment.text.data()));
    if (!s.ok()) return s;
    if (next_offset == 0) return DbxStatus::Ok();
    offset = next_offset;
  }
}

}  // namespace dbx
