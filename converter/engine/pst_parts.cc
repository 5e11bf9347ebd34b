// Size estimates and part names of a .pst split at a size limit.
#include "converter/engine/pst_parts.h"

#include <variant>
#include <vector>

#include "platform/pst/ndb/format.h"

namespace tollan {

namespace {

// Data blocks hold up to 8176 bytes; each takes a 16-byte trailer, is
// aligned to 64 bytes, and has an entry in the block index.
constexpr uint64_t kBlockData = 8176;
constexpr uint64_t kPerBlock = 16 + 64 + 32;

// The bytes of a value as a property context or table stores it.
uint64_t ValueBytes(const pst::Property& p) {
  uint64_t n = 8;
  if (auto* s = std::get_if<std::u16string>(&p.value)) n += 2 * s->size();
  if (auto* b = std::get_if<std::vector<uint8_t>>(&p.value)) n += b->size();
  if (auto* v = std::get_if<std::vector<int32_t>>(&p.value)) n += 4 * v->size();
  if (auto* ms = std::get_if<std::vector<std::u16string>>(&p.value)) {
    for (const auto& s : *ms) n += 8 + 2 * s.size();
  }
  if (auto* mb = std::get_if<std::vector<std::vector<uint8_t>>>(&p.value)) {
    for (const auto& b : *mb) n += 8 + b.size();
  }
  return n;
}

uint64_t PropsBytes(const std::vector<pst::Property>& props) {
  uint64_t n = 0;
  for (const auto& p : props) n += 16 + ValueBytes(p);
  return n;
}

uint64_t BlocksFor(uint64_t bytes) { return bytes / kBlockData + 1; }

// The variable-size cells of a contents-table row: message class, subject,
// sender name, conversation topic and index, the Cc and To lines.
bool InContentsRow(const pst::Property& p) {
  if (p.named) return false;
  switch (p.id) {
    case 0x001A: case 0x0037: case 0x0042: case 0x0070: case 0x0071: case 0x0E03: case 0x0E04:
      return true;
    default:
      return false;
  }
}

}  // namespace

uint64_t MessageBytes(const pst::MessageContent& m) {
  // The message's property context, its recipient table and attachment
  // table, each with a heap of its own.
  uint64_t n = PropsBytes(m.props) + 4096;
  if (!m.recipients.empty()) n += 4096;
  for (const auto& r : m.recipients) n += PropsBytes(r.props) + 64;
  if (!m.attachments.empty()) n += 4096;
  for (const auto& a : m.attachments) {
    n += 4096 + PropsBytes(a.props) + (a.embedded ? MessageBytes(*a.embedded) : 0);
  }
  return n + BlocksFor(n) * kPerBlock;
}

uint64_t CloseBytes(const pst::MessageContent& m) {
  // The row's fixed cells and index entries, its variable cells, and the
  // node and block index entries of the message (with their pages' slack).
  uint64_t n = 256;
  for (const auto& p : m.props) {
    if (InContentsRow(p)) n += ValueBytes(p);
  }
  return n + 2 * BlocksFor(MessageBytes(m)) * 32;
}

uint64_t CloseBytesFixed(size_t folders) { return (64 << 10) + uint64_t{folders} * (4 << 10); }

uint64_t ProjectedSize(uint64_t written, uint64_t to_come) {
  const uint64_t end = written + to_come + to_come / 30 + pst::ndb::kIntervalSize / 30;
  return pst::ndb::IntervalStart(pst::ndb::IntervalOf(end - 1) + 1);
}

std::string PartPath(const std::string& path, int part) {
  const size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  return path.substr(0, dot) + " (part " + std::to_string(part) + ")" + path.substr(dot);
}

std::string PartDisplayName(const std::string& name, int part) {
  return name + " (part " + std::to_string(part) + ")";
}

}  // namespace tollan
