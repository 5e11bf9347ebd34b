// Recovery scan of a folder file; see recovery_scan.h.
#include "reader/dbx/recovery_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_set>

#include "reader/dbx/body_chain.h"
#include "reader/dbx/body_salvage.h"
#include "reader/dbx/folder_file.h"
#include "reader/dbx/format.h"
#include "reader/dbx/index_walk.h"

namespace dbx {

namespace {

// The file is read in windows of this size, past the source's cache; small
// enough that a window is still in the processor's cache when it is scanned.
constexpr size_t kWindow = size_t{1} << 17;
// A block's size field: every body block holds 512 text bytes.
constexpr uint32_t kBlockCapacity = kBodyTextSize;
// Offsets are 32-bit: nothing at or past 4 GiB can name itself.
constexpr uint64_t kOffsetLimit = uint64_t{1} << 32;

// A body block found by the scan.
struct Block {
  uint32_t offset = 0;
  uint32_t next = 0;
  uint16_t used = 0;
  bool starts_message = false;  // its text begins like an Internet message
  uint8_t predecessors = 0;     // blocks naming it as their next (up to 255)
};

// A message record found by the scan: what is needed to choose among
// records, before any is decoded in full.
struct RecordRef {
  uint32_t offset = 0;  // as an index entry would name it
  uint32_t body = 0;    // its body position
  uint8_t change = 0;   // head byte 0x0B: how often the record was rewritten
};

class Scanner {
 public:
  Scanner(ByteSource& source, DbxRecoveryScan* scan)
      : source_(source), scan_(scan), size_(source.size()) {}

  DbxStatus Run() {
    DbxStatus s = FindStructures();
    if (!s.ok()) return s;
    LinkBlocks();
    claimed_.assign(blocks_.size(), false);
    s = TakeIndexedMessages();
    if (!s.ok()) return s;
    s = TakeRecordMessages();
    if (!s.ok()) return s;
    TakeOrphanChains();
    std::sort(found_.begin(), found_.end(),
              [](const DbxRecoveredMessage& a, const DbxRecoveredMessage& b) {
                return a.body_position < b.body_position;
              });
    for (DbxRecoveredMessage& m : found_) scan_->messages.push_back(std::move(m));
    return DbxStatus::Ok();
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // Pass 1: one sequential read, noting every position whose first word (or
  // the word 2 bytes further, for records written 2 bytes late) is the
  // position itself. Structures are 4-byte aligned. Each window is read with
  // a block's length more, so that every structure starting in it can be
  // looked at from the same buffer.
  DbxStatus FindStructures() {
    const uint64_t end = std::min(size_, kOffsetLimit);
    std::vector<uint8_t> buffer(kWindow + kBodyBlockSize + 16);
    std::vector<uint32_t> candidates;
    for (uint64_t start = 0; start < end; start += kWindow) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kWindow, end - start));
      if (start + n <= kFileHeaderSize) continue;
      DbxStatus s = source_.ReadOnce(start, buffer.size(), buffer.data());
      if (!s.ok()) return s;
      window_ = buffer.data();
      window_start_ = start;
      window_size_ = buffer.size();
      candidates.clear();
      size_t first = start < kFileHeaderSize ? static_cast<size_t>(kFileHeaderSize - start) : 0;
      first = (first + 3) & ~size_t{3};
      // Positions up to n - 1 are wanted; the buffer holds 8 bytes past each.
      FindSelfNamed(buffer.data(), n + 8, first, static_cast<uint32_t>(start), &candidates);
      for (uint32_t p : candidates) {
        if (p - start >= n) break;
        s = Classify(p, buffer.data() + (p - start));
        if (!s.ok()) return s;
      }
    }
    window_ = nullptr;
    return DbxStatus::Ok();
  }

  // Copies n bytes at `at` from the window when it holds them, else from the
  // source.
  DbxStatus Bytes(uint64_t at, size_t n, uint8_t* dst) {
    if (window_ != nullptr && at >= window_start_ && at + n <= window_start_ + window_size_) {
      std::memcpy(dst, window_ + (at - window_start_), n);
      return DbxStatus::Ok();
    }
    return source_.Read(at, n, dst);
  }
  DbxStatus Word(uint64_t at, uint32_t* value) {
    uint8_t bytes[4];
    DbxStatus s = Bytes(at, sizeof(bytes), bytes);
    *value = LoadLe32(bytes);
    return s;
  }

  // Notes a message record at p (its head at p, or 2 bytes further) when its
  // size field holds its entries, it lies whole inside the file and it names
  // a body position: stretches of other bytes that happen to begin with their
  // own offset rarely pass. The body position is found as a record decode
  // finds it (the last entry 0x04; a direct 8 or 12 looked up in the data
  // area).
  DbxStatus NoteRecord(uint32_t p) {
    uint8_t head[kRecordHeadSize];
    uint64_t at = p;
    DbxStatus s = Bytes(at, sizeof(head), head);
    if (!s.ok()) return s;
    if (LoadLe32(head) != p) {
      at += 2;
      s = Bytes(at, sizeof(head), head);
      if (!s.ok()) return s;
      if (LoadLe32(head) != p) return DbxStatus::Ok();
    }
    const uint64_t size = LoadLe32(head + 0x04);
    const uint64_t entries = head[0x0A];
    if (entries == 0 || entries * kRecordEntrySize > size ||
        at + kRecordHeadSize + size > size_) {
      return DbxStatus::Ok();
    }
    const uint64_t data = at + kRecordHeadSize + kRecordEntrySize * entries;
    uint32_t body = 0;
    for (uint64_t i = 0; i < entries; ++i) {
      uint32_t entry;
      s = Word(at + kRecordHeadSize + kRecordEntrySize * i, &entry);
      if (!s.ok()) return s;
      if ((entry & 0x7F) != 0x04) continue;
      const bool direct = (entry & 0x80) != 0;
      body = entry >> 8;
      if (!direct) {
        s = Word(data + body, &body);
      } else if (body == 8 || body == 12) {
        s = Word(data + body, &body);
      }
      if (!s.ok()) return s;
    }
    if (body == 0 || body == 8 || body == 12) return DbxStatus::Ok();
    RecordRef ref;
    ref.offset = p;
    ref.body = body;
    ref.change = head[0x0B];
    records_.push_back(ref);
    return DbxStatus::Ok();
  }

  // The positions of [from, to) that name themselves, one by one.
  [[gnu::noinline]] static void CheckEach(const uint8_t* data, size_t from, size_t to,
                                          uint32_t base, std::vector<uint32_t>* found) {
    for (size_t k = from; k < to; k += 4) {
      const uint32_t p = base + static_cast<uint32_t>(k);
      if (LoadLe32(data + k) == p || LoadLe32(data + k + 2) == p) found->push_back(p);
    }
  }

  // Appends to *found every position base + i (i from `first` on, in steps
  // of 4, while 8 bytes lie inside data[0, n)) whose word at i or at i + 2
  // is the position itself.
  static void FindSelfNamed(const uint8_t* data, size_t n, size_t i, uint32_t base,
                              std::vector<uint32_t>* found) {
#if defined(__SSE2__)
    // Eight positions at a time; almost every group has no match at all.
    __m128i want = _mm_setr_epi32(static_cast<int>(base + i), static_cast<int>(base + i + 4),
                                  static_cast<int>(base + i + 8), static_cast<int>(base + i + 12));
    const __m128i step = _mm_set1_epi32(16);
    for (; i + 36 <= n; i += 32) {
      const __m128i want2 = _mm_add_epi32(want, step);
      const uint8_t* d = data + i;
      const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
      const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 2));
      const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 16));
      const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 18));
      const __m128i hit =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(a0, want), _mm_cmpeq_epi32(a2, want)),
                       _mm_or_si128(_mm_cmpeq_epi32(b0, want2), _mm_cmpeq_epi32(b2, want2)));
      if (__builtin_expect(_mm_movemask_epi8(hit) != 0, 0)) {
        CheckEach(data, i, i + 32, base, found);
      }
      want = _mm_add_epi32(want2, step);
    }
#endif
    for (; i + 8 <= n; i += 4) {
      const uint32_t p = base + static_cast<uint32_t>(i);
      if (LoadLe32(data + i) == p || LoadLe32(data + i + 2) == p) found->push_back(p);
    }
  }

  // Notes the structure at p, whose bytes `b` holds, as a body block or as a
  // possible record.
  DbxStatus Classify(uint32_t p, const uint8_t* b) {
    const uint32_t used = LoadLe32(b + 0x08);
    if (LoadLe32(b) == p && LoadLe32(b + 0x04) == kBlockCapacity && used <= kBlockCapacity &&
        uint64_t{p} + 0x10 + used <= size_) {
      Block block;
      block.offset = p;
      block.next = LoadLe32(b + 0x0C);
      block.used = static_cast<uint16_t>(used);
      // A block that the block before it names is never the first of a
      // chain, and most blocks are such: their text is not looked at.
      const bool named_before = !blocks_.empty() && blocks_.back().next == p;
      block.starts_message = !named_before && LooksLikeMessageStart(b + 0x10, used);
      blocks_.push_back(block);
      return DbxStatus::Ok();
    }
    return NoteRecord(p);
  }

  size_t Find(uint32_t offset) const {
    auto it = std::lower_bound(blocks_.begin(), blocks_.end(), offset,
                               [](const Block& b, uint32_t o) { return b.offset < o; });
    return it != blocks_.end() && it->offset == offset ? static_cast<size_t>(it - blocks_.begin())
                                                       : kNone;
  }

  // The block a block's next link names: most often the one right after it.
  size_t FindNext(size_t j) const {
    const uint32_t next = blocks_[j].next;
    if (j + 1 < blocks_.size() && blocks_[j + 1].offset == next) return j + 1;
    return Find(next);
  }

  void LinkBlocks() {
    for (size_t j = 0; j < blocks_.size(); ++j) {
      if (blocks_[j].next == 0) continue;
      size_t k = FindNext(j);
      if (k != kNone && blocks_[k].predecessors < 255) ++blocks_[k].predecessors;
    }
  }

  // Takes the chain from block j on, as far as it is whole and not taken.
  // A live message's chain is followed past a block whose used length is
  // damaged, as SalvageBodyText reads it, so that its later blocks are not
  // taken for a fragment.
  DbxStatus Follow(size_t j, DbxRecoveredMessage* m) {
    for (;;) {
      claimed_[j] = true;
      ++m->block_count;
      m->text_size += blocks_[j].used;
      if (blocks_[j].next == 0) return DbxStatus::Ok();
      size_t k = FindNext(j);
      if (k == kNone && m->origin == RecoveryOrigin::kIndex) {
        DbxStatus s = PastDamagedBlock(blocks_[j].next, &k);
        if (!s.ok()) return s;
      }
      if (k == kNone || claimed_[k]) {
        m->incomplete = true;
        return DbxStatus::Ok();
      }
      j = k;
    }
  }

  // The block after the one at `offset` when that one names itself but was
  // not noted as a block (its used length or size field is damaged) and
  // links on to a block that was; else kNone.
  DbxStatus PastDamagedBlock(uint32_t offset, size_t* k) {
    *k = kNone;
    if (offset == 0 || uint64_t{offset} + kBodyBlockSize > size_) return DbxStatus::Ok();
    uint8_t head[16];
    DbxStatus s = source_.Read(offset, sizeof(head), head);
    if (!s.ok() || LoadLe32(head) != offset) return s;
    *k = Find(LoadLe32(head + 0x0C));
    return DbxStatus::Ok();
  }

  // Messages the index reaches: their chains are taken first, as a normal
  // open reads them.
  DbxStatus TakeIndexedMessages() {
    DbxFileHeader header;
    DbxStatus s = ReadFileHeader(source_, &header);
    if (!s.ok()) return s;
    if (!header.IsFolderFile()) return DbxStatus::Ok();
    scan_->index_walked = true;
    std::vector<uint32_t> offsets;
    s = WalkIndex(source_, header.root_offset, IndexOrder::kMessages, [&](uint32_t r) {
      offsets.push_back(r);
      return DbxStatus::Ok();
    });
    if (!s.ok()) return s;
    indexed_records_.reserve(offsets.size());
    indexed_records_.insert(offsets.begin(), offsets.end());
    // Body positions from the records the scan noted; a record it passed
    // over is decoded as a normal open decodes it.
    std::vector<uint32_t> positions(offsets.size(), 0);
    for (size_t i = 0; i < offsets.size(); ++i) {
      auto it = std::lower_bound(records_.begin(), records_.end(), offsets[i],
                                 [](const RecordRef& r, uint32_t o) { return r.offset < o; });
      if (it != records_.end() && it->offset == offsets[i]) {
        positions[i] = it->body;
        continue;
      }
      DbxMessage record;
      s = DecodeMessageRecord(source_, offsets[i], &record);
      if (!s.ok()) return s;
      if (record.decoded && !record.body_unreadable) positions[i] = record.body_position;
    }
    std::unordered_set<uint32_t> bodies;
    bodies.reserve(offsets.size());
    // A message record is large: the list is made once, not grown and moved.
    if (scan_->keep_indexed) scan_->messages.reserve(scan_->messages.size() + offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
      const uint32_t p = positions[i];
      if (p == 0) continue;
      size_t j = Find(p);
      if (j == kNone) {
        // A first block the scan does not take (its used length is out of
        // range) is still read by a normal read when it names itself.
        uint8_t own[4];
        s = source_.Read(p, sizeof(own), own);
        if (!s.ok()) return s;
        if (LoadLe32(own) != p) continue;
      }
      if (!bodies.insert(p).second) continue;
      DbxRecoveredMessage m;
      m.origin = RecoveryOrigin::kIndex;
      m.body_position = p;
      m.record.record_offset = offsets[i];
      m.record.body_position = p;
      if (j != kNone && !claimed_[j]) {
        s = Follow(j, &m);
        if (!s.ok()) return s;
      } else {
        m.incomplete = true;
        // A first block with a damaged used length: its chain goes on.
        size_t k = kNone;
        if (j == kNone) s = PastDamagedBlock(p, &k);
        if (s.ok() && k != kNone && !claimed_[k]) s = Follow(k, &m);
        if (!s.ok()) return s;
      }
      if (scan_->keep_indexed) scan_->messages.push_back(std::move(m));
    }
    return DbxStatus::Ok();
  }

  // Records that name a chain's first block and are not reached through the
  // index. Of several records naming one chain (a record is rewritten
  // elsewhere when a message changes, and the old copy may survive) the one
  // rewritten most often wins, then the later one.
  DbxStatus TakeRecordMessages() {
    std::map<size_t, const RecordRef*> by_block;
    for (const RecordRef& r : records_) {
      if (indexed_records_.count(r.offset)) continue;
      const size_t j = Find(r.body);
      if (j == kNone || claimed_[j] || blocks_[j].predecessors != 0) continue;
      if (!blocks_[j].starts_message) {
        ++scan_->rejected;
        continue;
      }
      const RecordRef*& best = by_block[j];
      if (best == nullptr || best->change <= r.change) best = &r;
    }
    // Decoded in file order, so that the file is read forward.
    std::vector<std::pair<const RecordRef*, size_t>> winners;
    for (const auto& [j, r] : by_block) winners.emplace_back(r, j);
    std::sort(winners.begin(), winners.end(),
              [](const auto& a, const auto& b) { return a.first->offset < b.first->offset; });
    for (const auto& [r, j] : winners) {
      DbxRecoveredMessage m;
      m.origin = RecoveryOrigin::kRecord;
      m.body_position = blocks_[j].offset;
      DbxStatus s = DecodeMessageRecord(source_, r->offset, &m.record);
      if (!s.ok()) return s;
      s = Follow(j, &m);
      if (!s.ok()) return s;
      found_.push_back(std::move(m));
    }
    return DbxStatus::Ok();
  }

  // First blocks of chains that nothing has taken: messages first, then
  // fragments, so that a message's chain claims its own blocks before any
  // of them can start a fragment.
  void TakeOrphanChains() {
    for (bool fragments : {false, true}) {
      for (size_t j = 0; j < blocks_.size(); ++j) {
        if (claimed_[j] || blocks_[j].predecessors != 0) continue;
        if (blocks_[j].starts_message == fragments) continue;
        DbxRecoveredMessage m;
        m.origin = fragments ? RecoveryOrigin::kFragment : RecoveryOrigin::kOrphan;
        m.body_position = blocks_[j].offset;
        (void)Follow(j, &m);  // reads nothing for these
        m.incomplete = m.incomplete || fragments;  // a fragment lacks its start
        found_.push_back(std::move(m));
      }
    }
  }

  ByteSource& source_;
  DbxRecoveryScan* scan_;
  const uint64_t size_;
  std::vector<Block> blocks_;       // in file order
  std::vector<RecordRef> records_;  // message records, in file order
  // The window of the sequential pass, while it runs.
  const uint8_t* window_ = nullptr;
  uint64_t window_start_ = 0;
  size_t window_size_ = 0;
  std::vector<bool> claimed_;       // per block: part of a message returned
  std::unordered_set<uint32_t> indexed_records_;
  std::vector<DbxRecoveredMessage> found_;  // kRecord and kOrphan
};

}  // namespace

const char* RecoveryOriginName(RecoveryOrigin origin) {
  switch (origin) {
    case RecoveryOrigin::kIndex: return "index";
    case RecoveryOrigin::kRecord: return "record";
    case RecoveryOrigin::kOrphan: return "orphan";
    case RecoveryOrigin::kFragment: return "fragment";
  }
  return "orphan";
}

size_t DbxRecoveryScan::Count(RecoveryOrigin origin) const {
  return static_cast<size_t>(
      std::count_if(messages.begin(), messages.end(),
                    [origin](const DbxRecoveredMessage& m) { return m.origin == origin; }));
}

size_t DbxRecoveryScan::IncompleteCount() const {
  return static_cast<size_t>(std::count_if(
      messages.begin(), messages.end(), [](const DbxRecoveredMessage& m) { return m.incomplete; }));
}

bool LooksLikeMessageStart(const uint8_t* text, size_t size) {
  // Field names in use are short; a longer run is text, not a header.
  constexpr size_t kLongestName = 76;
  size = std::min(size, kLongestName + 1);
  size_t i = 0;
  while (i < size && text[i] > 0x20 && text[i] < 0x7F && text[i] != ':') ++i;
  return i > 0 && i < size && text[i] == ':';
}

DbxStatus ScanFolderFile(ByteSource& source, DbxRecoveryScan* scan) {
  return Scanner(source, scan).Run();
}

DbxStatus ReadRecoveredText(ByteSource& source, const DbxRecoveredMessage& message,
                            std::string* text, std::string* damage) {
  text->clear();
  if (damage) damage->clear();
  if (message.origin == RecoveryOrigin::kIndex) {
    DbxSalvagedBody body;
    DbxStatus s = SalvageBodyText(source, message.body_position, &body);
    text->swap(body.text);
    if (damage) damage->swap(body.damage);
    return s;
  }
  text->reserve(message.text_size);
  uint8_t scratch[kBodyBlockSize];
  uint32_t offset = message.body_position;
  for (uint32_t i = 0; i < message.block_count; ++i) {
    const uint8_t* b;
    DbxStatus s = source.View(offset, kBodyBlockSize, scratch, &b);
    if (!s.ok()) return s;
    const uint32_t used = LoadLe32(b + 0x08);
    if (LoadLe32(b) != offset || used > kBlockCapacity) {
      return DbxStatus(kErrorBadFile, "body block at offset " + std::to_string(offset) +
                                          " changed since the file was scanned");
    }
    text->append(reinterpret_cast<const char*>(b + 0x10), used);
    offset = LoadLe32(b + 0x0C);
  }
  return DbxStatus::Ok();
}

}  // namespace dbx
