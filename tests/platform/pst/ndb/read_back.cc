// Independent read-back of a written PST at the node database level (see
// read_back.h). Offsets and sizes are spelled out here rather than taken
// from the writer's headers, so a shared mistake does not hide itself.
#include "tests/platform/pst/ndb/read_back.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace pst::ndb::testing {
namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t U64(const uint8_t* p) { return U32(p) | static_cast<uint64_t>(U32(p + 4)) << 32; }

uint32_t Crc(const uint8_t* p, size_t n) {
  static uint32_t table[256];
  static bool init = false;
  if (!init) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      table[i] = c;
    }
    init = true;
  }
  uint32_t c = 0;
  for (size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c;
}

std::string Hex(uint64_t v) {
  char b[24];
  std::snprintf(b, sizeof(b), "0x%llx", static_cast<unsigned long long>(v));
  return b;
}

Status Bad(const std::string& m) { return Status::Corrupt(m); }

constexpr uint64_t kAMap0 = 0x4400;
constexpr uint64_t kInterval = 253952;

uint64_t Align64(uint64_t n) { return (n + 63) / 64 * 64; }

}  // namespace

Content ToContent(const NodeData& d) {
  Content c;
  c.data = d.data;
  for (const auto& [nid, child] : d.subnodes) c.subnodes[nid] = ToContent(child);
  return c;
}

ReadBack::~ReadBack() {
  if (!f_.empty()) munmap(const_cast<uint8_t*>(f_.data()), f_.size());
}

Status ReadBack::Open(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::IoError("cannot open " + path);
  struct stat st;
  void* m = MAP_FAILED;
  if (fstat(fd, &st) == 0 && st.st_size > 0) {
    m = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
  }
  close(fd);
  if (m == MAP_FAILED) return Status::IoError("cannot map " + path);
  f_ = std::span<const uint8_t>(static_cast<const uint8_t*>(m), static_cast<size_t>(st.st_size));
  Status s = CheckHeader();
  if (!s.ok()) return s;
  used_.assign((file_eof_ - kAMap0) / 64, 0);
  s = WalkTree(nbt_bid_, nbt_ib_, 0x81, -1, 0, &nbt_depth_);
  if (s.ok()) s = WalkTree(bbt_bid_, bbt_ib_, 0x80, -1, 0, &bbt_depth_);
  if (s.ok()) s = CheckMaps();
  if (!s.ok()) return s;

  // Every block: trailer, placement, and its reference count.
  std::map<Bid, uint32_t> refs;
  for (const auto& [nid, n] : nodes_) {
    if (n.data) s = CountRefs(n.data, false, &refs);
    if (s.ok() && n.sub) s = CountRefs(n.sub, true, &refs);
    if (!s.ok()) return Bad("node " + Hex(nid) + ": " + s.message());
  }
  for (const auto& [bid, b] : blocks_) {
    if (refs[bid] == 0) return Bad("block " + Hex(bid) + " is not referenced by any node");
    if (b.cref != refs[bid] + 1) {
      return Bad("block " + Hex(bid) + " has cRef " + std::to_string(b.cref) + " for " +
                 std::to_string(refs[bid]) + " references");
    }
  }
  return Status::Ok();
}

Status ReadBack::CheckHeader() {
  if (f_.size() < 0x4400 + 512) return Bad("file too short");
  const uint8_t* h = f_.data();
  if (std::string(h, h + 4) != "!BDN") return Bad("no !BDN magic");
  if (U32(h + 4) != Crc(h + 8, 471)) return Bad("dwCRCPartial mismatch");
  if (U32(h + 524) != Crc(h + 8, 516)) return Bad("dwCRCFull mismatch");
  if (U16(h + 8) != 0x4D53) return Bad("wMagicClient");
  if (U16(h + 10) != 23) return Bad("wVer is not 23");
  if (U16(h + 12) != 19) return Bad("wVerClient is not 19");
  if (h[512] != 0x80) return Bad("bSentinel");
  if (h[513] != 0) return Bad("bCryptMethod is not 0");
  next_p_ = U64(h + 32);
  next_b_ = U64(h + 516);
  for (int t = 0; t < 32; ++t) rgnid_[t] = U32(h + 44 + 4 * t);
  const uint8_t* r = h + 180;
  file_eof_ = U64(r + 4);
  amap_last_ = U64(r + 12);
  amap_free_ = U64(r + 20);
  pmap_free_ = U64(r + 28);
  nbt_bid_ = U64(r + 36);
  nbt_ib_ = U64(r + 44);
  bbt_bid_ = U64(r + 52);
  bbt_ib_ = U64(r + 60);
  if (r[68] != 2) return Bad("fAMapValid is not 2");
  if (file_eof_ != f_.size()) {
    return Bad("ibFileEof " + std::to_string(file_eof_) + " but the file has " +
               std::to_string(f_.size()) + " bytes");
  }
  if ((file_eof_ - kAMap0) % kInterval != 0) return Bad("file does not end at an AMap interval");
  if (amap_last_ != file_eof_ - kInterval) return Bad("ibAMapLast is not the last AMap");
  return Status::Ok();
}

Status ReadBack::CheckPage(uint64_t ib, uint8_t ptype, uint64_t bid) const {
  if (ib % 512 != 0 || ib + 512 > f_.size()) return Bad("page at bad offset " + Hex(ib));
  const uint8_t* p = f_.data() + ib;
  const uint8_t* t = p + 496;
  if (t[0] != ptype || t[1] != ptype) return Bad("page at " + Hex(ib) + " has wrong ptype");
  if (U32(t + 4) != Crc(p, 496)) return Bad("page at " + Hex(ib) + " has bad CRC");
  if (U64(t + 8) != bid) return Bad("page at " + Hex(ib) + " has bid " + Hex(U64(t + 8)));
  uint16_t sig = 0;
  if (ptype == 0x80 || ptype == 0x81 || ptype == 0x86) {
    uint64_t x = ib ^ bid;
    sig = static_cast<uint16_t>((x >> 16) ^ x);
  }
  if (U16(t + 2) != sig) return Bad("page at " + Hex(ib) + " has bad wSig");
  return Status::Ok();
}

void ReadBack::Use(uint64_t ib, uint64_t size) {
  for (uint64_t u = (ib - kAMap0) / 64; u < (ib - kAMap0 + size) / 64; ++u) {
    if (used_[u] && overlap_.empty()) overlap_ = "space at " + Hex(kAMap0 + u * 64) + " used twice";
    used_[u] = 1;
  }
}

Status ReadBack::WalkTree(uint64_t bid, uint64_t ib, uint8_t ptype, int level_expected,
                          uint64_t min_key, int* depth) {
  Status s = CheckPage(ib, ptype, bid);
  if (!s.ok()) return s;
  if (bid >= next_p_) return Bad("page bid " + Hex(bid) + " not below bidNextP");
  pages_.push_back(ib);
  Use(ib, 512);
  const uint8_t* p = f_.data() + ib;
  int c_ent = p[488], c_max = p[489], cb = p[490], level = p[491];
  if (level_expected >= 0 && level != level_expected) return Bad("B-tree levels inconsistent");
  if (level_expected < 0) *depth = level + 1;
  int want_cb = level > 0 ? 24 : (ptype == 0x81 ? 32 : 24);
  if (cb != want_cb || c_max != 488 / want_cb || c_ent > c_max) return Bad("bad BTPAGE counts");
  if (c_ent == 0 && !(level_expected < 0 && level == 0)) return Bad("empty non-root page");
  uint64_t prev = 0;
  for (int i = 0; i < c_ent; ++i) {
    const uint8_t* e = p + i * cb;
    uint64_t key = U64(e);
    if (i > 0 && key <= prev) return Bad("B-tree keys out of order in page " + Hex(ib));
    if (i == 0 && level_expected >= 0 && key != min_key) return Bad("B-tree key mismatch");
    prev = key;
    if (level > 0) {
      s = WalkTree(U64(e + 8), U64(e + 16), ptype, level - 1, key, depth);
      if (!s.ok()) return s;
    } else if (ptype == 0x81) {
      if (U64(e) >> 32) return Bad("NBT nid has high bits");
      nodes_[static_cast<Nid>(key)] = NodeRef{U32(e + 24), U64(e + 8), U64(e + 16)};
    } else {
      BlockRef b{U64(e + 8), U16(e + 16), U16(e + 18)};
      if (key >= next_b_) return Bad("block bid " + Hex(key) + " not below bidNextB");
      if (b.ib % 64 != 0 || b.ib + Align64(b.cb + 16) > f_.size()) return Bad("block outside file");
      uint64_t start = (b.ib - kAMap0) / kInterval;
      if ((b.ib + Align64(b.cb + 16) - 1 - kAMap0) / kInterval != start) {
        return Bad("block " + Hex(key) + " straddles an AMap interval");
      }
      const uint8_t* t = f_.data() + b.ib + Align64(b.cb + 16) - 16;
      if (U16(t) != b.cb) return Bad("block " + Hex(key) + " trailer cb");
      uint64_t x = b.ib ^ key;
      if (U16(t + 2) != static_cast<uint16_t>((x >> 16) ^ x)) return Bad("block wSig");
      if (U32(t + 4) != Crc(f_.data() + b.ib, b.cb)) return Bad("block " + Hex(key) + " CRC");
      if (U64(t + 8) != key) return Bad("block trailer bid");
      if (b.cb > 8176) return Bad("block too large");
      Use(b.ib, Align64(b.cb + 16));
      blocks_[key] = b;
    }
  }
  return Status::Ok();
}

Status ReadBack::CheckMaps() {
  const uint64_t intervals = (file_eof_ - kAMap0) / kInterval;
  // Map pages belong in their slots after the AMap: PMap second, FMap
  // third, FPMap fourth with its copy third.
  auto has_fmap = [](uint64_t i) { return i >= 128 && (i - 128) % 496 == 0; };
  for (uint64_t i = 0; i < intervals; ++i) {
    uint64_t base = kAMap0 + i * kInterval;
    bool fpmap = i >= 8192 && (i - 8192) % 31744 == 0;
    std::vector<std::tuple<uint64_t, uint8_t, bool>> maps = {
        {base, 0x84, true},
        {base + 512, 0x83, i % 8 == 0},
        {base + 1024, 0x82, has_fmap(i)},
        {base + 1024, 0x85, fpmap},
        {base + 1536, 0x85, fpmap}};
    for (auto [at, ptype, present] : maps) {
      if (!present) continue;
      Status s = CheckPage(at, ptype, at);
      if (!s.ok()) return s;
      const uint8_t* p = f_.data() + at;
      if (ptype == 0x83 || ptype == 0x85) {
        for (int k = 0; k < 496; ++k) {
          if (p[k] != 0xFF) return Bad("PMap/FPMap page at " + Hex(at) + " marks free pages");
        }
      }
      Use(at, 512);
    }
  }
  uint64_t free_units = 0;
  for (uint64_t i = 0; i < intervals; ++i) {
    uint64_t base = kAMap0 + i * kInterval;
    const uint8_t* amap = f_.data() + base;
    for (uint64_t u = 0; u < 3968; ++u) {
      bool bit = amap[u / 8] & (0x80 >> (u % 8));
      bool is_used = used_[i * 3968 + u];
      if (bit != is_used) {
        return Bad("AMap of interval " + std::to_string(i) + " says " + (bit ? "used" : "free") +
                   " for " + Hex(base + u * 64));
      }
      if (!bit) free_units++;
    }
    if (has_fmap(i)) {
      // FMap bytes: longest free run of each covered AMap.
      const uint8_t* fm = f_.data() + base + 1024;
      for (uint64_t k = 0; k < 496 && i + k < intervals; ++k) {
        uint32_t best = 0, run = 0;
        for (uint64_t u = 0; u < 3968; ++u) {
          run = used_[(i + k) * 3968 + u] ? 0 : run + 1;
          best = std::max(best, run);
        }
        if (fm[k] != std::min<uint32_t>(best, 255)) return Bad("FMap entry wrong");
      }
    }
  }
  if (!overlap_.empty()) return Bad(overlap_);
  if (free_units * 64 != amap_free_) {
    return Bad("cbAMapFree " + std::to_string(amap_free_) + " but the maps have " +
               std::to_string(free_units * 64) + " bytes free");
  }
  if (pmap_free_ != 0) return Bad("cbPMapFree is not 0");
  // Density list.
  Status s = CheckPage(0x4200, 0x86, U64(f_.data() + 0x4200 + 504));
  if (!s.ok()) return s;
  const uint8_t* d = f_.data() + 0x4200;
  if (d[0] != 1) return Bad("density list not marked complete");
  uint32_t prev_free = 0;
  for (int k = 0; k < d[1]; ++k) {
    uint32_t e = U32(d + 8 + 4 * k);
    uint32_t page = e & 0xFFFFF, slots = e >> 20;
    if (page >= intervals || slots < prev_free) return Bad("density list entry out of order");
    uint32_t real = 0;
    for (uint64_t u = 0; u < 3968; ++u) real += used_[page * 3968 + u] ? 0 : 1;
    if (real != slots) return Bad("density list free count wrong");
    prev_free = slots;
  }
  return Status::Ok();
}

Status ReadBack::Block(Bid bid, const uint8_t** data, uint16_t* cb) const {
  auto it = blocks_.find(bid);
  if (it == blocks_.end()) return Bad("block " + Hex(bid) + " missing from the BBT");
  *data = f_.data() + it->second.ib;
  *cb = it->second.cb;
  return Status::Ok();
}

Status ReadBack::CountRefs(Bid bid, bool subnode_tree, std::map<Bid, uint32_t>* refs) const {
  // A block's own references count once, however often it is reached.
  if ((*refs)[bid]++ > 0) return Status::Ok();
  const uint8_t* p;
  uint16_t cb;
  Status s = Block(bid, &p, &cb);
  if (!s.ok()) return s;
  if (!(bid & 2)) {
    return subnode_tree ? Bad("subnode tree " + Hex(bid) + " is an external block") : Status::Ok();
  }
  if (p[0] != (subnode_tree ? 2 : 1)) return Bad("internal block " + Hex(bid) + " of wrong btype");
  uint16_t n = U16(p + 2);
  for (int i = 0; i < n && s.ok(); ++i) {
    if (!subnode_tree) {
      s = CountRefs(U64(p + 8 + 8 * i), false, refs);
    } else if (p[1] == 0) {
      const uint8_t* e = p + 8 + 24 * i;
      if (U64(e + 8)) s = CountRefs(U64(e + 8), false, refs);
      if (s.ok() && U64(e + 16)) s = CountRefs(U64(e + 16), true, refs);
    } else {
      s = CountRefs(U64(p + 8 + 16 * i + 8), true, refs);
    }
  }
  return s;
}

Status ReadBack::ReadData(Bid bid, std::vector<uint8_t>* out) const {
  out->clear();
  if (bid == 0) return Status::Ok();
  const uint8_t* p;
  uint16_t cb;
  Status s = Block(bid, &p, &cb);
  if (!s.ok()) return s;
  if (!(bid & 2)) {
    out->assign(p, p + cb);
    return Status::Ok();
  }
  if (p[0] != 1 || (p[1] != 1 && p[1] != 2)) return Bad("bad data tree block " + Hex(bid));
  uint16_t n = U16(p + 2);
  uint32_t total = U32(p + 4);
  if (cb != 8 + 8 * n) return Bad("XBLOCK size");
  for (int i = 0; i < n; ++i) {
    std::vector<uint8_t> part;
    Bid child = U64(p + 8 + 8 * i);
    if ((p[1] == 1) == ((child & 2) != 0)) return Bad("data tree child of the wrong kind");
    s = ReadData(child, &part);
    if (!s.ok()) return s;
    // Every child but the last is full.
    uint64_t full = p[1] == 1 ? 8176 : 8176ull * 1021;
    if (i + 1 < n && part.size() != full) return Bad("data tree child not full");
    out->insert(out->end(), part.begin(), part.end());
  }
  if (out->size() != total) return Bad("lcbTotal mismatch in " + Hex(bid));
  return Status::Ok();
}

Status ReadBack::ReadSubnodes(Bid bid, std::map<Nid, Content>* out) const {
  const uint8_t* p;
  uint16_t cb;
  Status s = Block(bid, &p, &cb);
  if (!s.ok()) return s;
  if (p[0] != 2) return Bad("bad subnode block");
  uint16_t n = U16(p + 2);
  uint64_t prev = 0;
  for (int i = 0; i < n; ++i) {
    if (p[1] == 0) {
      const uint8_t* e = p + 8 + 24 * i;
      Nid nid = static_cast<Nid>(U64(e));
      if (i > 0 && U64(e) <= prev) return Bad("SLBLOCK entries out of order");
      prev = U64(e);
      Content c;
      s = ReadData(U64(e + 8), &c.data);
      if (s.ok() && U64(e + 16)) s = ReadSubnodes(U64(e + 16), &c.subnodes);
      if (!s.ok()) return s;
      (*out)[nid] = std::move(c);
    } else {
      const uint8_t* e = p + 8 + 16 * i;
      std::map<Nid, Content> part;
      s = ReadSubnodes(U64(e + 8), &part);
      if (!s.ok()) return s;
      if (part.empty() || part.begin()->first != U64(e)) return Bad("SIENTRY key mismatch");
      out->merge(part);
    }
  }
  return Status::Ok();
}

Status ReadBack::ReadNode(Nid nid, Content* out) const {
  auto it = nodes_.find(nid);
  if (it == nodes_.end()) return Status::NotFound("node " + Hex(nid));
  *out = Content();
  Status s = ReadData(it->second.data, &out->data);
  if (s.ok() && it->second.sub) s = ReadSubnodes(it->second.sub, &out->subnodes);
  return s;
}

}  // namespace pst::ndb::testing
