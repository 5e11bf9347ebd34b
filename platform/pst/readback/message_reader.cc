// Message digests and folder order read back through the checker's layers.
#include "platform/pst/readback/message_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>

#include "platform/pst/check/format.h"
#include "platform/pst/readback/heap_view.h"
#include "platform/pst/readback/table_view.h"

namespace pst::readback {

using namespace pst::check;

namespace {

constexpr size_t kMaxEmbedding = 32;        // as deep as the writer nests
constexpr uint64_t kCellLimit = 1u << 20;   // a larger table cell is not compared
constexpr uint32_t kTagAttachDataObject = 0x3701000D;

bool LoadHeap(const NodeReader& ndb, const Subnode& node, const std::string& what, HeapView* heap,
              std::string* error) {
  if (heap->Load(ndb, node, error)) return true;
  *error = what + ": " + *error;
  return false;
}

// The tags a digest reads from one kind of object, in the order of its
// fields (then `extra`), and the same in ascending order, as a property
// context's records come.
struct TagList {
  TagList(const std::vector<DigestField>& fields, uint32_t extra = 0) {
    for (const DigestField& f : fields) tags.insert(tags.end(), f.tags.begin(), f.tags.end());
    if (extra != 0) tags.push_back(extra);
    for (size_t i = 0; i < tags.size(); ++i) sorted.emplace_back(tags[i], i);
    std::sort(sorted.begin(), sorted.end());
  }
  std::vector<uint32_t> tags;
  std::vector<std::pair<uint32_t, size_t>> sorted;   // (tag, its place in tags)
};

const TagList& MessageTags() {
  static const TagList tags(MessageFields());
  return tags;
}
const TagList& RecipientTags() {
  static const TagList tags(RecipientFields());
  return tags;
}
const TagList& AttachmentTags() {
  static const TagList tags(AttachmentFields(), kTagAttachDataObject);
  return tags;
}

// A fixed-size value of up to 8 bytes, hashed as 8 little-endian bytes.
uint64_t FixedHash(uint16_t type, const uint8_t* data, size_t n) {
  uint8_t le[8] = {};
  std::copy_n(data, std::min<size_t>(n, 8), le);
  return ValueHash(type, le, 8);
}

// A property of a property context, as its PC record holds it.
struct PropRef {
  bool present = false;
  uint16_t type = 0;
  const uint8_t* value = nullptr;   // the record's 4 value bytes
};

// The records of the property context in `heap` with the tags of `list`:
// out[i] for list.tags[i].
bool ScanProperties(const HeapView& heap, const TagList& list, PropRef* out, std::string* error) {
  if (heap.client_sig() != kClientPc) {
    char sig[8];
    std::snprintf(sig, sizeof sig, "0x%x", heap.client_sig());
    *error = std::string("heap client signature ") + sig + ", expected 0xbc (property context)";
    return false;
  }
  std::fill_n(out, list.tags.size(), PropRef());
  // The records come in id order, one per id: a wanted tag below the
  // record's is not in the context.
  size_t next = 0;
  const bool ok = heap.ForEachRecord(heap.user_root(), 2, 6, [&](const uint8_t* key, const uint8_t* data) {
    const uint32_t tag = (static_cast<uint32_t>(Le16(key)) << 16) | Le16(data);
    while (next < list.sorted.size() && list.sorted[next].first < tag) ++next;
    for (; next < list.sorted.size() && list.sorted[next].first == tag; ++next) {
      out[list.sorted[next].second] = {true, Le16(data), data + 2};
    }
    return next < list.sorted.size();
  }, error);
  if (!ok) *error = "property context: " + *error;
  return ok;
}

enum class Found { kAbsent, kRead, kUnreadable };

// Hands the bytes behind `hnid` (a heap item, or a subnode's data block by
// block) to `take`. kAbsent when it names nothing; kUnreadable when a
// subnode's data cannot be read or `take` stops.
Found ForEachPiece(const NodeReader& ndb, const HeapView& heap, uint32_t hnid,
                   const std::function<bool(const uint8_t*, size_t)>& take) {
  if (hnid == 0) return Found::kRead;
  if ((hnid & kNidTypeMask) == kNidTypeHid) {
    const uint8_t* data = nullptr;
    size_t n = 0;
    std::string ignored;
    if (!heap.Get(hnid, &data, &n, &ignored)) return Found::kAbsent;
    return take(data, n) ? Found::kRead : Found::kUnreadable;
  }
  const Subnode* sub = heap.FindSubnode(hnid);
  if (sub == nullptr) return Found::kAbsent;
  return ndb.ForEachBlock(sub->bid_data, take) ? Found::kRead : Found::kUnreadable;
}

// Up to sizeof *buf bytes of the value behind `hnid`, and its full size.
Found SmallValue(const NodeReader& ndb, const HeapView& heap, uint32_t hnid, std::array<uint8_t, 16>* buf,
                 size_t* size) {
  *size = 0;
  return ForEachPiece(ndb, heap, hnid, [&](const uint8_t* d, size_t n) {
    if (*size < buf->size()) std::copy_n(d, std::min(n, buf->size() - *size), buf->data() + *size);
    *size += n;
    return true;
  });
}

// The hash of the value behind `hnid` in `heap` (a heap item, or a
// subnode's data, streamed through `hasher` when it spans blocks). kAbsent
// when it names nothing; kUnreadable when the data cannot be read or
// passes `limit` bytes.
Found HashValue(const NodeReader& ndb, ValueHasher* hasher, const HeapView& heap, uint16_t type, uint32_t hnid,
                uint64_t limit, uint64_t* hash) {
  *hash = 0;
  // A value in one block, the most common, is hashed at once.
  const uint8_t* data = nullptr;
  size_t n = 0;
  const Subnode* sub = nullptr;
  if (hnid == 0) {
    *hash = ValueHash(type, nullptr, 0);
    return Found::kRead;
  }
  if ((hnid & kNidTypeMask) == kNidTypeHid) {
    std::string ignored;
    if (!heap.Get(hnid, &data, &n, &ignored)) return Found::kAbsent;
    *hash = ValueHash(type, data, n);
    return Found::kRead;
  }
  if ((sub = heap.FindSubnode(hnid)) == nullptr) return Found::kAbsent;
  if (!(sub->bid_data & kBidInternal)) {
    if (!ndb.BlockView(sub->bid_data, &data, &n)) return Found::kUnreadable;
    if (n > limit) return Found::kUnreadable;
    *hash = ValueHash(type, data, n);
    return Found::kRead;
  }
  uint64_t total = 0;
  hasher->Reset(type);
  if (!ndb.ForEachBlock(sub->bid_data, [&](const uint8_t* d, size_t size) {
        total += size;
        hasher->Update(d, size);
        return total <= limit;
      })) {
    return Found::kUnreadable;
  }
  *hash = hasher->Finish();
  return Found::kRead;
}

}  // namespace

struct MessageReader::Level {
  HeapView message, table, attachment;
  TableView rows;
  std::vector<uint32_t> attachment_ids;
  std::vector<PropRef> props;
};

MessageReader::MessageReader(const NodeReader& ndb) : ndb_(ndb), hasher_(0) {}
MessageReader::~MessageReader() = default;

bool MessageReader::Read(const Subnode& node, MessageDigest* out, std::string* error) {
  *out = MessageDigest();
  return ReadAt(node, 0, out, error);
}

bool MessageReader::ReadAt(const Subnode& node, size_t depth, MessageDigest* out, std::string* error) {
  if (depth > kMaxEmbedding) {
    *error = "embedded messages nested too deep";
    return false;
  }
  if (levels_.size() <= depth) levels_.push_back(std::make_unique<Level>());
  Level& level = *levels_[depth];

  // The hash of a property: its bytes as stored, a large one streamed
  // block by block; 0 when absent. False when its data cannot be read.
  auto prop_hash = [&](const HeapView& heap, const PropRef& p, uint32_t tag, uint64_t* hash) {
    *hash = 0;
    if (!p.present) return true;
    const int fixed = FixedValueSize(p.type);
    if (fixed > 0 && fixed <= 4) {
      *hash = FixedHash(p.type, p.value, static_cast<size_t>(fixed));
      return true;
    }
    const uint32_t hnid = Le32(p.value);
    if (fixed > 4) {
      // Held in the heap; a value of the wrong size counts as absent.
      std::array<uint8_t, 16> buf;
      size_t size = 0;
      if (SmallValue(ndb_, heap, hnid, &buf, &size) == Found::kRead && size == static_cast<size_t>(fixed)) {
        *hash = fixed <= 8 ? FixedHash(p.type, buf.data(), size) : ValueHash(p.type, buf.data(), size);
      }
      return true;
    }
    switch (HashValue(ndb_, &hasher_, heap, p.type, hnid, UINT64_MAX, hash)) {
      case Found::kAbsent: case Found::kRead: return true;
      case Found::kUnreadable: break;
    }
    *error = "value " + std::to_string(tag) + " cannot be read";
    return false;
  };
  // The hash of the first of a field's tags that is present.
  // fields[i] reads the tags from `first` on.
  auto field_hash = [&](const HeapView& heap, const TagList& list, size_t first, const DigestField& field,
                        uint64_t* hash) {
    for (size_t k = 0; k < field.tags.size(); ++k) {
      if (!prop_hash(heap, level.props[first + k], list.tags[first + k], hash)) return false;
      if (*hash != 0) return true;
    }
    return true;
  };
  // A table cell's hash, as a property's; a value too large to compare
  // hashes to 1, never equal to a written value's.
  auto cell_hash = [&](const HeapView& heap, const CellRef& c) -> uint64_t {
    if (!c.present) return 0;
    if (c.bytes != nullptr) return FixedHash(c.type, c.bytes, c.size);
    if (c.type != 0x001F && c.type != 0x0102) {
      std::array<uint8_t, 16> buf;
      size_t size = 0;
      switch (SmallValue(ndb_, heap, c.hnid, &buf, &size)) {
        case Found::kAbsent: return 0;
        case Found::kRead: return size <= kCellLimit ? FixedHash(c.type, buf.data(), size) : 1;
        case Found::kUnreadable: return 1;
      }
    }
    uint64_t hash = 0;
    return HashValue(ndb_, &hasher_, heap, c.type, c.hnid, kCellLimit, &hash) == Found::kUnreadable ? 1 : hash;
  };

  // The message's own properties.
  if (!LoadHeap(ndb_, node, "message", &level.message, error)) return false;
  const TagList& message_tags = MessageTags();
  level.props.resize(std::max(message_tags.tags.size(), AttachmentTags().tags.size()));
  if (!ScanProperties(level.message, message_tags, level.props.data(), error)) {
    *error = "message: " + *error;
    return false;
  }
  const std::vector<DigestField>& message_fields = MessageFields();
  for (size_t i = 0, first = 0; i < kMessageValues; first += message_fields[i].tags.size(), ++i) {
    if (!field_hash(level.message, message_tags, first, message_fields[i], &out->values[i])) return false;
  }

  // The recipients: each group of values hashed over every row, in order.
  out->recipient_count = 0;
  out->recipients.fill(0);
  if (const Subnode* table = level.message.FindSubnode(kNidRecipientTable)) {
    const std::vector<uint32_t>& tags = RecipientTags().tags;
    const std::vector<DigestField>& fields = RecipientFields();
    auto take = [&](uint32_t, const CellRef* cells) {
      ++out->recipient_count;
      for (size_t g = 0, k = 0; g < kRecipientGroups; ++g) {
        for (size_t t = 0; t < fields[g].tags.size(); ++t, ++k) {
          out->recipients[g] = MixHash(out->recipients[g], cell_hash(level.table, cells[k]));
        }
      }
    };
    if (!LoadHeap(ndb_, *table, "recipient table", &level.table, error)) return false;
    if (!level.rows.Scan(ndb_, level.table, tags.data(), tags.size(), take, error)) {
      *error = "recipient table: " + *error;
      return false;
    }
  }

  // The attachments, in the order of the attachment table's rows.
  level.attachment_ids.clear();
  if (const Subnode* table = level.message.FindSubnode(kNidAttachmentTable)) {
    auto take = [&](uint32_t id, const CellRef*) { level.attachment_ids.push_back(id); };
    if (!LoadHeap(ndb_, *table, "attachment table", &level.table, error)) return false;
    if (!level.rows.Scan(ndb_, level.table, nullptr, 0, take, error)) {
      *error = "attachment table: " + *error;
      return false;
    }
  }
  const TagList& attachment_tags = AttachmentTags();
  const std::vector<DigestField>& attachment_fields = AttachmentFields();
  for (uint32_t id : level.attachment_ids) {
    const std::string what = "attachment " + std::to_string(out->attachments.size() + 1);
    const Subnode* sub = level.message.FindSubnode(id);
    if (sub == nullptr) {
      *error = what + " is missing";
      return false;
    }
    if (!LoadHeap(ndb_, *sub, what, &level.attachment, error)) return false;
    if (!ScanProperties(level.attachment, attachment_tags, level.props.data(), error)) {
      *error = what + ": " + *error;
      return false;
    }
    AttachmentDigest ad;
    for (size_t i = 0, first = 0; i < kAttachmentValues; first += attachment_fields[i].tags.size(), ++i) {
      if (!field_hash(level.attachment, attachment_tags, first, attachment_fields[i], &ad.values[i])) return false;
    }
    // An embedded message: PidTagAttachDataObject names its subnode.
    const PropRef& object = level.props[attachment_tags.tags.size() - 1];
    if (object.present) {
      std::array<uint8_t, 16> buf;
      size_t size = 0;
      const Found found = SmallValue(ndb_, level.attachment, Le32(object.value), &buf, &size);
      const Subnode* inner = found == Found::kRead && size >= 4 ? level.attachment.FindSubnode(Le32(buf.data()))
                                                                 : nullptr;
      if (found != Found::kAbsent && inner == nullptr) {
        *error = what + ": its embedded message is missing";
        return false;
      }
      if (inner != nullptr) {
        // Read before the next attachment reuses this level's buffers.
        const Subnode message = *inner;
        ad.embedded = std::make_unique<MessageDigest>();
        if (!ReadAt(message, depth + 1, ad.embedded.get(), error)) {
          *error = what + " embedded message: " + *error;
          return false;
        }
      }
    }
    out->attachments.push_back(std::move(ad));
  }
  return true;
}

bool ReadMessageDigest(const NodeReader& ndb, const Subnode& node, MessageDigest* out, std::string* error) {
  MessageReader reader(ndb);
  return reader.Read(node, out, error);
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
  HeapView heap;
  if (!LoadHeap(ndb, node, "contents table", &heap, error)) return false;
  const uint8_t* info = nullptr;
  size_t info_size = 0;
  if (heap.client_sig() != kClientTc || !heap.Get(heap.user_root(), &info, &info_size, error) || info_size < 22) {
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
    const uint8_t* rows = nullptr;
    size_t size = 0;
    if (!heap.Get(hnid_rows, &rows, &size, error)) return false;
    take(rows, size);
    return true;
  }
  const Subnode* sub = heap.FindSubnode(hnid_rows);
  if (sub == nullptr || !ndb.ForEachBlock(sub->bid_data, take)) {
    *error = "the contents table's rows cannot be read";
    return false;
  }
  return true;
}

}  // namespace pst::readback
