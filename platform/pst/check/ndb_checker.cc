// Node database checks: header, B-trees, blocks, data and subnode trees,
// reference counts, id counters and allocation maps ([MS-PST] 2.2, 2.6.1).
#include "platform/pst/check/ndb_checker.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/pst/check/crc.h"
#include "platform/pst/check/format.h"
#include "platform/pst/check/subnode_tree.h"

namespace pst::check {
namespace {

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%" PRIx64, v);
  return buf;
}

uint64_t BlockAllocSize(uint16_t cb) { return (cb + kBlockTrailerSize + 63) / 64 * 64; }

// Collects consecutive 64-byte units into ranges so a map fault is one line.
class RunReporter {
 public:
  RunReporter(Report* report, std::string what) : report_(report), what_(std::move(what)) {}
  ~RunReporter() { Flush(); }
  void Add(uint64_t unit_offset) {
    if (count_ > 0 && unit_offset == start_ + count_ * kUnit) {
      ++count_;
      return;
    }
    Flush();
    start_ = unit_offset;
    count_ = 1;
  }
  void Flush() {
    if (count_ == 0) return;
    report_->Add(start_, what_ + " (" + std::to_string(count_ * kUnit) + " bytes from " +
                             Hex(start_) + " to " + Hex(start_ + count_ * kUnit) + ")");
    count_ = 0;
  }

 private:
  Report* report_;
  std::string what_;
  uint64_t start_ = 0;
  uint64_t count_ = 0;
};

// "the third page of AMap interval 8192" for the page at ib.
std::string PlaceOf(uint64_t ib) {
  static const char* const kOrdinal[] = {"first", "second", "third", "fourth"};
  uint64_t k = (ib - kFirstAMap) / kAMapCoverage;
  uint64_t slot = (ib - kFirstAMap - k * kAMapCoverage) / kPageSize;
  return std::string(slot < 4 ? kOrdinal[slot] : "a later") + " page of AMap interval " + std::to_string(k);
}

}  // namespace

NdbChecker::NdbChecker(const Source& source, Report* report)
    : source_(source), report_(report) {}

const NodeEntry* NdbChecker::FindNode(uint64_t nid) const {
  auto it = nodes_.find(nid);
  return it == nodes_.end() ? nullptr : &it->second;
}

const BlockEntry* NdbChecker::FindBlock(uint64_t bid) const {
  auto it = blocks_.find(bid & ~kBidReserved);
  return it == blocks_.end() ? nullptr : &it->second;
}

bool NdbChecker::CanDecode() const {
  return header_.crypt_method == kCryptNone || header_.crypt_method == kCryptPermute;
}

// ---------------------------------------------------------------- header

bool NdbChecker::ReadHeader() {
  report_->stats.file_size = source_.size();
  uint8_t h[kHeaderSize];
  if (source_.size() < kHeaderSize || !source_.ReadAt(0, h, kHeaderSize)) {
    report_->fatal = "not a PST file: shorter than the 564-byte header";
    return false;
  }
  if (Le32(h) != kMagic) {
    report_->fatal = "not a PST file: the header does not start with \"!BDN\"";
    return false;
  }
  header_.version = Le16(h + 10);
  if (header_.version == 14 || header_.version == 15) {
    report_->fatal = "ANSI PST file (wVer " + std::to_string(header_.version) +
                     "): only Unicode PST files are checked";
    return false;
  }
  if (header_.version >= 36) {
    report_->fatal = "PST file with 4 KiB pages (wVer " + std::to_string(header_.version) +
                     "): only Unicode PST files with 512-byte pages are checked";
    return false;
  }
  if (header_.version < kVersionUnicode) {
    report_->fatal = "not a Unicode PST file (wVer " + std::to_string(header_.version) + ")";
    return false;
  }
  if (header_.version != kVersionUnicode) {
    report_->Add(10, "header: wVer is " + std::to_string(header_.version) + ", expected 23");
  }
  if (Le16(h + 8) != kMagicClient) {
    report_->Add(8, "header: wMagicClient is " + Hex(Le16(h + 8)) + ", expected 0x4d53 (\"SM\")");
  }
  uint32_t crc_partial = ComputeCrc(h + kCrcPartialStart, kCrcPartialLength);
  if (Le32(h + 4) != crc_partial) {
    report_->Add(4, "header: dwCRCPartial mismatch (stored " + Hex(Le32(h + 4)) + ", computed " +
                        Hex(crc_partial) + ")");
  }
  uint32_t crc_full = ComputeCrc(h + kCrcFullStart, kCrcFullLength);
  if (Le32(h + 524) != crc_full) {
    report_->Add(524, "header: dwCRCFull mismatch (stored " + Hex(Le32(h + 524)) + ", computed " +
                          Hex(crc_full) + ")");
  }
  header_.client_version = Le16(h + 12);
  header_.platform_create = h[14];
  header_.platform_access = h[15];
  header_.bid_next_p = Le64(h + 32);
  for (int i = 0; i < 32; ++i) header_.rgnid[i] = Le32(h + 44 + 4 * i);
  header_.ib_file_eof = Le64(h + 184);
  header_.ib_amap_last = Le64(h + 192);
  header_.cb_amap_free = Le64(h + 200);
  header_.cb_pmap_free = Le64(h + 208);
  header_.nbt = Bref{Le64(h + 216), Le64(h + 224)};
  header_.bbt = Bref{Le64(h + 232), Le64(h + 240)};
  header_.amap_valid = h[248];
  header_.sentinel = h[512];
  header_.crypt_method = h[513];
  header_.bid_next_b = Le64(h + 516);
  return true;
}

void NdbChecker::CheckHeaderFields() {
  const Header& h = header_;
  if (h.client_version != kClientVersion) {
    report_->Add(12, "header: wVerClient is " + std::to_string(h.client_version) + ", expected 19");
  }
  if (h.platform_create != 0x01 || h.platform_access != 0x01) {
    report_->Add(14, "header: bPlatformCreate/bPlatformAccess must be 0x01");
  }
  if (h.sentinel != 0x80) {
    report_->Add(512, "header: bSentinel is " + Hex(h.sentinel) + ", expected 0x80");
  }
  if (h.crypt_method == kCryptCyclic) {
    report_->notes.push_back(
        "data blocks use cyclic encoding: property contexts and tables are not checked");
  } else if (h.crypt_method != kCryptNone && h.crypt_method != kCryptPermute) {
    report_->Add(513, "header: unknown bCryptMethod " + Hex(h.crypt_method));
  }
  uint64_t size = source_.size();
  if (h.ib_file_eof != size) {
    report_->Add(184, "header: ibFileEof is " + Hex(h.ib_file_eof) + " but the file is " +
                          Hex(size) + " bytes" +
                          (h.ib_file_eof > size ? " (file truncated)" : " (trailing data)"));
  }
  eof_ = std::min(h.ib_file_eof, size);
  if (eof_ < kFirstAMap + kPageSize) {
    report_->Add(184, "header: ibFileEof " + Hex(h.ib_file_eof) +
                          " leaves no room for the first AMap page at 0x4400");
    return;
  }
  if ((h.ib_file_eof - kFirstAMap) % kAMapCoverage != 0) {
    report_->Add(184, "header: ibFileEof " + Hex(h.ib_file_eof) +
                          " is not 0x4400 plus a whole number of AMap intervals (253952 bytes)");
  }
  uint64_t amaps = (eof_ - kFirstAMap + kAMapCoverage - 1) / kAMapCoverage;
  uint64_t last = kFirstAMap + (amaps - 1) * kAMapCoverage;
  if (h.ib_amap_last != last) {
    report_->Add(192, "header: ibAMapLast is " + Hex(h.ib_amap_last) + ", the last AMap page is at " +
                          Hex(last));
  }
  if (h.amap_valid != 0x01 && h.amap_valid != 0x02) {
    report_->Add(248, "header: fAMapValid is " + Hex(h.amap_valid) +
                          " (allocation maps marked invalid; Outlook rebuilds them)");
  }
}

// ---------------------------------------------------------------- pages

bool NdbChecker::MarkUsed(uint64_t ib, uint64_t size, const std::string& what) {
  if (ib < kFirstAMap || ib > eof_ || size > eof_ - ib) {
    report_->Add(ib, what + " at " + Hex(ib) + " (" + std::to_string(size) +
                         " bytes) lies outside the data area 0x4400.." + Hex(eof_));
    return false;
  }
  bool overlap = false;
  for (uint64_t u = ib / kUnit; u < (ib + size) / kUnit; ++u) {
    uint8_t mask = static_cast<uint8_t>(0x80 >> (u % 8));
    if (used_[u / 8] & mask) overlap = true;
    used_[u / 8] |= mask;
  }
  if (overlap) report_->Add(ib, what + " overlaps another page or block");
  return !overlap;
}

bool NdbChecker::IsUsed(uint64_t ib) const {
  uint64_t u = ib / kUnit;
  return u / 8 < used_.size() && (used_[u / 8] & (0x80 >> (u % 8)));
}

bool NdbChecker::ReadPage(uint64_t ib, uint8_t* page) {
  if (!source_.ReadAt(ib, page, kPageSize)) {
    report_->Add(ib, "page at " + Hex(ib) + " cannot be read");
    return false;
  }
  return true;
}

void NdbChecker::WalkBTree(bool nbt, const Bref& ref, int parent_level, uint64_t key_lo,
                           uint64_t key_hi, bool has_hi, int depth) {
  const std::string name = nbt ? "NBT page" : "BBT page";
  const uint8_t ptype = nbt ? kPtypeNbt : kPtypeBbt;
  if (depth > 8) {
    report_->Add(ref.ib, name + ": B-tree deeper than 8 levels");
    return;
  }
  if (ref.ib % kPageSize != 0) {
    report_->Add(ref.ib, name + " " + Hex(ref.bid) + " is not aligned on 512 bytes");
    return;
  }
  if (!visited_pages_.insert(ref.ib).second) {
    report_->Add(ref.ib, name + " " + Hex(ref.bid) + " is reached twice in the B-trees");
    return;
  }
  if (!MarkUsed(ref.ib, kPageSize, name + " " + Hex(ref.bid))) {
    if (ref.ib < kFirstAMap || ref.ib > eof_ - kPageSize) return;
  }
  uint8_t p[kPageSize];
  if (!ReadPage(ref.ib, p)) return;
  ++report_->stats.pages;
  const uint8_t* t = p + kPageTrailerOffset;
  if (t[0] != ptype || t[1] != ptype) {
    report_->Add(ref.ib, name + ": ptype " + Hex(t[0]) + "/ptypeRepeat " + Hex(t[1]) +
                             ", expected " + Hex(ptype));
    return;
  }
  uint32_t crc = ComputeCrc(p, kPageTrailerOffset);
  if (Le32(t + 4) != crc) {
    report_->Add(ref.ib, name + ": CRC mismatch (stored " + Hex(Le32(t + 4)) + ", computed " +
                             Hex(crc) + ")");
  }
  if (Le64(t + 8) != ref.bid) {
    report_->Add(ref.ib, name + ": trailer bid " + Hex(Le64(t + 8)) +
                             " differs from the referencing bid " + Hex(ref.bid));
  }
  if (Le16(t + 2) != ComputeSig(ref.ib, ref.bid)) {
    report_->Add(ref.ib, name + ": wSig " + Hex(Le16(t + 2)) + ", expected " +
                             Hex(ComputeSig(ref.ib, ref.bid)));
  }
  max_page_bid_ = std::max(max_page_bid_, ref.bid);

  const uint8_t c_ent = p[488], c_ent_max = p[489], cb_ent = p[490], level = p[491];
  if (parent_level >= 0 && level != parent_level - 1) {
    report_->Add(ref.ib, name + ": cLevel " + std::to_string(level) + " under a parent of level " +
                             std::to_string(parent_level));
    return;
  }
  if (level > 7) {
    report_->Add(ref.ib, name + ": cLevel " + std::to_string(level) + " is implausible");
    return;
  }
  uint8_t want_size = level > 0 ? kBtEntrySize : (nbt ? kNbtEntrySize : kBtEntrySize);
  uint8_t want_max = level > 0 ? kBtEntryMax : (nbt ? kNbtEntryMax : kBtEntryMax);
  if (cb_ent != want_size || c_ent_max != want_max) {
    report_->Add(ref.ib, name + ": cbEnt " + std::to_string(cb_ent) + "/cEntMax " +
                             std::to_string(c_ent_max) + ", expected " + std::to_string(want_size) +
                             "/" + std::to_string(want_max));
    return;
  }
  if (c_ent > c_ent_max) {
    report_->Add(ref.ib, name + ": cEnt " + std::to_string(c_ent) + " exceeds cEntMax");
    return;
  }
  if (c_ent == 0) report_->Add(ref.ib, name + ": page has no entries");

  for (int i = 0; i < c_ent; ++i) {
    const uint8_t* e = p + i * cb_ent;
    uint64_t key = Le64(e);
    if (key < key_lo || (has_hi && key >= key_hi)) {
      report_->Add(ref.ib, name + ": key " + Hex(key) + " (entry " + std::to_string(i) +
                               ") outside the range " + Hex(key_lo) + ".." +
                               (has_hi ? Hex(key_hi) : std::string("end")) +
                               " given by the parent page");
    }
    if (i > 0 && key <= Le64(e - cb_ent)) {
      report_->Add(ref.ib, name + ": keys out of order (entry " + std::to_string(i) + " key " +
                               Hex(key) + " after " + Hex(Le64(e - cb_ent)) + ")");
    }
    if (level > 0) {
      bool last = i + 1 == c_ent;
      uint64_t hi = last ? key_hi : Le64(e + cb_ent);
      WalkBTree(nbt, Bref{Le64(e + 8), Le64(e + 16)}, level, key, hi, last ? has_hi : true,
                depth + 1);
    } else if (nbt) {
      NodeEntry n;
      n.nid = Le32(e);
      n.bid_data = Le64(e + 8);
      n.bid_sub = Le64(e + 16);
      n.nid_parent = Le32(e + 24);
      n.page = ref.ib;
      if (Le32(e + 4) != 0) report_->Add(ref.ib, name + ": node " + Hex(key) + " has padding bits set in its nid");
      if (!nodes_.emplace(n.nid, n).second) {
        report_->Add(ref.ib, name + ": node " + Hex(n.nid) + " appears twice in the NBT");
      }
    } else {
      BlockEntry b;
      b.bid = key;
      b.ib = Le64(e + 8);
      b.cb = Le16(e + 16);
      b.cref = Le16(e + 18);
      b.page = ref.ib;
      if (!blocks_.emplace(b.bid, b).second) {
        report_->Add(ref.ib, name + ": block " + Hex(b.bid) + " appears twice in the BBT");
      }
    }
  }
}

// ---------------------------------------------------------------- blocks

bool NdbChecker::ReadBlockRaw(const BlockEntry& e, std::vector<uint8_t>* out) const {
  if (e.cb > kMaxBlockData) return false;
  out->resize(e.cb);
  return source_.ReadAt(e.ib, out->data(), e.cb);
}

void NdbChecker::CheckBlocks() {
  std::vector<uint8_t> buf;
  for (const auto& [bid, e] : blocks_) {
    const std::string name = std::string(bid & kBidInternal ? "internal block " : "data block ") + Hex(bid);
    if (bid & kBidReserved) report_->Add(e.page, "BBT: " + name + " has the reserved bid bit set");
    if (e.ib % kUnit != 0) {
      report_->Add(e.ib, name + " is not aligned on 64 bytes");
      continue;
    }
    if (e.cb > kMaxBlockData) {
      report_->Add(e.ib, name + ": size " + std::to_string(e.cb) + " exceeds 8176 bytes");
      continue;
    }
    uint64_t size = BlockAllocSize(e.cb);
    if (!MarkUsed(e.ib, size, name) && (e.ib < kFirstAMap || e.ib > eof_ || size > eof_ - e.ib)) {
      continue;
    }
    buf.resize(size);
    if (!source_.ReadAt(e.ib, buf.data(), size)) {
      report_->Add(e.ib, name + " cannot be read");
      continue;
    }
    const uint8_t* t = buf.data() + size - kBlockTrailerSize;
    if (Le16(t) != e.cb) {
      report_->Add(e.ib, name + ": trailer cb " + std::to_string(Le16(t)) + " but the BBT says " +
                             std::to_string(e.cb));
    }
    if (Le16(t + 2) != ComputeSig(e.ib, bid)) {
      report_->Add(e.ib, name + ": wSig " + Hex(Le16(t + 2)) + ", expected " +
                             Hex(ComputeSig(e.ib, bid)));
    }
    uint32_t crc = ComputeCrc(buf.data(), e.cb);
    if (Le32(t + 4) != crc) {
      report_->Add(e.ib, name + ": CRC mismatch (stored " + Hex(Le32(t + 4)) + ", computed " +
                             Hex(crc) + ")");
    }
    if (Le64(t + 8) != bid) {
      report_->Add(e.ib, name + ": trailer bid " + Hex(Le64(t + 8)) + " differs from the BBT");
    }
  }
}

// ---------------------------------------------------------------- trees

bool NdbChecker::Reference(uint64_t bid, uint64_t from, const std::string& owner,
                           bool want_internal, const BlockEntry** entry) {
  *entry = nullptr;
  if (bid & kBidReserved) report_->Add(from, owner + ": reference " + Hex(bid) + " has the reserved bid bit set");
  const BlockEntry* e = FindBlock(bid);
  if (e == nullptr) {
    report_->Add(from, owner + ": references block " + Hex(bid) + ", which is not in the BBT");
    return false;
  }
  ++refs_[e->bid];
  if (want_internal && !(e->bid & kBidInternal)) {
    report_->Add(from, owner + ": block " + Hex(bid) + " should be an internal block (SLBLOCK/SIBLOCK)");
    return false;
  }
  *entry = e;
  return true;
}

bool NdbChecker::CheckDataTree(uint64_t bid, uint64_t from, const std::string& owner, int depth,
                               uint64_t* size) {
  const BlockEntry* e = FindBlock(bid);
  if (e == nullptr) return false;
  if (!(e->bid & kBidInternal)) {
    *size = e->cb;
    return true;
  }
  if (auto it = tree_sizes_.find(e->bid); it != tree_sizes_.end()) {
    *size = it->second;
    return true;
  }
  if (bad_trees_.count(e->bid)) return false;
  bad_trees_.insert(e->bid);   // until proven sound; also stops cycles
  std::vector<uint8_t> b;
  std::string name = owner + ": data tree block " + Hex(e->bid);
  if (!ReadBlockRaw(*e, &b) || b.size() < 8) {
    report_->Add(e->ib, name + " is too short for an XBLOCK header");
    return false;
  }
  uint8_t btype = b[0], level = b[1];
  uint16_t c_ent = Le16(&b[2]);
  uint32_t lcb_total = Le32(&b[4]);
  if (btype != kBtypeXBlock || level < 1 || level > 2) {
    report_->Add(e->ib, name + " is not an XBLOCK/XXBLOCK (btype " + Hex(btype) + ", cLevel " +
                            std::to_string(level) + ")");
    return false;
  }
  if (depth > 0 && level != 1) {
    report_->Add(e->ib, name + ": an XXBLOCK may only point to XBLOCKs");
    return false;
  }
  if (c_ent == 0 || b.size() != 8 + 8 * static_cast<size_t>(c_ent)) {
    report_->Add(e->ib, name + ": cEnt " + std::to_string(c_ent) + " does not match the block size " +
                            std::to_string(b.size()));
    if (b.size() < 8 + 8 * static_cast<size_t>(c_ent)) return false;
  }
  uint64_t total = 0;
  bool sound = true;
  for (uint16_t i = 0; i < c_ent; ++i) {
    uint64_t child = Le64(&b[8 + 8 * i]);
    const BlockEntry* ce;
    if (!Reference(child, e->ib, name, false, &ce)) {
      sound = false;
      continue;
    }
    if (level == 2) {
      uint64_t sub = 0;
      if (!(ce->bid & kBidInternal)) {
        report_->Add(e->ib, name + ": XXBLOCK entry " + Hex(child) + " is a data block, not an XBLOCK");
        sound = false;
      } else if (CheckDataTree(child, e->ib, owner, depth + 1, &sub)) {
        total += sub;
      } else {
        sound = false;
      }
    } else if (ce->bid & kBidInternal) {
      report_->Add(e->ib, name + ": XBLOCK entry " + Hex(child) + " is not a data block");
      sound = false;
    } else {
      total += ce->cb;
    }
  }
  if (sound && total != lcb_total) {
    report_->Add(e->ib, name + ": lcbTotal " + std::to_string(lcb_total) + " but its blocks hold " +
                            std::to_string(total) + " bytes");
  }
  if (!sound) return false;
  bad_trees_.erase(e->bid);
  tree_sizes_[e->bid] = total;
  *size = total;
  (void)from;
  return true;
}

void NdbChecker::CheckSubnodeTree(uint64_t bid, uint64_t from, const std::string& owner, int depth) {
  const BlockEntry* e = FindBlock(bid);
  if (e == nullptr) return;
  if (!walked_subtrees_.insert(e->bid).second) return;
  std::string name = owner + ": subnode block " + Hex(e->bid);
  if (depth > 32) {
    report_->Add(e->ib, name + ": subnodes nested more than 32 deep");
    return;
  }
  std::vector<uint8_t> b;
  if (!ReadBlockRaw(*e, &b) || b.size() < 8) {
    report_->Add(e->ib, name + " is too short for an SLBLOCK/SIBLOCK header");
    return;
  }
  uint8_t btype = b[0], level = b[1];
  uint16_t c_ent = Le16(&b[2]);
  if (btype != kBtypeSBlock || level > 1) {
    report_->Add(e->ib, name + " is not an SLBLOCK/SIBLOCK (btype " + Hex(btype) + ", cLevel " +
                            std::to_string(level) + ")");
    return;
  }
  size_t ent = level == 0 ? 24 : 16;
  if (b.size() != 8 + ent * c_ent) {
    report_->Add(e->ib, name + ": cEnt " + std::to_string(c_ent) + " does not match the block size " +
                            std::to_string(b.size()));
    if (b.size() < 8 + ent * c_ent) return;
  }
  if (c_ent == 0) report_->Add(e->ib, name + ": no entries");
  uint64_t prev = 0;
  for (uint16_t i = 0; i < c_ent; ++i) {
    const uint8_t* p = &b[8 + ent * i];
    uint64_t nid = Le32(p);   // the upper half of the 8-byte field is padding
    if (i > 0 && nid <= prev) {
      report_->Add(e->ib, name + ": subnode ids out of order (" + Hex(nid) + " after " + Hex(prev) + ")");
    }
    prev = nid;
    const BlockEntry* ce;
    if (level == 1) {
      if (Reference(Le64(p + 8), e->ib, name, true, &ce)) {
        std::vector<uint8_t> child;
        if (ReadBlockRaw(*ce, &child) && child.size() >= 2 && child[0] == kBtypeSBlock && child[1] != 0) {
          report_->Add(ce->ib, name + ": SIBLOCK entry " + Hex(ce->bid) + " is not an SLBLOCK");
        } else {
          CheckSubnodeTree(ce->bid, e->ib, owner, depth);
        }
      }
      continue;
    }
    std::string sub = owner + " subnode " + Hex(nid);
    uint64_t size;
    if (Reference(Le64(p + 8), e->ib, sub, false, &ce)) CheckDataTree(ce->bid, e->ib, sub, 0, &size);
    uint64_t bid_sub = Le64(p + 16);
    if (bid_sub != 0 && Reference(bid_sub, e->ib, sub, true, &ce)) {
      CheckSubnodeTree(ce->bid, e->ib, sub, depth + 1);
    }
  }
  (void)from;
}

void NdbChecker::CheckNodes() {
  for (const auto& [nid, n] : nodes_) {
    std::string owner = "node " + Hex(nid);
    if (NidType(nid) == kNidTypeHid) report_->Add(n.page, owner + ": nid type 0 (HID) in the NBT");
    if (n.nid_parent != 0 && FindNode(n.nid_parent) == nullptr) {
      report_->Add(n.page, owner + ": parent node " + Hex(n.nid_parent) + " is not in the NBT");
    }
    const BlockEntry* e;
    // A node may be empty (bidData 0): Outlook's search queues start so.
    if (n.bid_data != 0 && Reference(n.bid_data, n.page, owner, false, &e)) {
      uint64_t size;
      CheckDataTree(e->bid, n.page, owner, 0, &size);
    }
    if (n.bid_sub != 0 && Reference(n.bid_sub, n.page, owner, true, &e)) {
      CheckSubnodeTree(e->bid, n.page, owner, 0);
    }
  }
}

void NdbChecker::CheckRefCounts() {
  for (const auto& [bid, e] : blocks_) {
    auto it = refs_.find(bid);
    uint32_t refs = it == refs_.end() ? 0 : it->second;
    if (refs == 0) {
      report_->Add(e.ib, "block " + Hex(bid) + " is in the BBT but no node references it (leaked)");
    } else if (e.cref != refs + 1) {
      report_->Add(e.page, "BBT: block " + Hex(bid) + " has cRef " + std::to_string(e.cref) + " but " +
                               std::to_string(refs) + " reference(s); expected " +
                               std::to_string(refs + 1) + " (references plus one)");
    }
  }
}

void NdbChecker::CheckCounters() {
  uint64_t max_block = blocks_.empty() ? 0 : blocks_.rbegin()->first;
  if (!blocks_.empty() && header_.bid_next_b <= max_block) {
    report_->Add(516, "header: bidNextB " + Hex(header_.bid_next_b) + " is not above the highest block id " +
                          Hex(max_block));
  }
  if (header_.bid_next_p <= max_page_bid_) {
    report_->Add(32, "header: bidNextP " + Hex(header_.bid_next_p) + " is not above the highest page id " +
                         Hex(max_page_bid_));
  }
  uint32_t max_index[32] = {};
  for (const auto& [nid, n] : nodes_) {
    max_index[NidType(nid)] = std::max(max_index[NidType(nid)], NidIndex(nid));
  }
  for (int t = 0; t < 32; ++t) {
    if (max_index[t] > header_.rgnid[t]) {
      report_->Add(44 + 4 * t, "header: rgnid[" + Hex(t) + "] is " + Hex(header_.rgnid[t]) +
                                   " but a node of that type has index " + Hex(max_index[t]) +
                                   " (new nodes would reuse ids)");
    }
  }
}

// ---------------------------------------------------------------- maps

bool NdbChecker::CheckMapPage(uint64_t ib, uint8_t ptype, const char* name, uint8_t* page) {
  if (ib + kPageSize > eof_) {
    report_->Add(ib, std::string(name) + " page at " + Hex(ib) + " lies past the end of the file");
    return false;
  }
  if (!ReadPage(ib, page)) return false;
  const uint8_t* t = page + kPageTrailerOffset;
  bool ok = true;
  if (t[0] != ptype || t[1] != ptype) {
    report_->Add(ib, std::string(name) + " page missing at " + Hex(ib) + ", the " + PlaceOf(ib) +
                         ": ptype " + Hex(t[0]) + "/ptypeRepeat " + Hex(t[1]) + ", expected " + Hex(ptype));
    ok = false;
  }
  uint32_t crc = ComputeCrc(page, kPageTrailerOffset);
  if (Le32(t + 4) != crc) {
    report_->Add(ib, std::string(name) + " page: CRC mismatch (stored " + Hex(Le32(t + 4)) +
                         ", computed " + Hex(crc) + ")");
    ok = false;
  }
  if (Le16(t + 2) != 0) report_->Add(ib, std::string(name) + " page: wSig must be 0");
  if (Le64(t + 8) != ib) {
    report_->Add(ib, std::string(name) + " page: trailer bid " + Hex(Le64(t + 8)) +
                         " must equal the page offset");
  }
  return ok;
}

std::string NdbChecker::MapPageFault(uint64_t ib, uint8_t ptype, uint8_t* page) const {
  if (ib + kPageSize > eof_) return "past the end of the file";
  if (!source_.ReadAt(ib, page, kPageSize)) return "unreadable";
  const uint8_t* t = page + kPageTrailerOffset;
  if (t[0] != ptype || t[1] != ptype) return "ptype " + Hex(t[0]) + "/ptypeRepeat " + Hex(t[1]);
  if (Le32(t + 4) != ComputeCrc(page, kPageTrailerOffset)) return "a CRC mismatch";
  if (Le16(t + 2) != 0 || Le64(t + 8) != ib) return "a wrong trailer signature or bid";
  return "";
}

// The FPMap sits in the fourth page of its interval with a copy in the
// third; a file with only one of them is named by where the other is missing.
void NdbChecker::CheckFPMaps(uint64_t amap_index) {
  const uint64_t start = kFirstAMap + amap_index * kAMapCoverage;
  const uint64_t fixed = start + kFPMapSlot * kPageSize, packed = start + kPackedFPMapSlot * kPageSize;
  uint8_t page[kPageSize];
  const std::string fixed_fault = MapPageFault(fixed, kPtypeFPMap, page);
  const std::string packed_fault = MapPageFault(packed, kPtypeFPMap, page);
  if (fixed_fault.empty() && packed_fault.empty()) return;
  if (!fixed_fault.empty() && !packed_fault.empty()) {
    CheckMapPage(fixed, kPtypeFPMap, "FPMap", page);
    CheckMapPage(packed, kPtypeFPMap, "FPMap", page);
  } else if (packed_fault.empty()) {
    report_->Add(fixed, "FPMap page misplaced: AMap interval " + std::to_string(amap_index) + " has it at " +
                            Hex(packed) + " only, right after the PMap; " + Hex(fixed) + ", the " +
                            PlaceOf(fixed) + " where readers that keep a page for the FMap look for it, holds " +
                            fixed_fault + " instead");
  } else {
    report_->Add(packed, "FPMap page missing at " + Hex(packed) + ", the " + PlaceOf(packed) +
                             " where readers that place map pages one after another look for it (it holds " +
                             packed_fault + "); the FPMap at " + Hex(fixed) + " is sound");
  }
}

void NdbChecker::ListMapPage(uint64_t ib, uint64_t amap_index, const char* kind) {
  if (list_map_pages_) report_->map_pages.push_back(MapPage{ib, amap_index, kind});
}

void NdbChecker::CheckMaps() {
  uint64_t amaps = (eof_ - kFirstAMap + kAMapCoverage - 1) / kAMapCoverage;
  report_->stats.amaps = amaps;
  uint8_t page[kPageSize];
  uint8_t pmap[kPageSize];
  bool pmap_ok = false;
  uint64_t amap_free = 0, pmap_free = 0;
  for (uint64_t k = 0; k < amaps; ++k) {
    uint64_t ib = kFirstAMap + k * kAMapCoverage;
    if (IntervalHasPMap(k)) {
      pmap_ok = CheckMapPage(ib + kPMapSlot * kPageSize, kPtypePMap, "PMap", pmap);
      if (pmap_ok) {
        // PMap bit 0: a page the PMap reserved from the AMap and still holds free.
        RunReporter in_use(report_, "PMap at " + Hex(ib + kPageSize) + " lists pages as free that are in use");
        for (uint64_t j = 0; j < 496 * 8; ++j) {
          uint64_t p = ib + j * kPageSize;
          if (p + kPageSize > eof_) break;
          if ((pmap[j / 8] >> (7 - j % 8)) & 1) continue;
          pmap_free += kPageSize;
          for (uint64_t u = p; u < p + kPageSize; u += kUnit) {
            if (IsUsed(u)) in_use.Add(u);
          }
        }
      }
    }
    if (!CheckMapPage(ib, kPtypeAMap, "AMap", page)) continue;
    RunReporter missing(report_, "AMap at " + Hex(ib) + " does not mark space in use");
    RunReporter extra(report_, "AMap at " + Hex(ib) + " marks space allocated that nothing uses");
    RunReporter unreserved(report_, "PMap lists pages as free that the AMap at " + Hex(ib) +
                                        " does not reserve");
    uint64_t pmap_base = kFirstAMap + (k / kAMapsPerPMap) * kAMapsPerPMap * kAMapCoverage;
    uint64_t first_byte = ib / kUnit / 8;
    for (uint64_t i = 0; i < 496; ++i) {
      uint64_t byte_ib = ib + i * 8 * kUnit;
      if (byte_ib >= eof_) break;
      uint8_t marked = page[i];
      uint8_t used = first_byte + i < used_.size() ? used_[first_byte + i] : 0;
      // PMap bit 0: the page holding these 8 units is reserved and free.
      uint64_t j = (byte_ib - pmap_base) / kPageSize;
      bool reserved = pmap_ok && !((pmap[j / 8] >> (7 - j % 8)) & 1);
      uint8_t valid = byte_ib + 8 * kUnit <= eof_ ? 0xFF : static_cast<uint8_t>(0xFF << (8 - (eof_ - byte_ib) / kUnit));
      amap_free += static_cast<uint64_t>(__builtin_popcount(static_cast<uint8_t>(~marked & valid))) * kUnit;
      uint8_t missing_bits = used & ~marked & valid;
      uint8_t extra_bits = reserved ? 0 : static_cast<uint8_t>(marked & ~used & valid);
      uint8_t unreserved_bits = reserved ? static_cast<uint8_t>(~marked & valid) : 0;
      if ((missing_bits | extra_bits | unreserved_bits) == 0) continue;
      for (int b = 0; b < 8; ++b) {
        uint8_t m = static_cast<uint8_t>(0x80 >> b);
        uint64_t u = byte_ib + b * kUnit;
        if (missing_bits & m) missing.Add(u);
        if (extra_bits & m) extra.Add(u);
        if (unreserved_bits & m) unreserved.Add(u);
      }
    }
  }
  if (amap_free != header_.cb_amap_free) {
    report_->Add(200, "header: cbAMapFree is " + std::to_string(header_.cb_amap_free) +
                          " but the AMaps leave " + std::to_string(amap_free) + " bytes free");
  }
  if (pmap_free != header_.cb_pmap_free) {
    report_->Add(208, "header: cbPMapFree is " + std::to_string(header_.cb_pmap_free) +
                          " but the PMaps hold " + std::to_string(pmap_free) + " bytes of free pages");
  }
  for (uint64_t k = 0; k < amaps; ++k) {
    uint64_t ib = kFirstAMap + k * kAMapCoverage;
    ListMapPage(ib, k, "AMap");
    if (IntervalHasPMap(k)) ListMapPage(ib + kPMapSlot * kPageSize, k, "PMap");
    if (IntervalHasFMap(k)) {
      CheckMapPage(ib + kFMapSlot * kPageSize, kPtypeFMap, "FMap", page);
      ListMapPage(ib + kFMapSlot * kPageSize, k, "FMap");
    }
    if (IntervalHasFPMap(k)) {
      CheckFPMaps(k);
      ListMapPage(ib + kPackedFPMapSlot * kPageSize, k, "FPMap copy");
      ListMapPage(ib + kFPMapSlot * kPageSize, k, "FPMap");
    }
  }
  CheckDList(amaps);
}

void NdbChecker::CheckDList(uint64_t amap_count) {
  uint8_t p[kPageSize];
  if (!ReadPage(kDListOffset, p)) return;
  if (std::all_of(p, p + kPageSize, [](uint8_t b) { return b == 0; })) return;   // no density list
  const uint8_t* t = p + kPageTrailerOffset;
  if (t[0] != kPtypeDList || t[1] != kPtypeDList) {
    report_->Add(kDListOffset, "density list page: ptype " + Hex(t[0]) + "/ptypeRepeat " + Hex(t[1]) +
                                   ", expected 0x86");
    return;
  }
  uint32_t crc = ComputeCrc(p, kPageTrailerOffset);
  if (Le32(t + 4) != crc) {
    report_->Add(kDListOffset, "density list page: CRC mismatch (stored " + Hex(Le32(t + 4)) +
                                   ", computed " + Hex(crc) + ")");
  }
  if (Le16(t + 2) != ComputeSig(kDListOffset, Le64(t + 8))) {
    report_->Add(kDListOffset, "density list page: wSig does not match its offset and bid");
  }
  uint8_t count = p[1];
  if (count > 119) {
    report_->Add(kDListOffset, "density list: cEntDList " + std::to_string(count) + " exceeds 119");
    return;
  }
  if (Le32(p + 4) >= amap_count) {
    report_->Add(kDListOffset, "density list: ulCurrentPage " + std::to_string(Le32(p + 4)) +
                                   " is not an AMap page of this file");
  }
  std::set<uint32_t> seen;
  for (int i = 0; i < count; ++i) {
    uint32_t v = Le32(p + 8 + 4 * i);
    uint32_t page_num = v & 0xFFFFF, free_slots = v >> 20;
    if (page_num >= amap_count || !seen.insert(page_num).second) {
      report_->Add(kDListOffset, "density list: entry " + std::to_string(i) + " names AMap page " +
                                     std::to_string(page_num) + ", which is absent or listed twice");
    }
    if (free_slots > 496 * 8) {
      report_->Add(kDListOffset, "density list: entry " + std::to_string(i) + " claims " +
                                     std::to_string(free_slots) + " free slots");
    }
  }
}

// ---------------------------------------------------------------- driver

void NdbChecker::CheckAll() {
  CheckHeaderFields();
  if (eof_ < kFirstAMap + kPageSize) return;
  used_.assign(eof_ / kUnit / 8 + 1, 0);
  uint64_t amaps = (eof_ - kFirstAMap + kAMapCoverage - 1) / kAMapCoverage;
  for (uint64_t k = 0; k < amaps; ++k) {
    uint64_t ib = kFirstAMap + k * kAMapCoverage;
    MarkUsed(ib, kPageSize, "AMap page");
    if (IntervalHasPMap(k)) MarkUsed(ib + kPMapSlot * kPageSize, kPageSize, "PMap page");
    if (IntervalHasFMap(k)) MarkUsed(ib + kFMapSlot * kPageSize, kPageSize, "FMap page");
    if (IntervalHasFPMap(k)) {
      MarkUsed(ib + kPackedFPMapSlot * kPageSize, kPageSize, "FPMap page (copy)");
      MarkUsed(ib + kFPMapSlot * kPageSize, kPageSize, "FPMap page");
    }
  }
  WalkBTree(false, header_.bbt, -1, 0, 0, false, 0);
  WalkBTree(true, header_.nbt, -1, 0, 0, false, 0);
  report_->stats.nodes = nodes_.size();
  report_->stats.blocks = blocks_.size();
  CheckBlocks();
  CheckNodes();
  CheckRefCounts();
  CheckCounters();
  CheckMaps();
}

// ---------------------------------------------------------------- reading

bool NdbChecker::ReadData(uint64_t bid, uint64_t limit,
                          std::vector<std::vector<uint8_t>>* blocks) const {
  struct Frame { uint64_t bid; int depth; };
  std::vector<Frame> stack{{bid, 0}};
  uint64_t total = 0;
  std::vector<std::vector<uint8_t>> out;
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    const BlockEntry* e = FindBlock(f.bid);
    if (e == nullptr || f.depth > 2) return false;
    std::vector<uint8_t> b;
    if (!ReadBlockRaw(*e, &b)) return false;
    if (!(e->bid & kBidInternal)) {
      total += b.size();
      if (total > limit) return false;
      if (header_.crypt_method == kCryptPermute) DecodePermute(b.data(), b.size());
      out.push_back(std::move(b));
      continue;
    }
    if (b.size() < 8 || b[0] != kBtypeXBlock || b[1] < 1 || b[1] > 2) return false;
    size_t c_ent = Le16(&b[2]);
    if (b.size() < 8 + 8 * c_ent) return false;
    for (size_t i = c_ent; i-- > 0;) stack.push_back({Le64(&b[8 + 8 * i]), f.depth + 1});
  }
  *blocks = std::move(out);
  return true;
}

bool NdbChecker::ReadSubnodes(uint64_t bid, std::map<uint32_t, Subnode>* out) const {
  out->clear();
  std::vector<uint8_t> b;
  auto read = [&](uint64_t block, const uint8_t** data, size_t* size) {
    const BlockEntry* e = FindBlock(block);
    if (e == nullptr || !ReadBlockRaw(*e, &b)) return false;
    *data = b.data();
    *size = b.size();
    return true;
  };
  return ReadSubnodeTree(bid, read, [&](uint32_t nid, const Subnode& s) { (*out)[nid] = s; });
}

uint64_t NdbChecker::DataOffset(uint64_t bid) const {
  const BlockEntry* e = FindBlock(bid);
  return e == nullptr ? 0 : e->ib;
}

}  // namespace pst::check
