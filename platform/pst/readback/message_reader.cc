// Message digests and folder order read back through the checker's layers.
#include "platform/pst/readback/message_reader.h"

#include <algorithm>

#include "platform/pst/check/format.h"
#include "platform/pst/check/ltp.h"

namespace pst::readback {

using namespace pst::check;

namespace {

constexpr int kMaxEmbedding = 32;   // as deep as the writer nests

bool LoadHeap(const NodeReader& ndb, const Subnode& node, const std::string& what, Heap* heap,
              std::string* error) {
  if (heap->Load(ndb, node.bid_data, node.bid_sub, error)) return true;
  *error = what + ": " + *error;
  return false;
}

// The hash of property `tag` of a property context: as loaded, or when too
// large to load, streamed from its subnode. 0 when absent.
bool PcValueHash(const NodeReader& ndb, const Heap& heap, const PropMap& props, uint32_t tag,
                 uint64_t* hash, std::string* error) {
  *hash = 0;
  auto it = props.find(tag);
  if (it == props.end()) return true;
  const PropValue& v = it->second;
  if (v.complete) {
    uint8_t le[8] = {};
    const bool fixed = v.data.size() <= 8 && (tag & 0xFFFF) != 0x001F && (tag & 0xFFFF) != 0x0102 &&
                       (tag & 0xFFFF) != 0x000D;
    if (fixed) std::copy(v.data.begin(), v.data.end(), le);
    *hash = fixed ? ValueHash(v.type, le, 8) : ValueHash(v.type, v.data.data(), v.data.size());
    return true;
  }
  // Too large for the reader's limit: find its subnode through the PC's BTH.
  std::vector<BthRecord> records;
  if (!ReadBth(heap, heap.user_root(), 2, 6, &records, error)) return false;
  for (const BthRecord& r : records) {
    if (Le16(r.key.data()) != tag >> 16) continue;
    auto sub = heap.subnodes().find(Le32(r.data.data() + 2));
    if (sub == heap.subnodes().end()) break;
    ValueHasher hasher(v.type);
    if (!ndb.ForEachBlock(sub->second.bid_data, [&](const uint8_t* d, size_t n) {
          hasher.Update(d, n);
          return true;
        })) {
      break;
    }
    *hash = hasher.Finish();
    return true;
  }
  *error = "value " + std::to_string(tag) + " cannot be read";
  return false;
}

bool FieldHash(const NodeReader& ndb, const Heap& heap, const PropMap& props, const DigestField& field,
               uint64_t* hash, std::string* error) {
  for (uint32_t tag : field.tags) {
    if (!PcValueHash(ndb, heap, props, tag, hash, error)) return false;
    if (*hash != 0) return true;
  }
  return true;
}

bool ReadTable(const NodeReader& ndb, const Heap& owner, uint32_t nid, const std::string& what,
               Table* table, bool* present, std::string* error) {
  auto it = owner.subnodes().find(nid);
  *present = it != owner.subnodes().end();
  if (!*present) return true;
  Heap heap;
  std::vector<std::string> problems;
  if (!LoadHeap(ndb, it->second, what, &heap, error)) return false;
  if (!ReadTc(heap, table, error, &problems)) {
    *error = what + ": " + *error;
    return false;
  }
  return true;
}

// A table cell's hash, as PcValueHash hashes a property.
uint64_t CellHash(const Row& row, uint32_t tag) {
  auto it = row.cells.find(tag);
  if (it == row.cells.end()) return 0;
  const PropValue& v = it->second;
  if (!v.complete) return 1;   // too large to compare: never equal to a written value
  const uint16_t type = static_cast<uint16_t>(tag & 0xFFFF);
  if (type == 0x001F || type == 0x0102) return ValueHash(v.type, v.data.data(), v.data.size());
  uint8_t le[8] = {};
  std::copy_n(v.data.begin(), std::min<size_t>(8, v.data.size()), le);
  return ValueHash(v.type, le, 8);
}

bool ReadDigest(const NodeReader& ndb, const Subnode& node, int depth, MessageDigest* out,
                std::string* error) {
  if (depth > kMaxEmbedding) {
    *error = "embedded messages nested too deep";
    return false;
  }
  Heap heap;
  PropMap props;
  std::vector<std::string> problems;
  if (!LoadHeap(ndb, node, "message", &heap, error)) return false;
  if (!ReadPc(heap, &props, error, &problems)) {
    *error = "message: " + *error;
    return false;
  }
  for (size_t i = 0; i < kMessageValues; ++i) {
    if (!FieldHash(ndb, heap, props, MessageFields()[i], &out->values[i], error)) return false;
  }

  Table recipients;
  bool present = false;
  if (!ReadTable(ndb, heap, kNidRecipientTable, "recipient table", &recipients, &present, error)) return false;
  out->recipient_count = static_cast<uint32_t>(recipients.rows.size());
  for (size_t g = 0; g < kRecipientGroups; ++g) {
    uint64_t h = 0;
    for (const Row& row : recipients.rows) {
      for (uint32_t tag : RecipientFields()[g].tags) h = MixHash(h, CellHash(row, tag));
    }
    out->recipients[g] = h;
  }

  Table attachments;
  if (!ReadTable(ndb, heap, kNidAttachmentTable, "attachment table", &attachments, &present, error)) {
    return false;
  }
  for (const Row& row : attachments.rows) {
    const std::string what = "attachment " + std::to_string(out->attachments.size() + 1);
    auto sub = heap.subnodes().find(row.id);
    if (sub == heap.subnodes().end()) {
      *error = what + " is missing";
      return false;
    }
    Heap aheap;
    PropMap aprops;
    if (!LoadHeap(ndb, sub->second, what, &aheap, error)) return false;
    if (!ReadPc(aheap, &aprops, error, &problems)) {
      *error = what + ": " + *error;
      return false;
    }
    AttachmentDigest ad;
    for (size_t i = 0; i < kAttachmentValues; ++i) {
      if (!FieldHash(ndb, aheap, aprops, AttachmentFields()[i], &ad.values[i], error)) return false;
    }
    // An embedded message: PidTagAttachDataObject holds its subnode id.
    auto object = aprops.find(0x3701000D);
    if (object != aprops.end()) {
      auto inner = object->second.data.size() >= 4
                       ? aheap.subnodes().find(Le32(object->second.data.data()))
                       : aheap.subnodes().end();
      if (inner == aheap.subnodes().end()) {
        *error = what + ": its embedded message is missing";
        return false;
      }
      ad.embedded = std::make_unique<MessageDigest>();
      if (!ReadDigest(ndb, inner->second, depth + 1, ad.embedded.get(), error)) {
        *error = what + " embedded message: " + *error;
        return false;
      }
    }
    out->attachments.push_back(std::move(ad));
  }
  return true;
}

}  // namespace

bool ReadMessageDigest(const NodeReader& ndb, const Subnode& node, MessageDigest* out, std::string* error) {
  *out = MessageDigest();
  return ReadDigest(ndb, node, 0, out, error);
}

bool ReadFolderOrder(const NodeReader& ndb, uint32_t folder_nid, std::vector<uint32_t>* nids,
                     std::string* error) {
  nids->clear();
  Subnode node;
  const uint32_t table_nid = (folder_nid & ~kNidTypeMask) | kNidTypeContentsTable;
  if (!ndb.FindNode(table_nid, &node)) {
    *error = "the folder's contents table is missing";
    return false;
  }
  Heap heap;
  if (!LoadHeap(ndb, node, "contents table", &heap, error)) return false;
  Bytes info;
  if (heap.client_sig() != kClientTc || !heap.Get(heap.user_root(), &info, error) || info.size() < 22) {
    *error = "the contents table's TCINFO cannot be read";
    return false;
  }
  // TCINFO: rgib[TCI_bm] (the row size) at 8, hnidRows at 14. Each row
  // starts with its dwRowID, the message's node id.
  const size_t row_size = Le16(&info[8]);
  const uint32_t hnid_rows = Le32(&info[14]);
  if (hnid_rows == 0) return true;
  if (row_size < 4 || row_size > kMaxBlockData) {
    *error = "the contents table's rows are " + std::to_string(row_size) + " bytes";
    return false;
  }
  auto take = [&](const uint8_t* data, size_t n) {
    // Every block holds whole rows; a block but the last is padded.
    const size_t rows = std::min(n, static_cast<size_t>(kMaxBlockData)) / row_size;
    for (size_t i = 0; i < rows; ++i) nids->push_back(Le32(data + i * row_size));
    return true;
  };
  if ((hnid_rows & kNidTypeMask) == kNidTypeHid) {
    Bytes rows;
    if (!heap.Get(hnid_rows, &rows, error)) return false;
    take(rows.data(), rows.size());
    return true;
  }
  auto sub = heap.subnodes().find(hnid_rows);
  if (sub == heap.subnodes().end() || !ndb.ForEachBlock(sub->second.bid_data, take)) {
    *error = "the contents table's rows cannot be read";
    return false;
  }
  return true;
}

}  // namespace pst::readback
