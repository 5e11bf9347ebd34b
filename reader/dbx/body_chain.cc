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

// Follows the chain at `position`, handing each block's offset, used length
// and text bytes (the first min(used length, 512)) to `add`. Sets *found
// when the first block carries its own offset. When the chain loops or runs
// longer than the file can hold blocks, calls `cut` with the number of
// blocks handed over and sets *chain_cut.
//
// Loops are found with Brent's method, which needs no memory per block:
// `mark` is a block seen earlier, moved forward at powers of two, and a loop
// is found within a few rounds of it. `cut` then drops the repeated blocks
// handed over by that time.
template <typename Add, typename Cut>
DbxStatus FollowChain(ByteSource& source, uint32_t position, bool* found, bool* chain_cut,
                      Add add, Cut cut) {
  // Blocks of a sound chain do not overlap, so a chain cannot hold more
  // blocks than fit into the file.
  const uint64_t max_blocks = source.size() / kBodyBlockSize + 1;
  uint32_t mark = position;
  uint64_t power = 1, since_mark = 0;
  uint8_t scratch[kBodyBlockSize];
  uint32_t offset = position;
  for (uint64_t count = 0;; ++count) {
    if (count > 0) {
      if (offset == mark || count >= max_blocks) {
        cut(count);
        *chain_cut = true;
        return DbxStatus::Ok();
      }
      if (++since_mark == power) {
        mark = offset;
        power *= 2;
        since_mark = 0;
      }
    }
    // A block that starts at or past the end of the file is not there: the
    // chain is cut short (a file cut off, or a damaged next offset).
    if (count > 0 && offset >= source.size()) {
      *chain_cut = true;
      return DbxStatus::Ok();
    }
    const uint8_t* block;
    DbxStatus s = source.View(offset, kBodyBlockSize, scratch, &block);
    if (!s.ok()) return s;
    const uint32_t own_offset = LoadLe32(block);
    const uint32_t used_length = LoadLe32(block + 0x08);
    const uint32_t next_offset = LoadLe32(block + 0x0C);
    if (count == 0) {
      if (own_offset != position) return DbxStatus::Ok();
      *found = true;
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
    add(offset, used_length, block + 0x10,
        used_length < kBodyTextSize ? size_t{used_length} : kBodyTextSize);
    // A block reaching past the end of the file was cut off with it.
    if (offset + uint64_t{kBodyBlockSize} > source.size()) {
      *chain_cut = true;
      return DbxStatus::Ok();
    }
    if (next_offset == 0) return DbxStatus::Ok();
    offset = next_offset;
  }
}

// The number of blocks of `offsets` before the first one that repeats an
// earlier one.
template <typename OffsetAt>
size_t BlocksBeforeRepeat(size_t count, OffsetAt offset_at) {
  std::unordered_set<uint32_t> seen;
  for (size_t i = 0; i < count; ++i) {
    if (!seen.insert(offset_at(i)).second) return i;
  }
  return count;
}

}  // namespace

DbxStatus ReadBodyChain(ByteSource& source, uint32_t position, DbxBody* body) {
  auto& segments = body->segments;
  segments.reserve(8);
  return FollowChain(
      source, position, &body->found, &body->chain_cut,
      [&](uint32_t offset, uint32_t used_length, const uint8_t* text, size_t n) {
        DbxBodySegment& segment = segments.emplace_back();
        segment.offset = offset;
        segment.used_length = used_length;
        segment.text.assign(reinterpret_cast<const char*>(text), n);
      },
      [&](uint64_t) {
        segments.resize(
            BlocksBeforeRepeat(segments.size(), [&](size_t i) { return segments[i].offset; }));
      });
}

DbxStatus ReadBodyText(ByteSource& source, uint32_t position, DbxBodyText* body) {
  // Where each block's text starts, kept only to undo a loop.
  std::vector<std::pair<uint32_t, size_t>> blocks;
  return FollowChain(
      source, position, &body->found, &body->chain_cut,
      [&](uint32_t offset, uint32_t, const uint8_t* text, size_t n) {
        blocks.emplace_back(offset, body->text.size());
        body->text.append(reinterpret_cast<const char*>(text), n);
      },
      [&](uint64_t) {
        size_t keep = BlocksBeforeRepeat(blocks.size(), [&](size_t i) { return blocks[i].first; });
        if (keep < blocks.size()) body->text.resize(blocks[keep].second);
      });
}

}  // namespace dbx
