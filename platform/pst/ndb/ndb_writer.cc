// The node database writer (see ndb_writer.h).
//
// Space is handed out by a cursor that only moves forward: blocks go to the
// next 64-byte boundary that leaves them inside one AMap interval and clear
// of the interval's map pages, and are written at once through a WriteBuffer.
// Space of freed blocks (replaced nodes) is used again for later blocks that
// fit in it, so rewriting a node again and again does not grow the file.
// Memory holds one small record per block (offset, size, reference count,
// children of internal blocks) and one per node. Close appends the B-tree
// pages, derives every map from the live blocks and pages, writes the map
// pages and the density list, and writes the header last: until then the
// first 17 KiB of the file are zeros, so no reader takes it for a PST. A
// writer destroyed without a successful Close removes its file.
//
// A call that fails part-way drops the blocks it had written (their space is
// free again) and leaves the writer as before the call; a later Close still
// writes a complete file of what earlier calls stored.
#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

#include "platform/pst/ndb/btree.h"
#include "platform/pst/ndb/crc.h"
#include "platform/pst/ndb/file.h"
#include "platform/pst/ndb/format.h"
#include "platform/pst/ndb/header.h"
#include "platform/pst/ndb/maps.h"
#include "platform/pst/ndb/writer_internal.h"

namespace pst {
namespace ndb {
namespace {

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

enum class Kind : uint8_t { kData, kXBlock, kXXBlock, kSubLeaf, kSubIndex };

bool IsDataTree(Kind k) { return k == Kind::kData || k == Kind::kXBlock || k == Kind::kXXBlock; }
bool IsSubnodeTree(Kind k) { return k == Kind::kSubLeaf || k == Kind::kSubIndex; }

struct BlockInfo {
  uint64_t ib = 0;
  uint32_t refs = 0;  // references from nodes and internal blocks
  uint16_t cb = 0;    // data bytes, trailer excluded
  Kind kind = Kind::kData;
  bool live = false;
};

struct NodeInfo {
  Bid data = 0;
  Bid sub = 0;
  Nid parent = 0;
};

class Writer : public NdbWriter {
 public:
  Writer(std::unique_ptr<OutputFile> file, const WriterOptions& options)
      : file_(std::move(file)), options_(options), buffer_(file_.get(), options.buffer_size) {
    InitialNidCounters(rgnid_);
  }

  ~Writer() override {
    if (!closed_) file_->Remove();
  }

  Status WriteData(std::span<const uint8_t> bytes, Bid* bid) override {
    *bid = 0;
    Status s = CheckOpen();
    if (s.ok()) s = WriteDataTree(bytes, bid);
    return FinishCall(s);
  }

  Status WriteData(const ValueSource& source, Bid* bid) override {
    *bid = 0;
    Status s = CheckOpen();
    if (s.ok()) s = WriteDataTree(source, bid);
    return FinishCall(s);
  }

  Status WriteSubnodes(std::vector<SubnodeEntry> entries, Bid* bid) override {
    *bid = 0;
    Status s = CheckOpen();
    if (s.ok()) s = WriteSubnodeTree(std::move(entries), bid);
    return FinishCall(s);
  }

  Status PutNode(Nid nid, Nid parent, Bid data, Bid sub) override {
    Status s = CheckOpen();
    if (s.ok()) s = Put(nid, parent, data, sub);
    return FinishCall(s);
  }

  Status PutNode(Nid nid, Nid parent, const NodeData& content) override {
    Status s = CheckOpen();
    if (s.ok() && nid == 0) s = Status::InvalidArgument("node id 0 is not a valid node");
    Bid data = 0, sub = 0;
    if (s.ok()) s = WriteContent(content, &data, &sub);
    if (s.ok()) s = Put(nid, parent, data, sub);
    return FinishCall(s);
  }

  bool HasNode(Nid nid) const override { return nodes_.count(nid) != 0; }

  Nid NewNid(uint8_t nid_type) override {
    if (nid_type > 31 || rgnid_[nid_type] >= (1u << 27)) return 0;
    return (rgnid_[nid_type]++ << 5) | nid_type;
  }

  Status Close() override;

  uint64_t FileSize() const override { return closed_ ? file_size_ : cursor_; }

 private:
  Status CheckOpen() const {
    if (closed_) return Status::InvalidArgument("the PST file is already closed");
    if (close_failed_) {
      return Status::InvalidArgument("closing the PST file failed; only Close may be retried");
    }
    return Status::Ok();
  }

  // Ends a public call: on failure, drops the blocks the call wrote.
  Status FinishCall(Status s) {
    if (!s.ok()) {
      for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
        BlockInfo* b = Find(*it);
        if (b != nullptr && b->refs == 0) Free(*it);
      }
    }
    created_.clear();
    return s;
  }

  // The live block of exactly this id (the internal flag included).
  BlockInfo* Find(Bid bid) {
    uint64_t k = bid / kBidStep;
    if (bid == 0 || k >= blocks_.size() || !blocks_[k].live) return nullptr;
    const bool internal = blocks_[k].kind != Kind::kData;
    if (bid % kBidStep != (internal ? kBidInternal : 0)) return nullptr;
    return &blocks_[k];
  }

  // Space for `size` bytes (a multiple of 64) aligned to `align`, inside one
  // interval and past its map pages.
  uint64_t Allocate(uint64_t size, uint64_t align) {
    uint64_t at = (cursor_ + align - 1) / align * align;
    uint64_t i = IntervalOf(at);
    if (at < IntervalDataStart(i)) at = IntervalDataStart(i);
    if (at + size > IntervalStart(i + 1)) {
      // The end of this interval stays free for smaller blocks later.
      if (IntervalStart(i + 1) - at >= kBlockAlign) AddFreed(at, IntervalStart(i + 1) - at);
      at = IntervalDataStart(i + 1);
    }
    cursor_ = at + size;
    return at;
  }

  // Writes one block of `data` and records it; internal blocks list the
  // blocks they reference in `children`, whose counts go up by one each.
  Status WriteBlock(Kind kind, std::span<const uint8_t> data, std::vector<Bid> children,
                    Bid* out) {
    const bool internal = kind != Kind::kData;
    const Bid bid = next_bid_ | (internal ? kBidInternal : 0);
    const uint64_t size = BlockDiskSize(data.size());
    uint64_t ib = 0;
    const bool reused = TakeFreedSpace(size, &ib);
    if (!reused) ib = Allocate(size, kBlockAlign);
    uint8_t* dst = nullptr;
    if (reused) {
      scratch_.resize(size);
      dst = scratch_.data();
    } else {
      Status s = buffer_.Reserve(ib, size, &dst);
      if (!s.ok()) return s;
    }
    if (!data.empty()) std::memcpy(dst, data.data(), data.size());
    uint8_t* t = dst + size - kBlockTrailerSize;
    std::memset(dst + data.size(), 0, static_cast<size_t>(t - dst) - data.size());
    Put16(t, static_cast<uint16_t>(data.size()));
    Put16(t + 2, ComputeSig(ib, bid));
    Put32(t + 4, Crc32(0, data.data(), data.size()));
    Put64(t + 8, bid);
    if (reused) {
      Status s = buffer_.WriteBehind(ib, scratch_);
      if (!s.ok()) {
        AddFreed(ib, size);
        return s;
      }
    }

    Record(bid, ib, data.size(), kind, std::move(children));
    *out = bid;
    return buffer_.MaybeFlush();
  }

  // Enters a block just written (taking the next block id) in the table.
  void Record(Bid bid, uint64_t ib, size_t cb, Kind kind, std::vector<Bid> children) {
    next_bid_ += kBidStep;
    const uint64_t k = bid / kBidStep;
    if (blocks_.size() <= k) blocks_.resize(k + 1);
    blocks_[k] = BlockInfo{ib, 0, static_cast<uint16_t>(cb), kind, true};
    for (Bid c : children) Find(c)->refs++;
    if (!children.empty()) children_[k] = std::move(children);
    created_.push_back(bid);
  }

  // Space of a freed block of `size` bytes, the smallest that fits; the rest
  // of a larger one stays free.
  bool TakeFreedSpace(uint64_t size, uint64_t* ib) {
    if (freed_extents_ == 0) return false;
    const uint64_t units = size / kBlockAlign;
    for (uint64_t u = units; u < freed_.size(); ++u) {
      if (freed_[u].empty()) continue;
      *ib = freed_[u].back();
      freed_[u].pop_back();
      freed_extents_--;
      if (u > units) AddFreed(*ib + size, (u - units) * kBlockAlign);
      return true;
    }
    return false;
  }

  void AddFreed(uint64_t ib, uint64_t size) {
    freed_[size / kBlockAlign].push_back(ib);
    freed_extents_++;
  }

  // Drops a block and the references it holds; its space can be used again.
  void Free(Bid bid) {
    const uint64_t k = bid / kBidStep;
    blocks_[k].live = false;
    AddFreed(blocks_[k].ib, BlockDiskSize(blocks_[k].cb));
    auto it = children_.find(k);
    if (it == children_.end()) return;
    std::vector<Bid> children = std::move(it->second);
    children_.erase(it);
    for (Bid c : children) Release(c);
  }

  void Release(Bid bid) {
    BlockInfo* b = Find(bid);
    if (b != nullptr && b->refs > 0 && --b->refs == 0) Free(bid);
  }

  class TreeBuilder;
  Status WriteDataTree(std::span<const uint8_t> bytes, Bid* bid);
  Status WriteDataTree(const ValueSource& source, Bid* bid);
  Status WriteTreeHead(Kind kind, const std::vector<Bid>& children, uint64_t total, Bid* bid);
  Status WriteSubnodeTree(std::vector<SubnodeEntry> entries, Bid* bid);
  Status WriteContent(const NodeData& content, Bid* data, Bid* sub);
  Status Put(Nid nid, Nid parent, Bid data, Bid sub);
  // `owner` and `nid` name what refers to `bid` ("node", "subnode").
  Status CheckRef(Bid bid, bool subnode_tree, const char* owner, Nid nid);
  Status WritePage(uint8_t ptype, uint8_t* page, PageRef* where);
  Status WriteTrees(PageRef* nbt, PageRef* bbt);
  Status CloseImpl();

  std::unique_ptr<OutputFile> file_;
  WriterOptions options_;
  WriteBuffer buffer_;
  uint64_t cursor_ = IntervalDataStart(0);
  Bid next_bid_ = kBidStep;
  uint64_t next_page_bid_ = 0;
  std::vector<BlockInfo> blocks_;                            // by bid / 4
  std::unordered_map<uint64_t, std::vector<Bid>> children_;  // by bid / 4
  std::vector<Bid> created_;                                 // by the current call
  std::vector<std::vector<uint64_t>> freed_ =                // offsets, by 64-byte units
      std::vector<std::vector<uint64_t>>(kMaxBlockSize / kBlockAlign + 1);
  uint64_t freed_extents_ = 0;
  std::vector<uint8_t> scratch_;                             // a block for freed space
  std::map<Nid, NodeInfo> nodes_;
  std::vector<uint64_t> page_offsets_;  // B-tree pages written by Close
  uint32_t rgnid_[32];
  bool closed_ = false;
  bool close_failed_ = false;
  uint64_t file_size_ = 0;
};

// Builds a data tree of `total` bytes that arrive in pieces: each leaf block
// is written as it fills, the XBLOCK over 1021 leaves as soon as its last
// leaf is written, and the root last. Those are the blocks, in the order, of
// a tree written from one buffer: a data tree is one byte stream that
// readers address with a stride of 8176 bytes, so every leaf but the last
// is full.
class Writer::TreeBuilder {
 public:
  TreeBuilder(Writer* writer, uint64_t total) : w_(writer), total_(total) {}

  Status Append(std::span<const uint8_t> bytes) {
    if (bytes.size() > total_ - taken_) {
      return Status::InvalidArgument("a value gave more than the " + std::to_string(total_) +
                                     " bytes it declared");
    }
    taken_ += bytes.size();
    while (!bytes.empty()) {
      if (partial_.empty() && bytes.size() >= kMaxBlockData) {
        Status s = Leaf(bytes.first(kMaxBlockData));
        if (!s.ok()) return s;
        bytes = bytes.subspan(kMaxBlockData);
        continue;
      }
      const size_t n = std::min<size_t>(kMaxBlockData - partial_.size(), bytes.size());
      partial_.insert(partial_.end(), bytes.begin(), bytes.begin() + n);
      bytes = bytes.subspan(n);
      if (partial_.size() == kMaxBlockData) {
        Status s = Leaf(partial_);
        partial_.clear();
        if (!s.ok()) return s;
      }
    }
    return Status::Ok();
  }

  Status Finish(Bid* bid) {
    if (taken_ != total_) {
      return Status::IoError("a value gave " + std::to_string(taken_) + " of the " + std::to_string(total_) +
                             " bytes it declared");
    }
    if (!partial_.empty()) {
      Status s = Leaf(partial_);
      if (!s.ok()) return s;
    }
    if (total_ <= kMaxBlockData) {
      *bid = leaves_.empty() ? 0 : leaves_.front();
      return Status::Ok();
    }
    if (!leaves_.empty()) {
      Status s = CloseSpan();
      if (!s.ok()) return s;
    }
    if (xblocks_.size() == 1) {
      *bid = xblocks_.front();
      return Status::Ok();
    }
    return w_->WriteTreeHead(Kind::kXXBlock, xblocks_, total_, bid);
  }

 private:
  Status Leaf(std::span<const uint8_t> bytes) {
    Bid b = 0;
    Status s = w_->WriteBlock(Kind::kData, bytes, {}, &b);
    if (!s.ok()) return s;
    leaves_.push_back(b);
    span_bytes_ += bytes.size();
    return total_ > kMaxBlockData && leaves_.size() == kXEntriesMax ? CloseSpan() : Status::Ok();
  }

  Status CloseSpan() {
    Bid x = 0;
    Status s = w_->WriteTreeHead(Kind::kXBlock, leaves_, span_bytes_, &x);
    if (!s.ok()) return s;
    xblocks_.push_back(x);
    leaves_.clear();
    span_bytes_ = 0;
    return Status::Ok();
  }

  Writer* w_;
  const uint64_t total_;
  uint64_t taken_ = 0;
  std::vector<uint8_t> partial_;  // the leaf being filled
  std::vector<Bid> leaves_;       // of the XBLOCK being filled
  uint64_t span_bytes_ = 0;       // under those leaves
  std::vector<Bid> xblocks_;
};

Status CheckTreeSize(uint64_t n) {
  if (n <= 0xFFFFFFFFull) return Status::Ok();
  return Status::TooLarge("a node's data stream of " + std::to_string(n) +
                          " bytes exceeds the 4 GiB a data tree can hold");
}

Status Writer::WriteDataTree(std::span<const uint8_t> bytes, Bid* bid) {
  Status s = CheckTreeSize(bytes.size());
  if (!s.ok()) return s;
  TreeBuilder tree(this, bytes.size());
  s = tree.Append(bytes);
  return s.ok() ? tree.Finish(bid) : s;
}

Status Writer::WriteDataTree(const ValueSource& source, Bid* bid) {
  Status s = CheckTreeSize(source.size());
  if (!s.ok()) return s;
  TreeBuilder tree(this, source.size());
  s = source.Read([&tree](std::span<const uint8_t> piece) { return tree.Append(piece); });
  return s.ok() ? tree.Finish(bid) : s;
}

// An XBLOCK or XXBLOCK over `children`, which hold `total` bytes.
Status Writer::WriteTreeHead(Kind kind, const std::vector<Bid>& children, uint64_t total, Bid* bid) {
  std::vector<uint8_t> head(kInternalHeadSize + 8 * children.size());
  head[0] = kBtypeDataTree;
  head[1] = kind == Kind::kXBlock ? 1 : 2;
  Put16(head.data() + 2, static_cast<uint16_t>(children.size()));
  Put32(head.data() + 4, static_cast<uint32_t>(total));
  for (size_t i = 0; i < children.size(); ++i) Put64(head.data() + 8 + 8 * i, children[i]);
  return WriteBlock(kind, head, children, bid);
}

Status Writer::CheckRef(Bid bid, bool subnode_tree, const char* owner, Nid nid) {
  if (bid == 0) return Status::Ok();
  BlockInfo* b = Find(bid);
  if (b != nullptr && (subnode_tree ? IsSubnodeTree(b->kind) : IsDataTree(b->kind))) {
    return Status::Ok();
  }
  const std::string what = std::string(owner) + " " + Hex(nid);
  if (b == nullptr) {
    return Status::InvalidArgument(what + " refers to block " + Hex(bid) +
                                   ", which this file does not hold");
  }
  return Status::InvalidArgument(what + " refers to block " + Hex(bid) + ", which is not a " +
                                 (subnode_tree ? "subnode tree" : "data tree"));
}

Status Writer::WriteSubnodeTree(std::vector<SubnodeEntry> entries, Bid* bid) {
  if (entries.empty()) return Status::Ok();
  std::sort(entries.begin(), entries.end(),
            [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
  for (size_t i = 0; i < entries.size(); ++i) {
    const SubnodeEntry& e = entries[i];
    if (i > 0 && entries[i - 1].nid == e.nid) {
      return Status::InvalidArgument("subnode " + Hex(e.nid) + " is listed twice");
    }
    Status s = CheckRef(e.data, false, "subnode", e.nid);
    if (s.ok()) s = CheckRef(e.sub, true, "subnode", e.nid);
    if (!s.ok()) return s;
  }
  if (entries.size() > kSlEntriesMax * kSiEntriesMax) {
    return Status::TooLarge(std::to_string(entries.size()) + " subnodes exceed the " +
                            std::to_string(kSlEntriesMax * kSiEntriesMax) +
                            " one subnode tree can hold");
  }

  struct Leaf {
    Nid first;
    Bid bid;
  };
  std::vector<Leaf> leaves;
  for (size_t at = 0; at < entries.size(); at += kSlEntriesMax) {
    size_t count = std::min(kSlEntriesMax, entries.size() - at);
    std::vector<uint8_t> block(kInternalHeadSize + kSlEntrySize * count, 0);
    block[0] = kBtypeSubnode;
    block[1] = 0;  // SLBLOCK
    Put16(block.data() + 2, static_cast<uint16_t>(count));
    std::vector<Bid> children;
    for (size_t i = 0; i < count; ++i) {
      const SubnodeEntry& e = entries[at + i];
      uint8_t* p = block.data() + kInternalHeadSize + kSlEntrySize * i;
      Put64(p, e.nid);
      Put64(p + 8, e.data);
      Put64(p + 16, e.sub);
      if (e.data != 0) children.push_back(e.data);
      if (e.sub != 0) children.push_back(e.sub);
    }
    Leaf leaf{entries[at].nid, 0};
    Status s = WriteBlock(Kind::kSubLeaf, block, std::move(children), &leaf.bid);
    if (!s.ok()) return s;
    leaves.push_back(leaf);
  }
  if (leaves.size() == 1) {
    *bid = leaves[0].bid;
    return Status::Ok();
  }
  std::vector<uint8_t> block(kInternalHeadSize + kSiEntrySize * leaves.size(), 0);
  block[0] = kBtypeSubnode;
  block[1] = 1;  // SIBLOCK
  Put16(block.data() + 2, static_cast<uint16_t>(leaves.size()));
  std::vector<Bid> children;
  for (size_t i = 0; i < leaves.size(); ++i) {
    Put64(block.data() + kInternalHeadSize + kSiEntrySize * i, leaves[i].first);
    Put64(block.data() + kInternalHeadSize + kSiEntrySize * i + 8, leaves[i].bid);
    children.push_back(leaves[i].bid);
  }
  return WriteBlock(Kind::kSubIndex, block, std::move(children), bid);
}

Status Writer::WriteContent(const NodeData& content, Bid* data, Bid* sub) {
  std::vector<SubnodeEntry> entries;
  entries.reserve(content.subnodes.size());
  for (const auto& [nid, child] : content.subnodes) {
    SubnodeEntry e;
    e.nid = nid;
    Status s = WriteContent(child, &e.data, &e.sub);
    if (!s.ok()) return s;
    entries.push_back(e);
  }
  Status s = WriteSubnodeTree(std::move(entries), sub);
  if (!s.ok()) return s;
  if (content.source) return WriteDataTree(*content.source, data);
  return WriteDataTree(content.data, data);
}

Status Writer::Put(Nid nid, Nid parent, Bid data, Bid sub) {
  if (nid == 0) return Status::InvalidArgument("node id 0 is not a valid node");
  Status s = CheckRef(data, false, "node", nid);
  if (s.ok()) s = CheckRef(sub, true, "node", nid);
  if (!s.ok()) return s;
  if (data != 0) Find(data)->refs++;
  if (sub != 0) Find(sub)->refs++;
  NodeInfo& node = nodes_[nid];
  Bid old_data = node.data, old_sub = node.sub;
  node = NodeInfo{data, sub, parent};
  if (old_data != 0) Release(old_data);
  if (old_sub != 0) Release(old_sub);
  uint32_t index = nid >> 5;
  uint32_t& counter = rgnid_[nid & 0x1F];
  if (index >= counter) counter = index + 1;
  return Status::Ok();
}

Status Writer::WritePage(uint8_t ptype, uint8_t* page, PageRef* where) {
  where->ib = Allocate(kPageSize, kPageSize);
  where->bid = next_page_bid_++;
  page_offsets_.push_back(where->ib);
  FinishPage(page, ptype, where->ib, where->bid);
  return buffer_.Write(where->ib, std::span<const uint8_t>(page, kPageSize));
}

Status Writer::WriteTrees(PageRef* nbt, PageRef* bbt) {
  PageSink sink = [this](uint8_t ptype, uint8_t* page, PageRef* where) {
    return WritePage(ptype, page, where);
  };
  std::vector<uint8_t> entries;
  entries.reserve(nodes_.size() * kNbtLeafEntrySize);
  for (const auto& [nid, node] : nodes_) {
    uint8_t e[kNbtLeafEntrySize] = {};
    Put64(e, nid);
    Put64(e + 8, node.data);
    Put64(e + 16, node.sub);
    Put32(e + 24, node.parent);
    entries.insert(entries.end(), e, e + sizeof(e));
  }
  Status s = WriteBTree(kPtypeNbt, entries, kNbtLeafEntrySize, sink, nbt);
  if (!s.ok()) return s;

  entries.clear();
  for (uint64_t k = 0; k < blocks_.size(); ++k) {
    const BlockInfo& b = blocks_[k];
    if (!b.live) continue;
    uint8_t e[kBbtLeafEntrySize] = {};
    Put64(e, k * kBidStep | (b.kind == Kind::kData ? 0 : kBidInternal));
    Put64(e + 8, b.ib);
    Put16(e + 16, b.cb);
    // Like Outlook, count one reference more than the file holds.
    Put16(e + 18, static_cast<uint16_t>(std::min<uint32_t>(b.refs + 1, 0xFFFF)));
    entries.insert(entries.end(), e, e + sizeof(e));
  }
  return WriteBTree(kPtypeBbt, entries, kBbtLeafEntrySize, sink, bbt);
}

Status Writer::Close() {
  if (closed_) return Status::InvalidArgument("the PST file is already closed");
  Status s = CloseImpl();
  if (s.ok()) {
    closed_ = true;
  } else {
    close_failed_ = true;
  }
  return s;
}

Status Writer::CloseImpl() {
  // Blocks no node reaches are not part of the file.
  for (uint64_t k = 0; k < blocks_.size(); ++k) {
    if (blocks_[k].live && blocks_[k].refs == 0) Free(k * kBidStep);
  }

  // Page ids follow the block ids; a retried Close starts the pages afresh.
  HeaderFields h;
  next_page_bid_ = next_bid_;
  page_offsets_.clear();
  Status s = WriteTrees(&h.nbt, &h.bbt);
  if (s.ok()) s = buffer_.Flush();
  if (!s.ok()) return s;

  // The maps, from everything that is live.
  const uint64_t intervals = IntervalOf(cursor_ - 1) + 1;
  AllocationMap map(intervals);
  for (const BlockInfo& b : blocks_) {
    if (b.live) map.MarkUsed(b.ib, BlockDiskSize(b.cb));
  }
  for (uint64_t ib : page_offsets_) map.MarkUsed(ib, kPageSize);
  for (uint64_t i = 0; i < intervals; ++i) {
    std::vector<uint8_t> pages = BuildMapPages(map, i);
    s = file_->WriteAt(IntervalStart(i), pages);
    if (!s.ok()) return s;
  }
  uint8_t dlist[kPageSize];
  BuildDensityList(map, next_page_bid_++, dlist);
  s = file_->WriteAt(kDListOffset, std::span<const uint8_t>(dlist, kPageSize));
  if (!s.ok()) return s;

  const uint64_t eof = IntervalStart(intervals);
  s = file_->Truncate(eof);
  if (s.ok() && options_.sync) s = file_->Sync();
  if (!s.ok()) return s;

  // Last, the header that makes the file a PST.
  h.bid_next_p = next_page_bid_;
  h.bid_next_b = next_bid_;
  h.unique = 1;
  std::memcpy(h.rgnid, rgnid_, sizeof(rgnid_));
  h.ib_file_eof = eof;
  h.ib_amap_last = IntervalStart(intervals - 1);
  h.cb_amap_free = map.FreeBytes();
  h.cb_pmap_free = 0;  // no page is reserved through the PMaps
  BuildHeaderFreeMaps(map, h.rgb_fm, h.rgb_fp);
  uint8_t header[kHeaderSize];
  EncodeHeader(h, header);
  s = file_->WriteAt(0, std::span<const uint8_t>(header, kHeaderSize));
  if (s.ok() && options_.sync) s = file_->Sync();
  if (!s.ok()) return s;
  file_size_ = eof;
  return Status::Ok();
}

}  // namespace
}  // namespace ndb

namespace ndb {

Status CreateWriter(std::unique_ptr<OutputFile> file, const WriterOptions& options,
                    std::unique_ptr<NdbWriter>* out) {
  *out = std::make_unique<Writer>(std::move(file), options);
  return Status::Ok();
}

}  // namespace ndb

Status NdbWriter::Create(const std::string& path, std::unique_ptr<NdbWriter>* out) {
  std::unique_ptr<ndb::OutputFile> file;
  Status s = ndb::OpenOutputFile(path, &file);
  if (!s.ok()) return s;
  return ndb::CreateWriter(std::move(file), ndb::WriterOptions(), out);
}

}  // namespace pst
