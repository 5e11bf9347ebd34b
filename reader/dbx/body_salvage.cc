// Salvage of damaged body chains; see body_salvage.h.
#include "reader/dbx/body_salvage.h"

#include <algorithm>
#include <unordered_set>

#include "reader/dbx/format.h"

namespace dbx {

namespace {

std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// True when a block at `offset` lies inside the file and names itself.
DbxStatus NamesItself(ByteSource& source, uint32_t offset, bool* yes) {
  *yes = false;
  if (offset == 0 || uint64_t{offset} + kBodyBlockSize > source.size()) return DbxStatus::Ok();
  uint8_t own[4];
  DbxStatus s = source.Read(offset, sizeof(own), own);
  if (s.ok()) *yes = LoadLe32(own) == offset;
  return s;
}

// The text the chain holds from the block at `offset` on, as its block
// headers tell it (no more than the file can hold: a chain that loops is
// followed at most as many steps as the file has blocks). Only a hint for
// the text's room, so that a long body is not copied again and again, and
// held twice, as its text grows.
uint64_t RestOfChain(ByteSource& source, uint32_t offset) {
  uint64_t rest = 0;
  for (uint64_t steps = source.size() / kBodyBlockSize + 1; steps > 0 && offset != 0; --steps) {
    uint8_t head[0x10];
    if (uint64_t{offset} + kBodyBlockSize > source.size() || !source.Read(offset, sizeof head, head).ok() ||
        LoadLe32(head) != offset) {
      break;
    }
    rest += std::min<uint32_t>(LoadLe32(head + 0x08), kBodyTextSize);
    offset = LoadLe32(head + 0x0C);
  }
  return rest;
}

// A body longer than this gets its room reserved at once.
constexpr size_t kReserveFrom = 1 << 20;

}  // namespace

DbxStatus SalvageBodyText(ByteSource& source, uint32_t position, DbxSalvagedBody* body) {
  std::unordered_set<uint32_t> seen;
  uint8_t scratch[kBodyBlockSize];
  uint32_t offset = position;
  bool reserved = false;
  auto lost = [&](const std::string& where) {
    if (!body->damage.empty()) body->damage += "; ";
    body->damage += where + "; " + Bytes(body->text.size()) + " read, the rest of the chain is lost";
  };
  for (;;) {
    if (!seen.insert(offset).second) {
      lost("the chain leads back to the block at offset " + std::to_string(offset));
      return DbxStatus::Ok();
    }
    if (offset >= source.size()) {
      if (body->found) lost("the chain leads past the end of the file, to offset " + std::to_string(offset));
      return DbxStatus::Ok();
    }
    const uint8_t* block;
    DbxStatus s = source.View(offset, kBodyBlockSize, scratch, &block);
    if (!s.ok()) return s;
    if (LoadLe32(block) != offset) {
      if (body->found) lost("the chain leads to offset " + std::to_string(offset) + ", where no body block is");
      return DbxStatus::Ok();
    }
    body->found = true;
    if (!reserved && body->text.size() >= kReserveFrom) {
      reserved = true;
      body->text.reserve(body->text.size() + RestOfChain(source, offset));
      s = source.View(offset, kBodyBlockSize, scratch, &block);  // valid until the next call on the source
      if (!s.ok()) return s;
    }
    const uint32_t used = LoadLe32(block + 0x08);
    const uint32_t next = LoadLe32(block + 0x0C);
    const std::string at = "the body block at offset " + std::to_string(offset);
    // The part of the block inside the file (a file cut off ends in one).
    const uint64_t in_file = source.size() - offset;
    if (in_file < kBodyBlockSize) {
      if (used <= kBodyTextSize && 0x10 + uint64_t{used} <= in_file) {
        body->text.append(reinterpret_cast<const char*>(block + 0x10), used);
        ++body->blocks;
        if (next == 0) return DbxStatus::Ok();
        offset = next;
        continue;
      }
      lost("the file ends inside " + at);
      return DbxStatus::Ok();
    }
    size_t take = used;
    if (used > kBodyTextSize) {
      bool goes_on = false;
      s = NamesItself(source, next, &goes_on);
      if (!s.ok()) return s;
      if (!goes_on || seen.count(next)) {
        lost(at + " has a used length of " + std::to_string(used));
        return DbxStatus::Ok();
      }
      // Every block the chain goes on from holds 512 bytes.
      if (!body->damage.empty()) body->damage += "; ";
      body->damage += at + " has a used length of " + std::to_string(used) + ", taken as a full block";
      ++body->repaired_lengths;
      take = kBodyTextSize;
    }
    body->text.append(reinterpret_cast<const char*>(block + 0x10), take);
    ++body->blocks;
    if (next == 0) return DbxStatus::Ok();
    offset = next;
  }
}

}  // namespace dbx
